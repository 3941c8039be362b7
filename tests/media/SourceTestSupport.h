#pragma once

#include "fixtures/Mp4Writer.h"
#include "media/ByteSource.h"
#include "media/MediaInspector.h"
#include "support/Clips.h"
#include "support/Outcomes.h"
#include "support/Printing.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const MediaTime& time, std::ostream* out) {
    *out << time.value << "/" << time.timescale << " flags " << time.flags;
}

namespace MediaTest {

inline MediaTime t(std::int64_t value, std::int32_t timescale) {
    return MediaTime::make(value, timescale);
}

inline ExportMediaInfo inspectMovie(const QByteArray& bytes) {
    MemoryByteSource source(bytes);
    return MediaInspector::inspect(source);
}

inline ExportMediaInfo inspectMovie(const Mp4::MoviePlan& plan) {
    return inspectMovie(Mp4::writeMovie(plan));
}

// A plain, acceptable 360° source: 5760 × 2880 at 30000/1001, `frames` frames, no audio.
inline Mp4::MoviePlan equirectangularMovie(std::uint32_t frames = 300) {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(5760, 2880, frames));
    return plan;
}

inline const QString timingText = "The video has variable, incomplete, or ambiguous frame timing. "
                                  "Export a constant-frame-rate stitched source first.";
inline const QString audioText = "Cannot determine a constant audio channel count and sample rate. "
                                 "Export the audio as a single standard track first.";
inline const QString damagedText = "This file could not be read as a movie; it may be damaged or "
                                   "incomplete.";
inline const QString uninterpretableText =
    "Cannot interpret the source timecode unambiguously. Export a source with standard continuous "
    "timecode first.";
inline const QString discontinuousText = "The source timecode is discontinuous. Export a source "
                                         "with a continuous timecode track first.";

// Program arguments written as one line.
inline QStringList args(const QString& line) {
    return line.split(' ', Qt::SkipEmptyParts);
}

// The clip `name` made by ffmpeg from `arguments` once per run of the tests; returns its path.
inline QString clip(const QString& name, const QStringList& arguments) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(name);
    return QFile::exists(path) ? path : Clips::ffmpeg(path, arguments);
}

} // namespace MediaTest
