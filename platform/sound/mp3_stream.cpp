// MP3 decoding from memory with libmpg123; other sample rates resampled with libsyn123.

#include "platform/sound/mp3_stream.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mpg123.h>
#include <syn123.h>

namespace {

// Input frames asked of the decoder at a time: two MPEG-1 layer III frames.
const int ChunkInputFrames = 2304;

mpg123_ssize_t ReadBlock(void *handle, void *buffer, size_t count)
{
    Mp3Stream *stream = static_cast<Mp3Stream *>(handle);
    size_t left = stream->size - stream->cursor;
    if (count > left)
        count = left;
    memcpy(buffer, stream->data + stream->cursor, count);
    stream->cursor += count;
    if (stream->cursor > stream->furthest)
        stream->furthest = stream->cursor;
    return mpg123_ssize_t(count);
}

off_t SeekBlock(void *handle, off_t offset, int whence)
{
    Mp3Stream *stream = static_cast<Mp3Stream *>(handle);
    off_t base;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = off_t(stream->cursor); break;
    case SEEK_END: base = off_t(stream->size); break;
    default: return -1;
    }
    if (offset < -base || offset > off_t(stream->size) - base)
        return -1;
    stream->cursor = size_t(base + offset);
    return off_t(stream->cursor);
}

// Opens the block with the decoder allowed only `encoding`, at every rate the file may have
// (mpg123 applies a format table at the start of a track, so a change needs a fresh open).
bool OpenDecoder(Mp3Stream *stream, int encoding, long *rate, int *channels)
{
    mpg123_handle *decoder = stream->decoder;
    mpg123_close(decoder);
    stream->cursor = 0;
    mpg123_format_none(decoder);
    const long *rates;
    size_t rateCount;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; i++)
        mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, encoding);
    int gotEncoding = 0;
    if (mpg123_open_handle(decoder, stream) != MPG123_OK
        || mpg123_getformat(decoder, rate, channels, &gotEncoding) != MPG123_OK)
        return false;
    return gotEncoding == encoding && (*channels == 1 || *channels == 2) && *rate > 0;
}

short ToSample(float value)
{
    float scaled = value * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return short(lrintf(scaled));
}

// Decodes the next chunk into `pending`; marks the stream ended when nothing more comes.
void DecodeChunk(Mp3Stream *stream)
{
    stream->pendingStart = 0;
    stream->pendingCount = 0;
    size_t got = 0;
    int result = mpg123_read(stream->decoder, stream->decodeBuffer, stream->decodeBytes, &got);
    // The end, or data the decoder cannot get past, or one that keeps giving nothing: what
    // follows is silence.
    stream->emptyReads = got == 0 ? stream->emptyReads + 1 : 0;
    if ((result != MPG123_OK && result != MPG123_NEW_FORMAT && got == 0) || stream->emptyReads > 8) {
        stream->ended = true;
        return;
    }
    int channels = stream->inputChannels;
    if (!stream->resampler) {
        int frames = int(got / (2 * size_t(channels)));
        const short *in = reinterpret_cast<const short *>(stream->decodeBuffer);
        if (channels == 2) {
            memcpy(stream->pending, in, size_t(frames) * 2 * sizeof(short));
        } else {
            for (int i = 0; i < frames; i++)
                stream->pending[2 * i] = stream->pending[2 * i + 1] = in[i];
        }
        stream->pendingCount = frames;
        return;
    }
    int frames = int(got / (4 * size_t(channels)));
    const float *in = reinterpret_cast<const float *>(stream->decodeBuffer);
    if (channels == 2) {
        memcpy(stream->stereoIn, in, size_t(frames) * 2 * sizeof(float));
    } else {
        for (int i = 0; i < frames; i++)
            stream->stereoIn[2 * i] = stream->stereoIn[2 * i + 1] = in[i];
    }
    size_t made = syn123_resample(stream->resampler, stream->stereoOut, stream->stereoIn, size_t(frames));
    for (size_t i = 0; i < 2 * made; i++)
        stream->pending[i] = ToSample(stream->stereoOut[i]);
    stream->pendingCount = int(made);
}

bool SetUpResampler(Mp3Stream *stream)
{
    // A setup with all zeros clears the filter history; the second sets the ratio anew.
    syn123_setup_resample(stream->resampler, 0, 0, 0, 0, 0);
    return syn123_setup_resample(stream->resampler, stream->inputRate, stream->outputRate, 2, 0, 0) == SYN123_OK;
}

} // namespace

namespace {

char openError[160];

// Notes why an open failed, with the decoder's own words where it has any, and releases the
// stream; false.
bool OpenFailed(Mp3Stream *stream, const char *what, mpg123_handle *decoder)
{
    int code = decoder ? mpg123_errcode(decoder) : MPG123_OK;
    if (code != MPG123_OK && code != MPG123_ERR)
        snprintf(openError, sizeof openError, "%s: %s", what, mpg123_plain_strerror(code));
    else
        snprintf(openError, sizeof openError, "%s", what);
    Mp3Close(stream);
    return false;
}

} // namespace

namespace {

// Whether the data's first frame carries a length of the whole stream (a Xing, Info or VBRI
// header), after any ID3v2 tag.
bool AnnouncesLength(const unsigned char *data, size_t size)
{
    size_t start = 0;
    if (size >= 10 && memcmp(data, "ID3", 3) == 0) {
        start = 10 + (size_t(data[6] & 0x7f) << 21 | size_t(data[7] & 0x7f) << 14 | size_t(data[8] & 0x7f) << 7
                      | size_t(data[9] & 0x7f));
        if (data[5] & 0x10)
            start += 10; // a footer follows the tag
    }
    const size_t end = start + 4096 < size ? start + 4096 : size;
    for (size_t at = start; at + 4 <= end; at++)
        if (memcmp(data + at, "Xing", 4) == 0 || memcmp(data + at, "Info", 4) == 0 || memcmp(data + at, "VBRI", 4) == 0)
            return true;
    return false;
}

void FormatMinutes(char *out, size_t outSize, int64_t ms)
{
    snprintf(out, outSize, "%lld:%02lld", (long long)(ms / 60000), (long long)(ms / 1000 % 60));
}

// After the scan: the audio stops early when the decoder gave up with a second or more of the
// data unread, or when it found a second or more less than the header announced.
void NoteDamage(Mp3Stream *stream, off_t announced, int kilobitsPerSecond)
{
    const off_t scanned = mpg123_length(stream->decoder);
    if (scanned < 0)
        return;
    const size_t secondOfData = size_t(kilobitsPerSecond > 0 ? kilobitsPerSecond : 8) * 125;
    // The reader's end of data is what a cut-short file gives; its own words say no more.
    const int code = mpg123_errcode(stream->decoder);
    const bool told = code != MPG123_OK && code != MPG123_ERR && code != MPG123_ERR_READER;
    const bool unread = stream->size - stream->furthest >= secondOfData;
    const bool cutShort = announced > scanned + off_t(stream->inputRate) && AnnouncesLength(stream->data, stream->size);
    if (!unread && !cutShort)
        return;
    if (told) {
        snprintf(stream->damageWords, sizeof stream->damageWords, "%s", mpg123_plain_strerror(code));
    } else if (code == MPG123_OK) {
        // Nothing went wrong in the decoder's eyes: it stopped at a frame of another layer, rate
        // or channel count, which it does not take inside one stream.
        snprintf(stream->damageWords, sizeof stream->damageWords, "a frame in another format ends the audio");
    } else if (cutShort) {
        char length[32];
        FormatMinutes(length, sizeof length, int64_t(announced) * 1000 / stream->inputRate);
        snprintf(stream->damageWords, sizeof stream->damageWords, "the data ends before the %s its header announces",
                 length);
    } else {
        snprintf(stream->damageWords, sizeof stream->damageWords, "no more audio in the rest of the data");
    }
    stream->damageFrame = int64_t(scanned) * stream->outputRate / stream->inputRate;
}

} // namespace

const char *Mp3OpenError()
{
    return openError;
}

bool Mp3Open(Mp3Stream *stream, const void *data, size_t size, long outputRate, bool scan)
{
    openError[0] = '\0';
    static bool libraryReady = mpg123_init() == MPG123_OK;
    memset(stream, 0, sizeof *stream);
    if (!libraryReady || !data || size == 0)
        return OpenFailed(stream, data && size == 0 ? "no data" : "the decoder did not start", nullptr);
    stream->data = static_cast<const unsigned char *>(data);
    stream->size = size;
    stream->outputRate = outputRate;

    stream->decoder = mpg123_new(nullptr, nullptr);
    if (!stream->decoder)
        return OpenFailed(stream, "the decoder could not be made", nullptr);
    mpg123_handle *decoder = stream->decoder;
    // Quiet: the library prints nothing. Gapless: position 0 is the first sample of the music.
    // One format for the whole stream: a frame of another layer, rate or channel count ends the
    // music, as damage does (the layer 1 and 2 decoders print on standard error, quiet or not).
    // No automatic resampling: its drop-sample method is replaced by syn123's filter.
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_NO_FRANKENSTEIN, 0.0);
    mpg123_param(decoder, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0);
    long rate = 0;
    int channels = 0;
    if (mpg123_replace_reader_handle(decoder, ReadBlock, SeekBlock, nullptr) != MPG123_OK
        || !OpenDecoder(stream, MPG123_ENC_SIGNED_16, &rate, &channels)) {
        return OpenFailed(stream, "no MPEG audio found", stream->decoder);
    }
    stream->inputRate = rate;
    stream->inputChannels = channels;
    mpg123_frameinfo frame = {};
    if (mpg123_info(decoder, &frame) != MPG123_OK || frame.layer != 3) {
        char what[80];
        snprintf(what, sizeof what, "MPEG layer %d audio, not MP3", frame.layer);
        return OpenFailed(stream, what, nullptr);
    }
    stream->damageFrame = -1;

    int bytesPerSample = 2;
    if (rate != outputRate) {
        if (!OpenDecoder(stream, MPG123_ENC_FLOAT_32, &rate, &channels) || rate != stream->inputRate
            || channels != stream->inputChannels) {
            return OpenFailed(stream, "no MPEG audio found", stream->decoder);
        }
        bytesPerSample = 4;
        stream->resampler = syn123_new(outputRate, 2, MPG123_ENC_FLOAT_32, 0, nullptr);
        size_t maxOut = syn123_resample_count(rate, outputRate, ChunkInputFrames);
        stream->stereoIn = static_cast<float *>(malloc(ChunkInputFrames * 2 * sizeof(float)));
        stream->stereoOut = static_cast<float *>(malloc(maxOut * 2 * sizeof(float)));
        stream->pendingCapacity = int(maxOut);
        if (!stream->resampler || maxOut == 0 || !stream->stereoIn || !stream->stereoOut || !SetUpResampler(stream)) {
            return OpenFailed(stream, "the resampler could not be set up", nullptr);
        }
    } else {
        stream->pendingCapacity = ChunkInputFrames;
    }
    stream->decodeBytes = size_t(ChunkInputFrames) * size_t(channels) * size_t(bytesPerSample);
    stream->decodeBuffer = static_cast<unsigned char *>(malloc(stream->decodeBytes));
    stream->pending = static_cast<short *>(malloc(size_t(stream->pendingCapacity) * 2 * sizeof(short)));
    if (!stream->decodeBuffer || !stream->pending) {
        return OpenFailed(stream, "out of memory", nullptr);
    }
    const off_t announced = mpg123_length(decoder);
    if (scan && mpg123_scan(decoder) != MPG123_OK) {
        return OpenFailed(stream, "damaged", stream->decoder);
    }
    if (scan)
        NoteDamage(stream, announced, frame.bitrate);
    return true;
}

void Mp3Read(Mp3Stream *stream, short *out, int frames)
{
    while (frames > 0) {
        if (stream->pendingCount == 0) {
            if (stream->ended) {
                memset(out, 0, size_t(frames) * 2 * sizeof(short));
                return;
            }
            DecodeChunk(stream);
            continue;
        }
        int take = frames < stream->pendingCount ? frames : stream->pendingCount;
        memcpy(out, stream->pending + 2 * stream->pendingStart, size_t(take) * 2 * sizeof(short));
        stream->pendingStart += take;
        stream->pendingCount -= take;
        out += 2 * take;
        frames -= take;
    }
}

void Mp3Seek(Mp3Stream *stream, int64_t frame)
{
    if (!stream->decoder)
        return;
    stream->pendingStart = 0;
    stream->pendingCount = 0;
    if (frame < 0)
        frame = 0;
    int64_t sample = frame;
    if (stream->resampler)
        sample = frame * stream->inputRate / stream->outputRate;
    off_t length = mpg123_length(stream->decoder);
    if (length >= 0 && sample >= int64_t(length)) {
        stream->ended = true;
        return;
    }
    stream->ended = mpg123_seek(stream->decoder, off_t(sample), SEEK_SET) < 0;
    if (stream->resampler && !SetUpResampler(stream))
        stream->ended = true;
}

void Mp3Close(Mp3Stream *stream)
{
    if (stream->decoder)
        mpg123_delete(stream->decoder);
    if (stream->resampler)
        syn123_del(stream->resampler);
    free(stream->decodeBuffer);
    free(stream->stereoIn);
    free(stream->stereoOut);
    free(stream->pending);
    memset(stream, 0, sizeof *stream);
}
