// The sound library's stream interface: the eight calls the music module makes, on each
// platform's MP3 decoder and audio device (libmpg123 and SDL2 audio on Linux, Windows' own codec
// and waveOut on Windows, Web Audio in a web page).
//
// Contract
// - One process-wide library, initialised by FSOUND_Init and torn down by FSOUND_Close. Every
//   call is made from one thread (the caller's); playback runs in the background by itself.
// - Calls that need a stream or a channel do nothing, returning 0 (or -1 for a channel), when
//   given an absent or unknown stream, a negative or unknown channel, or when the library is not
//   initialised (never, or after FSOUND_Close). A handle from before FSOUND_Close stays unknown.
// - Streams are MP3 data. With FSOUND_LOADMEMORY the first argument of FSOUND_Stream_Open is the
//   caller's block of `length` bytes from `offset`; it is decoded in place, not copied, and must
//   stay valid until FSOUND_Close. Without it, the argument names a file, which is read into a
//   block the library owns. Sample-format bits of the mode (8/16 bit, mono/stereo, signed) describe
//   raw PCM and are ignored: an MP3 carries its own format. FSOUND_MPEGACCURATE scans the whole
//   stream at open, so that its length is known and seeks land on the exact sample.
// - Playback is 16-bit stereo at the mix rate of FSOUND_Init. Other rates are resampled; mono is
//   played on both channels. Position 0 is the first sample of the music (encoder delay and
//   padding are removed where the file records them).
// - Positions are whole milliseconds of what is audible now: the frames handed to the output,
//   less what is still queued in it, advanced smoothly between the output's callbacks by a
//   monotonic clock. A position never runs backwards except by FSOUND_Stream_SetTime, and never
//   runs ahead of the audio handed to the output. Past the end of the track the stream plays
//   silence and its position goes on advancing in real time.
// - FSOUND_Stream_SetTime takes effect at once: the position reads the target from then on (and
//   holds there until the new audio is heard). A target below 0 plays from 0; a target past the
//   end plays silence from there.
// - Outputs: FSOUND_OUTPUT_WINMM is the platform's default audio device. Where no device can be
//   opened, or SDL is told to use its dummy or disk driver, the library falls back by itself to
//   FSOUND_OUTPUT_NOSOUND: silence, with positions advancing in real time. The offline output
//   (fsound_ext.h) moves only when its caller renders.
// - Nothing is printed on standard output; a fallback to silence is reported in one line on
//   standard error.
#ifndef KELVO_FSOUND_H
#define KELVO_FSOUND_H

typedef struct FSOUND_STREAM FSOUND_STREAM;
typedef struct FSOUND_DSPUNIT FSOUND_DSPUNIT;

// Output types for FSOUND_SetOutput.
enum {
    FSOUND_OUTPUT_NOSOUND = 0,  // no device: silence, positions advance in real time
    FSOUND_OUTPUT_WINMM = 1,    // the platform's default audio device
};

// Stream open mode bits.
enum {
    FSOUND_8BITS = 0x00000008,
    FSOUND_16BITS = 0x00000010,
    FSOUND_MONO = 0x00000020,
    FSOUND_STEREO = 0x00000040,
    FSOUND_SIGNED = 0x00000100,
    FSOUND_NORMAL = FSOUND_16BITS | FSOUND_SIGNED | FSOUND_MONO,
    FSOUND_LOADMEMORY = 0x00008000,
    FSOUND_MPEGACCURATE = 0x00020000,
};

// Channel number for FSOUND_Stream_PlayEx: let the library choose a free channel.
enum { FSOUND_FREE = -1 };

// Chooses the output FSOUND_Init will open. 1 for a known type, 0 otherwise (nothing changes).
signed char FSOUND_SetOutput(int outputType);

// Starts the library with `maxSoftwareChannels` channels mixed at `mixRate` Hz. A call while
// started first does what FSOUND_Close does. 1 on success (the silent fallback included), 0 for a
// rate outside 8000..192000 or a channel count outside 1..256.
signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);

// Opens an MP3 stream (see the contract for `mode`). Null when the data is not MP3, is empty,
// 16 streams are open already, or the library is not started.
FSOUND_STREAM *FSOUND_Stream_Open(const char *nameOrData, unsigned int mode, int offset, int length);

// Plays `stream` on `channel` (FSOUND_FREE: the lowest free one) from its current position,
// paused when `startPaused` is non-zero; `dsp` is ignored. The channel number, or -1 when nothing
// could be played.
int FSOUND_Stream_PlayEx(int channel, FSOUND_STREAM *stream, FSOUND_DSPUNIT *dsp, signed char startPaused);

// Pauses (non-zero) or resumes (0) the channel. 1 on success, 0 for an unknown channel.
signed char FSOUND_SetPaused(int channel, signed char paused);

// The stream's position in milliseconds. 0 for an unknown stream.
int FSOUND_Stream_GetTime(FSOUND_STREAM *stream);

// Moves the stream to `ms` (below 0: to 0). 1 on success, 0 for an unknown stream.
signed char FSOUND_Stream_SetTime(FSOUND_STREAM *stream, int ms);

// Stops all playback, frees every stream and closes the output. Harmless when not started.
void FSOUND_Close();

#endif
