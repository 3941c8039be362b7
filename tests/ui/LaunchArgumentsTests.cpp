#include "ui/LaunchArguments.h"

#include <gtest/gtest.h>

namespace {

TEST(LaunchArguments, TheFirstSourceFlagWithAFollowingArgumentNamesTheVideo) {
    const QDir work(QStringLiteral("/home/editor/shoot"));
    auto source = [&](QStringList arguments) {
        arguments.prepend(QStringLiteral("/usr/bin/tessaly"));
        return sourceArgument(arguments, work);
    };
    EXPECT_EQ(source({"--source", "a.mov", "--source", "b.mov"}),
              QUrl::fromLocalFile(QStringLiteral("/home/editor/shoot/a.mov")));
    EXPECT_EQ(source({"--source", "/media/card/clip 1.MP4"}),
              QUrl::fromLocalFile(QStringLiteral("/media/card/clip 1.MP4")));
    EXPECT_EQ(source({"-v", "--source", "../other/c.mp4"}),
              QUrl::fromLocalFile(QStringLiteral("/home/editor/shoot/../other/c.mp4")));
    // Only the exact flag counts.
    EXPECT_EQ(source({"--Source", "a.mov"}), std::nullopt);
    EXPECT_EQ(source({"--source=a.mov"}), std::nullopt);
    EXPECT_EQ(source({"a.mov", "--source"}), std::nullopt);
    EXPECT_EQ(source({}), std::nullopt);
    // A path that looks like a URL is still a path.
    EXPECT_EQ(source({"--source", "file:x.mp4"}),
              QUrl::fromLocalFile(QStringLiteral("/home/editor/shoot/file:x.mp4")));
}

} // namespace
