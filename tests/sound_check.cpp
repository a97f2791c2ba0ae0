// The sound layer's check program, built on Linux and on Windows from the same source:
//   kelvo_sound_check render MP3 OUT.raw   the offline output's audio at fixed positions and seeks,
//                                          16-bit stereo at 44100 Hz, and the positions read;
//   kelvo_sound_check compare A.raw B.raw  whether two renders (of the two platforms' decoders)
//                                          agree: every stretch lines up within 1 ms;
//   kelvo_sound_check device MP3           on the real device: positions follow the frames the
//                                          device reports played, seeks, pause, a missing file;
//   kelvo_sound_check silent MP3           with no device to be had: the silent output, its
//                                          position in real time;
//   kelvo_sound_check play MP3 SECONDS     plays on the device for that long: the layer's queue
//                                          never runs dry, where the device tells (waveOut);
//   kelvo_sound_check gaps REC.raw         whether a recording of music (16-bit stereo at 44100
//                                          Hz) runs on without a drop-out: no stretch of 5 ms or
//                                          more of digital silence between its first and last
//                                          sound.
// Prints what it found and exits 0 when every check held, 1 otherwise.

#include <fsound.h>
#include <fsound_ext.h>

#include "platform/sound/sound_seam.h"
#include "tests/test_files.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const int Rate = 44100;
const unsigned int Mode = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;

// The render: stretches of `frames` frames, each after a seek to `seekMs` (-1: none).
struct Stretch {
    int seekMs;
    int frames;
};
// The last falls in the second part of the test files joined end to end (past the end of the
// others), so that a decoder that keeps the first part's format for the second shows.
const Stretch Stretches[] = {{-1, 3 * Rate}, {1234, Rate / 2}, {50, Rate / 4}, {2500, Rate / 4}, {777, Rate / 2}, {4000, Rate / 2}};
const int StretchCount = int(sizeof Stretches / sizeof Stretches[0]);

int failures = 0;

void Check(bool holds, const char *what)
{
    printf("%s: %s\n", holds ? "ok" : "FAILED", what);
    if (!holds)
        failures++;
}

void Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int Render(const char *mp3, const char *outPath)
{
    std::vector<char> data = ReadWhole(mp3);
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    if (data.empty() || !FSOUND_Init(Rate, 32, 0)) {
        fprintf(stderr, "render: %s not read, or no offline output\n", mp3);
        return 1;
    }
    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    if (!stream || FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0) < 0) {
        fprintf(stderr, "render: %s does not open (%s)\n", mp3, SoundStreamOpenError());
        return 1;
    }
    FILE *out = fopen(outPath, "wb");
    if (!out)
        return 1;
    for (const Stretch &stretch : Stretches) {
        if (stretch.seekMs >= 0)
            FSOUND_Stream_SetTime(stream, stretch.seekMs);
        std::vector<short> samples(size_t(stretch.frames) * 2);
        RenderSoundOffline(samples.data(), stretch.frames);
        fwrite(samples.data(), sizeof(short), samples.size(), out);
        printf("position %d\n", FSOUND_Stream_GetTime(stream));
    }
    FSOUND_Close();
    return fclose(out) == 0 ? 0 : 1;
}

// The shift (frames, -limit..limit) of b against a that matches best in a[from..from+count),
// and how far apart the two are there, as the residual's energy over the signal's.
int BestShift(const std::vector<short> &a, const std::vector<short> &b, size_t from, size_t count, int limit, double *residual)
{
    int best = 0;
    double bestError = -1, energy = 0;
    for (size_t i = from; i < from + count; i++)
        energy += double(a[2 * i]) * a[2 * i] + double(a[2 * i + 1]) * a[2 * i + 1];
    for (int shift = -limit; shift <= limit; shift++) {
        double error = 0;
        for (size_t i = from; i < from + count; i++) {
            long j = long(i) + shift;
            double l = j >= 0 && size_t(j) < a.size() / 2 ? b[2 * size_t(j)] : 0;
            double r = j >= 0 && size_t(j) < a.size() / 2 ? b[2 * size_t(j) + 1] : 0;
            error += (a[2 * i] - l) * (a[2 * i] - l) + (a[2 * i + 1] - r) * (a[2 * i + 1] - r);
        }
        // Of equal matches the smallest shift: in silence every shift matches.
        if (bestError < 0 || error < bestError || (error == bestError && abs(shift) < abs(best))) {
            bestError = error;
            best = shift;
        }
    }
    *residual = energy > 0 ? bestError / energy : (bestError > 0 ? 1 : 0);
    return best;
}

std::vector<short> ReadSamples(const char *path)
{
    std::vector<char> bytes = ReadWhole(path);
    std::vector<short> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

int Compare(const char *pathA, const char *pathB)
{
    std::vector<short> a = ReadSamples(pathA), b = ReadSamples(pathB);
    size_t total = 0;
    for (const Stretch &stretch : Stretches)
        total += size_t(stretch.frames);
    Check(a.size() == 2 * total && b.size() == 2 * total, "both renders hold every stretch");
    if (failures)
        return 1;
    // Each stretch is checked in windows of 100 ms past its first 10 ms (where a seek's restart
    // may still settle), against shifts up to 2 ms; 1 ms is 44 frames.
    size_t start = 0;
    for (int s = 0; s < StretchCount; s++) {
        int worstShift = 0;
        double worstResidual = 0;
        for (size_t from = start + Rate / 100; from + Rate / 10 <= start + size_t(Stretches[s].frames); from += Rate / 10) {
            double residual;
            int shift = BestShift(a, b, from, Rate / 10, 2 * Rate / 1000, &residual);
            if (abs(shift) > abs(worstShift))
                worstShift = shift;
            if (residual > worstResidual)
                worstResidual = residual;
        }
        char what[160];
        snprintf(what, sizeof what, "stretch %d (seek %d ms): shift %d frames, residual %.5f of the signal", s,
                 Stretches[s].seekMs, worstShift, worstResidual);
        Check(abs(worstShift) <= Rate / 1000 && worstResidual < 0.01, what);
        start += size_t(Stretches[s].frames);
    }
    return failures ? 1 : 0;
}

// Reads the position between two readings of the device's count: the stream's segment began at
// device frame S when every reading has played1 - S <= position <= played2 - S, to the ms.
struct Bracket {
    double low, high;  // the range S may lie in, in frames
};

void Narrow(Bracket *bracket, FSOUND_STREAM *stream)
{
    int64_t played1 = SoundSeam_DevicePlayedFrames();
    int ms = FSOUND_Stream_GetTime(stream);
    int64_t played2 = SoundSeam_DevicePlayedFrames();
    if (ms <= 0)
        return;  // before the music is heard the position stands at 0, and says nothing of S
    double frames = double(ms) * Rate / 1000;
    // ms is floored: the position lies in [frames, frames + 1 ms).
    double low = double(played1) - frames - double(Rate) / 1000, high = double(played2) - frames;
    if (low > bracket->low)
        bracket->low = low;
    if (high < bracket->high)
        bracket->high = high;
}

int Device(const char *mp3)
{
    std::vector<char> data = ReadWhole(mp3);
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    Check(!data.empty() && FSOUND_Init(Rate, 32, 0), "the library starts");
    Check(ActiveSoundOutput() == FSOUND_OUTPUT_WINMM && SoundSeam_DevicePlayedFrames() >= 0, "a device is open");
    if (failures)
        return 1;
    Check(!FSOUND_Stream_Open("no such file.mp3", FSOUND_NORMAL | FSOUND_MPEGACCURATE, 0, 0)
              && strlen(SoundStreamOpenError()) > 0,
          "a missing file opens no stream, and says why");
    Check(!FSOUND_Stream_Open("not mp3 at all, just words", Mode, 0, 26), "data that is not MP3 opens no stream");

    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    Check(stream && channel >= 0, "the music opens and plays");
    if (failures)
        return 1;
    int64_t playedBefore = SoundSeam_DevicePlayedFrames();
    Bracket bracket = {-1e18, 1e18};
    for (int i = 0; i < 40; i++) {
        Narrow(&bracket, stream);
        Sleep(25);
    }
    int64_t playedAfter = SoundSeam_DevicePlayedFrames();
    char what[200];
    snprintf(what, sizeof what, "the device played %.0f ms in about 1 s",
             double(playedAfter - playedBefore) * 1000 / Rate);
    Check(playedAfter - playedBefore > Rate / 2, what);
    snprintf(what, sizeof what, "40 positions are the device's played frames less one start, to the ms (%.0f..%.0f)",
             bracket.low, bracket.high);
    Check(bracket.low <= bracket.high, what);

    int beforeSeek = FSOUND_Stream_GetTime(stream);
    FSOUND_Stream_SetTime(stream, 2000);
    int atSeek = FSOUND_Stream_GetTime(stream);
    snprintf(what, sizeof what, "a seek from %d ms to 2000 ms reads 2000 at once (%d)", beforeSeek, atSeek);
    Check(atSeek == 2000, what);
    int least = atSeek, late = atSeek;
    // About 1 s; what the position should have reached is reckoned from the time that really
    // passed, which a busy machine stretches.
    auto sought = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; i++) {
        Sleep(25);
        late = FSOUND_Stream_GetTime(stream);
        if (late < least)
            least = late;
    }
    long passed = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sought).count());
    snprintf(what, sizeof what, "after the seek the position never goes below it and moves on (%d ms %ld ms later)", late, passed);
    Check(least >= 2000 && late > 2000 + passed - 500 && late < 2000 + passed + 100, what);

    FSOUND_SetPaused(channel, 1);
    int paused = FSOUND_Stream_GetTime(stream);
    Sleep(400);
    int settled = FSOUND_Stream_GetTime(stream);
    Sleep(300);
    int still = FSOUND_Stream_GetTime(stream);
    snprintf(what, sizeof what, "paused, the position stops once the queued audio is heard (%d, %d, %d ms)", paused, settled, still);
    Check(settled >= paused && settled - paused < 300 && still == settled, what);
    FSOUND_SetPaused(channel, 0);
    Sleep(500);
    int resumed = FSOUND_Stream_GetTime(stream);
    snprintf(what, sizeof what, "resumed, it moves on (%d ms after 500 ms)", resumed);
    Check(resumed > still + 200, what);

    FSOUND_Close();
    Check(SoundSeam_DevicePlayedFrames() < 0 && FSOUND_Stream_GetTime(stream) == 0, "closed, the device and the stream are gone");
    return failures ? 1 : 0;
}

int Silent(const char *mp3)
{
    std::vector<char> data = ReadWhole(mp3);
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    Check(!data.empty() && FSOUND_Init(Rate, 32, 0), "the library starts");
    Check(ActiveSoundOutput() == FSOUND_OUTPUT_NOSOUND, "it falls back to the silent output");
    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    Check(stream && FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0) >= 0, "the music opens and plays");
    auto began = std::chrono::steady_clock::now();
    Sleep(500);
    int position = FSOUND_Stream_GetTime(stream);
    long elapsed = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count());
    char what[160];
    snprintf(what, sizeof what, "its position follows the clock: %d ms after %ld ms", position, elapsed);
    Check(position >= elapsed - 50 && position <= elapsed + 50, what);
    FSOUND_Close();
    return failures ? 1 : 0;
}

int Play(const char *mp3, int seconds)
{
    std::vector<char> data = ReadWhole(mp3);
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    Check(!data.empty() && FSOUND_Init(Rate, 32, 0) && ActiveSoundOutput() != FSOUND_OUTPUT_NOSOUND, "a device is open");
    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    Check(stream && FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0) >= 0, "the music opens and plays");
    if (failures)
        return 1;
    auto began = std::chrono::steady_clock::now();
    Sleep(seconds * 1000);
    long elapsed = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count());
    int position = FSOUND_Stream_GetTime(stream);
    const int64_t dry = SoundSeam_DeviceRanDry();
    char what[160];
    snprintf(what, sizeof what, "it played on: %d ms of music in %ld ms", position, elapsed);
    Check(position > elapsed - 1000 && position <= elapsed + 100, what);
    if (dry >= 0) {
        snprintf(what, sizeof what, "the queue never ran dry (%lld times)", (long long)dry);
        Check(dry == 0, what);
    }
    FSOUND_Close();
    return failures ? 1 : 0;
}

// A device that runs dry plays digital silence until it is fed again: such stretches inside music
// are the drop-outs a listener hears.
int Gaps(const char *path)
{
    std::vector<char> bytes = ReadWhole(path);
    const size_t frames = bytes.size() / 4;
    const short *samples = reinterpret_cast<const short *>(bytes.data());
    size_t first = frames, last = 0;
    for (size_t i = 0; i < frames; i++)
        if (samples[2 * i] != 0 || samples[2 * i + 1] != 0) {
            if (first == frames)
                first = i;
            last = i;
        }
    const size_t shortest = Rate * 5 / 1000;
    size_t longest = 0, run = 0, count = 0;
    for (size_t i = first; i <= last && first < frames; i++) {
        if (samples[2 * i] == 0 && samples[2 * i + 1] == 0) {
            run++;
            continue;
        }
        if (run >= shortest)
            count++;
        longest = std::max(longest, run);
        run = 0;
    }
    char what[200];
    snprintf(what, sizeof what, "%.1f s of sound, %zu drop-outs of 5 ms or more, the longest silence %.1f ms",
             first < frames ? double(last - first + 1) / Rate : 0.0, count, double(longest) * 1000 / Rate);
    Check(first < frames && last - first > size_t(Rate) && count == 0, what);
    return failures ? 1 : 0;
}

} // namespace

namespace {

int Run(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "render" && argc == 4)
        return Render(argv[2], argv[3]);
    if (mode == "compare" && argc == 4)
        return Compare(argv[2], argv[3]);
    if (mode == "device" && argc == 3)
        return Device(argv[2]);
    if (mode == "silent" && argc == 3)
        return Silent(argv[2]);
    if (mode == "play" && argc == 4)
        return Play(argv[2], atoi(argv[3]));
    if (mode == "gaps" && argc == 3)
        return Gaps(argv[2]);
    fprintf(stderr, "usage: kelvo_sound_check render MP3 OUT.raw | compare A.raw B.raw | device MP3 | silent MP3 | play MP3 SECONDS | gaps REC.raw\n");
    return 2;
}

} // namespace

// Ends through exit(), not a return from main: in a browser (the web build) main may have waited
// on the page, and only exit() then reaches the page with the status.
int main(int argc, char **argv)
{
    exit(Run(argc, argv));
}
