// The program's entry and its one loop: messages, frames, and the four keys.

#include <windows.h>

#include <climits>
#include <cstring>

#include "app/app.h"
#include "audio/music.h"
#include "render/frame.h"

// A seek target in whole milliseconds: the float sum truncated toward zero, held inside
// the 32-bit range so that no clock value makes the conversion undefined.
static int SeekTarget(float ms)
{
    if (!(ms > float(INT_MIN)))
        return INT_MIN;
    if (ms >= 2147483648.0f)
        return INT_MAX;
    return int(ms);
}

// The exit status after a window that could not be created: a failure, not a clean end.
static const int ExitCreationFailed = 1;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLine, int showCommand)
{
    (void)instance;
    (void)prevInstance;
    (void)cmdLine;
    (void)showCommand;

    MSG msg;
    bool quitRequested = false;
    int exitCode = 0;

    if (MessageBoxA(NULL, "Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                    MB_YESNO | MB_ICONQUESTION) == IDNO)
        appState.fullscreenMode = false;
    if (!CreateMainWindow("kelvo", 800, 600, 32, appState.fullscreenMode))
        return ExitCreationFailed;

    for (;;) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                exitCode = int(msg.wParam);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }

        // Escape and F1 act on a press seen since the last idle pass, even one already released;
        // M and N act only while held.
        const bool escape = appState.keyTable[VK_ESCAPE] || appState.keyPressed[VK_ESCAPE];
        const bool toggle = appState.keyTable[VK_F1] || appState.keyPressed[VK_F1];
        memset(appState.keyPressed, 0, sizeof appState.keyPressed);

        if (appState.drawingEnabled && !DrawFrame()) {
            quitRequested = true; // the demo is over: its last frame is not presented
        } else if (escape) {
            quitRequested = true;
        } else {
            SwapBuffers(appState.deviceContext);
        }

        // Both seeks start from the clock of the last frame drawn; N, issued last, wins.
        if (appState.keyTable['M'])
            SeekMusic(SeekTarget(renderer.DemoClock + 400.0f));
        if (appState.keyTable['N'])
            SeekMusic(SeekTarget(renderer.DemoClock - 400.0f));

        if (toggle) {
            appState.keyTable[VK_F1] = 0;
            DestroyMainWindow();
            appState.fullscreenMode = !appState.fullscreenMode;
            if (!CreateMainWindow("kelvo", 800, 600, 32, appState.fullscreenMode))
                return ExitCreationFailed;
        }

        if (quitRequested)
            break;
    }

    StopMusic();
    DestroyMainWindow();
    return exitCode;
}
