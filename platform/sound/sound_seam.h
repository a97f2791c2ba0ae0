// Test hooks into the sound layer. Not for the demo: tests use these to drive the device
// output's clock without a sound card and to count what the layer did.
#ifndef KELVO_PLATFORM_SOUND_SEAM_H
#define KELVO_PLATFORM_SOUND_SEAM_H

#include <stdint.h>

// Replaces the monotonic clock with `nanoseconds` until SoundSeam_UseRealClock.
void SoundSeam_SetClock(int64_t nanoseconds);
void SoundSeam_UseRealClock();

// While set, FSOUND_Init on the default device opens a stand-in with `bufferFrames` frames a
// callback and no thread; SoundSeam_RunCallback runs one callback at the current clock.
void SoundSeam_FakeDevice(bool enabled, int bufferFrames);
// Fills `out` (bufferFrames stereo frames) as the device callback would. False with no stand-in.
bool SoundSeam_RunCallback(short *out);

// The stand-in goes away (its callbacks stop counting: the clock runs in real time, as when a
// real device is lost), and comes back, as the device's watcher reports a real one.
void SoundSeam_LoseDevice(const char *why);
void SoundSeam_DeviceBack();

// Streams opened successfully since the process started.
int SoundSeam_OpenCount();

// The frames the open audio device says it has played, by its own count; -1 when none is open.
// Only the Windows device (waveOut) keeps such a count.
int64_t SoundSeam_DevicePlayedFrames();

// Times the open audio device has played everything queued to it before it was fed again (a
// drop-out of the layer's own making) since it opened; -1 where the device does not tell (all
// but waveOut).
int64_t SoundSeam_DeviceRanDry();

#endif
