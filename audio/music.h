// The music stream: the one track, played from memory, whose position is the demo's clock.
#ifndef KELVO_AUDIO_MUSIC_H
#define KELVO_AUDIO_MUSIC_H

// Starts the track once; later calls leave a playing track alone. A missing file is
// reported on standard output and the demo goes on silent.
void StartMusic();

// The playback position in whole milliseconds from the start of the track; 0 without a track.
int MusicPositionMs();

// Moves playback to the position in milliseconds; does nothing without a track.
void SeekMusic(int positionMs);

// Closes the sound output; nothing plays afterwards.
void StopMusic();

#endif
