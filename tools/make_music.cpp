// Renders the demo's music track to a 16-bit stereo 44.1 kHz WAV file and prints what can be
// checked without listening: length, peak, the level of every section, and whether the bass
// sits low and the hats sit high. Exits with 1 when the mix had to be limited or the file could
// not be written. tools/make_music.sh turns the WAV into data/music.mp3.
//
// Usage: make_music OUT.wav [SECONDS [PARTS]]
// SECONDS renders only the track's beginning, PARTS (a sum of the Track* group values of
// music_synth.h) only some of its instruments, for inspecting excerpts; either skips the report.
#include "music_synth.h"

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace {

void PutLe(FILE *file, uint32_t value, int bytes)
{
    for (int b = 0; b < bytes; b++)
        fputc(int((value >> (8 * b)) & 0xff), file);
}

bool WriteWav(const char *path, const std::vector<short> &pcm)
{
    FILE *file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "make_music: cannot write %s\n", path);
        return false;
    }
    uint32_t dataBytes = uint32_t(pcm.size() * 2);
    fwrite("RIFF", 1, 4, file);
    PutLe(file, 36 + dataBytes, 4);
    fwrite("WAVEfmt ", 1, 8, file);
    PutLe(file, 16, 4);                  // format chunk size
    PutLe(file, 1, 2);                   // integer PCM
    PutLe(file, 2, 2);                   // channels
    PutLe(file, TrackRate, 4);
    PutLe(file, TrackRate * 4, 4);       // bytes a second
    PutLe(file, 4, 2);                   // bytes a frame
    PutLe(file, 16, 2);                  // bits a sample
    fwrite("data", 1, 4, file);
    PutLe(file, dataBytes, 4);
    for (short s : pcm)
        PutLe(file, uint16_t(s), 2);
    bool ok = !ferror(file);
    if (fclose(file) != 0)
        ok = false;
    if (!ok)
        fprintf(stderr, "make_music: writing %s failed\n", path);
    return ok;
}

double Decibels(double level)
{
    return level > 0.0 ? 20.0 * log10(level) : -200.0;
}

// Peak and RMS of frames [first, last), both channels, full scale 1.
void MeasureSpan(const std::vector<short> &pcm, long first, long last, double *peak, double *rms)
{
    double sum = 0.0, top = 0.0;
    for (long i = first * 2; i < last * 2; i++) {
        double v = pcm[size_t(i)] / 32768.0;
        sum += v * v;
        if (fabs(v) > top)
            top = fabs(v);
    }
    *peak = top;
    *rms = last > first ? sqrt(sum / double((last - first) * 2)) : 0.0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: make_music OUT.wav [SECONDS [PARTS]]\n");
        return 2;
    }
    long frames = TrackFrames();
    int parts = TrackAll;
    if (argc > 2) {
        char *end;
        double seconds = strtod(argv[2], &end);
        if (*end != '\0' || !(seconds > 0.0)) {
            fprintf(stderr, "make_music: SECONDS must be a positive number, not \"%s\"\n", argv[2]);
            return 2;
        }
        if (seconds * TrackRate < double(frames))
            frames = long(seconds * TrackRate) > 0 ? long(seconds * TrackRate) : 1;
    }
    if (argc > 3) {
        char *end;
        long mask = strtol(argv[3], &end, 10);
        if (*end != '\0' || mask < 1 || mask > TrackAll) {
            fprintf(stderr, "make_music: PARTS must be a number from 1 to %d, not \"%s\"\n", TrackAll, argv[3]);
            return 2;
        }
        parts = int(mask);
    }
    std::vector<short> pcm;
    TrackLevels levels;
    if (!RenderTrack(frames, parts, &pcm, &levels))
        return 1;
    if (argc > 2) {
        if (!WriteWav(argv[1], pcm))
            return 1;
        printf("%.2f s, peak %.2f dBFS, %ld samples limited\n", double(pcm.size() / 2) / TrackRate,
            Decibels(levels.peak), levels.limitedCount);
        return 0;
    }
    printf("length %.2f s, %ld frames, peak %.2f dBFS before conversion, %ld samples limited\n",
        double(frames) / TrackRate, frames, Decibels(levels.peak), levels.limitedCount);

    // Level by section (seconds): what the form promises should show in these numbers.
    static const struct {
        const char *name;
        double from, to;
    } sections[] = {
        {"intro", 0, 16}, {"build", 16, 32}, {"theme", 32, 64}, {"second theme", 64, 96},
        {"break", 96, 112}, {"return", 112, 132}, {"close", 132, 140}, {"last chord", 140, 144},
        {"fade", 144, 150}, {"tail", 150, 155},
    };
    for (const auto &s : sections) {
        double peak, rms;
        MeasureSpan(pcm, long(s.from * TrackRate), long(s.to * TrackRate), &peak, &rms);
        printf("  %-13s %6.1f-%6.1f s  peak %6.1f dBFS  rms %6.1f dBFS\n", s.name, s.from, s.to, Decibels(peak), Decibels(rms));
    }
    double peak, rms;
    MeasureSpan(pcm, 0, long(0.5 * TrackRate), &peak, &rms);
    printf("  first 0.5 s peak %.1f dBFS\n", Decibels(peak));

    // Every instrument group alone: its level in the mix, and for the lowest and the highest
    // ones where their energy sits.
    static const struct {
        const char *name;
        int part;
        double cutoff;  // 0: no band measured
        bool highPass;
    } groups[] = {
        {"pads", TrackPad, 0, false}, {"bass", TrackBass, 200.0, false}, {"arpeggio", TrackArp, 0, false},
        {"lead", TrackLead, 0, false}, {"kick", TrackKick, 200.0, false}, {"claps, snares", TrackSnare, 0, false},
        {"hats", TrackHats, 5000.0, true}, {"crashes, risers", TrackEffects, 0, false},
    };
    for (const auto &group : groups) {
        std::vector<short> alone;
        TrackLevels partLevels;
        RenderTrack(TrackFrames(), group.part, &alone, &partLevels);
        MeasureSpan(alone, 0, long(alone.size() / 2), &peak, &rms);
        printf("  %-16s alone: peak %6.1f dBFS  rms %6.1f dBFS", group.name, Decibels(peak), Decibels(rms));
        if (group.cutoff > 0.0)
            printf("  %5.1f %% of its energy %s %.0f Hz", 100.0 * BandEnergyShare(alone, group.cutoff, group.highPass),
                group.highPass ? "above" : "below", group.cutoff);
        printf("\n");
    }

    if (!WriteWav(argv[1], pcm))
        return 1;
    if (levels.limitedCount > 0) {
        fprintf(stderr, "make_music: the mix went above 0.9 of full scale; lower the levels\n");
        return 1;
    }
    return 0;
}
