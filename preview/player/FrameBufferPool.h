#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <array>
#include <mutex>

// Picture buffers for one video decoder, laid out as libavcodec's own but mapped in huge pages
// where the system offers them. A 6K or 8K picture is tens of megabytes: in 4 KB pages, a new
// buffer costs thousands of page faults, and libavcodec's pool zeroes it on top: together a good
// part of a second while an 8K clip opens. Install before the codec is opened; the pool must
// outlive the codec context, while the frames it handed out may outlive both.
class FrameBufferPool {
public:
    FrameBufferPool() = default;
    FrameBufferPool(const FrameBufferPool&) = delete;
    FrameBufferPool& operator=(const FrameBufferPool&) = delete;
    ~FrameBufferPool();

    void installOn(AVCodecContext* context);

private:
    static int getBuffer(AVCodecContext* context, AVFrame* frame, int flags);
    bool fitTo(AVCodecContext* context, const AVFrame* frame);
    void release();

    std::mutex mutex_;
    int format_ = -1;
    int width_ = 0;
    int height_ = 0;
    std::array<int, 4> linesizes_{};
    std::array<AVBufferPool*, 4> planes_{};
};
