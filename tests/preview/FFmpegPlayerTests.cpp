#include "IndexedClips.h"
#include "QtTestApp.h"
#include "ScriptedPlayer.h"

#include "preview/LivePreviewSession.h"
#include "preview/player/FFmpegPlayer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr std::int64_t ticksPerFrame = 2002; // one frame at 30000/1001 in 1/60000 s

class FFmpegPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication();
        folder = new QTemporaryDir();
        const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-g",
                               "24",   "-bf",     "3",       "-pix_fmt",  "yuv420p"};
        h264Clip = IndexedClips::make(folder->path(), "h264.mp4", clipFrames, h264, true);
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    static double clipDuration(int frames) { return frames * 1001.0 / 30000.0; }

    // Seeks the player and waits for the completion; returns the frame index shown afterwards,
    // or -2 when the seek did not finish.
    static int seekAndRead(FFmpegPlayer& player, std::int64_t ticks) {
        std::optional<bool> finished;
        player.seek(MediaTime::make(ticks, 60000), [&](bool done) { finished = done; });
        if (!QTest::qWaitFor([&] { return finished.has_value(); }, 15000) || !*finished)
            return -2;
        const std::optional<PlayerFrame> frame = player.copyFrame(player.currentTime());
        return frame ? IndexedClips::indexOf(frame->pixels) : -3;
    }

    static std::unique_ptr<LivePreviewSession> makeSession() {
        return std::make_unique<LivePreviewSession>(
            [] { return std::make_unique<WrappingRenderer>(); });
    }
    static int shownIndex(const LivePreviewSession& session) {
        const auto* frame =
            dynamic_cast<const WrappingRenderer::Frame*>(session.currentFrame().get());
        return frame ? IndexedClips::indexOf(frame->pixels) : -1;
    }

    static constexpr int clipFrames = 96;
    static inline QTemporaryDir* folder = nullptr;
    static inline QString h264Clip;
};

TEST_F(FFmpegPlayerTest, EveryExactSeekLandsOnTheFrameOnScreenAtItsTarget) {
    ASSERT_FALSE(h264Clip.isEmpty());
    FFmpegPlayer player;
    player.replaceCurrentItem(QUrl::fromLocalFile(h264Clip));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player.status() != PlayerItemStatus::Unknown; }, 10000));
    ASSERT_EQ(player.status(), PlayerItemStatus::ReadyToPlay) << player.itemError()->toStdString();

    std::vector<std::int64_t> targets{0,
                                      (clipFrames - 1) * ticksPerFrame,
                                      clipFrames * ticksPerFrame - 1,
                                      5 * ticksPerFrame,
                                      5 * ticksPerFrame - 1,
                                      24 * ticksPerFrame};
    std::mt19937 random(6);
    std::uniform_int_distribution<std::int64_t> anywhere(0, clipFrames * ticksPerFrame - 1);
    while (targets.size() < 200)
        targets.push_back(anywhere(random));
    for (const std::int64_t ticks : targets)
        ASSERT_EQ(seekAndRead(player, ticks), int(ticks / ticksPerFrame)) << "target " << ticks;

    // While dragging only the newest target matters: older completions report not finished.
    std::vector<std::optional<bool>> results(5);
    for (int i = 0; i < 5; ++i)
        player.seek(MediaTime::make((10 + 13 * i) * ticksPerFrame, 60000),
                    [&results, i](bool done) { results[std::size_t(i)] = done; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return results[4].has_value(); }, 15000));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(results[std::size_t(i)], false);
    EXPECT_EQ(results[4], true);
    EXPECT_EQ(IndexedClips::indexOf(player.copyFrame(player.currentTime())->pixels), 62);
}

TEST_F(FFmpegPlayerTest, OtherPixelFormatsArriveAsFourTwoZeroAndSeekExactly) {
    struct Case {
        const char* name;
        QStringList arguments;
        AVPixelFormat expected;
    };
    const std::vector<Case> cases{
        {"hevc10.mp4",
         {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error:keyint=20",
          "-pix_fmt", "yuv420p10le"},
         AV_PIX_FMT_YUV420P10LE},
        {"h264-444.mp4",
         {"-c:v", "libx264", "-preset", "ultrafast", "-g", "15", "-pix_fmt", "yuv444p"},
         AV_PIX_FMT_YUV420P},
    };
    for (const Case& c : cases) {
        const QString path = IndexedClips::make(folder->path(), c.name, 40, c.arguments);
        ASSERT_FALSE(path.isEmpty()) << c.name;
        FFmpegPlayer player;
        player.replaceCurrentItem(QUrl::fromLocalFile(path));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player.status() == PlayerItemStatus::ReadyToPlay; }, 10000));
        for (std::int64_t frame : {0, 39, 17, 3, 21, 38}) {
            ASSERT_EQ(seekAndRead(player, frame * ticksPerFrame + 7), frame) << c.name;
            EXPECT_EQ(player.copyFrame(player.currentTime())->pixels.pixelFormat(), c.expected);
        }
    }
}

TEST_F(FFmpegPlayerTest, ASessionPlaysToTheEndAndKeepsTheLastFrame) {
    ASSERT_FALSE(h264Clip.isEmpty());
    auto session = makeSession();
    session->setMuted(false); // with or without a sound device, the picture must play
    auto load = session->load(QUrl::fromLocalFile(h264Clip), clipDuration(clipFrames), 2.0);
    ASSERT_TRUE(runUntilDone(load));
    ASSERT_EQ(errorOf(load), QString());
    EXPECT_EQ(shownIndex(*session), 59); // 2 s is frame 59.94, still frame 59 on screen

    for (int frame : {70, 0, 95, 33}) {
        session->seek(frame * 1001.0 / 30000.0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !session->isSeeking(); }, 15000));
        EXPECT_EQ(shownIndex(*session), frame);
    }
    session->seek(clipDuration(clipFrames) - 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session->isSeeking(); }, 15000));
    const qint64 framesBefore = session->decodedFrameCount();
    session->play();
    EXPECT_TRUE(session->isPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session->isPlaying(); }, 15000));
    EXPECT_FALSE(session->errorMessage().has_value());
    EXPECT_DOUBLE_EQ(session->time(), session->duration());
    EXPECT_EQ(shownIndex(*session), clipFrames - 1);
    EXPECT_NEAR(session->currentFrameTime(), (clipFrames - 1) * 1001.0 / 30000.0, 1e-6);
    EXPECT_GT(session->decodedFrameCount() - framesBefore, 10);

    // Play again from the end: it starts over from frame 0.
    session->play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->isPlaying(); }, 15000));
    EXPECT_LT(session->currentFrameTime(), 0.5);
    session->pause();
}

TEST_F(FFmpegPlayerTest, BrokenSourcesEndInAnErrorMessage) {
    auto session = makeSession();
    const QString soundOnly = IndexedClips::makeSoundOnly(folder->path(), "sound.m4a");
    auto noVideo = session->load(QUrl::fromLocalFile(soundOnly), 1, 0);
    ASSERT_TRUE(runUntilDone(noVideo));
    EXPECT_EQ(errorOf(noVideo), "This source has no video track.");
    EXPECT_EQ(session->errorMessage(), "This source has no video track.");

    auto missing = session->load(QUrl::fromLocalFile(folder->path() + "/absent.mp4"), 1, 0);
    ASSERT_TRUE(runUntilDone(missing));
    EXPECT_EQ(errorOf(missing), "No such file or directory");

    // Cut in the middle of its frames: the index is whole, the data is not.
    const QString cut = folder->path() + "/cut.mp4";
    ASSERT_TRUE(QFile::copy(h264Clip, cut));
    {
        QFile file(cut);
        ASSERT_TRUE(file.resize(file.size() * 6 / 10));
    }
    auto truncated = session->load(QUrl::fromLocalFile(cut), clipDuration(clipFrames), 0);
    ASSERT_TRUE(runUntilDone(truncated));
    ASSERT_EQ(errorOf(truncated), QString());
    session->seek(clipDuration(clipFrames) - 0.2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->errorMessage().has_value(); }, 20000));
    EXPECT_FALSE(session->isReady());
    EXPECT_FALSE(session->isSeeking());

    // Only the first bytes: not even the index can be read.
    const QString stub = folder->path() + "/stub.mp4";
    ASSERT_TRUE(QFile::copy(h264Clip, stub));
    {
        QFile file(stub);
        ASSERT_TRUE(file.resize(200));
    }
    auto unreadable = session->load(QUrl::fromLocalFile(stub), clipDuration(clipFrames), 0);
    ASSERT_TRUE(runUntilDone(unreadable));
    EXPECT_FALSE(errorOf(unreadable).isEmpty());
    EXPECT_EQ(session->errorMessage(), errorOf(unreadable));

    // Deleted while it plays.
    const QString doomed = folder->path() + "/doomed.mp4";
    ASSERT_TRUE(QFile::copy(h264Clip, doomed));
    auto playing = session->load(QUrl::fromLocalFile(doomed), clipDuration(clipFrames), 0);
    ASSERT_TRUE(runUntilDone(playing));
    ASSERT_EQ(errorOf(playing), QString());
    session->play();
    QTest::qWait(200);
    ASSERT_TRUE(QFile::remove(doomed));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->errorMessage().has_value(); }, 5000));
    EXPECT_EQ(session->errorMessage(), "No such file or directory");
    EXPECT_FALSE(session->isPlaying());
}

} // namespace
