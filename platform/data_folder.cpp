// Finds the folder that holds data/ and makes it the working directory.

#include "platform/data_folder.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

// The installed data folder as seen from the installed programs' folder; the build sets it
// from the install layout.
#ifndef KELVO_DATA_FROM_BIN
#define KELVO_DATA_FROM_BIN "../share/games/kelvo"
#endif

namespace {

std::string WorkingDirectory()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

// Removes "." and empty parts and resolves ".." without touching the file system, so the
// folders named in messages read plainly even when they do not exist.
std::string Normalised(const std::string &path)
{
    if (path.empty())
        return path;
    bool absolute = path[0] == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); i++)
        result += (i ? "/" : "") + parts[i];
    return result.empty() ? "." : result;
}

std::string FolderOf(const std::string &file)
{
    size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// The folder with its links resolved when it exists, else as written, normalised.
std::string Resolved(const std::string &folder)
{
    char buffer[PATH_MAX];
    return realpath(folder.c_str(), buffer) ? std::string(buffer) : Normalised(folder);
}

bool Inside(const std::string &folder, const std::string &outer)
{
    return folder == outer || (folder.size() > outer.size() && folder.compare(0, outer.size(), outer) == 0 &&
                               (outer == "/" || folder[outer.size()] == '/'));
}

bool HoldsDataFolder(const std::string &folder)
{
    struct stat info;
    return stat((folder + "/data").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string AbsoluteFromWorkingDirectory(const std::string &path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::string here = WorkingDirectory();
    return here.empty() ? path : here + "/" + path;
}

std::string ExecutablePath(const char *argv0)
{
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        buffer[length] = '\0';
        return buffer;
    }
    // Without /proc: a name with a slash is a path; a bare name came through PATH and
    // says nothing about where the file is.
    if (argv0 && strchr(argv0, '/'))
        return Normalised(AbsoluteFromWorkingDirectory(argv0));
    return std::string();
}

std::vector<std::string> DataFolderCandidates(const char *chosen, const std::string &executable)
{
    std::vector<std::string> folders;
    if (!chosen || !chosen[0])
        chosen = getenv("KELVO_DATA_DIR");
    if (chosen && chosen[0])
        folders.push_back(Normalised(AbsoluteFromWorkingDirectory(chosen)));
    std::string here = WorkingDirectory();
    if (!here.empty())
        folders.push_back(here);
    if (!executable.empty()) {
        std::string programs = FolderOf(Normalised(AbsoluteFromWorkingDirectory(executable)));
        folders.push_back(Normalised(programs + "/.."));
        folders.push_back(Normalised(programs + "/" KELVO_DATA_FROM_BIN));
        folders.push_back(Normalised(programs + "/../.."));
#if defined(KELVO_BUILD_TREE) && defined(KELVO_SOURCE_TREE)
        // A program still in the build folder it was built in, wherever that lies, uses the
        // source tree's data last; an installed one never looks there.
        if (Inside(Resolved(programs), Resolved(KELVO_BUILD_TREE)))
            folders.push_back(Normalised(KELVO_SOURCE_TREE));
#endif
    }
    std::vector<std::string> unique;
    for (const std::string &folder : folders)
        if (std::find(unique.begin(), unique.end(), folder) == unique.end())
            unique.push_back(folder);
    return unique;
}

bool EnterDataFolder(const char *program, const char *chosen, const std::string &executable)
{
    bool fromOption = chosen && chosen[0];
    const char *fromEnvironment = getenv("KELVO_DATA_DIR");
    bool haveChoice = fromOption || (fromEnvironment && fromEnvironment[0]);
    std::vector<std::string> candidates = DataFolderCandidates(chosen, executable);
    for (size_t i = 0; i < candidates.size(); i++) {
        const std::string &folder = candidates[i];
        if (HoldsDataFolder(folder) && chdir(folder.c_str()) == 0)
            return true;
        if (i == 0 && haveChoice)
            fprintf(stderr, "%s: %s %s has no data/ folder; looking elsewhere\n", program,
                    fromOption ? "--data" : "KELVO_DATA_DIR", folder.c_str());
    }
    std::string list;
    for (const std::string &folder : candidates)
        list += (list.empty() ? "" : ", ") + folder;
    fprintf(stderr, "%s: no data/ folder found in %s (use --data DIR or KELVO_DATA_DIR)\n", program, list.c_str());
    return false;
}
