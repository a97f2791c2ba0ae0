// Window creation and teardown, the window procedure and the projection.
#include <gtest/gtest.h>

#include <windows.h>

#include <SDL2/SDL.h>

#include <GL/gl.h>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "tests/fakes.h"

#include <cmath>
#include <string>
#include <utility>

namespace {

const UINT ErrorFlags = MB_OK | MB_ICONEXCLAMATION;
const UINT ShutdownFlags = MB_OK | MB_ICONINFORMATION;

class Window : public testing::Test {
protected:
    void SetUp() override
    {
        ResetShellAndFakes();
    }
    void TearDown() override { Seam_Reset(); }

    static bool Create(bool fullscreen = false) { return CreateMainWindow("kelvo", 800, 600, 32, fullscreen); }
};

// The (extended style, style) of the last CreateWindowExA call.
std::pair<uintptr_t, uintptr_t> LastCreationStyles()
{
    std::pair<uintptr_t, uintptr_t> styles(0, 0);
    for (const SeamCall &call : Seam_Calls())
        if (std::string(call.function) == "CreateWindowExA")
            styles = {call.args[0], call.args[1]};
    return styles;
}

// How often the procedure handed a message on to DefWindowProcA.
int DefaultProcedureCalls()
{
    int n = 0;
    for (const SeamCall &call : Seam_Calls())
        n += std::string(call.function) == "DefWindowProcA";
    return n;
}

struct FailureRow {
    const char *function; // the call made to fail; NULL for InitScene
    const char *text;
    bool teardownFirst;
};

void PrintTo(const FailureRow &row, std::ostream *out)
{
    *out << (row.function ? row.function : "InitScene");
}

class CreationFailure : public Window, public testing::WithParamInterface<FailureRow> {};

TEST_P(CreationFailure, ShowsItsBoxAfterTheRightTeardown)
{
    const FailureRow &row = GetParam();
    if (row.function)
        ASSERT_TRUE(Seam_FailNext(row.function));
    else
        fakeScene.initResult = false;

    EXPECT_FALSE(Create());
    ASSERT_EQ(Seam_Boxes().size(), 1u);
    const SeamMessageBox &box = Seam_Boxes()[0];
    EXPECT_EQ(box.text, row.text);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.flags, ErrorFlags);
    EXPECT_EQ(box.owner, (HWND)NULL);
    EXPECT_EQ(box.liveWindows, 0);
    EXPECT_EQ(box.liveContexts, 0);
    EXPECT_EQ(box.registeredClasses, 0);
    EXPECT_EQ(Seam_CallCount("UnregisterClassA"), row.teardownFirst ? 1 : 0);
    EXPECT_EQ(appState.window, (HWND)NULL);
    EXPECT_EQ(appState.deviceContext, (HDC)NULL);
    EXPECT_EQ(appState.glContext, (HGLRC)NULL);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, CreationFailure,
    testing::Values(FailureRow{"RegisterClassA", "Failed To Register The Window Class.", false},
                    FailureRow{"CreateWindowExA", "Window Creation Error.", true},
                    FailureRow{"GetDC", "Can't Create A GL Device Context.", true},
                    FailureRow{"ChoosePixelFormat", "Can't Find A Suitable PixelFormat.", true},
                    FailureRow{"SetPixelFormat", "Can't Set The PixelFormat.", true},
                    FailureRow{"wglCreateContext", "Can't Create A GL Rendering Context.", true},
                    FailureRow{"wglMakeCurrent", "Can't Activate The GL Rendering Context.", true},
                    FailureRow{NULL, "Initialization Failed.", true}));

TEST_F(Window, RefusedModeAnsweredNoClosesWithTheClassStillRegistered)
{
    Seam_NoModeEmulation();  // as where the GL has no framebuffer objects
    Seam_ScriptAnswers({IDNO});
    EXPECT_FALSE(Create(true));
    ASSERT_EQ(Seam_Boxes().size(), 2u);
    EXPECT_EQ(Seam_Boxes()[0].text, "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?");
    EXPECT_EQ(Seam_Boxes()[0].caption, "QEZ");
    EXPECT_EQ(Seam_Boxes()[0].flags, (UINT)(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_EQ(Seam_Boxes()[1].text, "Program Will Now Close.");
    EXPECT_EQ(Seam_Boxes()[1].caption, "ERROR");
    EXPECT_EQ(Seam_Boxes()[1].flags, (UINT)(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(Seam_RegisteredClasses(), 1);
    EXPECT_EQ(Seam_LiveWindows(), 0);
    EXPECT_EQ(Seam_CursorCount(), 0);
}

TEST_F(Window, RefusedModeAnsweredYesOpensWindowed)
{
    Seam_NoModeEmulation();  // as where the GL has no framebuffer objects
    Seam_ScriptAnswers({IDYES});
    ASSERT_TRUE(Create(true));
    EXPECT_FALSE(appState.fullscreenMode);
    EXPECT_FALSE(Seam_IsFullscreen(appState.window));
    EXPECT_EQ(Seam_CursorCount(), 0);
    // App window with a raised edge; overlapped window, clipping siblings and children.
    EXPECT_EQ(LastCreationStyles(), std::make_pair(uintptr_t(0x00040100), uintptr_t(0x06CF0000)));
    EXPECT_EQ(fakeScene.inits, 1);
}

TEST_F(Window, FullscreenOnADisplayWithoutTheModeCoversItWithThePictureScaled)
{
    SDL_DisplayMode desktop = {};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    ASSERT_FALSE(desktop.w == 800 && desktop.h == 600) << "this display has the mode itself";
    ASSERT_TRUE(Create(true));
    EXPECT_TRUE(Seam_Boxes().empty()) << "nothing is asked";
    EXPECT_TRUE(appState.fullscreenMode);
    EXPECT_TRUE(Seam_IsFullscreen(appState.window));
    int width = 0, height = 0;
    ASSERT_TRUE(Seam_ClientSize(appState.window, &width, &height));
    EXPECT_EQ(width, desktop.w) << "the window covers the monitor";
    EXPECT_EQ(height, desktop.h);
    int place[4] = {};
    ASSERT_TRUE(Seam_PicturePlace(appState.window, 1280, 1024, place)) << "the picture is scaled";
    EXPECT_EQ(place[2], 1280);
    EXPECT_EQ(place[3], 960);
    DestroyMainWindow();
    EXPECT_FALSE(Seam_DisplayChanged());
}

TEST_F(Window, FullscreenSwitchesTheModeAndHidesTheCursorUntilTeardown)
{
    Seam_OfferDisplayMode(800, 600, 32);
    ASSERT_TRUE(Create(true));
    EXPECT_TRUE(appState.fullscreenMode);
    EXPECT_TRUE(Seam_IsFullscreen(appState.window));
    EXPECT_TRUE(Seam_DisplayChanged());
    EXPECT_EQ(Seam_CursorCount(), -1);
    // App window; popup, clipping siblings and children.
    EXPECT_EQ(LastCreationStyles(), std::make_pair(uintptr_t(0x00040000), uintptr_t(0x86000000)));
    EXPECT_TRUE(Seam_Boxes().empty());
    DestroyMainWindow();
    EXPECT_FALSE(Seam_DisplayChanged());
    EXPECT_EQ(Seam_CursorCount(), 0);
    EXPECT_EQ(Seam_LiveWindows(), 0);
    EXPECT_EQ(Seam_LiveContexts(), 0);
    EXPECT_EQ(Seam_RegisteredClasses(), 0);
    EXPECT_TRUE(Seam_Boxes().empty());
}

TEST_F(Window, FailedDisplayRestoreIsNotReported)
{
    Seam_OfferDisplayMode(800, 600, 32);
    ASSERT_TRUE(Create(true));
    Seam_FailNext("ChangeDisplaySettingsA");
    DestroyMainWindow();
    EXPECT_TRUE(Seam_Boxes().empty());
    EXPECT_EQ(Seam_LiveWindows(), 0);
}

struct TeardownRow {
    const char *function;
    std::vector<std::string> texts;
};

void PrintTo(const TeardownRow &row, std::ostream *out)
{
    *out << row.function;
}

class TeardownFailure : public Window, public testing::WithParamInterface<TeardownRow> {};

TEST_P(TeardownFailure, IsReportedAndTheTeardownGoesOn)
{
    ASSERT_TRUE(Create());
    ASSERT_TRUE(Seam_FailNext(GetParam().function));
    DestroyMainWindow();
    std::vector<std::string> texts;
    for (const SeamMessageBox &box : Seam_Boxes()) {
        texts.push_back(box.text);
        EXPECT_EQ(box.caption, "SHUTDOWN ERROR");
        EXPECT_EQ(box.flags, ShutdownFlags);
        EXPECT_EQ(box.owner, (HWND)NULL);
    }
    EXPECT_EQ(texts, GetParam().texts);
    EXPECT_EQ(appState.glContext, (HGLRC)NULL);
    EXPECT_EQ(appState.deviceContext, (HDC)NULL);
    EXPECT_EQ(appState.window, (HWND)NULL);
    EXPECT_EQ(Seam_CallCount("ReleaseDC"), 1);
    EXPECT_EQ(Seam_CallCount("DestroyWindow"), 1);
    EXPECT_EQ(Seam_CallCount("UnregisterClassA"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, TeardownFailure,
    testing::Values(TeardownRow{"wglMakeCurrent", {"Release Of DC And RC Failed."}},
                    TeardownRow{"wglDeleteContext", {"Release Rendering Context Failed."}},
                    TeardownRow{"ReleaseDC", {"Release Device Context Failed."}},
                    // The window lives on, so its class cannot go either, as on Windows.
                    TeardownRow{"DestroyWindow", {"Could Not Release hWnd.", "Could Not Unregister Class."}},
                    TeardownRow{"UnregisterClassA", {"Could Not Unregister Class."}}));

TEST_F(Window, TeardownWithNothingLeftOnlyFailsToUnregister)
{
    DestroyMainWindow();
    ASSERT_EQ(Seam_Boxes().size(), 1u);
    EXPECT_EQ(Seam_Boxes()[0].text, "Could Not Unregister Class.");
    EXPECT_EQ(Seam_CallCount("ReleaseDC"), 0);
    EXPECT_EQ(Seam_CallCount("DestroyWindow"), 0);
}

TEST_F(Window, LaterCreationsReuseTheFirstPixelFormat)
{
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 16, false));
    DestroyMainWindow();
    ASSERT_TRUE(Create());
    const PIXELFORMATDESCRIPTOR &pfd = appState.pixelFormat;
    EXPECT_EQ(pfd.nSize, 40);
    EXPECT_EQ(pfd.nVersion, 1);
    EXPECT_EQ(pfd.dwFlags, 0x25u);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(pfd.cColorBits, 16) << "the colour depth of the first creation stays";
    EXPECT_EQ(pfd.cDepthBits, 16);
    EXPECT_EQ(pfd.cAlphaBits, 0);
    EXPECT_EQ(pfd.cStencilBits, 0);
    EXPECT_EQ(pfd.cAccumBits, 0);
}

TEST_F(Window, ProcedureKeepsKeysActivationAndQuit)
{
    ASSERT_TRUE(Create());
    HWND w = appState.window;
    EXPECT_EQ(MainWindowProc(w, WM_KEYDOWN, 'M', 0), 0);
    EXPECT_EQ(appState.keyTable['M'], 1);
    MainWindowProc(w, WM_KEYUP, 'M', 0);
    EXPECT_EQ(appState.keyTable['M'], 0);
    MainWindowProc(w, WM_KEYDOWN, 0x100 + VK_F1, 0);
    EXPECT_EQ(appState.keyTable[VK_F1], 0) << "a code past the table is not folded into it";
    MainWindowProc(w, WM_SYSKEYDOWN, 'M', LPARAM(1) << 29);
    EXPECT_EQ(appState.keyTable['M'], 0) << "system keys are not recorded";

    MainWindowProc(w, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    EXPECT_TRUE(appState.drawingEnabled) << "deactivated but not minimised goes on drawing";
    MainWindowProc(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
    EXPECT_FALSE(appState.drawingEnabled);
    MainWindowProc(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    EXPECT_TRUE(appState.drawingEnabled);

    // The screen saver and monitor power-down are swallowed, each on its own; other system
    // commands reach the default procedure.
    for (WPARAM command : {WPARAM(SC_SCREENSAVE), WPARAM(SC_MONITORPOWER), WPARAM(SC_MOVE)}) {
        int before = DefaultProcedureCalls();
        EXPECT_EQ(MainWindowProc(w, WM_SYSCOMMAND, command, 2), 0);
        EXPECT_EQ(DefaultProcedureCalls() - before, command == SC_MOVE ? 1 : 0) << std::hex << command;
    }

    EXPECT_EQ(MainWindowProc(w, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(Seam_LiveWindows(), 1) << "closing does not destroy the window";
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, (WPARAM)0);
}

TEST_F(Window, SizeMessagesResetViewportAndProjection)
{
    ASSERT_TRUE(Create());
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);

    // The window shows the picture scaled to its new size; the demo goes on drawing 800 x 600.
    Seam_InjectResize(appState.window, 500, 300);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);

    SetupProjection(500, 300);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 500);
    EXPECT_EQ(viewport[3], 300);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    double f = 1.0 / std::tan(45.0 / 2.0 * 3.14159265358979323846 / 180.0);
    EXPECT_NEAR(projection[5], f, 1e-5);
    EXPECT_NEAR(projection[0], f * 300.0 / 500.0, 1e-6) << "aspect is width / height in floating point";
    EXPECT_NEAR(projection[10], -(100.0 + 0.1) / (100.0 - 0.1), 1e-5);
    EXPECT_NEAR(projection[11], -1.0, 1e-9);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    SetupProjection(0, 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 0);
    EXPECT_EQ(viewport[3], 1) << "a height of 0 counts as 1";
}

} // namespace
