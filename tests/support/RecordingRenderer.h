#pragma once

#include "model/UserError.h"
#include "preview/PreviewRenderer.h"

#include <optional>

// Takes frames without a GPU and remembers the last; can be told to refuse.
class RecordingRenderer final : public PreviewRenderer {
public:
    std::optional<QString> refusal;
    int shownCount = 0;
    std::optional<double> frameTime; // of the frame shown now
    VideoFrame pixels;

    void showFrame(const VideoFrame& frame, double time) override {
        if (refusal)
            throw PreviewError(*refusal);
        ++shownCount;
        pixels = frame;
        frameTime = time;
    }
    void clearFrame() override {
        pixels = {};
        frameTime.reset();
    }
};
