// Telling the user why a PNG file did not load: a check of the file itself, made after the
// loader returned 0 for it.
#ifndef KELVO_TEXLOAD_PNG_CHECK_H
#define KELVO_TEXLOAD_PNG_CHECK_H

#include <stddef.h>

// Writes why the file at path does not load, in words: "missing", "permission denied", "a folder,
// not a file", "empty", "not a PNG", "too large (...)" or "damaged (libpng: ...)" with the
// decoder's message; "not made into a texture" when the file itself decodes. Prints nothing.
void DescribePngProblem(const char *path, char *reason, size_t reasonSize);

// One line on standard error, "<program>: <path>: <reason>; <consequence>" (dataReports.program).
void ReportPngProblem(const char *path, const char *consequence);

#endif
