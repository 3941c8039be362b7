#pragma once

#include "preview/player/VideoFrame.h"

#include <QString>
#include <QStringList>

// Test media, made when the tests run by the ffmpeg program and the project's sample script.
namespace Clips {

// Runs a program to its end and returns what it printed; fails the test (never skips) when it
// cannot be run or does not succeed.
QString run(const QString& program, const QStringList& arguments);

// Makes `path` with ffmpeg from the given inputs, codecs and options; returns the path.
QString ffmpeg(const QString& path, const QStringList& arguments);

// An equirectangular sample made by scripts/make-sample (H.264, stereo AAC, 30 fps).
QString sample(const QString& path, const QString& size = QStringLiteral("512x256"),
               int seconds = 3, const QStringList& options = {});
// The same clip made once in the build tree and shared by the tests that only read it.
QString cachedSample(const QString& size = QStringLiteral("512x256"), int seconds = 3);

// Clips whose every frame shows its own index at 30000/1001 fps: 16 blocks of 20 × 80 pixels
// across a 320 × 160 picture spell the index in binary (lowest bit on the left, white for 1), and
// the lower half repeats them inverted so that a damaged picture cannot pass for a frame.
// videoArguments pick codec and pixel format; withSound adds a stereo AAC track.
QString indexed(const QString& path, int frames, const QStringList& videoArguments,
                bool withSound = false);
// The index a decoded frame shows, or -1 when the picture spells none.
int indexOf(const VideoFrame& frame);

} // namespace Clips
