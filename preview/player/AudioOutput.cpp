#include "preview/player/AudioOutput.h"

#include "preview/player/FFmpegHandles.h"

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
#include <thread>

// Resampled sound between the decoding thread and the audio device. Bounded: the decoder waits
// while it is full. The device side never waits: it gets silence when the ring runs dry.
class AudioRing : public QIODevice {
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

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        std::size_t taken = 0;
        {
            std::lock_guard lock(mutex_);
            taken = std::min<std::size_t>(bytes_.size(), std::size_t(maxSize));
            std::copy_n(bytes_.begin(), taken, data);
            bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(taken));
        }
        changed_.notify_all();
        std::memset(data + taken, 0, std::size_t(maxSize) - taken);
        return maxSize;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::size_t capacity_;
    std::deque<std::uint8_t> bytes_;
    bool stop_ = false;
};

// Decodes and resamples one audio track from a start time into the ring, on its own thread.
class AudioDecoder {
public:
    AudioDecoder(QString path, int stream, double startTime, QAudioFormat format,
                 std::shared_ptr<AudioRing> ring)
        : ring_(std::move(ring)), thread_([this, path = std::move(path), stream, startTime,
                                           format] { run(path, stream, startTime, format); }) {}
    ~AudioDecoder() {
        ring_->stop();
        thread_.join();
    }

private:
    void run(const QString& path, int streamIndex, double startTime, const QAudioFormat& format) {
        QString error;
        ffmpeg::FormatContext input = ffmpeg::openInput(path, error);
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

    std::shared_ptr<AudioRing> ring_;
    std::thread thread_;
};

std::unique_ptr<AudioOutput> AudioOutput::create(const QString& path, int audioStream) {
    if (audioStream < 0 || QMediaDevices::defaultAudioOutput().isNull())
        return nullptr;
    std::unique_ptr<AudioOutput> output(new AudioOutput);
    output->path_ = path;
    output->audioStream_ = audioStream;
    return output;
}

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
    ring_->open(QIODevice::ReadOnly);
    decoder_ = std::make_unique<AudioDecoder>(path_, audioStream_, itemTime, format, ring_);
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->start(ring_.get());
    startTime_ = itemTime;
    running_ = true;
}

void AudioOutput::stop() {
    if (sink_)
        sink_->stop();
    if (ring_)
        ring_->stop();
    decoder_.reset();
    sink_.reset();
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
