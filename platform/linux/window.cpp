// Windows, the message queue and the message loop calls of the Win32 layer.

#include "platform/linux/layer_internal.h"
#include "platform/linux/x11_native.h"

#include <cstring>
#include <strings.h>

namespace win32layer {

LRESULT Send(int slot, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = win32.windows[slot].proc;
    return proc ? proc(WindowHandle(slot), message, wParam, lParam) : 0;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (win32.queueCount == QueueSize)
        return; // a full queue drops the message, as PostMessage fails on Windows
    MSG &m = win32.queue[win32.queueCount++];
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = DWORD(SDL_GetTicks());
    m.pt.x = 0;
    m.pt.y = 0;
}

void DropQueued(HWND window)
{
    int kept = 0;
    for (int i = 0; i < win32.queueCount; i++)
        if (win32.queue[i].hwnd != window)
            win32.queue[kept++] = win32.queue[i];
    win32.queueCount = kept;
}

// Nominal frame sizes of a style; CreateWindowExA removes what AdjustWindowRectEx added.
void FrameOf(DWORD style, DWORD exStyle, RECT *frame)
{
    int edge = 0;
    if (style & WS_THICKFRAME)
        edge = 8;
    else if (style & (WS_BORDER | WS_DLGFRAME))
        edge = 3;
    if (exStyle & WS_EX_CLIENTEDGE)
        edge += 2;
    frame->left = frame->right = frame->bottom = edge;
    frame->top = edge + (((style & WS_CAPTION) == WS_CAPTION) ? 23 : 0);
}

int WindowFromSdlId(Uint32 id)
{
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used && win32.windows[i].sdl && SDL_GetWindowID(win32.windows[i].sdl) == id)
            return i;
    return -1;
}

// Window state changes reach the procedure at once, as Windows sends rather than posts them.
void TranslateWindowEvent(const SDL_WindowEvent &e)
{
    int slot = WindowFromSdlId(e.windowID);
    if (slot < 0)
        return;
    Window &w = win32.windows[slot];
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        Post(WindowHandle(slot), WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        if (w.minimized)
            break;
        w.minimized = true;
        Send(slot, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
        if (win32.windows[slot].used)
            Send(slot, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
        break;
    case SDL_WINDOWEVENT_RESTORED:
        if (!w.minimized)
            break;
        w.minimized = false;
        Send(slot, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w.clientWidth, w.clientHeight));
        if (win32.windows[slot].used)
            Send(slot, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
        break;
    case SDL_WINDOWEVENT_MAXIMIZED:
        Send(slot, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(w.clientWidth, w.clientHeight));
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // A window that shows a scaled picture keeps the client size the program drew for.
        if (!w.pictureFramebuffer) {
            w.clientWidth = e.data1;
            w.clientHeight = e.data2;
        }
        if (!w.minimized)
            Send(slot, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w.clientWidth, w.clientHeight));
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        win32.focus = WindowHandle(slot);
        Send(slot, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, w.minimized ? 1 : 0), 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (win32.focus == WindowHandle(slot))
            win32.focus = NULL;
        Send(slot, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, w.minimized ? 1 : 0), 0);
        break;
    default:
        break;
    }
}

bool MessageMatches(const MSG &m, HWND window, UINT low, UINT high)
{
    if (window && m.hwnd != window)
        return false;
    if (low == 0 && high == 0)
        return true;
    return m.message >= low && m.message <= high;
}

void DestroySlotWindow(int slot)
{
    Window &w = win32.windows[slot];
    HWND handle = WindowHandle(slot);
    DropQueued(handle);
    if (win32.focus == handle)
        win32.focus = NULL;
    DropPicture(slot);
    if (w.sdl)
        SDL_DestroyWindow(w.sdl);
    w.used = false;
    w.sdl = NULL;
    w.gen++;
}

} // namespace win32layer

using namespace win32layer;

extern "C" {

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle)
{
    if (!Enter(FnAdjustWindowRectEx) || !rect)
        return FALSE;
    RECT frame;
    FrameOf(style, exStyle, &frame);
    rect->left -= frame.left;
    rect->top -= frame.top + (menu ? 20 : 0);
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    (void)parent;
    (void)menu;
    (void)instance;
    (void)param;
    if (!Enter(FnCreateWindowExA) || !className || reinterpret_cast<uintptr_t>(className) <= 0xFFFF)
        return NULL;
    if (win32.logCalls) {
        win32.callLog.back().args[0] = exStyle;
        win32.callLog.back().args[1] = style;
    }
    int classSlot = -1;
    for (int i = 0; i < MaxClasses; i++)
        if (win32.classes[i].used && strcasecmp(win32.classes[i].name, className) == 0)
            classSlot = i;
    if (classSlot < 0 || !EnsureVideo())
        return NULL;
    int slot = -1;
    for (int i = 0; i < MaxWindows && slot < 0; i++)
        if (!win32.windows[i].used)
            slot = i;
    if (slot < 0)
        return NULL;

    RECT frame;
    FrameOf(style, exStyle, &frame);
    int clientWidth = width - frame.left - frame.right;
    int clientHeight = height - frame.top - frame.bottom;
    if (clientWidth <= 0 || clientHeight <= 0)
        return NULL;

    bool popup = (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION;
    bool fullscreen = popup && win32.modeChanged && win32.mode.w == clientWidth && win32.mode.h == clientHeight;
    Uint32 flags = 0;
    if (popup)
        flags |= SDL_WINDOW_BORDERLESS;
    else if (style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    // The display's mode never changes: the window covers the monitor in its own mode and shows
    // the program's picture scaled (see wglMakeCurrent), unless the GL cannot scale it.
    if (fullscreen && !win32.modePretended)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;

    SDL_Window *sdl = MakeSdlWindow(windowName, x + frame.left, y + frame.top, clientWidth, clientHeight, flags,
                                    win32.lastAttribs);
    if (!sdl)
        return NULL;

    Window &w = win32.windows[slot];
    unsigned gen = w.gen;
    w = Window();
    w.used = true;
    w.gen = gen;
    w.sdl = sdl;
    w.classSlot = classSlot;
    w.proc = win32.classes[classSlot].proc;
    w.style = style;
    w.clientWidth = clientWidth;
    w.clientHeight = clientHeight;
    w.createdWith = win32.lastAttribs;
    w.fullscreen = fullscreen;
    w.pretended = fullscreen && win32.modePretended;
    HWND handle = WindowHandle(slot);

    if (!Send(slot, WM_NCCREATE, 0, 0) || !win32.windows[slot].used) {
        if (SlotOf(handle, KindWindow) == slot)
            DestroySlotWindow(slot);
        return NULL;
    }
    if (Send(slot, WM_CREATE, 0, 0) == -1 || SlotOf(handle, KindWindow) != slot) {
        if (SlotOf(handle, KindWindow) == slot)
            DestroyWindow(handle);
        return NULL;
    }
    Send(slot, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
    if (SlotOf(handle, KindWindow) == slot)
        Send(slot, WM_MOVE, 0, MAKELPARAM(x + frame.left, y + frame.top));
    return SlotOf(handle, KindWindow) == slot ? handle : NULL;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnDestroyWindow) || slot < 0)
        return FALSE;
    Send(slot, WM_DESTROY, 0, 0);
    if (SlotOf(window, KindWindow) == slot)
        Send(slot, WM_NCDESTROY, 0, 0);
    if (SlotOf(window, KindWindow) == slot)
        DestroySlotWindow(slot);
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int showCommand)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnShowWindow) || slot < 0)
        return FALSE;
    Window &w = win32.windows[slot];
    bool wasVisible = (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_SHOWN) != 0;
    switch (showCommand) {
    case SW_HIDE:
        SDL_HideWindow(w.sdl);
        Send(slot, WM_SHOWWINDOW, FALSE, 0);
        return wasVisible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        SDL_ShowWindow(w.sdl);
        SDL_MinimizeWindow(w.sdl);
        return wasVisible;
    case SW_RESTORE:
        SDL_ShowWindow(w.sdl);
        SDL_RestoreWindow(w.sdl);
        return wasVisible;
    default:
        SDL_ShowWindow(w.sdl);
        break;
    }
    if ((SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w.sdl), &bounds) == 0)
            X11CoverWithoutManager(w.sdl, bounds);
    }
    if (!wasVisible) {
        if (w.fullscreen && !w.pretended)
            w.fullscreenCheckAt = SDL_GetTicks64() + FullscreenCheckMs;
        Send(slot, WM_SHOWWINDOW, TRUE, 0);
        if (SlotOf(window, KindWindow) == slot)
            AskScreenSaver(slot);
    }
    return wasVisible;
}

BOOL WINAPI SetForegroundWindow(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnSetForegroundWindow) || slot < 0)
        return FALSE;
    SDL_RaiseWindow(win32.windows[slot].sdl);
    return TRUE;
}

HWND WINAPI SetFocus(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnSetFocus) || (window && slot < 0))
        return NULL;
    HWND previous = SlotOf(win32.focus, KindWindow) >= 0 ? win32.focus : NULL;
    win32.focus = window;
    return previous;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int slot = SlotOf(window, KindWindow);
    if (win32.logCalls)
        win32.callLog.push_back({"DefWindowProcA", {message, wParam}});
    if (slot < 0)
        return 0;
    Window &w = win32.windows[slot];
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (LPARAM(1) << 29)))
            Send(slot, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            Send(slot, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            SDL_MinimizeWindow(w.sdl);
            break;
        case SC_MAXIMIZE:
            SDL_MaximizeWindow(w.sdl);
            break;
        case SC_RESTORE:
            SDL_RestoreWindow(w.sdl);
            break;
        case SC_SCREENSAVE:
            win32.screenSaverReachedDefault = true;
            break;
        case SC_MONITORPOWER:
            win32.monitorPowerReachedDefault = true;
            break;
        default:
            break;
        }
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg)
{
    Enter(FnPeekMessageA);
    if (win32.peekHook)
        win32.peekHook(win32.peekCalls);
    win32.peekCalls++;
    if (!msg)
        return FALSE;
    PumpInput();
    for (int i = 0; i < win32.queueCount; i++) {
        if (!MessageMatches(win32.queue[i], window, filterMin, filterMax))
            continue;
        *msg = win32.queue[i];
        if (removeMsg & PM_REMOVE) {
            std::memmove(&win32.queue[i], &win32.queue[i + 1], sizeof(MSG) * size_t(win32.queueCount - i - 1));
            win32.queueCount--;
        }
        return TRUE;
    }
    bool wantsQuit = !window && ((filterMin == 0 && filterMax == 0) || (filterMin <= WM_QUIT && WM_QUIT <= filterMax));
    if (win32.quitPending && wantsQuit) {
        std::memset(msg, 0, sizeof(*msg));
        msg->message = WM_QUIT;
        msg->wParam = WPARAM(win32.quitCode);
        msg->time = DWORD(SDL_GetTicks());
        if (removeMsg & PM_REMOVE)
            win32.quitPending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    return msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    Enter(FnDispatchMessageA);
    if (!msg)
        return 0;
    int slot = SlotOf(msg->hwnd, KindWindow);
    if (slot < 0)
        return 0;
    return Send(slot, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode)
{
    win32.quitPending = true;
    win32.quitCode = exitCode;
}

} // extern "C"
