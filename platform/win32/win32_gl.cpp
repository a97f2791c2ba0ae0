// Device contexts, pixel formats and GL contexts of the Win32 layer.

#include "platform/win32/win32_internal.h"

namespace win32layer {

namespace {

bool SameAttribs(const GlAttribs &a, const GlAttribs &b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha &&
           a.depth == b.depth && a.stencil == b.stencil && a.doubleBuffer == b.doubleBuffer;
}

void ApplyAttribs(const GlAttribs &a)
{
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, a.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, a.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, a.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, a.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, a.depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, a.stencil);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, a.doubleBuffer);
}

// Pixel formats are numbered 1..48 by their choices, so an index names its attributes.
const int FormatCount = 48;

int EncodeFormat(bool rgb565, bool alpha, int depthIndex, bool stencil, bool doubleBuffer)
{
    return 1 + (rgb565 ? 1 : 0) + 2 * (alpha ? 1 : 0) + 4 * depthIndex + 12 * (stencil ? 1 : 0) + 24 * (doubleBuffer ? 1 : 0);
}

GlAttribs DecodeFormat(int index)
{
    int v = index - 1;
    bool rgb565 = v & 1;
    GlAttribs a;
    a.red = rgb565 ? 5 : 8;
    a.green = rgb565 ? 6 : 8;
    a.blue = rgb565 ? 5 : 8;
    a.alpha = (v >> 1) & 1 ? 8 : 0;
    const int depths[3] = {0, 16, 24};
    a.depth = depths[(v / 4) % 3];
    a.stencil = (v / 12) % 2 ? 8 : 0;
    a.doubleBuffer = (v / 24) % 2;
    return a;
}

} // namespace

SDL_Window *MakeSdlWindow(const char *title, int x, int y, int w, int h, Uint32 flags, const GlAttribs &attribs)
{
    ApplyAttribs(attribs);
    return SDL_CreateWindow(title ? title : "", x, y, w, h, flags | SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

} // namespace win32layer

using namespace win32layer;

extern "C" {

HDC WINAPI GetDC(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnGetDC) || slot < 0)
        return NULL;
    return MakeHandle<HDC>(KindDC, slot, win32.windows[slot].gen);
}

int WINAPI ReleaseDC(HWND window, HDC dc)
{
    int slot = SlotOf(window, KindWindow);
    if (!Enter(FnReleaseDC) || slot < 0 || SlotOf(dc, KindDC) != slot)
        return 0;
    return 1;
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *format)
{
    if (!Enter(FnChoosePixelFormat) || SlotOf(dc, KindDC) < 0 || !format || format->iPixelType == PFD_TYPE_COLORINDEX)
        return 0;
    bool rgb565 = format->cColorBits > 0 && format->cColorBits <= 16;
    int depthIndex = format->cDepthBits == 0 ? 0 : (format->cDepthBits <= 16 ? 1 : 2);
    return EncodeFormat(rgb565, format->cAlphaBits > 0, depthIndex, format->cStencilBits > 0,
                        (format->dwFlags & PFD_DOUBLEBUFFER) != 0);
}

BOOL WINAPI SetPixelFormat(HDC dc, int formatIndex, const PIXELFORMATDESCRIPTOR *format)
{
    (void)format;
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnSetPixelFormat) || slot < 0 || formatIndex < 1 || formatIndex > FormatCount)
        return FALSE;
    Window &w = win32.windows[slot];
    if (w.format != 0)
        return w.format == formatIndex;
    GlAttribs attribs = DecodeFormat(formatIndex);
    if (!SameAttribs(attribs, w.createdWith)) {
        // The visual of an SDL window is fixed when it is made: make it again, still hidden.
        int x, y;
        SDL_GetWindowPosition(w.sdl, &x, &y);
        Uint32 keep = SDL_GetWindowFlags(w.sdl) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE | SDL_WINDOW_FULLSCREEN);
        SDL_Window *remade = MakeSdlWindow(SDL_GetWindowTitle(w.sdl), x, y, w.clientWidth, w.clientHeight, keep, attribs);
        if (!remade)
            return FALSE;
        if (keep & SDL_WINDOW_FULLSCREEN)
            SDL_SetWindowDisplayMode(remade, &win32.mode);
        SDL_DestroyWindow(w.sdl);
        w.sdl = remade;
        w.createdWith = attribs;
    }
    w.format = formatIndex;
    win32.lastAttribs = attribs;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc)
{
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnSwapBuffers) || slot < 0)
        return FALSE;
    SDL_GL_SwapWindow(win32.windows[slot].sdl);
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc)
{
    int slot = SlotOf(dc, KindDC);
    if (!Enter(FnwglCreateContext) || slot < 0 || win32.windows[slot].format == 0)
        return NULL;
    int ctxSlot = -1;
    for (int i = 0; i < MaxContexts && ctxSlot < 0; i++)
        if (!win32.contexts[i].used)
            ctxSlot = i;
    if (ctxSlot < 0)
        return NULL;
    // SDL makes a new context current; wglCreateContext must not, so the old one comes back.
    SDL_Window *previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext sdl = SDL_GL_CreateContext(win32.windows[slot].sdl);
    SDL_GL_MakeCurrent(previous ? previousWindow : NULL, previous);
    if (!sdl)
        return NULL;
    Context &c = win32.contexts[ctxSlot];
    c.used = true;
    c.sdl = sdl;
    return MakeHandle<HGLRC>(KindContext, ctxSlot, c.gen);
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context)
{
    if (!Enter(FnwglMakeCurrent))
        return FALSE;
    if (!context)
        return SDL_GL_MakeCurrent(NULL, NULL) == 0;
    int slot = SlotOf(dc, KindDC);
    int ctxSlot = SlotOf(context, KindContext);
    if (slot < 0 || ctxSlot < 0)
        return FALSE;
    return SDL_GL_MakeCurrent(win32.windows[slot].sdl, win32.contexts[ctxSlot].sdl) == 0;
}

BOOL WINAPI wglDeleteContext(HGLRC context)
{
    int ctxSlot = SlotOf(context, KindContext);
    if (!Enter(FnwglDeleteContext) || ctxSlot < 0)
        return FALSE;
    Context &c = win32.contexts[ctxSlot];
    if (SDL_GL_GetCurrentContext() == c.sdl)
        SDL_GL_MakeCurrent(NULL, NULL);
    SDL_GL_DeleteContext(c.sdl);
    c.used = false;
    c.sdl = NULL;
    c.gen++;
    return TRUE;
}

PROC WINAPI wglGetProcAddress(LPCSTR name)
{
    if (!Enter(FnwglGetProcAddress) || !name || !SDL_GL_GetCurrentContext())
        return NULL;
    return reinterpret_cast<PROC>(SDL_GL_GetProcAddress(name));
}

} // extern "C"
