// What the sound layer offers beyond the eight calls the music module makes: the offline output,
// where nothing plays in real time, the caller pulls the mixed audio and positions move only by
// what it pulls (or by seeks), for rendering sound and picture frame by frame and for tests; and
// what the layer runs on, for tools and benchmarks.
#ifndef KELVO_FSOUND_EXT_H
#define KELVO_FSOUND_EXT_H

#include "fsound.h"

// Output type for FSOUND_SetOutput: the offline output.
enum { FSOUND_OUTPUT_OFFLINE = 100 };

// Mixes the next `frames` 16-bit stereo frames of every playing channel into `out` (two samples
// a frame) and advances their positions by as much. `frames`, or 0 (nothing written) when the
// library is not started on the offline output or `frames` is below 1.
int RenderSoundOffline(short *out, int frames);

// Makes every later FSOUND_Init run on `outputType` (an FSOUND_OUTPUT_* value), whatever
// FSOUND_SetOutput asked for; -1 lifts that. For tools that run the demo's own code offline.
// 1 for a known type or -1, else 0 (nothing changes).
int ForceSoundOutput(int outputType);

// The output the library runs on now (an FSOUND_OUTPUT_* value), or -1 when not started.
int ActiveSoundOutput();

// Frames the device takes a callback; the clock counts two of them as still queued. 0 on the
// silent and offline outputs, or when not started.
int SoundDeviceBufferFrames();

// Why the last FSOUND_Stream_Open returned no stream, in words, with the decoder's own message
// where it gave one (for reporting, not for parsing); "" after an open that succeeded.
const char *SoundStreamOpenError();

// Where the stream's audio first stops early (damage the decoder cannot get past, data that ends
// before the length its header announces, a joined file the decoder cannot play), as found when
// it was opened with FSOUND_MPEGACCURATE: the position in milliseconds, with the decoder's words
// in `*words`; -1 (and "") for a stream that plays to its end or one that is not open.
int SoundStreamDamage(FSOUND_STREAM *stream, const char **words);

// The same for the `index`-th such place (0 first, in the music's order), with whether music
// plays after it (a later file of a join) in `*playsOn`; -1 (and "", false) past the last one.
int SoundStreamDamageAt(FSOUND_STREAM *stream, int index, const char **words, bool *playsOn);

// Opens the next stream at `ms` instead of at its start, once: FSOUND_Stream_Open's next stream
// starts there, as if sought before it plays (the web page's #t=). Below 0: no such moment.
void SoundOpenNextStreamAt(int ms);

// What the last FSOUND_Stream_GetTime returned, in ms; -1 before any. The clock of the picture
// drawn from it, for a page that tells its tests which moment each frame shows.
int SoundLastReportedTime();

#endif
