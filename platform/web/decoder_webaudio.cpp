// The sound layer's MP3 decoder in a web page: the browser's own decoder (decodeAudioData, at the
// output rate), as the Windows build uses Windows' own codec. It removes the encoder delay and
// padding as libmpg123 does (data/music.mp3: 6,835,500 frames from both). The whole track is
// decoded at open (the page may have begun while its start question was up), and the opening
// call waits for it (ASYNCIFY).
//
// The browser plays the decoded audio itself: each timeline change starts an
// AudioBufferSourceNode at its context time (sound_webaudio.cpp). Reads, for the offline output,
// convert the decoded samples to 16 bits.

#include "platform/sound/sound_core.h"

#include <emscripten/emscripten.h>

#include <stdio.h>
#include <stdlib.h>

extern "C" void kelvo_sound_setup(void);

// Decodes data[0..size) at `rate`: the decoder's id, its frames in *frames; 0 when the browser
// could not (its words kept for kelvo_sound_error).
EM_ASYNC_JS(int, kelvo_sound_decode, (const unsigned char *data, int size, int rate, double *frames), {
    const sound = Module.kelvoSound;
    const bytes = HEAPU8.slice(data, data + size);
    let buffer;
    try {
        buffer = await Module.kelvoPage.decodeAudio(bytes, rate);
    } catch (e) {
        sound.error = "the browser could not decode it (" + (e && e.name ? e.name + ": " + e.message : String(e)) + ")";
        return 0;
    }
    let id = sound.decoders.indexOf(null, 1);
    if (id < 0)
        id = sound.decoders.length;
    sound.decoders[id] = {buffer: buffer, source: null, timeline: {frame: 0, position: 0, running: false}, read: 0};
    HEAPF64[frames >> 3] = buffer.length;
    sound.error = "";
    return id;
});

EM_JS(void, kelvo_sound_error, (char *out, int size), { stringToUTF8(Module.kelvoSound.error, out, size); });

EM_JS(int, kelvo_sound_available, (void), {
    return typeof OfflineAudioContext !== "undefined" || typeof webkitOfflineAudioContext !== "undefined" ? 1 : 0;
});

// `frames` frames from `frame` on as 16-bit stereo into out; silence past the end.
EM_JS(void, kelvo_sound_read, (int id, double frame, short *out, int frames), {
    const buffer = Module.kelvoSound.decoders[id].buffer;
    const left = buffer.getChannelData(0);
    const right = buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : left;
    const to = out >> 1;
    for (let i = 0; i < frames; i++) {
        const at = frame + i;
        let l = 0, r = 0;
        if (at < buffer.length) {
            l = Math.round(left[at] * 32768);
            r = Math.round(right[at] * 32768);
        }
        HEAP16[to + 2 * i] = l > 32767 ? 32767 : l < -32768 ? -32768 : l;
        HEAP16[to + 2 * i + 1] = r > 32767 ? 32767 : r < -32768 ? -32768 : r;
    }
});

EM_JS(void, kelvo_sound_timeline, (int id, double frame, double position, int running), {
    const sound = Module.kelvoSound;
    const decoder = sound.decoders[id];
    decoder.timeline = {frame: frame, position: position, running: !!running};
    sound.schedule(id);
});

EM_JS(void, kelvo_sound_free, (int id), {
    const sound = Module.kelvoSound;
    const decoder = sound.decoders[id];
    if (decoder && decoder.source) {
        try { decoder.source.stop(); } catch (e) {}
    }
    sound.decoders[id] = null;
});

struct SoundDecoder {
    int id;
    int64_t frames;   // the decoded track's length
    int64_t next;     // the next frame a read gives
};

namespace {
char openError[200];
}

SoundDecoder *SoundDecoderOpen(const void *data, size_t size, long outputRate, bool)
{
    kelvo_sound_setup();
    openError[0] = '\0';
    SoundDecoder *decoder = static_cast<SoundDecoder *>(calloc(1, sizeof(SoundDecoder)));
    if (!decoder) {
        snprintf(openError, sizeof openError, "out of memory");
        return nullptr;
    }
    double frames = 0;
    decoder->id = kelvo_sound_decode(static_cast<const unsigned char *>(data), int(size), int(outputRate), &frames);
    if (!decoder->id) {
        kelvo_sound_error(openError, sizeof openError);
        free(decoder);
        return nullptr;
    }
    decoder->frames = int64_t(frames);
    return decoder;
}

const char *SoundDecoderOpenError()
{
    return openError;
}

void SoundDecoderRead(SoundDecoder *decoder, short *out, int frames)
{
    kelvo_sound_read(decoder->id, double(decoder->next), out, frames);
    decoder->next += frames;
}

void SoundDecoderSeek(SoundDecoder *decoder, int64_t frame)
{
    decoder->next = frame < 0 ? 0 : frame;
}

void SoundDecoderTimeline(SoundDecoder *decoder, int64_t frame, int64_t position, bool running)
{
    if (decoder)
        kelvo_sound_timeline(decoder->id, double(frame), double(position), running ? 1 : 0);
}

int64_t SoundDecoderDamage(const SoundDecoder *, int, const char **words, bool *playsOn)
{
    // The browser decodes the whole track or nothing: no track stops early here.
    *words = "";
    *playsOn = false;
    return -1;
}

void SoundDecoderClose(SoundDecoder *decoder)
{
    if (!decoder)
        return;
    kelvo_sound_free(decoder->id);
    free(decoder);
}

bool SoundDecoderAvailable(const char **why)
{
    *why = "this browser has no Web Audio";
    return kelvo_sound_available() != 0;
}
