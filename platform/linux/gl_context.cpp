// Device contexts, pixel formats and GL contexts of the Win32 layer.

#include "platform/linux/layer_internal.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

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

// The framebuffer-object calls, fetched from the current context; all null where it has none.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
};

bool LoadFramebufferCalls(FramebufferCalls *gl)
{
    *gl = FramebufferCalls();
    if (!SDL_GL_GetCurrentContext() || !SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object"))
        return false;
    gl->genFramebuffers = (PFNGLGENFRAMEBUFFERSPROC)SDL_GL_GetProcAddress("glGenFramebuffers");
    gl->deleteFramebuffers = (PFNGLDELETEFRAMEBUFFERSPROC)SDL_GL_GetProcAddress("glDeleteFramebuffers");
    gl->bindFramebuffer = (PFNGLBINDFRAMEBUFFERPROC)SDL_GL_GetProcAddress("glBindFramebuffer");
    gl->framebufferRenderbuffer =
        (PFNGLFRAMEBUFFERRENDERBUFFERPROC)SDL_GL_GetProcAddress("glFramebufferRenderbuffer");
    gl->checkFramebufferStatus = (PFNGLCHECKFRAMEBUFFERSTATUSPROC)SDL_GL_GetProcAddress("glCheckFramebufferStatus");
    gl->genRenderbuffers = (PFNGLGENRENDERBUFFERSPROC)SDL_GL_GetProcAddress("glGenRenderbuffers");
    gl->deleteRenderbuffers = (PFNGLDELETERENDERBUFFERSPROC)SDL_GL_GetProcAddress("glDeleteRenderbuffers");
    gl->bindRenderbuffer = (PFNGLBINDRENDERBUFFERPROC)SDL_GL_GetProcAddress("glBindRenderbuffer");
    gl->renderbufferStorage = (PFNGLRENDERBUFFERSTORAGEPROC)SDL_GL_GetProcAddress("glRenderbufferStorage");
    gl->blitFramebuffer = (PFNGLBLITFRAMEBUFFERPROC)SDL_GL_GetProcAddress("glBlitFramebuffer");
    bool all = gl->genFramebuffers && gl->deleteFramebuffers && gl->bindFramebuffer && gl->framebufferRenderbuffer &&
               gl->checkFramebufferStatus && gl->genRenderbuffers && gl->deleteRenderbuffers &&
               gl->bindRenderbuffer && gl->renderbufferStorage && gl->blitFramebuffer;
    if (!all)
        *gl = FramebufferCalls();
    return all;
}

void DeletePictureObjects(Window &w, const FramebufferCalls &gl)
{
    GLuint framebuffer = w.pictureFramebuffer, buffers[2] = {w.pictureColor, w.pictureDepth};
    if (framebuffer)
        gl.deleteFramebuffers(1, &framebuffer);
    gl.deleteRenderbuffers(buffers[1] ? 2 : 1, buffers);
}

// Makes the window's picture framebuffer in the current context with the formats of the
// window's own framebuffer, so that what the program draws and reads back is what it would be
// without it, and binds it for drawing and reading. False where the GL cannot.
bool MakePicture(int slot, HGLRC context)
{
    Window &w = win32.windows[slot];
    FramebufferCalls gl;
    if (!LoadFramebufferCalls(&gl))
        return false;
    GLint red = 0, alpha = 0, depth = 0, stencil = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    GLenum colorFormat = alpha > 0 ? GL_RGBA8 : (red > 0 && red <= 5 ? GL_RGB565 : GL_RGB8);
    GLenum depthFormat = stencil > 0 ? GL_DEPTH24_STENCIL8 : (depth > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16);
    GLenum depthAttachment = stencil > 0 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    bool wantsDepth = depth > 0 || stencil > 0;
    while (glGetError() != GL_NO_ERROR) {
    }

    GLuint framebuffer = 0, buffers[2] = {0, 0};
    gl.genRenderbuffers(wantsDepth ? 2 : 1, buffers);
    gl.bindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    gl.renderbufferStorage(GL_RENDERBUFFER, colorFormat, w.clientWidth, w.clientHeight);
    if (wantsDepth) {
        gl.bindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
        gl.renderbufferStorage(GL_RENDERBUFFER, depthFormat, w.clientWidth, w.clientHeight);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.genFramebuffers(1, &framebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    if (wantsDepth)
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, depthAttachment, GL_RENDERBUFFER, buffers[1]);
    bool complete = gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
    w.pictureFramebuffer = framebuffer;
    w.pictureColor = buffers[0];
    w.pictureDepth = buffers[1];
    if (!complete) {
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
        DeletePictureObjects(w, gl);
        w.pictureFramebuffer = w.pictureColor = w.pictureDepth = 0;
        return false;
    }
    w.pictureContext = context;
    w.pictureWidth = w.clientWidth;
    w.pictureHeight = w.clientHeight;
    // A context's first binding sizes its viewport and scissor box to the window's drawable,
    // which in fullscreen is the monitor: they start at the picture's size instead.
    glViewport(0, 0, w.pictureWidth, w.pictureHeight);
    glScissor(0, 0, w.pictureWidth, w.pictureHeight);
    return true;
}

// Draws the picture onto the window's back buffer, scaled to fit, black around it, leaving
// the program's GL state and bindings as they were.
void PresentPicture(Window &w)
{
    FramebufferCalls gl;
    if (!LoadFramebufferCalls(&gl))
        return;
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(w.sdl, &drawableWidth, &drawableHeight);
    PictureRect to = FitPicture(w.pictureWidth, w.pictureHeight, drawableWidth, drawableHeight);
    if (to.width <= 0 || to.height <= 0)
        return;
    GLint readBinding = 0, drawBinding = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readBinding);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawBinding);
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLboolean mask[4];
    GLfloat clear[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);

    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, w.pictureFramebuffer);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (to.width != drawableWidth || to.height != drawableHeight) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    bool sameSize = to.width == w.pictureWidth && to.height == w.pictureHeight;
    gl.blitFramebuffer(0, 0, w.pictureWidth, w.pictureHeight, to.x, to.y, to.x + to.width, to.y + to.height,
                       GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);

    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readBinding));
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawBinding));
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

} // namespace

PictureRect FitPicture(int pictureWidth, int pictureHeight, int drawableWidth, int drawableHeight)
{
    PictureRect r = {0, 0, 0, 0};
    if (pictureWidth <= 0 || pictureHeight <= 0 || drawableWidth <= 0 || drawableHeight <= 0)
        return r;
    // Compared in integers, so that a drawable of exactly the picture's proportions is filled
    // to its last pixel.
    if (long(drawableWidth) * pictureHeight <= long(drawableHeight) * pictureWidth) {
        r.width = drawableWidth;
        r.height = int(std::lround(double(drawableWidth) * pictureHeight / pictureWidth));
    } else {
        r.height = drawableHeight;
        r.width = int(std::lround(double(drawableHeight) * pictureWidth / pictureHeight));
    }
    r.width = r.width < 1 ? 1 : r.width;
    r.height = r.height < 1 ? 1 : r.height;
    r.x = (drawableWidth - r.width) / 2;
    r.y = (drawableHeight - r.height) / 2;
    return r;
}

void DropPicture(int slot)
{
    Window &w = win32.windows[slot];
    if (!w.pictureFramebuffer)
        return;
    SDL_GLContext current = SDL_GL_GetCurrentContext();
    int ctxSlot = SlotOf(w.pictureContext, KindContext);
    FramebufferCalls gl;
    if (ctxSlot >= 0 && current && current == win32.contexts[ctxSlot].sdl && LoadFramebufferCalls(&gl))
        DeletePictureObjects(w, gl);
    // Otherwise the objects go with their context.
    w.pictureFramebuffer = w.pictureColor = w.pictureDepth = 0;
    w.pictureContext = NULL;
}

bool GlCanScalePicture()
{
    if (win32.canScale != 0)
        return win32.canScale > 0;
    if (!win32.videoReady)
        return false;
    SDL_Window *window = SDL_GL_GetCurrentWindow();
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    bool can = false;
    if (SDL_Window *probe = MakeSdlWindow("", 0, 0, 1, 1, SDL_WINDOW_BORDERLESS, DefaultAttribs)) {
        if (SDL_GLContext own = SDL_GL_CreateContext(probe)) {
            FramebufferCalls gl;
            can = LoadFramebufferCalls(&gl);
            SDL_GL_MakeCurrent(window, context);
            SDL_GL_DeleteContext(own);
        }
        SDL_DestroyWindow(probe);
    }
    SDL_GL_MakeCurrent(window, context);
    win32.canScale = can ? 1 : -1;
    return can;
}

void ChangeModeForReal(int slot)
{
    Window &w = win32.windows[slot];
    if (!w.fullscreen || w.pretended || !w.sdl)
        return;
    SDL_SetWindowDisplayMode(w.sdl, &win32.mode);
    SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN);
}

SDL_Window *MakeSdlWindow(const char *title, int x, int y, int w, int h, Uint32 flags, const GlAttribs &attribs)
{
    ApplyAttribs(attribs);
    SDL_Window *window = SDL_CreateWindow(title ? title : "", x, y, w, h, flags | SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window)
        return NULL;
    SDL_Surface *icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char *>(ProgramIconRgba),
                                                           ProgramIconSide, ProgramIconSide, 32, ProgramIconSide * 4,
                                                           SDL_PIXELFORMAT_RGBA32);
    if (icon) { // SDL copies the pixels; a window without its icon is still a window
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    return window;
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
        Uint32 keep = SDL_GetWindowFlags(w.sdl) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE | SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_Window *remade = MakeSdlWindow(SDL_GetWindowTitle(w.sdl), x, y, w.clientWidth, w.clientHeight, keep, attribs);
        if (!remade)
            return FALSE;
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
    KeepFullscreen(slot);
    Window &w = win32.windows[slot];
    int ctxSlot = SlotOf(w.pictureContext, KindContext);
    if (w.pictureFramebuffer && ctxSlot >= 0 && SDL_GL_GetCurrentContext() == win32.contexts[ctxSlot].sdl &&
        SDL_GL_GetCurrentWindow() == w.sdl)
        PresentPicture(w);
    SDL_GL_SwapWindow(w.sdl);
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
    Window &w = win32.windows[slot];
    if (SDL_GL_MakeCurrent(w.sdl, win32.contexts[ctxSlot].sdl) != 0)
        return FALSE;
    // The program draws into the window's picture, which SwapBuffers scales onto the window;
    // a GL that cannot have one shows the window's own framebuffer as it is.
    FramebufferCalls gl;
    if (w.pictureFramebuffer && w.pictureContext == context) {
        if (LoadFramebufferCalls(&gl))
            gl.bindFramebuffer(GL_FRAMEBUFFER, w.pictureFramebuffer);
    } else {
        if (w.pictureFramebuffer)
            DropPicture(slot);
        if (!MakePicture(slot, context))
            ChangeModeForReal(slot);
    }
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC context)
{
    int ctxSlot = SlotOf(context, KindContext);
    if (!Enter(FnwglDeleteContext) || ctxSlot < 0)
        return FALSE;
    Context &c = win32.contexts[ctxSlot];
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used && win32.windows[i].pictureContext == context)
            DropPicture(i);
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
