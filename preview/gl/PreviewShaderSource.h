#pragma once

// The projection shader, compiled once per renderer when the preview starts.
namespace PreviewShaderSource {

// Sampler units the renderer binds a frame's planes to.
inline constexpr int lumaUnit = 0;
inline constexpr int chromaUnit = 1;
inline constexpr int crUnit = 2;

extern const char* const vertex;
extern const char* const fragment;

} // namespace PreviewShaderSource
