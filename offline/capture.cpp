// The recorder: writes the demo to a video file with its music, frame-exact at any frame rate.
// Every frame is drawn through the demo's own code at the music position
// T_k = floor(k * 1000 / fps) ms, with the music of the same span beside it, while drawing and
// encoding overlap (offline/capture_record.h, offline/video_writer.h). It finds data/ as the demo does;
// no display and no sound device are needed.
//
// The file is written beside OUTPUT under a temporary name and renamed when complete, so that a
// failed or interrupted run never leaves a file that looks finished.
//
// Exit codes: 0 written; 1 nothing written (a failure, said in one line); 2 bad arguments;
// 130 stopped by Ctrl+C (143 by SIGTERM), nothing written.

#include <CLI/CLI.hpp>

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/data_file.h"
#include "platform/data_folder.h"
#include "platform/options.h"
#include "platform/printable.h"
#include "render/frame.h"
#include "offline/capture_record.h"
#include "offline/offline_demo.h"

namespace {

const char Tool[] = "kelvo_capture";
const char MusicPath[] = "data/music.mp3";

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int signal)
{
    stopRequested = signal;
}

// Ctrl+C and SIGTERM ask the frame loop to stop at the next frame.
void CatchStopSignals()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

double Seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Progress on standard error: a bar redrawn in place on a terminal, at most ten times a second.
struct Progress {
    bool bar;
    double start;
    double lastDrawn;
};

void ShowProgress(int64_t done, int64_t total, void *context)
{
    Progress *progress = static_cast<Progress *>(context);
    if (!progress->bar)
        return;
    double now = Seconds();
    if (done < total && now - progress->lastDrawn < 0.1)
        return;
    progress->lastDrawn = now;
    double elapsed = now - progress->start;
    double fps = elapsed > 0 ? double(done) / elapsed : 0;
    int left = fps > 0 ? int(double(total - done) / fps + 0.5) : 0;
    const int width = 30;
    int filled = int(double(width) * double(done) / double(total));
    char bar[width + 1];
    for (int i = 0; i < width; i++)
        bar[i] = i < filled ? '#' : '-';
    bar[width] = 0;
    fprintf(stderr, "\r[%s] %lld/%lld frames %5.1f%% %5.1f fps %d:%02d left\033[K", bar, (long long)done,
            (long long)total, 100.0 * double(done) / double(total), fps, left / 60, left % 60);
    fflush(stderr);
}

std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Moves the finished file to its name; without `overwrite`, an existing file there is kept.
bool PlaceOutput(const std::string &temp, const std::string &output, bool overwrite)
{
    if (overwrite)
        return rename(temp.c_str(), output.c_str()) == 0;
    // A link fails where a file already is, so a file made meanwhile is never replaced.
    if (link(temp.c_str(), output.c_str()) != 0)
        return false;
    unlink(temp.c_str());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int fps = 60;
    double fromSeconds = 0;
    double toSeconds = DemoEndSeconds;
    int scale = 1;
    int quality = -1;
    bool overwrite = false;
    bool quiet = false;
    std::string output;
    std::string dataFolder;

    CLI::App app("Records the demo to a video file with its music, frame by frame, as the demo draws it at each "
                 "music position. It finds data/ as the demo does.\nThe format comes from OUTPUT's extension: "
                 ".mp4 (H.264 and AAC), .webm (VP9 and Opus), .mkv (lossless: FFV1 and FLAC).",
                 Tool);
    app.add_option("OUTPUT", output, "the video file to write (.mp4, .webm or .mkv)")->required();
    app.add_option("--fps", fps, "frames a second")->check(CLI::Range(1, 240))->capture_default_str();
    app.add_option("--from", fromSeconds, "music position of the first frame, in seconds")
        ->check(CLI::Range(0.0, double(DemoEndSeconds)))
        ->capture_default_str();
    app.add_option("--to", toSeconds, "music position where the recording ends, in seconds (the demo ends at 142)")
        ->check(CLI::Range(0.0, double(DemoEndSeconds)))
        ->capture_default_str();
    app.add_option("--scale", scale, "enlarge every frame by this factor, pixels kept sharp")
        ->check(CLI::Range(1, 4))
        ->capture_default_str();
    app.add_option("--quality", quality,
                   "the encoder's constant quality, lower is better: .mp4 0 to 51 (default 20), .webm 0 to 63 "
                   "(default 31); .mkv is lossless")
        ->check(CLI::Range(0, 63));
    app.add_flag("-y", overwrite, "overwrite OUTPUT if it exists");
    app.add_flag("--quiet", quiet, "no progress and no summary");
    app.add_option("--data", dataFolder, "the folder that holds data/ (default: as the demo finds it)")
        ->type_name("DIR");
    int exitCode = ParseOptions(app, Tool, argc, argv);
    if (exitCode >= 0)
        return exitCode;
    const VideoFormat *format = FindVideoFormat(output.c_str());
    if (!format) {
        fprintf(stderr, "%s: cannot tell the format of '%s' from its extension; supported: %s\n", Tool,
                PrintableName(output).c_str(),
                VideoExtensions().c_str());
        return 2;
    }
    if (quality > format->maxQuality && format->defaultQuality >= 0) {
        fprintf(stderr, "%s: --quality %d is out of range for %s files (0 to %d)\n", Tool, quality, format->extension,
                format->maxQuality);
        return 2;
    }
    const int64_t fromMs = llround(fromSeconds * 1000);
    const int64_t toMs = llround(toSeconds * 1000);
    const int64_t firstFrame = CaptureFrameAt(fromMs, fps);
    const int64_t endFrame = CaptureFrameAt(toMs, fps);
    if (endFrame <= firstFrame) {
        fprintf(stderr, "%s: no frame between --from %g and --to %g at %d fps\n", Tool, fromSeconds, toSeconds, fps);
        return 2;
    }

    std::string error;
    if (!CheckVideoEncoders(*format, &error)) {
        fprintf(stderr, "%s: %s\n", Tool, error.c_str());
        return 1;
    }
    struct stat info;
    if (stat(output.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || !overwrite)) {
        fprintf(stderr, "%s: %s %s\n", Tool, PrintableName(output).c_str(),
                S_ISDIR(info.st_mode) ? "is a folder" : "exists; -y overwrites it");
        return 1;
    }
    // OUTPUT is named from where the tool was started, before it moves to the data; messages
    // name it as the user did.
    const std::string shown = output;
    output = AbsoluteFromWorkingDirectory(output);
    SetDataReports(Tool, false);
    EnterDataFolder(Tool, dataFolder.c_str(), ExecutablePath(argv[0]));
    const char *notFile = nullptr;
    FILE *musicFile = OpenDataFile(MusicPath, &notFile);
    if (!musicFile) {
        fprintf(stderr, "%s: cannot read %s (%s): its position is the demo's clock, so there is nothing to record by; "
                        "--data names the folder that holds data/\n",
                Tool, MusicPath, notFile ? notFile : strerror(errno));
        return 1;
    }
    fclose(musicFile);

    CatchStopSignals();

    // The temporary file sits beside OUTPUT (so that the rename stays on one file system), hidden.
    std::string folder = FolderOf(output);
    std::string base = output.substr(output.rfind('/') == std::string::npos ? 0 : output.rfind('/') + 1);
    std::string temp = (folder == "/" ? "" : folder) + "/." + base + ".XXXXXX.part";
    int descriptor = mkstemps(&temp[0], 5);
    if (descriptor < 0) {
        fprintf(stderr, "%s: cannot write in %s (%s)\n", Tool, PrintableName(FolderOf(shown)).c_str(), strerror(errno));
        return 1;
    }
    // mkstemps makes the file private; the finished video gets the permissions of any new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);

    // The window layer takes Ctrl+C and SIGTERM over when it starts, and nothing here reads its
    // messages: the signals wait, blocked, until the recorder's own handlers are back, so that
    // one arriving during the start is not lost.
    sigset_t stopSignals, previousMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask);
    const bool opened = OpenOfflineDemo(Tool);
    CatchStopSignals();
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    if (!opened) {
        unlink(temp.c_str());
        return stopRequested ? 128 + int(stopRequested) : 1;
    }
    if (!OfflineDemoHasMusic()) {
        CloseOfflineDemo();
        unlink(temp.c_str());
        fprintf(stderr, "%s: %s could not be played: its position is the demo's clock, so there is nothing to "
                        "record by\n",
                Tool, MusicPath);
        return 1;
    }

    Progress progress = {!quiet && isatty(2) == 1, Seconds(), 0};
    RecordSettings settings = {format, temp.c_str(), fps, firstFrame, endFrame, scale, quality, 6, &stopRequested,
                               ShowProgress, &progress};
    RecordResult result = RecordDemo(settings, &error);
    CloseOfflineDemo();
    if (progress.bar)
        fputc('\n', stderr);
    if (result == Recorded && stopRequested)
        result = RecordInterrupted;
    if (result == RecordInterrupted) {
        unlink(temp.c_str());
        fprintf(stderr, "%s: interrupted; nothing written\n", Tool);
        return 128 + (stopRequested ? int(stopRequested) : SIGINT); // 130 for Ctrl+C, 143 for SIGTERM
    }
    if (result == RecordFailed) {
        unlink(temp.c_str());
        fprintf(stderr, "%s: %s; nothing written\n", Tool, error.c_str());
        return 1;
    }
    if (!PlaceOutput(temp, output, overwrite)) {
        int code = errno;
        unlink(temp.c_str());
        fprintf(stderr, "%s: %s could not be put in place (%s); nothing written\n", Tool, PrintableName(shown).c_str(),
                strerror(code));
        return 1;
    }
    if (!quiet) {
        double elapsed = Seconds() - progress.start;
        int64_t frames = endFrame - firstFrame;
        fprintf(stderr, "%s: wrote %s: %lld frames at %d fps (%.3f s from %.3f s) with the music, in %.1f s (%.1f fps)\n",
                Tool, PrintableName(shown).c_str(), (long long)frames, fps, double(frames) / fps,
                double(CaptureFrameClock(firstFrame, fps)) / 1000.0, elapsed, double(frames) / elapsed);
    }
    return 0;
}
