// Writing 8-bit RGB and RGBA pictures as PNG files, for the tools that make the project's data
// and pictures.
#ifndef KELVO_TOOLS_PNG_WRITE_H
#define KELVO_TOOLS_PNG_WRITE_H

#include <stdio.h>

// Writes width × height pixels of `channels` bytes (3: RGB, 4: RGBA), the top row first, to
// path at the highest compression, with no time or text chunks, so that the same pixels give
// the same bytes. False after a failure, which has been reported on standard error with the
// program's name and the path; a partly written file is removed.
bool WritePngFile(const char *path, int width, int height, int channels, const unsigned char *pixels);

#endif
