// The frame tool: draws the demo's frame at given music positions and writes each as an
// 800 x 600 PNG, with no display and no sound, through the demo's own window, scene, music and
// DrawFrame. Run it from the repository root, where the demo finds data/.
//
// Usage: kelvo_frame <clock-ms> <out.png> [<clock-ms> <out.png> ...]
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

#include <vector>

#include "audio/music.h"
#include "tools/offline_demo.h"
#include "tools/png_write.h"

namespace {

// The clock is a float of whole milliseconds: beyond 2^24 it could no longer hold each one.
const long MaxClock = 16777216;

struct FrameRequest {
    int clock;
    const char *path;
};

void PrintUsage()
{
    fprintf(stderr, "usage: kelvo_frame <clock-ms> <out.png> [<clock-ms> <out.png> ...]\n"
                    "  draws the demo's frame at each music position (whole milliseconds, 0 to %ld)\n"
                    "  into an 800 x 600 PNG; run from the folder that holds data/\n",
                    MaxClock);
}

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
            fprintf(stderr, "kelvo_frame: %s not written\n", request.path);
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
    if (argc < 3 || (argc - 1) % 2 != 0) {
        PrintUsage();
        return 2;
    }
    std::vector<FrameRequest> requests;
    for (int i = 1; i + 1 < argc; i += 2) {
        FrameRequest request = {0, argv[i + 1]};
        if (!ParseClock(argv[i], &request.clock)) {
            fprintf(stderr, "kelvo_frame: '%s' is not a clock in whole milliseconds from 0 to %ld\n", argv[i], MaxClock);
            return 2;
        }
        if (!request.path[0]) {
            fprintf(stderr, "kelvo_frame: an empty output path for clock %d\n", request.clock);
            return 2;
        }
        requests.push_back(request);
    }

    if (!OpenOfflineDemo("kelvo_frame"))
        return 1;
    bool drawn = DrawRequests(requests);
    CloseOfflineDemo();
    return drawn ? 0 : 1;
}
