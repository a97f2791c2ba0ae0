// The MP3 frame index the Windows decoder starts and cuts the music by: its length and cut must
// be what libmpg123 decodes on Linux, on every kind of test file, and broken data must give no
// index rather than a wrong one.
#include <gtest/gtest.h>

#include "platform/sound/mp3_frames.h"
#include "tests/test_files.h"

#include <mpg123.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Fixture(const char *name)
{
    return std::string(KELVO_TEST_DATA) + "/" + name;
}

bool Index(const std::vector<char> &data, Mp3Frames *frames, const char **why)
{
    return IndexMp3Frames(reinterpret_cast<const unsigned char *>(data.data()), data.size(), frames, why);
}

// libmpg123's gapless length of the file, its rate and channels.
long DecoderLength(const std::string &path, long *rate, int *channels)
{
    mpg123_init();
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    int encoding = 0;
    long length = -1;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK && mpg123_scan(decoder) == MPG123_OK
        && mpg123_getformat(decoder, rate, channels, &encoding) == MPG123_OK)
        length = long(mpg123_length(decoder));
    mpg123_delete(decoder);
    return length;
}

// The file decoded by libmpg123 as 16-bit samples, with or without its gapless cut.
std::vector<short> Decode(const std::string &path, bool gapless)
{
    mpg123_init();
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, gapless ? MPG123_ADD_FLAGS : MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    std::vector<short> samples;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK) {
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

} // namespace

TEST(Mp3Frames, TheCutIsWhereTheLinuxDecoderCutsTheMusic)
{
    // Decoded without a cut, the music starts `skip` samples in and lasts `length` samples.
    for (const char *name : {"stereo44_tag.mp3", "stereo48.mp3"}) {
        Mp3Frames frames;
        const char *why;
        ASSERT_TRUE(Index(ReadWhole(Fixture(name)), &frames, &why)) << name;
        std::vector<short> raw = Decode(Fixture(name), false), cut = Decode(Fixture(name), true);
        ASSERT_EQ(int64_t(cut.size()), 2 * frames.length) << name;
        ASSERT_GE(int64_t(raw.size()), 2 * (frames.skip + frames.length)) << name;
        EXPECT_TRUE(std::equal(cut.begin(), cut.end(), raw.begin() + 2 * frames.skip)) << name;
    }
}

TEST(Mp3Frames, AFileCutShortKeepsAllTheMusicItHas)
{
    // The padding is in the frames that are gone: the music runs to the last whole frame, as
    // libmpg123 decodes it, and starts where the whole file's does.
    for (const char *name : {"stereo44_tag.mp3", "vbr44.mp3"}) {
        Mp3Frames whole;
        const char *why;
        ASSERT_TRUE(Index(ReadWhole(Fixture(name)), &whole, &why)) << name;
        for (size_t cut : {size_t(200), size_t(1000)}) {
            const std::string path = ::testing::TempDir() + "/cut.mp3";
            const std::vector<char> bytes = CutLast(ReadWhole(Fixture(name)), cut);
            FILE *file = fopen(path.c_str(), "wb");
            ASSERT_TRUE(file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
            fclose(file);
            Mp3Frames frames;
            ASSERT_TRUE(Index(bytes, &frames, &why)) << name << " less " << cut;
            EXPECT_LT(frames.offset.size(), whole.offset.size()) << name << " less " << cut;
            EXPECT_EQ(frames.skip, whole.skip) << name << " less " << cut;
            EXPECT_EQ(2 * frames.length, int64_t(Decode(path, true).size())) << name << " less " << cut;
            EXPECT_EQ(frames.length, int64_t(frames.offset.size()) * frames.samplesPerFrame - whole.skip)
                << name << " less " << cut;
            remove(path.c_str());
        }
    }
}

TEST(Mp3Frames, LengthRateAndChannelsAreTheLinuxDecodersOnEveryKindOfFile)
{
    const char *files[] = {"stereo44_tag.mp3", "stereo44_notag.mp3", "vbr44.mp3", "stereo48.mp3", "mono22.mp3"};
    for (const char *name : files) {
        std::vector<char> data = ReadWhole(Fixture(name));
        ASSERT_FALSE(data.empty()) << name;
        Mp3Frames frames;
        const char *why = nullptr;
        ASSERT_TRUE(Index(data, &frames, &why)) << name << ": " << why;
        long rate = 0;
        int channels = 0;
        long length = DecoderLength(Fixture(name), &rate, &channels);
        EXPECT_EQ(frames.length, length) << name;
        EXPECT_EQ(frames.rate, rate) << name;
        EXPECT_EQ(frames.channels, channels) << name;
        EXPECT_EQ(int64_t(frames.offset.size()) * frames.samplesPerFrame >= frames.skip + frames.length, true) << name;
    }
    // The tagged file cuts the encoder's delay and the decoder's; the untagged one cuts nothing.
    Mp3Frames tagged, plain;
    const char *why;
    ASSERT_TRUE(Index(ReadWhole(Fixture("stereo44_tag.mp3")), &tagged, &why));
    ASSERT_TRUE(Index(ReadWhole(Fixture("stereo44_notag.mp3")), &plain, &why));
    EXPECT_GT(tagged.skip, Mp3DecoderDelay);
    EXPECT_EQ(plain.skip, 0);
    EXPECT_EQ(plain.length, int64_t(plain.offset.size()) * plain.samplesPerFrame);
}

TEST(Mp3Frames, FramesFollowEachOtherAndStopAtTheFirstBrokenOne)
{
    std::vector<char> data = ReadWhole(Fixture("stereo44_notag.mp3"));
    Mp3Frames whole;
    const char *why;
    ASSERT_TRUE(Index(data, &whole, &why));
    for (size_t i = 0; i + 1 < whole.offset.size(); i++)
        ASSERT_EQ(whole.offset[i] + whole.bytes[i], whole.offset[i + 1]) << "frame " << i;
    EXPECT_LE(whole.offset.back() + whole.bytes.back(), data.size());

    // A frame cut short at the end is left out; a frame broken in the middle ends the index there.
    std::vector<char> cut(data.begin(), data.begin() + long(whole.offset[10] + whole.bytes[10] / 2));
    Mp3Frames shorter;
    ASSERT_TRUE(Index(cut, &shorter, &why));
    EXPECT_EQ(shorter.offset.size(), 10u);
    std::vector<char> broken = data;
    broken[whole.offset[20]] = 0;
    Mp3Frames stopped;
    ASSERT_TRUE(Index(broken, &stopped, &why));
    EXPECT_EQ(stopped.offset.size(), 20u);
}

TEST(Mp3Frames, DataWithoutFramesGivesNoIndexAndSaysWhy)
{
    const std::vector<std::vector<char>> samples = {
        {},
        {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // a tag and nothing after it
        std::vector<char>(4000, 'x'),
        std::vector<char>(4000, char(0xff)),  // sync bits everywhere, no valid header
        {char(0xff), char(0xfb), char(0x90), char(0x64)},  // a header whose frame is not there
    };
    for (size_t i = 0; i < samples.size(); i++) {
        Mp3Frames frames;
        const char *why = nullptr;
        EXPECT_FALSE(Index(samples[i], &frames, &why)) << "sample " << i;
        EXPECT_STRNE(why, "") << "sample " << i;
        EXPECT_TRUE(frames.offset.empty()) << "sample " << i;
    }
    // Frames of another layer are named as such; a lone header of one is not.
    Mp3Frames none;
    const char *layerWhy = nullptr;
    EXPECT_FALSE(Index(LayerTwoFrames(38), &none, &layerWhy));
    EXPECT_STREQ(layerWhy, "MPEG layer 2 audio, not MP3");
    std::vector<char> lone = LayerTwoFrames(1);
    lone.resize(4000, 'x');
    EXPECT_FALSE(Index(lone, &none, &layerWhy));
    EXPECT_STREQ(layerWhy, "no MPEG audio found");
    // An ID3 tag that claims more than the data holds covers the frames after it: none is taken
    // from inside a tag. The same tag with its real size gives every frame.
    std::vector<char> frames = ReadWhole(Fixture("stereo44_notag.mp3"));
    Mp3Frames plain, tagged;
    const char *why;
    ASSERT_TRUE(Index(frames, &plain, &why));
    for (int claimed : {int(frames.size()) + 100, 0}) {
        const char header[10] = {'I', 'D', '3', 3, 0, 0, char(claimed >> 21 & 0x7f), char(claimed >> 14 & 0x7f),
                                 char(claimed >> 7 & 0x7f), char(claimed & 0x7f)};
        std::vector<char> data(header, header + 10);
        data.resize(10 + frames.size());
        std::copy(frames.begin(), frames.end(), data.begin() + 10);
        bool indexed = Index(data, &tagged, &why);
        EXPECT_EQ(indexed, claimed == 0) << "a tag of " << claimed << " bytes";
        if (indexed) {
            EXPECT_EQ(tagged.offset.size(), plain.offset.size());
        }
    }
}

TEST(Mp3Frames, JoinedFilesArePartsWhereTheNextFileBegins)
{
    auto parts = [](const std::vector<char> &data) {
        return FindMp3Parts(reinterpret_cast<const unsigned char *>(data.data()), data.size());
    };
    for (const char *name : {"stereo44_tag.mp3", "stereo44_notag.mp3", "vbr44.mp3", "stereo48.mp3", "mono22.mp3"})
        EXPECT_EQ(parts(ReadWhole(Fixture(name))), std::vector<size_t>{0}) << name;
    // An info frame, a channel count, a rate begins a part; so does an ID3v2 tag after audio.
    const std::vector<char> tagged = ReadWhole(Fixture("stereo44_tag.mp3")), mono = ReadWhole(Fixture("mono44.mp3"));
    const std::vector<char> plain = ReadWhole(Fixture("stereo44_notag.mp3"));
    struct Case { const char *joined; size_t at; };
    for (Case c : {Case{"joined44.mp3", tagged.size()}, Case{"mono_then_stereo.mp3", mono.size()},
                   Case{"rate44_then_22.mp3", tagged.size()}})
        EXPECT_EQ(parts(ReadWhole(Fixture(c.joined))), (std::vector<size_t>{0, c.at})) << c.joined;
    std::vector<char> three = plain;
    const char tag[10] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    three.insert(three.end(), tag, tag + 10);
    three.resize(three.size() + 20);
    three.insert(three.end(), mono.begin(), mono.end());
    three.insert(three.end(), plain.begin(), plain.end());
    EXPECT_EQ(parts(three), (std::vector<size_t>{0, plain.size(), plain.size() + 30 + mono.size()}));

    // Plain files joined, same format and no info frame, are one stream; a header broken into
    // another rate, which the next frame does not confirm, begins nothing.
    std::vector<char> twice = plain;
    twice.insert(twice.end(), plain.begin(), plain.end());
    EXPECT_EQ(parts(twice), std::vector<size_t>{0});
    Mp3Frames frames;
    const char *why;
    ASSERT_TRUE(Index(plain, &frames, &why));
    std::vector<char> broken = plain;
    broken[frames.offset[30] + 2] = char(broken[frames.offset[30] + 2] ^ 0x04);  // 44.1 kHz to 48 kHz
    EXPECT_EQ(parts(broken), std::vector<size_t>{0});
    EXPECT_EQ(parts(std::vector<char>(3000, char(0xff))), std::vector<size_t>{0});
}


TEST(Mp3Frames, AFileThatIsEasyToLoseAtAJoinBeginsItsOwnPart)
{
    auto parts = [](const std::vector<char> &data) {
        return FindMp3Parts(reinterpret_cast<const unsigned char *>(data.data()), data.size());
    };
    const std::vector<char> tagged = ReadWhole(Fixture("stereo44_tag.mp3")), vbr = ReadWhole(Fixture("vbr44.mp3"));
    const std::vector<char> plain = ReadWhole(Fixture("stereo44_notag.mp3"));
    const std::vector<char> id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 'T', 'A', 'G', 'S'};
    const std::vector<char> stray = {char(0xff), char(0xfb), char(0x90), 0, 's', 't', 'r', 'a', 'y', ' ', 'b', 'y', 't', 'e', 's'};
    const std::vector<char> layer2 = LayerTwoFrames(38);
    const size_t cut = tagged.size() - 200;
    struct Case { const char *what; std::vector<char> data; std::vector<size_t> starts; };
    const Case cases[] = {
        // The cut frame's header claims bytes of the next file: an info frame, a tag, or the
        // run of frames of a file without either begins there.
        {"cut short, then an info frame", Joined({CutLast(tagged, 200), vbr}), {0, cut}},
        {"cut short, then an ID3v2 tag", Joined({CutLast(tagged, 200), id3, vbr}), {0, cut}},
        {"cut short, then a file without an info frame", Joined({CutLast(tagged, 200), plain}), {0, cut}},
        {"cut short, then another rate", Joined({CutLast(tagged, 200), ReadWhole(Fixture("stereo22.mp3"))}), {0, cut}},
        // Stray bytes that begin like a frame header of the same format stay with the part before.
        {"stray bytes, then an info frame", Joined({tagged, stray, vbr}), {0, tagged.size() + stray.size()}},
        {"stray bytes, then an ID3v2 tag", Joined({tagged, stray, id3, plain}), {0, tagged.size() + stray.size()}},
        // The info frame counts the frames of its file: a file without one after it is a part.
        {"a file without an info frame after one with it", Joined({tagged, plain}), {0, tagged.size()}},
        {"three files, the last two plain", Joined({tagged, plain, plain}), {0, tagged.size()}},
        // Layer II frames are a part of their own.
        {"a layer II part between two", Joined({tagged, layer2, vbr}), {0, tagged.size(), tagged.size() + layer2.size()}},
        {"layer II first", Joined({layer2, tagged}), {0, layer2.size()}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parts(c.data), c.starts) << c.what;

    // A frame count that the next frame contradicts (it draws on the frames before it, as a
    // frame in the middle of a file does) begins nothing: a wrong count in one file stays one part.
    std::vector<char> miscounted = tagged;
    const size_t info = std::string(miscounted.begin(), miscounted.end()).find("Info");
    ASSERT_NE(info, std::string::npos);
    miscounted[info + 11] = char(miscounted[info + 11] - 20);  // 20 frames fewer than there are
    EXPECT_EQ(parts(miscounted), std::vector<size_t>{0});
}
