// The music clock: how smoothly the position follows the wall clock while a track plays, and
// what a position query and a seek cost.
//
//   build/bench/bench_clock [track.mp3] [seconds]
//
// Plays the track (default tests/data/stereo44_tag.mp3, from the repository root) on the
// default device, or on the silent output where there is none, and reads the position as fast
// as it can. Each time the position changes, the step it took is compared with the wall time
// since the previous change: a perfect clock steps 1 ms per millisecond. Then the costs, on the
// offline output so that the decoding is measured on this thread.

#include <fsound.h>
#include <fsound_ext.h>

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

namespace {

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<char> ReadWhole(const char *path)
{
    std::vector<char> bytes;
    FILE *file = fopen(path, "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

const unsigned int Mode = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;

} // namespace

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "tests/data/stereo44_tag.mp3";
    double seconds = argc > 2 ? atof(argv[2]) : 5.0;
    std::vector<char> data = ReadWhole(path);
    if (data.empty()) {
        fprintf(stderr, "bench_clock: cannot read %s\n", path);
        return 1;
    }

    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_Init(44100, 32, 0);
    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    if (!stream) {
        fprintf(stderr, "bench_clock: %s is not an MP3\n", path);
        return 1;
    }
    int output = ActiveSoundOutput();
    int buffer = SoundDeviceBufferFrames();
    printf("output: %s", output == FSOUND_OUTPUT_WINMM ? "default device" : "silent (no device)");
    if (buffer)
        printf(", %d frames a callback; latency subtracted: %.1f ms", buffer, 2 * buffer * 1000.0 / 44100);
    printf("\n");

    int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 1);
    FSOUND_SetPaused(channel, 0);
    // Some devices take a while to ask for their first buffers, and the position stands until the
    // audio is heard. That start is timed on its own; the run begins 2.5 s into the track.
    double played = Seconds();
    while (FSOUND_Stream_GetTime(stream) == 0 && Seconds() - played < 5.0) {
    }
    double moved = Seconds();
    while (FSOUND_Stream_GetTime(stream) < 2500 && Seconds() - played < 10.0) {
    }
    printf("start: the position first moved %.1f ms after the play call and reached 2500 ms after %.1f ms\n",
           (moved - played) * 1000, (Seconds() - played) * 1000);
    int last = FSOUND_Stream_GetTime(stream);
    double lastChange = Seconds(), start = lastChange;
    int first = last;
    long reads = 0, backwards = 0;
    std::vector<double> differences;
    double longestStall = 0;
    while (Seconds() - start < seconds) {
        int now = FSOUND_Stream_GetTime(stream);
        reads++;
        if (now == last)
            continue;
        double t = Seconds();
        if (now < last)
            backwards++;
        double wallStep = (t - lastChange) * 1000;
        differences.push_back(std::abs(double(now - last) - wallStep));
        longestStall = std::max(longestStall, wallStep - double(now - last));
        last = now;
        lastChange = t;
    }
    double elapsed = (lastChange - start) * 1000;
    printf("playback: %.2f s, %ld reads (%.0f ns each), %zu changes, %ld backwards\n", seconds, reads,
           seconds / double(reads) * 1e9, differences.size(), backwards);
    printf("|position step - wall step|: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n",
           Percentile(differences, 0.5), Percentile(differences, 0.99), Percentile(differences, 1.0));
    printf("longest stall (wall time the position fell behind in one step): %.3f ms; drift over the run: %+.3f ms (%+.4f %%)\n", longestStall,
           double(last - first) - elapsed, (double(last - first) - elapsed) / elapsed * 100);
    FSOUND_Close();

    // Costs on the offline output.
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    FSOUND_Init(44100, 32, 0);
    stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    const int queries = 2000000;
    double t0 = Seconds();
    long sum = 0;
    for (int i = 0; i < queries; i++)
        sum += FSOUND_Stream_GetTime(stream);
    double query = (Seconds() - t0) / queries * 1e9;

    std::vector<short> out(1024 * 2);
    const int seeks = 2000;
    srand(1);
    t0 = Seconds();
    for (int i = 0; i < seeks; i++)
        RenderSoundOffline(out.data(), 1024);
    double render = (Seconds() - t0) / seeks * 1e6;
    t0 = Seconds();
    for (int i = 0; i < seeks; i++) {
        FSOUND_Stream_SetTime(stream, rand() % 2900);
        RenderSoundOffline(out.data(), 1024);
    }
    double seekRender = (Seconds() - t0) / seeks * 1e6;
    printf("FSOUND_Stream_GetTime on the offline output: %.0f ns a call (checksum %ld)\n", query, sum % 10);
    printf("1024 frames decoded: %.1f us; a seek plus the next 1024 frames: %.1f us\n", render, seekRender);
    FSOUND_Close();
    return 0;
}
