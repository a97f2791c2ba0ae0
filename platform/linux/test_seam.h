/*
 * test_seam.h -- test controls of the Win32 layer. Only tests include this.
 *
 * Names of functions are the Win32 names ("GetDC", "wglMakeCurrent", ...).
 * Everything here runs on the thread that uses the layer.
 */
#ifndef KELVO_PLATFORM_LINUX_TEST_SEAM_H
#define KELVO_PLATFORM_LINUX_TEST_SEAM_H

#include <windows.h>

#include <string>
#include <vector>

/* One message box as it was asked for, with a picture of the layer at that moment. */
struct SeamMessageBox {
    std::string text;
    std::string caption;
    UINT flags;
    HWND owner;
    int answer;            /* what MessageBoxA returned */
    int liveWindows;       /* windows that existed when the box was shown */
    int liveContexts;      /* GL contexts that existed */
    int registeredClasses; /* window classes still registered */
    bool displayChanged;   /* a display mode change was in force */
    int cursorCount;       /* the ShowCursor counter */
};

/* Forgets scripted answers, armed failures, recorded boxes, call counts and queued messages. */
void Seam_Reset();

/* The next MessageBoxA calls return these answers in order, without showing anything. */
void Seam_ScriptAnswers(const std::vector<int> &answers);
/* Every MessageBoxA call since the last reset, oldest first. */
const std::vector<SeamMessageBox> &Seam_Boxes();

/* The next call of the named function fails as the real one does; false for an unknown name. */
bool Seam_FailNext(const char *function);
/* How often the named function was called since the last reset; -1 for an unknown name. */
int Seam_CallCount(const char *function);

/* ChangeDisplaySettingsA accepts this mode too; a popup window made in it is an ordinary
   borderless window of that size that the layer reports as fullscreen. */
void Seam_OfferDisplayMode(int width, int height, int bitsPerPixel);
/* Until the next reset, ChangeDisplaySettingsA refuses the modes the display lacks, as where the
   GL has no framebuffer objects to emulate them with. */
void Seam_NoModeEmulation();
/* Whether a display mode change is in force. */
bool Seam_DisplayChanged();
/* The ShowCursor counter (0 at start). */
int Seam_CursorCount();
/* Whether the window is an exclusive fullscreen window (or a pretended one, see above). */
bool Seam_IsFullscreen(HWND window);
/* The client size of the window; false for an invalid window. */
bool Seam_ClientSize(HWND window, int *width, int *height);
/* Where the window's picture goes in a drawable of that size, as x, y, width, height from the
   bottom left; false when the window shows its own framebuffer unscaled (no picture). */
bool Seam_PicturePlace(HWND window, int drawableWidth, int drawableHeight, int place[4]);
/* Number of live windows, GL contexts and registered classes. */
int Seam_LiveWindows();
int Seam_LiveContexts();
int Seam_RegisteredClasses();

/* Input, delivered through the same SDL event path as real input. vk is a virtual-key code. */
void Seam_InjectKey(HWND window, int vk, bool down, bool repeat = false, bool alt = false);
void Seam_InjectClose(HWND window);
void Seam_InjectMinimize(HWND window);
void Seam_InjectRestore(HWND window);
void Seam_InjectResize(HWND window, int width, int height);
void Seam_InjectFocus(HWND window, bool gained);
/* As if SIGINT had arrived. */
void Seam_InjectInterrupt();

/* Asks the window procedure about the screen saver now; returns whether it stays inhibited. */
bool Seam_AskScreenSaver(HWND window);

/* One entry of the call log: a counted Win32 call or a test's note, with two of its arguments:
   CreateWindowExA (exStyle, style), DefWindowProcA (message, wParam); 0 for the rest. */
struct SeamCall {
    const char *function;
    uintptr_t args[2];
};
/* Every counted call, DefWindowProcA and note since the last reset, oldest first (nothing is
   logged before the first Seam_Reset). */
const std::vector<SeamCall> &Seam_Calls();
/* Adds a named entry to the log (a stand-in's own call), so that its order shows among the layer's. */
void Seam_Note(const char *name);

/* Called at the start of every PeekMessageA with the number of earlier calls; NULL removes it. */
void Seam_SetPeekHook(void (*hook)(int call));

#endif
