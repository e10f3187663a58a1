#include "audio/decoder.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace {

// Only the containers a cart can come in; this keeps playlist-like demuxers (which would
// open other files or URLs named inside a cart) out of reach of a crafted file.
constexpr const char* kFormatWhitelist = "wav,w64,mp3,mpeg,mpegts,aiff,flac,ogg";
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;
// A stream of nothing but undecodable packets ends instead of spinning.
constexpr int kMaxConsecutiveErrors = 256;

// A crafted header can make a demuxer ask for gigabytes (a chunk size taken on trust);
// nothing a cart needs comes near this, so such a file fails to open instead.
constexpr std::size_t kMaxAllocation = 64 * 1024 * 1024;
// A measurement of a damaged file gives up after this long rather than hold the caller.
constexpr auto kMeasureTimeLimit = std::chrono::seconds(10);

// What FFmpeg's interrupt callback checks while it reads: a cancel flag and a deadline.
struct Interrupt {
    const std::atomic<bool>* cancel = nullptr;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

int interruptRequested(void* opaque) {
    const auto* interrupt = static_cast<const Interrupt*>(opaque);
    return (interrupt->cancel && interrupt->cancel->load(std::memory_order_relaxed)) ||
           std::chrono::steady_clock::now() > interrupt->deadline;
}

// Pipes, devices and directories are refused before FFmpeg sees them: opening a FIFO named
// x.wav would block for ever.
bool isRegularFile(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// FFmpeg's process-wide settings, made once by the first open of any thread (the UI, the
// preparation and the stream threads all open files); setting them on every open raced.
// A damaged cart is reported through its length and mode; FFmpeg's own complaints about
// it would only clutter the operator's terminal.
void configureFfmpeg() {
    static const bool configured = [] {
        av_log_set_level(AV_LOG_FATAL);
        av_max_alloc(kMaxAllocation);
        return true;
    }();
    (void)configured;
}

// The demuxer on the best audio stream of a file.
struct Input {
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;
    const AVCodec* codec = nullptr;

    ~Input() { avformat_close_input(&format); }

    Interrupt interrupt;

    bool open(const QString& path, const Interrupt& limits) {
        const QByteArray local = QFile::encodeName(path);
        if (local.isEmpty() || !isRegularFile(local))
            return fail(QStringLiteral("Not a file"));
        configureFfmpeg();
        format = avformat_alloc_context();
        if (!format)
            return fail(QStringLiteral("Out of memory"));
        format->interrupt_callback.callback = interruptRequested;
        interrupt = limits;
        format->interrupt_callback.opaque = &interrupt;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "format_whitelist", kFormatWhitelist, 0);
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        // "file:" keeps a name with a colon in it from being taken for a protocol.
        const QByteArray url = "file:" + local;
        const int opened = avformat_open_input(&format, url.constData(), nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) // avformat_open_input frees the context on failure
            return fail(QStringLiteral("Not a sound file (%1)").arg(errorText(opened)));
        if (const int found = avformat_find_stream_info(format, nullptr); found < 0)
            return fail(QStringLiteral("Damaged (%1)").arg(errorText(found)));
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (index < 0 || !codec)
            return fail(QStringLiteral("No sound in the file that can be decoded"));
        stream = format->streams[index];
        // Outside this range a header is damaged, and resampling from it could take
        // gigabytes per packet.
        const int rate = stream->codecpar->sample_rate;
        if (rate < kMinSampleRate || rate > kMaxSampleRate)
            return fail(QStringLiteral("Damaged (sample rate %1 Hz)").arg(rate));
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (static_cast<int>(i) != index)
                format->streams[i]->discard = AVDISCARD_ALL;
        }
        return true;
    }

    QString error; // why open() failed

private:
    bool fail(const QString& why) {
        error = why;
        return false;
    }
    static QString errorText(int code) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        return QString::fromUtf8(text);
    }
};

} // namespace

std::int64_t Decoder::Measurement::milliseconds() const {
    if (!ok || sourceRate <= 0)
        return 0;
    return static_cast<std::int64_t>(
        std::llround(static_cast<double>(sourceFrames) * 1000.0 / sourceRate));
}

struct Decoder::Impl {
    Input input;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    // The resampler's input as last configured; a change mid-stream rebuilds it.
    int swrFormat = -1;
    int swrRate = 0;
    AVChannelLayout swrLayout{};

    // Converted frames not yet handed out.
    std::vector<float> pending;
    std::size_t pendingPos = 0;   // frames
    std::size_t pendingCount = 0; // frames

    bool opened = false;
    bool inputEnded = false; // no more packets; the decoder is draining
    bool readFailed = false; // the packets ended by a system error or a cancel
    bool decoderEnded = false;
    bool finished = false; // decoder and resampler drained
    std::int64_t sourceFrames = 0;

    ~Impl() {
        av_channel_layout_uninit(&swrLayout);
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    bool configureResampler(const AVFrame* f, int outputRate) {
        if (f->sample_rate < kMinSampleRate || f->sample_rate > kMaxSampleRate)
            return false;
        AVChannelLayout in{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0 ||
            !av_channel_layout_check(&f->ch_layout)) {
            av_channel_layout_default(&in, std::max(1, f->ch_layout.nb_channels));
        } else if (av_channel_layout_copy(&in, &f->ch_layout) < 0) {
            return false;
        }
        if (swr && f->format == swrFormat && f->sample_rate == swrRate &&
            av_channel_layout_compare(&in, &swrLayout) == 0) {
            av_channel_layout_uninit(&in);
            return true;
        }
        swr_free(&swr);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, outputRate, &in,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                                nullptr) < 0) {
            av_channel_layout_uninit(&in);
            return false;
        }
        if (in.nb_channels == 1) {
            // Mono goes to both sides at full level (the default mix would lower it 3 dB).
            const double matrix[2] = {1.0, 1.0};
            swr_set_matrix(swr, matrix, 1);
        }
        av_channel_layout_uninit(&swrLayout);
        swrLayout = in;
        swrFormat = f->format;
        swrRate = f->sample_rate;
        if (swr_init(swr) < 0) {
            // An unusable frame format; a later frame may still convert.
            swr_free(&swr);
            return false;
        }
        return true;
    }

    void reservePending(std::size_t frames) {
        if (pending.size() < frames * 2)
            pending.resize(frames * 2);
    }

    // Converts one decoded frame (or, with f null, drains the resampler) into pending.
    void convert(const AVFrame* f) {
        if (!swr)
            return;
        const int inFrames = f ? f->nb_samples : 0;
        const int room = swr_get_out_samples(swr, inFrames) + 16;
        reservePending(static_cast<std::size_t>(room));
        auto* out = reinterpret_cast<std::uint8_t*>(pending.data());
        const int produced =
            swr_convert(swr, &out, room,
                        f ? const_cast<const std::uint8_t**>(f->extended_data) : nullptr, inFrames);
        pendingPos = 0;
        pendingCount = produced > 0 ? static_cast<std::size_t>(produced) : 0;
    }

    // Decodes until some converted frames are pending; false at the end.
    bool decodeMore(int outputRate) {
        int errors = 0;
        while (!finished) {
            if (!decoderEnded) {
                const int received = avcodec_receive_frame(codec, frame);
                if (received == 0) {
                    errors = 0;
                    if (configureResampler(frame, outputRate)) {
                        sourceFrames += frame->nb_samples;
                        convert(frame);
                    }
                    av_frame_unref(frame);
                    if (pendingCount > 0)
                        return true;
                    continue;
                }
                if (received == AVERROR_EOF) {
                    decoderEnded = true;
                    continue;
                }
                if (received != AVERROR(EAGAIN)) {
                    if (++errors > kMaxConsecutiveErrors)
                        decoderEnded = true;
                    continue;
                }
                if (inputEnded) {
                    decoderEnded = true; // a decoder that will not drain
                    continue;
                }
                if (const int read = av_read_frame(input.format, packet); read < 0) {
                    // End of file, a read error or a cancel: drain what was sent.
                    inputEnded = true;
                    // A system error (AVERROR of an errno, under 4096) or a cancel; a
                    // demuxer's own codes (damaged data) end the file as its end does.
                    readFailed = read == AVERROR_EXIT || read > -4096;
                    avcodec_send_packet(codec, nullptr);
                    continue;
                }
                if (packet->stream_index == input.stream->index) {
                    // A damaged packet is dropped; the next one decodes on its own.
                    if (avcodec_send_packet(codec, packet) < 0 && ++errors > kMaxConsecutiveErrors)
                        decoderEnded = true;
                }
                av_packet_unref(packet);
                continue;
            }
            convert(nullptr);
            finished = true;
            return pendingCount > 0;
        }
        return false;
    }
};

Decoder::Decoder(int outputRate) : m_outputRate(outputRate), m_impl(std::make_unique<Impl>()) {}

Decoder::~Decoder() = default;

bool Decoder::open(const QString& path, const std::atomic<bool>* cancel) {
    m_impl = std::make_unique<Impl>();
    m_outputFrames = 0;
    Impl& d = *m_impl;
    if (!d.input.open(path, {cancel}))
        return false;
    d.codec = avcodec_alloc_context3(d.input.codec);
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.codec || !d.packet || !d.frame)
        return false;
    if (avcodec_parameters_to_context(d.codec, d.input.stream->codecpar) < 0)
        return false;
    d.codec->pkt_timebase = d.input.stream->time_base;
    d.codec->thread_count = 1;
    if (avcodec_open2(d.codec, d.input.codec, nullptr) < 0)
        return false;
    d.opened = true;
    return true;
}

int Decoder::read(float* out, int frames) {
    Impl& d = *m_impl;
    int done = 0;
    while (d.opened && done < frames) {
        if (d.pendingPos == d.pendingCount && !d.decodeMore(m_outputRate))
            break;
        const std::size_t take = std::min<std::size_t>(d.pendingCount - d.pendingPos,
                                                       static_cast<std::size_t>(frames - done));
        const float* from = d.pending.data() + d.pendingPos * 2;
        std::copy(from, from + take * 2, out + static_cast<std::size_t>(done) * 2);
        d.pendingPos += take;
        done += static_cast<int>(take);
    }
    m_outputFrames += done;
    return done;
}

std::int64_t Decoder::skip(std::int64_t frames) {
    Impl& d = *m_impl;
    std::int64_t done = 0;
    while (d.opened && done < frames) {
        if (d.pendingPos == d.pendingCount && !d.decodeMore(m_outputRate))
            break;
        const auto take = std::min<std::int64_t>(
            static_cast<std::int64_t>(d.pendingCount - d.pendingPos), frames - done);
        d.pendingPos += static_cast<std::size_t>(take);
        done += take;
    }
    m_outputFrames += done;
    return done;
}

bool Decoder::atEnd() const {
    const Impl& d = *m_impl;
    return !d.opened || (d.finished && d.pendingPos == d.pendingCount);
}

bool Decoder::readFailed() const {
    return m_impl->readFailed;
}

std::int64_t Decoder::sourceFrames() const {
    return m_impl->sourceFrames;
}

int Decoder::sourceRate() const {
    return m_impl->input.stream ? m_impl->input.stream->codecpar->sample_rate : 0;
}

Decoder::Measurement Decoder::measure(const QString& path, const std::atomic<bool>* cancel) {
    Input input;
    Measurement m;
    if (!input.open(path, {cancel, std::chrono::steady_clock::now() + kMeasureTimeLimit})) {
        m.error = input.error;
        return m;
    }
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        m.error = QStringLiteral("Out of memory");
        return m;
    }
    const AVStream* stream = input.stream;
    const int rate = stream->codecpar->sample_rate;
    // Durations are added in the stream's time base and converted once, so no rounding
    // accumulates over thousands of packets.
    std::int64_t duration = 0;
    std::int64_t counted = 0; // frames of packets without a duration
    std::int64_t trimmed = 0;
    while (av_read_frame(input.format, packet) >= 0) {
        if (packet->stream_index == stream->index) {
            if (packet->duration > 0)
                duration += packet->duration;
            else
                counted +=
                    std::max(0, av_get_audio_frame_duration2(stream->codecpar, packet->size));
            std::size_t size = 0;
            const std::uint8_t* skip =
                av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
            if (skip && size >= 8)
                trimmed += static_cast<std::int64_t>(AV_RL32(skip)) + AV_RL32(skip + 4);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    m.ok = true;
    m.sourceRate = rate;
    m.sourceFrames = std::max<std::int64_t>(
        0, av_rescale_q(duration, stream->time_base, AVRational{1, rate}) + counted - trimmed);
    return m;
}
