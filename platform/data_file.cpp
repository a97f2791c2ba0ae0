#include "platform/data_file.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

DataReports dataReports = {"kelvo", true};

void SetDataReports(const char *program, bool keys)
{
    dataReports.program = program;
    dataReports.keys = keys;
}

static const char *SpecialFileName(mode_t mode)
{
    if (S_ISREG(mode) || S_ISDIR(mode))
        return nullptr;
#ifdef S_ISFIFO
    if (S_ISFIFO(mode))
        return "a pipe, not a file";
#endif
#ifdef S_ISSOCK
    if (S_ISSOCK(mode))
        return "a socket, not a file";
#endif
    return "a device, not a file";
}

const char *NotADataFile(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 ? SpecialFileName(info.st_mode) : nullptr;
}

FILE *OpenDataFile(const char *path, const char **refusal)
{
    *refusal = NotADataFile(path);
    if (*refusal) {
        errno = EINVAL;
        return nullptr;
    }
#ifdef _WIN32
    return fopen(path, "rb");
#else
    // The name may have been replaced since the check: the open itself must not wait for a
    // writer, and what it opened is looked at again.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0 || (*refusal = SpecialFileName(info.st_mode)) != nullptr) {
        close(descriptor);
        errno = EINVAL;
        return nullptr;
    }
    const int flags = fcntl(descriptor, F_GETFL);
    FILE *file = flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(descriptor, "rb");
    if (!file) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return file;
#endif
}
