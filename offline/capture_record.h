// The recorder's frame loop: draws frame k of the demo at the music position
// T_k = floor(k * 1000 / fps) ms and pulls the music of the span before it from the sound layer's
// offline output, so that picture and sound come from the same clock, and hands both to the
// video writer. The offline demo (offline/offline_demo.h) must be open.
#ifndef KELVO_TOOLS_CAPTURE_RECORD_H
#define KELVO_TOOLS_CAPTURE_RECORD_H

#include <signal.h>
#include <stdint.h>

#include <string>

#include "offline/video_writer.h"

// The sound layer's mix rate: the music pulled from it has this many frames a second.
const int CaptureSampleRate = 44100;

// Music position of frame k at `fps`, in whole milliseconds.
int64_t CaptureFrameClock(int64_t k, int fps);

// The first frame whose position is `clockMs` or later.
int64_t CaptureFrameAt(int64_t clockMs, int fps);

enum RecordResult { Recorded, RecordFailed, RecordInterrupted };

struct RecordSettings {
    const VideoFormat *format;
    const char *path;              // file to write
    int fps;
    int64_t firstFrame, endFrame;  // frames firstFrame to endFrame - 1
    int scale;
    int quality;                   // -1: the format's default
    int poolChunks;                // frames drawn ahead of the encoder at most
    volatile sig_atomic_t *stop;   // set (by a signal handler) to stop early; may be null
    void (*progress)(int64_t done, int64_t total, void *context); // after each frame; may be null
    void *progressContext;
};

// Records the frames with their music into settings.path. On RecordFailed `error` says why; on
// anything but Recorded the file is incomplete and the caller removes it.
RecordResult RecordDemo(const RecordSettings &settings, std::string *error);

#endif
