// The recorder, run as a program in a folder holding copies of the demo's data and music, its
// files decoded back through FFmpeg's libraries and set against the frame tool's PNGs and the
// music decoded straight from the MP3.
#include <gtest/gtest.h>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <dirent.h>
#include <math.h>
#include <mpg123.h>
#include <png.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/test_files.h"

namespace {

bool CopyFile(const std::string &from, const std::string &to)
{
    FILE *in = fopen(from.c_str(), "rb");
    FILE *out = fopen(to.c_str(), "wb");
    bool ok = in && out;
    char block[65536];
    size_t got;
    while (ok && (got = fread(block, 1, sizeof block, in)) > 0)
        ok = fwrite(block, 1, got, out) == got;
    if (in)
        fclose(in);
    if (out)
        ok = fclose(out) == 0 && ok;
    return ok;
}

std::set<std::string> FilesIn(const std::string &folder)
{
    std::set<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, ".."))
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

// What a recording decodes to: its picture count and size, one chosen picture as RGB rows, the
// audio as 44.1 kHz 16-bit stereo, and the audio stream's duration in the container.
struct Decoded {
    bool ok = false;
    int width = 0, height = 0, pictures = 0;
    std::string videoCodec, audioCodec;
    std::vector<unsigned char> chosen;
    std::vector<short> audio;
    double audioSeconds = 0;
    // When the first decoded picture is shown and the first decoded sound sample heard, in
    // seconds (after the samples the codec's delay discards); NAN when none was decoded.
    double firstPictureAt = NAN, firstSoundAt = NAN;
};

Decoded Decode(const std::string &path, int chosenPicture)
{
    Decoded result;
    AVFormatContext *input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return result;
    AVCodecContext *codecs[2] = {nullptr, nullptr};
    int streams[2] = {-1, -1};
    bool ok = avformat_find_stream_info(input, nullptr) >= 0;
    for (int type = 0; ok && type < 2; type++) {
        AVMediaType media = type == 0 ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
        const AVCodec *codec = nullptr;
        streams[type] = av_find_best_stream(input, media, -1, -1, &codec, 0);
        ok = streams[type] >= 0 && (codecs[type] = avcodec_alloc_context3(codec)) &&
             avcodec_parameters_to_context(codecs[type], input->streams[streams[type]]->codecpar) >= 0;
        if (ok) // so that the decoder moves a frame's time past the samples it discards
            codecs[type]->pkt_timebase = input->streams[streams[type]]->time_base;
        ok = ok && avcodec_open2(codecs[type], codec, nullptr) >= 0;
        if (ok)
            (type == 0 ? result.videoCodec : result.audioCodec) = codec->name;
    }
    if (ok) {
        AVStream *audioStream = input->streams[streams[1]];
        result.audioSeconds = audioStream->duration != AV_NOPTS_VALUE ? double(audioStream->duration) * av_q2d(audioStream->time_base)
                                                                      : double(input->duration) / AV_TIME_BASE;
    }
    SwrContext *resampler = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (ok)
        ok = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, 44100, &codecs[1]->ch_layout,
                                 codecs[1]->sample_fmt, codecs[1]->sample_rate, 0, nullptr) >= 0 &&
             swr_init(resampler) >= 0;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto take = [&](int type) {
        while (avcodec_receive_frame(codecs[type], frame) >= 0) {
            if (std::isnan(type == 0 ? result.firstPictureAt : result.firstSoundAt) &&
                frame->best_effort_timestamp != AV_NOPTS_VALUE)
                (type == 0 ? result.firstPictureAt : result.firstSoundAt) =
                    double(frame->best_effort_timestamp) * av_q2d(input->streams[streams[type]]->time_base);
            if (type == 0) {
                result.width = frame->width;
                result.height = frame->height;
                if (result.pictures++ == chosenPicture) {
                    result.chosen.resize(size_t(frame->width) * size_t(frame->height) * 3);
                    SwsContext *toRgb = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format),
                                                       frame->width, frame->height, AV_PIX_FMT_RGB24,
                                                       SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
                    uint8_t *planes[1] = {result.chosen.data()};
                    int stride[1] = {frame->width * 3};
                    sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, planes, stride);
                    sws_freeContext(toRgb);
                }
            } else {
                int room = swr_get_out_samples(resampler, frame->nb_samples);
                size_t at = result.audio.size();
                result.audio.resize(at + size_t(room) * 2);
                uint8_t *out[1] = {reinterpret_cast<uint8_t *>(result.audio.data() + at)};
                int got = swr_convert(resampler, out, room, const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
                result.audio.resize(at + size_t(got > 0 ? got : 0) * 2);
            }
            av_frame_unref(frame);
        }
    };
    while (ok && av_read_frame(input, packet) >= 0) {
        for (int type = 0; type < 2; type++)
            if (packet->stream_index == streams[type] && avcodec_send_packet(codecs[type], packet) >= 0)
                take(type);
        av_packet_unref(packet);
    }
    for (int type = 0; ok && type < 2; type++) {
        avcodec_send_packet(codecs[type], nullptr);
        take(type);
    }
    result.ok = ok;
    av_frame_free(&frame);
    av_packet_free(&packet);
    swr_free(&resampler);
    avcodec_free_context(&codecs[0]);
    avcodec_free_context(&codecs[1]);
    avformat_close_input(&input);
    return result;
}

// Samples not zero in the video's sound from `from` to `to` seconds (44.1 kHz stereo).
int SoundingSamples(const Decoded &video, double from, double to)
{
    int count = 0;
    for (size_t i = size_t(from * 44100) * 2; i < size_t(to * 44100) * 2 && i < video.audio.size(); i++)
        count += video.audio[i] != 0;
    return count;
}

std::vector<unsigned char> ReadPngRgb(const std::string &path)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<unsigned char> rgb;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
            rgb.clear();
    }
    png_image_free(&image);
    return rgb;
}

double Psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++)
        sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    double mse = sum / double(a.size());
    return mse == 0 ? 99 : 10 * log10(255.0 * 255.0 / mse);
}

// `frames` stereo frames of the MP3 from track frame `start`, decoded straight by libmpg123.
std::vector<short> Mp3Span(const std::string &path, long start, long frames)
{
    std::vector<short> all;
    mpg123_handle *handle = mpg123_new(nullptr, nullptr);
    if (handle && mpg123_open(handle, path.c_str()) == MPG123_OK) {
        mpg123_format_none(handle);
        mpg123_format(handle, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
        unsigned char block[16384];
        size_t got = 0;
        int result;
        while ((long(all.size()) / 2 < start + frames) &&
               ((result = mpg123_read(handle, block, sizeof block, &got)) == MPG123_OK || result == MPG123_NEW_FORMAT || got > 0)) {
            const short *samples = reinterpret_cast<const short *>(block);
            all.insert(all.end(), samples, samples + got / 2);
            if (result == MPG123_DONE)
                break;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    all.resize(size_t(start + frames) * 2, 0);
    return std::vector<short>(all.begin() + start * 2, all.end());
}

// The lag, in frames within +-range, at which `b` best matches `a` (left channel, normalised).
int BestLag(const std::vector<short> &a, const std::vector<short> &b, int range)
{
    long frames = long(std::min(a.size(), b.size()) / 2);
    double best = -2;
    int bestLag = range + 1;
    for (int lag = -range; lag <= range; lag++) {
        double sum = 0, na = 0, nb = 0;
        for (long i = range; i < frames - range; i++) {
            double x = a[size_t(i) * 2], y = b[size_t(i + lag) * 2];
            sum += x * y;
            na += x * x;
            nb += y * y;
        }
        double score = na > 0 && nb > 0 ? sum / sqrt(na * nb) : -1;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    return bestLag;
}

// A fresh folder with data/ holding the demo's images and music (unless told otherwise); the
// tools run in it.
class CaptureTool : public testing::Test {
protected:
    std::string folder;
    std::string errors; // standard error of the last run

    void SetUp() override
    {
        char name[] = "/tmp/kelvo_capture_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        folder = name;
        ASSERT_EQ(mkdir((folder + "/data").c_str(), 0700), 0);
        for (const char *file : {"bg.png", "fg.png", "kelvo.png", "music.mp3"})
            ASSERT_TRUE(CopyFile(std::string(KELVO_DATA) + "/" + file, folder + "/data/" + file)) << file;
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + folder + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    // Runs a tool in the folder; its exit code, or -1 when it did not exit normally.
    int RunTool(const char *tool, const std::vector<std::string> &arguments)
    {
        std::string command = "cd '" + folder + "' && '" + tool + "'";
        for (const std::string &argument : arguments)
            command += " '" + argument + "'";
        command += " >/dev/null 2>'" + folder + "/stderr.txt'";
        int status = system(command.c_str());
        errors.clear();
        if (FILE *file = fopen((folder + "/stderr.txt").c_str(), "rb")) {
            char block[4096];
            size_t got;
            while ((got = fread(block, 1, sizeof block, file)) > 0)
                errors.append(block, got);
            fclose(file);
        }
        remove((folder + "/stderr.txt").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Capture(const std::vector<std::string> &arguments)
    {
        return RunTool(KELVO_CAPTURE_TOOL, arguments);
    }
    std::vector<unsigned char> FrameToolPicture(int clock)
    {
        std::string name = "frame" + std::to_string(clock) + ".png";
        EXPECT_EQ(RunTool(KELVO_FRAME_TOOL, {std::to_string(clock), name}), 0);
        std::vector<unsigned char> rgb = ReadPngRgb(folder + "/" + name);
        remove((folder + "/" + name).c_str());
        return rgb;
    }
    // Replaces data/music.mp3 with these bytes.
    bool WriteMusic(const std::vector<char> &bytes)
    {
        FILE *out = fopen((folder + "/data/music.mp3").c_str(), "wb");
        if (!out)
            return false;
        const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        return fclose(out) == 0 && written;
    }
    std::set<std::string> Outputs()
    {
        std::set<std::string> names = FilesIn(folder);
        names.erase("data");
        return names;
    }
};

TEST_F(CaptureTool, Mp4HoldsEveryFrameAndTheMusicInStep)
{
    // 32 s to 34 s at 30 fps: frames at floor(k * 1000 / 30) ms, k = 960 to 1019.
    ASSERT_EQ(Capture({"--fps", "30", "--from", "32", "--to", "34", "out.mp4"}), 0) << errors;
    EXPECT_EQ(Outputs(), std::set<std::string>{"out.mp4"}) << "the temporary file is gone";
    struct stat info;
    const mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat((folder + "/out.mp4").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "the video is not left private like a temporary file";
    EXPECT_NE(errors.find("wrote out.mp4: 60 frames at 30 fps"), std::string::npos)
        << "one summary line when standard error is not a terminal:\n" << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;

    const int chosen = 45; // k = 1005: 33500 ms
    Decoded video = Decode(folder + "/out.mp4", chosen);
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.videoCodec, "h264");
    EXPECT_EQ(video.audioCodec, "aac");
    EXPECT_EQ(video.pictures, 60);
    EXPECT_EQ(video.width, 800);
    EXPECT_EQ(video.height, 600);
    EXPECT_NEAR(video.audioSeconds, 2.0, 0.0005) << "the audio stream lasts as long as the pictures";

    std::vector<unsigned char> expected = FrameToolPicture(33500);
    ASSERT_EQ(video.chosen.size(), expected.size());
    EXPECT_GE(Psnr(video.chosen, expected), 35.0) << "picture 45 is the frame at 33500 ms";
    EXPECT_LT(Psnr(video.chosen, FrameToolPicture(33533)), Psnr(video.chosen, expected))
        << "and not its neighbour";

    // 32 s is track frame 1411200; 1 ms is 44 frames.
    std::vector<short> music = Mp3Span(folder + "/data/music.mp3", 1411200, 88200);
    ASSERT_GE(video.audio.size(), music.size());
    int lag = BestLag(music, std::vector<short>(video.audio.begin(), video.audio.begin() + long(music.size())), 441);
    EXPECT_LE(abs(lag), 44) << "the audio is shifted by " << lag << " frames";
}

TEST_F(CaptureTool, MkvKeepsEveryPixelAndSampleEvenEnlarged)
{
    // 47 s to 48 s at 5 fps, quietly, with every pixel doubled.
    ASSERT_EQ(Capture({"--fps", "5", "--from", "47", "--to", "48", "--scale", "2", "--quiet", "out.mkv"}), 0) << errors;
    EXPECT_EQ(errors, "") << "--quiet says nothing";
    Decoded video = Decode(folder + "/out.mkv", 2); // 47400 ms
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.videoCodec, "ffv1");
    EXPECT_EQ(video.audioCodec, "flac");
    EXPECT_EQ(video.pictures, 5);
    ASSERT_EQ(video.width, 1600);
    ASSERT_EQ(video.height, 1200);
    std::vector<unsigned char> expected = FrameToolPicture(47400);
    ASSERT_EQ(expected.size(), 800u * 600u * 3u);
    size_t differing = 0;
    for (size_t y = 0; y < 1200; y++)
        for (size_t x = 0; x < 1600; x++)
            for (size_t c = 0; c < 3; c++)
                differing += video.chosen[(y * 1600 + x) * 3 + c] != expected[((y / 2) * 800 + x / 2) * 3 + c];
    EXPECT_EQ(differing, 0u) << "each pixel of the frame tool's picture is a sharp 2 x 2 block";

    ASSERT_EQ(video.audio.size(), 44100u * 2u) << "one second of music, to the sample";
    std::vector<short> music = Mp3Span(folder + "/data/music.mp3", 47 * 44100, 44100);
    EXPECT_EQ(BestLag(music, video.audio, 441), 0);
}

TEST_F(CaptureTool, EveryFormatStartsPictureAndSoundTogetherAtZero)
{
    // From 4 s: the first picture is at 0, and the sound heard from that moment is the music from
    // 4 s, to within a millisecond, once the decoded samples are placed at their own times.
    std::vector<short> music = Mp3Span(folder + "/data/music.mp3", 4 * 44100, 44100 / 2);
    for (const char *name : {"out.mp4", "out.webm", "out.mkv"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Capture({"--fps", "5", "--from", "4", "--to", "5", "--quiet", name}), 0) << errors;
        Decoded video = Decode(folder + "/" + name, 0);
        ASSERT_TRUE(video.ok);
        EXPECT_EQ(video.firstPictureAt, 0.0);
        ASSERT_FALSE(std::isnan(video.firstSoundAt));
        EXPECT_NEAR(video.firstSoundAt, 0.0, 0.001) << "WebM keeps its times in milliseconds";
        ASSERT_GE(video.audio.size(), music.size());
        int startsAt = int(lround((video.firstSoundAt - video.firstPictureAt) * 44100)); // after the first picture
        int lag = BestLag(music, std::vector<short>(video.audio.begin(), video.audio.begin() + long(music.size())), 441);
        EXPECT_LE(abs(lag - startsAt), 44) << "sound " << lag - startsAt << " frames away from the picture";
    }
}

TEST_F(CaptureTool, TheLastFrameIsTheOneBeforeTheEnd)
{
    // At 60 fps the demo's last frame is k = 8519, at 141983 ms; 142000 ms is already over.
    ASSERT_EQ(Capture({"--from", "141.95", "out.webm"}), 0) << errors;
    Decoded video = Decode(folder + "/out.webm", 2);
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.videoCodec, "vp9");
    EXPECT_EQ(video.audioCodec, "opus");
    EXPECT_EQ(video.pictures, 3) << "141950, 141966 and 141983 ms";
    EXPECT_NEAR(double(video.audio.size()) / 2 / 44100, 0.05, 0.001);
    std::vector<unsigned char> last = FrameToolPicture(141983);
    ASSERT_EQ(video.chosen.size(), last.size());
    EXPECT_GE(Psnr(video.chosen, last), 30.0);
}

TEST_F(CaptureTool, ProgressIsABarOnATerminal)
{
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(folder.c_str()) == 0)
            execl(KELVO_CAPTURE_TOOL, KELVO_CAPTURE_TOOL, "--fps", "5", "--to", "1", "out.mkv", (char *)nullptr);
        _exit(127);
    }
    std::string shown;
    char block[4096];
    ssize_t got;
    while ((got = read(terminal, block, sizeof block)) > 0)
        shown.append(block, size_t(got));
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("\r["), std::string::npos) << shown;
    EXPECT_NE(shown.find("5/5 frames 100.0%"), std::string::npos) << shown;
    EXPECT_NE(shown.find("wrote out.mkv: 5 frames"), std::string::npos) << shown;
}

TEST_F(CaptureTool, CtrlCStopsWithNothingLeft)
{
    std::string errorsPath = folder + "/interrupted.txt";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(folder.c_str()) == 0 && freopen(errorsPath.c_str(), "w", stderr))
            execl(KELVO_CAPTURE_TOOL, KELVO_CAPTURE_TOOL, "--quiet", "out.mp4", (char *)nullptr);
        _exit(127);
    }
    // Waits for the temporary file, then for a few frames to be drawn into it.
    bool started = false;
    for (int i = 0; i < 600 && !started; i++) {
        for (const std::string &name : FilesIn(folder))
            started = started || name.find(".part") != std::string::npos;
        usleep(50000);
    }
    EXPECT_TRUE(started);
    usleep(500000);
    kill(child, SIGINT);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1200 && ended == 0; i++) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0)
            usleep(50000);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "still recording a minute after Ctrl+C";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    remove(errorsPath.c_str());
    EXPECT_TRUE(Outputs().empty()) << "no output and no temporary file";
}

TEST_F(CaptureTool, MusicThatStopsEarlyIsNamedAndItsSilenceRecorded)
{
    // The track's first 30 % intact (46.8 s of music), garbage after it.
    std::vector<char> track = ReadWhole(folder + "/data/music.mp3");
    ASSERT_FALSE(track.empty());
    srand(3);
    for (size_t i = track.size() * 3 / 10; i < track.size(); i++)
        track[i] = char(rand());
    ASSERT_TRUE(WriteMusic(track));

    ASSERT_EQ(Capture({"--fps", "5", "--from", "45", "--to", "49", "out.mkv"}), 0) << errors;
    EXPECT_NE(errors.find("kelvo_capture: data/music.mp3: damaged at 0:46 ("), std::string::npos) << errors;
    EXPECT_NE(errors.find("); the rest is silent\n"), std::string::npos) << errors;
    Decoded video = Decode(folder + "/out.mkv", 0);
    ASSERT_TRUE(video.ok);
    ASSERT_GE(video.audio.size(), size_t(4 * 44100 * 2));
    auto sounding = [&](double from, double to) { return SoundingSamples(video, from, to); };
    EXPECT_GT(sounding(0, 1), 1000) << "45 s to 46 s is music";
    EXPECT_EQ(sounding(2, 4), 0) << "47 s to 49 s is the silence after the damage";
}

TEST_F(CaptureTool, MusicOfFilesJoinedEndToEndIsRecordedThrough)
{
    // 3 s at 44.1 kHz, then 2 s at 22.05 kHz: the recording goes on through the second part.
    std::vector<char> joined = ReadWhole(std::string(KELVO_TEST_DATA) + "/rate44_then_22.mp3");
    ASSERT_FALSE(joined.empty());
    ASSERT_TRUE(WriteMusic(joined));
    ASSERT_EQ(Capture({"--fps", "2", "--from", "2", "--to", "6", "out.mkv"}), 0) << errors;
    EXPECT_EQ(errors.find("data/music.mp3"), std::string::npos) << errors;
    Decoded video = Decode(folder + "/out.mkv", 0);
    ASSERT_TRUE(video.ok);
    ASSERT_GE(video.audio.size(), size_t(4 * 44100 * 2));
    auto sounding = [&](double from, double to) { return SoundingSamples(video, from, to); };
    EXPECT_GT(sounding(0, 1), 40000) << "2 s to 3 s: the first part";
    EXPECT_GT(sounding(1.1, 2.9), 80000) << "3.1 s to 4.9 s: the second part";
    EXPECT_EQ(sounding(3.1, 4), 0) << "after both parts, silence";

    // The first file cut short, then a layer II file, then a third: the first and third are
    // recorded, the second named, each stop in a line of its own.
    const std::vector<char> first = ReadWhole(std::string(KELVO_TEST_DATA) + "/stereo44_tag.mp3");
    const std::vector<char> third = ReadWhole(std::string(KELVO_TEST_DATA) + "/vbr44.mp3");
    ASSERT_FALSE(first.empty() || third.empty());
    ASSERT_TRUE(WriteMusic(Joined({CutLast(first, 200), LayerTwoFrames(38), third})));
    ASSERT_EQ(Capture({"--fps", "2", "--from", "2", "--to", "6", "-y", "out.mkv"}), 0) << errors;
    EXPECT_NE(errors.find("kelvo_capture: data/music.mp3: damaged at 0:03 (MPEG layer 2 audio, not MP3); the music "
                          "goes on with the next file\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("kelvo_capture: data/music.mp3: damaged at 0:03 (the data ends 1 frame short"),
              std::string::npos)
        << errors;
    video = Decode(folder + "/out.mkv", 0);
    ASSERT_TRUE(video.ok);
    EXPECT_GT(sounding(0, 1), 40000) << "2 s to 3 s: the first file";
    EXPECT_GT(sounding(1.1, 2.9), 80000) << "3.1 s to 4.9 s: the third file";
}

TEST_F(CaptureTool, ErrorsExitNonZeroAndWriteNothing)
{
    const std::vector<std::vector<std::string>> badArguments = {
        {}, {"out.avi"}, {"out"}, {".mp4"}, {"--fps", "0", "out.mp4"}, {"--fps", "241", "out.mp4"},
        {"--fps", "2.5", "out.mp4"}, {"--scale", "5", "out.mp4"}, {"--from", "-1", "out.mp4"},
        {"--from", "143", "out.mp4"}, {"--from", "10", "--to", "10", "out.mp4"}, {"--quality", "52", "out.mp4"},
        {"--bogus", "out.mp4"}, {"a.mp4", "b.mp4"},
    };
    for (const std::vector<std::string> &arguments : badArguments) {
        std::string shown;
        for (const std::string &argument : arguments)
            shown += "'" + argument + "' ";
        EXPECT_EQ(Capture(arguments), 2) << shown;
        EXPECT_FALSE(errors.empty()) << shown;
    }
    EXPECT_TRUE(Outputs().empty());

    EXPECT_EQ(Capture({"--to", "1", "missing/out.mp4"}), 1) << "a folder that is not there";
    EXPECT_NE(errors.find("cannot write in missing"), std::string::npos) << errors;
    ASSERT_EQ(mkdir((folder + "/out.mkv").c_str(), 0700), 0);
    EXPECT_EQ(Capture({"--to", "1", "-y", "out.mkv"}), 1) << "OUTPUT is a folder";
    rmdir((folder + "/out.mkv").c_str());

    FILE *kept = fopen((folder + "/kept.mp4").c_str(), "w");
    ASSERT_TRUE(kept);
    fputs("mine", kept);
    fclose(kept);
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "kept.mp4"}), 1) << "an existing file without -y";
    EXPECT_EQ(Outputs(), std::set<std::string>{"kept.mp4"});
    struct stat info;
    ASSERT_EQ(stat((folder + "/kept.mp4").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 4) << "kept as it was";
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "-y", "kept.mp4"}), 0) << errors;
    ASSERT_EQ(stat((folder + "/kept.mp4").c_str(), &info), 0);
    EXPECT_GT(info.st_size, 4) << "-y overwrites it";
    remove((folder + "/kept.mp4").c_str());

    // A name with control characters cannot break the summary line nor reach the terminal raw.
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "new\nline\033[2J.mkv"}), 0) << errors;
    EXPECT_EQ(errors.rfind("kelvo_capture: wrote new\\nline\\x1b[2J.mkv: 1 frames at 1 fps", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "new\nline\033[2J.mkv"}), 1);
    EXPECT_EQ(errors, "kelvo_capture: new\\nline\\x1b[2J.mkv exists; -y overwrites it\n");
    remove((folder + "/new\nline\033[2J.mkv").c_str());

    // Music the decoder cannot read: named with the recorder's name, with no advice about keys.
    FILE *noise = fopen((folder + "/data/music.mp3").c_str(), "wb");
    ASSERT_TRUE(noise);
    for (int i = 0; i < 100000; i++)
        fputc(0, noise);
    fclose(noise);
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "out.mp4"}), 1);
    EXPECT_EQ(errors.rfind("kelvo_capture: data/music.mp3: not an MP3 the decoder can read (", 0), 0u) << errors;
    EXPECT_EQ(errors.find("Escape"), std::string::npos) << errors;
    EXPECT_TRUE(Outputs().empty());

    remove((folder + "/data/music.mp3").c_str());
    EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "out.mp4"}), 1);
    EXPECT_NE(errors.find("data/music.mp3"), std::string::npos) << errors;
    EXPECT_TRUE(Outputs().empty());

    {
        StuckPipe pipe(folder + "/data/music.mp3", 20);
        ASSERT_TRUE(pipe.made());
        EXPECT_EQ(Capture({"--fps", "1", "--to", "1", "out.mp4"}), 1);
        EXPECT_NE(errors.find("data/music.mp3 (a pipe, not a file)"), std::string::npos) << errors;
        EXPECT_FALSE(pipe.released()) << "the recorder waited for a writer";
        EXPECT_TRUE(Outputs().empty());
    }
}

} // namespace
