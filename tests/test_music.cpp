// The music module inside the whole demo: started once with the window, the clock it gives the
// frame, the seek keys, and the demo without a music file.
#include <gtest/gtest.h>

#include <windows.h>

#include <fsound.h>

#include "app/app.h"
#include "audio/music.h"
#include "platform/sound/sound_seam.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "tests/test_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {

const AppState pristineApp = appState;
std::function<void(int)> onPass;

void PeekHook(int call)
{
    if (call > 2000) {  // a loop that never ends would hang the suite
        ADD_FAILURE() << "the loop ran away";
        Seam_InjectClose(appState.window);
    } else if (onPass) {
        onPass(call);
    }
}

// Runs each test in a fresh working directory, with or without data/music.mp3.
class Music : public testing::Test {
protected:
    std::string home, directory;

    void SetUp() override
    {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        home = cwd;
        char pattern[] = "/tmp/kelvo-music-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_EQ(chdir(directory.c_str()), 0);
        Seam_Reset();
        appState = pristineApp;
        renderer = RendererState();
        FSOUND_Close();
        free(music.musicData);
        music = {nullptr, -1, nullptr, 0};
        onPass = nullptr;
        Seam_SetPeekHook(PeekHook);
    }

    void TearDown() override
    {
        Seam_Reset();
        FSOUND_Close();
        unlink("data/music.mp3");
        rmdir("data");
        EXPECT_EQ(chdir(home.c_str()), 0);
        rmdir(directory.c_str());
    }

    static void InstallTrack()
    {
        mkdir("data", 0755);
        FILE *in = fopen(KELVO_TEST_DATA "/stereo44_tag.mp3", "rb");
        FILE *out = fopen("data/music.mp3", "wb");
        ASSERT_TRUE(in && out);
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, in)) > 0)
            fwrite(buffer, 1, got, out);
        fclose(in);
        fclose(out);
    }

    static int Run() { return WinMain(GetModuleHandleA(NULL), NULL, const_cast<char *>(""), SW_SHOWNORMAL); }
};

TEST_F(Music, MissingFileIsReportedAndTheDemoRunsSilent)
{
    Seam_ScriptAnswers({IDNO});
    int frames = 0;
    onPass = [&](int call) {
        if (call > 0)
            frames++;
        if (call == 3) {
            SeekMusic(5000);
            Seam_InjectKey(appState.window, VK_ESCAPE, true);
        }
    };
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error!\nFile Not Found\n");
    EXPECT_EQ(music.stream, nullptr);
    EXPECT_LT(music.playbackChannel, 0);
    EXPECT_GE(frames, 3) << "the picture still came up";
    EXPECT_EQ(MusicPositionMs(), 0);
}

TEST_F(Music, StartsOnceAndPlaysOnAcrossWindowRecreation)
{
    InstallTrack();
    Seam_ScriptAnswers({IDNO});
    int opens = SoundSeam_OpenCount();
    float beforeToggle = -1, afterToggle = -1, beforeSeek = -1, afterSeek = -1;
    int channel = -1;
    onPass = [&](int call) {
        if (call == 2) {
            channel = music.playbackChannel;
            // Once playing, the file is never read again: without it, the restart below
            // would report it missing.
            unlink("data/music.mp3");
            usleep(30000);
        }
        if (call == 3) {
            beforeToggle = renderer.DemoClock;
            Seam_InjectKey(appState.window, VK_F1, true);
        }
        if (call == 6) {
            afterToggle = renderer.DemoClock;
            beforeSeek = afterToggle;
            Seam_InjectKey(appState.window, 'M', true);
        }
        if (call == 9) {  // M went down in pass 6, seeked after the frame of 7, showed in 8
            afterSeek = renderer.DemoClock;
            Seam_InjectKey(appState.window, VK_ESCAPE, true);
        }
    };
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(SoundSeam_OpenCount(), opens + 1);
    EXPECT_GE(channel, 0);
    EXPECT_EQ(music.playbackChannel, channel);
    EXPECT_GT(beforeToggle, 0.0f) << "the clock runs with the music";
    EXPECT_GE(afterToggle, beforeToggle) << "re-creating the window does not restart the music";
    EXPECT_GE(afterSeek, beforeSeek + 400.0f) << "M seeks forward";
}

TEST_F(Music, ATrackThatStopsEarlyIsNamedOnceAndStillPlays)
{
    InstallTrack();
    // The first third of the track intact, garbage after it.
    FILE *file = fopen("data/music.mp3", "r+b");
    ASSERT_TRUE(file);
    fseek(file, 0, SEEK_END);
    const long size = ftell(file);
    fseek(file, size / 3, SEEK_SET);
    srand(5);
    for (long i = size / 3; i < size; i++)
        fputc(rand() & 0xff, file);
    fclose(file);

    Seam_ScriptAnswers({IDNO});
    onPass = [&](int call) {
        if (call == 2)
            Seam_InjectKey(appState.window, VK_F1, true);
        if (call == 6)
            Seam_InjectKey(appState.window, VK_ESCAPE, true);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), 0);
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string line = "kelvo: data/music.mp3: damaged at 0:00 (";
    ASSERT_NE(errors.find(line), std::string::npos) << errors;
    EXPECT_EQ(errors.find(line, errors.find(line) + 1), std::string::npos) << "said once, not at every window";
    EXPECT_NE(errors.find("); the rest is silent\n"), std::string::npos) << errors;
    EXPECT_NE(music.stream, nullptr) << "what is intact plays, and is the clock";

    // Files joined end to end: a line for each that stops early or does not play, at the music's
    // time, saying that the next file plays on.
    SetUp();
    InstallTrack();
    const std::vector<char> track = ReadWhole("data/music.mp3");
    ASSERT_FALSE(track.empty());
    const std::vector<char> joined = Joined({CutLast(track, 200), LayerTwoFrames(38), track});
    FILE *out = fopen("data/music.mp3", "wb");
    ASSERT_TRUE(out);
    ASSERT_EQ(fwrite(joined.data(), 1, joined.size(), out), joined.size());
    fclose(out);
    Seam_ScriptAnswers({IDNO});
    onPass = [&](int call) {
        if (call == 2)
            Seam_InjectKey(appState.window, VK_ESCAPE, true);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), 0);
    const std::string joinErrors = testing::internal::GetCapturedStderr();
    EXPECT_NE(joinErrors.find("kelvo: data/music.mp3: damaged at 0:03 (the data ends 1 frame short of what its header "
                              "announces); the music goes on with the next file\n"),
              std::string::npos)
        << joinErrors;
    EXPECT_NE(joinErrors.find("kelvo: data/music.mp3: damaged at 0:03 (MPEG layer 2 audio, not MP3); the music goes "
                              "on with the next file\n"),
              std::string::npos)
        << joinErrors;
    EXPECT_EQ(joinErrors.find("the rest is silent"), std::string::npos) << joinErrors;

    // A healthy track says nothing (the images are not here, and say so).
    SetUp();
    InstallTrack();
    Seam_ScriptAnswers({IDNO});
    onPass = [&](int call) {
        if (call == 2)
            Seam_InjectKey(appState.window, VK_ESCAPE, true);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("music.mp3"), std::string::npos);
}

} // namespace
