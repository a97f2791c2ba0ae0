#include "offline/offline_demo.h"

#include <windows.h>

#include <GL/gl.h>

#include <SDL2/SDL.h>

#include <fsound_ext.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "app/app.h"
#include "platform/linux/window_layer.h"
#include "audio/music.h"
#include "render/frame.h"

bool OpenOfflineDemo(const char *tool)
{
    // No display needed; the music starts on the offline output, silent and still until moved.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ForceSoundOutput(FSOUND_OUTPUT_OFFLINE);
    if (!CreateMainWindow("kelvo", DemoFrameWidth, DemoFrameHeight, 32, false)) {
        fprintf(stderr, "%s: no window with a GL context\n", tool);
        StopMusic();
        QuitWindowLayer();
        return false;
    }
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] != DemoFrameWidth || viewport[3] != DemoFrameHeight) {
        fprintf(stderr, "%s: the window is %d x %d, not %d x %d\n", tool, viewport[2], viewport[3], DemoFrameWidth,
                DemoFrameHeight);
        CloseOfflineDemo();
        return false;
    }
    return true;
}

bool OfflineDemoHasMusic()
{
    return music.stream != nullptr;
}

bool DrawOfflineFrame(const char *tool, int clockMs)
{
    if (MusicPositionMs() != clockMs) {
        fprintf(stderr, "%s: the music is at %d ms, not %d ms; the frame was not drawn\n", tool, MusicPositionMs(),
                clockMs);
        return false;
    }
    DrawFrame(); // false only says the demo would end here; the frame is drawn all the same
    return true;
}

bool ReadOfflineFrame(const char *tool, unsigned char *rgb)
{
    static std::vector<unsigned char> bottomUp(DemoFrameBytes);
    // Read from the context's own read buffer: the back buffer, or the colour of the picture the
    // window layer has the demo draw into.
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, DemoFrameWidth, DemoFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "%s: the frame could not be read back\n", tool);
        return false;
    }
    const size_t rowBytes = size_t(DemoFrameWidth) * 3;
    for (int y = 0; y < DemoFrameHeight; y++)
        memcpy(rgb + size_t(y) * rowBytes, bottomUp.data() + size_t(DemoFrameHeight - 1 - y) * rowBytes, rowBytes);
    return true;
}

void CloseOfflineDemo()
{
    StopMusic();
    DestroyMainWindow();
    QuitWindowLayer();
}
