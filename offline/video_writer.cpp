#include "offline/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <strings.h>
#include <string.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// .mp4 streams and plays everywhere; .webm is the open web pair; .mkv keeps every pixel and
// sample, for archiving.
const VideoFormat Formats[] = {
    {".mp4", "mp4", "libx264", "aac", 20, 51},
    {".webm", "webm", "libvpx-vp9", "libopus", 31, 63},
    {".mkv", "matroska", "ffv1", "flac", -1, 0},
};

std::string AvError(const char *what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

} // namespace

struct VideoWriter {
    VideoSettings settings;
    AVFormatContext *output = nullptr;
    AVCodecContext *video = nullptr;
    AVCodecContext *audio = nullptr;
    AVStream *videoStream = nullptr;
    AVStream *audioStream = nullptr;
    SwsContext *scaler = nullptr;
    SwrContext *resampler = nullptr;
    AVAudioFifo *fifo = nullptr;
    AVFrame *picture = nullptr;
    AVFrame *sound = nullptr;
    AVPacket *packet = nullptr;
    int64_t videoPts = 0;
    int64_t audioPts = 0;
    // Added to the audio packets' times (in samples): the encoder's delay, where the container
    // signals it on its own.
    int64_t audioShift = 0;

    // Shared with the encoder thread, under `lock`.
    std::mutex lock;
    std::condition_variable changed;
    std::vector<VideoChunk> pool;
    std::deque<VideoChunk *> freeChunks;
    std::deque<VideoChunk *> queued;
    bool finishing = false;
    bool aborting = false;
    bool failed = false;
    std::string error;
    std::thread encoder;
};

const VideoFormat *FindVideoFormat(const char *path)
{
    const char *dot = strrchr(path, '.');
    const char *slash = strrchr(path, '/');
    if (!dot || (slash && dot < slash) || dot == path || (slash && dot == slash + 1))
        return nullptr;
    for (const VideoFormat &format : Formats)
        if (strcasecmp(dot, format.extension) == 0)
            return &format;
    return nullptr;
}

std::string VideoExtensions()
{
    std::string list;
    for (const VideoFormat &format : Formats)
        list += (list.empty() ? "" : ", ") + std::string(format.extension);
    return list;
}

bool CheckVideoEncoders(const VideoFormat &format, std::string *error)
{
    for (const char *name : {format.videoEncoder, format.audioEncoder})
        if (!avcodec_find_encoder_by_name(name)) {
            *error = std::string("the installed libavcodec has no ") + name + " encoder, which " + format.extension +
                     " files need";
            return false;
        }
    if (!av_guess_format(format.container, nullptr, nullptr)) {
        *error = std::string("the installed libavformat cannot write ") + format.extension + " files";
        return false;
    }
    return true;
}

namespace {

// Sends one frame (null: the end) and writes every packet the encoder gives back.
int EncodeAndWrite(VideoWriter *writer, AVCodecContext *codec, AVStream *stream, AVFrame *frame)
{
    int result = avcodec_send_frame(codec, frame);
    if (result < 0)
        return result;
    for (;;) {
        result = avcodec_receive_packet(codec, writer->packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return 0;
        if (result < 0)
            return result;
        if (codec == writer->audio) {
            writer->packet->pts += writer->audioShift;
            writer->packet->dts += writer->audioShift;
        }
        av_packet_rescale_ts(writer->packet, codec->time_base, stream->time_base);
        writer->packet->stream_index = stream->index;
        result = av_interleaved_write_frame(writer->output, writer->packet);
        if (result < 0)
            return result;
    }
}

bool OpenVideoCodec(VideoWriter *writer, std::string *error)
{
    const VideoSettings &settings = writer->settings;
    const AVCodec *codec = avcodec_find_encoder_by_name(settings.format->videoEncoder);
    if (!codec) {
        *error = std::string("no ") + settings.format->videoEncoder + " encoder";
        return false;
    }
    AVCodecContext *video = writer->video = avcodec_alloc_context3(codec);
    if (!video) {
        *error = "out of memory";
        return false;
    }
    bool lossless = settings.format->defaultQuality < 0;
    int quality = settings.quality >= 0 ? settings.quality : settings.format->defaultQuality;
    video->width = settings.width * settings.scale;
    video->height = settings.height * settings.scale;
    video->time_base = AVRational{1, settings.fps};
    video->framerate = AVRational{settings.fps, 1};
    video->sample_aspect_ratio = AVRational{1, 1};
    video->flags |= AV_CODEC_FLAG_BITEXACT;
    if (writer->output->oformat->flags & AVFMT_GLOBALHEADER)
        video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (lossless) {
        // RGB: the picture goes in and comes out with every byte as drawn.
        video->pix_fmt = AV_PIX_FMT_0RGB32;
        video->gop_size = 1;
        video->thread_count = 2;
        av_opt_set_int(video->priv_data, "slices", 4, 0);
        av_opt_set_int(video->priv_data, "slicecrc", 1, 0);
        video->level = 3;
    } else {
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_SMPTE170M;
        video->gop_size = settings.fps * 2;
        // Two threads keep up with the drawing, which is the slower side, and keep the encoder's
        // memory the same on any machine.
        video->thread_count = 2;
        if (strcmp(codec->name, "libx264") == 0) {
            av_opt_set(video->priv_data, "preset", "medium", 0);
            av_opt_set_double(video->priv_data, "crf", quality, 0);
        } else {
            video->bit_rate = 0;
            av_opt_set_int(video->priv_data, "crf", quality, 0);
            av_opt_set(video->priv_data, "deadline", "good", 0);
            av_opt_set_int(video->priv_data, "cpu-used", 4, 0);
            av_opt_set_int(video->priv_data, "row-mt", 1, 0);
        }
    }
    int result = avcodec_open2(video, codec, nullptr);
    if (result < 0) {
        *error = AvError(codec->name, result);
        return false;
    }
    writer->videoStream = avformat_new_stream(writer->output, nullptr);
    if (!writer->videoStream || avcodec_parameters_from_context(writer->videoStream->codecpar, video) < 0) {
        *error = "the video stream could not be set up";
        return false;
    }
    writer->videoStream->time_base = video->time_base;
    writer->videoStream->avg_frame_rate = video->framerate;

    // Enlarged pictures keep their pixels sharp (nearest neighbour); the colour conversion is
    // exact-rounded and the same on every run.
    int flags = (settings.scale > 1 ? SWS_POINT : SWS_BICUBIC) | SWS_ACCURATE_RND | SWS_BITEXACT;
    writer->scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGB24, video->width, video->height,
                                    video->pix_fmt, flags, nullptr, nullptr, nullptr);
    writer->picture = av_frame_alloc();
    if (!writer->scaler || !writer->picture) {
        *error = "the picture converter could not be set up";
        return false;
    }
    writer->picture->format = video->pix_fmt;
    writer->picture->width = video->width;
    writer->picture->height = video->height;
    if (av_frame_get_buffer(writer->picture, 0) < 0) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool OpenAudioCodec(VideoWriter *writer, std::string *error)
{
    const VideoSettings &settings = writer->settings;
    const AVCodec *codec = avcodec_find_encoder_by_name(settings.format->audioEncoder);
    if (!codec) {
        *error = std::string("no ") + settings.format->audioEncoder + " encoder";
        return false;
    }
    AVCodecContext *audio = writer->audio = avcodec_alloc_context3(codec);
    if (!audio) {
        *error = "out of memory";
        return false;
    }
    // 16-bit samples where the encoder takes them, else its first format; the input's rate where
    // the encoder takes it, else 48 kHz.
    audio->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat *format = codec->sample_fmts; format && *format != AV_SAMPLE_FMT_NONE; format++)
        if (*format == AV_SAMPLE_FMT_S16)
            audio->sample_fmt = AV_SAMPLE_FMT_S16;
    audio->sample_rate = settings.sampleRate;
    if (codec->supported_samplerates) {
        audio->sample_rate = 48000;
        for (const int *rate = codec->supported_samplerates; *rate; rate++)
            if (*rate == settings.sampleRate)
                audio->sample_rate = settings.sampleRate;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&audio->ch_layout, &stereo);
    audio->time_base = AVRational{1, audio->sample_rate};
    audio->flags |= AV_CODEC_FLAG_BITEXACT;
    if (strcmp(codec->name, "aac") == 0)
        audio->bit_rate = 192000;
    else if (strcmp(codec->name, "libopus") == 0)
        audio->bit_rate = 160000;
    if (writer->output->oformat->flags & AVFMT_GLOBALHEADER)
        audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(audio, codec, nullptr);
    if (result < 0) {
        *error = AvError(codec->name, result);
        return false;
    }
    writer->audioStream = avformat_new_stream(writer->output, nullptr);
    if (!writer->audioStream || avcodec_parameters_from_context(writer->audioStream->codecpar, audio) < 0) {
        *error = "the audio stream could not be set up";
        return false;
    }
    writer->audioStream->time_base = audio->time_base;
    // The Opus encoder's packets start its delay (the pre-skip) before 0. A WebM file signals the
    // delay as the track's codec delay, which players take off the block times: the blocks start
    // at 0 with the pictures, and the first sample kept after the delay is the one at 0. Left
    // early, the packets would have the muxer move every stream later by the delay instead.
    if (strcmp(writer->settings.format->container, "webm") == 0)
        writer->audioShift = audio->initial_padding;

    AVChannelLayout in = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&writer->resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &in,
                            AV_SAMPLE_FMT_S16, settings.sampleRate, 0, nullptr) < 0 ||
        swr_init(writer->resampler) < 0) {
        *error = "the audio converter could not be set up";
        return false;
    }
    writer->fifo = av_audio_fifo_alloc(audio->sample_fmt, 2, 4096);
    writer->sound = av_frame_alloc();
    if (!writer->fifo || !writer->sound) {
        *error = "out of memory";
        return false;
    }
    return true;
}

// Encodes whole encoder frames from the fifo; with `last`, the rest too, as a shorter frame.
int DrainAudio(VideoWriter *writer, bool last)
{
    AVCodecContext *audio = writer->audio;
    int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    while (av_audio_fifo_size(writer->fifo) >= frameSize || (last && av_audio_fifo_size(writer->fifo) > 0)) {
        int frames = std::min(frameSize, av_audio_fifo_size(writer->fifo));
        AVFrame *sound = writer->sound;
        av_frame_unref(sound);
        sound->nb_samples = frames;
        sound->format = audio->sample_fmt;
        sound->sample_rate = audio->sample_rate;
        av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
        int result = av_frame_get_buffer(sound, 0);
        if (result < 0)
            return result;
        if (av_audio_fifo_read(writer->fifo, reinterpret_cast<void **>(sound->data), frames) != frames)
            return AVERROR(EIO);
        sound->pts = writer->audioPts;
        writer->audioPts += frames;
        result = EncodeAndWrite(writer, audio, writer->audioStream, sound);
        if (result < 0)
            return result;
    }
    return 0;
}

// Converts audio (null: what the converter still holds) into the fifo.
int PushAudio(VideoWriter *writer, const short *samples, int frames)
{
    int room = swr_get_out_samples(writer->resampler, frames);
    if (room <= 0)
        return 0;
    uint8_t **converted = nullptr;
    int result = av_samples_alloc_array_and_samples(&converted, nullptr, 2, room, writer->audio->sample_fmt, 0);
    if (result < 0)
        return result;
    const uint8_t *in[1] = {reinterpret_cast<const uint8_t *>(samples)};
    int got = swr_convert(writer->resampler, converted, room, samples ? in : nullptr, samples ? frames : 0);
    result = got;
    if (got > 0 && av_audio_fifo_write(writer->fifo, reinterpret_cast<void **>(converted), got) != got)
        result = AVERROR(ENOMEM);
    av_freep(&converted[0]);
    av_freep(&converted);
    return result < 0 ? result : 0;
}

int EncodeChunk(VideoWriter *writer, VideoChunk *chunk)
{
    if (chunk->hasPicture) {
        int result = av_frame_make_writable(writer->picture);
        if (result < 0)
            return result;
        const uint8_t *source[1] = {chunk->rgb.data()};
        const int stride[1] = {writer->settings.width * 3};
        sws_scale(writer->scaler, source, stride, 0, writer->settings.height, writer->picture->data,
                  writer->picture->linesize);
        writer->picture->pts = writer->videoPts++;
        result = EncodeAndWrite(writer, writer->video, writer->videoStream, writer->picture);
        if (result < 0)
            return result;
    }
    if (chunk->audioFrames > 0) {
        int result = PushAudio(writer, chunk->audio.data(), chunk->audioFrames);
        if (result < 0)
            return result;
        return DrainAudio(writer, false);
    }
    return 0;
}

void RunEncoder(VideoWriter *writer)
{
    for (;;) {
        VideoChunk *chunk;
        {
            std::unique_lock<std::mutex> hold(writer->lock);
            writer->changed.wait(hold, [writer] { return writer->aborting || writer->finishing || !writer->queued.empty(); });
            if (writer->aborting || writer->queued.empty())
                return;
            chunk = writer->queued.front();
            writer->queued.pop_front();
        }
        int result = EncodeChunk(writer, chunk);
        std::lock_guard<std::mutex> hold(writer->lock);
        writer->freeChunks.push_back(chunk);
        if (result < 0) {
            writer->failed = true;
            writer->error = AvError("encoding failed", result);
        }
        writer->changed.notify_all();
        if (result < 0)
            return;
    }
}

void FreeWriter(VideoWriter *writer)
{
    if (writer->output) {
        if (writer->output->pb)
            avio_closep(&writer->output->pb);
        avformat_free_context(writer->output);
    }
    avcodec_free_context(&writer->video);
    avcodec_free_context(&writer->audio);
    sws_freeContext(writer->scaler);
    swr_free(&writer->resampler);
    if (writer->fifo)
        av_audio_fifo_free(writer->fifo);
    av_frame_free(&writer->picture);
    av_frame_free(&writer->sound);
    av_packet_free(&writer->packet);
    delete writer;
}

} // namespace

VideoWriter *OpenVideoWriter(const VideoSettings &settings, std::string *error)
{
    VideoWriter *writer = new VideoWriter;
    writer->settings = settings;
    av_log_set_level(AV_LOG_ERROR);
    int result = avformat_alloc_output_context2(&writer->output, nullptr, settings.format->container, settings.path);
    if (result < 0 || !writer->output) {
        *error = AvError("the container could not be set up", result);
        FreeWriter(writer);
        return nullptr;
    }
    writer->output->flags |= AVFMT_FLAG_BITEXACT;
    writer->packet = av_packet_alloc();
    if (!writer->packet || !OpenVideoCodec(writer, error) || !OpenAudioCodec(writer, error)) {
        if (!writer->packet)
            *error = "out of memory";
        FreeWriter(writer);
        return nullptr;
    }
    result = avio_open(&writer->output->pb, settings.path, AVIO_FLAG_WRITE);
    if (result < 0) {
        *error = AvError(settings.path, result);
        FreeWriter(writer);
        return nullptr;
    }
    AVDictionary *options = nullptr;
    if (strcmp(settings.format->container, "mp4") == 0)
        av_dict_set(&options, "movflags", "+faststart", 0); // the index first, so that it streams
    result = avformat_write_header(writer->output, &options);
    av_dict_free(&options);
    if (result < 0) {
        *error = AvError("the file header could not be written", result);
        FreeWriter(writer);
        return nullptr;
    }

    writer->pool.resize(size_t(settings.poolChunks < 1 ? 1 : settings.poolChunks));
    for (VideoChunk &chunk : writer->pool) {
        // The converter's vector code reads whole 16-byte blocks, past the end of the last row.
        chunk.rgb.resize(size_t(settings.width) * size_t(settings.height) * 3 + 64);
        writer->freeChunks.push_back(&chunk);
    }
    writer->encoder = std::thread(RunEncoder, writer);
    return writer;
}

VideoChunk *TakeVideoChunk(VideoWriter *writer)
{
    std::unique_lock<std::mutex> hold(writer->lock);
    writer->changed.wait(hold, [writer] { return writer->failed || !writer->freeChunks.empty(); });
    if (writer->failed)
        return nullptr;
    VideoChunk *chunk = writer->freeChunks.front();
    writer->freeChunks.pop_front();
    chunk->hasPicture = false;
    chunk->audioFrames = 0;
    return chunk;
}

void QueueVideoChunk(VideoWriter *writer, VideoChunk *chunk)
{
    std::lock_guard<std::mutex> hold(writer->lock);
    if (writer->failed)
        writer->freeChunks.push_back(chunk);
    else
        writer->queued.push_back(chunk);
    writer->changed.notify_all();
}

bool FinishVideo(VideoWriter *writer, std::string *error)
{
    {
        std::lock_guard<std::mutex> hold(writer->lock);
        writer->finishing = true;
        writer->changed.notify_all();
    }
    writer->encoder.join();
    bool ok = !writer->failed;
    if (!ok)
        *error = writer->error;
    int result = 0;
    if (ok && (result = PushAudio(writer, nullptr, 0)) >= 0 && (result = DrainAudio(writer, true)) >= 0 &&
        (result = EncodeAndWrite(writer, writer->video, writer->videoStream, nullptr)) >= 0 &&
        (result = EncodeAndWrite(writer, writer->audio, writer->audioStream, nullptr)) >= 0)
        result = av_write_trailer(writer->output);
    if (ok && result < 0) {
        ok = false;
        *error = AvError("the file could not be finished", result);
    }
    if (ok && (result = avio_closep(&writer->output->pb)) < 0) {
        ok = false;
        *error = AvError("the file could not be closed", result);
    }
    FreeWriter(writer);
    return ok;
}

void AbortVideo(VideoWriter *writer)
{
    {
        std::lock_guard<std::mutex> hold(writer->lock);
        writer->aborting = true;
        writer->changed.notify_all();
    }
    writer->encoder.join();
    FreeWriter(writer);
}
