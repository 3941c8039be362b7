#pragma once

#include <QByteArray>

// The projection shader, compiled once per renderer when the preview starts.
namespace PreviewShaderSource {

// Sampler units the renderer binds a frame's planes to.
inline constexpr int lumaUnit = 0;
inline constexpr int chromaUnit = 1;
inline constexpr int crUnit = 2;
inline constexpr int overlayUnit = 3;

// Sources without their version line; `variant` completes them.
extern const char* const vertex;
extern const char* const fragment;

// A shader source for the whole source picture or a view of it, from planar chroma (Cb and Cr
// in planes of their own) or interleaved.
QByteArray variant(const char* source, bool wholeSphere, bool planarChroma);

} // namespace PreviewShaderSource
