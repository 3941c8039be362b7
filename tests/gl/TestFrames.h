#pragma once

#include "preview/player/VideoFrame.h"

#include <QColor>

#include <functional>

// Decoded frames built in memory, as the player would hand them over.
namespace TestFrames {

struct YCbCr {
    int y;
    int cb;
    int cr;
};

// A frame of the given format whose luma at (x, y) and chroma at chroma position (cx, cy) are
// the code values returned (in the format's own bit depth). Lines are padded as FFmpeg pads them.
VideoFrame make(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                AVColorRange range, const std::function<int(int x, int y)>& luma,
                const std::function<std::pair<int, int>(int cx, int cy)>& chroma);

// One colour everywhere.
VideoFrame uniform(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                   AVColorRange range, YCbCr codes);

// Code values of an R'G'B' colour (0…1 per channel) for luma weights (kr, kb), a bit depth and
// full or limited range, computed from the textbook definitions.
YCbCr encode(double r, double g, double b, double kr, double kb, int bitDepth, bool fullRange);

} // namespace TestFrames
