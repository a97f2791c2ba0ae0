// The Win32/WGL subset of windows.h on SDL2. See the contract at the top of windows.h.
//
// Handles are not pointers: each encodes a kind, a table slot and the slot's generation,
// so a stale or forged handle is recognised and the call fails instead of touching freed
// memory. All state lives in one record, `win32` (layer_internal.h), written only by the
// layer's files:
//   layer.cpp          the state, handles, starting video, signals, the module and classes
//   window.cpp         windows, the message queue and the message loop calls
//   input.cpp          keys from SDL and X11 events to virtual-key messages
//   gl_context.cpp     device contexts, pixel formats and GL contexts
//   message_box.cpp    message boxes
//   display.cpp        display modes, the cursor and the screen saver
//   test_seam.cpp      the test seam (test_seam.h)

#include "platform/linux/layer_internal.h"
#include "platform/linux/window_layer.h"

#include <fsound.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR must keep its Win32 layout");
static_assert(sizeof(DEVMODEA) == 148, "DEVMODEA must keep its 148-byte Win32 layout");

// The desktop entry's id, which the build sets.
#ifndef KELVO_APP_ID
#define KELVO_APP_ID "kelvo"
#endif

namespace win32layer {

extern const char *const fnNames[FnCount] = {
    "GetModuleHandleA", "RegisterClassA", "UnregisterClassA", "AdjustWindowRectEx", "CreateWindowExA",
    "DestroyWindow", "ShowWindow", "SetForegroundWindow", "SetFocus", "PeekMessageA", "DispatchMessageA",
    "MessageBoxA", "ChangeDisplaySettingsA", "ShowCursor", "GetDC", "ReleaseDC", "ChoosePixelFormat",
    "SetPixelFormat", "SwapBuffers", "wglCreateContext", "wglMakeCurrent", "wglDeleteContext",
    "wglGetProcAddress", "LoadIconA", "LoadCursorA",
};

Win32State win32 = {};
volatile sig_atomic_t pendingInterrupt = 0;

extern const GlAttribs DefaultAttribs = {8, 8, 8, 0, 16, 0, 1};

// Counts the call and answers whether the test seam wants it to fail.
bool Enter(Fn fn)
{
    win32.calls[fn]++;
    if (win32.logCalls)
        win32.callLog.push_back({fnNames[fn], {0, 0}});
    if (win32.failNext[fn] > 0) {
        win32.failNext[fn]--;
        return false;
    }
    return true;
}

HWND WindowHandle(int slot) { return MakeHandle<HWND>(KindWindow, slot, win32.windows[slot].gen); }

namespace {

pid_t layerProcess = 0;        // the process that installed the handlers
pid_t *boxChild = nullptr;     // shared with forked children: the pid of a message box's process

// A message box on X11 (or Wayland) runs in a forked process while this one waits for it; the
// child notes its pid in the shared page so that a signal here can end it.
void NoteForkedChild()
{
    if (win32.boxShowing && boxChild)
        *boxChild = getpid();
}

// A request to end that the loop has not taken up after this long (a display connection that no
// longer answers, a call that never returns) ends the program by the signal itself.
const unsigned SignalGraceSeconds = 5;

void EndByPendingSignal(int)
{
    const int sig = pendingInterrupt;
    if (!sig)
        return;  // taken up in time
    if (boxChild && *boxChild > 0)
        kill(*boxChild, SIGTERM);  // a message box's process goes too
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void HandleSignal(int sig)
{
    if (getpid() != layerProcess)
        _exit(128 + sig); // a message box's process: its window goes with it
    if (win32.boxShowing) {
        // The box ends; MessageBoxA then ends the program, unless the display it tears down no
        // longer answers: the grace holds here too.
        const bool first = !pendingInterrupt;
        pendingInterrupt = sig;
        if (boxChild && *boxChild > 0)
            kill(*boxChild, SIGTERM);
        if (first)
            alarm(SignalGraceSeconds);
        return;
    }
    if (pendingInterrupt) {
        // The first request was never taken up (no window to close it): give up politely.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    pendingInterrupt = sig;
    alarm(SignalGraceSeconds);
}

void InstallSignalHandlers()
{
    layerProcess = getpid();
    void *page = mmap(nullptr, sizeof(pid_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) {
        boxChild = static_cast<pid_t *>(page);
        pthread_atfork(nullptr, nullptr, NoteForkedChild);
    }
    struct sigaction action = {};
    action.sa_handler = HandleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal went away: end as cleanly as on SIGTERM
    struct sigaction grace = {};
    grace.sa_handler = EndByPendingSignal;
    sigemptyset(&grace.sa_mask);
    grace.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &grace, nullptr);
}

// Whether `name` is one of the comma-separated drivers SDL_VIDEODRIVER asks for.
bool DriverRequested(const char *name)
{
    const char *list = SDL_getenv("SDL_VIDEODRIVER");
    size_t length = std::strlen(name);
    for (const char *at = list; at && *at;) {
        const char *end = std::strchr(at, ',');
        size_t itemLength = end ? size_t(end - at) : std::strlen(at);
        if (itemLength == length && strncasecmp(at, name, length) == 0)
            return true;
        at = end ? end + 1 : nullptr;
    }
    return false;
}

const char OffscreenHint[] = "SDL_VIDEODRIVER=offscreen runs the demo without one";

// The Wayland client library's log handler (wl_log_func_t), which it calls with each line it logs.
typedef void (*WaylandLogHandler)(const char *format, va_list args);

void HoldWaylandLine(const char *format, va_list args)
{
    char line[1024];
    std::vsnprintf(line, sizeof line, format, args);
    win32.heldLibraryLines += line;
}

void PrintWaylandLine(const char *format, va_list args) { std::vfprintf(stderr, format, args); }

// Gives the Wayland client library (the one SDL's Wayland driver uses, loaded now if SDL has not)
// `handler` for what it logs; false where the library is not there.
bool SetWaylandLogHandler(WaylandLogHandler handler)
{
    if (!win32.waylandClient)
        win32.waylandClient = dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!win32.waylandClient)
        return false;
    auto setHandler = reinterpret_cast<void (*)(WaylandLogHandler)>(
        dlsym(win32.waylandClient, "wl_log_set_handler_client"));
    if (setHandler)
        setHandler(handler);
    return setHandler != nullptr;
}

// SDL falls back to a driver with no screen when no display answers. Unless that driver was asked
// for, the layer counts it as no video, as Windows has none without a desktop, and says which
// display it could not open.
bool ScreenAvailable()
{
    const char *driver = SDL_GetCurrentVideoDriver();
    bool screenless = !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                      std::strcmp(driver, "evdev") == 0;
    if (screenless && driver && DriverRequested(driver))
        return true;
    if (!screenless)
        return true;
    const char *x11 = SDL_getenv("DISPLAY");
    const char *wayland = SDL_getenv("WAYLAND_DISPLAY");
    bool hasX11 = x11 && *x11, hasWayland = wayland && *wayland;
    if (hasX11 && hasWayland)
        std::fprintf(stderr, "kelvo: cannot open the display \"%s\" nor the Wayland display \"%s\"; %s\n", x11,
                     wayland, OffscreenHint);
    else if (hasX11 || hasWayland)
        std::fprintf(stderr, "kelvo: cannot open the display \"%s\"; %s\n", hasX11 ? x11 : wayland, OffscreenHint);
    else
        std::fprintf(stderr, "kelvo: no display to open (DISPLAY and WAYLAND_DISPLAY are not set); %s\n",
                     OffscreenHint);
    // Why a named Wayland display could not be opened, in the library's words, after the line.
    if (hasWayland)
        std::fputs(win32.heldLibraryLines.c_str(), stderr);
    std::fflush(stderr);
    return false;
}

} // namespace

bool EnsureVideo()
{
    if (!win32.videoTried) {
        win32.videoTried = true;
        InstallSignalHandlers();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The desktop matches a window to its launcher by the X11 class or the Wayland app id;
        // SDL reads them from the environment, where the user may have set others.
        setenv("SDL_VIDEO_X11_WMCLASS", KELVO_APP_ID, 0);
        setenv("SDL_VIDEO_WAYLAND_WMCLASS", KELVO_APP_ID, 0);
        // SDL tries Wayland's default display even where none is named, and the Wayland client
        // library logs why that failed ("error: XDG_RUNTIME_DIR is invalid or not set in the
        // environment."). Its lines are held while SDL looks, so that the layer's own line about
        // the display comes first; once a display is open they are dropped, and what the
        // library logs later goes to standard error as it would.
        bool holding = SetWaylandLogHandler(HoldWaylandLine);
        win32.videoReady = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!win32.videoReady) {
            std::fprintf(stderr, "kelvo: no video (%s)\n", SDL_GetError());
            std::fputs(win32.heldLibraryLines.c_str(), stderr);
            std::fflush(stderr);
        } else if (!ScreenAvailable()) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            win32.videoReady = false;
        }
        if (holding)
            SetWaylandLogHandler(PrintWaylandLine);
        win32.heldLibraryLines = std::string();
        if (win32.videoReady) {
            // The GL library stays loaded for the whole process. Otherwise destroying the last
            // window unloads it and the next window loads it again, at every F1, and the driver
            // leaves behind what each load allocated. A failure here is left to the window's own
            // load, which reports it.
            win32.glHeld = SDL_GL_LoadLibrary(NULL) == 0;
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

int ShowBoxUntilInterrupted(const SDL_MessageBoxData *box, int *pressed)
{
    if (boxChild)
        *boxChild = 0;
    win32.boxShowing = 1;
    if (pendingInterrupt)
        ExitOnInterrupt(); // asked to end before the box came up
    int result = SDL_ShowMessageBox(box, pressed);
    win32.boxShowing = 0;
    if (pendingInterrupt)
        ExitOnInterrupt();
    return result;
}

void ExitOnInterrupt()
{
    // What ending the process does on Windows: its sound stops, its windows and contexts go,
    // and the display mode it changed comes back. The sound goes first: its device watcher
    // would otherwise go on calling SDL's audio while SDL_Quit takes it down.
    FSOUND_Close();
    for (int i = 0; i < MaxContexts; i++)
        if (win32.contexts[i].used) {
            SDL_GL_DeleteContext(win32.contexts[i].sdl);
            win32.contexts[i].used = false;
        }
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used)
            DestroySlotWindow(i);
    win32.modeChanged = false;
    QuitWindowLayer();
    std::fflush(stdout);
    std::exit(0);
}

} // namespace win32layer

using namespace win32layer;

void QuitWindowLayer()
{
    // SDL_Quit would leave a library loaded this way behind, with what its loading allocated.
    if (win32.glHeld)
        SDL_GL_UnloadLibrary();
    win32.glHeld = false;
    SDL_Quit();
}

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

} // extern "C"
