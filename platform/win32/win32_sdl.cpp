// The Win32/WGL subset of windows.h on SDL2. See the contract at the top of windows.h.
//
// Handles are not pointers: each encodes a kind, a table slot and the slot's generation,
// so a stale or forged handle is recognised and the call fails instead of touching freed
// memory. All state lives in one record, `win32` (win32_internal.h), written only by the
// layer's files:
//   win32_sdl.cpp      the state, handles, starting video, signals, the module and classes
//   win32_window.cpp   windows, the message queue and the message loop calls
//   win32_input.cpp    keys from SDL and X11 events to virtual-key messages
//   win32_gl.cpp       device contexts, pixel formats and GL contexts
//   win32_msgbox.cpp   message boxes
//   win32_display.cpp  display modes, the cursor and the screen saver
//   win32_seam.cpp     the test seam (win32_seam.h)

#include "platform/win32/win32_internal.h"

#include <cstring>
#include <strings.h>

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR must keep its Win32 layout");
static_assert(sizeof(DEVMODEA) == 148, "DEVMODEA must keep its 148-byte Win32 layout");

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
    if (win32.failNext[fn] > 0) {
        win32.failNext[fn]--;
        return false;
    }
    return true;
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

} // namespace win32layer

using namespace win32layer;

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
