// Frame composition and the demo's timeline.

#include <windows.h>

#include <GL/gl.h>

#include <cstdio>

#include "audio/music.h"
#include "render/frame.h"
#include "render/glow.h"
#include "render/layers.h"
#include "texload/png_check.h"

RendererState renderer = {};

// A texture that fails to load stays 0 and its layer draws with no texture bound; why, and what
// the picture lacks, goes to standard error.
static GLuint LoadSceneTexture(const char *path, const char *without)
{
    const GLuint name =
        BindPngTexture(path, MipChainAveraged, AlphaFromFile, &renderer.sceneInfo, GL_REPEAT, GL_NEAREST, GL_NEAREST);
    if (name == 0)
        ReportPngProblem(path, without);
    return name;
}

bool InitScene()
{
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    renderer.backgroundTexture = LoadSceneTexture("data/bg.png", "the background is drawn without its image");
    renderer.foregroundTexture = LoadSceneTexture("data/fg.png", "the lens light is drawn without its image");
    renderer.logoTexture = LoadSceneTexture("data/kelvo.png", "the wordmark is drawn without its image");

    StartMusic();
    CreateGlowTextures();
    return true;
}

// With checks on, keeps the first GL error with the step that raised it and says so once on
// standard error. Each step is checked so that the error names its step.
static void CheckGlErrors(const char *operation)
{
    if (!renderer.checkGlErrors || renderer.firstGlErrorOperation)
        return;
    GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return;
    renderer.firstGlError = error;
    renderer.firstGlErrorOperation = operation;
    std::fprintf(stderr, "GL error 0x%04X in %s\n", unsigned(error), operation);
}

bool DrawFrame()
{
    renderer.DemoClock = float(MusicPositionMs());

    // An error left by the scene's set-up or by anything between frames is not the frame's own.
    CheckGlErrors("before DrawFrame");

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    CheckGlErrors("glClear");
    DrawBackground();
    CheckGlErrors("DrawBackground");
    DrawBars();
    CheckGlErrors("DrawBars");
    DrawForegroundOverlay();
    CheckGlErrors("DrawForegroundOverlay");
    DrawLogoOverlay();
    CheckGlErrors("DrawLogoOverlay");
    ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f);
    CheckGlErrors("ApplyGlow");
    DrawLetterbox();
    CheckGlErrors("DrawLetterbox");

    // The single-precision 0.001 lies just above a thousandth, so 142000 ms already counts
    // as over; the product is kept in double so that this stays exact.
    return !(double(renderer.DemoClock) * double(0.001f) > double(DemoEndSeconds));
}
