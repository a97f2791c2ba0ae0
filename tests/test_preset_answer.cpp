// Answers given in advance by command-line options: the start question answered without being
// shown, every other box shown as before.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/app.h"
#include "platform/linux/preset_answer.h"
#include "platform/linux/test_seam.h"
#include "tests/fakes.h"

namespace {

const char *const StartQuestion = "Would You Like To Run In Fullscreen Mode?";
bool fullscreenAtFirstPass = false;

class PresetAnswer : public testing::Test {
protected:
    void SetUp() override { ResetShellAndFakes(); }
    void TearDown() override
    {
        Seam_SetPeekHook(nullptr);
        ClearPresetAnswers();
        Seam_Reset();
    }

    // WinMain until its first pass, where Escape ends it; what it printed on stderr.
    static std::string RunToFirstPass()
    {
        fullscreenAtFirstPass = false;
        Seam_SetPeekHook([](int call) {
            if (call == 0) {
                fullscreenAtFirstPass = Seam_IsFullscreen(appState.window);
                Seam_InjectKey(appState.window, VK_ESCAPE, true);
            }
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(WinMain(GetModuleHandleA(NULL), NULL, const_cast<char *>(""), SW_SHOWNORMAL), 0);
        return testing::internal::GetCapturedStderr();
    }
};

TEST_F(PresetAnswer, AnswersOnlyItsOwnTextAndLeavesScriptedAnswersForTheRest)
{
    PresetMessageBoxAnswer(StartQuestion, IDNO);
    PresetMessageBoxAnswer(StartQuestion, IDCANCEL); // a second preset for the same text replaces the first
    Seam_ScriptAnswers({IDRETRY});
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, StartQuestion, "Start FullScreen?", MB_YESNO | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(MessageBoxA(NULL, StartQuestion, "Start FullScreen?", MB_YESNO), IDCANCEL) << "it stays in force";
    EXPECT_EQ(MessageBoxA(NULL, "Something else", "ERROR", MB_RETRYCANCEL), IDRETRY) << "the scripted answer was kept";
    // No preset and no script: shown as always (printed with no display) with its default button.
    EXPECT_EQ(MessageBoxA(NULL, "Would You Like To Run In Fullscreen Mode", "Start FullScreen?", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(NULL, NULL, "Start FullScreen?", MB_OK), IDOK);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.find(StartQuestion + std::string("\n")), std::string::npos) << printed;
    EXPECT_NE(printed.find("Start FullScreen?: Would You Like To Run In Fullscreen Mode\n"), std::string::npos);
    ASSERT_EQ(Seam_Boxes().size(), 5u) << "answered boxes are still recorded";

    ClearPresetAnswers();
    Seam_ScriptAnswers({IDNO});
    EXPECT_EQ(MessageBoxA(NULL, StartQuestion, "Start FullScreen?", MB_YESNO), IDNO) << "cleared: asked again";
}

TEST_F(PresetAnswer, WindowedStartsInAWindowWithoutShowingTheQuestion)
{
    PresetMessageBoxAnswer(StartQuestion, IDNO);
    std::string printed = RunToFirstPass();
    EXPECT_EQ(printed.find("Start FullScreen?"), std::string::npos) << printed;
    EXPECT_FALSE(appState.fullscreenMode);
    EXPECT_FALSE(fullscreenAtFirstPass);
    EXPECT_EQ(Seam_LiveWindows(), 0);
}

TEST_F(PresetAnswer, FullscreenStartsFullscreenWithoutShowingTheQuestion)
{
    Seam_OfferDisplayMode(800, 600, 32);
    PresetMessageBoxAnswer(StartQuestion, IDYES);
    std::string printed = RunToFirstPass();
    EXPECT_EQ(printed.find("Start FullScreen?"), std::string::npos) << printed;
    EXPECT_TRUE(fullscreenAtFirstPass);
    EXPECT_TRUE(appState.fullscreenMode);
}

} // namespace
