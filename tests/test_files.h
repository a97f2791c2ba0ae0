// Small file helpers shared by the test binaries.
#ifndef KELVO_TESTS_TEST_FILES_H
#define KELVO_TESTS_TEST_FILES_H

#include <stdio.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

// The whole file's bytes; empty when it cannot be read.
inline std::vector<char> ReadWhole(const std::string &path)
{
    std::vector<char> bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

#ifndef _WIN32
// A pipe made at path that nothing writes to. Should a reader still be stuck in its open after
// the bound, the writing end is opened and closed once, which lets the reader go: code that
// blocks on the pipe then fails its test (released() is true) instead of hanging the suite.
// Going out of scope removes the pipe.
class StuckPipe {
public:
    StuckPipe(const std::string &path, int boundSeconds) : path_(path)
    {
        made_ = mkfifo(path.c_str(), 0600) == 0;
        guard_ = std::thread([this, boundSeconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (cv_.wait_for(lock, std::chrono::seconds(boundSeconds), [this] { return done_; }))
                return;
            released_ = true;
            const int end = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (end >= 0)
                close(end);
        });
    }
    ~StuckPipe()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_one();
        guard_.join();
        unlink(path_.c_str());
    }
    bool made() const { return made_; }
    bool released()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return released_;
    }

private:
    std::string path_;
    bool made_ = false;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    bool released_ = false;
    std::thread guard_;
};
#endif // The Windows check program reads files only: no pipes there.

#endif
