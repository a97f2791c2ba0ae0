// Display modes, the cursor and the screen saver of the Win32 layer.

#include "platform/linux/layer_internal.h"

#include <cstring>

namespace win32layer {

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

// A window manager may drop a fullscreen request that reaches it while it is still taking the
// new window in (Weston's Xwayland one does, now and then): the window then stays at the
// picture's size in a frame. Asking again once the window is up puts it right; a window manager
// that refuses fullscreen is asked a few times only.
void KeepFullscreen(int slot)
{
    const int MaxAsks = 3;
    Window &w = win32.windows[slot];
    if (!w.fullscreenCheckAt || SDL_GetTicks64() < w.fullscreenCheckAt)
        return;
    w.fullscreenCheckAt = 0;
    const char *driver = SDL_GetCurrentVideoDriver();
    const Uint32 desktop = SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (!w.fullscreen || w.pretended || !driver || std::strcmp(driver, "x11") != 0 ||
        (SDL_GetWindowFlags(w.sdl) & desktop) != desktop)
        return;
    SDL_Rect bounds;
    int width = 0, height = 0;
    SDL_GetWindowSize(w.sdl, &width, &height);
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w.sdl), &bounds) != 0 ||
        (width >= bounds.w && height >= bounds.h) || w.fullscreenAsks >= MaxAsks)
        return;
    w.fullscreenAsks++;
    SDL_SetWindowFullscreen(w.sdl, 0);
    SDL_SetWindowFullscreen(w.sdl, desktop);
    w.fullscreenCheckAt = SDL_GetTicks64() + FullscreenCheckMs;
}

} // namespace win32layer

using namespace win32layer;

extern "C" {

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
    if (!DisplayOffers(width, height, mode->dmBitsPerPel, checkBits, &found, &pretended)) {
        // A mode the display lacks is emulated: the window covers the monitor in its own mode and
        // shows the picture scaled, which needs framebuffer objects. Colour depths the picture
        // can have only.
        const DWORD bits = mode->dmBitsPerPel;
        const bool depthKnown = !checkBits || bits == 16 || bits == 24 || bits == 32;
        if (win32.noEmulation || !depthKnown || width == 0 || height == 0 || width > 16384 || height > 16384
            || !GlCanScalePicture())
            return DISP_CHANGE_BADMODE;
        found = desktop;
        found.w = int(width);
        found.h = int(height);
    }
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

} // extern "C"
