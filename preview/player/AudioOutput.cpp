#include "preview/player/AudioOutput.h"

#include "preview/player/FFmpegHandles.h"
#include "preview/player/WorkerGroup.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

// Resampled sound between the decoding thread and the audio device. Bounded: the decoder waits
// while it is full. The device side never waits: it gets silence when the ring runs dry. Shared
// by both threads; the decoding thread may hold it after the output has let go.
class AudioRing {
public:
    explicit AudioRing(std::size_t capacity) : capacity_(capacity) {}

    bool append(const std::uint8_t* data, std::size_t size) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || bytes_.size() + size <= capacity_; });
        if (stop_)
            return false;
        bytes_.insert(bytes_.end(), data, data + size);
        return true;
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
    }
    bool stopped() const {
        std::lock_guard lock(mutex_);
        return stop_;
    }

    // Fills all of `data`, with silence where the ring has run dry.
    void read(char* data, std::size_t size) {
        std::size_t taken = 0;
        {
            std::lock_guard lock(mutex_);
            taken = std::min(bytes_.size(), size);
            std::copy_n(bytes_.begin(), taken, data);
            bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(taken));
        }
        changed_.notify_all();
        std::memset(data + taken, 0, size - taken);
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    const std::size_t capacity_;
    std::deque<std::uint8_t> bytes_;
    bool stop_ = false;
};

// The ring as the device the sink pulls from; lives on the main thread with the sink.
class AudioRingDevice : public QIODevice {
public:
    explicit AudioRingDevice(std::shared_ptr<AudioRing> ring) : ring_(std::move(ring)) {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        ring_->read(data, std::size_t(std::max<qint64>(maxSize, 0)));
        return maxSize;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    std::shared_ptr<AudioRing> ring_;
};

// Decodes and resamples one audio track from a start time into the ring. Runs on a thread of its
// own that ends by itself once the ring is stopped; nothing waits for it.
class AudioDecoder {
public:
    explicit AudioDecoder(std::shared_ptr<AudioRing> ring) : ring_(std::move(ring)) {}

    void run(const QString& path, int streamIndex, double startTime, const QAudioFormat& format) {
        QString error;
        ffmpeg::FormatContext input =
            ffmpeg::openInput(path, error, [ring = ring_] { return ring->stopped(); });
        if (!input || streamIndex >= int(input->nb_streams))
            return;
        AVStream* stream = input->streams[streamIndex];
        for (unsigned i = 0; i < input->nb_streams; ++i)
            if (int(i) != streamIndex)
                input->streams[i]->discard = AVDISCARD_ALL;
        if (avformat_find_stream_info(input.get(), nullptr) < 0)
            return;
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        ffmpeg::CodecContext decoder(avcodec_alloc_context3(codec));
        if (!codec || !decoder ||
            avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
            avcodec_open2(decoder.get(), codec, nullptr) < 0)
            return;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, format.channelCount());
        const AVSampleFormat sampleFormat =
            format.sampleFormat() == QAudioFormat::Float ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16;
        SwrContext* raw = nullptr;
        swr_alloc_set_opts2(&raw, &layout, sampleFormat, format.sampleRate(), &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
        ffmpeg::Resampler resampler(raw);
        if (!resampler || swr_init(resampler.get()) < 0)
            return;
        const std::int64_t startTs =
            av_rescale_q(std::int64_t(startTime * AV_TIME_BASE), AV_TIME_BASE_Q, stream->time_base);
        av_seek_frame(input.get(), streamIndex, startTs, AVSEEK_FLAG_BACKWARD);

        const int frameBytes = format.bytesPerFrame();
        ffmpeg::Packet packet(av_packet_alloc());
        ffmpeg::Frame frame(av_frame_alloc());
        std::vector<std::uint8_t> buffer;
        while (av_read_frame(input.get(), packet.get()) >= 0) {
            const int sent = packet->stream_index == streamIndex
                                 ? avcodec_send_packet(decoder.get(), packet.get())
                                 : 0;
            av_packet_unref(packet.get());
            if (sent < 0)
                continue;
            while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
                const int capacity = swr_get_out_samples(resampler.get(), frame->nb_samples);
                buffer.resize(std::size_t(std::max(capacity, 0) * frameBytes));
                std::uint8_t* out = buffer.data();
                const int converted = swr_convert(
                    resampler.get(), &out, capacity,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
                // Skip what lies before the start, so the sound begins with the picture.
                std::size_t skip = 0;
                if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                    const double time = frame->best_effort_timestamp * av_q2d(stream->time_base);
                    if (time < startTime)
                        skip = std::size_t((startTime - time) * format.sampleRate()) *
                               std::size_t(frameBytes);
                }
                const std::size_t size = std::size_t(std::max(converted, 0) * frameBytes);
                av_frame_unref(frame.get());
                if (skip < size && !ring_->append(buffer.data() + skip, size - skip))
                    return;
            }
        }
    }

private:
    std::shared_ptr<AudioRing> ring_;
};

std::unique_ptr<AudioOutput> AudioOutput::create(const QString& path, int audioStream,
                                                 WorkerGroup& workers) {
    if (audioStream < 0 || QMediaDevices::defaultAudioOutput().isNull())
        return nullptr;
    std::unique_ptr<AudioOutput> output(new AudioOutput(workers));
    output->path_ = path;
    output->audioStream_ = audioStream;
    return output;
}

AudioOutput::AudioOutput(WorkerGroup& workers) : workers_(workers) {}

AudioOutput::~AudioOutput() {
    stop();
}

void AudioOutput::start(double itemTime) {
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    QAudioFormat format = device.preferredFormat();
    format.setChannelCount(std::min(format.channelCount(), 2));
    if (format.sampleFormat() != QAudioFormat::Float)
        format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;
    bytesPerSecond_ = format.bytesForDuration(1'000'000);
    ring_ = std::make_shared<AudioRing>(std::size_t(bytesPerSecond_ / 2));
    device_ = std::make_unique<AudioRingDevice>(ring_);
    workers_.start([decoder = AudioDecoder(ring_), path = path_, stream = audioStream_, itemTime,
                    format]() mutable { decoder.run(path, stream, itemTime, format); });
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->start(device_.get());
    startTime_ = itemTime;
    running_ = true;
}

void AudioOutput::stop() {
    if (sink_)
        sink_->stop();
    // The decoding thread sees the stop and ends by itself.
    if (ring_)
        ring_->stop();
    sink_.reset();
    device_.reset();
    ring_.reset();
    running_ = false;
}

std::optional<double> AudioOutput::clockSeconds() const {
    if (!running_ || !sink_ || bytesPerSecond_ <= 0)
        return std::nullopt;
    const qint64 processed = sink_->processedUSecs();
    if (processed <= 0)
        return std::nullopt;
    // What has been handed to the device, less what still waits in its buffer.
    const qint64 queued = qint64(sink_->bufferSize()) - qint64(sink_->bytesFree());
    return startTime_ + double(processed) / 1e6 -
           double(std::max<qint64>(queued, 0)) / bytesPerSecond_;
}
