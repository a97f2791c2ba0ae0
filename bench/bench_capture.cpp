// Recorder benchmark: frames per second of drawing alone (seek, draw and read back, as the
// recorder's drawing thread does) and of the whole recording with its music and encoding, over
// the same span, their ratio, and the process's peak memory. Run from the repository root, where
// the demo finds data/ (the music is needed: its position is the clock).
//
// Usage: bench_capture [seconds] [fps] [output]   (defaults: 10 s at 60 fps from 30 s, into a
// temporary .mp4 that is removed afterwards; the output's extension picks the format)

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/music.h"
#include "offline/capture_record.h"
#include "offline/offline_demo.h"

static double Seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? atof(argv[1]) : 10;
    const int fps = argc > 2 ? atoi(argv[2]) : 60;
    const std::string output = argc > 3 ? argv[3] : "/tmp/kelvo_bench_capture.mp4";
    const VideoFormat *format = FindVideoFormat(output.c_str());
    if (seconds <= 0 || fps < 1 || fps > 240 || !format) {
        fprintf(stderr, "usage: bench_capture [seconds] [fps 1..240] [output.mp4|.webm|.mkv]\n");
        return 2;
    }
    const int64_t fromMs = 30000;
    const int64_t first = CaptureFrameAt(fromMs, fps);
    const int64_t end = CaptureFrameAt(fromMs + int64_t(seconds * 1000), fps);
    const int64_t frames = end - first;

    if (!OpenOfflineDemo("bench_capture"))
        return 1;
    if (!OfflineDemoHasMusic()) {
        fprintf(stderr, "bench_capture: no data/music.mp3 here; run from the repository root\n");
        CloseOfflineDemo();
        return 1;
    }

    // A few frames first, so that neither pass pays for the first frame's set-up.
    std::vector<unsigned char> rgb(DemoFrameBytes);
    for (int i = 0; i < 5; i++) {
        SeekMusic(int(CaptureFrameClock(first + i, fps)));
        if (!DrawOfflineFrame("bench_capture", MusicPositionMs()) || !ReadOfflineFrame("bench_capture", rgb.data())) {
            CloseOfflineDemo();
            return 1;
        }
    }
    double start = Seconds();
    for (int64_t k = first; k < end; k++) {
        int clock = int(CaptureFrameClock(k, fps));
        SeekMusic(clock);
        if (!DrawOfflineFrame("bench_capture", clock) || !ReadOfflineFrame("bench_capture", rgb.data())) {
            CloseOfflineDemo();
            return 1;
        }
    }
    const double drawing = Seconds() - start;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double drawingPeakMb = double(usage.ru_maxrss) / 1024.0;

    std::string error;
    RecordSettings settings = {format, output.c_str(), fps, first, end, 1, -1, 6, nullptr, nullptr, nullptr};
    start = Seconds();
    RecordResult result = RecordDemo(settings, &error);
    const double recording = Seconds() - start;
    CloseOfflineDemo();
    if (argc <= 3)
        unlink(output.c_str());
    if (result != Recorded) {
        fprintf(stderr, "bench_capture: %s\n", error.c_str());
        return 1;
    }

    getrusage(RUSAGE_SELF, &usage);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    printf("%lld frames (%.1f s at %d fps from 30 s) to %s, %ld online CPUs, load average %.2f %.2f %.2f\n",
           (long long)frames, seconds, fps, format->extension, sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
    printf("drawing alone:      %7.2f s  %6.2f fps\n", drawing, double(frames) / drawing);
    printf("whole recording:    %7.2f s  %6.2f fps\n", recording, double(frames) / recording);
    printf("recording / drawing: %.3f\n", recording / drawing);
    printf("peak memory:        %.1f MB (%.1f MB after drawing alone)\n", double(usage.ru_maxrss) / 1024.0,
           drawingPeakMb);
    return 0;
}
