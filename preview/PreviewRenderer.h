#pragma once

#include "preview/player/VideoFrame.h"

#include <memory>

// A decoded frame made ready for drawing (its planes uploaded to the GPU once), with its source
// time. Immutable; shared by the session and by every draw still using it.
class PreviewFrame {
public:
    virtual ~PreviewFrame() = default;
    virtual double time() const = 0;
};

// What the preview engine asks of its renderer: wrap each decoded frame for drawing. The engine
// owns one renderer for its whole life; all calls are on the main thread.
class PreviewRenderer {
public:
    virtual ~PreviewRenderer() = default;
    // Throws PreviewError with the sentence to show when the frame cannot be prepared.
    virtual std::shared_ptr<const PreviewFrame> makeFrame(const VideoFrame& pixels,
                                                          double time) = 0;
};
