// The sound layer's shared part: streams, channels, outputs and the playback clock, over a
// platform's MP3 decoder and audio device (sound_core.h).
//
// Positions. Every output counts "output frames": the device output by the frames it has
// handed to the device, the offline output by the frames its caller rendered, the silent output
// by the monotonic clock. The output's clock says which output frame is being heard now (on the
// device, by the device's own account). Each stream maps output frames to track frames with a
// segment (from output frame `frame` on, the track runs from `position`, or stands there while
// paused), started anew by every play, pause and seek at the output frame where the next audio
// will be handed. The segment before it still describes what is heard until then.

#include <fsound.h>
#include <fsound_ext.h>

#include "platform/data_file.h"
#include "platform/sound/sound_core.h"
#include "platform/sound/sound_seam.h"

#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

const int MaxStreams = 16;
const int MaxChannels = 256;
const int MixChunkFrames = 4096;

// A stretch of a stream's timeline: from output frame `frame` on, track frame `position`,
// advancing with the output when `running`.
struct Segment {
    int64_t frame;
    int64_t position;
    bool running;
};

struct SoundStream {
    bool inUse;
    uint32_t generation;
    SoundDecoder *decoder;
    unsigned char *ownedData;  // the file's bytes, when opened by name
    int channel;               // -1 when on no channel
    bool paused;
    Segment segment;           // from segment.frame on
    Segment previous;          // what is heard before segment.frame
    bool jumped;               // `segment` began with a seek: hold at its position until heard
    int64_t floor;             // the last position reported; positions never go below it
};

// Output frames handed out (device, offline) and the clock that says which one is heard:
// `frame` at `time` (nanoseconds), moving `speed` frames a nanosecond. Written under the lock
// (by the device callback, or the caller's thread), read without it through a sequence count,
// so that position queries never wait on, or hold up, the callback.
struct OutputClock {
    std::atomic<uint32_t> sequence;
    std::atomic<int64_t> handed;
    std::atomic<double> frame;
    std::atomic<int64_t> time;
    std::atomic<double> speed;
};

static_assert(std::atomic<double>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free,
              "the clock is read without a lock");

// The process-wide sound state. Streams, channels and timelines are changed only by the FSOUND_*
// calls, on the caller's thread; the device callback reads the channels, runs the decoders and
// moves the clock. Both hold `lock` for that, except position queries, which only read.
struct SoundState {
    std::mutex lock;
    bool outputChosen;        // FSOUND_SetOutput was called; otherwise the default device
    int requestedOutput;
    int forcedOutput;         // ForceSoundOutput's choice plus one; 0 for none
    bool started;
    int output;               // the output in use while started
    int mixRate;
    int channelCount;
    int channelStream[MaxChannels];  // stream slot on each channel, -1 for none
    SoundStream streams[MaxStreams];
    uint32_t nextGeneration;
    bool deviceOpen;          // the platform's device is open (not the tests' stand-in)
    std::atomic<bool> outputLost;  // the device went away: the clock runs in real time meanwhile
    int bufferFrames;

    OutputClock clock;

    int32_t mixBuffer[MixChunkFrames * 2];
    short streamBuffer[MixChunkFrames * 2];

    // Test hooks.
    bool fakeClock;
    int64_t fakeNow;
    bool fakeDevice;
    int fakeBufferFrames;
    int openCount;

    int openAtMs;             // SoundOpenNextStreamAt's moment plus one; 0 for none
    int lastReportedMs;       // FSOUND_Stream_GetTime's last answer plus one; 0 before any
};

SoundState sound = {};

bool KnownOutput(int outputType)
{
    return outputType == FSOUND_OUTPUT_NOSOUND || outputType == FSOUND_OUTPUT_WINMM || outputType == FSOUND_OUTPUT_OFFLINE;
}

SoundStream *FindStream(FSOUND_STREAM *handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    uintptr_t slot = (value & 0xff) - 1;
    if (!sound.started || slot >= uintptr_t(MaxStreams))
        return nullptr;
    SoundStream *stream = &sound.streams[slot];
    if (!stream->inUse || stream->generation != uint32_t(value >> 8))
        return nullptr;
    return stream;
}

SoundStream *StreamOnChannel(int channel)
{
    if (!sound.started || channel < 0 || channel >= sound.channelCount || sound.channelStream[channel] < 0)
        return nullptr;
    return &sound.streams[sound.channelStream[channel]];
}

} // namespace

ClockReading SoundReadClock()
{
    OutputClock &clock = sound.clock;
    for (;;) {
        uint32_t before = clock.sequence.load(std::memory_order_acquire);
        ClockReading reading = {clock.handed.load(std::memory_order_relaxed), clock.frame.load(std::memory_order_relaxed),
                                clock.time.load(std::memory_order_relaxed), clock.speed.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (!(before & 1) && clock.sequence.load(std::memory_order_relaxed) == before)
            return reading;
    }
}

// Callers hold the lock, so there is one writer at a time.
void SoundWriteClock(const ClockReading &reading)
{
    OutputClock &clock = sound.clock;
    uint32_t sequence = clock.sequence.load(std::memory_order_relaxed);
    clock.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    clock.handed.store(reading.handed, std::memory_order_relaxed);
    clock.frame.store(reading.frame, std::memory_order_relaxed);
    clock.time.store(reading.time, std::memory_order_relaxed);
    clock.speed.store(reading.speed, std::memory_order_relaxed);
    clock.sequence.store(sequence + 2, std::memory_order_release);
}

double SoundClockAt(const ClockReading &clock, int64_t now)
{
    return clock.frame + double(now - clock.time) * clock.speed;
}

std::mutex &SoundLock()
{
    return sound.lock;
}

int64_t SoundNow()
{
    if (sound.fakeClock)
        return sound.fakeNow;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int SoundMixRate()
{
    return sound.mixRate;
}

namespace {

// The output frame being heard now: on the device, the device's account, never past what was
// handed; on the offline output, what was rendered; on the silent output, the clock itself.
int64_t HeardFrame()
{
    if (sound.deviceOpen && sound.output == FSOUND_OUTPUT_WINMM && !sound.outputLost.load(std::memory_order_acquire))
        SoundDeviceRefreshClock();
    ClockReading clock = SoundReadClock();
    if (sound.output == FSOUND_OUTPUT_OFFLINE)
        return clock.handed;
    if (sound.output == FSOUND_OUTPUT_NOSOUND || sound.outputLost.load(std::memory_order_acquire))
        return int64_t(floor(SoundClockAt(clock, SoundNow())));
    double frame = sound.deviceOpen ? SoundDeviceHeardFrame(clock, SoundNow()) : SoundClockAt(clock, SoundNow());
    if (frame > double(clock.handed))
        frame = double(clock.handed);
    return int64_t(floor(frame));
}

// The output frame where a play, pause or seek made now takes effect.
int64_t EventFrame()
{
    if (sound.output == FSOUND_OUTPUT_NOSOUND || sound.outputLost)
        return HeardFrame();
    if (sound.deviceOpen)
        SoundDeviceRefreshClock();
    return SoundReadClock().handed;
}

int64_t PositionAt(const Segment &segment, int64_t frame)
{
    if (!segment.running || frame <= segment.frame)
        return segment.position;
    return segment.position + (frame - segment.frame);
}

// The track frame heard now.
int64_t StreamPosition(SoundStream *stream)
{
    int64_t heard = HeardFrame();
    int64_t position;
    if (heard >= stream->segment.frame)
        position = PositionAt(stream->segment, heard);
    else if (stream->jumped)
        position = stream->segment.position;
    else
        position = PositionAt(stream->previous, heard);
    if (position < stream->floor)
        position = stream->floor;
    stream->floor = position;
    return position;
}

// Starts a new segment at the event frame; `position` < 0 keeps the track where it stands.
void StartSegment(SoundStream *stream, int64_t position, bool running, bool jump)
{
    int64_t frame = EventFrame();
    if (position < 0)
        position = PositionAt(stream->segment, frame);
    if (frame != stream->segment.frame) {
        stream->previous = stream->segment;
        stream->jumped = false;
    }
    stream->segment = {frame, position, running};
    if (jump) {
        stream->jumped = true;
        stream->floor = position;
    }
    SoundDecoderTimeline(stream->decoder, frame, position, running);
}

bool IsRunning(const SoundStream *stream)
{
    return stream->channel >= 0 && !stream->paused;
}

} // namespace

void SoundMixLocked(short *out, int frames)
{
    while (frames > 0) {
        int chunk = frames < MixChunkFrames ? frames : MixChunkFrames;
        memset(sound.mixBuffer, 0, sizeof(int32_t) * 2 * size_t(chunk));
        for (int channel = 0; channel < sound.channelCount; channel++) {
            SoundStream *stream = StreamOnChannel(channel);
            if (!stream || !IsRunning(stream))
                continue;
            SoundDecoderRead(stream->decoder, sound.streamBuffer, chunk);
            for (int i = 0; i < 2 * chunk; i++)
                sound.mixBuffer[i] += sound.streamBuffer[i];
        }
        for (int i = 0; i < 2 * chunk; i++) {
            int32_t value = sound.mixBuffer[i];
            out[i] = short(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
        }
        out += 2 * chunk;
        frames -= chunk;
    }
    // `handed` is advanced by the caller, after the whole buffer.
}

namespace {

// The position of the first running stream, in track frames; -1 when none runs. For the lines
// about the output.
int64_t RunningPosition()
{
    for (SoundStream &stream : sound.streams)
        if (stream.inUse && IsRunning(&stream))
            return StreamPosition(&stream);
    return -1;
}

} // namespace

void SoundOutputLost(const char *why)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    if (!sound.started || sound.output != FSOUND_OUTPUT_WINMM || sound.outputLost)
        return;
    const int64_t heard = HeardFrame();
    SoundWriteClock({heard, double(heard), SoundNow(), double(sound.mixRate) * 1e-9});
    sound.outputLost.store(true, std::memory_order_release);
    const int64_t shown = RunningPosition();
    if (shown >= 0) {
        const int64_t ms = shown * 1000 / sound.mixRate;
        fprintf(stderr, "sound: the audio output went away at %lld:%02lld (%s); the music is silent\n",
                (long long)(ms / 60000), (long long)(ms / 1000 % 60), why);
    } else {
        fprintf(stderr, "sound: the audio output went away (%s); the music is silent\n", why);
    }
    fflush(stderr);
}

void SoundOutputBack()
{
    std::lock_guard<std::mutex> hold(sound.lock);
    if (!sound.started || !sound.outputLost)
        return;
    const int64_t heard = HeardFrame();
    const int64_t shown = RunningPosition();
    for (SoundStream &stream : sound.streams) {
        if (!stream.inUse)
            continue;
        const int64_t position = StreamPosition(&stream);
        SoundDecoderSeek(stream.decoder, position);
        stream.segment = {heard, position, IsRunning(&stream)};
        stream.previous = stream.segment;
        stream.jumped = false;
        SoundDecoderTimeline(stream.decoder, heard, position, IsRunning(&stream));
    }
    SoundWriteClock({heard, double(heard), SoundNow(), 0.0});
    sound.outputLost.store(false, std::memory_order_release);
    if (shown >= 0) {
        const int64_t ms = shown * 1000 / sound.mixRate;
        fprintf(stderr, "sound: the audio output is back; the music plays on from %lld:%02lld\n",
                (long long)(ms / 60000), (long long)(ms / 1000 % 60));
    } else {
        fprintf(stderr, "sound: the audio output is back\n");
    }
    fflush(stderr);
}

signed char FSOUND_SetOutput(int outputType)
{
    if (!KnownOutput(outputType))
        return 0;
    sound.requestedOutput = outputType;
    sound.outputChosen = true;
    return 1;
}

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int)
{
    if (sound.started)
        FSOUND_Close();
    if (mixRate < 8000 || mixRate > 192000 || maxSoftwareChannels < 1 || maxSoftwareChannels > MaxChannels)
        return 0;
    sound.mixRate = mixRate;
    sound.channelCount = maxSoftwareChannels;
    for (int i = 0; i < MaxChannels; i++)
        sound.channelStream[i] = -1;
    sound.outputLost = false;
    sound.output = sound.outputChosen ? sound.requestedOutput : int(FSOUND_OUTPUT_WINMM);
    if (sound.forcedOutput > 0)
        sound.output = sound.forcedOutput - 1;
    if (sound.output == FSOUND_OUTPUT_WINMM) {
        if (sound.fakeDevice) {
            sound.bufferFrames = sound.fakeBufferFrames;
        } else if (const char *why = nullptr; !SoundDecoderAvailable(&why)) {
            fprintf(stderr, "sound: %s; the music is silent\n", why);
            sound.output = FSOUND_OUTPUT_NOSOUND;
        } else if (SoundDeviceOpen(mixRate, &sound.bufferFrames)) {
            sound.deviceOpen = true;
        } else {
            sound.output = FSOUND_OUTPUT_NOSOUND;
        }
    }
    // The device clock stands until its first callback; the silent one runs from now.
    {
        std::lock_guard<std::mutex> hold(sound.lock);
        SoundWriteClock({0, 0.0, SoundNow(), sound.output == FSOUND_OUTPUT_NOSOUND ? double(mixRate) * 1e-9 : 0.0});
    }
    sound.started = true;
    if (sound.deviceOpen)
        SoundDeviceStart();
    return 1;
}

// Why the last FSOUND_Stream_Open gave no stream; "" after one that opened.
static const char *streamOpenError = "";

FSOUND_STREAM *FSOUND_Stream_Open(const char *nameOrData, unsigned int mode, int offset, int length)
{
    streamOpenError = "";
    if (!sound.started || !nameOrData || offset < 0) {
        streamOpenError = !sound.started ? "the sound library is not started" : "no data";
        return nullptr;
    }
    int slot = 0;
    while (slot < MaxStreams && sound.streams[slot].inUse)
        slot++;
    if (slot == MaxStreams) {
        streamOpenError = "every stream is in use";
        return nullptr;
    }

    const unsigned char *data;
    size_t size;
    unsigned char *owned = nullptr;
    if (mode & FSOUND_LOADMEMORY) {
        if (length <= 0) {
            streamOpenError = "no data";
            return nullptr;
        }
        data = reinterpret_cast<const unsigned char *>(nameOrData) + offset;
        size = size_t(length);
    } else {
        const char *notFile = nullptr;
        FILE *file = OpenDataFile(nameOrData, &notFile);
        if (!file) {
            streamOpenError = notFile ? notFile : "the file could not be opened";
            return nullptr;
        }
        long fileSize = -1;
        if (fseek(file, 0, SEEK_END) == 0)
            fileSize = ftell(file);
        if (fileSize > offset && fseek(file, offset, SEEK_SET) == 0) {
            size = size_t(fileSize - offset);
            if (length > 0 && size_t(length) < size)
                size = size_t(length);
            owned = static_cast<unsigned char *>(malloc(size));
            if (owned && fread(owned, 1, size, file) != size) {
                free(owned);
                owned = nullptr;
            }
        }
        fclose(file);
        if (!owned) {
            streamOpenError = "the file could not be read";
            return nullptr;
        }
        data = owned;
    }

    // Opening scans the data. No channel refers to a free slot, so this is done in place and
    // outside the lock: the device plays on meanwhile. The decoder keeps the record's address.
    SoundStream *stream = &sound.streams[slot];
    stream->decoder = SoundDecoderOpen(data, size, sound.mixRate, (mode & FSOUND_MPEGACCURATE) != 0);
    if (!stream->decoder) {
        streamOpenError = SoundDecoderOpenError();
        free(owned);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(sound.lock);
    stream->inUse = true;
    stream->generation = ++sound.nextGeneration & 0xffffff;
    stream->ownedData = owned;
    stream->channel = -1;
    stream->paused = false;
    // A moment asked for in advance: the stream starts there, as after a seek made before it plays.
    int64_t start = 0;
    if (sound.openAtMs > 0) {
        start = (int64_t(sound.openAtMs - 1) * sound.mixRate + 999) / 1000;
        sound.openAtMs = 0;
        if (sound.output != FSOUND_OUTPUT_NOSOUND && !sound.outputLost)
            SoundDecoderSeek(stream->decoder, start);
    }
    stream->segment = {EventFrame(), start, false};
    stream->previous = stream->segment;
    stream->jumped = false;
    stream->floor = start;
    sound.openCount++;
    SoundDecoderTimeline(stream->decoder, stream->segment.frame, start, false);
    return reinterpret_cast<FSOUND_STREAM *>(uintptr_t(stream->generation) << 8 | uintptr_t(slot + 1));
}

const char *SoundStreamOpenError()
{
    return streamOpenError;
}

int SoundStreamDamage(FSOUND_STREAM *handle, const char **words)
{
    bool playsOn;
    return SoundStreamDamageAt(handle, 0, words, &playsOn);
}

int SoundStreamDamageAt(FSOUND_STREAM *handle, int index, const char **words, bool *playsOn)
{
    *words = "";
    *playsOn = false;
    std::lock_guard<std::mutex> hold(sound.lock);
    SoundStream *stream = FindStream(handle);
    if (!stream)
        return -1;
    const int64_t frame = SoundDecoderDamage(stream->decoder, index, words, playsOn);
    if (frame < 0)
        return -1;
    const int64_t ms = frame * 1000 / sound.mixRate;
    return ms > INT_MAX ? INT_MAX : int(ms);
}

int FSOUND_Stream_PlayEx(int channel, FSOUND_STREAM *handle, FSOUND_DSPUNIT *, signed char startPaused)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    SoundStream *stream = FindStream(handle);
    if (!stream)
        return -1;
    int slot = int(stream - sound.streams);
    if (channel == FSOUND_FREE) {
        channel = 0;
        while (channel < sound.channelCount && sound.channelStream[channel] >= 0
               && sound.channelStream[channel] != slot)
            channel++;
    }
    if (channel < 0 || channel >= sound.channelCount)
        return -1;
    // A channel plays one stream and a stream plays on one channel: whatever stood in the way
    // stops, where it stands.
    SoundStream *displaced = StreamOnChannel(channel);
    if (displaced && displaced != stream) {
        displaced->channel = -1;
        StartSegment(displaced, -1, false, false);
    }
    if (stream->channel >= 0)
        sound.channelStream[stream->channel] = -1;
    sound.channelStream[channel] = slot;
    stream->channel = channel;
    stream->paused = startPaused != 0;
    StartSegment(stream, -1, IsRunning(stream), false);
    return channel;
}

signed char FSOUND_SetPaused(int channel, signed char paused)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    SoundStream *stream = StreamOnChannel(channel);
    if (!stream)
        return 0;
    if (stream->paused != (paused != 0)) {
        stream->paused = paused != 0;
        StartSegment(stream, -1, IsRunning(stream), false);
    }
    return 1;
}

int FSOUND_Stream_GetTime(FSOUND_STREAM *handle)
{
    // No lock: streams and their timelines change only on this thread, and the clock is read
    // through its sequence count.
    SoundStream *stream = FindStream(handle);
    if (!stream) {
        sound.lastReportedMs = 1;
        return 0;
    }
    int64_t ms = StreamPosition(stream) * 1000 / sound.mixRate;
    const int reported = ms > INT_MAX - 1 ? INT_MAX - 1 : int(ms);
    sound.lastReportedMs = reported + 1;
    return reported;
}

signed char FSOUND_Stream_SetTime(FSOUND_STREAM *handle, int ms)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    SoundStream *stream = FindStream(handle);
    if (!stream)
        return 0;
    // Rounded up, so that the position read back is `ms` itself.
    int64_t frame = ms <= 0 ? 0 : (int64_t(ms) * sound.mixRate + 999) / 1000;
    if (sound.output != FSOUND_OUTPUT_NOSOUND && !sound.outputLost)
        SoundDecoderSeek(stream->decoder, frame);
    StartSegment(stream, frame, IsRunning(stream), true);
    return 1;
}

void FSOUND_Close()
{
    // The device is closed first, without the lock, so that its last callback can finish.
    if (sound.deviceOpen) {
        SoundDeviceClose();
        sound.deviceOpen = false;
    }
    std::lock_guard<std::mutex> hold(sound.lock);
    for (SoundStream &stream : sound.streams) {
        if (!stream.inUse)
            continue;
        SoundDecoderClose(stream.decoder);
        stream.decoder = nullptr;
        free(stream.ownedData);
        stream.ownedData = nullptr;
        stream.inUse = false;
    }
    sound.started = false;
}

int RenderSoundOffline(short *out, int frames)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    if (!sound.started || sound.output != FSOUND_OUTPUT_OFFLINE || !out || frames < 1)
        return 0;
    SoundMixLocked(out, frames);
    ClockReading clock = SoundReadClock();
    clock.handed += frames;
    SoundWriteClock(clock);
    return frames;
}

int ForceSoundOutput(int outputType)
{
    if (outputType != -1 && !KnownOutput(outputType))
        return 0;
    sound.forcedOutput = outputType + 1;  // stored one up, so that the zeroed state means none
    return 1;
}

void SoundOpenNextStreamAt(int ms)
{
    sound.openAtMs = ms < 0 ? 0 : ms == INT_MAX ? INT_MAX : ms + 1;
}

int SoundLastReportedTime()
{
    return sound.lastReportedMs - 1;
}

int ActiveSoundOutput()
{
    std::lock_guard<std::mutex> hold(sound.lock);
    return sound.started ? sound.output : -1;
}

int SoundDeviceBufferFrames()
{
    std::lock_guard<std::mutex> hold(sound.lock);
    return sound.started && sound.output == FSOUND_OUTPUT_WINMM ? sound.bufferFrames : 0;
}

void SoundSeam_SetClock(int64_t nanoseconds)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    sound.fakeClock = true;
    sound.fakeNow = nanoseconds;
}

void SoundSeam_UseRealClock()
{
    std::lock_guard<std::mutex> hold(sound.lock);
    sound.fakeClock = false;
}

void SoundSeam_FakeDevice(bool enabled, int bufferFrames)
{
    sound.fakeDevice = enabled;
    sound.fakeBufferFrames = bufferFrames;
}

bool SoundSeam_RunCallback(short *out)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    if (!sound.started || sound.output != FSOUND_OUTPUT_WINMM || sound.deviceOpen || sound.outputLost)
        return false;
    SoundDeviceFillLocked(out, sound.bufferFrames);
    return true;
}

void SoundSeam_LoseDevice(const char *why)
{
    SoundOutputLost(why);
}

void SoundSeam_DeviceBack()
{
    SoundOutputBack();
}

int SoundSeam_OpenCount()
{
    return sound.openCount;
}
