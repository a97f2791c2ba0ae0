// A music stream whose clock the test sets; seeks move it as a real stream would.
#include "tests/fakes.h"

#include "audio/music.h"

FakeMusic fakeMusic;

void ResetFakeMusic()
{
    fakeMusic = FakeMusic();
}

void StartMusic()
{
    fakeMusic.starts++;
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
}
