#include "model/ProjectNaming.h"

#include <gtest/gtest.h>

namespace {
QUrl file(const QString& name) {
    return QUrl::fromLocalFile(QStringLiteral("/clips/") + name);
}

const OutputFormat landscape = OutputFormat::landscape;
const OutputFormat portrait = OutputFormat::portrait;
const OutputResolution uhd = OutputResolution::ultraHD;
const OutputResolution hd = OutputResolution::hd;
} // namespace

TEST(ProjectNaming, SourceNameIsTrimmedOrFallsBack) {
    ProjectNaming naming;
    EXPECT_EQ(naming.title(4, landscape, uhd, true),
              QStringLiteral("Pellawick - 4 angles - Landscape 16x9 - 4K"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true),
              QStringLiteral("Pellawick - 4 angles - Landscape 16x9 - 4K.fcpxml"));

    naming.setSource(file(QStringLiteral("  Ride 01 .mov")));
    EXPECT_EQ(naming.sourceBaseName(), QStringLiteral("Ride 01"));
    naming.setSource(file(QStringLiteral("   .mp4")));
    EXPECT_EQ(naming.sourceBaseName(), QStringLiteral("Pellawick"));
    // A no-break space and an ideographic space are white space too.
    naming.setSource(file(QString::fromUtf8("\u00A0Dive\u3000.MOV")));
    EXPECT_EQ(naming.sourceBaseName(), QStringLiteral("Dive"));
    naming.setSource(file(QStringLiteral("Ride.final.mp4")));
    EXPECT_EQ(naming.sourceBaseName(), QStringLiteral("Ride.final"));
}

TEST(ProjectNaming, CustomNameIsKeptAcrossOpeningsAndToggles) {
    ProjectNaming naming;
    naming.setSource(file(QStringLiteral("First.mp4")));
    naming.setUsesSourceName(false);
    EXPECT_EQ(naming.customBaseName(), QStringLiteral("First"));
    naming.setUsesSourceName(true);
    naming.setSource(file(QStringLiteral("Second.mp4")));
    EXPECT_EQ(naming.baseName(), QStringLiteral("Second"));
    EXPECT_EQ(naming.customBaseName(), QStringLiteral("First"));
    naming.setUsesSourceName(false);
    EXPECT_EQ(naming.baseName(), QStringLiteral("First"));

    naming.setBaseName(QStringLiteral("   "));
    EXPECT_TRUE(naming.title(4, landscape, uhd, true).startsWith(QStringLiteral("Second - 4")));
    naming.setAppendsDetails(false);
    naming.setBaseName(QStringLiteral("  Dive  "));
    EXPECT_EQ(naming.title(4, landscape, uhd, true), QStringLiteral("Dive"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true), QStringLiteral("Dive.fcpxml"));
}

TEST(ProjectNaming, SuffixFollowsCountShapeAndSize) {
    ProjectNaming naming;
    EXPECT_EQ(naming.suffix(3, portrait, hd, true),
              QStringLiteral(" - 3 angles - Portrait 9x16 - HD"));
    EXPECT_EQ(naming.suffix(4, landscape, hd, false),
              QStringLiteral(" - 4 angles - Landscape 16x9"));
    naming.setAppendsDetails(false);
    EXPECT_TRUE(naming.suffix(3, portrait, hd, true).isEmpty());
}

TEST(ProjectNaming, FilenameReplacesUnsafeScalarsOneByOne) {
    ProjectNaming naming;
    naming.setAppendsDetails(false);
    naming.setBaseName(QStringLiteral("X/Y: Z"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true), QStringLiteral("X-Y- Z.fcpxml"));
    naming.setBaseName(QStringLiteral("A\tB\r\nC\\D"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true), QStringLiteral("A-B--C-D.fcpxml"));
    // A zero-width space is a format character (Cf) and is replaced like a control character.
    naming.setBaseName(QString::fromUtf8("Left\u200BRight"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true), QStringLiteral("Left-Right.fcpxml"));
    // A family emoji is several scalars joined by zero-width joiners (Cf): the joiners go,
    // each astral scalar stays whole, and no lone surrogate is produced.
    const QString family = QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    naming.setBaseName(family);
    const QString expected = QString::fromUtf8("\U0001F468-\U0001F469-\U0001F467.fcpxml");
    EXPECT_EQ(naming.filename(4, landscape, uhd, true), expected);
    naming.setBaseName(QString::fromUtf8("Flag \U0001F1F3\U0001F1F4 é"));
    EXPECT_EQ(naming.filename(4, landscape, uhd, true),
              QString::fromUtf8("Flag \U0001F1F3\U0001F1F4 é.fcpxml"));
}
