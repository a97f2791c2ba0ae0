// The music stream: the track, read whole into memory and played once through the sound
// library, whose position is the demo's clock. The only code that calls the sound library.

#include "audio/music.h"
#include "platform/data_file.h"

#include <fsound.h>
#include <fsound_ext.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

MusicState music = {nullptr, -1, nullptr, 0};

namespace {

const char *const MusicPath = "data/music.mp3";
const int OutputDefaultDevice = FSOUND_OUTPUT_WINMM;
const int MixRate = 44100;
const int SoftwareChannels = 32;
const unsigned int StreamMode = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;
// No real track comes near this; a larger file is refused rather than read into memory.
const long MaxMusicBytes = 256L << 20;

// Says on standard error why the track did not load and what the demo does without it.
void ReportMusicProblem(const char *reason, const char *detail)
{
    fprintf(stderr, "%s: %s: %s%s%s%s; without the music the picture stands still at 0 s%s\n", dataReports.program,
            MusicPath, reason, *detail ? " (" : "", detail, *detail ? ")" : "",
            dataReports.keys ? "; press Escape to quit" : "");
    fflush(stderr);
}

// The reason an open failed, in words.
const char *OpenFailure(int error)
{
    switch (error) {
    case ENOENT: return "missing";
    case ENOTDIR: return "missing (a part of its path is not a folder)";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "a folder, not a file";
    default: return strerror(error);
    }
}

// The file's size for reading whole: -1, with the reason, when it cannot be taken or is too large.
long UsableSize(FILE *file, const char **reason, char *detail, size_t detailSize)
{
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        *reason = "a folder, not a file";
        return -1;
    }
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0)
        size = ftell(file);
    int error = errno;
    fseek(file, 0, SEEK_SET);
    if (size < 0) {
        *reason = "of a size that cannot be taken";
        snprintf(detail, detailSize, "%s", strerror(error));
        return -1;
    }
    if (size > MaxMusicBytes) {
        *reason = "too large";
        snprintf(detail, detailSize, "%ld MiB; at most %ld MiB is read", size >> 20, MaxMusicBytes >> 20);
        return -1;
    }
    return size;
}

// Says on standard error, once at the start, where the track's audio stops early and why: one
// line for each file of a join that stops early or does not play, at the music's time.
void ReportEarlyEnd(FSOUND_STREAM *stream)
{
    const char *words = "";
    bool playsOn = false;
    for (int index = 0;; index++) {
        const int ms = SoundStreamDamageAt(stream, index, &words, &playsOn);
        if (ms < 0)
            break;
        fprintf(stderr, "%s: %s: damaged at %d:%02d (%s); %s\n", dataReports.program, MusicPath, ms / 60000,
                ms / 1000 % 60, words, playsOn ? "the music goes on with the next file" : "the rest is silent");
    }
    fflush(stderr);
}

} // namespace

void StartMusic()
{
    // Once playing, the track plays on across every re-creation of the window.
    if (music.playbackChannel >= 0)
        return;

    FSOUND_SetOutput(OutputDefaultDevice);
    FSOUND_Init(MixRate, SoftwareChannels, 0);

    // A pipe, socket or device would hold the open or the read until something writes to it:
    // it counts as a file that cannot be opened.
    const char *notFile = nullptr;
    FILE *file = OpenDataFile(MusicPath, &notFile);
    if (!file) {
        const int error = errno;
        printf("Error!\n");
        printf("File Not Found\n");
        ReportMusicProblem(notFile ? notFile : OpenFailure(error), "");
        FSOUND_Close();
        return;
    }
    const char *reason = nullptr;
    char detail[200] = "";
    long size = UsableSize(file, &reason, detail, sizeof detail);
    if (size < 0)
        size = 0; // a size that cannot be used is read as an empty file

    // FSOUND_Init above closed any stream of an earlier try, so its data is free to go.
    free(music.musicData);
    music.musicData = static_cast<char *>(malloc(size_t(size)));
    // A block that could not be had or filled is handed over as empty, and the open fails,
    // rather than the decoder reading memory the file never wrote.
    music.musicSize = 0;
    if (music.musicData && size > 0 && fread(music.musicData, size_t(size), 1, file) == 1) {
        music.musicSize = int(size);
    } else if (!reason && size > 0) {
        reason = "unreadable";
        snprintf(detail, sizeof detail, "%s", ferror(file) ? strerror(errno) : "it ended early");
    }
    fclose(file);

    music.stream = FSOUND_Stream_Open(music.musicData, StreamMode, 0, music.musicSize);
    if (!music.stream && !reason && size == 0)
        reason = "empty";
    if (!music.stream && !reason) {
        // The decoder found MP3 frames but could not read them through: damaged, in its words.
        const char *why = SoundStreamOpenError();
        const bool damaged = strncmp(why, "damaged: ", 9) == 0;
        reason = damaged ? "damaged" : "not an MP3 the decoder can read";
        snprintf(detail, sizeof detail, "%s", damaged ? why + 9 : why);
    }
    if (reason)
        ReportMusicProblem(reason, detail);
    else
        ReportEarlyEnd(music.stream);
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
