// The music stream: the one track, played from memory, whose position is the demo's clock.
#ifndef KELVO_AUDIO_MUSIC_H
#define KELVO_AUDIO_MUSIC_H

struct FSOUND_STREAM;

// The process-wide music state. Written only by StartMusic; never reset.
struct MusicState {
    FSOUND_STREAM *stream;   // the demo's stream, null when none could be opened
    int playbackChannel;     // channel it plays on; negative until a playback has started
    char *musicData;         // the whole file, decoded in place by the stream; kept for the process
    int musicSize;           // bytes in musicData handed to the stream
};
extern MusicState music;

// Starts the track from data/music.mp3 once; later calls leave a playing track alone. A missing
// file prints "Error!" and "File Not Found" on standard output and the demo goes on silent.
void StartMusic();

// The playback position in whole milliseconds from the start of the track; 0 without a track.
int MusicPositionMs();

// Moves playback to the position in milliseconds (below 0: the start); nothing without a track.
void SeekMusic(int positionMs);

// Closes the sound output; nothing plays afterwards.
void StopMusic();

#endif
