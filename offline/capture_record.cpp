#include "offline/capture_record.h"

#include <fsound_ext.h>

#include "audio/music.h"
#include "offline/offline_demo.h"

namespace {

// The track frame a seek to `clockMs` lands on, rounded up as the sound layer rounds it, so that
// the position reads `clockMs` once the music is pulled up to it.
int64_t AudioFrameAt(int64_t clockMs)
{
    return (clockMs * CaptureSampleRate + 999) / 1000;
}

// Pulls `frames` of the mixed music into the chunk's audio.
bool PullMusic(VideoChunk *chunk, int64_t frames, std::string *error)
{
    chunk->audio.resize(size_t(frames) * 2);
    chunk->audioFrames = int(frames);
    if (frames > 0 && RenderSoundOffline(chunk->audio.data(), int(frames)) != int(frames)) {
        *error = "the music could not be pulled from the sound layer";
        return false;
    }
    return true;
}

} // namespace

int64_t CaptureFrameClock(int64_t k, int fps)
{
    return k * 1000 / fps;
}

int64_t CaptureFrameAt(int64_t clockMs, int fps)
{
    return (clockMs * fps + 999) / 1000;
}

RecordResult RecordDemo(const RecordSettings &settings, std::string *error)
{
    VideoSettings video = {settings.format, settings.path, DemoFrameWidth, DemoFrameHeight, settings.scale,
                           settings.fps, settings.quality, CaptureSampleRate, settings.poolChunks};
    VideoWriter *writer = OpenVideoWriter(video, error);
    if (!writer)
        return RecordFailed;

    const int64_t frames = settings.endFrame - settings.firstFrame;
    const int64_t firstClock = CaptureFrameClock(settings.firstFrame, settings.fps);
    const int64_t audioStart = AudioFrameAt(firstClock);
    // The music runs as long as the pictures: frames / fps seconds from the first one's position.
    const int64_t audioEnd = audioStart + (frames * CaptureSampleRate + settings.fps / 2) / settings.fps;
    int64_t audioCursor = audioStart;

    SeekMusic(int(firstClock));
    bool ok = MusicPositionMs() == int(firstClock);
    if (!ok)
        *error = "the music did not move to " + std::to_string(firstClock) + " ms";
    for (int64_t k = settings.firstFrame; ok && k < settings.endFrame; k++) {
        if (settings.stop && *settings.stop) {
            AbortVideo(writer);
            return RecordInterrupted;
        }
        VideoChunk *chunk = TakeVideoChunk(writer);
        if (!chunk)
            break; // the encoder failed; FinishVideo says why
        const int64_t clock = CaptureFrameClock(k, settings.fps);
        const int64_t audioTarget = AudioFrameAt(clock);
        ok = PullMusic(chunk, audioTarget - audioCursor, error);
        audioCursor = audioTarget;
        if (ok && !(DrawOfflineFrame("kelvo_capture", int(clock)) && ReadOfflineFrame("kelvo_capture", chunk->rgb.data()))) {
            ok = false;
            *error = "frame " + std::to_string(k) + " could not be drawn";
        }
        chunk->hasPicture = ok;
        QueueVideoChunk(writer, chunk);
        if (ok && settings.progress)
            settings.progress(k - settings.firstFrame + 1, frames, settings.progressContext);
    }
    if (ok && settings.stop && *settings.stop) {
        AbortVideo(writer);
        return RecordInterrupted;
    }
    if (ok) {
        VideoChunk *chunk = TakeVideoChunk(writer);
        if (chunk) {
            ok = PullMusic(chunk, audioEnd - audioCursor, error);
            QueueVideoChunk(writer, chunk);
        }
    }
    if (!ok) {
        AbortVideo(writer);
        return RecordFailed;
    }
    return FinishVideo(writer, error) ? Recorded : RecordFailed;
}
