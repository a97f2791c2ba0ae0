// X11 event types behind SDL events, for telling real key events from SDL's own.
#ifndef KELVO_PLATFORM_X11_KEYS_H
#define KELVO_PLATFORM_X11_KEYS_H

#include <SDL2/SDL.h>

// The X11 event type carried by an SDL_SYSWMEVENT, 0 for any other event.
int X11EventType(const SDL_Event &e);
// The X11 key code of a KeyPress or KeyRelease behind an SDL_SYSWMEVENT, 0 for anything else.
int X11KeyCode(const SDL_Event &e);
// The X11 KeyPress and KeyRelease types (-1 where SDL has no X11 driver).
int X11KeyPressType();
int X11KeyReleaseType();

#endif
