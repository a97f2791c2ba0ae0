// Opening a data file for reading without ever blocking in the open: a pipe, a socket or a
// device in place of a file is refused at once, before anything waits on it.
#ifndef KELVO_PLATFORM_DATA_FILE_H
#define KELVO_PLATFORM_DATA_FILE_H

#include <stdio.h>

// How this program's lines about its data files begin and end: its name, and whether it takes
// keys (only then do the lines advise one). Written only by SetDataReports.
struct DataReports {
    const char *program;  // "kelvo" until set
    bool keys;            // true until set
};
extern DataReports dataReports;

// Names the program the lines about data files come from, and whether it takes keys; called by a
// program's entry before any data file is read.
void SetDataReports(const char *program, bool keys);

// What the file at path is when it is neither a regular file (nor a link to one) nor a folder:
// "a pipe, not a file", "a socket, not a file" or "a device, not a file"; null otherwise, and
// null when stat cannot see it (the open then says why).
const char *NotADataFile(const char *path);

// fopen(path, "rb") for a regular file or a folder (a folder's reads then fail), by an open that
// cannot block. Null for anything else, with *refusal set as NotADataFile says; null with
// *refusal null and errno set when the open itself fails.
FILE *OpenDataFile(const char *path, const char **refusal);

#endif
