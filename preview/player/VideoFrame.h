#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <functional>
#include <memory>

// What the display makes of a frame's pixels ahead of time, off the main thread (the preview
// uploads them into textures). Opaque to the player, which only carries it with the frame.
class PreparedPicture {
public:
    virtual ~PreparedPicture() = default;
};

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

    // The same picture in its prepared form: size, format and colour kept, pixels let go (their
    // buffers go back to the decoder at once). A null frame when memory runs out.
    VideoFrame preparedAs(std::shared_ptr<const PreparedPicture> prepared) const;
    // What the display made of the pixels; with it, plane() is null.
    const std::shared_ptr<const PreparedPicture>& prepared() const { return prepared_; }

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
    std::shared_ptr<const PreparedPicture> prepared_;
};

// What the display asks of the decoding thread, called on it.
struct FramePreparer {
    // Once the decoder is open, with the size and pixel format of the frames it will deliver, so
    // that the display can get ready for them while the first one decodes. Must not block.
    std::function<void(int width, int height, AVPixelFormat format)> expect;
    // With each frame about to be queued, the item time it shows at, and whether it may wait for
    // the display to let go of a frame: while the clock runs, or when another frame is queued
    // ahead of it, the display is about to. Null when it could not prepare it (the display then
    // works from the pixels itself).
    std::function<std::shared_ptr<const PreparedPicture>(const VideoFrame& pixels, double time,
                                                         bool mayWaitForTextures)>
        prepare;
};
