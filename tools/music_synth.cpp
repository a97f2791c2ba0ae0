// The demo's music: a piece in A minor at 120 beats a minute (a bar is two seconds), written out
// here as code. Every note is rendered on its own into one of two mix buses (the one the kick
// ducks, and the one it leaves alone) and into the sends of a ping-pong delay and a reverb; the
// buses, the effect returns and a master stage then make the stereo track.
//
// Form, in bars of two seconds:
//   0-8    intro: pads open up, a sub bass from bar 4, the arpeggio from bar 2, soft hats
//   8-16   build: kick and offbeat bass come in, claps from bar 12, a snare roll and a riser
//   16-32  theme: full groove, the lead plays the main theme twice over Am7 F C G
//   32-48  second theme over Dm7 Am7 Fmaj7 E, open hats; the lead doubled the second time
//   48-56  break: no drums, long bass notes, a slow falling melody, a roll into the return
//   56-66  return of the main theme, the lead doubled an octave up
//   66-70  close: the groove thins out over C G F E
//   70     the last chord (Am add 9) at 140 s, held while the master fades out from 144 s;
//          the track ends at 155 s
#include "music_synth.h"

#include <math.h>
#include <stdint.h>

#include <vector>

namespace {

const double Pi = 3.14159265358979323846;
const double Rate = TrackRate;
const double Beat = 0.5;  // seconds, 120 beats a minute
const double Bar = 4 * Beat;
const double Step = Beat / 4;  // a sixteenth
const double TrackSeconds = 155.0;
const double FadeStart = 144.0;  // the master fade, held chord and all, ends just before the track
const double FadeEnd = 154.5;

// A stereo sample buffer as long as the render.
struct Bus {
    std::vector<float> left, right;
};

// The render in progress: the buses the notes add into, and what the mix stage needs.
struct Mix {
    long frames;
    int parts;
    Bus ducked;               // pads, bass and arpeggio: pumped by the kick
    Bus dry;                  // lead, drums and effects
    std::vector<float> delaySend;
    std::vector<float> reverbSend;
    std::vector<double> kickTimes;  // seconds, for the ducking
};

// Where a note's sound goes: a bus and how much of it feeds the delay and the reverb.
struct Route {
    Bus *bus;
    float delay;
    float reverb;
};

// A deterministic noise source (xorshift32): every hit seeds its own.
struct Noise {
    uint32_t state;
};

float NextNoise(Noise &noise)
{
    uint32_t x = noise.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    noise.state = x;
    return float(int32_t(x)) * (1.0f / 2147483648.0f);
}

Noise SeedNoise(uint32_t seed)
{
    Noise noise = {seed * 2654435761u + 0x9e3779b9u};
    if (noise.state == 0)
        noise.state = 1;
    for (int i = 0; i < 4; i++)
        NextNoise(noise);
    return noise;
}

// A two-pole state-variable filter (trapezoidal integration: stable under fast modulation).
struct Filter {
    float ic1, ic2;
    float a1, a2, a3, k;
};

struct FilterOut {
    float low, band, high;
};

void TuneFilter(Filter &f, double cutoff, double q)
{
    if (cutoff < 20.0)
        cutoff = 20.0;
    if (cutoff > 0.45 * Rate)
        cutoff = 0.45 * Rate;
    double g = tan(Pi * cutoff / Rate);
    double k = 1.0 / q;
    double a1 = 1.0 / (1.0 + g * (g + k));
    f.k = float(k);
    f.a1 = float(a1);
    f.a2 = float(g * a1);
    f.a3 = float(g * g * a1);
}

Filter MakeFilter(double cutoff, double q)
{
    Filter f = {};
    TuneFilter(f, cutoff, q);
    return f;
}

FilterOut RunFilter(Filter &f, float x)
{
    float v3 = x - f.ic2;
    float v1 = f.a1 * f.ic1 + f.a2 * v3;
    float v2 = f.ic2 + f.a2 * f.ic1 + f.a3 * v3;
    f.ic1 = 2.0f * v1 - f.ic1;
    f.ic2 = 2.0f * v2 - f.ic2;
    FilterOut out = {v2, v1, x - f.k * v1 - v2};
    return out;
}

// Band-limited steps for the saw and square waves (polynomial correction around each jump),
// so that high notes do not alias.
double StepCorrection(double phase, double dt)
{
    if (phase < dt) {
        double t = phase / dt;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - dt) {
        double t = (phase - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

float Saw(double phase, double dt)
{
    return float(2.0 * phase - 1.0 - StepCorrection(phase, dt));
}

float Square(double phase, double dt)
{
    double v = phase < 0.5 ? 1.0 : -1.0;
    double shifted = phase + 0.5;
    if (shifted >= 1.0)
        shifted -= 1.0;
    return float(v + StepCorrection(phase, dt) - StepCorrection(shifted, dt));
}

double Advance(double phase, double dt)
{
    phase += dt;
    return phase >= 1.0 ? phase - 1.0 : phase;
}

double NoteHz(double midi)
{
    return 440.0 * pow(2.0, (midi - 69.0) / 12.0);
}

// Attack, decay to a sustain level, and a release after the note is let go; every note starts
// and ends at zero, so none clicks.
struct Envelope {
    double attack, decay, sustain, release;
};

float EnvelopeLevel(const Envelope &e, double t, double held)
{
    double at = t < held ? t : held;
    double level = at < e.attack ? at / e.attack : e.sustain + (1.0 - e.sustain) * exp(-(at - e.attack) / e.decay);
    if (t > held) {
        double x = (t - held) / e.release;
        level *= x >= 1.0 ? 0.0 : (1.0 - x) * (1.0 - x);
    }
    return float(level);
}

// Equal-power pan, -1 left to 1 right.
void PanGains(double pan, float *left, float *right)
{
    double angle = (pan + 1.0) * Pi / 4.0;
    *left = float(cos(angle) * sqrt(2.0));
    *right = float(sin(angle) * sqrt(2.0));
}

long FrameAt(double seconds)
{
    return long(floor(seconds * Rate + 0.5));
}

// The frames [first, last) of a sound that starts at `start` and lasts `length` seconds, cut to
// the render; false when none of it is inside.
bool NoteSpan(const Mix &mix, double start, double length, long *first, long *last)
{
    *first = FrameAt(start);
    *last = FrameAt(start + length);
    if (*last > mix.frames)
        *last = mix.frames;
    return *first < *last && *first >= 0;
}

void Put(Mix &mix, const Route &route, long i, float left, float right)
{
    route.bus->left[i] += left;
    route.bus->right[i] += right;
    float mono = 0.5f * (left + right);
    mix.delaySend[i] += route.delay * mono;
    mix.reverbSend[i] += route.reverb * mono;
}

double Ramp(double x, double x0, double x1, double y0, double y1)
{
    if (x <= x0)
        return y0;
    if (x >= x1)
        return y1;
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

// ---- Instruments ----

// A pad note: three detuned saws spread across the field, through a slowly breathing low-pass.
// A slow `attack` swells, a short one gives the chord changes their edge.
void PadNote(Mix &mix, const Route &route, double start, double held, int midi, float level, double brightness,
    double attack, uint32_t seed)
{
    const Envelope env = {attack, 2.0, 0.85, 1.6};
    long first, last;
    if (!NoteSpan(mix, start, held + env.release, &first, &last))
        return;
    Noise noise = SeedNoise(seed);
    const double detune[3] = {-0.09, 0.0, 0.11};
    const double pans[3] = {-0.7, 0.0, 0.7};
    double phase[3], dt[3];
    float gl[3], gr[3];
    for (int v = 0; v < 3; v++) {
        phase[v] = 0.5 * (NextNoise(noise) + 1.0);
        dt[v] = NoteHz(midi + detune[v]) / Rate;
        PanGains(pans[v], &gl[v], &gr[v]);
    }
    Filter fl = MakeFilter(brightness, 0.8), fr = fl;
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        if ((i - first) % 16 == 0) {
            double now = double(i) / Rate;
            double cutoff = brightness * (1.0 + 0.25 * sin(2.0 * Pi * now / (4.0 * Bar)));
            TuneFilter(fl, cutoff, 0.8);
            TuneFilter(fr, cutoff, 0.8);
        }
        float l = 0.0f, r = 0.0f;
        for (int v = 0; v < 3; v++) {
            float s = Saw(phase[v], dt[v]);
            phase[v] = Advance(phase[v], dt[v]);
            l += gl[v] * s;
            r += gr[v] * s;
        }
        float a = level * EnvelopeLevel(env, t, held) * (1.0f / 3.0f);
        Put(mix, route, i, a * RunFilter(fl, l).low, a * RunFilter(fr, r).low);
    }
}

// A bass note: a saw and a square with a sine under them, a low-pass that snaps shut.
void BassNote(Mix &mix, const Route &route, double start, double held, int midi, float level, double cutoff, double attack)
{
    const Envelope env = {attack, 0.25, 0.7, 0.04};
    long first, last;
    if (!NoteSpan(mix, start, held + env.release, &first, &last))
        return;
    double dt = NoteHz(midi) / Rate;
    double phase = 0.0;
    Filter f = MakeFilter(cutoff, 1.1);
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        if ((i - first) % 8 == 0)
            TuneFilter(f, cutoff * (1.0 + 2.5 * exp(-t / 0.05)), 1.1);
        float raw = 0.5f * Saw(phase, dt) + 0.3f * Square(phase, dt);
        float sine = float(sin(2.0 * Pi * phase));
        phase = Advance(phase, dt);
        float s = level * EnvelopeLevel(env, t, held) * (RunFilter(f, raw).low + 0.8f * sine);
        Put(mix, route, i, s, s);
    }
}

// An arpeggio note: a plucked saw-square through a low-pass whose opening decays quickly.
void PluckNote(Mix &mix, const Route &route, double start, double held, int midi, float level, double cutoff, double pan)
{
    const Envelope env = {0.003, 0.16, 0.25, 0.12};
    long first, last;
    if (!NoteSpan(mix, start, held + env.release, &first, &last))
        return;
    double dt = NoteHz(midi) / Rate;
    double phase = 0.0;
    float gl, gr;
    PanGains(pan, &gl, &gr);
    Filter f = MakeFilter(cutoff, 1.4);
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        if ((i - first) % 8 == 0)
            TuneFilter(f, cutoff * (1.0 + 3.0 * exp(-t / 0.04)), 1.4);
        float raw = 0.6f * Saw(phase, dt) + 0.4f * Square(phase, dt);
        phase = Advance(phase, dt);
        float s = level * EnvelopeLevel(env, t, held) * RunFilter(f, raw).low;
        Put(mix, route, i, gl * s, gr * s);
    }
}

// A lead note: two saws a few cents apart, a square an octave down, vibrato that sets in late.
void LeadNote(Mix &mix, const Route &route, double start, double held, double midi, float level)
{
    const Envelope env = {0.02, 0.4, 0.75, 0.18};
    long first, last;
    if (!NoteSpan(mix, start, held + env.release, &first, &last))
        return;
    double base = NoteHz(midi) / Rate;
    double p1 = 0.0, p2 = 0.37, p3 = 0.0;
    float l1, r1, l2, r2;
    PanGains(-0.35, &l1, &r1);
    PanGains(0.35, &l2, &r2);
    Filter fl = MakeFilter(2800.0, 0.9), fr = fl;
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double depth = Ramp(t, 0.25, 0.6, 0.0, 0.004);
        double dt = base * (1.0 + depth * sin(2.0 * Pi * 5.2 * t));
        double d1 = dt * 1.0029, d2 = dt * 0.9971;
        float s1 = Saw(p1, d1), s2 = Saw(p2, d2), s3 = Square(p3, dt * 0.5);
        p1 = Advance(p1, d1);
        p2 = Advance(p2, d2);
        p3 = Advance(p3, dt * 0.5);
        float a = level * EnvelopeLevel(env, t, held);
        float l = l1 * s1 + l2 * s2 + 0.35f * s3;
        float r = r1 * s1 + r2 * s2 + 0.35f * s3;
        Put(mix, route, i, a * RunFilter(fl, l).low, a * RunFilter(fr, r).low);
    }
}

// The kick: a sine that falls from 160 Hz to 48 Hz in a few tens of milliseconds, with a short
// filtered click on top, gently saturated.
void Kick(Mix &mix, const Route &route, double start, float level)
{
    mix.kickTimes.push_back(start);
    if (!(mix.parts & TrackKick))
        return;
    long first, last;
    if (!NoteSpan(mix, start, 0.45, &first, &last))
        return;
    Noise noise = SeedNoise(uint32_t(first));
    Filter click = MakeFilter(3000.0, 0.7);
    double phase = 0.0;
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double hz = 48.0 + 112.0 * exp(-t / 0.035);
        phase += hz / Rate;
        double body = sin(2.0 * Pi * phase) * exp(-t / 0.16) * Ramp(t, 0.0, 0.001, 0.0, 1.0) * Ramp(t, 0.40, 0.45, 1.0, 0.0);
        double tick = RunFilter(click, NextNoise(noise)).low * exp(-t / 0.004) * 0.5;
        float s = level * float(tanh(1.6 * (body + tick)) / tanh(1.6));
        Put(mix, route, i, s, s);
    }
}

// The clap: three quick bursts of band-passed noise and a short tail.
void Clap(Mix &mix, const Route &route, double start, float level)
{
    if (!(mix.parts & TrackSnare))
        return;
    long first, last;
    if (!NoteSpan(mix, start, 0.35, &first, &last))
        return;
    Noise nl = SeedNoise(uint32_t(first) + 11), nr = SeedNoise(uint32_t(first) + 12);
    Filter fl = MakeFilter(1300.0, 1.3), fr = fl;
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double bursts = 0.0;
        for (int b = 0; b < 3; b++) {
            double tb = t - 0.011 * b;
            if (tb >= 0.0)
                bursts += exp(-tb / 0.006) * Ramp(tb, 0.0, 0.0005, 0.0, 1.0);
        }
        double amp = bursts + 0.7 * exp(-(t - 0.022) / 0.09) * Ramp(t, 0.0, 0.022, 0.0, 1.0);
        amp *= Ramp(t, 0.30, 0.35, 1.0, 0.0);
        float a = level * float(amp);
        Put(mix, route, i, a * RunFilter(fl, NextNoise(nl)).band, a * RunFilter(fr, NextNoise(nr)).band);
    }
}

// A snare for rolls: a short tone at 190 Hz under high-passed noise.
void Snare(Mix &mix, const Route &route, double start, float level)
{
    if (!(mix.parts & TrackSnare))
        return;
    long first, last;
    if (!NoteSpan(mix, start, 0.25, &first, &last))
        return;
    Noise noise = SeedNoise(uint32_t(first) + 21);
    Filter f = MakeFilter(1800.0, 0.7);
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double fade = Ramp(t, 0.0, 0.001, 0.0, 1.0) * Ramp(t, 0.2, 0.25, 1.0, 0.0);
        double tone = 0.5 * sin(2.0 * Pi * 190.0 * t) * exp(-t / 0.05);
        double hiss = RunFilter(f, NextNoise(noise)).high * exp(-t / 0.07);
        float s = level * float(fade * (tone + hiss));
        Put(mix, route, i, s, s);
    }
}

// A hi-hat: noise and six detuned square partials through two high-pass stages at 7 kHz.
void Hat(Mix &mix, const Route &route, double start, float level, double decay, double pan)
{
    if (!(mix.parts & TrackHats))
        return;
    long first, last;
    double length = decay * 6.0 + 0.002;
    if (!NoteSpan(mix, start, length, &first, &last))
        return;
    static const double partials[6] = {317.0, 465.5, 569.2, 806.3, 834.1, 1235.7};
    double phase[6] = {};
    Noise noise = SeedNoise(uint32_t(first) + 31);
    Filter f1 = MakeFilter(7000.0, 0.7), f2 = f1;
    float gl, gr;
    PanGains(pan, &gl, &gr);
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double metal = 0.0;
        for (int p = 0; p < 6; p++) {
            metal += phase[p] < 0.5 ? 1.0 : -1.0;
            phase[p] = Advance(phase[p], partials[p] / Rate);
        }
        float raw = float(0.6 * NextNoise(noise) + 0.08 * metal);
        float hi = RunFilter(f2, RunFilter(f1, raw).high).high;
        double amp = exp(-t / decay) * Ramp(t, 0.0, 0.0008, 0.0, 1.0) * Ramp(t, length - decay, length, 1.0, 0.0);
        float s = level * float(amp) * hi;
        Put(mix, route, i, gl * s, gr * s);
    }
}

// A crash: bright noise, different on each side, that dies away over about two seconds.
void Crash(Mix &mix, const Route &route, double start, float level)
{
    if (!(mix.parts & TrackEffects))
        return;
    long first, last;
    if (!NoteSpan(mix, start, 3.0, &first, &last))
        return;
    Noise nl = SeedNoise(uint32_t(first) + 41), nr = SeedNoise(uint32_t(first) + 42);
    Filter fl = MakeFilter(4500.0, 0.7), fr = fl;
    for (long i = first; i < last; i++) {
        double t = double(i - first) / Rate;
        double amp = exp(-t / 0.7) * Ramp(t, 0.0, 0.002, 0.0, 1.0) * Ramp(t, 2.5, 3.0, 1.0, 0.0);
        float a = level * float(amp);
        Put(mix, route, i, a * RunFilter(fl, NextNoise(nl)).high, a * RunFilter(fr, NextNoise(nr)).high);
    }
}

// A riser: noise through a band-pass that sweeps up while it swells, ending on the downbeat.
void Riser(Mix &mix, const Route &route, double start, double length, float level)
{
    if (!(mix.parts & TrackEffects))
        return;
    long first, last;
    if (!NoteSpan(mix, start, length, &first, &last))
        return;
    Noise nl = SeedNoise(uint32_t(first) + 51), nr = SeedNoise(uint32_t(first) + 52);
    Filter fl = MakeFilter(300.0, 2.0), fr = fl;
    for (long i = first; i < last; i++) {
        double x = double(i - first) / (length * Rate);
        if ((i - first) % 16 == 0) {
            double cutoff = 300.0 * pow(8000.0 / 300.0, x);
            TuneFilter(fl, cutoff, 2.0);
            TuneFilter(fr, cutoff, 2.0);
        }
        double amp = x * x * Ramp(x, 0.97, 1.0, 1.0, 0.0);
        float a = level * float(amp);
        Put(mix, route, i, a * RunFilter(fl, NextNoise(nl)).band, a * RunFilter(fr, NextNoise(nr)).band);
    }
}

// ---- The score ----

struct Chord {
    int bass;     // the bass note (MIDI)
    int pad[4];   // the pad's voicing
};

const Chord Am7 = {33, {57, 60, 64, 67}};
const Chord Fmaj7 = {29, {53, 57, 60, 64}};
const Chord Cmaj = {36, {55, 60, 64, 67}};
const Chord Gmaj = {31, {55, 59, 62, 67}};
const Chord Dm7 = {38, {53, 57, 60, 62}};
const Chord Emaj = {28, {52, 56, 59, 64}};
const Chord FmajHigh = {41, {53, 57, 60, 64}};  // the break's bass walks down an octave higher
const Chord Em7High = {40, {52, 55, 59, 62}};
const Chord Dm7High = {38, {53, 57, 60, 62}};
const Chord EmajHigh = {40, {52, 56, 59, 64}};
const Chord AmAdd9 = {33, {57, 60, 64, 71}};

const int FinalBar = 70;

const Chord &ChordAt(int bar)
{
    static const Chord *const main[4] = {&Am7, &Fmaj7, &Cmaj, &Gmaj};
    static const Chord *const second[4] = {&Dm7, &Am7, &Fmaj7, &Emaj};
    static const Chord *const pause[4] = {&FmajHigh, &Em7High, &Dm7High, &EmajHigh};
    if (bar >= FinalBar)
        return AmAdd9;
    if (bar == 69)
        return Emaj;
    if (bar == 68)
        return Fmaj7;
    if (bar >= 32 && bar < 48)
        return *second[bar % 4];
    if (bar >= 48 && bar < 56)
        return *pause[bar % 4];
    return *main[bar % 4];
}

// A melody note: where it starts in beats from the phrase's first bar, how long, and its pitch.
struct MelodyNote {
    double beat, length;
    int midi;
};

// The main theme, eight bars over Am7 F C G twice.
const MelodyNote ThemeA[] = {
    {0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 69},
    {4, 1.5, 72}, {5.5, 0.5, 74}, {6, 2, 76},
    {8, 1.5, 79}, {9.5, 0.5, 76}, {10, 1, 74}, {11, 1, 72},
    {12, 3, 74}, {15, 1, 71},
    {16, 1.5, 76}, {17.5, 0.5, 74}, {18, 1, 72}, {19, 1, 69},
    {20, 1, 72}, {21, 1, 74}, {22, 1, 76}, {23, 1, 77},
    {24, 2, 79}, {26, 1, 76}, {27, 1, 72},
    {28, 2, 74}, {30, 2, 71},
};

// The second theme, over Dm7 Am7 Fmaj7 E twice.
const MelodyNote ThemeB[] = {
    {0, 1.5, 77}, {1.5, 0.5, 76}, {2, 2, 74},
    {4, 1.5, 72}, {5.5, 0.5, 71}, {6, 2, 69},
    {8, 1, 72}, {9, 1, 76}, {10, 2, 81},
    {12, 3, 80}, {15, 1, 71},
    {16, 1.5, 77}, {17.5, 0.5, 76}, {18, 1, 74}, {19, 1, 72},
    {20, 1.5, 76}, {21.5, 0.5, 72}, {22, 2, 69},
    {24, 1, 72}, {25, 1, 74}, {26, 1, 76}, {27, 1, 77},
    {28, 1, 76}, {29, 3, 80},
};

// The break's melody: long notes falling through the chords.
const MelodyNote ThemeBreak[] = {
    {0, 4, 76}, {4, 4, 74}, {8, 4, 72}, {12, 2, 71}, {14, 2, 68},
    {16, 4, 81}, {20, 4, 79}, {24, 4, 77}, {28, 2, 76}, {30, 2, 80},
};

// The close, over C G Fmaj7 E and the final chord: the last phrase falls to the leading tone
// and lands on the tonic.
const MelodyNote ThemeClose[] = {
    {0, 1.5, 79}, {1.5, 0.5, 76}, {2, 2, 72},
    {4, 2, 74}, {6, 2, 71},
    {8, 1.5, 72}, {9.5, 0.5, 74}, {10, 2, 76},
    {12, 1.5, 71}, {13.5, 0.5, 74}, {14, 2, 68},
    {16, 14, 69},
};

template <size_t N>
void PlayMelody(Mix &mix, const Route &route, int firstBar, const MelodyNote (&notes)[N], int transpose, float level,
    double untilBeat = 1e9)
{
    if (!(mix.parts & TrackLead))
        return;
    for (size_t n = 0; n < N && notes[n].beat < untilBeat; n++) {
        double start = firstBar * Bar + notes[n].beat * Beat;
        double held = notes[n].length * Beat - 0.06;
        LeadNote(mix, route, start, held, notes[n].midi + transpose, level);
    }
}

void ScorePads(Mix &mix, const Route &route)
{
    if (!(mix.parts & TrackPad))
        return;
    for (int bar = 0; bar <= FinalBar; bar++) {
        const Chord &chord = ChordAt(bar);
        double level = 0.16;
        double brightness = 2400.0;
        double attack = 0.35;
        if (bar < 16) {
            level = Ramp(bar, 0, 4, 0.12, 0.16);
            brightness = Ramp(bar, 0, 16, 700.0, 2400.0);
            attack = bar < 8 ? 1.0 : 0.6;
        } else if (bar >= 48 && bar < 56) {
            level = 0.2;
            brightness = 1500.0;
            attack = 1.0;
        } else if (bar >= 56) {
            brightness = 3000.0;
        }
        double held = Bar;
        if (bar == FinalBar)
            held = 12.0;  // held through the master fade
        for (int v = 0; v < 4; v++)
            PadNote(mix, route, bar * Bar, held, chord.pad[v], float(level), brightness, attack, uint32_t(bar * 8 + v));
        if (bar == FinalBar)  // the last chord also gets its root below
            PadNote(mix, route, bar * Bar, held, 45, float(level), brightness, attack, 999u);
    }
}

void ScoreBass(Mix &mix, const Route &route)
{
    if (!(mix.parts & TrackBass))
        return;
    for (int bar = 4; bar <= FinalBar; bar++) {
        const Chord &chord = ChordAt(bar);
        double t0 = bar * Bar;
        if (bar < 8 || (bar >= 48 && bar < 56) || bar >= 68) {
            // Long notes: the intro's sub bass, the break, the last bars and the final chord.
            double held = bar == FinalBar ? 9.0 : Bar - 0.05;
            float level = bar < 8 ? float(Ramp(bar, 4, 7, 0.12, 0.22)) : 0.25f;
            BassNote(mix, route, t0, held, chord.bass, level, 180.0, 0.08);
        } else if (bar < 16 || bar >= 66) {
            // The offbeat eighths of the build and the close.
            for (int beat = 0; beat < 4; beat++)
                BassNote(mix, route, t0 + beat * Beat + 2 * Step, 1.6 * Step, chord.bass, 0.3f, 260.0, 0.004);
        } else {
            // The rolling groove: two sixteenths after each kick, the second an octave up on
            // beats two and four.
            for (int beat = 0; beat < 4; beat++) {
                double t = t0 + beat * Beat;
                BassNote(mix, route, t + 2 * Step, 0.85 * Step, chord.bass, 0.31f, 320.0, 0.004);
                BassNote(mix, route, t + 3 * Step, 0.85 * Step, chord.bass + (beat % 2 ? 12 : 0), 0.27f, 320.0, 0.004);
            }
        }
    }
}

void ScoreArpeggio(Mix &mix, const Route &route)
{
    if (!(mix.parts & TrackArp))
        return;
    static const int pattern[16] = {0, 1, 2, 4, 3, 1, 2, 0, 1, 2, 4, 3, 2, 4, 1, 3};
    for (int bar = 2; bar < FinalBar; bar++) {
        const Chord &chord = ChordAt(bar);
        int tones[5] = {chord.pad[0] + 12, chord.pad[1] + 12, chord.pad[2] + 12, chord.pad[3] + 12, chord.pad[0] + 24};
        double cutoff, level = 0.3;
        if (bar < 8) {
            cutoff = Ramp(bar, 2, 8, 400.0, 1000.0);
            level = Ramp(bar, 2, 5, 0.12, 0.28);
        } else if (bar < 16) {
            cutoff = Ramp(bar, 8, 16, 1000.0, 2600.0);
        } else if (bar < 48) {
            cutoff = 2200.0;
        } else if (bar < 56) {
            cutoff = Ramp(bar, 48, 56, 900.0, 2400.0);
        } else if (bar < 66) {
            cutoff = 2600.0;
        } else {
            cutoff = Ramp(bar, 66, 70, 2200.0, 600.0);
            level = Ramp(bar, 66, 70, 0.3, 0.14);
        }
        for (int s = 0; s < 16; s++) {
            double pan = s % 2 ? 0.35 : -0.35;
            float accent = s % 4 == 0 ? 1.0f : 0.8f;
            PluckNote(mix, route, bar * Bar + s * Step, 0.7 * Step, tones[pattern[s]], float(level) * accent, cutoff, pan);
        }
    }
}

void ScoreLead(Mix &mix, const Route &route, const Route &doubled)
{
    PlayMelody(mix, route, 16, ThemeA, 0, 0.125f);
    PlayMelody(mix, route, 24, ThemeA, 0, 0.125f);
    PlayMelody(mix, route, 32, ThemeB, 0, 0.125f);
    PlayMelody(mix, route, 40, ThemeB, 0, 0.125f);
    PlayMelody(mix, doubled, 40, ThemeB, 12, 0.04f);  // the second time round lifts
    PlayMelody(mix, doubled, 48, ThemeBreak, 0, 0.1f);
    PlayMelody(mix, route, 56, ThemeA, 0, 0.125f);
    PlayMelody(mix, doubled, 56, ThemeA, 12, 0.05f);
    PlayMelody(mix, route, 64, ThemeA, 0, 0.125f, 8);  // its first two bars lead into the close
    PlayMelody(mix, doubled, 64, ThemeA, 12, 0.05f, 8);
    PlayMelody(mix, route, 66, ThemeClose, 0, 0.11f);
}

// The drums, bar by bar: which pieces play where, the rolls, the risers and the crashes.
void ScoreDrums(Mix &mix, const Route &drums, const Route &spacious)
{
    for (int bar = 0; bar <= FinalBar; bar++) {
        double t0 = bar * Bar;
        bool pause = bar >= 48 && bar < 56;
        bool kicks = (bar >= 8 && bar < 48) || (bar >= 56 && bar < 68);
        bool claps = (bar >= 12 && bar < 48) || (bar >= 56 && bar < 68);
        bool busy = (bar >= 16 && bar < 48) || (bar >= 56 && bar < 66);
        bool open = (bar >= 32 && bar < 48) || (bar >= 56 && bar < 66);
        if (kicks) {
            for (int beat = 0; beat < 4; beat++)
                Kick(mix, drums, t0 + beat * Beat, 0.5f);
        }
        if (claps) {
            Clap(mix, spacious, t0 + Beat, 0.32f);
            Clap(mix, spacious, t0 + 3 * Beat, 0.32f);
        }
        // Hats: soft offbeats in the intro and the build, sixteenths in the groove.
        if (bar >= 4 && !pause && bar < 69) {
            Noise accent = SeedNoise(uint32_t(bar) + 77);
            for (int s = 0; s < 16; s++) {
                bool offbeat = s % 4 == 2;
                if (!busy && !offbeat)
                    continue;
                if (bar < 12 && !offbeat)
                    continue;
                float level = offbeat ? 0.5f : 0.24f + 0.07f * NextNoise(accent);
                if (bar < 8)
                    level *= float(Ramp(bar, 4, 8, 0.4, 0.8));
                if (open && offbeat)
                    Hat(mix, drums, t0 + s * Step, 0.4f, 0.09, 0.25);
                else
                    Hat(mix, drums, t0 + s * Step, level, 0.025, s % 2 ? 0.3 : -0.15);
            }
        }
        // Rolls into the theme and out of the break, and a fill at the end of each eight-bar phrase.
        if (bar == 15 || bar == 55) {
            for (int s = 0; s < 16; s++)
                Snare(mix, spacious, t0 + s * Step, float(Ramp(s, 0, 15, 0.06, 0.22)));
        }
        if (bar == 54) {
            for (int s = 0; s < 16; s += 2)
                Snare(mix, spacious, t0 + s * Step, float(Ramp(s, 0, 15, 0.04, 0.08)));
        }
        if (bar == 23 || bar == 31 || bar == 39 || bar == 47 || bar == 63) {
            for (int s = 12; s < 16; s++)
                Snare(mix, spacious, t0 + s * Step, 0.2f);
        }
        if (bar == 14 || bar == 54)
            Riser(mix, spacious, t0, 2 * Bar, 0.22f);
        if (bar == 16 || bar == 32 || bar == 56 || bar == 64 || bar == FinalBar)
            Crash(mix, spacious, t0, 0.16f);
        if (bar == FinalBar)
            Kick(mix, drums, t0, 0.6f);
    }
}

// ---- Effects and master ----

// A ping-pong delay of a dotted eighth: the send comes back on the left, then the right, and so
// on, each repeat darker and quieter.
void RunDelay(const std::vector<float> &send, Bus &out)
{
    const long length = long(0.75 * Beat * Rate);
    std::vector<float> lineL(size_t(length), 0.0f), lineR(size_t(length), 0.0f);
    float toneL = 0.0f, toneR = 0.0f;
    const float feedback = 0.42f, damping = 0.35f;
    long at = 0;
    for (size_t i = 0; i < send.size(); i++) {
        float dl = lineL[size_t(at)], dr = lineR[size_t(at)];
        toneL += damping * (dl - toneL);
        toneR += damping * (dr - toneR);
        lineL[size_t(at)] = send[i] + feedback * toneR;
        lineR[size_t(at)] = feedback * toneL;
        out.left[i] += dl;
        out.right[i] += dr;
        if (++at == length)
            at = 0;
    }
}

// A reverb of eight damped combs and four all-passes per side, the right side's lines a little
// longer than the left's so that the tail is wide.
struct Comb {
    std::vector<float> line;
    size_t at;
    float store;
};

struct Allpass {
    std::vector<float> line;
    size_t at;
};

void RunReverb(const std::vector<float> &send, Bus &out, float level)
{
    static const int combLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int allpassLengths[4] = {556, 441, 341, 225};
    const int spread = 23;
    const float feedback = 0.85f, damp = 0.3f;
    Comb combs[2][8];
    Allpass passes[2][4];
    for (int side = 0; side < 2; side++) {
        for (int c = 0; c < 8; c++)
            combs[side][c] = Comb{std::vector<float>(size_t(combLengths[c] + side * spread), 0.0f), 0, 0.0f};
        for (int a = 0; a < 4; a++)
            passes[side][a] = Allpass{std::vector<float>(size_t(allpassLengths[a] + side * spread), 0.0f), 0};
    }
    for (size_t i = 0; i < send.size(); i++) {
        float in = send[i] * 0.03f;
        for (int side = 0; side < 2; side++) {
            float sum = 0.0f;
            for (int c = 0; c < 8; c++) {
                Comb &comb = combs[side][c];
                float y = comb.line[comb.at];
                comb.store = y * (1.0f - damp) + comb.store * damp;
                comb.line[comb.at] = in + comb.store * feedback;
                if (++comb.at == comb.line.size())
                    comb.at = 0;
                sum += y;
            }
            for (int a = 0; a < 4; a++) {
                Allpass &pass = passes[side][a];
                float delayed = pass.line[pass.at];
                pass.line[pass.at] = sum + delayed * 0.5f;
                sum = delayed - sum;
                if (++pass.at == pass.line.size())
                    pass.at = 0;
            }
            (side == 0 ? out.left : out.right)[i] += level * sum;
        }
    }
}

// Pulls the ducked bus down around every kick: the gain dips by `depth` in 4 ms before the hit
// and comes back smoothly over the following 200 ms, so the pads and the bass breathe with the
// beat without a step in their level.
void Duck(Bus &bus, const std::vector<double> &kickTimes)
{
    const double depth = 0.45, attack = 0.004, recover = 0.2;
    for (double kick : kickTimes) {
        long first = FrameAt(kick - attack), last = FrameAt(kick + recover);
        if (first < 0)
            first = 0;
        if (last > long(bus.left.size()))
            last = long(bus.left.size());
        for (long i = first; i < last; i++) {
            double t = double(i) / Rate - kick;
            double dip = t < 0.0 ? 1.0 + t / attack : 0.5 + 0.5 * cos(Pi * t / recover);
            float gain = float(1.0 - depth * dip);
            bus.left[size_t(i)] *= gain;
            bus.right[size_t(i)] *= gain;
        }
    }
}

Bus MakeBus(long frames)
{
    Bus bus;
    bus.left.assign(size_t(frames), 0.0f);
    bus.right.assign(size_t(frames), 0.0f);
    return bus;
}

}  // namespace

long TrackFrames()
{
    return long(TrackSeconds * Rate);
}

bool RenderTrack(long frames, int parts, std::vector<short> *pcm, TrackLevels *levels)
{
    pcm->clear();
    levels->peak = 0.0f;
    levels->limitedCount = 0;
    if (frames < 1)
        return false;
    if (frames > TrackFrames())
        frames = TrackFrames();

    Mix mix;
    mix.frames = frames;
    mix.parts = parts;
    mix.ducked = MakeBus(frames);
    mix.dry = MakeBus(frames);
    mix.delaySend.assign(size_t(frames), 0.0f);
    mix.reverbSend.assign(size_t(frames), 0.0f);

    const Route pads = {&mix.ducked, 0.0f, 0.35f};
    const Route bass = {&mix.ducked, 0.0f, 0.0f};
    const Route arp = {&mix.ducked, 0.45f, 0.2f};
    const Route lead = {&mix.dry, 0.3f, 0.3f};
    const Route leadFar = {&mix.dry, 0.45f, 0.6f};
    const Route drums = {&mix.dry, 0.0f, 0.03f};
    const Route spacious = {&mix.dry, 0.05f, 0.35f};

    ScorePads(mix, pads);
    ScoreBass(mix, bass);
    ScoreArpeggio(mix, arp);
    ScoreLead(mix, lead, leadFar);
    ScoreDrums(mix, drums, spacious);

    Duck(mix.ducked, mix.kickTimes);
    Bus wet = MakeBus(frames);
    RunDelay(mix.delaySend, wet);
    for (size_t i = 0; i < wet.left.size(); i++)  // the echoes are heard in the room too
        mix.reverbSend[i] += 0.25f * (wet.left[i] + wet.right[i]);
    RunReverb(mix.reverbSend, wet, 1.0f);

    // Master: sum, a high-pass against any offset, the fades at both ends, and a guard that
    // bends the rare sample above 0.9 rather than let it wrap.
    const float masterGain = 0.63f;
    pcm->resize(size_t(frames) * 2);
    double dcL = 0.0, dcR = 0.0;
    const double dcPole = 1.0 - 2.0 * Pi * 12.0 / Rate;
    double prevL = 0.0, prevR = 0.0;
    for (long i = 0; i < frames; i++) {
        double t = double(i) / Rate;
        double fade = Ramp(t, 0.0, 0.01, 0.0, 1.0);
        if (t > FadeStart) {
            double x = Ramp(t, FadeStart, FadeEnd, 0.0, 1.0);
            fade *= 0.5 + 0.5 * cos(Pi * x);
        }
        double inL = mix.ducked.left[size_t(i)] + mix.dry.left[size_t(i)] + wet.left[size_t(i)];
        double inR = mix.ducked.right[size_t(i)] + mix.dry.right[size_t(i)] + wet.right[size_t(i)];
        dcL = inL - prevL + dcPole * dcL;
        dcR = inR - prevR + dcPole * dcR;
        prevL = inL;
        prevR = inR;
        double out[2] = {masterGain * fade * dcL, masterGain * fade * dcR};
        for (int c = 0; c < 2; c++) {
            double v = out[c];
            double magnitude = fabs(v);
            if (magnitude > levels->peak)
                levels->peak = float(magnitude);
            if (magnitude > 0.9) {
                levels->limitedCount++;
                v = (v < 0 ? -1.0 : 1.0) * (0.9 + 0.1 * tanh((magnitude - 0.9) / 0.1));
            }
            (*pcm)[size_t(i) * 2 + size_t(c)] = short(lrint(v * 32767.0));
        }
    }
    return true;
}

double BandEnergyShare(const std::vector<short> &pcm, double cutoff, bool highPass)
{
    const double qs[2] = {0.5412, 1.3066};
    double through = 0.0, total = 0.0;
    double z[2][2] = {};
    double b[2][3], a[2][2];
    for (int s = 0; s < 2; s++) {
        double w = 2.0 * Pi * cutoff / TrackRate, alpha = sin(w) / (2.0 * qs[s]), c = cos(w);
        double a0 = 1.0 + alpha;
        double edge = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        b[s][0] = edge / a0;
        b[s][1] = (highPass ? -2.0 : 2.0) * edge / a0;
        b[s][2] = edge / a0;
        a[s][0] = -2.0 * c / a0;
        a[s][1] = (1.0 - alpha) / a0;
    }
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        double x = (pcm[i] + pcm[i + 1]) / 65536.0;
        total += x * x;
        for (int s = 0; s < 2; s++) {  // transposed direct form II
            double y = b[s][0] * x + z[s][0];
            z[s][0] = b[s][1] * x - a[s][0] * y + z[s][1];
            z[s][1] = b[s][2] * x - a[s][1] * y;
            x = y;
        }
        through += x * x;
    }
    return total > 0.0 ? through / total : 0.0;
}
