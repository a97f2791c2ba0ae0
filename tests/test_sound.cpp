// The sound layer: decoding through the offline output, seeks, the silent and device clocks,
// and calls it must shrug off.
#include <gtest/gtest.h>

#include "tests/test_files.h"

#include <fsound.h>
#include <fsound_ext.h>
#include <mpg123.h>

#include "platform/sound/sound_seam.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const unsigned int Mode = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;

std::string Fixture(const char *name)
{
    return std::string(KELVO_TEST_DATA) + "/" + name;
}

// The whole file decoded by libmpg123 alone, 16-bit at its own rate and channel count.
std::vector<short> StraightDecode(const std::string &path, int *channels)
{
    std::vector<short> samples;
    mpg123_init();
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(decoder);
    const long *rates;
    size_t count;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; i++)
        mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long rate;
    int encoding;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK && mpg123_getformat(decoder, &rate, channels, &encoding) == MPG123_OK) {
        short buffer[4096];
        size_t got = 0;
        int result;
        do {
            result = mpg123_read(decoder, buffer, sizeof buffer, &got);
            samples.insert(samples.end(), buffer, buffer + got / 2);
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
    }
    mpg123_delete(decoder);
    return samples;
}

// The last sounding frame of a rendering, in milliseconds at 44100 Hz; -1 when all silent.
int LastSoundMs(const std::vector<short> &stereo)
{
    for (size_t i = stereo.size(); i-- > 0;)
        if (stereo[i])
            return int(i / 2 * 1000 / 44100);
    return -1;
}

class Sound : public testing::Test {
protected:
    std::vector<char> data;

    void TearDown() override
    {
        FSOUND_Close();
        SoundSeam_UseRealClock();
        SoundSeam_FakeDevice(false, 0);
    }

    FSOUND_STREAM *Start(int output, const char *fixture)
    {
        FSOUND_SetOutput(output);
        EXPECT_TRUE(FSOUND_Init(44100, 32, 0));
        data = ReadWhole(Fixture(fixture));
        EXPECT_FALSE(data.empty()) << fixture;
        return FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    }

    static std::vector<short> Render(int frames)
    {
        std::vector<short> out(size_t(frames) * 2);
        EXPECT_EQ(RenderSoundOffline(out.data(), frames), frames);
        return out;
    }
};

TEST_F(Sound, OfflineOutputEqualsAStraightDecodeThenSilence)
{
    for (const char *name : {"stereo44_tag.mp3", "stereo44_notag.mp3", "vbr44.mp3"}) {
        SCOPED_TRACE(name);
        int channels = 0;
        std::vector<short> expected = StraightDecode(Fixture(name), &channels);
        ASSERT_EQ(channels, 2);
        ASSERT_GT(expected.size(), 44100u * 2 * 2);
        if (std::string(name) == "stereo44_tag.mp3") {  // gapless: exactly the 3 s that were encoded
            EXPECT_EQ(expected.size(), 3u * 44100 * 2);
        }
        FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, name);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0), 0);
        int frames = int(expected.size() / 2);
        std::vector<short> got = Render(frames + 4410);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin())) << "decoded samples differ";
        for (size_t i = expected.size(); i < got.size(); i++)
            ASSERT_EQ(got[i], 0) << "after the end comes silence";
        // The position went on through the silence, at the output's own count.
        EXPECT_EQ(FSOUND_Stream_GetTime(stream), int(int64_t(frames + 4410) * 1000 / 44100));
        FSOUND_Close();
    }
}

TEST_F(Sound, SeekLandsOnTheExactSample)
{
    int channels = 0;
    std::vector<short> expected = StraightDecode(Fixture("stereo44_tag.mp3"), &channels);
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, "stereo44_tag.mp3");
    ASSERT_NE(stream, nullptr);
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    Render(1000);
    for (int ms : {1234, 1, 2999, 0, 700}) {
        SCOPED_TRACE(ms);
        ASSERT_TRUE(FSOUND_Stream_SetTime(stream, ms));
        EXPECT_EQ(FSOUND_Stream_GetTime(stream), ms);
        size_t first = size_t((int64_t(ms) * 44100 + 999) / 1000) * 2;
        std::vector<short> got = Render(2000);
        size_t n = std::min(got.size(), expected.size() - first);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, expected.begin() + first));
        EXPECT_EQ(FSOUND_Stream_GetTime(stream), int((first / 2 + 2000) * 1000 / 44100));
    }
    // Below 0 plays from the start; past the end, silence with the position moving on.
    FSOUND_Stream_SetTime(stream, -250);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);
    std::vector<short> got = Render(100);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
    FSOUND_Stream_SetTime(stream, 60000);
    got = Render(4410);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](short s) { return s == 0; }));
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 60100);
}

TEST_F(Sound, OtherRatesAreResampledAndMonoPlaysOnBothSides)
{
    struct Case { const char *name; long rate; bool mono; };
    for (Case c : {Case{"stereo48.mp3", 48000, false}, Case{"mono22.mp3", 22050, true}}) {
        SCOPED_TRACE(c.name);
        int channels = 0;
        std::vector<short> source = StraightDecode(Fixture(c.name), &channels);
        size_t sourceFrames = source.size() / size_t(channels);
        FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, c.name);
        ASSERT_NE(stream, nullptr);
        FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
        size_t expectedFrames = sourceFrames * 44100 / size_t(c.rate);
        std::vector<short> got = Render(int(expectedFrames) + 4410);
        // Sound as long as the source's, converted (within the resampler's few samples).
        size_t last = 0;
        double energy = 0, sourceEnergy = 0, sideDifference = 0;
        for (size_t i = 0; i < got.size() / 2; i++) {
            if (got[2 * i] || got[2 * i + 1])
                last = i;
            energy += double(got[2 * i]) * got[2 * i];
            sideDifference += std::abs(got[2 * i] - got[2 * i + 1]);
        }
        size_t sourceLast = 0;
        for (size_t i = 0; i < source.size(); i++) {
            sourceEnergy += double(source[i]) * source[i];
            if (source[i])
                sourceLast = i / size_t(channels);
        }
        EXPECT_NEAR(double(last), double(sourceLast) * 44100 / double(c.rate), 64.0);
        // Same loudness: the tones sit far below both rates' cut-off.
        double perFrame = energy / double(expectedFrames);
        double sourcePerFrame = sourceEnergy / double(sourceFrames * size_t(channels));
        EXPECT_NEAR(perFrame / sourcePerFrame, 1.0, 0.05);
        if (c.mono)
            EXPECT_EQ(sideDifference, 0.0);
        else
            EXPECT_GT(sideDifference, 1e6);
        FSOUND_Close();
    }
}

// Files joined end to end play through, each part in its own format, to the exact length of the
// parts together; seeks land in the part they name.
TEST_F(Sound, JoinedFilesPlayThroughEachPartInItsOwnFormat)
{
    struct Case { const char *joined, *first, *second; };
    for (Case c : {Case{"joined44.mp3", "stereo44_tag.mp3", "vbr44.mp3"},
                   Case{"mono_then_stereo.mp3", "mono44.mp3", "stereo44_tag.mp3"}}) {
        SCOPED_TRACE(c.joined);
        std::vector<short> expected;
        for (const char *part : {c.first, c.second}) {
            int channels = 0;
            std::vector<short> samples = StraightDecode(Fixture(part), &channels);
            ASSERT_FALSE(samples.empty()) << part;
            for (size_t i = 0; i < samples.size(); i += size_t(channels))
                expected.insert(expected.end(), {samples[i], samples[i + size_t(channels) - 1]});
        }
        FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, c.joined);
        ASSERT_NE(stream, nullptr);
        const char *words = nullptr;
        EXPECT_EQ(SoundStreamDamage(stream, &words), -1) << words;
        FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
        std::vector<short> got = Render(int(expected.size() / 2) + 4410);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got.begin())) << "decoded samples differ";
        EXPECT_TRUE(std::all_of(got.begin() + long(expected.size()), got.end(), [](short s) { return s == 0; }));
        // Into the second part, and back into the first: as the part alone from the same place.
        int channels = 0;
        const size_t firstSamples = StraightDecode(Fixture(c.first), &channels).size();
        const int firstMs = int(firstSamples / size_t(channels) * 1000 / 44100);
        const int seeks[] = {firstMs + 500, 1200, firstMs + 1001};
        std::vector<std::vector<short>> heard;
        for (int ms : seeks) {
            FSOUND_Stream_SetTime(stream, ms);
            heard.push_back(Render(2000));
            EXPECT_EQ(FSOUND_Stream_GetTime(stream), int(((int64_t(ms) * 44100 + 999) / 1000 + 2000) * 1000 / 44100));
        }
        FSOUND_Close();
        for (size_t i = 0; i < heard.size(); i++) {
            SCOPED_TRACE(seeks[i]);
            const bool inFirst = seeks[i] < firstMs;
            FSOUND_STREAM *alone = Start(FSOUND_OUTPUT_OFFLINE, inFirst ? c.first : c.second);
            FSOUND_Stream_PlayEx(FSOUND_FREE, alone, nullptr, 0);
            FSOUND_Stream_SetTime(alone, inFirst ? seeks[i] : seeks[i] - firstMs);
            EXPECT_TRUE(Render(2000) == heard[i]);
            EXPECT_GT(std::count_if(heard[i].begin(), heard[i].end(), [](short s) { return s != 0; }), 3000);
            FSOUND_Close();
        }
    }

    // A 44.1 kHz part, then a 22.05 kHz one: the second is resampled and the whole is as long as
    // the two parts are at 44.1 kHz.
    int channels = 0;
    const std::vector<short> first = StraightDecode(Fixture("stereo44_tag.mp3"), &channels);
    const size_t secondFrames = StraightDecode(Fixture("stereo22.mp3"), &channels).size() / 2 * 2;
    const size_t firstFrames = first.size() / 2;
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, "rate44_then_22.mp3");
    ASSERT_NE(stream, nullptr);
    const char *words = nullptr;
    EXPECT_EQ(SoundStreamDamage(stream, &words), -1) << words;
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    std::vector<short> got = Render(int(firstFrames + secondFrames) + 4410);
    ASSERT_TRUE(std::equal(first.begin(), first.end(), got.begin()));
    EXPECT_NEAR(double(LastSoundMs(got)), double(firstFrames + secondFrames) * 1000 / 44100, 5.0);
    size_t silentStretch = 0, longest = 0;  // no gap at the join
    for (size_t i = firstFrames - 4410; i < firstFrames + secondFrames - 4410; i++) {
        silentStretch = got[2 * i] || got[2 * i + 1] ? 0 : silentStretch + 1;
        longest = std::max(longest, silentStretch);
    }
    EXPECT_LT(longest, 441u);
    FSOUND_Stream_SetTime(stream, 4000);
    got = Render(4410);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 4100);
    EXPECT_GT(std::count_if(got.begin(), got.end(), [](short s) { return s != 0; }), 4000);
    FSOUND_Close();

    // A second part that holds no audio the decoder takes: the first plays, the rest is damage.
    std::vector<char> joined = ReadWhole(Fixture("stereo44_tag.mp3"));
    const char tag[10] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    joined.insert(joined.end(), tag, tag + 10);
    srand(3);
    for (int i = 0; i < 40000; i++)
        joined.push_back(char(rand() % 0xe0));  // no sync byte
    testing::internal::CaptureStderr();
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    stream = FSOUND_Stream_Open(joined.data(), Mode, 0, int(joined.size()));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(SoundStreamDamage(stream, &words), 3000);
    EXPECT_STREQ(words, "no MPEG audio found");
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    got = Render(4 * 44100);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + long(first.size()), got.end(), [](short s) { return s == 0; }));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

namespace {

// The stereo frame of `got` from which `part` (stereo) follows sample for sample, searched from
// frame `from` to `to`; -1 when it is nowhere there.
long FindPart(const std::vector<short> &got, const std::vector<short> &part, long from, long to)
{
    for (long at = std::max(from, 0L); at <= to && size_t(2 * at) + part.size() <= got.size(); at++)
        if (std::equal(part.begin(), part.end(), got.begin() + 2 * at))
            return at;
    return -1;
}

} // namespace

// Every file of a join plays after the one before it, or the layer names the one it cannot play
// (or where one stops early) and plays the files after it.
TEST_F(Sound, EveryFileOfAJoinPlaysOrIsNamed)
{
    const std::vector<char> tagged = ReadWhole(Fixture("stereo44_tag.mp3")), vbr = ReadWhole(Fixture("vbr44.mp3"));
    const std::vector<char> plain = ReadWhole(Fixture("stereo44_notag.mp3"));
    int channels = 0;
    const std::vector<short> first = StraightDecode(Fixture("stereo44_tag.mp3"), &channels);
    const std::vector<short> vbrSound = StraightDecode(Fixture("vbr44.mp3"), &channels);
    const std::vector<short> plainSound = StraightDecode(Fixture("stereo44_notag.mp3"), &channels);
    ASSERT_EQ(channels, 2);
    const long join = long(first.size() / 2);  // where a file after the whole first one begins
    const std::vector<char> stray = {char(0xff), char(0xfb), char(0x90), 0, 's', 't', 'r', 'a', 'y', ' ', 'b', 'y', 't', 'e', 's'};
    std::vector<char> garbled = tagged;
    srand(11);
    for (size_t i = tagged.size() / 3; i < tagged.size(); i++)
        garbled[i] = char(rand());
    struct Case {
        const char *what;
        std::vector<char> data;
        const std::vector<short> *second;  // the file that must play after the first
        long from, to;                     // where it must begin, in frames
        const char *damage;                // what the layer names, or null
    };
    const Case cases[] = {
        {"the first file cut short", Joined({CutLast(tagged, 200), vbr}), &vbrSound, join - 2304, join + 2304,
         "1 frame short of what its header announces"},
        {"the first file cut short, then one without an info frame", Joined({CutLast(tagged, 200), plain}), &plainSound,
         join - 2304, join + 2304, "1 frame short of what its header announces"},
        {"stray bytes that begin like a header", Joined({tagged, stray, vbr}), &vbrSound, join, join, nullptr},
        {"a second file without an info frame", Joined({tagged, plain}), &plainSound, join, join, nullptr},
        {"a layer II file between", Joined({tagged, LayerTwoFrames(38), vbr}), &vbrSound, join, join, "MPEG layer 2 audio, not MP3"},
        {"the first file garbled after a third", Joined({garbled, vbr}), &vbrSound, join / 4, join / 2, "MPEG data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
        ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
        FSOUND_STREAM *stream = FSOUND_Stream_Open(c.data.data(), Mode, 0, int(c.data.size()));
        ASSERT_NE(stream, nullptr);
        FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
        const std::vector<short> got = Render(int(join + long(c.second->size() / 2)) + 8820);
        EXPECT_GT(std::count_if(got.begin(), got.begin() + 44100, [](short s) { return s != 0; }), 40000)
            << "the first file plays";
        if (c.from == join) {
            EXPECT_TRUE(std::equal(first.begin(), first.end(), got.begin())) << "the whole first file plays";
        }
        const long at = FindPart(got, *c.second, c.from, c.to);
        EXPECT_GE(at, 0) << "the second file plays";
        if (at >= 0) {
            EXPECT_TRUE(std::all_of(got.begin() + 2 * at + long(c.second->size()), got.end(), [](short s) { return s == 0; }));
        }
        const char *words = nullptr;
        bool playsOn = false;
        const int stops = SoundStreamDamageAt(stream, 0, &words, &playsOn);
        if (c.damage) {
            EXPECT_NEAR(stops, at * 1000 / 44100, 30) << "named where the second file begins";
            EXPECT_NE(std::string(words).find(c.damage), std::string::npos) << words;
            EXPECT_TRUE(playsOn);
            EXPECT_EQ(SoundStreamDamage(stream, &words), stops);
        } else {
            EXPECT_EQ(stops, -1) << words;
        }
        EXPECT_EQ(SoundStreamDamageAt(stream, 1, &words, &playsOn), -1) << "said once: " << words;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        FSOUND_Close();
    }

    // Damage in the last file still ends the music, and says that nothing plays after it.
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    const std::vector<char> lastGarbled = Joined({vbr, garbled});
    FSOUND_STREAM *stream = FSOUND_Stream_Open(lastGarbled.data(), Mode, 0, int(lastGarbled.size()));
    ASSERT_NE(stream, nullptr);
    const char *words = nullptr;
    bool playsOn = true;
    EXPECT_GT(SoundStreamDamageAt(stream, 0, &words, &playsOn), 3000);
    EXPECT_FALSE(playsOn);
    FSOUND_Close();

    // The length a later file's header announces is its own, and said to be: the position named
    // is the music's.
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    const std::vector<char> secondCut = Joined({tagged, CutLast(tagged, tagged.size() * 2 / 3)});
    stream = FSOUND_Stream_Open(secondCut.data(), Mode, 0, int(secondCut.size()));
    ASSERT_NE(stream, nullptr);
    EXPECT_NEAR(SoundStreamDamageAt(stream, 0, &words, &playsOn), 4000, 100);
    EXPECT_STREQ(words, "the data ends before the 0:03 of its part that its header announces");
    EXPECT_FALSE(playsOn);
}

TEST_F(Sound, SilentOutputKeepsRealTimeAndNeverGoesBack)
{
    // The tests ask SDL for its dummy driver, which the layer answers with its own silent clock.
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_WINMM, "stereo44_tag.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ActiveSoundOutput(), FSOUND_OUTPUT_NOSOUND);
    int channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 1);
    ASSERT_GE(channel, 0);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0) << "created paused";
    ASSERT_TRUE(FSOUND_SetPaused(channel, 0));

    auto start = std::chrono::steady_clock::now();
    int first = FSOUND_Stream_GetTime(stream);
    int previous = first;
    double elapsed = 0;
    while (elapsed < 2.0) {
        int now = FSOUND_Stream_GetTime(stream);
        ASSERT_GE(now, previous);
        previous = now;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    EXPECT_NEAR((previous - first) / 1000.0, elapsed, 0.02);
    // The 3-second track has ended by now; a seek and the clock carry on regardless.
    FSOUND_Stream_SetTime(stream, 100000);
    EXPECT_GE(FSOUND_Stream_GetTime(stream), 100000);
    EXPECT_LT(FSOUND_Stream_GetTime(stream), 100050);
}

TEST_F(Sound, DeviceClockIsSmoothBetweenJitteryCallbacks)
{
    // A stand-in device at 1024 frames a callback, its callbacks arriving up to 6 ms early or
    // late; the position is read every millisecond, as a fast frame loop would.
    SoundSeam_FakeDevice(true, 1024);
    int64_t now = 1000000000;
    SoundSeam_SetClock(now);
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_WINMM, "stereo44_tag.mp3");
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(ActiveSoundOutput(), FSOUND_OUTPUT_WINMM);
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    std::vector<short> buffer(2048);
    const double period = 1024 * 1e9 / 44100;
    int64_t handedFrames = 0;
    int previous = 0, worstStep = 0, callbacks = 0;
    srand(7);
    for (int ms = 0; ms < 5000; ms++) {
        now += 1000000;
        SoundSeam_SetClock(now);
        double due = 1000000000 + callbacks * period + ((callbacks * 7919) % 13 - 6) * 1e6;
        if (now >= due) {
            ASSERT_TRUE(SoundSeam_RunCallback(buffer.data()));
            handedFrames += 1024;
            callbacks++;
        }
        int position = FSOUND_Stream_GetTime(stream);
        ASSERT_GE(position, previous) << "at " << ms;
        ASSERT_LE(int64_t(position) * 44100 / 1000, handedFrames) << "ahead of the audio at " << ms;
        if (ms > 500)
            worstStep = std::max(worstStep, std::abs(position - previous - 1));
        previous = position;
    }
    EXPECT_LE(worstStep, 1) << "a step of the position strayed from the wall clock's";
    // Callbacks began at 0 ms, each handing a buffer ahead: with two buffers counted as queued,
    // the position trails the wall clock by one.
    EXPECT_NEAR(previous, 5000 - 1024 * 1000 / 44100, 6);

    // A seek reads back at once, holds until the new audio is heard, then moves on.
    FSOUND_Stream_SetTime(stream, 2000);
    int held = FSOUND_Stream_GetTime(stream);
    EXPECT_EQ(held, 2000);
    for (int i = 0; i < 3; i++) {
        now += int64_t(period);
        SoundSeam_SetClock(now);
        SoundSeam_RunCallback(buffer.data());
    }
    EXPECT_GT(FSOUND_Stream_GetTime(stream), 2000);
    EXPECT_LT(FSOUND_Stream_GetTime(stream), 2000 + 3 * 24);
}

TEST_F(Sound, ADeviceThatGoesAwayLeavesARealTimeClockAndComesBackWhereItIs)
{
    int channels = 0;
    const std::vector<short> expected = StraightDecode(Fixture("stereo44_tag.mp3"), &channels);
    ASSERT_EQ(channels, 2);
    SoundSeam_FakeDevice(true, 1024);
    int64_t now = 1000000000;
    SoundSeam_SetClock(now);
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_WINMM, "stereo44_tag.mp3");
    ASSERT_NE(stream, nullptr);
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    std::vector<short> buffer(2048);
    const int64_t period = int64_t(1024 * 1e9 / 44100);
    for (int i = 0; i < 20; i++) {  // about 464 ms of callbacks
        ASSERT_TRUE(SoundSeam_RunCallback(buffer.data()));
        now += period;
        SoundSeam_SetClock(now);
    }
    const int before = FSOUND_Stream_GetTime(stream);
    EXPECT_GT(before, 400);

    testing::internal::CaptureStderr();
    SoundSeam_LoseDevice("the stand-in was unplugged");
    SoundSeam_LoseDevice("twice");  // already lost: nothing more
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "sound: the audio output went away at 0:00 (the stand-in was unplugged); the music is silent\n");
    EXPECT_FALSE(SoundSeam_RunCallback(buffer.data())) << "a lost device is not filled";
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), before) << "from the position reached";
    now += 700000000;  // 700 ms with no callback at all
    SoundSeam_SetClock(now);
    EXPECT_NEAR(FSOUND_Stream_GetTime(stream), before + 700, 1) << "the clock runs on in real time";
    FSOUND_Stream_SetTime(stream, 1500);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 1500) << "seeks still move it";
    now += 250000000;
    SoundSeam_SetClock(now);
    EXPECT_NEAR(FSOUND_Stream_GetTime(stream), 1750, 1);

    testing::internal::CaptureStderr();
    SoundSeam_DeviceBack();
    SoundSeam_DeviceBack();  // already back: nothing more
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "sound: the audio output is back; the music plays on from 0:01\n");
    const int resumed = FSOUND_Stream_GetTime(stream);
    EXPECT_NEAR(resumed, 1750, 1);
    // The first fill after the return plays the track from the position the clock had reached.
    ASSERT_TRUE(SoundSeam_RunCallback(buffer.data()));
    const size_t first = size_t(int64_t(resumed) * 44100 / 1000) * 2;
    int bestShift = -1;
    for (int shift = 0; shift <= 44 * 2 && bestShift < 0; shift++)  // within 2 ms of it
        if (std::equal(buffer.begin(), buffer.end(), expected.begin() + long(first) + 2 * shift))
            bestShift = shift;
    EXPECT_GE(bestShift, 0) << "the music resumes where the clock was";
    for (int i = 0; i < 10; i++) {
        now += period;
        SoundSeam_SetClock(now);
        ASSERT_TRUE(SoundSeam_RunCallback(buffer.data()));
    }
    const int later = FSOUND_Stream_GetTime(stream);
    EXPECT_GE(later, resumed) << "never back";
    EXPECT_NEAR(later, resumed + 10 * 1024 * 1000 / 44100, 30) << "and follows the device again";
}

TEST_F(Sound, CallsWithoutAStreamOrAfterCloseDoNothing)
{
    FSOUND_STREAM *bogus = reinterpret_cast<FSOUND_STREAM *>(uintptr_t(0x1234501));
    // Never started.
    EXPECT_EQ(FSOUND_Stream_Open("x", Mode, 0, 1), nullptr);
    EXPECT_EQ(FSOUND_Stream_GetTime(nullptr), 0);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, nullptr, nullptr, 1), -1);
    EXPECT_FALSE(FSOUND_SetPaused(-1, 0));
    FSOUND_Close();

    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, "stereo44_tag.mp3");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, bogus, nullptr, 0), -1);
    EXPECT_EQ(FSOUND_Stream_PlayEx(32, stream, nullptr, 0), -1) << "past the 32 channels";
    EXPECT_FALSE(FSOUND_SetPaused(-1, 0));
    EXPECT_FALSE(FSOUND_SetPaused(5, 0)) << "nothing on that channel";
    EXPECT_FALSE(FSOUND_Stream_SetTime(bogus, 10));
    EXPECT_EQ(FSOUND_Stream_GetTime(bogus), 0);
    FSOUND_Stream_SetTime(stream, 500);

    // Closed: the old handle is dead even once the library runs again.
    FSOUND_Close();
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);
    EXPECT_FALSE(FSOUND_Stream_SetTime(stream, 10));
    FSOUND_Close();
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    FSOUND_Init(44100, 32, 0);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 0);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0), -1);
    short out[8];
    EXPECT_EQ(RenderSoundOffline(out, 0), 0);
    EXPECT_FALSE(FSOUND_Init(1000, 32, 0));
    EXPECT_EQ(ActiveSoundOutput(), -1) << "a refused Init leaves the library closed";

    // A forced output overrides what the caller asks for, until lifted.
    EXPECT_FALSE(ForceSoundOutput(7));
    ASSERT_TRUE(ForceSoundOutput(FSOUND_OUTPUT_OFFLINE));
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_Init(44100, 32, 0);
    EXPECT_EQ(ActiveSoundOutput(), FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(ForceSoundOutput(-1));
    FSOUND_Init(44100, 32, 0);
    EXPECT_EQ(ActiveSoundOutput(), FSOUND_OUTPUT_NOSOUND) << "the default device, which the tests make silent";
}

TEST_F(Sound, EmptyGarbageAndTruncatedDataNeverCrash)
{
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    char empty[1] = {0};
    EXPECT_EQ(FSOUND_Stream_Open(empty, Mode, 0, 0), nullptr);
    std::vector<char> garbage(200000);
    srand(1);
    for (char &c : garbage)
        c = char(rand());
    FSOUND_STREAM *noise = FSOUND_Stream_Open(garbage.data(), Mode, 0, int(garbage.size()));
    EXPECT_EQ(noise, nullptr);
    EXPECT_EQ(FSOUND_Stream_Open("/nonexistent/music.mp3", FSOUND_NORMAL, 0, 0), nullptr);

    // The first 40 % of a track plays, then silence.
    data = ReadWhole(Fixture("stereo44_tag.mp3"));
    int cut = int(data.size() * 2 / 5);
    FSOUND_STREAM *stream = FSOUND_Stream_Open(data.data(), Mode, 0, cut);
    ASSERT_NE(stream, nullptr);
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    std::vector<short> got = Render(3 * 44100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the decoder must print nothing";
    size_t last = 0;
    for (size_t i = 0; i < got.size(); i++)
        if (got[i])
            last = i / 2;
    EXPECT_GT(last, 44100u * 2 / 5 * 3 - 8000);
    EXPECT_LT(last, 44100u * 2 / 5 * 3 + 8000);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 3000);
    FSOUND_Stream_SetTime(stream, 2500);  // past the valid data
    Render(441);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 2510);

    // Damage in the middle: what plays, plays quietly; where the decoder cannot get past it,
    // the rest is silence and the layer says where it begins.
    for (size_t i = data.size() / 3; i < data.size() / 2; i += 97)
        data[i] = char(data[i] ^ 0x5a);
    testing::internal::CaptureStderr();
    stream = FSOUND_Stream_Open(data.data(), Mode, 0, int(data.size()));
    ASSERT_NE(stream, nullptr);
    FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
    got = Render(3 * 44100);
    FSOUND_Stream_SetTime(stream, 1200);
    Render(4410);
    EXPECT_EQ(FSOUND_Stream_GetTime(stream), 1300);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const char *words = nullptr;
    const int stops = SoundStreamDamage(stream, &words);
    // The damage makes a frame look like one of another format, which ends the audio there.
    EXPECT_EQ(got[2 * 44100 * 5 / 2], 0);
    EXPECT_NEAR(stops, LastSoundMs(got), 60);
    EXPECT_GT(stops, 900) << "the first third plays";
    EXPECT_STREQ(words, "a frame in another format ends the audio");
}


TEST_F(Sound, AudioThatStopsEarlyIsFoundAtTheOpenWhereItStops)
{
    FSOUND_STREAM *healthy = Start(FSOUND_OUTPUT_OFFLINE, "stereo44_tag.mp3");
    ASSERT_NE(healthy, nullptr);
    const char *words = "unset";
    EXPECT_EQ(SoundStreamDamage(healthy, &words), -1);
    EXPECT_STREQ(words, "");
    EXPECT_EQ(SoundStreamDamage(nullptr, &words), -1);
    EXPECT_STREQ(words, "");
    const std::vector<char> whole = data;

    // The first third intact, garbage after it: the open names the end of the intact audio.
    std::vector<char> damaged = whole;
    srand(7);
    for (size_t i = whole.size() / 3; i < damaged.size(); i++)
        damaged[i] = char(rand());
    // Cut short after a third, with the header still announcing the whole length.
    const std::vector<char> cut(whole.begin(), whole.begin() + long(whole.size() / 3));
    const struct {
        const std::vector<char> *bytes;
        const char *what;
        const char *words;
    } cases[] = {{&damaged, "garbage after a third", "MPEG data"}, {&cut, "cut after a third", "its header announces"}};
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        FSOUND_STREAM *stream = FSOUND_Stream_Open(c.bytes->data(), Mode, 0, int(c.bytes->size()));
        ASSERT_NE(stream, nullptr) << c.what;
        words = nullptr;
        const int stops = SoundStreamDamage(stream, &words);
        FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
        const int heard = LastSoundMs(Render(4 * 44100));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.what;
        EXPECT_GT(heard, 800) << c.what;
        EXPECT_NEAR(stops, heard, 60) << c.what << ": the position named is where the sound ends";
        EXPECT_NE(std::string(words ? words : "").find(c.words), std::string::npos) << c.what << ": " << words;
        FSOUND_Stream_SetTime(stream, 0);  // stays what it was found to be
        EXPECT_EQ(SoundStreamDamage(stream, &words), stops) << c.what;
    }

    // Without the exact open nothing is scanned, so nothing is known.
    FSOUND_STREAM *unscanned =
        FSOUND_Stream_Open(damaged.data(), FSOUND_NORMAL | FSOUND_LOADMEMORY, 0, int(damaged.size()));
    ASSERT_NE(unscanned, nullptr);
    EXPECT_EQ(SoundStreamDamage(unscanned, &words), -1);
}

TEST_F(Sound, TheDecoderPrintsNothingOnAFuzzFinding)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    FSOUND_STREAM *stream = Start(FSOUND_OUTPUT_OFFLINE, "decoder_message.mp3");
    if (stream) {
        FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, 0);
        Render(44100);
        FSOUND_Stream_SetTime(stream, 50);
        Render(44100);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Sound, InitWhileStartedClosesFirstAndFileNamesWork)
{
    FSOUND_SetOutput(FSOUND_OUTPUT_OFFLINE);
    ASSERT_TRUE(FSOUND_Init(44100, 2, 0));
    FSOUND_STREAM *byName = FSOUND_Stream_Open(Fixture("mono22.mp3").c_str(), FSOUND_NORMAL, 0, 0);
    ASSERT_NE(byName, nullptr);
    FSOUND_STREAM *other = FSOUND_Stream_Open(Fixture("vbr44.mp3").c_str(), FSOUND_NORMAL, 0, 0);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, byName, nullptr, 0), 0);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, other, nullptr, 0), 1);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, byName, nullptr, 0), 0) << "a stream keeps its channel";
    // Taking a busy channel stops what played there.
    EXPECT_EQ(FSOUND_Stream_PlayEx(1, byName, nullptr, 0), 1);
    Render(4410);
    EXPECT_EQ(FSOUND_Stream_GetTime(byName), 100);
    EXPECT_EQ(FSOUND_Stream_GetTime(other), 0);
    ASSERT_TRUE(FSOUND_Init(44100, 2, 0));
    EXPECT_EQ(FSOUND_Stream_GetTime(byName), 0);
    EXPECT_EQ(FSOUND_Stream_PlayEx(FSOUND_FREE, other, nullptr, 0), -1);

    // A pipe by name is refused at once, not waited on.
    const std::string path = testing::TempDir() + "kelvo_sound_pipe.mp3";
    StuckPipe pipe(path, 5);
    ASSERT_TRUE(pipe.made());
    EXPECT_EQ(FSOUND_Stream_Open(path.c_str(), FSOUND_NORMAL, 0, 0), nullptr);
    EXPECT_STREQ(SoundStreamOpenError(), "a pipe, not a file");
    EXPECT_FALSE(pipe.released()) << "the open waited for a writer";
}

} // namespace
