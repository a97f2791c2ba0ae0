// The web platform's window and GL subset at their edges, in a real browser: kelvo_gl_check, run
// by tests/web/web_test.mjs in tests/web/check_page.html. Prints one "ok: ..." or "FAILED: ..."
// line a check and exits 1 when any failed. The last frame it shows (left half red, right half
// blue) is read back by the test from the canvas, for the present step.

#include <windows.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <emscripten/emscripten.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const int Width = 800;
const int Height = 64;

int failures = 0;
std::vector<UINT> messages;
bool contextAtFirstSize = false;

void Check(bool holds, const std::string &what)
{
    printf("%s: %s\n", holds ? "ok" : "FAILED", what.c_str());
    if (!holds)
        failures++;
}

// Whether the newest canvas on the page has its WebGL context already.
EM_JS(int, newest_canvas_has_webgl, (void), {
    const canvases = document.querySelectorAll("canvas");
    const canvas = canvases[canvases.length - 1];
    return canvas && canvas.GLctxObject ? 1 : 0;
});

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    messages.push_back(message);
    if (message == WM_SIZE) {
        if (std::count(messages.begin(), messages.end(), UINT(WM_SIZE)) == 1)
            contextAtFirstSize = newest_canvas_has_webgl() != 0;
        // As the demo's SetupProjection does: with no context current, nothing happens.
        glViewport(0, 0, LOWORD(lParam), HIWORD(lParam));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Pixel {
    int r, g, b, a;
};

Pixel ReadPixel(int x, int y)
{
    unsigned char rgba[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

bool Near(const Pixel &p, int r, int g, int b, int within)
{
    return abs(p.r - r) <= within && abs(p.g - g) <= within && abs(p.b - b) <= within;
}

std::string Describe(const Pixel &p)
{
    char text[64];
    snprintf(text, sizeof text, "(%d, %d, %d)", p.r, p.g, p.b);
    return text;
}

// A quad over pixels [x0, x1) x [y0, y1) with texture coordinates s0..s1, t0..t1, in the
// pixel projection set by PixelProjection.
void Quad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glEnd();
}

void PixelProjection()
{
    glViewport(0, 0, Width, Height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, Width, 0, Height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

GLuint MakeTexture(GLenum target, GLint internalFormat, int width, int height, GLenum format, const unsigned char *data,
                   GLint filter)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(target, name);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(target, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return name;
}

void CheckRectangleTexels()
{
    // 4 x 2 texels, each its own colour; drawn 2 x 2 pixels a texel, then shifted two texels left
    // (as the glow's offset taps are), where the edge texel repeats.
    unsigned char texels[4 * 2 * 3];
    for (int j = 0; j < 2; j++)
        for (int i = 0; i < 4; i++) {
            unsigned char *t = texels + (j * 4 + i) * 3;
            t[0] = (unsigned char)(i * 60 + 10);
            t[1] = (unsigned char)(j * 100 + 20);
            t[2] = 200;
        }
    GLuint texture = MakeTexture(GL_TEXTURE_RECTANGLE_ARB, GL_RGB8, 4, 2, GL_RGB, texels, GL_NEAREST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_RECTANGLE_ARB);
    glColor3f(1, 1, 1);
    Quad(0, 0, 8, 4, 0, 0, 4, 2);
    Quad(8, 0, 16, 4, -2, 0, 2, 2);
    bool exact = true, clamped = true;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) {
            Pixel p = ReadPixel(x, y);
            if (!Near(p, (x / 2) * 60 + 10, (y / 2) * 100 + 20, 200, 0))
                exact = false;
            Pixel q = ReadPixel(8 + x, y);
            int texel = x < 6 ? 0 : 1;
            if (!Near(q, texel * 60 + 10, (y / 2) * 100 + 20, 200, 0))
                clamped = false;
        }
    Check(exact, "a rectangle texture takes texel coordinates: s from 0 to its width, t from 0 to its height");
    Check(clamped, "beyond its edge a rectangle texture repeats its edge texel, as the glow's offset taps need");

    // Linear filtering at exactly 2:1 gives the mean of each 2 x 2 block, as the glow's reduction.
    glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    Quad(20, 0, 22, 1, 0, 0, 4, 2);
    Pixel left = ReadPixel(20, 0), right = ReadPixel(21, 0);
    Check(Near(left, 40, 70, 200, 1) && Near(right, 160, 70, 200, 1),
          "linear at 2:1, each pixel is the mean of its 2 x 2 texels: " + Describe(left) + " " + Describe(right));
    glDisable(GL_TEXTURE_RECTANGLE_ARB);
    glDeleteTextures(1, &texture);
}

void CheckFrameCopy()
{
    // The frame copied as GL_RGB reads alpha 1, whatever alpha the frame holds.
    glClearColor(0.2f, 0.4f, 0.6f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    GLuint copy = 0;
    glGenTextures(1, &copy);
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, copy);
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, 16, 4, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_RECTANGLE_ARB);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    Quad(0, 0, 16, 4, 0, 0, 16, 4);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_RECTANGLE_ARB);
    Pixel p = ReadPixel(5, 2);
    Check(Near(p, 51, 102, 153, 1), "a copy of the frame as GL_RGB reads alpha 1 (weighted by it, it stays whole): " +
                                        Describe(p));
    glDeleteTextures(1, &copy);
}

void CheckFormatsAndCompleteness()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const unsigned char rgb[2 * 2 * 3] = {200, 10, 20, 200, 10, 20, 200, 10, 20, 200, 10, 20};
    const unsigned char rgba[2 * 2 * 4] = {30, 220, 40, 128, 30, 220, 40, 128, 30, 220, 40, 128, 30, 220, 40, 128};
    GLuint three = MakeTexture(GL_TEXTURE_2D, 3, 2, 2, GL_RGB, rgb, GL_NEAREST);
    GLuint four = MakeTexture(GL_TEXTURE_2D, 4, 2, 2, GL_RGBA, rgba, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, three);
    Quad(0, 0, 4, 4, 0, 0, 1, 1);
    glBindTexture(GL_TEXTURE_2D, four);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Quad(4, 0, 8, 4, 0, 0, 1, 1);
    glDisable(GL_BLEND);
    Pixel p3 = ReadPixel(1, 1), p4 = ReadPixel(5, 1);
    Check(Near(p3, 200, 10, 20, 0), "internal format 3 uploads RGB: " + Describe(p3));
    Check(Near(p4, 15, 110, 20, 1), "internal format 4 uploads RGBA, its alpha blending: " + Describe(p4));

    // GL 1.1: an incomplete texture leaves texturing off, and the quad takes the plain colour
    // (texture 0 with no image; a mipmap filter with level 0 alone).
    glColor3f(1.0f, 0.5f, 0.25f);
    glBindTexture(GL_TEXTURE_2D, 0);
    Quad(8, 0, 12, 4, 0, 0, 1, 1);
    GLuint lone = MakeTexture(GL_TEXTURE_2D, 3, 2, 2, GL_RGB, rgb, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    Quad(12, 0, 16, 4, 0, 0, 1, 1);
    Pixel zero = ReadPixel(9, 1), incomplete = ReadPixel(13, 1);
    Check(Near(zero, 255, 128, 64, 1), "texture 0 bound, a quad takes its plain colour: " + Describe(zero));
    Check(Near(incomplete, 255, 128, 64, 1), "a mipmap filter without the chain, a quad takes its plain colour: " +
                                                 Describe(incomplete));

    // A whole chain: minified four times, level 2 is sampled.
    const unsigned char level0[4 * 4 * 3] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0,
                                             255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0,
                                             255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};
    const unsigned char level1[2 * 2 * 3] = {0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
    const unsigned char level2[3] = {0, 0, 255};
    GLuint chain = MakeTexture(GL_TEXTURE_2D, 3, 4, 4, GL_RGB, level0, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 1, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, level1);
    glTexImage2D(GL_TEXTURE_2D, 2, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, level2);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glColor3f(1, 1, 1);
    Quad(16, 0, 17, 1, 0, 0, 1, 1);
    Quad(20, 0, 24, 4, 0, 0, 1, 1);
    Pixel small = ReadPixel(16, 0), whole = ReadPixel(21, 1);
    Check(Near(small, 0, 0, 255, 0) && Near(whole, 255, 0, 0, 0),
          "a mipmap chain: its smallest level minified 4:1, level 0 at 1:1: " + Describe(small) + " " + Describe(whole));
    glDisable(GL_TEXTURE_2D);
    GLuint names[4] = {three, four, lone, chain};
    glDeleteTextures(4, names);
}

void CheckColourAndDepth()
{
    // A negative alpha acts as 0: an additive quad adds nothing.
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, -0.2f);
    Quad(0, 0, 4, 4, 0, 0, 1, 1);
    glDisable(GL_BLEND);
    Pixel grey = ReadPixel(1, 1);
    Check(Near(grey, 128, 128, 128, 1), "a colour's negative alpha acts as 0: " + Describe(grey));

    // GL_LEQUAL lets a quad at the same depth pass; GL_LESS does not.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glColor3f(1, 0, 0);
    Quad(4, 0, 8, 4, 0, 0, 1, 1);
    glColor3f(0, 1, 0);
    Quad(4, 0, 8, 4, 0, 0, 1, 1);
    glDepthFunc(GL_LESS);
    glColor3f(0, 0, 1);
    Quad(4, 0, 8, 4, 0, 0, 1, 1);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    Pixel depth = ReadPixel(5, 1);
    Check(Near(depth, 0, 255, 0, 0), "depth GL_LEQUAL passes an equal depth, GL_LESS does not: " + Describe(depth));
    glColor3f(1, 1, 1);
}

void CheckPrecision()
{
    // 800 texels across 800 pixels: every pixel its own texel, the last one too.
    std::vector<unsigned char> row(800 * 3);
    for (int i = 0; i < 800; i++) {
        row[i * 3] = (unsigned char)(i % 256);
        row[i * 3 + 1] = (unsigned char)(i / 256 * 60);
        row[i * 3 + 2] = 7;
    }
    GLuint wide = MakeTexture(GL_TEXTURE_RECTANGLE_ARB, GL_RGB8, 800, 1, GL_RGB, row.data(), GL_NEAREST);
    glEnable(GL_TEXTURE_RECTANGLE_ARB);
    glColor3f(1, 1, 1);
    Quad(0, 10, 800, 11, 0, 0, 800, 1);
    glDisable(GL_TEXTURE_RECTANGLE_ARB);
    std::vector<unsigned char> read(800 * 4);
    glReadPixels(0, 10, 800, 1, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
    int wrong = 0;
    for (int i = 0; i < 800; i++)
        if (read[i * 4] != i % 256 || read[i * 4 + 1] != i / 256 * 60)
            wrong++;
    Check(wrong == 0, "800 texels across 800 pixels, each pixel takes its own texel (" + std::to_string(wrong) + " off)");
    glDeleteTextures(1, &wide);

    // A repeating texture far from its origin, as the wordmark's is at the end (s near 710):
    // a quarter texel is still told apart.
    const unsigned char four[4 * 3] = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0};
    GLuint repeat = MakeTexture(GL_TEXTURE_2D, 3, 4, 1, GL_RGB, four, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glEnable(GL_TEXTURE_2D);
    Quad(0, 12, 16, 13, 710.0f, 0, 714.0f, 1);
    glDisable(GL_TEXTURE_2D);
    glReadPixels(0, 12, 16, 1, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
    int farWrong = 0;
    for (int i = 0; i < 16; i++)
        if (read[i * 4] != (i % 4 + 1) * 10)
            farWrong++;
    Check(farWrong == 0, "texture coordinates near 710 repeats pick the right texel (highp; " +
                             std::to_string(farWrong) + " of 16 off)");
    glDeleteTextures(1, &repeat);
}

void CheckErrors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glPushMatrix();
    glPushMatrix();
    GLenum none = glGetError();
    glPushMatrix();
    GLenum overflow = glGetError();
    glPopMatrix();
    glPopMatrix();
    glPopMatrix();
    glPopMatrix();
    GLenum underflow = glGetError();
    glMatrixMode(GL_MODELVIEW);
    Check(none == GL_NO_ERROR && overflow == GL_STACK_OVERFLOW && underflow == GL_STACK_UNDERFLOW,
          "the projection stack holds 4; a fifth push overflows, a pop past the bottom underflows");
    glBegin(0x0000); // GL_POINTS
    GLenum points = glGetError();
    glEnable(0x0B50); // GL_LIGHTING
    GLenum lighting = glGetError();
    GLuint flat = 0;
    glGenTextures(1, &flat);
    glBindTexture(GL_TEXTURE_2D, flat);
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, flat);
    GLenum otherTarget = glGetError();
    glDeleteTextures(1, &flat);
    Check(points == GL_INVALID_ENUM && lighting == GL_INVALID_ENUM && otherTarget == GL_INVALID_OPERATION,
          "outside the subset: GL_POINTS and GL_LIGHTING are GL_INVALID_ENUM, a 2-D name on the rectangle target "
          "GL_INVALID_OPERATION");

    GLfloat before[16], after[16];
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    gluPerspective(45.0, 0.0, 0.1, 100.0);
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    glMatrixMode(GL_MODELVIEW);
    Check(memcmp(before, after, sizeof before) == 0, "gluPerspective with an aspect ratio of 0 changes nothing");
    const char *extensions = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    Check(extensions && strstr(extensions, "GL_ARB_texture_rectangle") && version && strncmp(version, "1.1", 3) == 0,
          std::string("GL 1.1 with rectangle textures: \"") + (version ? version : "") + "\", \"" +
              (extensions ? extensions : "") + "\"");
}

} // namespace

int main()
{
    // No context yet: GL calls do nothing, and report nothing.
    glViewport(0, 0, 10, 10);
    glClear(GL_COLOR_BUFFER_BIT);
    Check(glGetError() == GL_NO_ERROR && glGetString(GL_VERSION) == nullptr, "GL calls with no context current do nothing");

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "OpenGL";
    Check(RegisterClassA(&windowClass) != 0, "the class registers");
    RECT rect = {0, 0, Width, Height};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_APPWINDOW);
    HWND window = CreateWindowExA(WS_EX_APPWINDOW, "OpenGL", "kelvo", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                                  rect.bottom - rect.top, NULL, NULL, windowClass.hInstance, NULL);
    Check(window != NULL, "the window is made");
    const bool order = messages.size() >= 4 && messages[0] == WM_NCCREATE && messages[1] == WM_CREATE &&
                       messages[2] == WM_SIZE && messages[3] == WM_MOVE;
    Check(order, "creation sends WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE in that order");
    Check(contextAtFirstSize, "the window's WebGL context exists before its first WM_SIZE");
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.cColorBits = 32;
    format.cDepthBits = 16;
    int index = ChoosePixelFormat(dc, &format);
    HGLRC context = NULL;
    if (index && SetPixelFormat(dc, index, &format))
        context = wglCreateContext(dc);
    Check(context && wglMakeCurrent(dc, context), "a GL context is made current on it");
    ShowWindow(window, SW_SHOW);
    if (failures)
        exit(1);

    PixelProjection();
    CheckRectangleTexels();
    CheckFrameCopy();
    CheckFormatsAndCompleteness();
    CheckColourAndDepth();
    PixelProjection();
    CheckPrecision();
    CheckErrors();

    // The frame the canvas is to show: left half red, right half blue (the test reads it back).
    PixelProjection();
    glColor3f(1, 0, 0);
    Quad(0, 0, Width / 2, Height, 0, 0, 1, 1);
    glColor3f(0, 0, 1);
    Quad(Width / 2, 0, Width, Height, 0, 0, 1, 1);
    Check(SwapBuffers(dc) == TRUE, "SwapBuffers presents and comes back at the next animation frame");

    // A second window and context, as F1 makes them: the first one's are gone with it.
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    Check(DestroyWindow(window) && UnregisterClassA("OpenGL", windowClass.hInstance), "the window and class go");
    glClear(GL_COLOR_BUFFER_BIT);
    Check(glGetError() == GL_NO_ERROR, "after the context is gone, GL calls do nothing again");
    // exit(), not a return: main waited on the page, and only exit() reaches it with the status.
    exit(failures ? 1 : 0);
}
