#pragma once

#include "preview/player/VideoFrame.h"

#include <QString>
#include <QStringList>

// Clips made by the ffmpeg program whose every frame shows its own index: 16 blocks of 20 × 80
// pixels across a 320 × 160 picture spell the index in binary (lowest bit on the left, white for
// 1), and the lower half repeats them inverted so that a damaged picture cannot pass for a frame.
namespace IndexedClips {

constexpr int framesPerSecondNumerator = 30000;
constexpr int framesPerSecondDenominator = 1001;

// Writes the clip and returns its path; videoArguments pick codec and pixel format. withSound
// adds a stereo AAC track.
QString make(const QString& folder, const QString& name, int frames,
             const QStringList& videoArguments, bool withSound = false);
// A file with only a sound track.
QString makeSoundOnly(const QString& folder, const QString& name);
// The index a decoded frame shows, or -1 when the picture spells none.
int indexOf(const VideoFrame& frame);
// Runs a program and returns whether it succeeded.
bool run(const QString& program, const QStringList& arguments);

} // namespace IndexedClips
