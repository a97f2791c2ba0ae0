// A music stream whose clock the test sets; seeks move it as a real stream would.
#include "tests/fakes.h"

#include "audio/music.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"

FakeMusic fakeMusic;

void ResetFakeMusic()
{
    fakeMusic = FakeMusic();
}

void StartMusic()
{
    fakeMusic.starts++;
    fakeMusic.texturesAtStart = (renderer.backgroundTexture != 0) + (renderer.foregroundTexture != 0) +
                                (renderer.logoTexture != 0);
}

int MusicPositionMs()
{
    fakeMusic.queries++;
    int now = fakeMusic.position;
    fakeMusic.position += fakeMusic.advancePerQuery;
    return now;
}

void SeekMusic(int positionMs)
{
    fakeMusic.seeks.push_back(positionMs);
    fakeMusic.position = positionMs;
}

void StopMusic()
{
    fakeMusic.stops++;
    Seam_Note("StopMusic"); // its place among the Win32 calls of the teardown
}
