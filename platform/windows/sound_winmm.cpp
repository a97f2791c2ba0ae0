// The sound layer's audio device on Windows: the waveOut API of the Windows multimedia library.
//
// The Windows platform's folder (platform/windows) holds what only the Windows programs build:
// this device and the MP3 decoder on Windows' own codec (decoder_acm.cpp), both behind
// sound_core.h, and the programs' resources (kelvo.rc.in, kelvo.exe.manifest). The Win32, WGL
// and GL are Windows' own. Only this folder includes the Windows multimedia headers; of the rest
// of platform/ it includes only the shared sound part and the data helpers.
//
// A thread of the layer's own keeps BufferCount buffers queued, refilling each as the device
// returns it: 186 ms of sound at 44.1 kHz, so that the feeder may miss its turn for that long on
// a busy machine before the device runs dry; it runs above the program's other threads for the
// same reason. The clock is the device's own count of samples played (waveOutGetPosition), so a
// position is never ahead of what is audible, whatever is queued.

#include "platform/sound/sound_core.h"
#include "platform/sound/sound_seam.h"

#include <windows.h>
#include <mmsystem.h>

#include <stdio.h>
#include <string.h>

namespace {

const int BufferCount = 8;
const int BufferFrames = 1024;

struct WaveDevice {
    HWAVEOUT wave;
    HANDLE wakeUp;                // set by the device when a buffer comes back
    HANDLE thread;
    volatile LONG stopping;
    WAVEHDR headers[BufferCount];
    bool queued[BufferCount];
    short samples[BufferCount][BufferFrames * 2];
    int nextBuffer;               // the one the device returns next
    // waveOutGetPosition's count is 32 bits: its last value and the turns it has made, kept on
    // the caller's thread.
    DWORD lastCount;
    int64_t turns;
    bool bytes;                   // the count is of bytes, not samples
    volatile LONG ranDry;         // times the feeder found every queued buffer played
    bool started;                 // every buffer has been queued once
};

WaveDevice device;

// Fills and queues every buffer the device has finished with, in the order it plays them.
void QueueFreeBuffers()
{
    bool allPlayed = device.started;
    for (int i = 0; i < BufferCount; i++)
        allPlayed = allPlayed && device.queued[i] && (device.headers[i].dwFlags & WHDR_DONE);
    if (allPlayed)
        InterlockedIncrement(&device.ranDry);
    device.started = true;
    for (int n = 0; n < BufferCount; n++) {
        int i = device.nextBuffer;
        WAVEHDR &header = device.headers[i];
        if (device.queued[i] && !(header.dwFlags & WHDR_DONE))
            return;
        {
            std::lock_guard<std::mutex> hold(SoundLock());
            SoundDeviceFillLocked(device.samples[i], BufferFrames);
        }
        header.dwFlags &= ~DWORD(WHDR_DONE);
        device.queued[i] = waveOutWrite(device.wave, &header, sizeof header) == MMSYSERR_NOERROR;
        device.nextBuffer = (i + 1) % BufferCount;
    }
}

DWORD WINAPI FeedDevice(void *)
{
    while (!InterlockedCompareExchange(&device.stopping, 0, 0)) {
        QueueFreeBuffers();
        WaitForSingleObject(device.wakeUp, 50);
    }
    return 0;
}

void ReportNoDevice(MMRESULT result)
{
    char text[MAXERRORLENGTH] = "";
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR)
        snprintf(text, sizeof text, "waveOut error %u", unsigned(result));
    fprintf(stderr, "sound: no audio device (%s); the music is silent\n", text);
}

} // namespace

bool SoundDeviceOpen(int mixRate, int *bufferFrames)
{
    memset(&device, 0, sizeof device);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(mixRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
    if (waveOutGetNumDevs() == 0) {
        fprintf(stderr, "sound: no audio device (Windows reports none); the music is silent\n");
        return false;
    }
    device.wakeUp = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!device.wakeUp) {
        fprintf(stderr, "sound: no audio device (no event for it: error %lu); the music is silent\n", GetLastError());
        return false;
    }
    MMRESULT result = waveOutOpen(&device.wave, WAVE_MAPPER, &format, DWORD_PTR(device.wakeUp), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        ReportNoDevice(result);
        CloseHandle(device.wakeUp);
        device.wakeUp = nullptr;
        return false;
    }
    // Nothing plays until SoundDeviceStart queues the first buffers.
    waveOutPause(device.wave);
    for (int i = 0; i < BufferCount; i++) {
        WAVEHDR &header = device.headers[i];
        header.lpData = reinterpret_cast<LPSTR>(device.samples[i]);
        header.dwBufferLength = sizeof device.samples[i];
        if ((result = waveOutPrepareHeader(device.wave, &header, sizeof header)) != MMSYSERR_NOERROR) {
            ReportNoDevice(result);
            SoundDeviceClose();
            return false;
        }
    }
    *bufferFrames = BufferFrames;
    return true;
}

void SoundDeviceStart()
{
    QueueFreeBuffers();
    waveOutRestart(device.wave);
    device.thread = CreateThread(nullptr, 0, FeedDevice, nullptr, 0, nullptr);
    if (device.thread)
        SetThreadPriority(device.thread, THREAD_PRIORITY_HIGHEST);
    if (!device.thread)
        fprintf(stderr, "sound: the audio device's feeder did not start (error %lu); the music stops\n", GetLastError());
}

void SoundDeviceClose()
{
    if (device.thread) {
        InterlockedExchange(&device.stopping, 1);
        SetEvent(device.wakeUp);
        WaitForSingleObject(device.thread, INFINITE);
        CloseHandle(device.thread);
    }
    if (device.wave) {
        waveOutReset(device.wave);
        for (WAVEHDR &header : device.headers) {
            if (header.dwFlags & WHDR_PREPARED)
                waveOutUnprepareHeader(device.wave, &header, sizeof header);
        }
        waveOutClose(device.wave);
    }
    if (device.wakeUp)
        CloseHandle(device.wakeUp);
    memset(&device, 0, sizeof device);
}

void SoundDeviceFillLocked(short *out, int frames)
{
    SoundMixLocked(out, frames);
    ClockReading clock = SoundReadClock();
    clock.handed += frames;
    SoundWriteClock(clock);
}

void SoundDeviceRefreshClock()
{
    // The device's fills move the clock.
}

double SoundDeviceHeardFrame(const ClockReading &, int64_t)
{
    return double(SoundSeam_DevicePlayedFrames());
}

int64_t SoundSeam_DevicePlayedFrames()
{
    if (!device.wave)
        return -1;
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device.wave, &time, sizeof time) == MMSYSERR_NOERROR
        && (time.wType == TIME_SAMPLES || time.wType == TIME_BYTES)) {
        DWORD count = time.wType == TIME_SAMPLES ? time.u.sample : time.u.cb;
        if (count < device.lastCount)
            device.turns++;
        device.lastCount = count;
        device.bytes = time.wType == TIME_BYTES;
    }
    int64_t count = device.turns * 4294967296LL + device.lastCount;
    return device.bytes ? count / 4 : count;
}

int64_t SoundSeam_DeviceRanDry()
{
    return device.wave ? InterlockedCompareExchange(&device.ranDry, 0, 0) : -1;
}
