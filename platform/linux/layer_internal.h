// Private to the Win32 layer: its state record, handle encoding and the helpers its files share.
// Nothing outside platform/linux includes this.
#ifndef KELVO_PLATFORM_LINUX_LAYER_INTERNAL_H
#define KELVO_PLATFORM_LINUX_LAYER_INTERNAL_H

#include <windows.h>

#include "platform/linux/test_seam.h"

#include <SDL2/SDL.h>

#include <csignal>
#include <string>
#include <vector>

namespace win32layer {

enum Fn {
    FnGetModuleHandleA, FnRegisterClassA, FnUnregisterClassA, FnAdjustWindowRectEx, FnCreateWindowExA,
    FnDestroyWindow, FnShowWindow, FnSetForegroundWindow, FnSetFocus, FnPeekMessageA, FnDispatchMessageA,
    FnMessageBoxA, FnChangeDisplaySettingsA, FnShowCursor, FnGetDC, FnReleaseDC, FnChoosePixelFormat,
    FnSetPixelFormat, FnSwapBuffers, FnwglCreateContext, FnwglMakeCurrent, FnwglDeleteContext,
    FnwglGetProcAddress, FnLoadIconA, FnLoadCursorA, FnCount
};

extern const char *const fnNames[FnCount];

enum HandleKind { KindWindow = 1, KindDC = 2, KindContext = 3, KindInstance = 4, KindIcon = 5, KindCursor = 6 };

const int MaxClasses = 8;
const int MaxWindows = 8;
const int MaxContexts = 8;
const int QueueSize = 1024;
const Uint64 ScreenSaverAskMs = 30000;

struct GlAttribs {
    int red, green, blue, alpha, depth, stencil, doubleBuffer;
};

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
    bool fullscreen;         // fullscreen in the mode asked for, emulated, real or pretended
    bool pretended;          // fullscreen in a mode offered by the test seam only
    bool minimized;
    // X11: when to look next whether the window manager made the fullscreen window cover its
    // display (0: not due), and how often fullscreen has been asked for again.
    Uint64 fullscreenCheckAt;
    int fullscreenAsks;
    // The picture the program draws: an offscreen framebuffer of the client size it asked for,
    // scaled onto the window at every SwapBuffers. 0 while the window shows the default
    // framebuffer as it is (no GL context yet, or a GL without framebuffer objects).
    unsigned pictureFramebuffer, pictureColor, pictureDepth;
    HGLRC pictureContext;    // the context that holds the picture's objects
    int pictureWidth, pictureHeight;
};

// Where a picture of pictureWidth x pictureHeight goes in a drawable of that size: as large as
// fits with its proportions kept, centred; empty when either size is not positive.
struct PictureRect {
    int x, y, width, height;
};
PictureRect FitPicture(int pictureWidth, int pictureHeight, int drawableWidth, int drawableHeight);

struct Context {
    bool used;
    unsigned gen;
    SDL_GLContext sdl;
};

// Process-wide state of the layer.
struct Win32State {
    bool videoTried, videoReady;
    bool glHeld; // the layer holds the GL library loaded between windows (SDL_GL_LoadLibrary)
    volatile sig_atomic_t boxShowing; // a message box is up on the screen (read by the signal handler)
    WindowClass classes[MaxClasses];
    Window windows[MaxWindows];
    Context contexts[MaxContexts];
    MSG queue[QueueSize];
    int queueCount;
    bool quitPending;
    int quitCode;
    bool modeChanged, modePretended;
    SDL_DisplayMode mode;
    int canScale;            // whether the GL can scale a picture: 0 not yet known, 1 yes, -1 no
    int cursorCount;
    HWND focus;
    GlAttribs lastAttribs;
    Uint64 lastScreenSaverAsk;
    bool screenSaverReachedDefault, monitorPowerReachedDefault;
    bool onlyRealKeys;       // X11: key events SDL makes up on focus changes are dropped
    void *waylandClient;     // the Wayland client library, held loaded while its log handler is ours
    std::string heldLibraryLines; // what it logged while SDL looked for a display
    int lastX11Event;        // the X11 event type behind the next SDL event
    int lastX11KeyCode;      // and its key code, for key events
    int vkOfX11Key[256];     // virtual-key code last seen for each X11 key code
    // test seam
    int calls[FnCount];
    int failNext[FnCount];
    std::vector<int> scriptedAnswers;
    std::vector<SeamMessageBox> boxes;
    std::vector<SDL_DisplayMode> offeredModes;
    bool noEmulation;        // modes the display lacks are refused, as where the GL cannot scale
    void (*peekHook)(int);
    int peekCalls;
    // The call log of the test seam, kept only once a test has reset the seam, so that the
    // demo itself never grows it.
    bool logCalls;
    std::vector<SeamCall> callLog;
};

// The layer's state. Written only by the files of platform/linux.
extern Win32State win32;
// The signal that asked to end the program and is not yet turned into WM_CLOSE, or 0.
extern volatile sig_atomic_t pendingInterrupt;

extern const GlAttribs DefaultAttribs;

// Counts the call and answers whether the test seam wants it to fail.
bool Enter(Fn fn);

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

HWND WindowHandle(int slot);

// Starts SDL video on first use; whether there is a screen (or a screenless driver was asked
// for). Installs the handlers of SIGINT, SIGTERM and SIGHUP; a request one of them makes that the
// loop has not taken up (turned into WM_CLOSE) within 5 s ends the program by that signal.
bool EnsureVideo();
// After a signal ended a message box: releases the layer's windows, contexts and display mode and
// ends the process with status 0, as a close request would end the program.
[[noreturn]] void ExitOnInterrupt();
// SDL_ShowMessageBox, except that SIGINT, SIGTERM or SIGHUP before or while it is up closes the
// box and ends the program through ExitOnInterrupt.
int ShowBoxUntilInterrupted(const SDL_MessageBoxData *box, int *pressed);

// Windows and messages (window.cpp).
LRESULT Send(int slot, UINT message, WPARAM wParam, LPARAM lParam);
void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int WindowFromSdlId(Uint32 id);
void TranslateWindowEvent(const SDL_WindowEvent &e);
void DestroySlotWindow(int slot);

// Input (input.cpp).
int VkFromKey(SDL_Keycode key);
SDL_Keycode KeyFromVk(int vk);
void TranslateKey(const SDL_KeyboardEvent &e);
// Turns pending signals and SDL events into messages; asks about the screen saver when due.
void PumpInput();

// The program's own icon, shown by its windows: ProgramIconSide square, RGBA, top row first
// (generated by tools/make_icons).
extern const int ProgramIconSide;
extern const unsigned char ProgramIconRgba[];

// GL attributes and pixel formats (gl_context.cpp).
SDL_Window *MakeSdlWindow(const char *title, int x, int y, int w, int h, Uint32 flags, const GlAttribs &attribs);
// Forgets the window's picture framebuffer, deleting its objects when their context is current.
void DropPicture(int slot);
// A fullscreen window that cannot be scaled takes the display mode it asked for, as a real change.
void ChangeModeForReal(int slot);
// Whether the GL has framebuffer objects to draw a picture in and scale it, so that any mode can
// be emulated; found once, with a hidden window and context of its own. False without video.
bool GlCanScalePicture();

// Display modes and the screen saver (display.cpp).
bool AskScreenSaver(int slot);
bool DisplayOffers(DWORD width, DWORD height, DWORD bits, bool checkBits, SDL_DisplayMode *found, bool *pretended);
// How long after a fullscreen window is shown KeepFullscreen looks at it, and between asks.
const Uint64 FullscreenCheckMs = 1000;
// Due after a fullscreen window is shown: on X11, asks again (a few times at most) for a
// fullscreen window that the window manager left smaller than its display.
void KeepFullscreen(int slot);

} // namespace win32layer

#endif
