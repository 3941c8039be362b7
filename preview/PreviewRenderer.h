#pragma once

#include "preview/player/VideoFrame.h"

// What the preview engine asks of its renderer: take each new decoded frame for drawing, and let
// it go when the source goes. The renderer holds the one frame every view draws. All calls are on
// the main thread.
class PreviewRenderer {
public:
    virtual ~PreviewRenderer() = default;
    // Prepares the frame for drawing (its planes uploaded once) and makes it the frame every view
    // shows. Throws PreviewError with the sentence to show when that fails; the frame shown
    // before then stays.
    virtual void showFrame(const VideoFrame& pixels, double time) = 0;
    // Nothing to show any more: every view draws its empty colour.
    virtual void clearFrame() = 0;
    // What the player should run on each decoded frame so that showFrame has little left to do;
    // none when the renderer needs nothing ahead of time.
    virtual FramePreparer framePreparer() const { return {}; }
};
