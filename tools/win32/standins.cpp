// Stand-ins for the texture loader and the music, which need libpng and the sound library: the
// Win32 check links app/ and render/ into a Windows executable with these in their place.
#include "audio/music.h"
#include "texload/png_check.h"
#include "texload/texload.h"

MusicState music = {nullptr, -1, nullptr, 0};

void StartMusic() {}
int MusicPositionMs() { return 0; }
void SeekMusic(int) {}
void StopMusic() {}

GLuint BindPngTexture(const char *, int, int, TextureInfo *, GLint, GLint, GLint) { return 0; }
void ReportPngProblem(const char *, const char *) {}
