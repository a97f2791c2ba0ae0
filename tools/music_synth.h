// The demo's music track, made by the project's own synthesiser and sequencer: the same
// samples on every run (fixed seeds, no clock or other outside input), and the first frames of
// a short render are the first frames of the whole track.
#ifndef KELVO_MUSIC_SYNTH_H
#define KELVO_MUSIC_SYNTH_H

#include <vector>

// Frames per second of the rendered track (stereo).
const int TrackRate = 44100;

// Instrument groups, for rendering a part of the track alone (to measure it).
enum {
    TrackPad = 1,
    TrackBass = 2,
    TrackArp = 4,
    TrackLead = 8,
    TrackKick = 16,
    TrackSnare = 32,  // clap, snare and the rolls
    TrackHats = 64,
    TrackEffects = 128,  // crashes and risers
    TrackAll = 255,
};

// What a render reports besides its samples.
struct TrackLevels {
    float peak;         // largest absolute sample before conversion to 16 bits (1 is full scale)
    long limitedCount;  // samples the output guard had to bend (above 0.9); 0 in a clean mix
};

// Frames in the whole track.
long TrackFrames();

// Renders the first `frames` frames of the track (at most TrackFrames()) with the instrument
// groups in `parts`, as interleaved 16-bit stereo into `pcm`. false (pcm left empty) when
// `frames` is below 1.
bool RenderTrack(long frames, int parts, std::vector<short> *pcm, TrackLevels *levels);

// The share (0 to 1) of the energy of interleaved stereo `pcm` (both channels summed) that a
// fourth-order Butterworth low-pass at `cutoff` Hz lets through, or a high-pass when `highPass`:
// where a part of the track puts its sound. 0 for silence.
double BandEnergyShare(const std::vector<short> &pcm, double cutoff, bool highPass);

#endif
