// The sound layer's audio device on SDL2, and its clock.
//
// SDL gives no playback position, so the clock is estimated: at each callback the frame being
// heard is the frames handed so far less two buffers (the one just filled and the one playing).
// Between callbacks the clock runs on the monotonic clock, and at each callback its speed is
// nudged (at most 5 %) to close the gap to the estimate over a quarter of a second, so that
// callback jitter never shows as a jump. The shared part never lets it pass the frames handed.

#include "platform/sound/sound_core.h"

#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>

namespace {

const int DeviceBufferFrames = 1024;
// A clock further than this from the device's estimate is set, not slewed (seconds).
const double ResyncSeconds = 0.1;
const double SlewSeconds = 0.25;
const double MaxSlew = 0.05;

SDL_AudioDeviceID device;
int bufferFrames;

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
    // The first fill since FSOUND_Init (nothing handed before it) sets the clock.
    if (clock.handed == frames || current - estimate > ResyncSeconds * rate || estimate - current > ResyncSeconds * rate) {
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

} // namespace

bool SoundDeviceOpen(int mixRate, int *framesPerFill)
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
    want.freq = mixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DeviceBufferFrames;
    want.callback = DeviceCallback;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    bufferFrames = have.samples;
    *framesPerFill = bufferFrames;
    return true;
}

void SoundDeviceStart()
{
    SDL_PauseAudioDevice(device, 0);
}

void SoundDeviceClose()
{
    SDL_CloseAudioDevice(device);
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SoundDeviceFillLocked(short *out, int frames)
{
    DeviceCallbackLocked(out, frames);
}

double SoundDeviceHeardFrame(const ClockReading &clock, int64_t now)
{
    return SoundClockAt(clock, now);
}

