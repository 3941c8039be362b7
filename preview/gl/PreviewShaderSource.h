#pragma once

#include <QByteArray>

// The projection shader, compiled once per renderer when the preview starts.
namespace PreviewShaderSource {

// Sampler units the renderer binds a frame's planes to.
inline constexpr int lumaUnit = 0;
inline constexpr int chromaUnit = 1;
inline constexpr int overlayUnit = 2;

// Sources without their version line; `variant` completes them.
extern const char* const vertex;
extern const char* const fragment;

// Vertex attributes of the overview's rectangles.
inline constexpr int tileAttribute = 0;
inline constexpr int tintAttribute = 1;

enum class Picture { view, sphere, overlaidSphere };
inline constexpr int pictureKinds = 3;

// A shader source for a view, the whole source picture, or the whole source picture with an
// overlay laid over it.
QByteArray variant(const char* source, Picture picture);

} // namespace PreviewShaderSource
