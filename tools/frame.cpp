// The frame tool: draws the demo's frame at given music positions and writes each as an
// 800 x 600 PNG, with no display and no sound, through the demo's own window, scene, music and
// DrawFrame. It finds data/ as the demo does (--data DIR, KELVO_DATA_DIR, the working directory,
// the build tree, the installed data); outputs are named relative to where it was started.
//
// Usage: kelvo_frame [--data DIR] <clock-ms> <out.png> [<clock-ms> <out.png> ...]
//
// The clock is the music position, so a frame at any moment but 0 needs data/music.mp3: the
// sound layer runs on its offline output, where nothing plays and a seek lands exactly, and the
// frame samples the position just as the demo does. Without the music the position stays 0 and
// only clock 0 can be drawn; other clocks are refused before anything is written. The same data
// gives the same bytes on every run on the same machine.
//
// Exit codes: 0 all frames written; 1 a frame could not be drawn or written; 2 bad arguments.

#include <windows.h>

#include <GL/gl.h>

#include <SDL2/SDL.h>

#include <fsound_ext.h>

#include <algorithm>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "audio/music.h"
#include "render/frame.h"
#include "platform/data_folder.h"
#include "platform/options.h"
#include "tools/png_write.h"

namespace {

const int FrameWidth = 800;
const int FrameHeight = 600;
// The clock is a float of whole milliseconds: beyond 2^24 it could no longer hold each one.
const long MaxClock = 16777216;

struct FrameRequest {
    int clock;
    const char *path;
};

// A clock argument: decimal digits only, within 0 to MaxClock.
bool ParseClock(const char *text, int *clock)
{
    if (!text[0])
        return false;
    for (const char *c = text; *c; c++)
        if (*c < '0' || *c > '9')
            return false;
    errno = 0;
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (errno != 0 || *end || value > MaxClock)
        return false;
    *clock = int(value);
    return true;
}

// Reads the back buffer and writes it, top row first.
bool WriteBackBuffer(const char *path)
{
    std::vector<unsigned char> bottomUp(size_t(FrameWidth) * FrameHeight * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, FrameWidth, FrameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "kelvo_frame: the frame could not be read back for %s\n", path);
        return false;
    }
    std::vector<unsigned char> topDown(bottomUp.size());
    const size_t rowBytes = size_t(FrameWidth) * 3;
    for (int y = 0; y < FrameHeight; y++)
        std::copy(bottomUp.begin() + long(size_t(FrameHeight - 1 - y) * rowBytes),
                  bottomUp.begin() + long(size_t(FrameHeight - y) * rowBytes), topDown.begin() + long(size_t(y) * rowBytes));
    return WritePngFile(path, FrameWidth, FrameHeight, 3, topDown.data());
}

// Draws and writes every requested frame; false at the first one that fails.
bool DrawRequests(const std::vector<FrameRequest> &requests)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] != FrameWidth || viewport[3] != FrameHeight) {
        fprintf(stderr, "kelvo_frame: the window is %d x %d, not %d x %d\n", viewport[2], viewport[3], FrameWidth,
                FrameHeight);
        return false;
    }
    bool haveMusic = music.stream != nullptr;
    for (const FrameRequest &request : requests)
        if (request.clock != 0 && !haveMusic) {
            fprintf(stderr, "kelvo_frame: no music stream (data/music.mp3 missing or unreadable), so the clock stays "
                            "at 0 and %d ms cannot be drawn; nothing written\n",
                    request.clock);
            return false;
        }
    for (const FrameRequest &request : requests) {
        SeekMusic(request.clock);
        if (MusicPositionMs() != request.clock) {
            fprintf(stderr, "kelvo_frame: the music did not move to %d ms (it reads %d ms); %s not written\n",
                    request.clock, MusicPositionMs(), request.path);
            return false;
        }
        DrawFrame(); // false only says the demo would end here; the frame is drawn all the same
        if (!WriteBackBuffer(request.path))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App options("Draws the demo's frame at each music position (whole milliseconds, 0 to " +
                     std::to_string(MaxClock) + ") into an 800 x 600 PNG, with no display and no sound.");
    std::vector<std::string> arguments;
    std::string dataFolder;
    options.add_option("clock-ms out.png", arguments, "Pairs of a clock and the PNG file to write")->required();
    options.add_option("--data", dataFolder, "The folder that holds data/ (default: as the demo finds it)")
        ->type_name("DIR");
    int exitCode = ParseOptions(options, "kelvo_frame", argc, argv);
    if (exitCode >= 0)
        return exitCode;
    if (arguments.size() % 2 != 0)
        return RefuseCommandLine(options, "every clock needs an output file after it");
    std::vector<std::string> outputs;
    std::vector<FrameRequest> requests;
    for (size_t i = 0; i + 1 < arguments.size(); i += 2) {
        FrameRequest request = {0, nullptr};
        if (!ParseClock(arguments[i].c_str(), &request.clock)) {
            fprintf(stderr, "kelvo_frame: '%s' is not a clock in whole milliseconds from 0 to %ld\n",
                    arguments[i].c_str(), MaxClock);
            return 2;
        }
        if (arguments[i + 1].empty()) {
            fprintf(stderr, "kelvo_frame: an empty output path for clock %d\n", request.clock);
            return 2;
        }
        // Outputs are named from where the tool was started, before it moves to the data.
        outputs.push_back(AbsoluteFromWorkingDirectory(arguments[i + 1]));
        requests.push_back(request);
    }
    for (size_t i = 0; i < requests.size(); i++)
        requests[i].path = outputs[i].c_str();
    EnterDataFolder("kelvo_frame", dataFolder.c_str(), ExecutablePath(argv[0]));

    // No display needed; the music starts on the offline output, silent and still until seeked.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ForceSoundOutput(FSOUND_OUTPUT_OFFLINE);
    if (!CreateMainWindow("kelvo", FrameWidth, FrameHeight, 32, false)) {
        fprintf(stderr, "kelvo_frame: no window with a GL context\n");
        StopMusic();
        SDL_Quit();
        return 1;
    }
    bool drawn = DrawRequests(requests);
    StopMusic();
    DestroyMainWindow();
    SDL_Quit();
    return drawn ? 0 : 1;
}
