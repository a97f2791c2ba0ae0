// The sound layer's MP3 decoder on Windows: Windows' own MP3 codec through the Audio Compression
// Manager, fed one frame at a time from the frame index (mp3_frames), so that the music can be
// cut exactly and started at any sample. Other rates are brought to the output rate by linear
// interpolation; mono is played on both channels.
//
// Files joined end to end (FindMp3Parts) play one after the other, each part with a codec opened
// for its own version, rate and channel count and cut by its own delay and padding; positions
// count over the parts, each part's output length being its music at the output rate, rounded
// down, as the Linux decoder counts it. A part with no MP3 in it (a layer II file, say) is passed
// over and named as damage at its start; the parts after it play.
//
// Seeks restart the codec a few frames before the target (layer III frames borrow bits from the
// frames before them) and drop what it decodes ahead of the target. The codec is opened at the
// first read or seek, so that a stream on the silent output needs none.

#include "platform/sound/mp3_frames.h"
#include "platform/sound/sound_core.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <new>
#include <vector>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Frames fed ahead of a seek target: the bit reservoir reaches back at most 511 bytes, and the
// synthesis filter needs one frame to settle.
const int PrerollFrames = 4;
// Room for the codec's output of one fed frame (it may hand back what it held from the last).
const int MaxDecodedSamples = 1152 * 4;
const size_t SourceBytes = 8192;

char openError[160];

} // namespace

// One file of those joined end to end: its own frames, and its place in the output.
struct AcmPart {
    const unsigned char *data;     // the part's first byte; frame offsets count from here
    Mp3Frames frames;
    int64_t outputStart;           // output frames before the part
    int64_t outputLength;          // its output frames
};

// A part passed over: where in the output it would have begun, and why.
struct AcmDamage {
    int64_t frame;
    char words[96];
    bool playsOn;                  // a later part plays after it
};

struct SoundDecoder {
    std::vector<AcmPart> parts;    // the parts that play; never empty
    std::vector<AcmDamage> damage; // the parts passed over, in order
    size_t part;                   // the one being decoded
    const unsigned char *data;     // parts[part].data
    const Mp3Frames *frames;       // &parts[part].frames
    int64_t partDone;              // output frames of the part handed out
    long outputRate;

    HACMSTREAM codec;           // null until first needed, or when it could not be opened
    bool codecFailed;           // the codec would not open: what follows is silence
    bool codecStarted;          // the next conversion is the first since the codec was opened
    ACMSTREAMHEADER header;     // prepared over `source` and `decoded`
    unsigned char source[SourceBytes];
    size_t sourceCount;         // bytes in `source` not yet taken by the codec
    short decoded[MaxDecodedSamples * 2];

    size_t nextFrame;           // the next frame to feed
    bool flushed;               // every frame fed and the codec emptied
    int64_t drop;               // decoded samples (file rate) still to drop before the target
    int64_t left;               // samples of music (file rate) still to come; padding cut off

    // Decoded music at the file rate, stereo, not yet resampled or handed out.
    short *music;
    int musicStart, musicCount, musicCapacity;
    // Linear interpolation: the output frame's place between the two input frames `before` and
    // the next one in `music`, as a fraction in 1/outputRate units.
    long phase;
    short before[2];
    bool haveBefore;
};

namespace {

void CloseCodec(SoundDecoder *decoder)
{
    if (!decoder->codec)
        return;
    acmStreamUnprepareHeader(decoder->codec, &decoder->header, 0);
    acmStreamClose(decoder->codec, 0);
    decoder->codec = nullptr;
}

// The codec's input and output formats for a file of `frames`' kind.
void CodecFormats(const Mp3Frames &frames, MPEGLAYER3WAVEFORMAT *mp3, WAVEFORMATEX *pcm)
{
    memset(mp3, 0, sizeof *mp3);
    mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3->wfx.nChannels = WORD(frames.channels);
    mp3->wfx.nSamplesPerSec = DWORD(frames.rate);
    mp3->wfx.nAvgBytesPerSec = DWORD(frames.firstBitrate * 1000 / 8);
    mp3->wfx.nBlockAlign = 1;
    mp3->wfx.wBitsPerSample = 0;
    mp3->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3->wID = MPEGLAYER3_ID_MPEG;
    mp3->fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3->nBlockSize = WORD(frames.samplesPerFrame / 8 * 1000L * frames.firstBitrate / frames.rate);
    mp3->nFramesPerBlock = 1;
    mp3->nCodecDelay = 0;
    memset(pcm, 0, sizeof *pcm);
    pcm->wFormatTag = WAVE_FORMAT_PCM;
    pcm->nChannels = WORD(frames.channels);
    pcm->nSamplesPerSec = DWORD(frames.rate);
    pcm->wBitsPerSample = 16;
    pcm->nBlockAlign = WORD(2 * frames.channels);
    pcm->nAvgBytesPerSec = pcm->nSamplesPerSec * pcm->nBlockAlign;
}

// Whether a codec is there for `frames`' kind, without opening one.
bool QueryCodec(const Mp3Frames &frames)
{
    MPEGLAYER3WAVEFORMAT mp3;
    WAVEFORMATEX pcm;
    CodecFormats(frames, &mp3, &pcm);
    return acmStreamOpen(nullptr, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) == 0;
}

// Opens the codec for the file's format; false (and the rest is silence) when Windows has none.
bool OpenCodec(SoundDecoder *decoder)
{
    MPEGLAYER3WAVEFORMAT mp3;
    WAVEFORMATEX pcm;
    CodecFormats(*decoder->frames, &mp3, &pcm);
    if (acmStreamOpen(&decoder->codec, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
        decoder->codec = nullptr;
        return false;
    }
    ACMSTREAMHEADER &header = decoder->header;
    memset(&header, 0, sizeof header);
    header.cbStruct = sizeof header;
    header.pbSrc = decoder->source;
    header.cbSrcLength = DWORD(SourceBytes);
    header.pbDst = reinterpret_cast<BYTE *>(decoder->decoded);
    header.cbDstLength = DWORD(sizeof decoder->decoded);
    if (acmStreamPrepareHeader(decoder->codec, &header, 0) != 0) {
        acmStreamClose(decoder->codec, 0);
        decoder->codec = nullptr;
        return false;
    }
    decoder->codecStarted = true;
    decoder->sourceCount = 0;
    return true;
}

// Starts decoding part `index` afresh so that the next sample handed out is its music sample
// `sample` (at the part's rate).
void Restart(SoundDecoder *decoder, size_t index, int64_t sample)
{
    CloseCodec(decoder);
    decoder->part = index;
    decoder->data = decoder->parts[index].data;
    decoder->frames = &decoder->parts[index].frames;
    decoder->codecFailed = false;
    decoder->partDone = sample * decoder->outputRate / decoder->frames->rate;
    const Mp3Frames &frames = *decoder->frames;
    int64_t decodedSample = sample + frames.skip;
    int64_t frame = decodedSample / frames.samplesPerFrame - PrerollFrames;
    if (frame < 0)
        frame = 0;
    decoder->nextFrame = size_t(frame);
    decoder->drop = decodedSample - frame * frames.samplesPerFrame;
    decoder->left = frames.length - sample;
    decoder->flushed = false;
    decoder->musicStart = decoder->musicCount = 0;
    decoder->phase = 0;
    decoder->haveBefore = false;
}

// Keeps the decoded samples[0..count) (file rate, file channels) that are music, as stereo.
void Keep(SoundDecoder *decoder, const short *samples, int count)
{
    int channels = decoder->frames->channels;
    int from = 0;
    if (decoder->drop > 0) {
        from = decoder->drop < count ? int(decoder->drop) : count;
        decoder->drop -= from;
    }
    int take = count - from;
    if (take > decoder->left)
        take = int(decoder->left);
    decoder->left -= take;
    if (decoder->musicStart > 0) {
        memmove(decoder->music, decoder->music + 2 * decoder->musicStart, size_t(decoder->musicCount) * 2 * sizeof(short));
        decoder->musicStart = 0;
    }
    if (decoder->musicCount + take > decoder->musicCapacity)
        take = decoder->musicCapacity - decoder->musicCount;  // never: the capacity holds the most a feed gives
    short *out = decoder->music + 2 * decoder->musicCount;
    for (int i = 0; i < take; i++) {
        const short *in = samples + size_t(from + i) * size_t(channels);
        out[2 * i] = in[0];
        out[2 * i + 1] = in[channels - 1];
    }
    decoder->musicCount += take;
}

// Feeds the codec the next frame (or, after the last, empties it) and keeps what it decodes.
// False once nothing more will come.
bool DecodeMore(SoundDecoder *decoder)
{
    if (decoder->flushed || decoder->left <= 0 || decoder->codecFailed)
        return false;
    if (!decoder->codec && !OpenCodec(decoder)) {
        decoder->codecFailed = true;
        return false;
    }
    const Mp3Frames &frames = *decoder->frames;
    bool last = decoder->nextFrame >= frames.offset.size();
    if (!last) {
        size_t bytes = frames.bytes[decoder->nextFrame];
        if (decoder->sourceCount + bytes > SourceBytes)
            decoder->sourceCount = 0;  // a codec that takes nothing: drop what it left
        memcpy(decoder->source + decoder->sourceCount, decoder->data + frames.offset[decoder->nextFrame], bytes);
        decoder->sourceCount += bytes;
        decoder->nextFrame++;
    }
    ACMSTREAMHEADER &header = decoder->header;
    DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    if (decoder->codecStarted)
        flags |= ACM_STREAMCONVERTF_START;
    if (last)
        flags = ACM_STREAMCONVERTF_END;
    decoder->codecStarted = false;
    // The last call may take several conversions to empty the codec.
    for (int round = 0; round < (last ? 8 : 1); round++) {
        header.cbSrcLength = DWORD(decoder->sourceCount);
        header.cbDstLength = DWORD(sizeof decoder->decoded);
        header.cbSrcLengthUsed = header.cbDstLengthUsed = 0;
        if (acmStreamConvert(decoder->codec, &header, flags) != 0) {
            decoder->flushed = true;
            return decoder->musicCount > 0;
        }
        size_t used = header.cbSrcLengthUsed <= decoder->sourceCount ? header.cbSrcLengthUsed : decoder->sourceCount;
        memmove(decoder->source, decoder->source + used, decoder->sourceCount - used);
        decoder->sourceCount -= used;
        int samples = int(header.cbDstLengthUsed / (2 * DWORD(frames.channels)));
        Keep(decoder, decoder->decoded, samples);
        if (last && samples == 0)
            break;
    }
    if (last)
        decoder->flushed = true;
    return true;
}

// The next music frame at the file rate, false when none is left.
bool NextMusicFrame(SoundDecoder *decoder, short frame[2])
{
    while (decoder->musicCount == 0) {
        if (!DecodeMore(decoder))
            return false;
    }
    frame[0] = decoder->music[2 * decoder->musicStart];
    frame[1] = decoder->music[2 * decoder->musicStart + 1];
    decoder->musicStart++;
    decoder->musicCount--;
    return true;
}

// Indexes each part of data[0..size): the parts with MP3 frames play; each one without is noted
// as damage where it would have begun, when it holds a second or more of data at the bitrate
// before it (less is taken for stray bytes, as the Linux decoder takes it). False (and the first
// part's `why`) when no part has any.
bool IndexParts(SoundDecoder *decoder, const unsigned char *data, size_t size, long outputRate, const char **why)
{
    const std::vector<size_t> starts = FindMp3Parts(data, size);
    std::vector<size_t> playedBefore;  // of each damage: the parts that play before it
    int64_t at = 0;
    int lastBitrate = 8;
    for (size_t i = 0; i < starts.size(); i++) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : size;
        AcmPart part = {};
        part.data = data + starts[i];
        const char *partWhy = "";
        if (!IndexMp3Frames(part.data, end - starts[i], &part.frames, &partWhy)) {
            if (i == 0)
                *why = partWhy;
            if (end - starts[i] < size_t(lastBitrate) * 125)
                continue;
            AcmDamage damage = {};
            damage.frame = at;
            snprintf(damage.words, sizeof damage.words, "%s", partWhy);
            decoder->damage.push_back(damage);
            playedBefore.push_back(decoder->parts.size());
            continue;
        }
        part.outputStart = at;
        part.outputLength = part.frames.length * outputRate / part.frames.rate;
        at += part.outputLength;
        lastBitrate = part.frames.firstBitrate;
        decoder->parts.push_back(part);
    }
    for (size_t i = 0; i < decoder->damage.size(); i++)
        decoder->damage[i].playsOn = decoder->parts.size() > playedBefore[i];
    return !decoder->parts.empty();
}

// Moves on to the next part once the open one has handed out its output length; false after the
// last.
bool PartLeft(SoundDecoder *decoder)
{
    while (decoder->partDone >= decoder->parts[decoder->part].outputLength) {
        if (decoder->part + 1 >= decoder->parts.size())
            return false;
        Restart(decoder, decoder->part + 1, 0);
    }
    return true;
}

} // namespace

SoundDecoder *SoundDecoderOpen(const void *data, size_t size, long outputRate, bool)
{
    openError[0] = '\0';
    SoundDecoder *decoder = new (std::nothrow) SoundDecoder();
    const char *why = "out of memory";
    if (decoder && data && size > 0 && IndexParts(decoder, static_cast<const unsigned char *>(data), size, outputRate, &why)) {
        decoder->outputRate = outputRate;
        // A feed's worth, the codec's last emptying (several conversions) included.
        decoder->musicCapacity = MaxDecodedSamples * 2 * 16;
        decoder->music = static_cast<short *>(malloc(size_t(decoder->musicCapacity) * 2 * sizeof(short)));
        if (decoder->music) {
            Restart(decoder, 0, 0);
            return decoder;
        }
        why = "out of memory";
    } else if (!data || size == 0) {
        why = "no data";
    }
    snprintf(openError, sizeof openError, "%s", why);
    SoundDecoderClose(decoder);
    return nullptr;
}

const char *SoundDecoderOpenError()
{
    return openError;
}

void SoundDecoderRead(SoundDecoder *decoder, short *out, int frames)
{
    for (int i = 0; i < frames; i++) {
        short frame[2] = {0, 0};
        if (PartLeft(decoder)) {
            long inRate = decoder->frames->rate, outRate = decoder->outputRate;
            if (inRate == outRate) {
                NextMusicFrame(decoder, frame);
            } else {
                // Output frame i lies `phase`/outRate of the way from `before` to the next input frame.
                if (!decoder->haveBefore)
                    decoder->haveBefore = NextMusicFrame(decoder, decoder->before);
                while (decoder->phase >= outRate) {
                    decoder->phase -= outRate;
                    if (!NextMusicFrame(decoder, decoder->before))
                        decoder->before[0] = decoder->before[1] = 0;
                }
                short after[2] = {0, 0};
                if (decoder->musicCount == 0)
                    DecodeMore(decoder);
                if (decoder->musicCount > 0) {
                    after[0] = decoder->music[2 * decoder->musicStart];
                    after[1] = decoder->music[2 * decoder->musicStart + 1];
                }
                for (int c = 0; c < 2; c++)
                    frame[c] = short(decoder->before[c] + (after[c] - decoder->before[c]) * decoder->phase / outRate);
                decoder->phase += inRate;
            }
            decoder->partDone++;
        }
        out[2 * i] = frame[0];
        out[2 * i + 1] = frame[1];
    }
}

void SoundDecoderSeek(SoundDecoder *decoder, int64_t frame)
{
    if (frame < 0)
        frame = 0;
    size_t index = decoder->parts.size() - 1;
    while (index > 0 && decoder->parts[index].outputStart > frame)
        index--;
    const AcmPart &part = decoder->parts[index];
    int64_t sample = (frame - part.outputStart) * part.frames.rate / decoder->outputRate;
    if (sample > part.frames.length)
        sample = part.frames.length;
    Restart(decoder, index, sample);
    // Where the seek fell between two samples of a part at another rate, the output frame count
    // is the target's, not the sample's.
    decoder->partDone = frame - part.outputStart < part.outputLength ? frame - part.outputStart : part.outputLength;
}

// Within a part the frame index stops at the first frame it cannot read, so the exact length
// already ends where that damage begins; the parts with no MP3 in them are the damage reported.
int64_t SoundDecoderDamage(const SoundDecoder *decoder, int index, const char **words, bool *playsOn)
{
    *words = "";
    *playsOn = false;
    if (index < 0 || size_t(index) >= decoder->damage.size())
        return -1;
    const AcmDamage &damage = decoder->damage[size_t(index)];
    *words = damage.words;
    *playsOn = damage.playsOn;
    return damage.frame;
}

void SoundDecoderClose(SoundDecoder *decoder)
{
    if (!decoder)
        return;
    CloseCodec(decoder);
    free(decoder->music);
    delete decoder;
}

bool SoundDecoderAvailable(const char **why)
{
    // A layer III stream of the commonest kind, asked of the codecs without opening one.
    Mp3Frames frames = {};
    frames.rate = 44100;
    frames.channels = 2;
    frames.samplesPerFrame = 1152;
    frames.firstBitrate = 128;
    bool found = QueryCodec(frames);
    *why = found ? "" : "Windows has no MP3 codec (the Audio Compression Manager found none)";
    return found;
}

void SoundDecoderTimeline(SoundDecoder *, int64_t, int64_t, bool)
{
    // The shared part mixes this decoder's audio into the device's fills: nothing to start here.
}
