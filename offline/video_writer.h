// The video file writer of the recorder: pictures (800 x 600 RGB) and 16-bit stereo audio in,
// one container out, encoded on a thread of its own through FFmpeg's libraries. The caller fills
// chunks taken from a fixed pool and queues them in order; the pool is the bound on memory and
// the queue the only link between the caller's thread and the encoder's.
#ifndef KELVO_TOOLS_VIDEO_WRITER_H
#define KELVO_TOOLS_VIDEO_WRITER_H

#include <string>
#include <vector>

// A container, chosen by the output's extension, with its codecs.
struct VideoFormat {
    const char *extension;     // ".mp4"
    const char *container;     // the muxer's short name
    const char *videoEncoder;  // encoder name in libavcodec
    const char *audioEncoder;
    int defaultQuality;        // constant-quality value; -1: lossless, the setting is not used
    int maxQuality;            // highest value the encoder takes
};

// The format for a path's extension (case does not matter); null for any other.
const VideoFormat *FindVideoFormat(const char *path);

// The extensions FindVideoFormat knows, for messages: ".mp4, .webm, .mkv".
std::string VideoExtensions();

// Whether the installed libraries have both encoders of `format`; false with `error` set.
bool CheckVideoEncoders(const VideoFormat &format, std::string *error);

struct VideoSettings {
    const VideoFormat *format;
    const char *path;    // file to write, created or truncated
    int width, height;   // of each picture handed in
    int scale;           // 1 to 4: every picture enlarged by this factor, pixels kept sharp
    int fps;             // pictures a second
    int quality;         // the encoder's constant-quality value; -1 takes the format's default
    int sampleRate;      // of the audio handed in
    int poolChunks;      // chunks in the pool: how far the caller may run ahead of the encoder
};

// One picture (may be absent) and the audio that follows it in the recording.
struct VideoChunk {
    std::vector<unsigned char> rgb; // width * height * 3 bytes, top row first (and a little more)
    bool hasPicture;
    std::vector<short> audio;       // interleaved stereo; audioFrames * 2 used
    int audioFrames;
};

struct VideoWriter;

// Opens the file, writes the header and starts the encoder thread; null with `error` set (the
// file may exist then, partly written: the caller removes it).
VideoWriter *OpenVideoWriter(const VideoSettings &settings, std::string *error);

// A free chunk from the pool, sized for a picture, waiting while all are queued; null once the
// encoder has failed (FinishVideo then says why).
VideoChunk *TakeVideoChunk(VideoWriter *writer);

// Hands a filled chunk to the encoder; chunks are encoded in the order queued.
void QueueVideoChunk(VideoWriter *writer, VideoChunk *chunk);

// Encodes what is queued, flushes the encoders, writes the trailer, closes the file and frees
// the writer; false with `error` set when anything failed on the way.
bool FinishVideo(VideoWriter *writer, std::string *error);

// Stops the encoder without finishing the file, closes it and frees the writer.
void AbortVideo(VideoWriter *writer);

#endif
