// Small file helpers shared by the test binaries.
#ifndef KELVO_TESTS_TEST_FILES_H
#define KELVO_TESTS_TEST_FILES_H

#include <stdio.h>

#include <initializer_list>
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

// Byte strings joined end to end, as `cat` joins files.
inline std::vector<char> Joined(std::initializer_list<std::vector<char>> pieces)
{
    std::vector<char> all;
    for (const std::vector<char> &piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

// The bytes less their last `cut`, as a download cut short leaves them.
inline std::vector<char> CutLast(std::vector<char> bytes, size_t cut)
{
    bytes.resize(bytes.size() > cut ? bytes.size() - cut : 0);
    return bytes;
}

// Silent MPEG-1 layer II frames (44.1 kHz stereo, 128 kbit/s, every bit allocation 0): 38 make
// a second.
inline std::vector<char> LayerTwoFrames(int frames)
{
    std::vector<char> bytes;
    for (int i = 0; i < frames; i++) {
        const char header[4] = {char(0xff), char(0xfd), char(0x80), 0};
        bytes.insert(bytes.end(), header, header + 4);
        bytes.resize(bytes.size() + 413);
    }
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
