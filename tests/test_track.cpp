// The demo's music: the committed data/music.mp3 decodes through the sound layer to the whole
// piece, and the generator that made it gives the same samples on every run.
#include <gtest/gtest.h>

#include "tests/test_files.h"

#include <fsound.h>
#include <fsound_ext.h>
#include <mpg123.h>

#include "music_synth.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string TrackPath = std::string(KELVO_DATA_DIR) + "/music.mp3";

// RMS of interleaved 16-bit samples [first, last) (in frames), full scale 1.
double Rms(const std::vector<short> &pcm, long first, long last)
{
    double sum = 0.0;
    for (long i = first * 2; i < last * 2; i++)
        sum += double(pcm[size_t(i)]) * pcm[size_t(i)];
    return sqrt(sum / double((last - first) * 2)) / 32768.0;
}

// Frames in which the two channels differ.
long StereoFrames(const std::vector<short> &pcm)
{
    long count = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2)
        count += pcm[i] != pcm[i + 1];
    return count;
}

// The sample format and exact length (encoder delay and padding removed) that libmpg123 reads
// from the file's own headers.
void FileFormat(const std::string &path, long *rate, int *channels, off_t *frames)
{
    *rate = 0;
    *channels = 0;
    *frames = 0;
    mpg123_init();
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    int encoding;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK && mpg123_getformat(decoder, rate, channels, &encoding) == MPG123_OK) {
        mpg123_scan(decoder);
        *frames = mpg123_length(decoder);
    }
    mpg123_delete(decoder);
}

class Track : public testing::Test {
protected:
    void TearDown() override { FSOUND_Close(); }

    // The first `frames` frames the demo's own sound layer makes of `data`, played offline.
    static std::vector<short> DecodeThroughSoundLayer(std::vector<char> &data, int frames)
    {
        std::vector<short> pcm;
        FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
        EXPECT_TRUE(FSOUND_Init(44100, 32, 0));
        FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE,
            0, int(data.size()));
        EXPECT_NE(stream, nullptr);
        int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 1);
        EXPECT_GE(channel, 0);
        EXPECT_TRUE(FSOUND_SetPaused(channel, 0));
        pcm.resize(size_t(frames) * 2);
        for (int done = 0; done < frames;) {
            int chunk = frames - done < 44100 ? frames - done : 44100;
            EXPECT_EQ(RenderSoundOffline(pcm.data() + size_t(done) * 2, chunk), chunk);
            done += chunk;
        }
        EXPECT_EQ(FSOUND_Stream_GetTime(stream), int(int64_t(frames) * 1000 / 44100));
        return pcm;
    }
};

TEST_F(Track, CommittedMp3IsTheWholePieceAtFullRateInStereo)
{
    std::vector<char> data = ReadWhole(TrackPath);
    ASSERT_FALSE(data.empty()) << TrackPath << " is missing: tools/make_music.sh makes it";
    EXPECT_LT(data.size(), 5u * 1024 * 1024) << "the track should stay a few megabytes";

    long rate;
    int channels;
    off_t length;
    FileFormat(TrackPath, &rate, &channels, &length);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_GE(length, off_t(150) * 44100) << "the demo ends at 142 s; the music must outlast it";
    EXPECT_LE(length, off_t(160) * 44100);

    const int seconds = 162;
    std::vector<short> pcm = DecodeThroughSoundLayer(data, seconds * 44100);

    // Heard from the first moment, and never quiet in the body of the piece: every 10-s window
    // up to 140 s is above -35 dBFS (the break included).
    EXPECT_GT(Rms(pcm, 0, 44100 / 2), 0.002) << "the first half second is silent";
    for (int from = 0; from < 140; from += 10) {
        SCOPED_TRACE(from);
        EXPECT_GT(Rms(pcm, long(from) * 44100, long(from + 10) * 44100), 0.018);
    }
    // It ends: what follows the track is silence.
    for (size_t i = size_t(length + 44100) * 2; i < pcm.size(); i++)
        ASSERT_EQ(pcm[i], 0) << "sound after the end, at frame " << i / 2;

    // Nothing at full scale (the mix keeps its headroom through the encoder), and a stereo mix.
    long fullScale = 0;
    for (short s : pcm)
        fullScale += s >= 32767 || s <= -32767;
    EXPECT_EQ(fullScale, 0);
    EXPECT_GT(StereoFrames(pcm), long(length) / 2);
}

TEST_F(Track, CommittedMp3IsWhatTheGeneratorMakesNow)
{
    // The file is exactly as long as the track, and its first six seconds match a fresh render
    // but for the encoder's loss: an MP3 left over from an older generator whose length or
    // beginning differ fails, and so does one from elsewhere. (Later changes would need a full
    // render to see, too slow for every test run.)
    long rate;
    int channels;
    off_t length;
    FileFormat(TrackPath, &rate, &channels, &length);
    EXPECT_EQ(length, off_t(TrackFrames()));

    const long frames = 6 * TrackRate;
    std::vector<short> rendered;
    TrackLevels levels;
    ASSERT_TRUE(RenderTrack(frames, TrackAll, &rendered, &levels));
    std::vector<char> data = ReadWhole(TrackPath);
    ASSERT_FALSE(data.empty());
    std::vector<short> decoded = DecodeThroughSoundLayer(data, int(frames));
    // What the encoder lost must stay 20 dB under the signal.
    double signal = 0.0, error = 0.0;
    for (size_t i = 0; i < rendered.size(); i++) {
        signal += double(rendered[i]) * rendered[i];
        error += (double(rendered[i]) - decoded[i]) * (double(rendered[i]) - decoded[i]);
    }
    ASSERT_GT(signal, 0.0);
    EXPECT_LT(error / signal, 0.01);
}

TEST(TrackGenerator, SameSamplesOnEveryRunAndAShortRenderIsTheTrackBeginning)
{
    std::vector<short> first, second, shorter;
    TrackLevels levels, again, shortLevels;
    ASSERT_TRUE(RenderTrack(3 * TrackRate, TrackAll, &first, &levels));
    ASSERT_TRUE(RenderTrack(3 * TrackRate, TrackAll, &second, &again));
    ASSERT_EQ(first.size(), size_t(3 * TrackRate) * 2);
    EXPECT_TRUE(first == second) << "two renders differ";
    EXPECT_EQ(levels.peak, again.peak);

    ASSERT_TRUE(RenderTrack(2 * TrackRate + 17, TrackAll, &shorter, &shortLevels));
    ASSERT_EQ(shorter.size(), size_t(2 * TrackRate + 17) * 2);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), first.begin())) << "a shorter render is not the track's start";

    EXPECT_GT(Rms(first, 0, 3 * TrackRate), 0.01);
    EXPECT_GT(StereoFrames(first), TrackRate);
    EXPECT_EQ(levels.limitedCount, 0);
    EXPECT_LT(levels.peak, 0.9f);
}

TEST(TrackGenerator, PartsRenderAloneAndEmptyRendersAreRefused)
{
    // The pads alone are part of the whole; the kick does not play in the intro, so its part
    // alone is silent there.
    std::vector<short> pads, kick;
    TrackLevels levels;
    ASSERT_TRUE(RenderTrack(TrackRate, TrackPad, &pads, &levels));
    EXPECT_GT(Rms(pads, 0, TrackRate), 0.001);
    ASSERT_TRUE(RenderTrack(TrackRate, TrackKick, &kick, &levels));
    EXPECT_EQ(Rms(kick, 0, TrackRate), 0.0);
    EXPECT_EQ(levels.peak, 0.0f);

    std::vector<short> none(4, 1);
    EXPECT_FALSE(RenderTrack(0, TrackAll, &none, &levels));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(RenderTrack(-5, TrackAll, &none, &levels));
    EXPECT_GE(TrackFrames(), 150L * TrackRate);
}


// Interleaved stereo of a sine at `hz`, the same on both channels.
std::vector<short> Sine(double hz, long frames)
{
    std::vector<short> pcm(size_t(frames) * 2);
    for (long i = 0; i < frames; i++)
        pcm[size_t(i) * 2] = pcm[size_t(i) * 2 + 1] = short(lrint(12000.0 * sin(2.0 * M_PI * hz * double(i) / TrackRate)));
    return pcm;
}

TEST(TrackGenerator, BandEnergyShareSplitsAtTheCutoff)
{
    // Two octaves from the cutoff, a fourth-order filter passes all or almost nothing.
    EXPECT_GT(BandEnergyShare(Sine(50.0, TrackRate), 200.0, false), 0.95);
    EXPECT_LT(BandEnergyShare(Sine(800.0, TrackRate), 200.0, false), 0.01);
    EXPECT_GT(BandEnergyShare(Sine(12000.0, TrackRate), 5000.0, true), 0.95);
    EXPECT_LT(BandEnergyShare(Sine(1250.0, TrackRate), 5000.0, true), 0.01);
    EXPECT_EQ(BandEnergyShare(std::vector<short>(200, 0), 200.0, false), 0.0);
    EXPECT_EQ(BandEnergyShare(std::vector<short>(), 200.0, false), 0.0);
}

TEST(TrackGenerator, KickAndBassSitLowHatsSitHighAndTheKickWaitsForTheBuild)
{
    // The first 20 s hold the intro (no kick) and the start of the build (kick, offbeat bass
    // and hats from 16 s), so each part alone can be measured there.
    const long frames = 20 * TrackRate;
    std::vector<short> kick, bass, hats;
    TrackLevels levels;
    ASSERT_TRUE(RenderTrack(frames, TrackKick, &kick, &levels));
    ASSERT_TRUE(RenderTrack(frames, TrackBass, &bass, &levels));
    ASSERT_TRUE(RenderTrack(frames, TrackHats, &hats, &levels));

    EXPECT_EQ(Rms(kick, 0, 16 * TrackRate - 1), 0.0) << "the intro has no kick";
    EXPECT_GT(Rms(kick, 16 * TrackRate, frames), 0.01);
    EXPECT_GT(Rms(bass, 8 * TrackRate, frames), 0.005);
    EXPECT_GT(Rms(hats, 8 * TrackRate, frames), 0.001);

    EXPECT_GT(BandEnergyShare(kick, 200.0, false), 0.9);
    EXPECT_GT(BandEnergyShare(bass, 200.0, false), 0.9);
    EXPECT_GT(BandEnergyShare(hats, 5000.0, true), 0.9);
}

}  // namespace
