// The frames of an MPEG audio layer III stream in memory, found by their headers, with the
// encoder delay and padding its info frame records: what a decoder that takes one frame at a time
// needs to start anywhere and to cut the music exactly. Private to the sound layer; no platform
// code.
#ifndef KELVO_PLATFORM_SOUND_MP3_FRAMES_H
#define KELVO_PLATFORM_SOUND_MP3_FRAMES_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Samples a decoder outputs ahead of the music at the start of a stream, beyond the encoder delay.
const int Mp3DecoderDelay = 529;

struct Mp3Frames {
    long rate;                     // samples a second, of every frame
    int channels;                  // 1 or 2, of the first frame
    int samplesPerFrame;           // 1152 (MPEG-1) or 576 (MPEG-2 and 2.5)
    int firstBitrate;              // kbit/s of the first audio frame
    std::vector<uint32_t> offset;  // where each audio frame starts (the info frame not among them)
    std::vector<uint16_t> bytes;   // its length
    int64_t skip;                  // decoded samples before the music's first (0 without an info tag)
    int64_t length;                // samples of music after the skip, padding cut off
};

// Finds every audio frame of data[0..size) after any ID3v2 tag, stopping at the first stretch
// that is not a frame of the same layer, version and rate; reads the encoder delay and padding
// from a LAME info frame. False when there is no such frame (then `why` says so, in words).
bool IndexMp3Frames(const unsigned char *data, size_t size, Mp3Frames *frames, const char **why);

// Where the files joined end to end in data[0..size) begin, as `cat` joins them: the first part
// begins at 0; a later one at an ID3v2 tag, an info frame, or a frame of another version, rate or
// channel count that the next frame confirms, after the first layer III frame. A decoder gives
// each part its own format, delay and padding. Bytes that are no frame stay in their part.
std::vector<size_t> FindMp3Parts(const unsigned char *data, size_t size);

#endif
