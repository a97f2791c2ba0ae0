// Application shell: the window, its GL context, the window procedure and the key table.
#ifndef KELVO_APP_APP_H
#define KELVO_APP_APP_H

#include <windows.h>

// 256 key-down flags indexed by virtual-key code: 1 while the key is down.
typedef unsigned char KeyTable[256];

// Process-wide state of the shell. The handles and pixelFormat are written only by
// CreateMainWindow and DestroyMainWindow; fullscreenMode by them and by the main loop
// (start-up answer, F1); drawingEnabled and keyTable by MainWindowProc, except that the
// main loop clears the F1 entry when it acts on it; keyPressed by MainWindowProc (set) and by
// the main loop (cleared once every idle pass has read it).
struct AppState {
    HINSTANCE instance;
    HWND window;
    HDC deviceContext;
    HGLRC glContext;
    bool fullscreenMode;
    bool drawingEnabled;
    KeyTable keyTable;
    PIXELFORMATDESCRIPTOR pixelFormat;
    bool pixelFormatFilled; // the first creation that reached a window filled pixelFormat
    // Keys pressed since the last idle pass, released or not: a tap shorter than a frame has its
    // key-down and key-up dispatched in the same batch, and would be missed in keyTable alone.
    KeyTable keyPressed;
};

extern AppState appState;

// Registers the class, switches the display when fullscreen, makes the window and context and
// initialises the scene. false after a failure, which has been shown in a box (and torn down
// where that failure calls for it).
bool CreateMainWindow(const char *title, int width, int height, int bits, bool fullscreen);

// Releases whatever exists of the display mode change, context, device context, window and
// class; reports each failure in a box and goes on.
void DestroyMainWindow();

// The procedure of the window class "OpenGL".
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Viewport and perspective projection for a client area; a height of 0 counts as 1.
void SetupProjection(int width, int height);

#endif
