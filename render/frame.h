// Frame composition: the fixed GL state, the scene's textures and one frame of the demo.
#ifndef KELVO_RENDER_FRAME_H
#define KELVO_RENDER_FRAME_H

#include <windows.h>

#include <GL/gl.h>

#include "texload/texload.h"

// Debug builds look for GL errors in every frame from the start; release builds only when a
// test turns the checks on.
#ifdef NDEBUG
const bool GlChecksByDefault = false;
#else
const bool GlChecksByDefault = true;
#endif

// Process-wide renderer state. DemoClock is written only by DrawFrame and read by the layers
// and the main loop's seeks; the texture names and sceneInfo only by InitScene; the glow's
// names and glowAvailable only by CreateGlowTextures; checkGlErrors only by tests; the first
// error and its operation only by DrawFrame.
struct RendererState {
    float DemoClock;          // music position of the current frame, whole milliseconds
    GLuint backgroundTexture; // "data/bg.png"; 0 when it did not load
    GLuint foregroundTexture; // "data/fg.png"
    GLuint logoTexture;       // "data/kelvo.png"
    TextureInfo sceneInfo;    // written by each load, read by nobody
    GLuint glowFullTexture;   // rectangle texture: the captured frame
    GLuint glowHalfTexture;   // rectangle texture: the half-size work image
    bool glowAvailable;       // the context has rectangle textures; without them frames have no glow
    // Debug builds and tests: DrawFrame asks GL for errors after each of its steps and keeps the
    // first one with the step that raised it. Release frames never query GL state.
    bool checkGlErrors = GlChecksByDefault;
    GLenum firstGlError;                // GL_NO_ERROR until one is seen
    const char *firstGlErrorOperation;  // NULL until then
};

extern RendererState renderer;

// The demo ends once the music reaches this many seconds.
const float DemoEndSeconds = 142.0f;

// Sets the fixed GL state of a fresh context, loads the textures, starts the music and makes
// the glow textures. Always true.
bool InitScene();

// Samples the clock and draws one whole frame without presenting it; false once the demo is over.
bool DrawFrame();

#endif
