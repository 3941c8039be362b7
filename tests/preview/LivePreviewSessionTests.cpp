#include "QtTestApp.h"
#include "ScriptedPlayer.h"

#include "model/UserError.h"
#include "preview/LivePreviewSession.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

class CountingConsumer : public QObject, public LivePreviewFrameConsumer {
public:
    int calls = 0;
    void previewFrameDidChange() override { ++calls; }
};

class LivePreviewSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        auto owned = std::make_unique<ScriptedPlayer>();
        player = owned.get();
        session = std::make_unique<LivePreviewSession>(
            [this] {
                auto made = std::make_unique<WrappingRenderer>();
                renderer = made.get();
                return made;
            },
            std::move(owned));
        session->setClock([this] { return now; });
        consumerId = session->registerConsumer(&consumer);
    }

    // Loads a 10 s clip at initialTime through the scripted player and lands the first seek.
    void loadReady(double initialTime = 0, double duration = 10) {
        auto task = session->load(QUrl::fromLocalFile("/clip.mp4"), duration, initialTime);
        ASSERT_EQ(player->seeks.size(), 1u);
        player->completeLast(true);
        ASSERT_TRUE(runUntilDone(task));
        ASSERT_EQ(errorOf(task), QString());
        player->seeks.clear();
    }

    std::unique_ptr<LivePreviewSession> session;
    ScriptedPlayer* player = nullptr;
    WrappingRenderer* renderer = nullptr;
    CountingConsumer consumer;
    QUuid consumerId;
    LivePreviewSession::Clock::time_point now{};
};

TEST_F(LivePreviewSessionTest, RefusesUnusableDurationsWithoutTouchingTheErrorMessage) {
    for (double duration : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        auto task = session->load(QUrl::fromLocalFile("/clip.mp4"), duration, 0);
        ASSERT_TRUE(task.isReady());
        EXPECT_EQ(errorOf(task), "This video has no usable duration.");
        EXPECT_FALSE(session->errorMessage().has_value());
    }
    auto tiny = session->load(QUrl::fromLocalFile("/clip.mp4"),
                              std::numeric_limits<double>::denorm_min(), 0);
    player->completeLast(true);
    ASSERT_TRUE(runUntilDone(tiny));
    EXPECT_EQ(errorOf(tiny), QString());
    EXPECT_EQ(player->seeks.back().target.seconds(), 0.0);
}

TEST(LivePreviewSessionRenderer, AMissingOrFailedRendererRefusesEveryLoad) {
    ensureApplication();
    LivePreviewSession without({}, std::make_unique<ScriptedPlayer>());
    auto task = without.load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    EXPECT_EQ(errorOf(task), "Metal is unavailable on this Mac.");

    LivePreviewSession failed(
        []() -> std::unique_ptr<PreviewRenderer> {
            throw PreviewError("This Mac could not create a Metal preview renderer.");
        },
        std::make_unique<ScriptedPlayer>());
    EXPECT_EQ(failed.errorMessage(), "This Mac could not create a Metal preview renderer.");
    auto refused = failed.load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    EXPECT_EQ(errorOf(refused), "This Mac could not create a Metal preview renderer.");
    EXPECT_EQ(failed.renderer(), nullptr);
}

TEST_F(LivePreviewSessionTest, LoadWaitsForTheItemThenShowsTheFrameAtTheInitialTime) {
    player->tracks.nominalFrameRate = 25;
    player->statusOnOpen = PlayerItemStatus::Unknown;
    const int before = consumer.calls;
    auto task = session->load(QUrl::fromLocalFile("/clip.mp4"), 10, 4.2);
    QTest::qWait(70);
    EXPECT_FALSE(task.isReady());
    EXPECT_TRUE(player->seeks.empty());
    player->hasFrame = false; // nothing decoded before the seek lands
    player->itemStatus = PlayerItemStatus::ReadyToPlay;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->seeks.empty(); }, 1000));
    player->hasFrame = true;
    EXPECT_EQ(player->seeks[0].target, MediaTime::make(252000, 60000));
    EXPECT_TRUE(session->isSeeking());
    player->displayTime = MediaTime::make(4200, 1000);
    player->completeLast(true);
    ASSERT_TRUE(runUntilDone(task));
    EXPECT_EQ(errorOf(task), QString());
    EXPECT_DOUBLE_EQ(session->frameDuration(), 0.04);
    EXPECT_TRUE(session->isReady());
    EXPECT_FALSE(session->isSeeking());
    EXPECT_DOUBLE_EQ(session->currentFrameTime(), 4.2);
    EXPECT_EQ(session->decodedFrameCount(), 1);
    EXPECT_DOUBLE_EQ(session->currentFrame()->time(), 4.2);
    EXPECT_DOUBLE_EQ(session->duration(), 10);
    EXPECT_EQ(consumer.calls, before + 2); // the load's shutdown, then the frame

    // Paused on a shown frame, an unforced acquisition (the tick) changes nothing.
    QTest::qWait(100);
    EXPECT_EQ(session->decodedFrameCount(), 1);
    EXPECT_EQ(consumer.calls, before + 2);
}

TEST_F(LivePreviewSessionTest, FrameRateFallsBackAndFailuresReachTheErrorMessage) {
    for (float rate : {0.0f, -3.0f, std::nanf("")}) {
        player->tracks.nominalFrameRate = rate;
        loadReady();
        EXPECT_DOUBLE_EQ(session->frameDuration(), 1.0 / 30.0);
    }
    player->tracks.videoTrackCount = 0;
    auto audioOnly = session->load(QUrl::fromLocalFile("/song.m4a"), 10, 0);
    EXPECT_EQ(errorOf(audioOnly), "This source has no video track.");
    EXPECT_EQ(session->errorMessage(), "This source has no video track.");

    player->tracks = {QStringLiteral("Invalid data found when processing input"), 0, 0, 0};
    auto unreadable = session->load(QUrl::fromLocalFile("/broken.mp4"), 10, 0);
    EXPECT_EQ(errorOf(unreadable), "Invalid data found when processing input");
    EXPECT_EQ(session->errorMessage(), "Invalid data found when processing input");

    player->tracks = {std::nullopt, 1, 0, 30};
    player->statusOnOpen = PlayerItemStatus::Failed;
    auto failed = session->load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    ASSERT_TRUE(runUntilDone(failed));
    EXPECT_EQ(errorOf(failed), "This video could not be played.");
    EXPECT_EQ(session->errorMessage(), "This video could not be played.");
    EXPECT_FALSE(session->isReady());
}

TEST_F(LivePreviewSessionTest, TheLoadDeadlineCoversOpeningAndTheFirstFrame) {
    player->statusOnOpen = PlayerItemStatus::Unknown;
    auto opening = session->load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    QTest::qWait(50);
    now += std::chrono::seconds(20);
    ASSERT_TRUE(runUntilDone(opening));
    EXPECT_EQ(errorOf(opening),
              "Timed out while opening this video. Check that the source drive is available.");
    EXPECT_EQ(session->errorMessage(), errorOf(opening));

    player->statusOnOpen = PlayerItemStatus::ReadyToPlay;
    player->hasFrame = false;
    auto firstFrame = session->load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    EXPECT_FALSE(session->errorMessage().has_value());
    player->completeLast(false); // the player gave the first seek up: no frame will come
    QTest::qWait(50);
    now += std::chrono::milliseconds(19999);
    QTest::qWait(50);
    EXPECT_FALSE(firstFrame.isReady());
    now += std::chrono::milliseconds(1);
    ASSERT_TRUE(runUntilDone(firstFrame));
    EXPECT_EQ(errorOf(firstFrame), "The video opened but did not produce a preview frame.");

    // A seek that lands no frame runs into its own, shorter timeout first.
    player->hasFrame = false;
    auto seeking = session->load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    player->completeLast(true);
    now += std::chrono::milliseconds(15001);
    ASSERT_TRUE(runUntilDone(seeking));
    EXPECT_EQ(errorOf(seeking), "Seeking timed out. Check that the source drive is available, "
                                "then reopen the video.");
}

TEST_F(LivePreviewSessionTest, ANewerLoadOrAShutdownCancelsTheWaitingLoadWithoutFailing) {
    player->statusOnOpen = PlayerItemStatus::Unknown;
    auto first = session->load(QUrl::fromLocalFile("/a.mp4"), 10, 0);
    QTest::qWait(30);
    player->statusOnOpen = PlayerItemStatus::ReadyToPlay;
    player->tracks.nominalFrameRate = 25;
    auto second = session->load(QUrl::fromLocalFile("/b.mp4"), 8, 1);
    player->completeLast(true);
    ASSERT_TRUE(runUntilDone(first));
    ASSERT_TRUE(runUntilDone(second));
    EXPECT_EQ(errorOf(first), CancellationError().message());
    EXPECT_EQ(errorOf(second), QString());
    EXPECT_FALSE(session->errorMessage().has_value());
    EXPECT_DOUBLE_EQ(session->duration(), 8);
    EXPECT_DOUBLE_EQ(session->frameDuration(), 0.04);

    player->statusOnOpen = PlayerItemStatus::Unknown;
    auto third = session->load(QUrl::fromLocalFile("/c.mp4"), 10, 0);
    const int before = consumer.calls;
    session->shutdown();
    EXPECT_EQ(consumer.calls, before + 1);
    player->itemStatus = PlayerItemStatus::Failed; // whatever the old item does now is ignored
    ASSERT_TRUE(runUntilDone(third));
    EXPECT_EQ(errorOf(third), CancellationError().message());
    EXPECT_FALSE(session->errorMessage().has_value());
    EXPECT_EQ(session->time(), 0);
    EXPECT_EQ(session->duration(), 0);
    EXPECT_EQ(session->decodedFrameCount(), 0);
    EXPECT_EQ(session->currentFrame(), nullptr);
}

TEST_F(LivePreviewSessionTest, SeeksAreClampedAndOnlyTheNewestCanLand) {
    loadReady(0, 10);
    session->seek(-5);
    EXPECT_EQ(player->seeks.back().target.seconds(), 0.0);
    session->seek(10);
    EXPECT_DOUBLE_EQ(player->seeks.back().target.seconds(), 10 - 1.0 / 30.0);
    const double timeBefore = session->time();
    session->seek(std::nan(""));
    session->seek(std::numeric_limits<double>::infinity());
    EXPECT_EQ(player->seeks.size(), 2u);
    EXPECT_EQ(session->time(), timeBefore);

    session->seek(3);
    session->seek(5);
    const qint64 frames = session->decodedFrameCount();
    player->complete(2, true); // superseded: no frame, no landing
    EXPECT_EQ(session->decodedFrameCount(), frames);
    EXPECT_TRUE(session->isSeeking());
    player->complete(3, true);
    EXPECT_FALSE(session->isSeeking());
    EXPECT_DOUBLE_EQ(session->time(), 5);
    EXPECT_DOUBLE_EQ(session->currentFrameTime(), 5);

    // A seek the player gives up on ends the seek without resuming playback.
    session->play();
    session->seek(7);
    player->completeLast(false);
    EXPECT_FALSE(session->isSeeking());
    EXPECT_FALSE(session->isPlaying());
    EXPECT_EQ(player->control, PlayerTimeControl::Paused);

    // A landed frame too far from the target leaves the seek pending for the ticks.
    session->pause();
    session->seek(2);
    player->displayTime = MediaTime::make(1, 1);
    player->completeLast(true);
    EXPECT_TRUE(session->isSeeking());
    player->displayTime.reset();
    player->newFrame = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session->isSeeking(); }, 1000));
}

TEST_F(LivePreviewSessionTest, TinyDurationsSeekToZero) {
    loadReady(0, 0.02);
    session->seek(0.5);
    EXPECT_EQ(player->seeks.back().target.seconds(), 0.0);
}

TEST_F(LivePreviewSessionTest, PlayingFromTheEndRestartsOnceFrameZeroIsShown) {
    session->play();
    EXPECT_EQ(player->plays, 0); // nothing loaded
    loadReady(0, 10);
    session->play();
    EXPECT_TRUE(session->isPlaying());
    player->time = MediaTime::make(9, 1);
    player->reachEnd(9.99);
    EXPECT_FALSE(session->isPlaying());
    EXPECT_DOUBLE_EQ(session->time(), 10);

    const int plays = player->plays;
    session->play();
    ASSERT_EQ(player->seeks.size(), 1u);
    EXPECT_EQ(player->seeks[0].target.seconds(), 0.0);
    EXPECT_EQ(player->plays, plays);
    EXPECT_FALSE(session->isPlaying());

    // End notifications during the seek, or from an item no longer current, change nothing.
    player->reachEnd(9.99);
    player->reachEnd(9.99, player->item + 7);
    EXPECT_TRUE(session->isSeeking());
    EXPECT_DOUBLE_EQ(session->time(), 0);

    player->time = MediaTime::zero();
    player->completeLast(true);
    EXPECT_EQ(player->plays, plays + 1);
    EXPECT_TRUE(session->isPlaying());
    EXPECT_DOUBLE_EQ(session->currentFrameTime(), 0);

    // An end reported well before the duration is not the end.
    player->reachEnd(5);
    EXPECT_TRUE(session->isPlaying());
}

TEST_F(LivePreviewSessionTest, TogglingDuringASeekKeepsItPausedWhenItLands) {
    loadReady(0, 10);
    session->play();
    session->seek(4);
    EXPECT_FALSE(session->isPlaying());
    session->togglePlayback();
    const int plays = player->plays;
    player->completeLast(true);
    EXPECT_EQ(player->plays, plays);
    EXPECT_FALSE(session->isPlaying());

    session->seek(6);
    session->play(); // only recorded while the seek is in flight
    EXPECT_EQ(player->plays, plays);
    player->completeLast(true);
    EXPECT_EQ(player->plays, plays + 1);
}

TEST_F(LivePreviewSessionTest, ScrubbingResumesOnlyWhatWasPlaying) {
    session->endScrubbing(); // without a drag: nothing
    loadReady(0, 10);
    session->play();
    session->beginScrubbing();
    session->beginScrubbing();
    EXPECT_FALSE(session->isPlaying());
    session->seek(2);
    player->completeLast(true);
    EXPECT_EQ(player->control, PlayerTimeControl::Paused);
    session->seek(3);
    player->time = MediaTime::make(8, 1); // what the player says must not move the drag
    QTest::qWait(80);
    EXPECT_DOUBLE_EQ(session->time(), 3);
    player->time = MediaTime::make(3, 1);
    session->endScrubbing();
    EXPECT_FALSE(session->isPlaying()); // waits for the seek in flight
    player->completeLast(true);
    EXPECT_TRUE(session->isPlaying());

    session->pause();
    session->beginScrubbing();
    session->seek(1);
    player->completeLast(true);
    session->endScrubbing();
    EXPECT_FALSE(session->isPlaying());
    EXPECT_EQ(player->control, PlayerTimeControl::Paused);
}

TEST_F(LivePreviewSessionTest, ASeekThatNeverLandsTimesOutAndTheSessionStaysFailed) {
    loadReady(0, 10);
    session->play();
    session->seek(4);
    now += std::chrono::seconds(15);
    QTest::qWait(80);
    EXPECT_FALSE(session->errorMessage().has_value()); // not later than the deadline yet
    now += std::chrono::milliseconds(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->errorMessage().has_value(); }, 1000));
    EXPECT_EQ(session->errorMessage(),
              "Seeking timed out. Check that the source drive is available, then reopen the "
              "video.");
    EXPECT_FALSE(session->isSeeking());
    EXPECT_FALSE(session->isReady());
    EXPECT_FALSE(session->isPlaying());

    // The late completion of that seek, a new seek or an end must not revive a failed session.
    const qint64 frames = session->decodedFrameCount();
    player->completeLast(true);
    session->seek(2);
    player->reachEnd(9.99);
    session->play();
    QTest::qWait(80);
    EXPECT_EQ(session->decodedFrameCount(), frames);
    EXPECT_FALSE(session->isReady());
    EXPECT_FALSE(session->isSeeking());
    EXPECT_FALSE(session->isPlaying());
}

TEST_F(LivePreviewSessionTest, ItemAndRendererFailuresEndInTheErrorMessage) {
    loadReady(0, 10);
    player->error = QStringLiteral("Old item");
    emit player->itemStatusChanged(player->item + 1); // an item no longer current
    QTest::qWait(80);
    EXPECT_FALSE(session->errorMessage().has_value());
    player->error.reset();
    player->itemStatus = PlayerItemStatus::Failed;
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->errorMessage().has_value(); }, 1000));
    EXPECT_EQ(session->errorMessage(), "Playback failed."); // seen by the tick, no error text

    loadReady(0, 10);
    player->changeStatus(PlayerItemStatus::Failed);
    EXPECT_EQ(session->errorMessage(), "This video could not be played.");

    loadReady(0, 10);
    renderer->refusal = QStringLiteral("Could not share the decoded video frame with OpenGL (0).");
    session->seek(1);
    player->completeLast(true);
    EXPECT_EQ(session->errorMessage(), "Could not share the decoded video frame with OpenGL (0).");
    EXPECT_FALSE(session->isReady());
    EXPECT_NE(session->currentFrame(), nullptr); // the last frame stays on screen
}

TEST_F(LivePreviewSessionTest, MutedIsAppliedAtOnceAndSurvivesALoad) {
    EXPECT_TRUE(session->muted());
    EXPECT_TRUE(player->mutedFlag);
    int changes = 0;
    QObject::connect(session.get(), &LivePreviewSession::mutedChanged, [&] { ++changes; });
    session->setMuted(false);
    session->setMuted(false);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(player->mutedFlag);
    loadReady();
    EXPECT_FALSE(session->muted());
    EXPECT_FALSE(player->mutedFlag);
}

TEST_F(LivePreviewSessionTest, ConsumersAreHeldWeakly) {
    auto doomed = std::make_unique<CountingConsumer>();
    session->registerConsumer(doomed.get());
    CountingConsumer removed;
    const QUuid removedId = session->registerConsumer(&removed);
    session->unregisterConsumer(removedId);
    session->unregisterConsumer(QUuid::createUuid());
    doomed.reset(); // would crash the next notification if it were still called
    session->shutdown();
    EXPECT_EQ(removed.calls, 0);
    EXPECT_EQ(consumer.calls, 1);

    int fresh = 0;
    QObject::connect(session.get(), &LivePreviewSession::timeChanged, [&] { ++fresh; });
    session->shutdown(); // a second shutdown still notifies, and changes no property
    EXPECT_EQ(consumer.calls, 2);
    EXPECT_EQ(fresh, 0);
}

} // namespace
