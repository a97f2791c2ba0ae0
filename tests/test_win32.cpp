// The Win32 layer on its own: message translation, the queue, boxes, display modes, handles.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/linux/test_seam.h"

#include <SDL2/SDL.h>

#include <signal.h>
#include <unistd.h>

#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Seen> seen;
bool swallowScreenSaver = false;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back({message, wParam, lParam});
    if (message == WM_CLOSE) {
        PostQuitMessage(3);
        return 0;
    }
    if (message == WM_SYSCOMMAND && swallowScreenSaver && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

class Win32Layer : public testing::Test {
protected:
    HWND window = NULL;

    void SetUp() override
    {
        Seam_Reset();
        seen.clear();
        swallowScreenSaver = false;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "Recorder";
        ASSERT_NE(RegisterClassA(&wc), 0);
        RECT r = {0, 0, 320, 200};
        AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
        window = CreateWindowExA(0, "Recorder", "rec", WS_OVERLAPPEDWINDOW, 0, 0, r.right - r.left, r.bottom - r.top,
                                 NULL, NULL, wc.hInstance, NULL);
        ASSERT_NE(window, (HWND)NULL);
    }

    void TearDown() override { Seam_Reset(); }

    // Retrieves and dispatches everything queued; returns what the loop retrieved.
    std::vector<MSG> Drain()
    {
        std::vector<MSG> got;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            got.push_back(msg);
            if (msg.message == WM_QUIT)
                break;
            DispatchMessageA(&msg);
        }
        return got;
    }

    const Seen *Find(UINT message, WPARAM wParam)
    {
        for (const Seen &s : seen)
            if (s.message == message && s.wParam == wParam)
                return &s;
        return nullptr;
    }
};

TEST_F(Win32Layer, CreationSendsTheClientSizeBeforeReturning)
{
    const Seen *size = Find(WM_SIZE, SIZE_RESTORED);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(LOWORD(size->lParam), 320);
    EXPECT_EQ(HIWORD(size->lParam), 200);
    EXPECT_EQ(seen.front().message, (UINT)WM_NCCREATE);
    int w = 0, h = 0;
    ASSERT_TRUE(Seam_ClientSize(window, &w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
}

TEST_F(Win32Layer, KeysBecomeVirtualKeyMessagesWithWin32Bits)
{
    Seam_InjectKey(window, 'M', true);
    Seam_InjectKey(window, 'M', true, true);
    Seam_InjectKey(window, 'M', false);
    Seam_InjectKey(window, VK_ESCAPE, true);
    Seam_InjectKey(window, VK_F1, true);
    Seam_InjectKey(window, '7', true);
    Seam_InjectKey(window, VK_LEFT, true);
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(got[0].wParam, (WPARAM)'M');
    EXPECT_EQ(got[0].hwnd, window);
    EXPECT_EQ(got[0].lParam & 0xFFFF, 1);
    EXPECT_EQ((got[0].lParam >> 30) & 1, 0) << "a first press has no previous state";
    EXPECT_EQ(got[1].message, (UINT)WM_KEYDOWN) << "auto-repeat arrives as another key-down";
    EXPECT_EQ((got[1].lParam >> 30) & 1, 1);
    EXPECT_EQ(got[2].message, (UINT)WM_KEYUP);
    EXPECT_EQ((DWORD)got[2].lParam >> 30, 3u);
    EXPECT_EQ(got[3].wParam, (WPARAM)VK_ESCAPE);
    EXPECT_EQ(got[4].wParam, (WPARAM)VK_F1);
    EXPECT_EQ(got[5].wParam, (WPARAM)'7');
    EXPECT_EQ(got[6].wParam, (WPARAM)VK_LEFT);
}

TEST_F(Win32Layer, AltCombinationsAndF10AreSystemKeys)
{
    Seam_InjectKey(window, 'X', true, false, true);
    Seam_InjectKey(window, 'X', false, false, true);
    Seam_InjectKey(window, VK_F10, true);
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ((got[0].lParam >> 29) & 1, 1) << "context bit marks Alt";
    EXPECT_EQ(got[1].message, (UINT)WM_SYSKEYUP);
    EXPECT_EQ(got[2].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(got[2].wParam, (WPARAM)VK_F10);
}

TEST_F(Win32Layer, AltF4ClosesThroughTheDefaultProcedure)
{
    Seam_InjectKey(window, VK_F4, true, false, true);
    std::vector<MSG> got = Drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().message, (UINT)WM_QUIT);
    EXPECT_EQ(got.back().wParam, (WPARAM)3);
    EXPECT_NE(Find(WM_SYSCOMMAND, SC_CLOSE), nullptr);
    EXPECT_NE(Find(WM_CLOSE, 0), nullptr);
}

TEST_F(Win32Layer, CloseRequestsAndInterruptsBecomeWmClose)
{
    Seam_InjectClose(window);
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, (UINT)WM_CLOSE);
    EXPECT_EQ(got[1].message, (UINT)WM_QUIT);

    Seam_InjectInterrupt();
    got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, (UINT)WM_CLOSE);
}

TEST_F(Win32Layer, MinimiseAndRestoreReachTheProcedureAsActivationAndSize)
{
    Drain();
    seen.clear();
    Seam_InjectMinimize(window);
    Seam_InjectRestore(window);
    Seam_InjectResize(window, 640, 480);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) << "state changes are sent, not queued";
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].message, (UINT)WM_ACTIVATE);
    EXPECT_EQ(seen[0].wParam, MAKEWPARAM(WA_INACTIVE, 1));
    EXPECT_EQ(seen[1].message, (UINT)WM_SIZE);
    EXPECT_EQ(seen[1].wParam, (WPARAM)SIZE_MINIMIZED);
    EXPECT_EQ(seen[1].lParam, 0);
    EXPECT_EQ(seen[2].message, (UINT)WM_SIZE);
    EXPECT_EQ(seen[2].lParam, MAKELPARAM(320, 200));
    EXPECT_EQ(seen[3].message, (UINT)WM_ACTIVATE);
    EXPECT_EQ(seen[3].wParam, MAKEWPARAM(WA_ACTIVE, 0));
    EXPECT_EQ(seen[4].message, (UINT)WM_SIZE);
    EXPECT_EQ(seen[4].lParam, MAKELPARAM(640, 480));
}

TEST_F(Win32Layer, QuitComesAfterQueuedMessagesAndPeekingKeepsThem)
{
    PostQuitMessage(5);
    Seam_InjectKey(window, 'A', true);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the range filter skips the key";
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, (WPARAM)5);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
}

TEST_F(Win32Layer, MessageBoxesWithoutADisplayAnswerTheDefaultButton)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, "Text", "Caption", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBoxA(NULL, "Two", "Second", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(NULL, "Three", "Third", MB_OK), IDOK);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Caption: Text\nSecond: Two\nThird: Three\n");
    ASSERT_EQ(Seam_Boxes().size(), 3u);
    EXPECT_EQ(Seam_Boxes()[1].flags, (UINT)(MB_YESNO | MB_DEFBUTTON2));
}

// The mode the demo asks for: 800 x 600 in 32-bit colour.
DEVMODEA Mode800x600()
{
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = 800;
    mode.dmPelsHeight = 600;
    mode.dmBitsPerPel = 32;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return mode;
}

TEST_F(Win32Layer, DisplayModesMustBeOfferedExactly)
{
    DEVMODEA mode = Mode800x600();
    Seam_NoModeEmulation();
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    Seam_OfferDisplayMode(800, 600, 16);
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE) << "the depth differs";
    Seam_OfferDisplayMode(800, 600, 32);
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_TEST), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Seam_DisplayChanged()) << "a test changes nothing";
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Seam_DisplayChanged());
    EXPECT_EQ(ChangeDisplaySettingsA(NULL, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Seam_DisplayChanged());
}

TEST_F(Win32Layer, ModesTheDisplayLacksAreEmulatedWhereTheGLCanScale)
{
    DEVMODEA mode = Mode800x600();
    SDL_DisplayMode desktop = {};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    ASSERT_FALSE(desktop.w == 800 && desktop.h == 600) << "this display has the mode itself";
    // This GL (llvmpipe) has framebuffer objects: 800 x 600 and other sizes are taken, an
    // unknown depth is not.
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_TEST), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Seam_DisplayChanged());
    mode.dmBitsPerPel = 8;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    mode.dmBitsPerPel = 16;
    mode.dmPelsWidth = 640;
    mode.dmPelsHeight = 480;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_TEST), DISP_CHANGE_SUCCESSFUL);
    mode.dmBitsPerPel = 32;
    mode.dmPelsWidth = 800;
    mode.dmPelsHeight = 600;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Seam_DisplayChanged());
    EXPECT_EQ(ChangeDisplaySettingsA(NULL, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Seam_DisplayChanged());
    EXPECT_EQ(SDL_GL_GetCurrentContext(), (SDL_GLContext)NULL) << "the GL's probe leaves no context current";
}

TEST_F(Win32Layer, StaleAndForgedHandlesFail)
{
    HDC dc = GetDC(window);
    ASSERT_NE(dc, (HDC)NULL);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 16;
    int format = ChoosePixelFormat(dc, &pfd);
    ASSERT_GT(format, 0);
    ASSERT_TRUE(SetPixelFormat(dc, format, &pfd));
    EXPECT_FALSE(SetPixelFormat(dc, format + 1, &pfd)) << "a window keeps its first format";
    HGLRC rc = wglCreateContext(dc);
    ASSERT_NE(rc, (HGLRC)NULL);
    EXPECT_EQ(wglGetProcAddress("glClear"), (PROC)NULL) << "creating a context does not make it current";
    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_NE(wglGetProcAddress("glClear"), (PROC)NULL);
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_FALSE(wglDeleteContext(rc));
    EXPECT_FALSE(wglMakeCurrent(dc, rc));

    EXPECT_FALSE(UnregisterClassA("Recorder", NULL)) << "the class still has a window";
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetDC(window), (HDC)NULL);
    EXPECT_EQ(ReleaseDC(window, dc), 0);
    EXPECT_FALSE(SwapBuffers(dc));
    EXPECT_FALSE(DestroyWindow(reinterpret_cast<HWND>(uintptr_t(0x1234))));
    EXPECT_TRUE(UnregisterClassA("Recorder", NULL));
    EXPECT_FALSE(UnregisterClassA("Recorder", NULL));
}

TEST_F(Win32Layer, ClassesAreRegisteredOnce)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "recorder";
    EXPECT_EQ(RegisterClassA(&wc), 0) << "class names ignore case";
    wc.lpfnWndProc = NULL;
    wc.lpszClassName = "Other";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(CreateWindowExA(0, "Missing", "x", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL), (HWND)NULL);
}

TEST_F(Win32Layer, TheProcedureDecidesAboutTheScreenSaver)
{
    swallowScreenSaver = true;
    EXPECT_TRUE(Seam_AskScreenSaver(window));
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    swallowScreenSaver = false;
    EXPECT_FALSE(Seam_AskScreenSaver(window));
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

TEST_F(Win32Layer, ArmedFailuresHitOnlyTheNextCall)
{
    EXPECT_FALSE(Seam_FailNext("NoSuchFunction"));
    ASSERT_TRUE(Seam_FailNext("GetDC"));
    EXPECT_EQ(GetDC(window), (HDC)NULL);
    EXPECT_NE(GetDC(window), (HDC)NULL);
    EXPECT_EQ(Seam_CallCount("GetDC"), 2);
}

// A request to end that the loop never takes up (a display connection that stopped answering
// leaves it stuck in a call) still ends the program, by the signal, within a few seconds.
TEST(SignalGrace, ARequestNeverTakenUpEndsTheProgramByTheSignal)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ChangeDisplaySettingsA(NULL, 0);  // starts the layer's video and its signal handlers
            raise(SIGTERM);
            for (int i = 0; i < 200; i++)  // never pumping messages, for 20 s at most
                usleep(100000);
            _exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}

} // namespace
