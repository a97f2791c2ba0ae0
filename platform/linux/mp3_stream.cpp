// MP3 decoding from memory with libmpg123, files joined end to end one after the other; other
// sample rates resampled with libsyn123.

#include "platform/linux/mp3_stream.h"

#include "platform/sound/mp3_frames.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mpg123.h>
#include <syn123.h>

namespace {

// Input frames asked of the decoder at a time: two MPEG-1 layer III frames.
const int ChunkInputFrames = 2304;

// An output length not known without a scan: the part plays until its decoder ends.
const int64_t UnknownLength = INT64_MAX / 4;

mpg123_ssize_t ReadBlock(void *handle, void *buffer, size_t count)
{
    Mp3Stream *stream = static_cast<Mp3Stream *>(handle);
    const Mp3Part &part = stream->parts[stream->part];
    size_t left = part.size - stream->cursor;
    if (count > left)
        count = left;
    memcpy(buffer, stream->data + part.start + stream->cursor, count);
    stream->cursor += count;
    if (stream->cursor > stream->furthest)
        stream->furthest = stream->cursor;
    return mpg123_ssize_t(count);
}

off_t SeekBlock(void *handle, off_t offset, int whence)
{
    Mp3Stream *stream = static_cast<Mp3Stream *>(handle);
    const off_t size = off_t(stream->parts[stream->part].size);
    off_t base;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = off_t(stream->cursor); break;
    case SEEK_END: base = size; break;
    default: return -1;
    }
    if (offset < -base || offset > size - base)
        return -1;
    stream->cursor = size_t(base + offset);
    return off_t(stream->cursor);
}

// Opens the open part's bytes with the decoder allowed only `encoding`, at every rate the file may
// have (mpg123 applies a format table at the start of a track, so a change needs a fresh open).
bool OpenDecoder(Mp3Stream *stream, int encoding, long *rate, int *channels)
{
    mpg123_handle *decoder = stream->decoder;
    mpg123_close(decoder);
    stream->cursor = 0;
    stream->furthest = 0;
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

char partError[160];

// Opens part `index` in the decoder: 16-bit at the output rate, float for the resampler at any
// other. Null when it opened, else why not, in words.
const char *OpenPart(Mp3Stream *stream, int index)
{
    stream->part = index;
    stream->partDone = 0;
    stream->partEnded = false;
    stream->pendingStart = stream->pendingCount = 0;
    long rate = 0;
    int channels = 0;
    if (!OpenDecoder(stream, MPG123_ENC_SIGNED_16, &rate, &channels))
        return "no MPEG audio found";
    mpg123_frameinfo frame = {};
    if (mpg123_info(stream->decoder, &frame) != MPG123_OK || frame.layer != 3) {
        snprintf(partError, sizeof partError, "MPEG layer %d audio, not MP3", frame.layer);
        return partError;
    }
    stream->bitrate = frame.bitrate;
    if (rate != stream->outputRate) {
        long floatRate = 0;
        int floatChannels = 0;
        if (!OpenDecoder(stream, MPG123_ENC_FLOAT_32, &floatRate, &floatChannels) || floatRate != rate
            || floatChannels != channels)
            return "no MPEG audio found";
    }
    stream->inputRate = rate;
    stream->inputChannels = channels;
    return nullptr;
}

bool SetUpResampler(Mp3Stream *stream)
{
    // A setup with all zeros clears the filter history; the second sets the ratio anew.
    syn123_setup_resample(stream->resampler, 0, 0, 0, 0, 0);
    return syn123_setup_resample(stream->resampler, stream->inputRate, stream->outputRate, 2, 0, 0) == SYN123_OK;
}

// Opens part `index` for playing, in the format its first open found; false when it does not open
// so again.
bool StartPart(Mp3Stream *stream, int index)
{
    const Mp3Part &part = stream->parts[index];
    if (OpenPart(stream, index) || stream->inputRate != part.rate || stream->inputChannels != part.channels)
        return false;
    return stream->inputRate == stream->outputRate || SetUpResampler(stream);
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

// Moves on to the next part, or ends the stream after the last.
void NextPart(Mp3Stream *stream)
{
    if (stream->part + 1 >= stream->partCount || !StartPart(stream, stream->part + 1))
        stream->ended = true;
}

// Decodes the next chunk of the open part into `pending`: its audio, cut at the part's length;
// then silence up to that length where a scanned part's decoder gave less; then the next part.
void DecodeChunk(Mp3Stream *stream)
{
    stream->pendingStart = 0;
    stream->pendingCount = 0;
    const Mp3Part &part = stream->parts[stream->part];
    const int64_t left = part.outputLength - stream->partDone;
    if (left <= 0) {
        NextPart(stream);
        return;
    }
    if (stream->partEnded) {
        if (part.outputLength == UnknownLength || !stream->scanned) {
            NextPart(stream);
            return;
        }
        stream->pendingCount = int(left < stream->pendingCapacity ? left : stream->pendingCapacity);
        memset(stream->pending, 0, size_t(stream->pendingCount) * 2 * sizeof(short));
        stream->partDone += stream->pendingCount;
        return;
    }
    const int channels = stream->inputChannels;
    const bool resampled = stream->inputRate != stream->outputRate;
    const size_t chunkBytes = size_t(ChunkInputFrames) * size_t(channels) * (resampled ? 4 : 2);
    size_t got = 0;
    int result = mpg123_read(stream->decoder, stream->decodeBuffer, chunkBytes, &got);
    // The end, or data the decoder cannot get past, or one that keeps giving nothing: the part
    // ends here.
    stream->emptyReads = got == 0 ? stream->emptyReads + 1 : 0;
    if ((result != MPG123_OK && result != MPG123_NEW_FORMAT && got == 0) || stream->emptyReads > 8) {
        stream->partEnded = true;
        stream->emptyReads = 0;
        return;
    }
    int made;
    if (!resampled) {
        made = int(got / (2 * size_t(channels)));
        const short *in = reinterpret_cast<const short *>(stream->decodeBuffer);
        if (channels == 2) {
            memcpy(stream->pending, in, size_t(made) * 2 * sizeof(short));
        } else {
            for (int i = 0; i < made; i++)
                stream->pending[2 * i] = stream->pending[2 * i + 1] = in[i];
        }
    } else {
        int frames = int(got / (4 * size_t(channels)));
        const float *in = reinterpret_cast<const float *>(stream->decodeBuffer);
        if (channels == 2) {
            memcpy(stream->stereoIn, in, size_t(frames) * 2 * sizeof(float));
        } else {
            for (int i = 0; i < frames; i++)
                stream->stereoIn[2 * i] = stream->stereoIn[2 * i + 1] = in[i];
        }
        made = int(syn123_resample(stream->resampler, stream->stereoOut, stream->stereoIn, size_t(frames)));
        for (size_t i = 0; i < 2 * size_t(made); i++)
            stream->pending[i] = ToSample(stream->stereoOut[i]);
    }
    if (made > left)
        made = int(left);
    stream->pendingCount = made;
    stream->partDone += made;
}

} // namespace

namespace {

char openError[160];

// `what`, with the decoder's own words after it where it has any.
void DecoderWords(char *out, size_t outSize, const char *what, mpg123_handle *decoder)
{
    int code = decoder ? mpg123_errcode(decoder) : MPG123_OK;
    if (code != MPG123_OK && code != MPG123_ERR)
        snprintf(out, outSize, "%s: %s", what, mpg123_plain_strerror(code));
    else
        snprintf(out, outSize, "%s", what);
}

// Notes why an open failed, with the decoder's own words where it has any, and releases the
// stream; false.
bool OpenFailed(Mp3Stream *stream, const char *what, mpg123_handle *decoder)
{
    char words[sizeof openError];
    DecoderWords(words, sizeof words, what, decoder);
    memcpy(openError, words, sizeof openError);
    Mp3Close(stream);
    return false;
}

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

// Bytes of a second of audio at `kilobitsPerSecond`.
size_t SecondOfData(int kilobitsPerSecond)
{
    return size_t(kilobitsPerSecond > 0 ? kilobitsPerSecond : 8) * 125;
}

// Notes that the audio stops early at output frame `frame`, for `words`.
void AddDamage(Mp3Stream *stream, int64_t frame, const char *words)
{
    if (stream->damageCount >= Mp3MaxDamage)
        return;
    Mp3Damage &damage = stream->damage[stream->damageCount++];
    damage.frame = frame;
    damage.playsOn = false;
    snprintf(damage.words, sizeof damage.words, "%s", words);
}

// After the scan of the open part: its audio stops early when the decoder gave up with a second or
// more of the part unread, or when it found a second or more less than its header announced; a
// part that another follows, also when its data ends a frame or more short of the frames its
// header counts (the end of a damaged download). Notes it, and gives the output frame where the
// part's audio ends; -1 when it plays through.
int64_t NoteDamage(Mp3Stream *stream, off_t announced, off_t announcedFrames, bool last)
{
    const off_t scanned = mpg123_length(stream->decoder);
    if (scanned < 0)
        return -1;
    const Mp3Part &part = stream->parts[stream->part];
    // The reader's end of data is what a cut-short file gives; its own words say no more.
    const int code = mpg123_errcode(stream->decoder);
    const bool told = code != MPG123_OK && code != MPG123_ERR && code != MPG123_ERR_READER;
    const bool unread = part.size - stream->furthest >= SecondOfData(stream->bitrate);
    const bool tagged = AnnouncesLength(stream->data + part.start, part.size);
    const bool cutShort = announced > scanned + off_t(stream->inputRate) && tagged;
    const off_t framesFound = mpg123_framelength(stream->decoder);
    const bool framesShort = !last && tagged && announcedFrames > 0 && framesFound >= 0 && framesFound < announcedFrames;
    if (!unread && !cutShort && !framesShort)
        return -1;
    char words[160];
    if (told) {
        snprintf(words, sizeof words, "%s", mpg123_plain_strerror(code));
    } else if (code == MPG123_OK && (unread || cutShort)) {
        // Nothing went wrong in the decoder's eyes: it stopped at a frame of another layer, rate
        // or channel count that does not begin a file of its own.
        snprintf(words, sizeof words, "a frame in another format ends the audio");
    } else if (cutShort) {
        // The length is the part's own; the position the line gives is the music's.
        char length[32];
        FormatMinutes(length, sizeof length, int64_t(announced) * 1000 / stream->inputRate);
        snprintf(words, sizeof words, "the data ends before the %s%s its header announces", length,
                 part.outputStart > 0 ? " of its part that" : "");
    } else if (framesShort && !unread) {
        const long long missing = (long long)(announcedFrames - framesFound);
        snprintf(words, sizeof words, "the data ends %lld frame%s short of what its header announces", missing,
                 missing == 1 ? "" : "s");
    } else {
        snprintf(words, sizeof words, "no more audio in the rest of the data");
    }
    const int64_t frame = part.outputStart + int64_t(scanned) * stream->outputRate / stream->inputRate;
    AddDamage(stream, frame, words);
    return frame;
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
    stream->scanned = scan;

    const std::vector<size_t> starts = FindMp3Parts(stream->data, size);
    stream->parts = static_cast<Mp3Part *>(calloc(starts.size(), sizeof(Mp3Part)));
    if (!stream->parts)
        return OpenFailed(stream, "out of memory", nullptr);
    for (size_t i = 0; i < starts.size(); i++) {
        stream->parts[i].start = starts[i];
        stream->parts[i].size = (i + 1 < starts.size() ? starts[i + 1] : size) - starts[i];
    }
    stream->partCount = int(starts.size());

    stream->decoder = mpg123_new(nullptr, nullptr);
    if (!stream->decoder)
        return OpenFailed(stream, "the decoder could not be made", nullptr);
    mpg123_handle *decoder = stream->decoder;
    // Quiet: the library prints nothing. Gapless: position 0 is the first sample of the music.
    // One format a part: a frame of another layer, rate or channel count inside a part ends the
    // music, as damage does (the layer 1 and 2 decoders print on standard error, quiet or not).
    // No automatic resampling: its drop-sample method is replaced by syn123's filter.
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_NO_FRANKENSTEIN, 0.0);
    mpg123_param(decoder, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0);
    if (mpg123_replace_reader_handle(decoder, ReadBlock, SeekBlock, nullptr) != MPG123_OK)
        return OpenFailed(stream, "no MPEG audio found", decoder);

    // Each part opened (and scanned) in turn. A part that does not open is left out, and named
    // where it holds a second or more of data; damage ends its part's audio. The parts that play
    // are moved to the front, in order.
    int64_t at = 0;
    size_t chunkOutput = ChunkInputFrames;
    bool resampling = false;
    int lastBitrate = 0;
    const int found = stream->partCount;
    int kept = 0;
    char firstFailure[160] = "";  // why the first part did not open, for when none does
    for (int index = 0; index < found; index++) {
        if (kept != index)
            stream->parts[kept] = stream->parts[index];
        Mp3Part &part = stream->parts[kept];
        const char *why = OpenPart(stream, kept);
        const off_t announced = why ? -1 : mpg123_length(decoder);
        const off_t announcedFrames = why ? -1 : mpg123_framelength(decoder);
        const bool scanFailed = !why && scan && mpg123_scan(decoder) != MPG123_OK;
        if (scanFailed)
            why = "damaged";
        if (why) {
            if (index == 0)
                DecoderWords(firstFailure, sizeof firstFailure, why, why == partError ? nullptr : decoder);
            if (scanFailed || (scan && part.size >= SecondOfData(lastBitrate)))
                AddDamage(stream, at, why);
            continue;
        }
        lastBitrate = stream->bitrate;
        part.rate = stream->inputRate;
        part.channels = stream->inputChannels;
        part.outputStart = at;
        const off_t length = mpg123_length(decoder);
        part.outputLength = length < 0 ? UnknownLength : int64_t(length) * outputRate / part.rate;
        if (part.rate != outputRate) {
            resampling = true;
            size_t most = syn123_resample_count(part.rate, outputRate, ChunkInputFrames);
            if (most == 0)
                return OpenFailed(stream, "the resampler could not be set up", nullptr);
            if (most > chunkOutput)
                chunkOutput = most;
        }
        kept++;
        if (scan) {
            const int64_t stops = NoteDamage(stream, announced, announcedFrames, index + 1 == found);
            if (stops >= 0)
                part.outputLength = stops - at;
        }
        if (part.outputLength == UnknownLength)
            break;  // its end is where its decoder ends
        at += part.outputLength;
    }
    if (kept == 0)
        return OpenFailed(stream, firstFailure[0] ? firstFailure : "no MPEG audio found", nullptr);
    stream->partCount = kept;
    // A note plays on where a part that plays begins at it or after it.
    for (int i = 0; i < stream->damageCount; i++)
        for (int p = 0; p < kept; p++)
            if (stream->parts[p].outputStart >= stream->damage[i].frame && stream->parts[p].outputLength > 0)
                stream->damage[i].playsOn = true;

    if (resampling) {
        stream->resampler = syn123_new(outputRate, 2, MPG123_ENC_FLOAT_32, 0, nullptr);
        stream->stereoIn = static_cast<float *>(malloc(ChunkInputFrames * 2 * sizeof(float)));
        stream->stereoOut = static_cast<float *>(malloc(chunkOutput * 2 * sizeof(float)));
        if (!stream->resampler || !stream->stereoIn || !stream->stereoOut)
            return OpenFailed(stream, "the resampler could not be set up", nullptr);
    }
    stream->pendingCapacity = int(chunkOutput);
    stream->decodeBuffer = static_cast<unsigned char *>(malloc(size_t(ChunkInputFrames) * 2 * sizeof(float)));
    stream->pending = static_cast<short *>(malloc(chunkOutput * 2 * sizeof(short)));
    if (!stream->decodeBuffer || !stream->pending)
        return OpenFailed(stream, "out of memory", nullptr);
    // A single part stays open as scanned, its seek index kept; else the first opens again.
    if (stream->part != 0 ? !StartPart(stream, 0)
                          : stream->inputRate != outputRate && !SetUpResampler(stream))
        return OpenFailed(stream, "the resampler could not be set up", nullptr);
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
    int index = stream->partCount - 1;
    while (index > 0 && stream->parts[index].outputStart > frame)
        index--;
    const Mp3Part &part = stream->parts[index];
    if (frame - part.outputStart >= part.outputLength) {
        stream->ended = true;
        return;
    }
    if (index != stream->part && !StartPart(stream, index)) {
        stream->ended = true;
        return;
    }
    const int64_t sample = (frame - part.outputStart) * part.rate / stream->outputRate;
    stream->partDone = frame - part.outputStart;
    stream->partEnded = false;
    stream->emptyReads = 0;
    stream->ended = mpg123_seek(stream->decoder, off_t(sample), SEEK_SET) < 0;
    if (part.rate != stream->outputRate && !SetUpResampler(stream))
        stream->ended = true;
}

void Mp3Close(Mp3Stream *stream)
{
    if (stream->decoder)
        mpg123_delete(stream->decoder);
    if (stream->resampler)
        syn123_del(stream->resampler);
    free(stream->parts);
    free(stream->decodeBuffer);
    free(stream->stereoIn);
    free(stream->stereoOut);
    free(stream->pending);
    memset(stream, 0, sizeof *stream);
}
