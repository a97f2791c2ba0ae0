// The sound layer: streams, channels, outputs and the playback clock, on SDL2 audio.
//
// Positions. Every output counts "output frames": the device output by the frames it has
// handed to SDL, the offline output by the frames its caller rendered, the silent output by the
// monotonic clock. The output's clock says which output frame is being heard now. Each stream
// maps output frames to track frames with a segment (from output frame `frame` on, the track
// runs from `position`, or stands there while paused), started anew by every play, pause and
// seek at the output frame where the next audio will be handed. The segment before it still
// describes what is heard until then.
//
// The device clock. SDL gives no playback position, so the clock is estimated: at each callback
// the frame being heard is the frames handed so far less two buffers (the one just filled and
// the one playing). Between callbacks the clock runs on the monotonic clock, and at each
// callback its speed is nudged (at most 5 %) to close the gap to the estimate over a quarter of a
// second, so that callback jitter never shows as a jump. It never passes the frames handed.

#include <fsound.h>
#include <fsound_ext.h>

#include "platform/sound/mp3_stream.h"
#include "platform/sound/sound_seam.h"

#include <SDL.h>
#include <dlfcn.h>
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
const int DeviceBufferFrames = 1024;
// A clock further than this from the device's estimate is set, not slewed (seconds).
const double ResyncSeconds = 0.1;
const double SlewSeconds = 0.25;
const double MaxSlew = 0.05;

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
    Mp3Stream mp3;
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

struct ClockReading {
    int64_t handed;
    double frame;
    int64_t time;
    double speed;
};

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
    SDL_AudioDeviceID device;
    bool audioSubsystem;
    int bufferFrames;

    OutputClock clock;
    bool clockSet;            // the device clock has had its first callback (callback only)

    int32_t mixBuffer[MixChunkFrames * 2];
    short streamBuffer[MixChunkFrames * 2];

    // Test hooks.
    bool fakeClock;
    int64_t fakeNow;
    bool fakeDevice;
    int fakeBufferFrames;
    int openCount;
};

SoundState sound = {};

bool KnownOutput(int outputType)
{
    return outputType == FSOUND_OUTPUT_NOSOUND || outputType == FSOUND_OUTPUT_WINMM || outputType == FSOUND_OUTPUT_OFFLINE;
}

int64_t Now()
{
    if (sound.fakeClock)
        return sound.fakeNow;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

ClockReading ReadClock()
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
void WriteClock(const ClockReading &reading)
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

double ClockAt(const ClockReading &clock, int64_t now)
{
    return clock.frame + double(now - clock.time) * clock.speed;
}

// The output frame being heard now: on the device, the slewed estimate, never past what was
// handed; on the offline output, what was rendered; on the silent output, the clock itself.
int64_t HeardFrame()
{
    ClockReading clock = ReadClock();
    if (sound.output == FSOUND_OUTPUT_OFFLINE)
        return clock.handed;
    double frame = ClockAt(clock, Now());
    if (sound.output == FSOUND_OUTPUT_WINMM && frame > double(clock.handed))
        frame = double(clock.handed);
    return int64_t(floor(frame));
}

// The output frame where a play, pause or seek made now takes effect.
int64_t EventFrame()
{
    return sound.output == FSOUND_OUTPUT_NOSOUND ? HeardFrame() : ReadClock().handed;
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
}

bool IsRunning(const SoundStream *stream)
{
    return stream->channel >= 0 && !stream->paused;
}

// Mixes `frames` output frames of every running stream into `out`.
void Mix(short *out, int frames)
{
    while (frames > 0) {
        int chunk = frames < MixChunkFrames ? frames : MixChunkFrames;
        memset(sound.mixBuffer, 0, sizeof(int32_t) * 2 * size_t(chunk));
        for (int channel = 0; channel < sound.channelCount; channel++) {
            SoundStream *stream = StreamOnChannel(channel);
            if (!stream || !IsRunning(stream))
                continue;
            Mp3Read(&stream->mp3, sound.streamBuffer, chunk);
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

// One device callback: hands `frames` frames and corrects the clock. Holds the lock.
void DeviceCallbackLocked(short *out, int frames)
{
    Mix(out, frames);
    ClockReading clock = ReadClock();
    int64_t now = Now();
    double current = ClockAt(clock, now);
    clock.handed += frames;
    clock.time = now;
    double estimate = double(clock.handed - 2 * int64_t(sound.bufferFrames));
    double perNanosecond = double(sound.mixRate) * 1e-9;
    if (!sound.clockSet || current - estimate > ResyncSeconds * sound.mixRate
        || estimate - current > ResyncSeconds * sound.mixRate) {
        clock.frame = estimate;
        clock.speed = perNanosecond;
        sound.clockSet = true;
    } else {
        double slew = (estimate - current) / (SlewSeconds * sound.mixRate);
        if (slew > MaxSlew)
            slew = MaxSlew;
        if (slew < -MaxSlew)
            slew = -MaxSlew;
        clock.frame = current;
        clock.speed = perNanosecond * (1.0 + slew);
    }
    WriteClock(clock);
}

void DeviceCallback(void *, Uint8 *bytes, int length)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    DeviceCallbackLocked(reinterpret_cast<short *>(bytes), length / 4);
}

void SilentAlsaErrors(const char *, int, const char *, int, const char *, ...) {}

// ALSA prints its failures to find a card on standard error; the layer reports a missing device
// itself, in one line.
void QuietAlsa()
{
    void *alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_GLOBAL);
    if (!alsa)
        return;
    typedef int (*SetHandler)(void (*)(const char *, int, const char *, int, const char *, ...));
    SetHandler setHandler = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler)
        setHandler(SilentAlsaErrors);
    // Kept loaded: SDL opens the same library and the handler must stay in place.
}

// Opens the default device; false (nothing held) when there is none to open.
bool OpenDevice()
{
    const char *driver = SDL_getenv("SDL_AUDIODRIVER");
    if (driver && (SDL_strcasecmp(driver, "dummy") == 0 || SDL_strcasecmp(driver, "disk") == 0))
        return false;  // asked for no real device: the silent output keeps better time
    QuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec want = {}, have = {};
    want.freq = sound.mixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DeviceBufferFrames;
    want.callback = DeviceCallback;
    sound.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (sound.device == 0) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sound.audioSubsystem = true;
    sound.bufferFrames = have.samples;
    return true;
}

} // namespace

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
    sound.clockSet = false;
    sound.output = sound.outputChosen ? sound.requestedOutput : int(FSOUND_OUTPUT_WINMM);
    if (sound.forcedOutput > 0)
        sound.output = sound.forcedOutput - 1;
    if (sound.output == FSOUND_OUTPUT_WINMM) {
        if (sound.fakeDevice) {
            sound.bufferFrames = sound.fakeBufferFrames;
        } else if (!OpenDevice()) {
            sound.output = FSOUND_OUTPUT_NOSOUND;
        }
    }
    // The device clock stands until its first callback; the silent one runs from now.
    {
        std::lock_guard<std::mutex> hold(sound.lock);
        WriteClock({0, 0.0, Now(), sound.output == FSOUND_OUTPUT_NOSOUND ? double(mixRate) * 1e-9 : 0.0});
    }
    sound.started = true;
    if (sound.device)
        SDL_PauseAudioDevice(sound.device, 0);
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
        FILE *file = fopen(nameOrData, "rb");
        if (!file) {
            streamOpenError = "the file could not be opened";
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
    if (!Mp3Open(&stream->mp3, data, size, sound.mixRate, (mode & FSOUND_MPEGACCURATE) != 0)) {
        streamOpenError = Mp3OpenError();
        free(owned);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(sound.lock);
    stream->inUse = true;
    stream->generation = ++sound.nextGeneration & 0xffffff;
    stream->ownedData = owned;
    stream->channel = -1;
    stream->paused = false;
    stream->segment = {EventFrame(), 0, false};
    stream->previous = stream->segment;
    stream->jumped = false;
    stream->floor = 0;
    sound.openCount++;
    return reinterpret_cast<FSOUND_STREAM *>(uintptr_t(stream->generation) << 8 | uintptr_t(slot + 1));
}

const char *SoundStreamOpenError()
{
    return streamOpenError;
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
    if (!stream)
        return 0;
    int64_t ms = StreamPosition(stream) * 1000 / sound.mixRate;
    return ms > INT_MAX ? INT_MAX : int(ms);
}

signed char FSOUND_Stream_SetTime(FSOUND_STREAM *handle, int ms)
{
    std::lock_guard<std::mutex> hold(sound.lock);
    SoundStream *stream = FindStream(handle);
    if (!stream)
        return 0;
    // Rounded up, so that the position read back is `ms` itself.
    int64_t frame = ms <= 0 ? 0 : (int64_t(ms) * sound.mixRate + 999) / 1000;
    if (sound.output != FSOUND_OUTPUT_NOSOUND)
        Mp3Seek(&stream->mp3, frame);
    StartSegment(stream, frame, IsRunning(stream), true);
    return 1;
}

void FSOUND_Close()
{
    // The device is closed first, without the lock, so that its last callback can finish.
    if (sound.device) {
        SDL_CloseAudioDevice(sound.device);
        sound.device = 0;
    }
    if (sound.audioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sound.audioSubsystem = false;
    }
    std::lock_guard<std::mutex> hold(sound.lock);
    for (SoundStream &stream : sound.streams) {
        if (!stream.inUse)
            continue;
        Mp3Close(&stream.mp3);
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
    Mix(out, frames);
    ClockReading clock = ReadClock();
    clock.handed += frames;
    WriteClock(clock);
    return frames;
}

int ForceSoundOutput(int outputType)
{
    if (outputType != -1 && !KnownOutput(outputType))
        return 0;
    sound.forcedOutput = outputType + 1;  // stored one up, so that the zeroed state means none
    return 1;
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
    if (!sound.started || sound.output != FSOUND_OUTPUT_WINMM || sound.device)
        return false;
    DeviceCallbackLocked(out, sound.bufferFrames);
    return true;
}

int SoundSeam_OpenCount()
{
    return sound.openCount;
}
