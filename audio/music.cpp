// The music stream.

#include "audio/music.h"

// Not built yet: plays nothing.
void StartMusic() {}

// Not built yet: the clock stands at 0.
int MusicPositionMs()
{
    return 0;
}

// Not built yet: does nothing.
void SeekMusic(int positionMs)
{
    (void)positionMs;
}

// Not built yet: does nothing.
void StopMusic() {}
