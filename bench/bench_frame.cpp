// Frame benchmark: frames per second of the whole frame in an 800 x 600 window (SDL's offscreen
// driver unless SDL_VIDEODRIVER says otherwise), then the time of each layer and of the glow
// pass alone, then the window's re-creation as F1 makes it (the display mode left as it is). The
// clock stands still, so every frame draws the same picture. glFinish brackets each measured part
// so that the figures are GL's work and not only the queuing of commands. Built for Windows too
// (make windows), where it draws on the real Win32 and WGL. Run from the folder that holds data/.
//
// Usage: bench_frame [frames] [clock in ms]   (defaults: 100 frames at 100000 ms, where both
// overlays show)

#include <windows.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/app.h"
#include "audio/music.h"
#include "render/frame.h"
#include "render/glow.h"
#include "render/layers.h"

// The music is replaced by a clock that stands still.
static int benchClock = 100000;
void StartMusic() {}
int MusicPositionMs()
{
    return benchClock;
}
void SeekMusic(int positionMs)
{
    benchClock = positionMs;
}
void StopMusic() {}

// A 256 x 256 image with a pattern in colour and alpha, loaded as the scene loads its images.
static GLuint MakePatternTexture(int seed)
{
    const int size = 256;
    std::vector<unsigned char> pixels(size * size * 4);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            unsigned char *p = &pixels[(y * size + x) * 4];
            p[0] = (unsigned char)(x + seed * 40);
            p[1] = (unsigned char)(y * 2);
            p[2] = (unsigned char)((x ^ y) + seed);
            p[3] = (unsigned char)((x + y) / 2);
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return texture;
}

static double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

enum Part { Clear, Background, Bars, Foreground, Logo, Glow, Letterbox, PartCount };
static const char *const partNames[PartCount] = {"glClear",         "DrawBackground", "DrawBars",     "DrawForegroundOverlay",
                                                 "DrawLogoOverlay", "ApplyGlow",      "DrawLetterbox"};

static void DrawPart(int part)
{
    switch (part) {
    case Clear: glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); break;
    case Background: DrawBackground(); break;
    case Bars: DrawBars(); break;
    case Foreground: DrawForegroundOverlay(); break;
    case Logo: DrawLogoOverlay(); break;
    case Glow: ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f); break;
    case Letterbox: DrawLetterbox(); break;
    }
}

int main(int argc, char **argv)
{
    int frames = argc > 1 ? std::atoi(argv[1]) : 100;
    if (argc > 2)
        benchClock = std::atoi(argv[2]);
    if (frames < 1) {
        std::fprintf(stderr, "usage: bench_frame [frames >= 1] [clock in ms]\n");
        return 2;
    }
    if (!std::getenv("SDL_VIDEODRIVER"))
        putenv(const_cast<char *>("SDL_VIDEODRIVER=offscreen"));
    if (!CreateMainWindow("kelvo", 800, 600, 32, false)) {
        std::fprintf(stderr, "bench_frame: no window with a GL context\n");
        return 1;
    }
    renderer.backgroundTexture = MakePatternTexture(0);
    renderer.foregroundTexture = MakePatternTexture(1);
    renderer.logoTexture = MakePatternTexture(2);
    std::printf("renderer: %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    std::printf("clock %d ms, %d frames, glow %s\n", benchClock, frames,
                renderer.glowAvailable ? "on" : "off (no rectangle textures)");

    for (int i = 0; i < 5; i++) // warm-up: shaders compiled, buffers allocated
        DrawFrame();
    glFinish();

    double start = NowMs();
    for (int i = 0; i < frames; i++) {
        DrawFrame();
        SwapBuffers(appState.deviceContext);
    }
    glFinish();
    double frameMs = (NowMs() - start) / frames;
    std::printf("whole frame with swap: %8.3f ms  %7.1f fps\n", frameMs, 1000.0 / frameMs);

    start = NowMs();
    for (int i = 0; i < frames; i++) {
        DrawFrame();
        glFinish();
    }
    double drawMs = (NowMs() - start) / frames;
    std::printf("DrawFrame + glFinish:  %8.3f ms  %7.1f fps\n", drawMs, 1000.0 / drawMs);

    // Each part alone, in the frame's order so that each finds the state it expects.
    double total[PartCount] = {};
    for (int i = 0; i < frames; i++)
        for (int part = 0; part < PartCount; part++) {
            glFinish();
            double t0 = NowMs();
            DrawPart(part);
            glFinish();
            total[part] += NowMs() - t0;
        }
    double sum = 0;
    for (int part = 0; part < PartCount; part++) {
        std::printf("  %-22s %8.3f ms\n", partNames[part], total[part] / frames);
        sum += total[part] / frames;
    }
    std::printf("  %-22s %8.3f ms\n", "sum of parts", sum);

    // F1: the window and its context torn down and made again, the scene loaded anew, up to the
    // first frame on the screen.
    const int switches = 10;
    start = NowMs();
    for (int i = 0; i < switches; i++) {
        DestroyMainWindow();
        if (!CreateMainWindow("kelvo", 800, 600, 32, false)) {
            std::fprintf(stderr, "bench_frame: the window was not made again\n");
            return 1;
        }
        DrawFrame();
        SwapBuffers(appState.deviceContext);
        glFinish();
    }
    std::printf("F1 switch to the first frame: %8.3f ms\n", (NowMs() - start) / switches);

    DestroyMainWindow();
    return 0;
}
