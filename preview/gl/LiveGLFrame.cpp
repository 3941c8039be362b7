#include "preview/gl/LiveGLFrame.h"

LiveGLFrame::LiveGLFrame(std::shared_ptr<GLUploadContext> uploadContext, double time, QSize size,
                         AVPixelFormat pixelFormat, YCbCrConversion conversion)
    : uploadContext_(std::move(uploadContext)), time_(time), size_(size), pixelFormat_(pixelFormat),
      conversion_(conversion) {}

LiveGLFrame::~LiveGLFrame() {
    for (const Plane& plane : planes_) {
        uploadContext_->recycleTexture(plane.shape, plane.texture);
    }
    uploadContext_->discardSync(uploadFence_);
}
