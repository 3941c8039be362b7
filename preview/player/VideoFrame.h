#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <memory>

// One decoded picture, immutable and shared by reference: copying a VideoFrame never copies
// the AVFrame or its pixels; the last holder frees it. The player delivers only these pixel
// formats (anything else is converted once with libswscale to one of them):
//   AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12        8-bit 4:2:0, planar or semi-planar
//   AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_P010LE  10-bit 4:2:0 in 16-bit words, planar or semi-planar
class VideoFrame {
public:
    VideoFrame() = default;
    // Takes ownership of the frame.
    explicit VideoFrame(AVFrame* frame) : frame_(frame, [](AVFrame* f) { av_frame_free(&f); }) {}

    bool isNull() const { return !frame_; }
    const AVFrame* avFrame() const { return frame_.get(); }

    int width() const { return frame_ ? frame_->width : 0; }
    int height() const { return frame_ ? frame_->height : 0; }
    AVPixelFormat pixelFormat() const {
        return frame_ ? AVPixelFormat(frame_->format) : AV_PIX_FMT_NONE;
    }
    const std::uint8_t* plane(int index) const { return frame_->data[index]; }
    int lineSize(int index) const { return frame_->linesize[index]; }
    // Y'CbCr matrix and range as decoded; unspecified means BT.709 for HD and larger, limited.
    AVColorSpace colorMatrix() const { return frame_ ? frame_->colorspace : AVCOL_SPC_UNSPECIFIED; }
    AVColorRange colorRange() const {
        return frame_ ? frame_->color_range : AVCOL_RANGE_UNSPECIFIED;
    }

private:
    std::shared_ptr<AVFrame> frame_;
};
