// MPEG audio layer III frame headers and the Xing/Info frame with its LAME extension.

#include "platform/sound/mp3_frames.h"

#include <string.h>

#include <algorithm>

namespace {

struct Header {
    int version;          // 1, 2 or 25 (MPEG-2.5)
    int layer;            // 1, 2 or 3
    long rate;
    int channels;
    int bitrate;          // kbit/s
    int bytes;            // the whole frame
    int samples;
    bool crc;
};

// Reads a layer I, II or III header at p[0..4); false for anything else (free format included).
// Only layer III is audio to the frame index; the others count for where a file begins.
bool ReadHeader(const unsigned char *p, Header *header)
{
    if (p[0] != 0xff || (p[1] & 0xe0) != 0xe0)
        return false;
    int versionBits = (p[1] >> 3) & 3;
    int layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4;
    int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    // kbit/s by bitrate index: MPEG-1 layers I, II and III, then MPEG-2 and 2.5 layer I, II and III.
    static const short bitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    };
    static const long ratesV1[] = {44100, 48000, 32000};
    header->version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header->layer = 4 - layerBits;
    header->rate = ratesV1[rateIndex] / (header->version == 1 ? 1 : header->version == 2 ? 2 : 4);
    header->bitrate = bitrates[header->version == 1 ? header->layer - 1 : header->layer == 1 ? 3 : 4][bitrateIndex];
    header->channels = (p[3] >> 6) == 3 ? 1 : 2;
    header->samples = header->layer == 1 ? 384 : header->layer == 2 || header->version == 1 ? 1152 : 576;
    int padding = (p[2] >> 1) & 1;
    if (header->layer == 1)
        header->bytes = int(12000L * header->bitrate / header->rate + padding) * 4;
    else
        header->bytes = int((header->samples / 8) * 1000L * header->bitrate / header->rate) + padding;
    header->crc = (p[1] & 1) == 0;
    return true;
}

// Whether a layer III frame draws on no bytes of the frames before it (its main data begins in
// itself), as the first frame of a file does. Frames of the other layers always do.
bool StandsAlone(const unsigned char *frame, const Header &header)
{
    if (header.layer != 3)
        return true;
    const unsigned char *side = frame + 4 + (header.crc ? 2 : 0);
    return header.version == 1 ? (side[0] == 0 && (side[1] & 0x80) == 0) : side[0] == 0;
}

uint32_t Big32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Whether the frame at `frame` is an info frame; if it is, the delay and padding of its LAME
// extension (0 without one) and the audio frames it counts after itself (0 when it does not say).
bool ReadInfoFrame(const unsigned char *frame, const Header &header, int *delay, int *padding, uint32_t *frames = nullptr)
{
    *delay = *padding = 0;
    if (frames)
        *frames = 0;
    if (header.layer != 3)
        return false;
    int sideInfo = header.version == 1 ? (header.channels == 2 ? 32 : 17) : (header.channels == 2 ? 17 : 9);
    int at = 4 + (header.crc ? 2 : 0) + sideInfo;
    if (at + 8 > header.bytes)
        return false;
    const unsigned char *tag = frame + at;
    if (memcmp(tag, "Xing", 4) != 0 && memcmp(tag, "Info", 4) != 0)
        return false;
    uint32_t flags = Big32(tag + 4);
    if ((flags & 1) && frames && at + 12 <= header.bytes)
        *frames = Big32(tag + 8);
    int lame = 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    // The LAME extension: 9 bytes of encoder name, 12 more, then 12 bits of delay, 12 of padding.
    if (at + lame + 24 <= header.bytes) {
        const unsigned char *ext = tag + lame;
        if (memcmp(ext, "LAME", 4) == 0 || memcmp(ext, "Lavc", 4) == 0 || memcmp(ext, "Lavf", 4) == 0) {
            *delay = ext[21] << 4 | ext[22] >> 4;
            *padding = (ext[22] & 0x0f) << 8 | ext[23];
        }
    }
    return true;
}

} // namespace

bool IndexMp3Frames(const unsigned char *data, size_t size, Mp3Frames *frames, const char **why)
{
    frames->offset.clear();
    frames->bytes.clear();
    frames->skip = frames->length = 0;
    *why = "no MPEG audio found";
    size_t at = 0;
    if (size >= 10 && memcmp(data, "ID3", 3) == 0 && data[3] != 0xff && !((data[6] | data[7] | data[8] | data[9]) & 0x80)) {
        size_t tag = size_t(data[6]) << 21 | size_t(data[7]) << 14 | size_t(data[8]) << 7 | data[9];
        at = 10 + tag + ((data[5] & 0x10) ? 10 : 0);
    }
    // The first frame: a header whose next frame has a header of the same kind (or ends the data),
    // so that a stray sync pattern is not taken for the stream.
    // Two frames of layer I or II in a row name what the data is where no layer III is found.
    Header first = {};
    int otherLayer = 0;
    for (; at + 4 <= size; at++) {
        Header next;
        if (!ReadHeader(data + at, &first) || at + size_t(first.bytes) > size)
            continue;
        size_t after = at + size_t(first.bytes);
        bool followed = after + 4 <= size && ReadHeader(data + after, &next) && next.layer == first.layer
                        && next.rate == first.rate && next.version == first.version;
        if (first.layer != 3) {
            if (followed && otherLayer == 0)
                otherLayer = first.layer;
            continue;
        }
        if (after + 4 > size || followed)
            break;
    }
    if (at + 4 > size) {
        if (otherLayer != 0)
            *why = otherLayer == 1 ? "MPEG layer 1 audio, not MP3" : "MPEG layer 2 audio, not MP3";
        return false;
    }
    frames->rate = first.rate;
    frames->channels = first.channels;
    frames->samplesPerFrame = first.samples;
    frames->firstBitrate = first.bitrate;
    int delay = 0, padding = 0;
    uint32_t announced = 0;
    bool tagged = false;
    if (ReadInfoFrame(data + at, first, &delay, &padding, &announced)) {
        tagged = true;
        at += size_t(first.bytes);
    }
    Header header;
    while (at + 4 <= size && ReadHeader(data + at, &header) && header.layer == 3 && header.rate == first.rate
           && header.version == first.version
           && at + size_t(header.bytes) <= size && at <= UINT32_MAX) {
        if (frames->offset.empty())
            frames->firstBitrate = header.bitrate;
        frames->offset.push_back(uint32_t(at));
        frames->bytes.push_back(uint16_t(header.bytes));
        at += size_t(header.bytes);
    }
    if (frames->offset.empty())
        return false;
    int64_t decoded = int64_t(frames->offset.size()) * frames->samplesPerFrame;
    // Where the music ends among the decoded samples: the padding lies in the last frames the
    // info frame counts, so a file cut short of them keeps all it decodes.
    int64_t end = decoded + Mp3DecoderDelay - padding;
    if (announced > 0 && int64_t(announced) > int64_t(frames->offset.size()))
        end = std::min(decoded, int64_t(announced) * frames->samplesPerFrame + Mp3DecoderDelay - padding);
    if (tagged && delay + Mp3DecoderDelay < end) {
        frames->skip = delay + Mp3DecoderDelay;
        frames->length = end - frames->skip;
    } else {
        frames->length = decoded;
    }
    *why = "";
    return true;
}

namespace {

// The length of a well-formed ID3v2 tag at p[0..left), footer included; 0 when there is none.
size_t Id3TagBytes(const unsigned char *p, size_t left)
{
    if (left < 10 || memcmp(p, "ID3", 3) != 0 || p[3] == 0xff || p[4] == 0xff || ((p[6] | p[7] | p[8] | p[9]) & 0x80))
        return 0;
    size_t tag = 10 + (size_t(p[6]) << 21 | size_t(p[7]) << 14 | size_t(p[8]) << 7 | p[9]) + ((p[5] & 0x10) ? 10 : 0);
    return tag <= left ? tag : 0;
}

bool SameFormat(const Header &a, const Header &b)
{
    return a.version == b.version && a.layer == b.layer && a.rate == b.rate && a.channels == b.channels;
}

// Whether a frame of its own format begins at `at`: it fits, and the data ends or another frame
// of the same format (or an ID3v2 tag) follows it.
bool ConfirmedFrame(const unsigned char *data, size_t size, size_t at, Header *header)
{
    if (at + 4 > size || !ReadHeader(data + at, header) || size - at < size_t(header->bytes))
        return false;
    const size_t after = at + size_t(header->bytes);
    Header next;
    return after + 4 > size || Id3TagBytes(data + after, size - after) > 0
           || (ReadHeader(data + after, &next) && SameFormat(next, *header));
}

// Frames of one format that a file begins with: three in a row (fewer where the data or an ID3v2
// tag ends them), the first drawing on nothing before it.
bool FileOfFrames(const unsigned char *data, size_t size, size_t at)
{
    Header first;
    if (!ConfirmedFrame(data, size, at, &first) || !StandsAlone(data + at, first))
        return false;
    Header frame = first;
    for (int i = 0; i < 2; i++) {
        at += size_t(frame.bytes);
        if (at + 4 > size || Id3TagBytes(data + at, size - at) > 0)
            return true;
        if (!ConfirmedFrame(data, size, at, &frame) || !SameFormat(frame, first))
            return false;
    }
    return true;
}

// Where in data[from..to) another file begins, if one does: an ID3v2 tag, an info frame, or a
// file's first frames. `to` when none does.
size_t NextFileWithin(const unsigned char *data, size_t size, size_t from, size_t to)
{
    for (size_t at = from; at < to && at + 4 <= size; at++) {
        if (Id3TagBytes(data + at, size - at) > 0)
            return at;
        Header header;
        int delay, padding;
        if (ReadHeader(data + at, &header) && size - at >= size_t(header.bytes)
            && (ReadInfoFrame(data + at, header, &delay, &padding) ? ConfirmedFrame(data, size, at, &header)
                                                                   : FileOfFrames(data, size, at)))
            return at;
    }
    return to;
}

} // namespace

std::vector<size_t> FindMp3Parts(const unsigned char *data, size_t size)
{
    std::vector<size_t> starts(1, 0);
    size_t at = Id3TagBytes(data, size);
    Header format = {};
    bool inAudio = false;   // a confirmed frame has been seen in this part
    bool searching = true;  // the last bytes were no frame: the next one must be confirmed
    uint32_t counted = 0;   // frames of the part after its info frame
    uint32_t announced = 0; // and how many the info frame counts (0: it does not say)
    while (at + 4 <= size) {
        const size_t tag = Id3TagBytes(data + at, size - at);
        Header header;
        if (tag > 0) {
            if (inAudio)
                starts.push_back(at);
            inAudio = false;
            searching = true;
            at += tag;
            continue;
        }
        if (!ReadHeader(data + at, &header) || size - at < size_t(header.bytes)) {
            at++;  // not a frame: search on for one
            searching = true;
            continue;
        }
        int delay, padding;
        uint32_t frames;
        const bool info = ReadInfoFrame(data + at, header, &delay, &padding, &frames);
        if (searching || !inAudio || !SameFormat(header, format) || info) {
            if (!ConfirmedFrame(data, size, at, &header)) {
                at++;
                continue;
            }
            if (inAudio && (info || !SameFormat(header, format)))
                starts.push_back(at);
            if (!inAudio || info || !SameFormat(header, format)) {
                counted = 0;
                announced = info ? frames : 0;
            }
            format = header;
            inAudio = true;
            searching = false;
        } else if (announced > 0 && counted == announced) {
            // The frames its info frame counts are over: a file without one follows, if this frame
            // begins a file's run of frames.
            if (FileOfFrames(data, size, at))
                starts.push_back(at);
            announced = 0;
        }
        if (!info)
            counted++;
        // A frame cut short (the end of a damaged download, or bytes that merely look like a
        // header) claims bytes of whatever follows: where its end is no frame, another file
        // beginning inside it ends the part there.
        const size_t end = at + size_t(header.bytes);
        Header next;
        if (end + 4 <= size && Id3TagBytes(data + end, size - end) == 0 && !ReadHeader(data + end, &next)) {
            const size_t nextFile = NextFileWithin(data, size, at + 1, end);
            if (nextFile < end) {
                starts.push_back(nextFile);
                inAudio = false;
                searching = true;
                at = nextFile;
                continue;
            }
        }
        at = end;
    }
    return starts;
}
