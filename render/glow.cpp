// The glow post-process. The frame goes from the back buffer into rectangle textures and comes
// back as textured quads; no pixel passes through client memory. The lower-left quarter of the
// back buffer is scratch space for the half-size stages and is overwritten again at the end.

#include <windows.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "render/frame.h"
#include "render/glow.h"

#ifndef GL_TEXTURE_RECTANGLE_ARB
#define GL_TEXTURE_RECTANGLE_ARB 0x84F5
#endif

// Whether name stands in the space-separated list as a whole word.
static bool ExtensionListed(const char *list, const char *name)
{
    size_t length = std::strlen(name);
    for (const char *at = list; (at = std::strstr(at, name)) != NULL; at += length) {
        bool startsWord = at == list || at[-1] == ' ';
        bool endsWord = at[length] == ' ' || at[length] == '\0';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

bool RectangleTexturesOffered(const char *version, const char *extensions)
{
    if (!version)
        return false;
    // Rectangle textures are core from GL 3.1 on.
    int major = 0;
    int minor = 0;
    if (std::sscanf(version, "%d.%d", &major, &minor) == 2 && (major > 3 || (major == 3 && minor >= 1)))
        return true;
    if (!extensions)
        return false;
    // The ARB, EXT and NV extensions all share the target 0x84F5.
    return ExtensionListed(extensions, "GL_ARB_texture_rectangle") ||
           ExtensionListed(extensions, "GL_EXT_texture_rectangle") ||
           ExtensionListed(extensions, "GL_NV_texture_rectangle");
}

// Every copy of a frame redefines a texture's image before it is read, so the textures are
// created without initial data: no staging buffer, nothing to allocate.
static GLuint CreateGlowTexture(int width, int height)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
    glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, NULL);
    return texture;
}

bool CreateGlowTextures()
{
    // Asked once per context, never while drawing. A version query needs no extension list,
    // which a core context would refuse.
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    const char *extensions = NULL;
    if (!RectangleTexturesOffered(version, NULL))
        extensions = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    renderer.glowAvailable = RectangleTexturesOffered(version, extensions);
    if (!renderer.glowAvailable) {
        renderer.glowFullTexture = 0;
        renderer.glowHalfTexture = 0;
        return false;
    }
    // The names of an earlier context went with it; these replace them. The half texture stays
    // bound; rectangle texturing is not enabled here.
    renderer.glowFullTexture = CreateGlowTexture(glowWidth, glowHeight);
    renderer.glowHalfTexture = CreateGlowTexture(glowWidth / 2, glowHeight / 2);
    return true;
}

void EmitRectQuad(int width, int height, int s0, int t0)
{
    // Under the pass's projection y runs down and t up, so t0 lands on the top edge.
    glTexCoord2f(GLfloat(s0), GLfloat(t0));
    glVertex3f(0.0f, 1.0f, -1.0f);
    glTexCoord2f(GLfloat(s0), GLfloat(t0 + height));
    glVertex3f(0.0f, 0.0f, -1.0f);
    glTexCoord2f(GLfloat(s0 + width), GLfloat(t0 + height));
    glVertex3f(1.0f, 0.0f, -1.0f);
    glTexCoord2f(GLfloat(s0 + width), GLfloat(t0));
    glVertex3f(1.0f, 1.0f, -1.0f);
}

// The most quads any one of the pass's counts may ask for. Truncating a float beyond the int
// range is undefined, and a huge count would stall the frame for good; already at this bound a
// frame takes seconds, and more glow layers could change nothing in an 8-bit picture.
static const int MaxGlowCount = 1024;

// A float count truncated toward zero, 0 for negative values and NaN, at most MaxGlowCount.
static int WholeCount(float value)
{
    if (!(value >= 1.0f))
        return 0;
    if (value >= float(MaxGlowCount))
        return MaxGlowCount;
    return int(value);
}

// Copies the lower-left half-size area of the back buffer into the bound half texture.
static void CaptureHalf()
{
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, glowWidth / 2, glowHeight / 2, 0);
}

// One direction of the blur over the half-size image: the centre tap replaces, the taps at
// ±1..taps steps of (dx, dy) add; the result is captured back into the half texture.
static void BlurPass(int width, int height, int taps, int dx, int dy)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    glBegin(GL_QUADS);
    EmitRectQuad(width, height, 0, 0);
    glEnd();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 1; i <= taps; i++) {
        EmitRectQuad(width, height, -i * dx, -i * dy);
        EmitRectQuad(width, height, i * dx, i * dy);
    }
    glEnd();
    CaptureHalf();
}

void ApplyGlow(float radius, float powerPasses, float glowLayers, float blurGain)
{
    const int w = glowWidth;
    const int h = glowHeight;

    if (!renderer.glowAvailable) {
        // A frame without glow rather than a broken one; the state later drawing relies on
        // is left as the pass would leave it.
        glViewport(0, 0, w, h);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        return;
    }

    // Set-up and capture of the finished scene layers.
    glEnable(GL_TEXTURE_RECTANGLE_ARB);
    glColor3f(1.0f, 1.0f, 1.0f);
    glDisable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, renderer.glowFullTexture);
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGB, 0, 0, w, h, 0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 1.0, 1.0, 0.0, 0.1, 100.0);
    glViewport(0, 0, w / 2, h / 2);

    // Reduction: linear filtering at exactly 2:1 averages each 2 x 2 block. Each extra pass
    // multiplies the scratch area by the same reduced frame, raising it to a power.
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, renderer.glowFullTexture);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    EmitRectQuad(w, h, 0, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBegin(GL_QUADS);
    int passes = WholeCount(powerPasses);
    for (int pass = 0; pass < passes; pass++)
        EmitRectQuad(w, h, 0, 0);
    glEnd();
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, renderer.glowHalfTexture);
    CaptureHalf();

    // Separable box blur: a centre tap replaces the scratch area, the offset taps add to it,
    // each weighted by alpha. The tap weight uses the radius as given, the tap count its
    // whole part. Beyond an edge the taps take the edge texel.
    double weight = double(blurGain) / (2.0 * double(radius) + 1.0);
    glColor4f(1.0f, 1.0f, 1.0f, GLfloat(weight));
    int taps = WholeCount(radius);

    BlurPass(w / 2, h / 2, taps, 1, 0);
    BlurPass(w / 2, h / 2, taps, 0, 1);

    // Composite: the blurred image, magnified, replaces the whole frame (scratch included),
    // is added once more for every further layer, and the captured frame goes on top.
    glViewport(0, 0, w, h);
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    EmitRectQuad(w / 2, h / 2, 0, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBegin(GL_QUADS);
    for (int layer = 1; layer <= MaxGlowCount && float(layer) < glowLayers; layer++)
        EmitRectQuad(w / 2, h / 2, 0, 0);
    glEnd();
    glBindTexture(GL_TEXTURE_RECTANGLE_ARB, renderer.glowFullTexture);
    glBegin(GL_QUADS);
    EmitRectQuad(w, h, 0, 0);
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDisable(GL_TEXTURE_RECTANGLE_ARB);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}
