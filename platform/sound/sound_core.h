// Inside the sound layer: what its shared part (sound_core.cpp: streams, channels, timelines,
// positions, mixing, the silent and offline outputs) and each platform's part (an MP3 decoder and
// an audio device, in the platform's own folder: platform/linux, platform/windows, platform/web)
// give each other. Not for callers of the layer: they use fsound.h.
//
// The shared part (this folder: sound_core, the MP3 frame index mp3_frames, the test hooks of
// sound_seam.h, the eight calls' headers in include/) includes no platform header.
//
// Threads. The shared part's state is changed by the FSOUND_* calls on the caller's thread and
// by the device's fills on the device's thread, both under SoundLock(). The output clock is
// written under the lock and read without it.
#ifndef KELVO_PLATFORM_SOUND_CORE_H
#define KELVO_PLATFORM_SOUND_CORE_H

#include <stddef.h>
#include <stdint.h>

#include <mutex>

// ---- Given by the shared part, to the platform parts.

// The output clock: `handed` frames given to the output so far; the frame heard at `time`
// (nanoseconds) was `frame`, moving `speed` frames a nanosecond.
struct ClockReading {
    int64_t handed;
    double frame;
    int64_t time;
    double speed;
};

// The lock around the layer's state; a device fill holds it while it mixes.
std::mutex &SoundLock();
// The clock as last written; never blocks.
ClockReading SoundReadClock();
// Replaces the clock. The caller holds the lock.
void SoundWriteClock(const ClockReading &reading);
// The clock's frame at `now` (nanoseconds), before any cap at the frames handed.
double SoundClockAt(const ClockReading &clock, int64_t now);
// The monotonic clock in nanoseconds (or the tests' clock, see sound_seam.h).
int64_t SoundNow();
// The mix rate of FSOUND_Init, in frames a second.
int SoundMixRate();
// Mixes the next `frames` 16-bit stereo frames of every running stream into `out`. Does not
// advance the clock. The caller holds the lock.
void SoundMixLocked(short *out, int frames);

// The device went away for good (`why`, in words): one line on standard error says the music
// is silent, and the clock runs on in real time from the frame heard now, as the silent output's
// does. Nothing on another output, or when already lost. Takes the lock.
void SoundOutputLost(const char *why);
// A device is open again, not yet started: output frames go on from the frame heard now, each
// stream's decoder moves to its position there, the clock stands until the first fill, and one
// line on standard error says where the music plays on from. Nothing unless lost. Takes the lock.
void SoundOutputBack();

// ---- Given by each platform's part, to the shared part.

// One MP3 decoder over the caller's block of memory, giving 16-bit stereo at the output rate,
// from the first sample of the music (encoder delay and padding removed). Not thread-safe: the
// shared part holds the lock around every call but the open.
struct SoundDecoder;
// Opens data[0..size) for output at `outputRate`; `exact` reads it through once for an exact
// length and seeks to the sample. Null (nothing held) when it holds no MP3 audio or memory runs
// out; SoundDecoderOpenError then says why.
SoundDecoder *SoundDecoderOpen(const void *data, size_t size, long outputRate, bool exact);
// Why the last SoundDecoderOpen failed, in words; "" after one that succeeded.
const char *SoundDecoderOpenError();
// Writes the next `frames` frames into `out`, silence once the music has ended. Never allocates.
void SoundDecoderRead(SoundDecoder *decoder, short *out, int frames);
// Moves decoding to output frame `frame` (0 or more); past the end, what follows is silence.
void SoundDecoderSeek(SoundDecoder *decoder, int64_t frame);
// The `index`-th place (0 first) where the audio stops early, found by an `exact` open: the
// output frame, with why in words in `*words` and whether later music plays after it in
// `*playsOn`; -1 (and "", false) past the last one.
int64_t SoundDecoderDamage(const SoundDecoder *decoder, int index, const char **words, bool *playsOn);
// Frees the decoder. Harmless on null.
void SoundDecoderClose(SoundDecoder *decoder);
// The stream's timeline changed: from output frame `frame` on, the track plays from `position`
// (stands there when not `running`). Where the shared part mixes the decoded audio into the
// device's fills (SDL, waveOut) there is nothing to do; where the platform's output plays the
// decoded audio itself (the web: the browser plays it), this is where it is told what to play.
// The caller holds the lock.
void SoundDecoderTimeline(SoundDecoder *decoder, int64_t frame, int64_t position, bool running);
// Whether the platform can decode MP3 at all; false when it has no codec, and `why` (in words)
// then says so.
bool SoundDecoderAvailable(const char **why);

// Opens the platform's default audio device at `mixRate` and has it fill itself through
// SoundDeviceFillLocked, not yet playing; `*bufferFrames` is what it takes a fill. False (nothing
// held) when there is none; a missing device is then reported in one line on standard error.
bool SoundDeviceOpen(int mixRate, int *bufferFrames);
// Starts the opened device playing.
void SoundDeviceStart();
// Stops and closes the device, waiting for a fill under way. Called without the lock.
void SoundDeviceClose();
// Fills `out` with the next `frames` frames (SoundMixLocked) and moves the clock as the device's
// own fills do; a clock that stands (speed 0: just started or back) is set by the fill. The
// caller holds the lock.
void SoundDeviceFillLocked(short *out, int frames);
// The output frame heard now (`now` from SoundNow) by the device's own account; the shared part
// never reports one past the frames handed.
double SoundDeviceHeardFrame(const ClockReading &clock, int64_t now);
// Brings the clock up to date where no fills move it: a device that plays by itself (the web's)
// writes the frames handed and heard here, before a position or an event's frame is taken.
// Devices moved by their fills do nothing. Called on the caller's thread, with or without the lock.
void SoundDeviceRefreshClock();

#endif
