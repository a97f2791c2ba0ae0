// The music stream: the track, read whole into memory and played once through the sound
// library, whose position is the demo's clock. The only code that calls the sound library.

#include "audio/music.h"

#include <fsound.h>

#include <stdio.h>
#include <stdlib.h>

MusicState music = {nullptr, -1, nullptr, 0};

namespace {

const char *const MusicPath = "data/music.mp3";
const int OutputDefaultDevice = FSOUND_OUTPUT_WINMM;
const int MixRate = 44100;
const int SoftwareChannels = 32;
const unsigned int StreamMode = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;

} // namespace

void StartMusic()
{
    // Once playing, the track plays on across every re-creation of the window.
    if (music.playbackChannel >= 0)
        return;

    FSOUND_SetOutput(OutputDefaultDevice);
    FSOUND_Init(MixRate, SoftwareChannels, 0);

    FILE *file = fopen(MusicPath, "rb");
    if (!file) {
        printf("Error!\n");
        printf("File Not Found\n");
        FSOUND_Close();
        return;
    }
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    if (size < 0)
        size = 0;

    // FSOUND_Init above closed any stream of an earlier try, so its data is free to go.
    free(music.musicData);
    music.musicData = static_cast<char *>(malloc(size_t(size)));
    // A block that could not be had or filled is handed over as empty, and the open fails,
    // rather than the decoder reading memory the file never wrote.
    music.musicSize = 0;
    if (music.musicData && size > 0 && size <= 0x7fffffff && fread(music.musicData, size_t(size), 1, file) == 1)
        music.musicSize = int(size);
    fclose(file);

    music.stream = FSOUND_Stream_Open(music.musicData, StreamMode, 0, music.musicSize);
    music.playbackChannel = FSOUND_Stream_PlayEx(FSOUND_FREE, music.stream, nullptr, 1);
    FSOUND_SetPaused(music.playbackChannel, 0);
}

int MusicPositionMs()
{
    return FSOUND_Stream_GetTime(music.stream);
}

void SeekMusic(int positionMs)
{
    FSOUND_Stream_SetTime(music.stream, positionMs);
}

void StopMusic()
{
    FSOUND_Close();
}
