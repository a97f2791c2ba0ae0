// The Win32/WGL subset of windows.h on SDL2. See the contract at the top of windows.h.
//
// Handles are not pointers: each encodes a kind, a table slot and the slot's generation,
// so a stale or forged handle is recognised and the call fails instead of touching freed
// memory. All state lives in one record, `win32`, written only by this file.

#include <windows.h>

#include "platform/win32/win32_seam.h"
#include "platform/win32/x11_keys.h"

#include <SDL2/SDL.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <strings.h>

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR must keep its Win32 layout");
static_assert(sizeof(DEVMODEA) == 148, "DEVMODEA must keep its 148-byte Win32 layout");

namespace {

enum Fn {
    FnGetModuleHandleA, FnRegisterClassA, FnUnregisterClassA, FnAdjustWindowRectEx, FnCreateWindowExA,
    FnDestroyWindow, FnShowWindow, FnSetForegroundWindow, FnSetFocus, FnPeekMessageA, FnDispatchMessageA,
    FnMessageBoxA, FnChangeDisplaySettingsA, FnShowCursor, FnGetDC, FnReleaseDC, FnChoosePixelFormat,
    FnSetPixelFormat, FnSwapBuffers, FnwglCreateContext, FnwglMakeCurrent, FnwglDeleteContext,
    FnwglGetProcAddress, FnLoadIconA, FnLoadCursorA, FnCount
};

const char *const fnNames[FnCount] = {
    "GetModuleHandleA", "RegisterClassA", "UnregisterClassA", "AdjustWindowRectEx", "CreateWindowExA",
    "DestroyWindow", "ShowWindow", "SetForegroundWindow", "SetFocus", "PeekMessageA", "DispatchMessageA",
    "MessageBoxA", "ChangeDisplaySettingsA", "ShowCursor", "GetDC", "ReleaseDC", "ChoosePixelFormat",
    "SetPixelFormat", "SwapBuffers", "wglCreateContext", "wglMakeCurrent", "wglDeleteContext",
    "wglGetProcAddress", "LoadIconA", "LoadCursorA",
};

enum HandleKind { KindWindow = 1, KindDC = 2, KindContext = 3, KindInstance = 4, KindIcon = 5, KindCursor = 6 };

const int MaxClasses = 8;
const int MaxWindows = 8;
const int MaxContexts = 8;
const int QueueSize = 1024;
const Uint64 ScreenSaverAskMs = 30000;

struct GlAttribs {
    int red, green, blue, alpha, depth, stencil, doubleBuffer;
};

bool SameAttribs(const GlAttribs &a, const GlAttribs &b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha &&
           a.depth == b.depth && a.stencil == b.stencil && a.doubleBuffer == b.doubleBuffer;
}

struct WindowClass {
    bool used;
    char name[256];
    HINSTANCE instance;
    WNDPROC proc;
};

struct Window {
    bool used;
    unsigned gen;
    SDL_Window *sdl;
    int classSlot;
    WNDPROC proc;
    DWORD style;
    int clientWidth, clientHeight;
    int format;              // pixel format index, 0 while none is set
    GlAttribs createdWith;   // the GL attributes the SDL window was made with
    bool fullscreen;         // exclusive fullscreen, real or pretended
    bool pretended;          // fullscreen in a mode offered by the test seam only
    bool minimized;
};

struct Context {
    bool used;
    unsigned gen;
    SDL_GLContext sdl;
};

// Process-wide state of the layer. Written only by this file.
struct Win32State {
    bool videoTried, videoReady;
    WindowClass classes[MaxClasses];
    Window windows[MaxWindows];
    Context contexts[MaxContexts];
    MSG queue[QueueSize];
    int queueCount;
    bool quitPending;
    int quitCode;
    bool modeChanged, modePretended;
    SDL_DisplayMode mode;
    int cursorCount;
    HWND focus;
    GlAttribs lastAttribs;
    Uint64 lastScreenSaverAsk;
    bool screenSaverReachedDefault, monitorPowerReachedDefault;
    bool onlyRealKeys;       // X11: key events SDL makes up on focus changes are dropped
    int lastX11Event;        // the X11 event type behind the next SDL event
    int lastX11KeyCode;      // and its key code, for key events
    int vkOfX11Key[256];     // virtual-key code last seen for each X11 key code
    // test seam
    int calls[FnCount];
    int failNext[FnCount];
    std::vector<int> scriptedAnswers;
    std::vector<SeamMessageBox> boxes;
    std::vector<SDL_DisplayMode> offeredModes;
    void (*peekHook)(int);
    int peekCalls;
    std::vector<SeamCall> callLog;
};

Win32State win32 = {};
volatile sig_atomic_t pendingInterrupt = 0;

const GlAttribs DefaultAttribs = {8, 8, 8, 0, 16, 0, 1};

// Counts the call and answers whether the test seam wants it to fail.
bool Enter(Fn fn)
{
    win32.calls[fn]++;
    win32.callLog.push_back({fnNames[fn], {0, 0}});
    if (win32.failNext[fn] > 0) {
        win32.failNext[fn]--;
        return false;
    }
    return true;
}

template <typename H>
H MakeHandle(HandleKind kind, int slot, unsigned gen)
{
    uintptr_t v = (uintptr_t(kind) << 24) | (uintptr_t(gen & 0xFFFF) << 8) | uintptr_t(slot + 1);
    return reinterpret_cast<H>(v);
}

// The table slot a handle names, or -1 when it is not a live handle of that kind.
template <typename H>
int SlotOf(H handle, HandleKind kind)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if ((v >> 24) != uintptr_t(kind))
        return -1;
    int slot = int(v & 0xFF) - 1;
    unsigned gen = unsigned((v >> 8) & 0xFFFF);
    switch (kind) {
    case KindWindow:
    case KindDC:
        if (slot < 0 || slot >= MaxWindows || !win32.windows[slot].used || (win32.windows[slot].gen & 0xFFFF) != gen)
            return -1;
        return slot;
    case KindContext:
        if (slot < 0 || slot >= MaxContexts || !win32.contexts[slot].used || (win32.contexts[slot].gen & 0xFFFF) != gen)
            return -1;
        return slot;
    default:
        return -1;
    }
}

HWND WindowHandle(int slot) { return MakeHandle<HWND>(KindWindow, slot, win32.windows[slot].gen); }

void HandleSignal(int sig)
{
    if (pendingInterrupt) {
        // The first request was never taken up (no window to close it): give up politely.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    pendingInterrupt = sig;
}

bool EnsureVideo()
{
    if (!win32.videoTried) {
        win32.videoTried = true;
        std::signal(SIGINT, HandleSignal);
        std::signal(SIGTERM, HandleSignal);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        win32.videoReady = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (win32.videoReady) {
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
            const char *driver = SDL_GetCurrentVideoDriver();
            if (driver && std::strcmp(driver, "x11") == 0) {
                SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
                win32.onlyRealKeys = true;
            }
        }
        win32.lastAttribs = DefaultAttribs;
    }
    return win32.videoReady;
}

// Drivers with no screen cannot show a message box to anyone.
bool CanShowBoxes()
{
    if (!win32.videoReady)
        return false;
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

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

void ApplyAttribs(const GlAttribs &a)
{
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, a.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, a.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, a.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, a.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, a.depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, a.stencil);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, a.doubleBuffer);
}

// Pixel formats are numbered 1..48 by their choices, so an index names its attributes.
const int FormatCount = 48;

int EncodeFormat(bool rgb565, bool alpha, int depthIndex, bool stencil, bool doubleBuffer)
{
    return 1 + (rgb565 ? 1 : 0) + 2 * (alpha ? 1 : 0) + 4 * depthIndex + 12 * (stencil ? 1 : 0) + 24 * (doubleBuffer ? 1 : 0);
}

GlAttribs DecodeFormat(int index)
{
    int v = index - 1;
    bool rgb565 = v & 1;
    GlAttribs a;
    a.red = rgb565 ? 5 : 8;
    a.green = rgb565 ? 6 : 8;
    a.blue = rgb565 ? 5 : 8;
    a.alpha = (v >> 1) & 1 ? 8 : 0;
    const int depths[3] = {0, 16, 24};
    a.depth = depths[(v / 4) % 3];
    a.stencil = (v / 12) % 2 ? 8 : 0;
    a.doubleBuffer = (v / 24) % 2;
    return a;
}

SDL_Window *MakeSdlWindow(const char *title, int x, int y, int w, int h, Uint32 flags, const GlAttribs &attribs)
{
    ApplyAttribs(attribs);
    return SDL_CreateWindow(title ? title : "", x, y, w, h, flags | SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

int WindowFromSdlId(Uint32 id)
{
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used && win32.windows[i].sdl && SDL_GetWindowID(win32.windows[i].sdl) == id)
            return i;
    return -1;
}

struct KeyPair {
    SDL_Keycode key;
    int vk;
};

const KeyPair keyTable[] = {
    {SDLK_BACKSPACE, VK_BACK}, {SDLK_TAB, VK_TAB}, {SDLK_RETURN, VK_RETURN}, {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_LSHIFT, VK_SHIFT}, {SDLK_RSHIFT, VK_SHIFT}, {SDLK_LCTRL, VK_CONTROL}, {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU}, {SDLK_RALT, VK_MENU}, {SDLK_PAUSE, VK_PAUSE}, {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_SPACE, VK_SPACE}, {SDLK_PAGEUP, VK_PRIOR}, {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END}, {SDLK_HOME, VK_HOME}, {SDLK_LEFT, VK_LEFT}, {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT}, {SDLK_DOWN, VK_DOWN}, {SDLK_PRINTSCREEN, VK_SNAPSHOT}, {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE}, {SDLK_LGUI, VK_LWIN}, {SDLK_RGUI, VK_RWIN}, {SDLK_APPLICATION, VK_APPS},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY}, {SDLK_KP_PLUS, VK_ADD}, {SDLK_KP_MINUS, VK_SUBTRACT},
    {SDLK_KP_PERIOD, VK_DECIMAL}, {SDLK_KP_DIVIDE, VK_DIVIDE}, {SDLK_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDLK_SCROLLLOCK, VK_SCROLL}, {SDLK_SEMICOLON, VK_OEM_1}, {SDLK_EQUALS, VK_OEM_PLUS},
    {SDLK_COMMA, VK_OEM_COMMA}, {SDLK_MINUS, VK_OEM_MINUS}, {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_SLASH, VK_OEM_2}, {SDLK_BACKQUOTE, VK_OEM_3}, {SDLK_LEFTBRACKET, VK_OEM_4},
    {SDLK_BACKSLASH, VK_OEM_5}, {SDLK_RIGHTBRACKET, VK_OEM_6}, {SDLK_QUOTE, VK_OEM_7},
    {SDLK_KP_0, VK_NUMPAD0},
};

// The virtual-key code of an SDL key, 0 for keys Win32 has no code for here.
int VkFromKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + int(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + int(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + int(key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + int(key - SDLK_KP_1);
    for (const KeyPair &p : keyTable)
        if (p.key == key)
            return p.vk;
    return 0;
}

SDL_Keycode KeyFromVk(int vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return SDLK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return SDLK_0 + (vk - '0');
    if (vk >= VK_F1 && vk <= VK_F12)
        return SDLK_F1 + (vk - VK_F1);
    if (vk >= VK_NUMPAD0 + 1 && vk <= VK_NUMPAD0 + 9)
        return SDLK_KP_1 + (vk - VK_NUMPAD0 - 1);
    for (const KeyPair &p : keyTable)
        if (p.vk == vk)
            return p.key;
    return SDLK_UNKNOWN;
}

void TranslateKey(const SDL_KeyboardEvent &e)
{
    int slot = WindowFromSdlId(e.windowID);
    if (slot < 0)
        return;
    int vk = VkFromKey(e.keysym.sym);
    if (vk == 0)
        return;
    bool down = e.type == SDL_KEYDOWN;
    bool alt = (e.keysym.mod & KMOD_ALT) != 0 || (vk == VK_MENU && down);
    bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    bool system = vk == VK_F10 || (vk == VK_MENU && !ctrl) || (alt && !ctrl);
    LPARAM lParam = 1 | (LPARAM(e.keysym.scancode & 0xFF) << 16);
    if (alt)
        lParam |= LPARAM(1) << 29;
    if (!down || e.repeat)
        lParam |= LPARAM(1) << 30;
    if (!down)
        lParam |= LPARAM(1) << 31;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Post(WindowHandle(slot), message, WPARAM(vk), LPARAM(DWORD(lParam)));
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
        w.clientWidth = e.data1;
        w.clientHeight = e.data2;
        if (!w.minimized)
            Send(slot, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.data1, e.data2));
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

// Asks the procedure whether the screen saver and monitor power-down may run, and acts on it.
bool AskScreenSaver(int slot)
{
    win32.lastScreenSaverAsk = SDL_GetTicks64();
    win32.screenSaverReachedDefault = false;
    win32.monitorPowerReachedDefault = false;
    Send(slot, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    if (win32.windows[slot].used)
        Send(slot, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
    bool inhibit = !(win32.screenSaverReachedDefault && win32.monitorPowerReachedDefault);
    if (inhibit)
        SDL_DisableScreenSaver();
    else
        SDL_EnableScreenSaver();
    return inhibit;
}

// An X11 key release that SDL passed over, because SDL had already forgotten the key when its
// window lost focus, still reaches the focused window as WM_KEYUP, as on Windows.
void FlushX11Release()
{
    if (win32.lastX11Event != X11KeyReleaseType()) {
        win32.lastX11Event = 0;
        return;
    }
    win32.lastX11Event = 0;
    int vk = win32.vkOfX11Key[win32.lastX11KeyCode];
    SDL_Window *focused = SDL_GetKeyboardFocus();
    int slot = focused ? WindowFromSdlId(SDL_GetWindowID(focused)) : -1;
    if (vk == 0 || slot < 0)
        return;
    LPARAM lParam = LPARAM(DWORD(1u | (3u << 30)));
    bool system = vk == VK_F10 || vk == VK_MENU || (SDL_GetModState() & KMOD_ALT && !(SDL_GetModState() & KMOD_CTRL));
    Post(WindowHandle(slot), system ? WM_SYSKEYUP : WM_KEYUP, WPARAM(vk), lParam);
}

void PumpInput()
{
    if (pendingInterrupt) {
        bool any = false;
        for (int i = 0; i < MaxWindows; i++)
            if (win32.windows[i].used) {
                Post(WindowHandle(i), WM_CLOSE, 0, 0);
                any = true;
            }
        if (any)
            pendingInterrupt = 0;
    }
    if (!win32.videoReady)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_SYSWMEVENT) {
            int type = X11EventType(e);
            int keyCode = X11KeyCode(e) & 0xFF;
            // A release straight followed by a press of the same key is auto-repeat on a server
            // without detectable repeat: no key-up for it.
            bool repeatPair = win32.lastX11Event == X11KeyReleaseType() && type == X11KeyPressType() &&
                              keyCode == win32.lastX11KeyCode;
            if (!repeatPair)
                FlushX11Release();
            win32.lastX11Event = type;
            win32.lastX11KeyCode = keyCode;
            continue;
        }
        if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) {
            // On X11, SDL presses the keys that are down when a window gains focus and releases
            // them all when it loses focus. Windows does neither: a key held into a new window
            // only repeats, and one released elsewhere stays down for the program.
            bool down = e.type == SDL_KEYDOWN;
            bool fromX = win32.lastX11Event == (down ? X11KeyPressType() : X11KeyReleaseType());
            win32.lastX11Event = 0;
            if (win32.onlyRealKeys && !fromX)
                continue;
            if (fromX && down)
                win32.vkOfX11Key[win32.lastX11KeyCode] = VkFromKey(e.key.keysym.sym);
            TranslateKey(e.key);
            continue;
        }
        FlushX11Release();
        if (e.type == SDL_WINDOWEVENT)
            TranslateWindowEvent(e.window);
        // SDL_QUIT is not used: close requests arrive per window, and signals are ours.
    }
    FlushX11Release();
    if (SDL_GetTicks64() - win32.lastScreenSaverAsk >= ScreenSaverAskMs)
        for (int i = 0; i < MaxWindows; i++)
            if (win32.windows[i].used && (SDL_GetWindowFlags(win32.windows[i].sdl) & SDL_WINDOW_SHOWN)) {
                AskScreenSaver(i);
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

bool DisplayOffers(DWORD width, DWORD height, DWORD bits, bool checkBits, SDL_DisplayMode *found, bool *pretended)
{
    for (const SDL_DisplayMode &m : win32.offeredModes)
        if (DWORD(m.w) == width && DWORD(m.h) == height && (!checkBits || DWORD(SDL_BITSPERPIXEL(m.format)) == bits)) {
            *found = m;
            *pretended = true;
            return true;
        }
    if (!win32.videoReady)
        return false;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0)
            continue;
        if (DWORD(m.w) != width || DWORD(m.h) != height)
            continue;
        // SDL counts a padded 32-bit format as 24 bits per pixel; Windows calls it 32.
        bool depthKnown = m.format != SDL_PIXELFORMAT_UNKNOWN;
        if (checkBits && depthKnown && DWORD(SDL_BYTESPERPIXEL(m.format) * 8) != bits &&
            DWORD(SDL_BITSPERPIXEL(m.format)) != bits)
            continue;
        *found = m;
        *pretended = false;
        return true;
    }
    return false;
}

void DestroySlotWindow(int slot)
{
    Window &w = win32.windows[slot];
    HWND handle = WindowHandle(slot);
    DropQueued(handle);
    if (win32.focus == handle)
        win32.focus = NULL;
    if (w.sdl)
        SDL_DestroyWindow(w.sdl);
    w.used = false;
    w.sdl = NULL;
    w.gen++;
}

} // namespace

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (!Enter(FnGetModuleHandleA) || moduleName)
        return NULL;
    return reinterpret_cast<HMODULE>(uintptr_t(KindInstance) << 24);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR iconName)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(iconName);
    if (!Enter(FnLoadIconA) || instance || id > 0xFFFF)
        return NULL;
    return reinterpret_cast<HICON>((uintptr_t(KindIcon) << 24) | id);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(cursorName);
    if (!Enter(FnLoadCursorA) || instance || id > 0xFFFF)
        return NULL;
    return reinterpret_cast<HCURSOR>((uintptr_t(KindCursor) << 24) | id);
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *wndClass)
{
    if (!Enter(FnRegisterClassA) || !wndClass || !wndClass->lpfnWndProc || !wndClass->lpszClassName)
        return 0;
    if (reinterpret_cast<uintptr_t>(wndClass->lpszClassName) <= 0xFFFF)
        return 0; // atoms as class names are not supported
    if (std::strlen(wndClass->lpszClassName) >= sizeof(win32.classes[0].name))
        return 0;
    int freeSlot = -1;
    for (int i = 0; i < MaxClasses; i++) {
        if (win32.classes[i].used && strcasecmp(win32.classes[i].name, wndClass->lpszClassName) == 0)
            return 0; // ERROR_CLASS_ALREADY_EXISTS
        if (!win32.classes[i].used && freeSlot < 0)
            freeSlot = i;
    }
    if (freeSlot < 0)
        return 0;
    WindowClass &c = win32.classes[freeSlot];
    c.used = true;
    std::strcpy(c.name, wndClass->lpszClassName);
    c.instance = wndClass->hInstance;
    c.proc = wndClass->lpfnWndProc;
    return ATOM(0xC000 + freeSlot);
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    (void)instance;
    if (!Enter(FnUnregisterClassA) || !className || reinterpret_cast<uintptr_t>(className) <= 0xFFFF)
        return FALSE;
    for (int i = 0; i < MaxClasses; i++) {
        if (!win32.classes[i].used || strcasecmp(win32.classes[i].name, className) != 0)
            continue;
        for (int j = 0; j < MaxWindows; j++)
            if (win32.windows[j].used && win32.windows[j].classSlot == i)
                return FALSE; // ERROR_CLASS_HAS_WINDOWS
        win32.classes[i].used = false;
        return TRUE;
    }
    return FALSE;
}

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
    win32.callLog.back().args[0] = exStyle;
    win32.callLog.back().args[1] = style;
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
    if (fullscreen && !win32.modePretended)
        flags |= SDL_WINDOW_FULLSCREEN;

    SDL_Window *sdl = MakeSdlWindow(windowName, x + frame.left, y + frame.top, clientWidth, clientHeight, flags,
                                    win32.lastAttribs);
    if (!sdl)
        return NULL;
    if (fullscreen && !win32.modePretended)
        SDL_SetWindowDisplayMode(sdl, &win32.mode);

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
    if (!wasVisible) {
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

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Enter(FnMessageBoxA);
    EnsureVideo();
    if (!text)
        text = "";
    if (!caption)
        caption = "Error";

    struct Button {
        int id;
        const char *label;
    };
    static const Button ok[] = {{IDOK, "OK"}};
    static const Button okCancel[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    static const Button abortRetryIgnore[] = {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    static const Button yesNoCancel[] = {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    static const Button yesNo[] = {{IDYES, "Yes"}, {IDNO, "No"}};
    static const Button retryCancel[] = {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    const Button *buttons = ok;
    int count = 1;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = okCancel; count = 2; break;
    case MB_ABORTRETRYIGNORE: buttons = abortRetryIgnore; count = 3; break;
    case MB_YESNOCANCEL: buttons = yesNoCancel; count = 3; break;
    case MB_YESNO: buttons = yesNo; count = 2; break;
    case MB_RETRYCANCEL: buttons = retryCancel; count = 2; break;
    default: break;
    }
    int defaultIndex = int((type & MB_DEFMASK) >> 8);
    if (defaultIndex >= count)
        defaultIndex = 0;
    int escapeId = 0;
    for (int i = 0; i < count; i++)
        if (buttons[i].id == IDCANCEL)
            escapeId = IDCANCEL;
    if (count == 1)
        escapeId = IDOK;

    int answer;
    if (!win32.scriptedAnswers.empty()) {
        answer = win32.scriptedAnswers.front();
        win32.scriptedAnswers.erase(win32.scriptedAnswers.begin());
    } else {
        answer = -1;
        if (CanShowBoxes()) {
            SDL_MessageBoxButtonData data[3];
            for (int i = 0; i < count; i++) {
                data[i].flags = 0;
                if (i == defaultIndex)
                    data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
                if (buttons[i].id == escapeId)
                    data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
                data[i].buttonid = buttons[i].id;
                data[i].text = buttons[i].label;
            }
            Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
            UINT iconBits = type & MB_ICONMASK;
            if (iconBits == MB_ICONHAND)
                icon = SDL_MESSAGEBOX_ERROR;
            else if (iconBits == MB_ICONEXCLAMATION)
                icon = SDL_MESSAGEBOX_WARNING;
            SDL_MessageBoxData box = {icon | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT, NULL, caption, text, count, data,
                                      NULL};
            int pressed = -1;
            if (SDL_ShowMessageBox(&box, &pressed) == 0)
                answer = pressed >= 0 ? pressed : (escapeId ? escapeId : buttons[defaultIndex].id);
        }
        if (answer < 0) {
            std::fprintf(stderr, "%s: %s\n", caption, text);
            std::fflush(stderr);
            answer = buttons[defaultIndex].id;
        }
    }

    SeamMessageBox record;
    record.text = text;
    record.caption = caption;
    record.flags = type;
    record.owner = owner;
    record.answer = answer;
    record.liveWindows = Seam_LiveWindows();
    record.liveContexts = Seam_LiveContexts();
    record.registeredClasses = Seam_RegisteredClasses();
    record.displayChanged = win32.modeChanged;
    record.cursorCount = win32.cursorCount;
    win32.boxes.push_back(record);
    return answer;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags)
{
    if (!Enter(FnChangeDisplaySettingsA))
        return DISP_CHANGE_FAILED;
    EnsureVideo();
    if (!mode) {
        if (win32.modeChanged) {
            win32.modeChanged = false;
            for (int i = 0; i < MaxWindows; i++) {
                Window &w = win32.windows[i];
                if (w.used && w.fullscreen) {
                    if (!w.pretended)
                        SDL_SetWindowFullscreen(w.sdl, 0);
                    w.fullscreen = false;
                    w.pretended = false;
                }
            }
        }
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (mode->dmSize < offsetof(DEVMODEA, dmICMMethod))
        return DISP_CHANGE_BADMODE;
    SDL_DisplayMode desktop = {};
    if (win32.videoReady)
        SDL_GetDesktopDisplayMode(0, &desktop);
    DWORD width = (mode->dmFields & DM_PELSWIDTH) ? mode->dmPelsWidth : DWORD(desktop.w);
    DWORD height = (mode->dmFields & DM_PELSHEIGHT) ? mode->dmPelsHeight : DWORD(desktop.h);
    bool checkBits = (mode->dmFields & DM_BITSPERPEL) != 0;
    SDL_DisplayMode found;
    bool pretended = false;
    if (!DisplayOffers(width, height, mode->dmBitsPerPel, checkBits, &found, &pretended))
        return DISP_CHANGE_BADMODE;
    if (flags & CDS_TEST)
        return DISP_CHANGE_SUCCESSFUL;
    win32.modeChanged = true;
    win32.modePretended = pretended;
    win32.mode = found;
    return DISP_CHANGE_SUCCESSFUL;
}

int WINAPI ShowCursor(BOOL show)
{
    Enter(FnShowCursor);
    win32.cursorCount += show ? 1 : -1;
    if (win32.videoReady)
        SDL_ShowCursor(win32.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return win32.cursorCount;
}

HDC WINAPI GetDC(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnGetDC) || slot < 0)
        return NULL;
    return MakeHandle<HDC>(KindDC, slot, win32.windows[slot].gen);
}

int WINAPI ReleaseDC(HWND window, HDC dc)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnReleaseDC) || slot < 0 || SlotOf(dc, KindDC) != slot)
        return 0;
    return 1;
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *format)
{
    if (!Enter(FnChoosePixelFormat) || SlotOf(dc, KindDC) < 0 || !format || format->iPixelType == PFD_TYPE_COLORINDEX)
        return 0;
    bool rgb565 = format->cColorBits > 0 && format->cColorBits <= 16;
    int depthIndex = format->cDepthBits == 0 ? 0 : (format->cDepthBits <= 16 ? 1 : 2);
    return EncodeFormat(rgb565, format->cAlphaBits > 0, depthIndex, format->cStencilBits > 0,
                        (format->dwFlags & PFD_DOUBLEBUFFER) != 0);
}

BOOL WINAPI SetPixelFormat(HDC dc, int formatIndex, const PIXELFORMATDESCRIPTOR *format)
{
    (void)format;
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnSetPixelFormat) || slot < 0 || formatIndex < 1 || formatIndex > FormatCount)
        return FALSE;
    Window &w = win32.windows[slot];
    if (w.format != 0)
        return w.format == formatIndex;
    GlAttribs attribs = DecodeFormat(formatIndex);
    if (!SameAttribs(attribs, w.createdWith)) {
        // The visual of an SDL window is fixed when it is made: make it again, still hidden.
        int x, y;
        SDL_GetWindowPosition(w.sdl, &x, &y);
        Uint32 keep = SDL_GetWindowFlags(w.sdl) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE | SDL_WINDOW_FULLSCREEN);
        SDL_Window *remade = MakeSdlWindow(SDL_GetWindowTitle(w.sdl), x, y, w.clientWidth, w.clientHeight, keep, attribs);
        if (!remade)
            return FALSE;
        if (keep & SDL_WINDOW_FULLSCREEN)
            SDL_SetWindowDisplayMode(remade, &win32.mode);
        SDL_DestroyWindow(w.sdl);
        w.sdl = remade;
        w.createdWith = attribs;
    }
    w.format = formatIndex;
    win32.lastAttribs = attribs;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc)
{
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnSwapBuffers) || slot < 0)
        return FALSE;
    SDL_GL_SwapWindow(win32.windows[slot].sdl);
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc)
{
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnwglCreateContext) || slot < 0 || win32.windows[slot].format == 0)
        return NULL;
    int ctxSlot = -1;
    for (int i = 0; i < MaxContexts && ctxSlot < 0; i++)
        if (!win32.contexts[i].used)
            ctxSlot = i;
    if (ctxSlot < 0)
        return NULL;
    // SDL makes a new context current; wglCreateContext must not, so the old one comes back.
    SDL_Window *previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext sdl = SDL_GL_CreateContext(win32.windows[slot].sdl);
    SDL_GL_MakeCurrent(previous ? previousWindow : NULL, previous);
    if (!sdl)
        return NULL;
    Context &c = win32.contexts[ctxSlot];
    c.used = true;
    c.sdl = sdl;
    return MakeHandle<HGLRC>(KindContext, ctxSlot, c.gen);
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context)
{
    if (!Enter(FnwglMakeCurrent))
        return FALSE;
    if (!context)
        return SDL_GL_MakeCurrent(NULL, NULL) == 0;
    int slot = SlotOf(dc, KindDC);
    int ctxSlot = SlotOf(context, KindContext);
    if (slot < 0 || ctxSlot < 0)
        return FALSE;
    return SDL_GL_MakeCurrent(win32.windows[slot].sdl, win32.contexts[ctxSlot].sdl) == 0;
}

BOOL WINAPI wglDeleteContext(HGLRC context)
{
    int ctxSlot = SlotOf(context, KindContext);
    if (!Enter(FnwglDeleteContext) || ctxSlot < 0)
        return FALSE;
    Context &c = win32.contexts[ctxSlot];
    if (SDL_GL_GetCurrentContext() == c.sdl)
        SDL_GL_MakeCurrent(NULL, NULL);
    SDL_GL_DeleteContext(c.sdl);
    c.used = false;
    c.sdl = NULL;
    c.gen++;
    return TRUE;
}

PROC WINAPI wglGetProcAddress(LPCSTR name)
{
    if (!Enter(FnwglGetProcAddress) || !name || !SDL_GL_GetCurrentContext())
        return NULL;
    return reinterpret_cast<PROC>(SDL_GL_GetProcAddress(name));
}

} // extern "C"

// ---- test seam ----

namespace {

int FnIndex(const char *name)
{
    for (int i = 0; i < FnCount; i++)
        if (name && std::strcmp(fnNames[i], name) == 0)
            return i;
    return -1;
}

void PushWindowEvent(HWND window, Uint8 event, int data1 = 0, int data2 = 0)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return;
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(win32.windows[slot].sdl);
    e.window.event = event;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

} // namespace

void Seam_Reset()
{
    for (int i = 0; i < MaxContexts; i++)
        if (win32.contexts[i].used)
            wglDeleteContext(MakeHandle<HGLRC>(KindContext, i, win32.contexts[i].gen));
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used)
            DestroySlotWindow(i);
    for (int i = 0; i < MaxClasses; i++)
        win32.classes[i].used = false;
    if (win32.videoReady) {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    win32.queueCount = 0;
    win32.quitPending = false;
    win32.quitCode = 0;
    win32.modeChanged = false;
    win32.modePretended = false;
    win32.cursorCount = 0;
    win32.focus = NULL;
    win32.lastAttribs = DefaultAttribs;
    std::memset(win32.calls, 0, sizeof(win32.calls));
    std::memset(win32.failNext, 0, sizeof(win32.failNext));
    win32.scriptedAnswers.clear();
    win32.boxes.clear();
    win32.offeredModes.clear();
    win32.peekHook = NULL;
    win32.peekCalls = 0;
    win32.callLog.clear();
    pendingInterrupt = 0;
}

void Seam_ScriptAnswers(const std::vector<int> &answers)
{
    win32.scriptedAnswers.insert(win32.scriptedAnswers.end(), answers.begin(), answers.end());
}

const std::vector<SeamMessageBox> &Seam_Boxes() { return win32.boxes; }

bool Seam_FailNext(const char *function)
{
    int fn = FnIndex(function);
    if (fn < 0)
        return false;
    win32.failNext[fn]++;
    return true;
}

int Seam_CallCount(const char *function)
{
    int fn = FnIndex(function);
    return fn < 0 ? -1 : win32.calls[fn];
}

void Seam_OfferDisplayMode(int width, int height, int bitsPerPixel)
{
    SDL_DisplayMode m = {};
    m.w = width;
    m.h = height;
    m.format = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : bitsPerPixel == 24 ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_ARGB8888;
    win32.offeredModes.push_back(m);
}

bool Seam_DisplayChanged() { return win32.modeChanged; }
int Seam_CursorCount() { return win32.cursorCount; }

bool Seam_IsFullscreen(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    return slot >= 0 && win32.windows[slot].fullscreen;
}

bool Seam_ClientSize(HWND window, int *width, int *height)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return false;
    SDL_GetWindowSize(win32.windows[slot].sdl, width, height);
    return true;
}

int Seam_LiveWindows()
{
    int n = 0;
    for (const Window &w : win32.windows)
        n += w.used;
    return n;
}

int Seam_LiveContexts()
{
    int n = 0;
    for (const Context &c : win32.contexts)
        n += c.used;
    return n;
}

int Seam_RegisteredClasses()
{
    int n = 0;
    for (const WindowClass &c : win32.classes)
        n += c.used;
    return n;
}

void Seam_InjectKey(HWND window, int vk, bool down, bool repeat, bool alt)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return;
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(win32.windows[slot].sdl);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = KeyFromVk(vk);
    e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
    e.key.keysym.mod = alt ? KMOD_LALT : KMOD_NONE;
    SDL_PushEvent(&e);
}

void Seam_InjectClose(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }
void Seam_InjectMinimize(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_MINIMIZED); }
void Seam_InjectRestore(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_RESTORED); }
void Seam_InjectResize(HWND window, int width, int height)
{
    PushWindowEvent(window, SDL_WINDOWEVENT_SIZE_CHANGED, width, height);
}
void Seam_InjectFocus(HWND window, bool gained)
{
    PushWindowEvent(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}
void Seam_InjectInterrupt() { pendingInterrupt = SIGINT; }

bool Seam_AskScreenSaver(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    return slot >= 0 && AskScreenSaver(slot);
}

void Seam_SetPeekHook(void (*hook)(int call)) { win32.peekHook = hook; }

const std::vector<SeamCall> &Seam_Calls() { return win32.callLog; }

void Seam_Note(const char *name) { win32.callLog.push_back({name, {0, 0}}); }
