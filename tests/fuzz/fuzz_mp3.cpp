// libFuzzer target: the sound layer's stream open, play, render and seeks from memory, on the
// offline output. The input is the file; its last byte also picks an exact (scanned) or a plain
// open and where the seeks go. Inputs are kept small (make fuzz sets -max_len), so that files
// joined end to end still hold several parts. Anything the decoder prints on standard error is a finding too:
// the layer says what goes wrong itself, in its own words.
#include <fsound.h>
#include <fsound_ext.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

static int errorSink = -1; // takes standard error while the layer runs

// Output frames rendered after the open and after each seek: one MPEG-2 frame's worth.
static const int RenderFrames = 576;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    errorSink = memfd_create("fuzz_mp3_stderr", 0);
    if (errorSink < 0) {
        perror("fuzz_mp3: memfd_create");
        exit(1);
    }
    return 0;
}

// Plays the stream from its start, then in three stretches with a seek before each, as the
// demo's keys would.
static void Exercise(const uint8_t *data, size_t size, unsigned choice)
{
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    if (!FSOUND_Init(44100, 32, 0))
        return;
    const unsigned mode = FSOUND_NORMAL | FSOUND_LOADMEMORY | ((choice & 1) ? FSOUND_MPEGACCURATE : 0);
    std::vector<char> file(data, data + size); // the layer keeps the caller's block; this one lives long enough
    FSOUND_STREAM *stream = FSOUND_Stream_Open(file.data(), mode, 0, int(file.size()));
    if (stream) {
        const int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 1);
        FSOUND_SetPaused(channel, 0);
        // A few frames of audio a stretch: the decoder's work per input stays small, so that
        // thousands of inputs a second are tried, while every stretch starts the decoder anew.
        static short out[2 * RenderFrames];
        RenderSoundOffline(out, RenderFrames);
        const int seeks[4] = {0, -400, 300, 60000};
        for (int i = 0; i < 3; i++) {
            FSOUND_Stream_SetTime(stream, seeks[(choice >> (1 + 2 * i)) & 3] + int(i * 37));
            RenderSoundOffline(out, RenderFrames);
            FSOUND_Stream_GetTime(stream);
        }
        const char *words = nullptr;
        SoundStreamDamage(stream, &words);
    }
    FSOUND_Close();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    fflush(stderr);
    const int saved = dup(2);
    if (ftruncate(errorSink, 0) != 0 || lseek(errorSink, 0, SEEK_SET) != 0 || saved < 0 || dup2(errorSink, 2) < 0)
        abort();
    Exercise(data, size, data[size - 1]);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    const off_t printed = lseek(errorSink, 0, SEEK_END);
    if (printed > 0) {
        char text[512];
        const ssize_t got = pread(errorSink, text, sizeof text - 1, 0);
        text[got > 0 ? got : 0] = '\0';
        fprintf(stderr, "fuzz_mp3: the sound layer printed on standard error:\n%s\n", text);
        abort();
    }
    return 0;
}
