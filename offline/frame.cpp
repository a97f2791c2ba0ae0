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

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "audio/music.h"
#include "platform/data_file.h"
#include "platform/data_folder.h"
#include "platform/options.h"
#include "platform/printable.h"
#include "offline/offline_demo.h"
#include "tools/png_write.h"

namespace {

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

// Draws and writes every requested frame; false at the first one that fails.
bool DrawRequests(const std::vector<FrameRequest> &requests)
{
    for (const FrameRequest &request : requests)
        if (request.clock != 0 && !OfflineDemoHasMusic()) {
            fprintf(stderr, "kelvo_frame: no music stream (data/music.mp3 missing or unreadable), so the clock stays "
                            "at 0 and %d ms cannot be drawn; nothing written\n",
                    request.clock);
            return false;
        }
    std::vector<unsigned char> rgb(DemoFrameBytes);
    for (const FrameRequest &request : requests) {
        SeekMusic(request.clock);
        if (!DrawOfflineFrame("kelvo_frame", request.clock) || !ReadOfflineFrame("kelvo_frame", rgb.data())) {
            fprintf(stderr, "kelvo_frame: %s not written\n", PrintableName(request.path).c_str());
            return false;
        }
        if (!WritePngFile(request.path, DemoFrameWidth, DemoFrameHeight, 3, rgb.data()))
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
                    PrintableName(arguments[i]).c_str(), MaxClock);
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
    SetDataReports("kelvo_frame", false);
    EnterDataFolder("kelvo_frame", dataFolder.c_str(), ExecutablePath(argv[0]));

    if (!OpenOfflineDemo("kelvo_frame"))
        return 1;
    bool drawn = DrawRequests(requests);
    CloseOfflineDemo();
    return drawn ? 0 : 1;
}
