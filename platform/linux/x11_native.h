// What the layer asks of X11 itself: the event types behind SDL events, for telling real key
// events from SDL's own, and the placing of a fullscreen window where no window manager runs.
#ifndef KELVO_PLATFORM_X11_NATIVE_H
#define KELVO_PLATFORM_X11_NATIVE_H

#include <SDL2/SDL.h>

// The X11 event type carried by an SDL_SYSWMEVENT, 0 for any other event.
int X11EventType(const SDL_Event &e);
// The X11 key code of a KeyPress or KeyRelease behind an SDL_SYSWMEVENT, 0 for anything else.
int X11KeyCode(const SDL_Event &e);
// The X11 KeyPress and KeyRelease types (-1 where SDL has no X11 driver).
int X11KeyPressType();
int X11KeyReleaseType();
// On an X server with no window manager, which would otherwise leave a desktop-fullscreen window
// at its windowed size, moves and sizes the window to cover bounds; false when it did nothing
// (another video driver, a window manager that does this itself, or no X11 support built in).
bool X11CoverWithoutManager(SDL_Window *window, const SDL_Rect &bounds);

#endif
