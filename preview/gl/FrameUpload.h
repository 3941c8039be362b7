#pragma once

#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLFrame.h"
#include "preview/player/VideoFrame.h"

#include <memory>
#include <vector>

namespace FrameUpload {

// The textures a frame of that size and format is uploaded into; none for a format the preview
// cannot draw.
std::vector<GLUploadContext::TextureShape> textureShapes(AVPixelFormat format, int width,
                                                         int height);

// Copies the frame's planes into textures of the upload context's pool, on its upload thread,
// and waits for that; drawing contexts wait on the frame's fence before sampling it. Throws
// PreviewError with the sentence to show when the frame cannot be shared with the GPU. With
// `mayWaitForTextures` (while playing, or when the frame queues behind another) it first waits a
// little for a frame to be let go when the reserved frames' textures are all in use.
std::shared_ptr<const LiveGLFrame> upload(const std::shared_ptr<GLUploadContext>& context,
                                          const VideoFrame& pixels, double time,
                                          bool mayWaitForTextures = false);

} // namespace FrameUpload
