// A scene that draws nothing: counts its calls, samples the fake clock like the real frame.
#include "tests/fakes.h"

#include "app/app.h"
#include "audio/music.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"

RendererState renderer;
FakeScene fakeScene;

static const AppState pristineApp = appState;

void ResetShellAndFakes()
{
    Seam_Reset();
    appState = pristineApp;
    ResetFakeMusic();
    ResetFakeScene();
}

void ResetFakeScene()
{
    fakeScene = FakeScene();
    fakeScene.initResult = true;
    renderer = RendererState();
}

bool InitScene()
{
    fakeScene.inits++;
    StartMusic();
    return fakeScene.initResult;
}

bool DrawFrame()
{
    fakeScene.frames++;
    renderer.DemoClock = float(MusicPositionMs());
    return !(fakeScene.endAtFrame > 0 && fakeScene.frames >= fakeScene.endAtFrame);
}
