// The sound layer's audio device on SDL2, and its clock.
//
// SDL gives no playback position, so the clock is estimated: at each callback the frame being
// heard is the frames handed so far less two buffers (the one just filled and the one playing).
// Between callbacks the clock runs on the monotonic clock, and at each callback its speed is
// nudged (at most 5 %) to close the gap to the estimate over a quarter of a second, so that
// callback jitter never shows as a jump. The shared part never lets it pass the frames handed.
//
// A device that goes away (its server or its card gone) is noticed by a watcher thread, which
// looks every 100 ms whether SDL still has it; the shared part then runs the clock in real time,
// and the watcher tries a new device every 2 s, off the caller's thread, until one opens. A
// device that stays but stops asking for audio (a suspended sink) is not gone: the clock follows
// what is heard.

#include "platform/sound/sound_core.h"
#include "platform/sound/sound_seam.h"

#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace {

const int DeviceBufferFrames = 1024;
// A clock further than this from the device's estimate is set, not slewed (seconds).
const double ResyncSeconds = 0.1;
const double SlewSeconds = 0.25;
const double MaxSlew = 0.05;

const auto WatchPeriod = std::chrono::milliseconds(100);
const auto RetryPeriod = std::chrono::seconds(2);

SDL_AudioDeviceID device;
int bufferFrames;
int deviceRate;
bool audioUp;                  // SDL's audio subsystem is initialised by this part
std::atomic<bool> deviceGone;  // the watcher found the device gone; fills are silence meanwhile

// The watcher's thread, and what stops it. A pointer, so that nothing runs at exit.
std::thread *watcher;
std::mutex watchLock;
std::condition_variable watchWake;
bool watchStop;

// One device callback: hands `frames` frames and corrects the clock. Holds the lock.
void DeviceCallbackLocked(short *out, int frames)
{
    SoundMixLocked(out, frames);
    ClockReading clock = SoundReadClock();
    int64_t now = SoundNow();
    double current = SoundClockAt(clock, now);
    clock.handed += frames;
    clock.time = now;
    double estimate = double(clock.handed - 2 * int64_t(frames));
    int rate = SoundMixRate();
    double perNanosecond = double(rate) * 1e-9;
    // The first fill since FSOUND_Init, or since the device came back, sets the clock.
    if (clock.speed == 0.0 || current - estimate > ResyncSeconds * rate || estimate - current > ResyncSeconds * rate) {
        clock.frame = estimate;
        clock.speed = perNanosecond;
    } else {
        double slew = (estimate - current) / (SlewSeconds * rate);
        if (slew > MaxSlew)
            slew = MaxSlew;
        if (slew < -MaxSlew)
            slew = -MaxSlew;
        clock.frame = current;
        clock.speed = perNanosecond * (1.0 + slew);
    }
    SoundWriteClock(clock);
}

void DeviceCallback(void *, Uint8 *bytes, int length)
{
    std::lock_guard<std::mutex> hold(SoundLock());
    if (deviceGone) {
        memset(bytes, 0, size_t(length)); // the clock runs in real time; nothing is handed
        return;
    }
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

// Opens the default device at deviceRate, 16-bit stereo, paused; 0 when there is none.
SDL_AudioDeviceID OpenPausedDevice(int *frames)
{
    SDL_AudioSpec want = {}, have = {};
    want.freq = deviceRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DeviceBufferFrames;
    want.callback = DeviceCallback;
    const SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    *frames = have.samples;
    return opened;
}

// Starts SDL's audio anew (a server that went away leaves its old connection dead) and opens
// the default device, paused. False, with SDL's words in SDL_GetError, when none opens.
bool OpenDefaultDevice()
{
    if (audioUp) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioUp = false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    audioUp = true;
    int frames = 0;
    device = OpenPausedDevice(&frames);
    // The buffer of the first device, or the clock's account of what is queued would change.
    if (device != 0 && frames != bufferFrames) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
    return device != 0;
}

// While the device is there, looks every 100 ms whether it still is; once it is gone, tries a
// new one every 2 s until one opens or the device is closed.
void WatchDevice()
{
    std::unique_lock<std::mutex> hold(watchLock);
    while (!watchStop) {
        watchWake.wait_for(hold, deviceGone ? std::chrono::milliseconds(RetryPeriod) : WatchPeriod);
        if (watchStop)
            break;
        if (!deviceGone) {
            if (SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_STOPPED)
                continue;
            const char *driver = SDL_GetCurrentAudioDriver();
            char why[96];
            snprintf(why, sizeof why, "the %s device stopped", driver ? driver : "audio");
            deviceGone = true;
            SoundOutputLost(why);
            SDL_CloseAudioDevice(device);
            device = 0;
            continue;
        }
        if (!OpenDefaultDevice())
            continue;
        SoundOutputBack();
        deviceGone = false;
        SDL_PauseAudioDevice(device, 0);
    }
}

} // namespace

bool SoundDeviceOpen(int mixRate, int *framesPerFill)
{
    const char *driver = SDL_getenv("SDL_AUDIODRIVER");
    if (driver && (SDL_strcasecmp(driver, "dummy") == 0 || SDL_strcasecmp(driver, "disk") == 0))
        return false;  // asked for no real device: the silent output keeps better time
    QuietAlsa();
    deviceRate = mixRate;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", SDL_GetError());
        return false;
    }
    audioUp = true;
    device = OpenPausedDevice(&bufferFrames);
    if (device == 0) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioUp = false;
        return false;
    }
    *framesPerFill = bufferFrames;
    deviceGone = false;
    watchStop = false;
    watcher = new std::thread(WatchDevice);
    return true;
}

void SoundDeviceStart()
{
    SDL_PauseAudioDevice(device, 0);
}

void SoundDeviceClose()
{
    if (watcher) {
        {
            std::lock_guard<std::mutex> hold(watchLock);
            watchStop = true;
        }
        watchWake.notify_one();
        watcher->join();
        delete watcher;
        watcher = nullptr;
    }
    if (device != 0)
        SDL_CloseAudioDevice(device);
    device = 0;
    if (audioUp)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioUp = false;
    deviceGone = false;
}

void SoundDeviceFillLocked(short *out, int frames)
{
    DeviceCallbackLocked(out, frames);
}

void SoundDeviceRefreshClock()
{
    // The device's fills move the clock.
}

double SoundDeviceHeardFrame(const ClockReading &clock, int64_t now)
{
    return SoundClockAt(clock, now);
}


int64_t SoundSeam_DevicePlayedFrames()
{
    return -1;  // SDL keeps no count of frames played
}

int64_t SoundSeam_DeviceRanDry()
{
    return -1;  // SDL keeps its own queue, which it does not report
}
