// The box reader: every form of box size, and what it reads of a file.
#include "SourceTestSupport.h"

#include <gtest/gtest.h>

using namespace MediaTest;

TEST(MovieReader, AcceptsEveryFormOfBoxSize) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    // A last box whose size is 0 runs to the end of the file; a 64-bit size is read as such.
    Mp4::BoxWriter large;
    large.u32s({1, 0x736B6970, 0, 16 + 3}); // "skip"
    large.bytes("abc");
    // QuickTime may end user data with four zero bytes.
    Mp4::MoviePlan terminated = equirectangularMovie(5);
    terminated.userData = Mp4::userDataText("\xA9"
                                            "nam",
                                            "x") +
                          QByteArray(4, '\0');
    for (const QByteArray& file : {movie + QByteArray("\0\0\0\0free", 8) + QByteArray(100, 'x'),
                                   movie + large.data, Mp4::writeMovie(terminated)})
        EXPECT_EQ(inspectBytes(file).duration, t(1001, 6000));
}

TEST(MovieReader, ReadsTablesNotMediaData) {
    // Per-sample sizes and one chunk per frame make the tables large: they are read to find the
    // frames' bytes, which never are.
    Mp4::MoviePlan plan = equirectangularMovie(20000);
    plan.tracks[0].sampleSizes.assign(20000, 500);
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    MediaInspector::inspect(source);
    EXPECT_GT(bytes.size(), 10'000'000);
    EXPECT_LT(source.bytesRead(), 200'000u);
}
