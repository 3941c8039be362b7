// The edit list decides which frames are presented and when: those inside its one media segment.
#include "SourceTestSupport.h"

#include <gtest/gtest.h>

using namespace MediaTest;

namespace {

// Ten frames of 1001 ticks at 30000; the movie counts in the same units.
QString outcome(const std::vector<Mp4::Edit>& edits,
                const std::vector<std::pair<std::uint32_t, std::int32_t>>& offsets = {}) {
    Mp4::MoviePlan plan = equirectangularMovie(10);
    plan.timescale = 30000;
    plan.tracks[0].edits = edits;
    plan.tracks[0].compositionOffsets = offsets;
    try {
        const ExportMediaInfo info = inspectMovie(plan);
        return QStringLiteral("%1 frames")
            .arg(info.duration.value * 30000 / info.duration.timescale / 1001);
    } catch (const ExportError& error) {
        return error.message();
    }
}

} // namespace

TEST(EditList, PresentsTheFramesInsideItsOneMediaSegment) {
    const struct {
        std::vector<Mp4::Edit> edits;
        std::vector<std::pair<std::uint32_t, std::int32_t>> offsets;
        QString expected;
    } cases[] = {
        {{{10010, 0}}, {}, QStringLiteral("10 frames")},
        {{{5005, 2002}}, {}, QStringLiteral("5 frames")},
        {{{5005, 4004}}, {{10, 2002}}, QStringLiteral("5 frames")}, // reordered frames
        {{{100000, 2002}}, {}, QStringLiteral("8 frames")}, // ends after the media: no frame cut
        {{{0, 3003}}, {}, QStringLiteral("7 frames")},      // no length: to the end of the media
        {{{1500, -1}, {5005, 2002}}, {}, QStringLiteral("5 frames")},
        {{{3003, 1000}}, {}, timingText},  // begins inside a frame
        {{{3000, 0}}, {}, timingText},     // ends inside a frame
        {{{1001, 10010}}, {}, timingText}, // after the last frame
        {{{1001, 0}, {1001, 2002}}, {}, timingText},
        {{{1001, 0, 2, 0}}, {}, timingText},
        {{{1001, 0, 1, 1}}, {}, timingText},
        {{{1001, -1}}, {}, timingText}, // nothing of the media
        {{{1001, 0}, {1001, -1}}, {}, timingText},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(c.edits, c.offsets), c.expected)
            << c.edits.front().duration << " " << c.edits.front().mediaTime;
}

TEST(EditList, TimecodeOriginFollowsTheFirstPresentedFrame) {
    // Composition offsets of two frames, and an edit list that starts the media there.
    Mp4::MoviePlan plan = equirectangularMovie(3);
    plan.tracks[0].compositionOffsets = {{3, 2002}};
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002}};
    plan.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 30));
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(30 * 1001, 30000));
    // Frames hidden before the segment play no part: the segment starts at frame 2 of five.
    plan.tracks[0] = Mp4::videoTrack(5760, 2880, 5);
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002}};
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(30 * 1001, 30000));
    // A leading empty edit moves the track later: the first frame is half a second into a
    // timecode that reads 30 frames at time 0.
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{500, -1}, {100, 2002}};
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(1501, 1000));
}
