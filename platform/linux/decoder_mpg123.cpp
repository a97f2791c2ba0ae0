// The sound layer's MP3 decoder on Linux: mp3_stream (libmpg123, libsyn123) behind the layer's
// decoder calls.

#include "platform/linux/mp3_stream.h"
#include "platform/sound/sound_core.h"

#include <stdlib.h>

struct SoundDecoder {
    Mp3Stream mp3;  // on the heap: the decoder keeps the record's address
};

namespace {
bool outOfMemory;  // the last open failed before the decoder was reached
}

SoundDecoder *SoundDecoderOpen(const void *data, size_t size, long outputRate, bool exact)
{
    SoundDecoder *decoder = static_cast<SoundDecoder *>(calloc(1, sizeof(SoundDecoder)));
    outOfMemory = !decoder;
    if (!decoder)
        return nullptr;
    if (!Mp3Open(&decoder->mp3, data, size, outputRate, exact)) {
        free(decoder);
        return nullptr;
    }
    return decoder;
}

const char *SoundDecoderOpenError()
{
    return outOfMemory ? "out of memory" : Mp3OpenError();
}

void SoundDecoderRead(SoundDecoder *decoder, short *out, int frames)
{
    Mp3Read(&decoder->mp3, out, frames);
}

void SoundDecoderSeek(SoundDecoder *decoder, int64_t frame)
{
    Mp3Seek(&decoder->mp3, frame);
}

int64_t SoundDecoderDamage(const SoundDecoder *decoder, int index, const char **words, bool *playsOn)
{
    *words = "";
    *playsOn = false;
    if (index < 0 || index >= decoder->mp3.damageCount)
        return -1;
    const Mp3Damage &damage = decoder->mp3.damage[index];
    *words = damage.words;
    *playsOn = damage.playsOn;
    return damage.frame;
}

void SoundDecoderClose(SoundDecoder *decoder)
{
    if (!decoder)
        return;
    Mp3Close(&decoder->mp3);
    free(decoder);
}

bool SoundDecoderAvailable(const char **why)
{
    *why = "";
    return true;  // libmpg123 is linked in
}

void SoundDecoderTimeline(SoundDecoder *, int64_t, int64_t, bool)
{
    // The shared part mixes this decoder's audio into the device's fills: nothing to start here.
}
