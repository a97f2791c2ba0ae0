// One MP3 decoder over a block of memory, giving 16-bit stereo at a fixed output rate. Private
// to the sound layer; not thread-safe (the layer holds its lock around every call).
#ifndef KELVO_PLATFORM_LINUX_MP3_STREAM_H
#define KELVO_PLATFORM_LINUX_MP3_STREAM_H

#include <stddef.h>
#include <stdint.h>

struct mpg123_handle_struct;
struct syn123_struct;

// One of the files joined end to end in the block, decoded in its own format.
struct Mp3Part {
    size_t start, size;         // its bytes in the block
    long rate;
    int channels;
    int64_t outputStart;        // its first output frame
    int64_t outputLength;       // its output frames
};

// Where the audio stops early in one part, found by a scanning open.
struct Mp3Damage {
    int64_t frame;              // output frame where that part's audio stops
    bool playsOn;               // a later part plays after it
    char words[160];            // why, in words
};

// Damage noted at most (the first ones, in the order of the music).
const int Mp3MaxDamage = 8;

struct Mp3Stream {
    mpg123_handle_struct *decoder;
    syn123_struct *resampler;   // null when every part's rate is the output rate
    const unsigned char *data;  // the caller's block, never copied
    size_t size;
    Mp3Part *parts;             // in order; the last one ends the music
    int partCount;
    int part;                   // the part the decoder has open
    int64_t partDone;           // output frames of that part given so far
    size_t cursor;              // the decoder's read position in the part
    size_t furthest;            // the furthest the decoder has read in it
    long inputRate;             // the open part's
    int inputChannels;
    long outputRate;
    int bitrate;                // kbit/s of the open part's first frame
    bool scanned;               // opened with a scan: every part's length is exact
    bool partEnded;             // the open part's decoder has given all it has
    bool ended;                 // no more audio: the rest is silence
    Mp3Damage damage[Mp3MaxDamage];  // where parts stop early, or do not play at all
    int damageCount;
    int emptyReads;             // decoder calls in a row that gave no audio

    // One decoded chunk, already in output format, and how much of it is taken.
    unsigned char *decodeBuffer;  // the decoder's output: 16-bit at the output rate, else float
    float *stereoIn;              // float input of the resampler
    float *stereoOut;             // float output of the resampler
    short *pending;               // 16-bit stereo at the output rate
    int pendingCapacity, pendingStart, pendingCount;
};

// Opens the MP3 in data[0..size) for output at `outputRate`, files joined end to end played one
// after the other, each in its own format; `scan` reads it through once for an exact length and
// exact seeks, and notes in `damage` each part whose audio stops early (damage the decoder cannot
// get past, or data that ends before the length its header announces) or that does not play at
// all (layer I or II, no audio); the parts after it play on. Allocates every buffer decoding will
// need. False (and nothing held) when no part holds MPEG layer 3 audio or memory runs out.
bool Mp3Open(Mp3Stream *stream, const void *data, size_t size, long outputRate, bool scan);

// Why the last Mp3Open failed, in words, with the decoder's message where it gave one; "" after
// one that succeeded.
const char *Mp3OpenError();

// Writes `frames` stereo frames at the output rate into `out`: the next decoded audio, then
// silence once the stream has ended. Never allocates.
void Mp3Read(Mp3Stream *stream, short *out, int frames);

// Moves decoding to output frame `frame` (0 or more); past the end, the stream has ended.
void Mp3Seek(Mp3Stream *stream, int64_t frame);

// Frees everything Mp3Open made. Harmless on a zeroed or closed stream.
void Mp3Close(Mp3Stream *stream);

#endif
