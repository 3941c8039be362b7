#pragma once

#include "preview/gl/GLUploadContext.h"
#include "preview/gl/YCbCrConversion.h"
#include "preview/player/VideoFrame.h"

#include <QSize>

#include <memory>
#include <vector>

// A decoded frame whose planes live in textures of the shared context group: uploaded once,
// sampled by every view. Immutable once made. Its textures go back to the upload context for
// reuse when the last holder (the session, or a draw the GPU has not finished) lets go.
class LiveGLFrame final : public PreparedPicture {
public:
    struct Plane {
        GLUploadContext::TextureShape shape;
        GLuint texture = 0;
    };

    LiveGLFrame(std::shared_ptr<GLUploadContext> uploadContext, double time, QSize size,
                AVPixelFormat pixelFormat, YCbCrConversion conversion);
    ~LiveGLFrame() override;
    LiveGLFrame(const LiveGLFrame&) = delete;
    LiveGLFrame& operator=(const LiveGLFrame&) = delete;

    const GLUploadContext* uploadContext() const { return uploadContext_.get(); }
    double time() const { return time_; }
    QSize size() const { return size_; }
    AVPixelFormat pixelFormat() const { return pixelFormat_; }
    const YCbCrConversion& conversion() const { return conversion_; }

    // Luma, then Cb and Cr interleaved.
    const std::vector<Plane>& planes() const { return planes_; }
    // Signalled once the upload is complete; a drawing context waits on it before sampling.
    GLsync uploadFence() const { return uploadFence_; }

    // Used only while the frame is being made.
    void addPlane(Plane plane) { planes_.push_back(plane); }
    void setUploadFence(GLsync fence) { uploadFence_ = fence; }

private:
    std::shared_ptr<GLUploadContext> uploadContext_;
    double time_;
    QSize size_;
    AVPixelFormat pixelFormat_;
    YCbCrConversion conversion_;
    std::vector<Plane> planes_;
    GLsync uploadFence_ = nullptr;
};
