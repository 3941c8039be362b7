#pragma once

#include "fixtures/Mp4Writer.h"
#include "media/ByteSource.h"
#include "media/MediaInspector.h"
#include "model/UserError.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const MediaTime& time, std::ostream* out) {
    *out << time.value << "/" << time.timescale << " (flags " << time.flags << ", epoch "
         << time.epoch << ")";
}

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}

namespace MediaTest {

inline MediaTime t(std::int64_t value, std::int32_t timescale) {
    return MediaTime::make(value, timescale);
}

inline ExportMediaInfo inspectBytes(const QByteArray& bytes) {
    MemoryByteSource source(bytes);
    return MediaInspector::inspect(source);
}

inline ExportMediaInfo inspectMovie(const Mp4::MoviePlan& plan) {
    return inspectBytes(Mp4::writeMovie(plan));
}

// The sentence an inspection of the bytes refuses with, or "accepted".
inline QString refusalOfBytes(const QByteArray& bytes) {
    try {
        inspectBytes(bytes);
        return QStringLiteral("accepted");
    } catch (const std::exception& error) {
        return localizedDescription(error);
    }
}

inline QString refusalOf(const Mp4::MoviePlan& plan) {
    return refusalOfBytes(Mp4::writeMovie(plan));
}

// A plain, acceptable 360° source: 5760 × 2880 at 30000/1001, `frames` frames, no audio.
inline Mp4::MoviePlan equirectangularMovie(std::uint32_t frames = 300) {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(5760, 2880, frames));
    return plan;
}

inline const QString timingText = QStringLiteral(
    "The video has variable, incomplete, or ambiguous frame timing. Export a constant-frame-rate "
    "stitched source first.");
inline const QString audioText =
    QStringLiteral("Cannot determine a constant audio channel count and sample rate. Export the "
                   "audio as a single standard track first.");
inline const QString damagedText =
    QStringLiteral("This file could not be read as a movie; it may be damaged or incomplete.");
inline const QString uninterpretableText = QStringLiteral(
    "Cannot interpret the source timecode unambiguously. Export a source with standard "
    "continuous timecode first.");
inline const QString discontinuousText = QStringLiteral(
    "The source timecode is discontinuous. Export a source with a continuous timecode track "
    "first.");

} // namespace MediaTest
