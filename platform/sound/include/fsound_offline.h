// The offline output of the sound layer: nothing plays in real time; the caller pulls the mixed
// audio, and positions move only by what it pulls (or by seeks). For rendering sound and picture
// frame by frame, and for tests. Not part of the eight calls the music module makes.
#ifndef KELVO_FSOUND_OFFLINE_H
#define KELVO_FSOUND_OFFLINE_H

#include "fsound.h"

// Output type for FSOUND_SetOutput: the offline output.
enum { FSOUND_OUTPUT_OFFLINE = 100 };

// Mixes the next `frames` 16-bit stereo frames of every playing channel into `out` (two samples
// a frame) and advances their positions by as much. `frames`, or 0 (nothing written) when the
// library is not started on the offline output or `frames` is below 1.
int RenderSoundOffline(short *out, int frames);

// The output the library runs on now (an FSOUND_OUTPUT_* value), or -1 when not started.
int ActiveSoundOutput();

#endif
