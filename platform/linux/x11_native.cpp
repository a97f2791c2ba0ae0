// What the layer does with X11 itself, kept apart because the X11 headers bring macros
// (None, Window, KeyPress ...) that clash with the Win32 names of the rest of the layer.

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#endif

#include "platform/linux/x11_native.h"

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

bool X11CoverWithoutManager(SDL_Window *window, const SDL_Rect &bounds)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    Display *display = info.info.x11.display;
    // A window manager that follows the desktop conventions names itself on the root window;
    // such a manager covers the monitor when asked through the window's state.
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check != 0) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *value = nullptr;
        int got = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                     &format, &count, &after, &value);
        if (value)
            XFree(value);
        if (got == Success && type == XA_WINDOW && count == 1)
            return false;
    }
    XMoveResizeWindow(display, info.info.x11.window, bounds.x, bounds.y, unsigned(bounds.w), unsigned(bounds.h));
    XRaiseWindow(display, info.info.x11.window);
    XFlush(display);
    return true;
#else
    (void)window;
    (void)bounds;
    return false;
#endif
}
