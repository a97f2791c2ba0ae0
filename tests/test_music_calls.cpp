// The music module against a recording stand-in of the sound library: every call it makes, with
// its arguments, in order. This binary defines the eight calls (and the layer's reason for a
// failed open) itself, so the library's own sound layer is not linked.
#include <gtest/gtest.h>

#include <fsound.h>
#include <fsound_ext.h>

#include "audio/music.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string name;
    std::vector<long long> args;
    bool operator==(const Call &other) const { return name == other.name && args == other.args; }
};
void PrintTo(const Call &call, std::ostream *out)
{
    *out << call.name << testing::PrintToString(call.args);
}

std::vector<Call> calls;
FSOUND_STREAM *const TheStream = reinterpret_cast<FSOUND_STREAM *>(0x5000);
const long long Stream = 0x5000;
int playResult;           // what FSOUND_Stream_PlayEx returns
const char *openedData;   // the block FSOUND_Stream_Open was given
std::string openedBytes;  // and what it held then

long long Handle(const void *p) { return (long long)reinterpret_cast<uintptr_t>(p); }

} // namespace

signed char FSOUND_SetOutput(int type) { calls.push_back({"SetOutput", {type}}); return 1; }
signed char FSOUND_Init(int rate, int channels, unsigned int flags)
{
    calls.push_back({"Init", {rate, channels, flags}});
    return 1;
}
void FSOUND_Close() { calls.push_back({"Close", {}}); }
FSOUND_STREAM *FSOUND_Stream_Open(const char *data, unsigned int mode, int offset, int length)
{
    calls.push_back({"Stream_Open", {mode, offset, length}});
    openedData = data;
    openedBytes.assign(data, size_t(length));
    return TheStream;
}
int FSOUND_Stream_PlayEx(int channel, FSOUND_STREAM *stream, FSOUND_DSPUNIT *dsp, signed char paused)
{
    calls.push_back({"Stream_PlayEx", {channel, Handle(stream), Handle(dsp), paused}});
    return playResult;
}
signed char FSOUND_SetPaused(int channel, signed char paused)
{
    calls.push_back({"SetPaused", {channel, paused}});
    return 1;
}
int FSOUND_Stream_GetTime(FSOUND_STREAM *stream)
{
    calls.push_back({"Stream_GetTime", {Handle(stream)}});
    return 1234;
}
signed char FSOUND_Stream_SetTime(FSOUND_STREAM *stream, int ms)
{
    calls.push_back({"Stream_SetTime", {Handle(stream), ms}});
    return 1;
}
// The layer's reason for a failed open, which the module asks for when it reports a bad track;
// not one of the eight calls, so not recorded.
const char *SoundStreamOpenError() { return ""; }
// Where the stream stops early, asked after every open; not one of the eight calls either.
int SoundStreamDamageAt(FSOUND_STREAM *, int, const char **words, bool *playsOn)
{
    *words = "";
    *playsOn = false;
    return -1;
}

namespace {

// Each test runs in a fresh working directory, with the music module back at its start.
class MusicCalls : public testing::Test {
protected:
    char folder[32] = "/tmp/kelvo-calls-XXXXXX";
    void SetUp() override
    {
        ASSERT_TRUE(mkdtemp(folder) && chdir(folder) == 0 && mkdir("data", 0755) == 0);
        free(music.musicData);
        music = {nullptr, -1, nullptr, 0};
        calls.clear();
        playResult = 3;
    }
    void TearDown() override
    {
        unlink("data/music.mp3");
        rmdir("data");
        EXPECT_EQ(chdir("/tmp"), 0);
        rmdir(folder);
    }
    static void WriteTrack(const std::string &bytes)
    {
        FILE *out = fopen("data/music.mp3", "wb");
        ASSERT_NE(out, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), out);
        fclose(out);
    }
};

TEST_F(MusicCalls, StartOpensTheFileFromMemoryPausedThenRunsAndTheRestUseItsStream)
{
    const std::string track("ID3\0\x01track", 10);
    WriteTrack(track);
    StartMusic();
    const std::vector<Call> start = {
        {"SetOutput", {1}},
        {"Init", {44100, 32, 0}},
        {"Stream_Open", {0x28130, 0, 10}}, // 16-bit signed mono, from memory, accurate seeking
        {"Stream_PlayEx", {-1, Stream, 0, 1}},
        {"SetPaused", {3, 0}},
    };
    EXPECT_EQ(calls, start);
    EXPECT_EQ(openedData, music.musicData) << "the data stays with the module";
    EXPECT_EQ(openedBytes, track);

    calls.clear();
    StartMusic(); // a window re-creation: the playing track is left alone
    EXPECT_EQ(MusicPositionMs(), 1234);
    SeekMusic(-400);
    StopMusic();
    const std::vector<Call> rest = {{"Stream_GetTime", {Stream}}, {"Stream_SetTime", {Stream, -400}}, {"Close", {}}};
    EXPECT_EQ(calls, rest);
}

TEST_F(MusicCalls, AFailedPlayIsTriedAgainAndAMissingFileClosesTheLibrary)
{
    WriteTrack("abc");
    playResult = -1;
    StartMusic();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(music.playbackChannel, -1);
    calls.clear();
    playResult = 0;
    StartMusic();
    EXPECT_EQ(calls.size(), 5u) << "a negative channel starts everything again";
    EXPECT_EQ(music.playbackChannel, 0);

    music = {nullptr, -1, music.musicData, 0};
    unlink("data/music.mp3");
    calls.clear();
    testing::internal::CaptureStdout();
    StartMusic();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error!\nFile Not Found\n");
    const std::vector<Call> missing = {{"SetOutput", {1}}, {"Init", {44100, 32, 0}}, {"Close", {}}};
    EXPECT_EQ(calls, missing);
}

} // namespace
