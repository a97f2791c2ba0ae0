// The main loop, driven through WinMain with input injected at chosen passes.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "tests/fakes.h"

#include <functional>
#include <string>
#include <vector>

namespace {

// Called at the start of every PeekMessageA with the pass number.
std::function<void(int)> onPass;
bool ranAway = false;

void PeekHook(int call)
{
    if (call > 5000) { // a loop that never ends would hang the suite: close it and fail
        ranAway = true;
        Seam_InjectClose(appState.window);
        return;
    }
    if (onPass)
        onPass(call);
}

class Loop : public testing::Test {
protected:
    void SetUp() override
    {
        ResetShellAndFakes();
        onPass = nullptr;
        ranAway = false;
        Seam_SetPeekHook(PeekHook);
    }

    void TearDown() override
    {
        EXPECT_FALSE(ranAway);
        EXPECT_EQ(Seam_LiveWindows(), 0);
        EXPECT_EQ(Seam_LiveContexts(), 0);
        Seam_Reset();
    }

    static int Run() { return WinMain(GetModuleHandleA(NULL), NULL, const_cast<char *>(""), SW_SHOWNORMAL); }
    static void Press(int vk) { Seam_InjectKey(appState.window, vk, true); }
    // Down and up in the same batch of messages: a tap shorter than one frame.
    static void Tap(int vk)
    {
        Seam_InjectKey(appState.window, vk, true);
        Seam_InjectKey(appState.window, vk, false);
    }
};

TEST_F(Loop, AsksTheQuestionAndAnswerNoRunsWindowed)
{
    Seam_ScriptAnswers({IDNO});
    onPass = [](int call) { if (call == 0) Press(VK_ESCAPE); };
    EXPECT_EQ(Run(), 0);
    ASSERT_GE(Seam_Boxes().size(), 1u);
    EXPECT_EQ(Seam_Boxes()[0].text, "Would You Like To Run In Fullscreen Mode?");
    EXPECT_EQ(Seam_Boxes()[0].caption, "Start FullScreen?");
    EXPECT_EQ(Seam_Boxes()[0].flags, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Seam_Boxes()[0].owner, (HWND)NULL);
    EXPECT_EQ(Seam_Boxes().size(), 1u) << "windowed needs no mode change";
    EXPECT_FALSE(appState.fullscreenMode);
}

TEST_F(Loop, AnswerYesRunsFullscreenWhereTheDisplayOffersTheMode)
{
    Seam_OfferDisplayMode(800, 600, 32);
    Seam_ScriptAnswers({IDYES});
    bool fullscreen = false;
    onPass = [&](int call) {
        if (call == 0) {
            fullscreen = Seam_IsFullscreen(appState.window);
            Press(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(fullscreen);
    EXPECT_FALSE(Seam_DisplayChanged());
    EXPECT_EQ(Seam_CursorCount(), 0);
}

TEST_F(Loop, EscapeEndsAfterDrawingAFrameThatIsNotPresented)
{
    Seam_ScriptAnswers({IDNO});
    onPass = [](int call) { if (call == 0) Press(VK_ESCAPE); };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeScene.frames, 1);
    EXPECT_EQ(Seam_CallCount("SwapBuffers"), 0);
    EXPECT_EQ(fakeMusic.stops, 1);
    // The music stops before the teardown starts: nothing of the window is released before it.
    std::vector<std::string> shutdown;
    for (const SeamCall &call : Seam_Calls())
        if ((!shutdown.empty() || std::string(call.function) == "StopMusic") &&
            std::string(call.function) != "DefWindowProcA")
            shutdown.push_back(call.function);
    const std::vector<std::string> expected = {"StopMusic", "wglMakeCurrent", "wglDeleteContext", "ReleaseDC",
                                               "DestroyWindow", "UnregisterClassA"};
    EXPECT_EQ(shutdown, expected);
}

TEST_F(Loop, QuitMessageEndsBeforeAnyKeyHandling)
{
    Seam_ScriptAnswers({IDNO});
    onPass = [](int call) {
        if (call == 0) {
            Press('M');
            Seam_InjectClose(appState.window);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(fakeMusic.seeks.empty());
    EXPECT_EQ(fakeScene.frames, 0);
    EXPECT_EQ(fakeMusic.stops, 1);
    EXPECT_EQ(Seam_RegisteredClasses(), 0);
}

TEST_F(Loop, SeeksStartFromTheSampledClockForwardFirst)
{
    Seam_ScriptAnswers({IDNO});
    fakeMusic.position = 1234;
    fakeMusic.advancePerQuery = 7; // the stream moves on after the frame sampled it
    onPass = [](int call) {
        if (call == 0) {
            Press('M');
            Press('N');
            Press(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeScene.frames, 1);
    EXPECT_EQ(fakeMusic.seeks, (std::vector<int>{1634, 834})) << "seeks still run in the pass that quits";
}

TEST_F(Loop, HoldingMSeeksEveryFrameAndNNearTheStartGoesNegative)
{
    Seam_ScriptAnswers({IDNO});
    fakeMusic.position = 1000;
    onPass = [](int call) {
        if (call == 0)
            Press('M');
        if (call == 3)
            Press(VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeMusic.seeks, (std::vector<int>{1400, 1800, 2200}));

    SetUp();
    Seam_ScriptAnswers({IDNO});
    fakeMusic.position = 100;
    onPass = [](int call) {
        if (call == 0) {
            Press('N');
            Press(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeMusic.seeks, (std::vector<int>{-300}));
}

TEST_F(Loop, MinimisedPassesPresentWithoutDrawingAndStillSeekAndQuit)
{
    Seam_ScriptAnswers({IDNO});
    fakeMusic.position = 1000;
    onPass = [](int call) {
        if (call == 1) {
            Seam_InjectMinimize(appState.window);
            Press('M');
        }
        if (call == 4)
            Press(VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeScene.frames, 1);
    EXPECT_EQ(Seam_CallCount("SwapBuffers"), 3) << "one frame, then two minimised passes";
    EXPECT_EQ(fakeMusic.seeks, (std::vector<int>{1400, 1400, 1400})) << "the clock is not sampled while minimised";
}

TEST_F(Loop, F1RecreatesWindowAndContextKeepingTheKeys)
{
    Seam_NoModeEmulation();
    Seam_ScriptAnswers({IDNO, IDYES}); // windowed; the toggle's refused mode falls back to windowed
    HWND first = NULL, second = NULL;
    onPass = [&](int call) {
        if (call == 0) {
            first = appState.window;
            Press('M');
            Press(VK_F1);
        }
        if (call == 3) {
            second = appState.window;
            Press(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(Seam_CallCount("CreateWindowExA"), 2);
    EXPECT_EQ(Seam_CallCount("wglCreateContext"), 2);
    EXPECT_EQ(fakeScene.inits, 2);
    ASSERT_EQ(Seam_Boxes().size(), 2u);
    EXPECT_EQ(Seam_Boxes()[1].caption, "QEZ");
    EXPECT_FALSE(appState.fullscreenMode);
    EXPECT_EQ(appState.keyTable[VK_F1], 0);
    EXPECT_EQ(appState.keyTable['M'], 1) << "the key table survives the new window";
    EXPECT_EQ(fakeMusic.seeks.size(), 2u) << "M goes on seeking in the new window";
}

TEST_F(Loop, F1TogglesIntoFullscreenAndBack)
{
    Seam_OfferDisplayMode(800, 600, 32);
    Seam_ScriptAnswers({IDNO});
    bool fullscreenAfterFirst = false;
    onPass = [&](int call) {
        if (call == 0)
            Press(VK_F1);
        if (call == 2) {
            fullscreenAfterFirst = Seam_IsFullscreen(appState.window) && Seam_CursorCount() == -1;
            Press(VK_F1);
        }
        if (call == 4)
            Press(VK_ESCAPE);
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(fullscreenAfterFirst);
    EXPECT_FALSE(appState.fullscreenMode);
    EXPECT_EQ(Seam_CursorCount(), 0);
    EXPECT_EQ(Seam_Boxes().size(), 1u);
}

TEST_F(Loop, FailedRecreationEndsAtOnceWithoutStoppingTheMusic)
{
    Seam_ScriptAnswers({IDNO});
    onPass = [](int call) {
        if (call == 0) {
            Seam_FailNext("CreateWindowExA");
            Press(VK_F1);
        }
    };
    EXPECT_EQ(Run(), 1) << "a window that cannot be made again is a failure";
    EXPECT_EQ(fakeMusic.stops, 0);
    EXPECT_EQ(Seam_Boxes().back().text, "Window Creation Error.");
}

TEST_F(Loop, FailedStartEndsAtOnceWithAFailureStatus)
{
    Seam_ScriptAnswers({IDNO});
    Seam_FailNext("GetDC");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(fakeMusic.stops, 0);
    EXPECT_EQ(Seam_CallCount("PeekMessageA"), 0);
}

TEST_F(Loop, EndOfDemoSkipsPresentingButStillTogglesOnF1)
{
    Seam_ScriptAnswers({IDNO, IDYES});
    // Pass 0 draws and presents frame 1; pass 1 takes F1's key-down; pass 2 draws frame 2,
    // the last, and toggles before the loop ends.
    fakeScene.endAtFrame = 2;
    onPass = [](int call) { if (call == 1) Press(VK_F1); };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeScene.frames, 2);
    EXPECT_EQ(Seam_CallCount("SwapBuffers"), 1);
    EXPECT_EQ(Seam_CallCount("CreateWindowExA"), 2) << "the toggle in the last pass still happens";
    EXPECT_EQ(fakeMusic.stops, 1);
}

TEST_F(Loop, TapsOfEscapeAndF1ActOnceButATappedSeekKeyDoesNothing)
{
    Seam_OfferDisplayMode(800, 600, 32);
    Seam_ScriptAnswers({IDNO});
    fakeMusic.position = 1000;
    int windowsBeforeEscape = 0;
    onPass = [&](int call) {
        if (call == 0) {
            Tap(VK_F1);
            Tap('M');
            Tap('N');
        }
        if (call == 12) {
            windowsBeforeEscape = Seam_CallCount("CreateWindowExA");
            Tap(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(windowsBeforeEscape, 2) << "one tap of F1 toggles once, and only once";
    EXPECT_EQ(Seam_CallCount("CreateWindowExA"), 2) << "Escape's tap ends the demo without another toggle";
    EXPECT_TRUE(appState.fullscreenMode);
    EXPECT_TRUE(fakeMusic.seeks.empty()) << "M and N seek only while held";
    EXPECT_EQ(appState.keyTable[VK_ESCAPE], 0);
    EXPECT_EQ(fakeMusic.stops, 1);

    // Escape tapped while minimised ends the demo too, after presenting without a frame.
    SetUp();
    Seam_ScriptAnswers({IDNO});
    onPass = [](int call) {
        if (call == 1) {
            Seam_InjectMinimize(appState.window);
            Tap(VK_ESCAPE);
        }
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fakeScene.frames, 1);
    EXPECT_LT(Seam_CallCount("PeekMessageA"), 10);
}

} // namespace
