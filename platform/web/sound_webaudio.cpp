// The sound layer's audio device in a web page: Web Audio. The browser plays each stream's
// decoded audio itself (decoder_webaudio.cpp starts an AudioBufferSourceNode at the context time of
// each timeline change), so no fills reach the shared part: the clock is read from the context
// whenever the shared part takes a position or an event's frame (SoundDeviceRefreshClock).
//
// Output frames are the context's sample frames from FSOUND_Init on. The frames handed are those
// the context has rendered (its currentTime); the frame heard is what the output plays now by the
// browser's own account (getOutputTimestamp: the audio clock less the output latency), never
// ahead of the frames handed.
//
// Before the page has had a click or a key the browser keeps the context suspended: the clock
// then runs in real time, silent, as on a desktop without a device; once the context runs, every
// playing stream is started where its position has reached. One line says the audio is held back
// only when it is: at once where no gesture has reached the page yet, else (a browser still
// starting its output after the click) only once a grace time has passed with it not running; a
// second line says when it plays, only after the first. A page without Web Audio runs on the
// silent output.

#include "platform/sound/sound_core.h"
#include "platform/sound/sound_seam.h"

#include <emscripten/emscripten.h>

#include <stdio.h>

// The layer's state in the page: the decoders' audio and sources, and the context's clock. Made
// once; the page's AudioContext is shared by every module the page makes (play again).
EM_JS(void, kelvo_sound_setup, (void), {
    if (Module.kelvoSound)
        return;
    const sound = {
        decoders: [null],     // by id: {buffer, source, timeline: {frame, position, running}}
        error: "",
        context: null,
        rate: 44100,
        mode: "closed",       // "waiting" (suspended: real-time clock), "running", "closed"
        offset: 0,            // output frame = context frame + offset, while running
        realFrame: 0,         // while waiting: output frame realFrame at performance.now() realTime
        realTime: 0,
        heard: 0,
        graceUntil: 0,        // while waiting after a gesture: performance.now() when it is said
    };
    sound.contextFrame = function() { return Math.round(sound.context.currentTime * sound.rate); };
    sound.realTimeFrame = function() {
        return sound.realFrame + Math.floor((performance.now() - sound.realTime) * sound.rate / 1000);
    };
    // Starts (or stops) decoder `id`'s audio as its timeline says, while the context runs.
    sound.schedule = function(id) {
        const decoder = sound.decoders[id];
        if (!decoder || sound.mode !== "running")
            return;
        const timeline = decoder.timeline;
        let start = timeline.frame - sound.offset;
        let position = timeline.position;
        const now = sound.contextFrame();
        if (start < now) {
            // A change whose frame has passed: the audio starts now, where the timeline has got to.
            if (timeline.running)
                position += now - start;
            start = now;
        }
        if (decoder.source) {
            try { decoder.source.stop(start / sound.rate); } catch (e) {}
            decoder.source = null;
        }
        if (!timeline.running || !decoder.buffer || position >= decoder.buffer.length)
            return;
        const source = sound.context.createBufferSource();
        source.buffer = decoder.buffer;
        source.connect(sound.context.destination);
        source.start(start / sound.rate, position / sound.rate);
        decoder.source = source;
    };
    sound.stopAll = function() {
        for (const decoder of sound.decoders) {
            if (decoder && decoder.source) {
                try { decoder.source.stop(); } catch (e) {}
                decoder.source = null;
            }
        }
    };
    Module.kelvoSound = sound;
});

// Opens the page's AudioContext at `rate`; false (with why in `why`) when the page has none.
EM_JS(int, kelvo_sound_open, (int rate, char *why, int size), {
    const sound = Module.kelvoSound;
    let context = null;
    let reason = "this browser has no Web Audio";
    try {
        context = Module.kelvoPage.audioContext(rate);
    } catch (e) {
        reason = String(e);
    }
    if (!context) {
        stringToUTF8(reason, why, size);
        return 0;
    }
    sound.context = context;
    sound.rate = rate;
    sound.mode = "closed";
    return 1;
});

// Starts the clock: running with the context when it runs (or starts within a moment), waiting in
// real time otherwise. 1 when running; 0 waiting with the audio held back until a gesture; 2
// waiting for a context the page has had its gesture for, which is still starting.
EM_ASYNC_JS(int, kelvo_sound_start, (void), {
    const sound = Module.kelvoSound;
    const context = sound.context;
    if (context.state !== "running") {
        // A page that has had its click may still be starting the context: a moment is given.
        let resumed = context.resume().catch(() => {});
        await Promise.race([resumed, new Promise((done) => setTimeout(done, 250))]);
    }
    sound.heard = 0;
    if (context.state === "running") {
        sound.mode = "running";
        sound.offset = -sound.contextFrame();
        return 1;
    }
    sound.mode = "waiting";
    sound.realFrame = 0;
    sound.realTime = performance.now();
    const held = !Module.kelvoPage.audioHeldBack || Module.kelvoPage.audioHeldBack();
    sound.graceUntil = held ? 0 : performance.now() + 3000;
    return held ? 0 : 2;
});

// The clock now: out[0] frames handed, out[1] the frame heard. Returns 1 when the context has just
// begun to run (after the page's first click or key), with out[2] the position the first playing
// stream plays on from (-1: none plays); 2 once, when a context started after a gesture is still
// not running at the end of its grace time.
EM_JS(int, kelvo_sound_refresh, (double *out), {
    const sound = Module.kelvoSound;
    let began = 0;
    out >>= 3;
    HEAPF64[out + 2] = -1;
    if (sound.mode === "waiting" && sound.context.state === "running") {
        // The waiting clock"s frame now becomes the context"s; each playing stream starts there.
        const frame = sound.realTimeFrame();
        sound.offset = frame - sound.contextFrame();
        sound.mode = "running";
        began = 1;
        for (let id = 1; id < sound.decoders.length; id++) {
            const decoder = sound.decoders[id];
            if (!decoder)
                continue;
            const timeline = decoder.timeline;
            if (timeline.running && frame > timeline.frame) {
                timeline.position += frame - timeline.frame;
                timeline.frame = frame;
            }
            if (timeline.running && HEAPF64[out + 2] < 0)
                HEAPF64[out + 2] = timeline.position;
            sound.schedule(id);
        }
    }
    if (sound.mode === "waiting" && sound.graceUntil && performance.now() >= sound.graceUntil) {
        sound.graceUntil = 0;
        began = 2;
    }
    let handed, heard;
    if (sound.mode === "running") {
        handed = sound.contextFrame() + sound.offset;
        const stamp = sound.context.getOutputTimestamp ? sound.context.getOutputTimestamp() : null;
        let audible;
        if (stamp && stamp.performanceTime > 0)
            audible = (stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000) * sound.rate;
        else if (stamp)
            audible = stamp.contextTime * sound.rate;
        else
            audible = (sound.context.currentTime - (sound.context.outputLatency || 0) -
                       (sound.context.baseLatency || 0)) * sound.rate;
        heard = Math.min(Math.floor(audible) + sound.offset, handed);
    } else {
        handed = sound.realTimeFrame();
        heard = handed;
    }
    if (heard < sound.heard)
        heard = sound.heard;
    sound.heard = heard;
    HEAPF64[out] = handed;
    HEAPF64[out + 1] = heard;
    return began;
});

EM_JS(void, kelvo_sound_close, (void), {
    const sound = Module.kelvoSound;
    sound.stopAll();
    sound.mode = "closed";
});

namespace {

bool deviceOpen;
bool saidHeldBack;  // the line about audio held back was said, and the audio has not begun since

void SayTime(const char *before, double frame)
{
    const long long ms = (long long)(frame * 1000 / SoundMixRate());
    fprintf(stderr, "%s%lld:%02lld\n", before, ms / 60000, ms / 1000 % 60);
}

void SayHeldBack()
{
    fprintf(stderr, "sound: the browser plays the page's sound only after a click or a key on it; the music is "
                    "silent until then, its clock in real time\n");
    saidHeldBack = true;
}

} // namespace

bool SoundDeviceOpen(int mixRate, int *bufferFrames)
{
    kelvo_sound_setup();
    char why[160] = "";
    if (!kelvo_sound_open(mixRate, why, sizeof why)) {
        fprintf(stderr, "sound: no audio device (%s); the music is silent\n", why);
        return false;
    }
    deviceOpen = true;
    *bufferFrames = 128;  // Web Audio's render quantum
    return true;
}

void SoundDeviceStart()
{
    saidHeldBack = false;
    if (kelvo_sound_start() == 0)
        SayHeldBack();
}

void SoundDeviceClose()
{
    if (deviceOpen)
        kelvo_sound_close();
    deviceOpen = false;
}

void SoundDeviceRefreshClock()
{
    double now[3];
    const int change = kelvo_sound_refresh(now);
    ClockReading clock = SoundReadClock();
    clock.handed = int64_t(now[0]);
    clock.frame = now[1];
    clock.time = SoundNow();
    clock.speed = 0.0;
    SoundWriteClock(clock);
    if (change == 2) {
        SayHeldBack();
    } else if (change == 1 && saidHeldBack) {
        saidHeldBack = false;
        if (now[2] >= 0)
            SayTime("sound: the page may play sound now; the music plays on from ", now[2]);
        else
            fprintf(stderr, "sound: the page may play sound now\n");
    }
}

double SoundDeviceHeardFrame(const ClockReading &clock, int64_t)
{
    return clock.frame;  // as SoundDeviceRefreshClock read it from the browser
}

void SoundDeviceFillLocked(short *out, int frames)
{
    // Not called by the web device (the browser plays the decoded audio); kept to the contract.
    SoundMixLocked(out, frames);
    ClockReading clock = SoundReadClock();
    clock.handed += frames;
    SoundWriteClock(clock);
}

int64_t SoundSeam_DevicePlayedFrames()
{
    if (!deviceOpen)
        return -1;
    double now[3];
    kelvo_sound_refresh(now);
    return int64_t(now[1]);
}

int64_t SoundSeam_DeviceRanDry()
{
    return -1;  // the browser keeps its own queue, which it does not report
}
