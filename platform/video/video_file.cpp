// Frames of a video file decoded with libavformat and libavcodec and turned
// into 24-bit rows (blue, green, red) by libswscale.
#include "platform/video/video_file.h"

#include <cstring>

#include "platform/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

struct TVideoFile::TState {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int stream = -1;
    bool drained = false;
    double frameDuration = 40;
    int64_t duration = 0;

    ~TState() {
        if (scale) sws_freeContext(scale);
        if (frame) av_frame_free(&frame);
        if (packet) av_packet_free(&packet);
        if (codec) avcodec_free_context(&codec);
        if (format) avformat_close_input(&format);
    }
};

namespace {
std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}
}  // namespace

TVideoFile::TVideoFile(const std::string& fileName) : state_(std::make_unique<TState>()) {
    // Failures come back as exceptions with their reason; the libraries'
    // own messages would only clutter the program's error output.
    av_log_set_level(AV_LOG_QUIET);
    TState& s = *state_;
    int result = avformat_open_input(&s.format, fileName.c_str(), nullptr, nullptr);
    if (result < 0) throw Exception("Cannot open video file \"" + fileName + "\": " + AvError(result));
    result = avformat_find_stream_info(s.format, nullptr);
    if (result < 0) throw Exception("Cannot read video file \"" + fileName + "\": " + AvError(result));
    const AVCodec* decoder = nullptr;
    s.stream = av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s.stream < 0 || !decoder) throw Exception("No video in \"" + fileName + "\"");
    AVStream* stream = s.format->streams[s.stream];
    s.codec = avcodec_alloc_context3(decoder);
    if (!s.codec) throw Exception("Out of memory for the video decoder");
    avcodec_parameters_to_context(s.codec, stream->codecpar);
    s.codec->thread_count = 1;
    result = avcodec_open2(s.codec, decoder, nullptr);
    if (result < 0) throw Exception("Cannot decode the video of \"" + fileName + "\": " + AvError(result));
    if (s.codec->width <= 0 || s.codec->height <= 0) throw Exception("The video of \"" + fileName + "\" has no size");
    const AVRational rate = av_guess_frame_rate(s.format, stream, nullptr);
    if (rate.num > 0 && rate.den > 0) s.frameDuration = 1000.0 * rate.den / rate.num;
    if (s.format->duration > 0) s.duration = s.format->duration / (AV_TIME_BASE / 1000);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.frame || !s.packet) throw Exception("Out of memory for video frames");
}

TVideoFile::~TVideoFile() = default;

int32_t TVideoFile::Width() const { return state_->codec->width; }
int32_t TVideoFile::Height() const { return state_->codec->height; }
double TVideoFile::FrameDuration() const { return state_->frameDuration; }
int64_t TVideoFile::Duration() const { return state_->duration; }

bool TVideoFile::ReadFrame(TBitmap& picture) {
    TState& s = *state_;
    for (;;) {
        const int received = avcodec_receive_frame(s.codec, s.frame);
        if (received == 0) break;
        if (received == AVERROR_EOF) return false;
        if (received != AVERROR(EAGAIN)) throw Exception("Video decoding failed: " + AvError(received));
        if (s.drained) return false;
        const int read = av_read_frame(s.format, s.packet);
        if (read < 0) {
            // The end of the file: what the decoder still holds comes next.
            s.drained = true;
            avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        if (s.packet->stream_index == s.stream) avcodec_send_packet(s.codec, s.packet);
        av_packet_unref(s.packet);
    }
    const int w = s.codec->width, h = s.codec->height;
    // A frame of another size than the stream's is scaled to it.
    s.scale = sws_getCachedContext(s.scale, s.frame->width, s.frame->height,
                                   static_cast<AVPixelFormat>(s.frame->format), w, h, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    if (!s.scale) throw Exception("Video frames of this pixel format cannot be converted");
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    if (picture.Width() != w || picture.Height() != h) picture.SetSize(w, h);
    uint8_t* rows[4] = {picture.ScanLine(0), nullptr, nullptr, nullptr};
    // Bitmap rows run bottom-up in memory: the top row and a negative step.
    int strides[4] = {h > 1 ? static_cast<int>(picture.ScanLine(1) - picture.ScanLine(0)) : picture.RowBytes(), 0, 0, 0};
    sws_scale(s.scale, s.frame->data, s.frame->linesize, 0, s.frame->height, rows, strides);
    av_frame_unref(s.frame);
    return true;
}

void TVideoFile::Rewind() {
    TState& s = *state_;
    av_seek_frame(s.format, s.stream, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(s.codec);
    s.drained = false;
}
