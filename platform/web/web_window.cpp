// The Win32 subset in a web page: classes, windows as canvases with their WebGL contexts, the
// message queue, device contexts, pixel formats, WGL over the GL subset, SwapBuffers yielding to
// the browser, fullscreen through the page and the cursor.
//
// The page (platform/web/page/kelvo_page.js) is reached as Module.kelvoPage: it owns the canvases'
// place on the page, the dialogs, fullscreen and the key events; the program asks it and waits
// on it (ASYNCIFY) where Win32 would block.

#include <windows.h>

#include <fsound_ext.h>

#include "platform/web/web_internal.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <stdio.h>
#include <string.h>

// ---- The page's side.

// Makes a hidden canvas of width x height on the page; writes its CSS selector into `selector`.
EM_JS(void, kelvo_page_create_canvas, (int width, int height, char *selector, int size), {
    stringToUTF8("#" + Module.kelvoPage.createCanvas(width, height), selector, size);
});
EM_JS(void, kelvo_page_show_canvas, (const char *selector, int visible), {
    Module.kelvoPage.showCanvas(UTF8ToString(selector).substring(1), !!visible);
});
// Loses the canvas's WebGL context, so that the browser frees it now, and takes the canvas away.
EM_JS(void, kelvo_page_remove_canvas, (const char *selector), {
    const id = UTF8ToString(selector).substring(1);
    const canvas = document.getElementById(id);
    if (canvas && canvas.GLctxObject) {
        const lose = canvas.GLctxObject.GLctx.getExtension("WEBGL_lose_context");
        if (lose)
            lose.loseContext();
    }
    Module.kelvoPage.removeCanvas(id);
});
EM_JS(int, kelvo_page_fullscreen_allowed, (void), { return Module.kelvoPage.fullscreenAllowed() ? 1 : 0; });
EM_ASYNC_JS(int, kelvo_page_enter_fullscreen, (void), { return (await Module.kelvoPage.enterFullscreen()) ? 1 : 0; });
EM_JS(void, kelvo_page_exit_fullscreen, (void), { Module.kelvoPage.exitFullscreen(); });
EM_JS(void, kelvo_page_hide_cursor, (int hidden), { Module.kelvoPage.hideCursor(!!hidden); });
// The frame is drawn: the page may look at it (GLctx is the canvas's WebGL context) before it is
// shown, and then the program waits for the browser's next animation frame.
EM_ASYNC_JS(void, kelvo_page_present, (int frame, int clock), {
    await Module.kelvoPage.present(frame, clock, GLctx);
});
EM_JS(double, kelvo_page_now, (void), { return performance.now(); });

namespace {

using weblayer::GlCreateContext;
using weblayer::GlDeleteContext;
using weblayer::GlMakeCurrent;

enum HandleKind { KindWindow = 1, KindDC = 2, KindContext = 3, KindInstance = 4, KindIcon = 5, KindCursor = 6 };

const int MaxClasses = 8;
const int MaxWindows = 4;
const int MaxContexts = 4;
const int QueueSize = 1024;
const int SelectorSize = 64;

struct WindowClass {
    bool used;
    char name[256];
    HINSTANCE instance;
    WNDPROC proc;
};

struct Window {
    bool used;
    unsigned gen;
    int classSlot;
    WNDPROC proc;
    DWORD style;
    int clientWidth, clientHeight;
    char selector[SelectorSize];  // the canvas, "#kelvo-window-N"
    int webgl;                    // emscripten's handle of the canvas's WebGL context
    int format;                   // pixel format index, 0 while none is set
    bool visible;
};

struct Context {
    bool used;
    unsigned gen;
    int window;  // the window slot it was made on
    int gl;      // the GL subset's context
};

struct WebState {
    WindowClass classes[MaxClasses];
    Window windows[MaxWindows];
    Context contexts[MaxContexts];
    MSG queue[QueueSize];
    int queueCount;
    bool quitPending;
    int quitCode;
    bool fullscreen;   // the page is fullscreen at the program's request
    int cursorCount;
    HWND focus;
    unsigned nextGen;
    int frames;        // frames presented
};

WebState web = {};

// Handles: kind in the top 4 bits, a generation count, the slot + 1 in the low 8 bits.
uintptr_t MakeHandle(int kind, unsigned gen, int slot)
{
    return (uintptr_t(kind) << 28) | (uintptr_t(gen & 0xFFFFF) << 8) | uintptr_t(slot + 1);
}

int SlotOf(const void *handle, int kind, int count)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (int(value >> 28) != kind)
        return -1;
    int slot = int(value & 0xFF) - 1;
    return slot >= 0 && slot < count ? slot : -1;
}

HWND WindowHandle(int slot)
{
    return reinterpret_cast<HWND>(MakeHandle(KindWindow, web.windows[slot].gen, slot));
}

int WindowSlot(HWND window)
{
    int slot = SlotOf(window, KindWindow, MaxWindows);
    if (slot < 0 || !web.windows[slot].used || window != WindowHandle(slot))
        return -1;
    return slot;
}

HDC DcHandle(int slot)
{
    return reinterpret_cast<HDC>(MakeHandle(KindDC, web.windows[slot].gen, slot));
}

int DcSlot(HDC dc)
{
    int slot = SlotOf(dc, KindDC, MaxWindows);
    if (slot < 0 || !web.windows[slot].used || dc != DcHandle(slot))
        return -1;
    return slot;
}

HGLRC ContextHandle(int slot)
{
    return reinterpret_cast<HGLRC>(MakeHandle(KindContext, web.contexts[slot].gen, slot));
}

int ContextSlot(HGLRC context)
{
    int slot = SlotOf(context, KindContext, MaxContexts);
    if (slot < 0 || !web.contexts[slot].used || context != ContextHandle(slot))
        return -1;
    return slot;
}

int ClassSlot(const char *name)
{
    if (!name)
        return -1;
    for (int i = 0; i < MaxClasses; i++)
        if (web.classes[i].used && strcmp(web.classes[i].name, name) == 0)
            return i;
    return -1;
}

LRESULT Send(int slot, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = web.windows[slot].proc;
    return proc ? proc(WindowHandle(slot), message, wParam, lParam) : 0;
}

void DropQueued(HWND window)
{
    int kept = 0;
    for (int i = 0; i < web.queueCount; i++)
        if (web.queue[i].hwnd != window)
            web.queue[kept++] = web.queue[i];
    web.queueCount = kept;
}

// Nominal frame sizes of a style, as on Linux; CreateWindowExA removes what AdjustWindowRectEx added.
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

bool InRange(UINT message, UINT low, UINT high)
{
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

} // namespace

namespace weblayer {

bool PostToQueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (web.queueCount == QueueSize)
        return false; // a full queue drops the message, as PostMessage fails on Windows
    MSG &m = web.queue[web.queueCount++];
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = DWORD(kelvo_page_now());
    m.pt.x = 0;
    m.pt.y = 0;
    return true;
}

} // namespace weblayer

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (moduleName)
        return NULL;
    return reinterpret_cast<HMODULE>(MakeHandle(KindInstance, 1, 0));
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR)
{
    return reinterpret_cast<HICON>(MakeHandle(KindIcon, 1, 0));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR)
{
    return reinterpret_cast<HCURSOR>(MakeHandle(KindCursor, 1, 0));
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *wndClass)
{
    if (!wndClass || !wndClass->lpfnWndProc || !wndClass->lpszClassName || ClassSlot(wndClass->lpszClassName) >= 0 ||
        strlen(wndClass->lpszClassName) >= sizeof web.classes[0].name)
        return 0;
    for (int i = 0; i < MaxClasses; i++) {
        WindowClass &c = web.classes[i];
        if (c.used)
            continue;
        c.used = true;
        strcpy(c.name, wndClass->lpszClassName);
        c.instance = wndClass->hInstance;
        c.proc = wndClass->lpfnWndProc;
        return ATOM(0xC000 + i);
    }
    return 0;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE)
{
    int slot = ClassSlot(className);
    if (slot < 0)
        return FALSE;
    for (const Window &w : web.windows)
        if (w.used && w.classSlot == slot)
            return FALSE;
    web.classes[slot].used = false;
    return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL, DWORD exStyle)
{
    if (!rect)
        return FALSE;
    RECT frame;
    FrameOf(style, exStyle, &frame);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR, DWORD style, int, int, int width, int height,
                            HWND, HMENU, HINSTANCE, LPVOID)
{
    int classSlot = ClassSlot(className);
    if (classSlot < 0)
        return NULL;
    RECT frame;
    FrameOf(style, exStyle, &frame);
    const int clientWidth = width - frame.left - frame.right;
    const int clientHeight = height - frame.top - frame.bottom;
    if (clientWidth <= 0 || clientHeight <= 0)
        return NULL;
    int slot = 0;
    while (slot < MaxWindows && web.windows[slot].used)
        slot++;
    if (slot == MaxWindows)
        return NULL;

    Window &w = web.windows[slot];
    w = Window();
    kelvo_page_create_canvas(clientWidth, clientHeight, w.selector, SelectorSize);
    // The window's WebGL context is made with it, before its procedure hears of any size.
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    attributes.enableExtensionsByDefault = EM_FALSE;
    attributes.majorVersion = 2;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = emscripten_webgl_create_context(w.selector, &attributes);
    if (webgl <= 0) {
        attributes.majorVersion = 1;
        webgl = emscripten_webgl_create_context(w.selector, &attributes);
    }
    if (webgl <= 0) {
        fprintf(stderr, "kelvo: this browser gives the page no WebGL; the demo cannot draw\n");
        kelvo_page_remove_canvas(w.selector);
        return NULL;
    }
    w.used = true;
    w.gen = ++web.nextGen;
    w.classSlot = classSlot;
    w.proc = web.classes[classSlot].proc;
    w.style = style;
    w.clientWidth = clientWidth;
    w.clientHeight = clientHeight;
    w.webgl = int(webgl);

    HWND handle = WindowHandle(slot);
    if (!Send(slot, WM_NCCREATE, 0, 0) || Send(slot, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return NULL;
    }
    if (web.windows[slot].used)
        Send(slot, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
    if (web.windows[slot].used)
        Send(slot, WM_MOVE, 0, 0);
    return web.windows[slot].used ? handle : NULL;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    int slot = WindowSlot(window);
    if (slot < 0)
        return FALSE;
    Send(slot, WM_DESTROY, 0, 0);
    Send(slot, WM_NCDESTROY, 0, 0);
    Window &w = web.windows[slot];
    // Contexts made on the window die with it, as a DC's do.
    for (int i = 0; i < MaxContexts; i++) {
        if (web.contexts[i].used && web.contexts[i].window == slot) {
            GlDeleteContext(web.contexts[i].gl);
            web.contexts[i].used = false;
        }
    }
    kelvo_page_remove_canvas(w.selector);
    emscripten_webgl_destroy_context(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(w.webgl));
    DropQueued(window);
    if (web.focus == window)
        web.focus = NULL;
    w.used = false;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int showCommand)
{
    int slot = WindowSlot(window);
    if (slot < 0)
        return FALSE;
    Window &w = web.windows[slot];
    const bool wasVisible = w.visible;
    w.visible = showCommand != SW_HIDE && showCommand != SW_MINIMIZE;
    kelvo_page_show_canvas(w.selector, w.visible);
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI SetForegroundWindow(HWND window)
{
    return WindowSlot(window) >= 0 ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND window)
{
    HWND previous = web.focus;
    if (window && WindowSlot(window) < 0)
        return NULL;
    web.focus = window;
    return previous;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int slot = WindowSlot(window);
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29)) && slot >= 0)
            Send(slot, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE && slot >= 0)
            Send(slot, WM_CLOSE, 0, 0);
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg)
{
    if (!msg)
        return FALSE;
    HWND target = web.focus;
    if (!target) {
        for (int i = 0; i < MaxWindows && !target; i++)
            if (web.windows[i].used && web.windows[i].visible)
                target = WindowHandle(i);
    }
    weblayer::PullPageInput(target);
    for (int i = 0; i < web.queueCount; i++) {
        const MSG &m = web.queue[i];
        if (window && m.hwnd != window)
            continue;
        if (!InRange(m.message, filterMin, filterMax))
            continue;
        *msg = m;
        if (removeMsg & PM_REMOVE) {
            memmove(&web.queue[i], &web.queue[i + 1], sizeof(MSG) * size_t(web.queueCount - i - 1));
            web.queueCount--;
        }
        return TRUE;
    }
    if (web.quitPending && InRange(WM_QUIT, filterMin, filterMax)) {
        memset(msg, 0, sizeof *msg);
        msg->message = WM_QUIT;
        msg->wParam = WPARAM(web.quitCode);
        if (removeMsg & PM_REMOVE)
            web.quitPending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    if (!msg)
        return FALSE;
    return msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_SYSKEYDOWN ||
           msg->message == WM_SYSKEYUP;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    int slot = WindowSlot(msg->hwnd);
    if (slot < 0)
        return 0;
    return Send(slot, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode)
{
    web.quitPending = true;
    web.quitCode = exitCode;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags)
{
    if (!mode) {
        if (web.fullscreen)
            kelvo_page_exit_fullscreen();
        web.fullscreen = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    const bool allowed = kelvo_page_fullscreen_allowed() != 0;
    if (flags & CDS_TEST)
        return allowed ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
    if (!(flags & CDS_FULLSCREEN))
        return DISP_CHANGE_BADMODE;  // the page never changes the screen's mode for good
    if (!allowed || !kelvo_page_enter_fullscreen())
        return DISP_CHANGE_BADMODE;
    web.fullscreen = true;
    return DISP_CHANGE_SUCCESSFUL;
}

int WINAPI ShowCursor(BOOL show)
{
    web.cursorCount += show ? 1 : -1;
    kelvo_page_hide_cursor(web.cursorCount < 0);
    return web.cursorCount;
}

HDC WINAPI GetDC(HWND window)
{
    int slot = WindowSlot(window);
    return slot < 0 ? NULL : DcHandle(slot);
}

int WINAPI ReleaseDC(HWND window, HDC dc)
{
    int slot = WindowSlot(window);
    return slot >= 0 && DcSlot(dc) == slot ? 1 : 0;
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *format)
{
    if (DcSlot(dc) < 0 || !format || format->iPixelType == PFD_TYPE_COLORINDEX)
        return 0;
    return 1;
}

BOOL WINAPI SetPixelFormat(HDC dc, int formatIndex, const PIXELFORMATDESCRIPTOR *)
{
    int slot = DcSlot(dc);
    if (slot < 0 || formatIndex != 1)
        return FALSE;
    Window &w = web.windows[slot];
    if (w.format != 0 && w.format != formatIndex)
        return FALSE;
    w.format = formatIndex;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc)
{
    int slot = DcSlot(dc);
    if (slot < 0)
        return FALSE;
    weblayer::GlFinishFrame();
    kelvo_page_present(++web.frames, SoundLastReportedTime());
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc)
{
    int slot = DcSlot(dc);
    if (slot < 0 || web.windows[slot].format == 0)
        return NULL;
    for (int i = 0; i < MaxContexts; i++) {
        Context &c = web.contexts[i];
        if (c.used)
            continue;
        c.gl = GlCreateContext(web.windows[slot].webgl);
        if (!c.gl)
            return NULL;
        c.used = true;
        c.gen = ++web.nextGen;
        c.window = slot;
        return ContextHandle(i);
    }
    return NULL;
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context)
{
    if (!dc && !context) {
        GlMakeCurrent(0);
        return TRUE;
    }
    int dcSlot = DcSlot(dc);
    int contextSlot = ContextSlot(context);
    if (dcSlot < 0 || contextSlot < 0 || web.contexts[contextSlot].window != dcSlot)
        return FALSE;
    return GlMakeCurrent(web.contexts[contextSlot].gl) ? TRUE : FALSE;
}

BOOL WINAPI wglDeleteContext(HGLRC context)
{
    int slot = ContextSlot(context);
    if (slot < 0)
        return FALSE;
    GlDeleteContext(web.contexts[slot].gl);
    web.contexts[slot].used = false;
    return TRUE;
}

PROC WINAPI wglGetProcAddress(LPCSTR)
{
    return NULL;
}

} // extern "C"
