#include "preview/player/FFmpegHandles.h"
#include "preview/player/FrameBufferPool.h"
#include "support/Clips.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace {

// What a frame shows: its visible rows of every plane, nothing of the padding.
QByteArray digest(const AVFrame& frame) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(frame.format));
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane ? descriptor->log2_chroma_w : 0;
        const int rows =
            plane ? AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h) : frame.height;
        const int bytes =
            AV_CEIL_RSHIFT(frame.width, shift) * (descriptor->comp[0].depth > 8 ? 2 : 1);
        for (int row = 0; row < rows; ++row)
            hash.addData(QByteArrayView(
                frame.data[plane] + std::ptrdiff_t(row) * frame.linesize[plane], bytes));
    }
    return hash.result();
}

// Every frame of the file, decoded with frame threads into the pool's buffers, or libavcodec's
// own without one. The decoder is gone when this returns.
std::vector<ffmpeg::Frame> decodeAll(const QString& file, FrameBufferPool* pool) {
    QString error;
    const ffmpeg::FormatContext input = ffmpeg::openInput(file, error, [] { return false; });
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    EXPECT_GE(stream, 0) << error.toStdString();
    if (stream < 0)
        return {};
    const ffmpeg::CodecContext decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), input->streams[stream]->codecpar);
    decoder->thread_count = 3;
    decoder->thread_type = FF_THREAD_FRAME;
    if (pool)
        pool->installOn(decoder.get());
    EXPECT_EQ(avcodec_open2(decoder.get(), codec, nullptr), 0);
    std::vector<ffmpeg::Frame> frames;
    const ffmpeg::Packet packet(av_packet_alloc());
    const auto receive = [&] {
        for (ffmpeg::Frame frame(av_frame_alloc());
             avcodec_receive_frame(decoder.get(), frame.get()) == 0; frame.reset(av_frame_alloc()))
            frames.push_back(std::move(frame));
    };
    while (av_read_frame(input.get(), packet.get()) == 0) {
        if (packet->stream_index == stream) {
            EXPECT_EQ(avcodec_send_packet(decoder.get(), packet.get()), 0);
        }
        av_packet_unref(packet.get());
        receive();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return frames;
}

// Odd sizes, so that the codec pads every plane; the 8-bit luma is over 2 MB and takes huge pages
// where the system has them, the rest come from the heap.
TEST(FrameBufferPool, DecodesWhatLibavcodecsOwnBuffersHoldAndOutlivesTheDecoder) {
    const QTemporaryDir folder;
    for (const auto& [name, codec] :
         {std::pair{"h264.mp4", QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p"}},
          {"hevc10.mp4",
           {"-c:v", "libx265", "-x265-params", "log-level=error", "-pix_fmt", "yuv420p10le"}}}) {
        const QString clip = Clips::ffmpeg(
            folder.filePath(name),
            QStringList{"-f", "lavfi", "-i", "testsrc2=size=2050x1030:rate=30:duration=0.4",
                        "-preset", "ultrafast", "-bf", "2"} +
                codec);
        const std::vector<ffmpeg::Frame> expected = decodeAll(clip, nullptr);
        auto pool = std::make_unique<FrameBufferPool>();
        const std::vector<ffmpeg::Frame> decoded = decodeAll(clip, pool.get());
        pool.reset();
        ASSERT_EQ(decoded.size(), 12u) << name;
        ASSERT_EQ(expected.size(), decoded.size()) << name;
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            EXPECT_EQ(digest(*decoded[i]), digest(*expected[i])) << name << " frame " << i;
            for (int plane = 0; plane < 3; ++plane)
                EXPECT_EQ(decoded[i]->linesize[plane] % 64, 0) << name;
#ifdef __linux__
            if (decoded[i]->format == AV_PIX_FMT_YUV420P) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(decoded[i]->data[0]) % (2 << 20), 0u);
            }
#endif
        }
        // Distinct pictures, so that equal digests mean something.
        EXPECT_NE(digest(*decoded[0]), digest(*decoded[11])) << name;
    }
}

} // namespace
