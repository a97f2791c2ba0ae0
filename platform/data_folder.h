/*
 * data_folder.h -- where a program of kelvo finds data/, from any working directory.
 *
 * The demo and its tools open "data/..." relative to the working directory. Before anything
 * opens a file, a program calls EnterDataFolder, which makes the first of these folders that
 * holds a data/ folder the working directory:
 *   1. the folder the user chose (--data DIR, else the environment variable KELVO_DATA_DIR);
 *   2. the working directory as it is;
 *   3. the folder above the executable's folder (the repository root for build/kelvo);
 *   4. the installed data folder, relative to the executable's folder, so a moved install works;
 *   5. the folder two above the executable's folder (the repository root for build/offline/...).
 *   6. for a program still inside the build folder it was built in (which may lie anywhere),
 *      the source tree it was built from.
 * When none does, one line on stderr names the folders it looked in and the working directory
 * stays as it was, so the program goes on and reports its missing files as it always does.
 * A chosen folder without data/ is reported on stderr and the search goes on.
 * POSIX only; everything runs on the calling thread.
 */
#ifndef KELVO_PLATFORM_DATA_FOLDER_H
#define KELVO_PLATFORM_DATA_FOLDER_H

#include <string>
#include <vector>

/* The running program's own file: /proc/self/exe, else argv0 made absolute when it names a path;
   "" when neither is known. */
std::string ExecutablePath(const char *argv0);

/* The folders EnterDataFolder tries, in order, without duplicates. `chosen` may be NULL or "";
   `executable` may be "". */
std::vector<std::string> DataFolderCandidates(const char *chosen, const std::string &executable);

/* Makes the first candidate that holds data/ the working directory; true when one did.
   `program` prefixes the messages on stderr. `chosen` NULL or "" falls back to KELVO_DATA_DIR. */
bool EnterDataFolder(const char *program, const char *chosen, const std::string &executable);

/* `path` made absolute against the current working directory (unchanged when already absolute
   or when the working directory is unknown); for arguments that name outputs, taken before
   EnterDataFolder moves the working directory. */
std::string AbsoluteFromWorkingDirectory(const std::string &path);

#endif
