// Which X11 event an SDL event came from, kept apart because the X11 headers bring macros
// (None, Window, KeyPress ...) that clash with the Win32 names of the rest of the layer.

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include "platform/win32/x11_keys.h"

int X11EventType(const SDL_Event &e)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (e.type == SDL_SYSWMEVENT && e.syswm.msg && e.syswm.msg->subsystem == SDL_SYSWM_X11)
        return e.syswm.msg->msg.x11.event.type;
#else
    (void)e;
#endif
    return 0;
}

int X11KeyCode(const SDL_Event &e)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    int type = X11EventType(e);
    if (type == KeyPress || type == KeyRelease)
        return int(e.syswm.msg->msg.x11.event.xkey.keycode);
#else
    (void)e;
#endif
    return 0;
}

int X11KeyPressType()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    return KeyPress;
#else
    return -1;
#endif
}

int X11KeyReleaseType()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    return KeyRelease;
#else
    return -1;
#endif
}
