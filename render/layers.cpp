// The scene layers: four perspective layers, each nearer than the one before, and the letterbox
// in a screen projection. Every motion is a closed-form function of the frame's clock, so the
// layers keep nothing between frames and a seek shows at once.

#include <windows.h>

#include <GL/gl.h>

#include <cmath>

#include "render/frame.h"
#include "render/layers.h"

// The time factors are single-precision constants; every expression built from them is
// evaluated in double precision and only its result goes to GL as a float.
static const float BackgroundScroll = 1.0f / 55000.0f; // image widths per ms
static const float SlowPhase = 0.00010001f;            // inner term of both overlay alphas
static const float PulsePhase = 1.0f / 7000.0f;        // outer term of both overlay alphas
static const float OverlayAlphaScale = 0.2f;           // amplitude of both overlay alphas
static const float LogoScroll = 0.005f;                // image widths per ms

static const int BarCount = 38;
static const int BarPeriodStep = 200; // the bars' angle divisor grows by this from bar to bar
static const int BarPeriodBase = 600;

double BackgroundOffset(float clock)
{
    return double(clock) * double(BackgroundScroll);
}

double BarAngleDegrees(int bar, float clock)
{
    return double(clock) / double(BarPeriodStep * bar + BarPeriodBase) + bar + 800.0 * bar;
}

double BarWidthScale(float clock)
{
    // The clock's milliseconds are taken as radians: the width jitters from frame to frame.
    return 1.0 + 0.1 * std::sin(double(clock));
}

double ForegroundAlpha(float clock)
{
    double t = double(clock);
    return double(OverlayAlphaScale) * std::sin(std::tan(t * double(SlowPhase)) + t * double(PulsePhase));
}

double LogoAlpha(float clock)
{
    double t = double(clock);
    return double(OverlayAlphaScale) * std::cos(std::tan(std::cos(t * double(SlowPhase))) + t * double(PulsePhase));
}

double LogoOffset(float clock)
{
    return double(clock) * double(LogoScroll);
}

void DrawBackground()
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -18.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, renderer.backgroundTexture);

    // The image's top row (t = 0) runs along the bottom edge, so the picture shows it mirrored;
    // the repeat wrap lets it slide left for ever as u grows.
    double u = BackgroundOffset(renderer.DemoClock);
    glBegin(GL_QUADS);
    glTexCoord2f(GLfloat(u), 0.0f);
    glVertex2f(-10.0f, -10.0f);
    glTexCoord2f(GLfloat(u + 1.0), 0.0f);
    glVertex2f(10.0f, -10.0f);
    glTexCoord2f(GLfloat(u + 1.0), 1.0f);
    glVertex2f(10.0f, 10.0f);
    glTexCoord2f(GLfloat(u), 1.0f);
    glVertex2f(-10.0f, 10.0f);
    glEnd();
}

void DrawBars()
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -10.0f);
    // Texturing is still on with the background bound; the modulated black stays black.
    glColor3f(0.0f, 0.0f, 0.0f);

    GLfloat widthScale = GLfloat(BarWidthScale(renderer.DemoClock));
    for (int bar = 0; bar < BarCount; bar++) {
        glPushMatrix();
        glTranslatef(GLfloat(3.0 * std::sin(double(bar))), 0.0f, 0.0f);
        glRotatef(GLfloat(BarAngleDegrees(bar, renderer.DemoClock)), 0.0f, 0.0f, 1.0f);
        glScalef(widthScale, 1.0f, 1.0f);
        glBegin(GL_QUADS);
        glVertex3f(-0.1f, 10.0f, 0.0f);
        glVertex3f(0.1f, 10.0f, 0.0f);
        glVertex3f(0.1f, -10.0f, 0.0f);
        glVertex3f(-0.1f, -10.0f, 0.0f);
        glEnd();
        glPopMatrix();
    }
}

// Both overlays: a 4 x 2 quad at the given distance, added to the frame by the texel's alpha
// times the layer's alpha. A negative alpha clamps to 0 and adds nothing, but depth is written.
static void DrawAdditiveOverlay(GLfloat distance, double alpha, GLuint texture, double sOffset)
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, distance);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, GLfloat(alpha));
    glBindTexture(GL_TEXTURE_2D, texture);

    // The image's top row runs along the top edge: it stands upright.
    glBegin(GL_QUADS);
    glTexCoord2f(GLfloat(sOffset), 0.0f);
    glVertex2f(-2.0f, 1.0f);
    glTexCoord2f(GLfloat(sOffset + 1.0), 0.0f);
    glVertex2f(2.0f, 1.0f);
    glTexCoord2f(GLfloat(sOffset + 1.0), 1.0f);
    glVertex2f(2.0f, -1.0f);
    glTexCoord2f(GLfloat(sOffset), 1.0f);
    glVertex2f(-2.0f, -1.0f);
    glEnd();

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

void DrawForegroundOverlay()
{
    DrawAdditiveOverlay(-2.8f, ForegroundAlpha(renderer.DemoClock), renderer.foregroundTexture, 0.0);
}

void DrawLogoOverlay()
{
    // The texture window moves to lower s as v grows, so the logo slides to the right.
    DrawAdditiveOverlay(-2.7f, LogoAlpha(renderer.DemoClock), renderer.logoTexture, -LogoOffset(renderer.DemoClock));
}

void BeginOverlay2D()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 640.0, 480.0, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void EndOverlay2D()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void DrawLetterbox()
{
    // Drawn after the glow, at z = 0 of the screen projection: nearer than every scene layer,
    // so the bands pass the depth test and stay plain black.
    BeginOverlay2D();
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(0.0f, 180.0f);
    glVertex2f(640.0f, 180.0f);
    glVertex2f(640.0f, 0.0f);
    glEnd();
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 300.0f);
    glVertex2f(0.0f, 480.0f);
    glVertex2f(640.0f, 480.0f);
    glVertex2f(640.0f, 300.0f);
    glEnd();
    glColor3f(1.0f, 1.0f, 1.0f);
    EndOverlay2D();
}
