// The preview engine over a scripted player and a renderer that only records, and the FFmpeg
// player on clips whose every frame shows its own index, alone and under the engine.
#include "model/UserError.h"
#include "preview/LivePreviewSession.h"
#include "preview/player/FFmpegHandles.h"
#include "preview/player/FFmpegPlayer.h"
#include "support/Clips.h"
#include "support/Printing.h"
#include "support/RecordingRenderer.h"
#include "support/ScriptedPlayer.h"
#include "support/Waiting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <random>

namespace {

using namespace std::chrono_literals;
using Status = PlayerItemStatus;
const double nan = std::nan("");
const QString cancelled = CancellationError().message();

// Every refresh tick asks for the item's status (at most twice), so the questions count ticks.
struct TickedPlayer final : ScriptedPlayer {
    mutable int polls = 0;
    PlayerItemStatus status() const override { return ++polls, ScriptedPlayer::status(); }
};

class Engine : public testing::Test {
protected:
    TickedPlayer* player = new TickedPlayer;
    std::shared_ptr<RecordingRenderer> renderer = std::make_shared<RecordingRenderer>();
    LivePreviewSession session{std::unique_ptr<Player>(player), [r = renderer] { return r; }};
    LivePreviewSession::Clock::time_point now{};

    void SetUp() override {
        session.setClock([this] { return now; });
    }
    QCoro::Task<> load(double duration = 10, double initialTime = 0, double frameDuration = 0) {
        return session.load(QUrl::fromLocalFile("/clip.mp4"), duration, initialTime, frameDuration);
    }
    void loadReady(double duration = 10) {
        auto task = load(duration);
        ASSERT_FALSE(player->seeks.empty());
        player->completeLast();
        ASSERT_EQ(Waiting::errorOf(task), QString());
        player->seeks.clear();
    }
    void waitForThreeTicks() {
        const int start = player->polls;
        ASSERT_TRUE(Waiting::until([&] { return player->polls >= start + 6; }));
    }
};

TEST_F(Engine, LoadWaitsForTheItemThenHandsTheFrameAtTheInitialTimeToTheRenderer) {
    EXPECT_TRUE(session.muted() && player->mutedFlag); // muted from the start
    session.setMuted(false);
    EXPECT_FALSE(player->mutedFlag);
    player->mutedFlag = true; // as a player whose new item starts muted

    player->tracks.nominalFrameRate = 25;
    player->statusOnOpen = Status::Unknown;
    player->hasFrame = false; // nothing decoded before the seek lands
    auto task = load(10, 4.2);
    Waiting::settle();
    EXPECT_TRUE(player->seeks.empty());
    player->changeStatus(Status::ReadyToPlay); // the signal, not a poll, wakes the load
    ASSERT_TRUE(Waiting::until([&] { return !player->seeks.empty(); }));
    EXPECT_EQ(player->seeks[0].target, MediaTime::make(252000, 60000));
    player->hasFrame = true;
    player->displayTime = MediaTime::make(4200, 1000);
    player->completeLast();
    ASSERT_EQ(Waiting::errorOf(task), QString());
    EXPECT_TRUE(session.isReady() && session.hasFrame() && !session.isSeeking());
    EXPECT_TRUE(renderer->shownCount == 1 && renderer->frameTime == 4.2);
    EXPECT_FALSE(session.muted() || player->mutedFlag);

    // Paused on a shown frame the ticks copy nothing, until the player has a new frame.
    const int copies = player->copies;
    waitForThreeTicks();
    EXPECT_EQ(player->copies, copies);
    player->newFrame = true;
    ASSERT_TRUE(Waiting::until([&] { return renderer->shownCount == 2; }));
    session.shutdown();
    EXPECT_FALSE(renderer->frameTime.has_value()) << "the renderer still holds the old frame";
}

TEST_F(Engine, TheGivenFrameDurationOrElseTheNominalRateSetsHowCloseASeekMustLand) {
    const std::tuple<float, double, double> rows[] = {
        {25, 0, 0.04},    {30, 0.1, 0.1},    {24, nan, 1 / 24.0},         {25, -1, 0.04},
        {0, 0, 1 / 30.0}, {-3, 0, 1 / 30.0}, {std::nanf(""), 0, 1 / 30.0}};
    for (auto [rate, given, expected] : rows) {
        SCOPED_TRACE(given);
        player->tracks.nominalFrameRate = rate;
        player->displayTime = MediaTime::fromSeconds(5 - 1.4 * expected, 600000);
        auto task = load(10, 5, given);
        player->completeLast();
        EXPECT_EQ(Waiting::finish(task, 5s), nullptr);
        EXPECT_DOUBLE_EQ(session.frameDuration(), expected);
        player->displayTime = MediaTime::fromSeconds(3 + 1.6 * expected, 600000);
        session.seek(3);
        player->completeLast();
        EXPECT_TRUE(session.isSeeking()) << "a frame one and a half frames off landed";
    }
}

TEST_F(Engine, FailuresOfTheItemOrTheRendererEndInTheErrorMessage) {
    loadReady();
    player->changeStatus(Status::Failed);
    EXPECT_EQ(session.errorMessage(), "This video could not be played.");
    loadReady();
    renderer->refusal = "Could not share the frame.";
    session.seek(1);
    player->completeLast();
    EXPECT_EQ(session.errorMessage(), "Could not share the frame.");
    EXPECT_FALSE(session.isReady());
    EXPECT_TRUE(renderer->frameTime.has_value()); // the last frame stays on screen
    auto refused = load();
    player->completeLast();
    EXPECT_EQ(Waiting::errorOf(refused), "Could not share the frame.");
}

TEST_F(Engine, TheTickEndsALoadAtItsDeadlineWhetherOpeningOrWaitingForTheFirstFrame) {
    player->statusOnOpen = Status::Unknown;
    auto opening = load();
    now += 20s - 1ms;
    waitForThreeTicks();
    EXPECT_FALSE(opening.isReady());
    now += 1ms;
    EXPECT_EQ(Waiting::errorOf(opening),
              "Timed out while opening this video. Check that the source drive is available.");

    player->statusOnOpen = Status::ReadyToPlay;
    player->hasFrame = false;
    auto firstFrame = load();
    player->completeLast(false); // the player gave the first seek up: no frame will come
    now += 20s - 1ms;
    waitForThreeTicks();
    EXPECT_FALSE(firstFrame.isReady());
    now += 1ms;
    EXPECT_EQ(Waiting::errorOf(firstFrame),
              "The video opened but did not produce a preview frame.");
}

TEST_F(Engine, ANewerLoadAShutdownOrTheSessionsEndCancelsAWaitingLoad) {
    player->statusOnOpen = Status::Unknown;
    auto first = load(10);
    player->statusOnOpen = Status::ReadyToPlay;
    auto second = load(8, 1);
    player->completeLast();
    EXPECT_EQ(Waiting::errorOf(first), cancelled);
    EXPECT_EQ(Waiting::errorOf(second), QString());
    EXPECT_DOUBLE_EQ(session.duration(), 8);

    player->statusOnOpen = Status::Unknown;
    auto third = load();
    session.shutdown();
    player->itemStatus = Status::Failed; // whatever the old item does now is ignored
    EXPECT_EQ(Waiting::errorOf(third), cancelled);
    EXPECT_FALSE(session.errorMessage().has_value());
    EXPECT_EQ(session.duration(), 0);

    auto doomed = std::make_unique<LivePreviewSession>(
        std::make_unique<ScriptedPlayer>(), [] { return std::make_shared<RecordingRenderer>(); });
    auto orphan = doomed->load(QUrl::fromLocalFile("/clip.mp4"), 10, 0);
    doomed.reset();
    EXPECT_EQ(Waiting::errorOf(orphan), cancelled);
}

TEST_F(Engine, SeeksAreClampedAndOnlyTheNewestLands) {
    loadReady(10);
    for (auto [asked, sent] :
         {std::pair{-5.0, 0.0}, {10.0, 10 - 1 / 30.0}, {1e12, 10 - 1 / 30.0}, {2.5, 2.5}}) {
        session.seek(asked);
        EXPECT_NEAR(player->lastSeekTarget(), sent, 1e-9) << asked;
    }
    session.seek(nan);
    session.seek(HUGE_VAL);
    EXPECT_TRUE(player->seeks.size() == 4 && session.time() == 2.5);

    session.seek(3);
    session.seek(5);
    player->complete(player->seeks.size() - 2, true); // superseded: no frame, no landing
    EXPECT_TRUE(renderer->shownCount == 1 && session.isSeeking());
    player->completeLast();
    EXPECT_FALSE(session.isSeeking());
    EXPECT_DOUBLE_EQ(session.currentFrameTime(), 5);

    // A seek the player gives up on ends the seek without resuming playback.
    session.play();
    session.seek(7);
    player->completeLast(false);
    EXPECT_FALSE(session.isSeeking() || session.isPlaying() || player->isPlaying());

    // A frame far from the target leaves the seek to the next new frame the tick finds.
    session.pause();
    session.seek(2);
    player->displayTime = MediaTime::make(1, 1);
    player->completeLast();
    EXPECT_TRUE(session.isSeeking());
    player->displayTime.reset();
    player->newFrame = true;
    ASSERT_TRUE(Waiting::until([&] { return !session.isSeeking(); }));
    EXPECT_DOUBLE_EQ(session.currentFrameTime(), 2);

    loadReady(0.02); // shorter than a frame: every seek goes to the start
    session.seek(0.5);
    EXPECT_EQ(player->lastSeekTarget(), 0.0);
}

TEST_F(Engine, PlaybackAskedForDuringASeekStartsWhenItLandsAndTheEndStartsOver) {
    loadReady(10);
    session.play();
    session.seek(4);
    session.togglePlayback(); // paused again before it lands
    player->completeLast();
    EXPECT_FALSE(session.isPlaying() || player->isPlaying());
    session.seek(6);
    session.play();
    EXPECT_FALSE(player->isPlaying());
    player->completeLast();
    EXPECT_TRUE(session.isPlaying() && player->isPlaying());

    player->reachEnd(9.99);
    EXPECT_FALSE(session.isPlaying());
    EXPECT_DOUBLE_EQ(session.time(), 10);
    const int plays = player->plays;
    session.play(); // from the end: back to frame 0 first
    EXPECT_TRUE(player->lastSeekTarget() == 0 && player->plays == plays);
    // End notifications during the seek, or from an item no longer current, change nothing.
    player->reachEnd(9.99);
    player->reachEnd(9.99, player->item + 7);
    EXPECT_DOUBLE_EQ(session.time(), 0);
    player->time = MediaTime::zero();
    player->completeLast();
    EXPECT_EQ(player->plays, plays + 1);
    player->reachEnd(5); // well before the duration: not the end
    EXPECT_TRUE(session.isPlaying());
}

TEST_F(Engine, ScrubbingHoldsTheDragsTimeAndResumesOnlyWhatWasPlaying) {
    loadReady(10);
    session.play();
    session.beginScrubbing();
    session.seek(3);
    player->completeLast();
    EXPECT_FALSE(session.isPlaying() || player->isPlaying());
    player->time = MediaTime::make(8, 1); // the player's clock must not move the drag
    waitForThreeTicks();
    EXPECT_DOUBLE_EQ(session.time(), 3);
    session.seek(4);
    session.endScrubbing();
    EXPECT_FALSE(session.isPlaying()); // waits for the seek in flight
    player->completeLast();
    EXPECT_TRUE(session.isPlaying());

    session.pause();
    session.beginScrubbing();
    session.seek(1);
    player->completeLast();
    session.endScrubbing();
    EXPECT_FALSE(session.isPlaying() || player->isPlaying());
}

TEST_F(Engine, WhileDraggingPicturesOnTheWayAreShownButOnlyTheExactFrameLands) {
    loadReady(10);
    session.beginScrubbing();
    EXPECT_TRUE(player->scrubbing);
    session.seek(5);
    const auto onTheWay = [&](double seconds) {
        player->provisional = PlayerFrame{VideoFrame(), MediaTime::fromSeconds(seconds, 600)};
    };
    onTheWay(4);
    ASSERT_TRUE(Waiting::until([&] { return renderer->frameTime == 4.0; }));
    EXPECT_DOUBLE_EQ(session.currentFrameTime(), 4);
    EXPECT_TRUE(session.isSeeking()) << "a picture on the way lands nothing";
    EXPECT_DOUBLE_EQ(session.time(), 5);
    player->displayTime = MediaTime::make(5, 1);
    player->completeLast();
    EXPECT_TRUE(!session.isSeeking() && renderer->frameTime == 5.0);
    session.endScrubbing();
    EXPECT_FALSE(player->scrubbing);

    // Outside a drag none is shown, even while a seek is on its way.
    session.seek(8);
    onTheWay(7);
    waitForThreeTicks();
    EXPECT_TRUE(session.isSeeking() && renderer->frameTime == 5.0);
    session.beginScrubbing();
    session.shutdown(); // and the player hears the drag is over
    EXPECT_FALSE(player->scrubbing);
}

TEST_F(Engine, ASeekThatNeverLandsFailsAfterItsDeadlineAndNothingRevivesTheSession) {
    loadReady(10);
    session.play();
    session.seek(4);
    now += 15s;
    waitForThreeTicks();
    EXPECT_FALSE(session.errorMessage().has_value()) << "failed at the deadline, not after it";
    now += 1ms;
    ASSERT_TRUE(Waiting::until([&] { return session.errorMessage().has_value(); }));
    EXPECT_EQ(session.errorMessage(), "Seeking timed out. Check that the source drive is "
                                      "available, then reopen the video.");
    EXPECT_FALSE(session.isSeeking() || session.isReady() || session.isPlaying());

    player->completeLast();
    session.seek(2);
    player->reachEnd(9.99);
    session.play();
    EXPECT_TRUE(renderer->shownCount == 1 && player->seeks.size() == 1);
    EXPECT_FALSE(session.isReady() || session.isSeeking() || session.isPlaying());
}

constexpr int frames = 96;
constexpr std::int64_t frameTicks = 2002; // one frame at 30000/1001 fps in 1/60000 s
constexpr double frameSeconds = 1001.0 / 30000;

QString path(const QString& name) {
    static const QTemporaryDir folder;
    return folder.filePath(name);
}
// H.264 with B-frames, a key frame every 24 frames, and sound.
const QString& clip() {
    static const QString made = Clips::indexed(
        path("h264.mp4"), frames,
        {"-c:v", "libx264", "-preset", "ultrafast", "-g", "24", "-bf", "3", "-pix_fmt", "yuv420p"},
        true);
    return made;
}

void open(FFmpegPlayer& player, const QString& file) {
    player.replaceCurrentItem(QUrl::fromLocalFile(file));
    ASSERT_TRUE(Waiting::until([&] { return player.status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(player.status(), PlayerItemStatus::ReadyToPlay) << player.itemError()->toStdString();
}

// The index of the frame copied at the target as the seek finishes; -2 when it did not finish.
int seekAndRead(FFmpegPlayer& player, MediaTime target, const std::function<void()>& then = {}) {
    auto index = std::make_shared<std::optional<int>>();
    player.seek(target, [index, &player, target](bool finished) {
        const auto frame = finished ? player.copyFrame(target) : std::nullopt;
        *index = frame ? Clips::indexOf(frame->pixels) : -2;
    });
    if (then)
        then();
    return Waiting::until([&] { return index->has_value(); }, 15s) ? **index : -2;
}

TEST(FFmpegPlayer, EveryExactSeekShowsTheFrameOnScreenAtItsTarget) {
    FFmpegPlayer player;
    ASSERT_NO_FATAL_FAILURE(open(player, clip()));
    // The first and last instants of frames, in 1/60000 s and the clip's own 1/30000 s; anywhere.
    std::vector<MediaTime> targets;
    for (std::int64_t f : {0, 5, 23, 24, 47, frames - 1})
        for (std::int64_t ticks : {f * frameTicks, (f + 1) * frameTicks - 1})
            targets.insert(targets.end(),
                           {MediaTime::make(ticks, 60000), MediaTime::make(ticks / 2, 30000)});
    std::mt19937 random(6);
    std::uniform_int_distribution<std::int64_t> anywhere(0, frames * frameTicks - 1);
    while (targets.size() < 200)
        targets.push_back(MediaTime::make(anywhere(random), 60000));
    for (const MediaTime& target : targets)
        ASSERT_EQ(seekAndRead(player, target),
                  int(target.value * 30000 / (std::int64_t(1001) * target.timescale)))
            << target.value << "/" << target.timescale;

    // While dragging only the newest target matters: the older ones report not finished.
    std::vector<std::optional<bool>> results(5);
    for (int i = 0; i < 5; ++i)
        player.seek(MediaTime::make((10 + 13 * i) * frameTicks, 60000),
                    [&results, i](bool finished) { results[std::size_t(i)] = finished; });
    ASSERT_TRUE(Waiting::until([&] { return results[4].has_value(); }, 15s));
    EXPECT_EQ(results, (std::vector<std::optional<bool>>{false, false, false, false, true}));

    // A frame taken before the seek reports back (as a refresh tick may) is the seek's own: the
    // landing keeps it rather than passing on to the frame after it.
    const MediaTime early = MediaTime::make(40 * frameTicks + 9, 60000);
    auto landed = std::make_shared<std::optional<int>>();
    player.seek(early, [&player, early, landed](bool) {
        *landed = Clips::indexOf(player.copyFrame(early)->pixels);
    });
    const auto spinUntil = [](const std::function<bool()>& condition) {
        QElapsedTimer clock; // the event loop must not run: the seek's report would come first
        clock.start();
        while (!condition() && clock.elapsed() < 15000) {
        }
    };
    spinUntil([&] { return player.hasNewFrame(early); });
    EXPECT_EQ(Clips::indexOf(player.copyFrame(early)->pixels), 40);
    spinUntil([&] { return player.hasNewFrame(MediaTime::make(3600, 1)); });
    ASSERT_TRUE(Waiting::until([&] { return landed->has_value(); }));
    EXPECT_EQ(**landed, 40);

    // While playing: it lands on the frame asked for and plays on from there.
    player.play();
    EXPECT_EQ(seekAndRead(player, MediaTime::make(30 * frameTicks, 60000)), 30);
    ASSERT_TRUE(Waiting::until([&] { return player.currentTime().seconds() > 32 * frameSeconds; }));
    EXPECT_GE(Clips::indexOf(player.copyFrame(player.currentTime())->pixels), 32);
}

TEST(FFmpegPlayer, ScrubbingOnwardsDecodesOnWhereItIsAndOffersPicturesOnTheWay) {
    FFmpegPlayer player;
    // One group of pictures: every seek from the start would decode from frame 0.
    ASSERT_NO_FATAL_FAILURE(
        open(player, Clips::indexed(path("one-gop.mp4"), 400,
                                    {"-c:v", "libx264", "-preset", "ultrafast", "-g", "400", "-bf",
                                     "2", "-pix_fmt", "yuv420p"})));
    player.setScrubbing(true);
    const auto at = [](int frame) { return MediaTime::make(frame * frameTicks + 5, 60000); };
    // Far in: back to the key frame, whose picture is offered while the rest decodes.
    std::optional<int> offered;
    bool landed = false;
    player.seek(at(390), [&](bool) { landed = true; });
    ASSERT_TRUE(Waiting::until([&] {
        if (auto provisional = player.takeProvisionalFrame())
            offered = Clips::indexOf(provisional->pixels);
        return landed;
    }));
    ASSERT_TRUE(offered.has_value());
    EXPECT_LT(*offered, 390);
    EXPECT_EQ(Clips::indexOf(player.copyFrame(at(390))->pixels), 390);
    // Onwards, a frame or a few at a time: from where the decoder is, never from the key frame.
    const qint64 seeks = player.keyFrameSeekCount();
    for (int frame : {390, 391, 391, 392, 395, 396, 399})
        ASSERT_EQ(seekAndRead(player, at(frame)), frame);
    EXPECT_EQ(player.keyFrameSeekCount(), seeks);
    ASSERT_EQ(seekAndRead(player, at(200)), 200); // backwards it goes back
    EXPECT_EQ(player.keyFrameSeekCount(), seeks + 1);
    // A target that comes before the first frame after a key frame has decoded: the work goes on
    // to that frame and the new target decodes on from it, instead of going back again (which,
    // with a hand faster than the decoder, showed nothing for the whole drag).
    player.seek(at(100), [](bool) {});
    QElapsedTimer spin;
    spin.start();
    while (player.keyFrameSeekCount() == seeks + 1 && spin.elapsed() < 5000) {
    }
    EXPECT_EQ(seekAndRead(player, at(190)), 190);
    EXPECT_EQ(player.keyFrameSeekCount(), seeks + 2);
    // Let go while the last target waits behind a seek under way: it decodes on from there too.
    player.seek(at(100), [](bool) {});
    spin.restart();
    while (player.keyFrameSeekCount() == seeks + 2 && spin.elapsed() < 5000) {
    }
    EXPECT_EQ(seekAndRead(player, at(105), [&] { player.setScrubbing(false); }), 105);
    EXPECT_EQ(player.keyFrameSeekCount(), seeks + 3);
    EXPECT_EQ(seekAndRead(player, at(201)), 201);
    EXPECT_FALSE(player.takeProvisionalFrame()) << "none offered outside a drag";
}

// Stands for the textures the preview makes of a frame: the frame's own index, pixels let go.
struct IndexedPicture final : PreparedPicture {
    explicit IndexedPicture(int index) : index(index) {}
    const int index;
};

TEST(FFmpegPlayer, WhileScrubbingTheFrameLandedOnIsKeptAsTheDisplayMadeIt) {
    FFmpegPlayer player;
    auto prepared = std::make_shared<std::atomic<int>>(0);
    // For each frame, whether its upload was allowed to wait for the display to let one go.
    struct Waits {
        std::mutex mutex;
        std::map<int, bool> byIndex;
        bool of(int index) {
            std::lock_guard lock(mutex);
            return byIndex.contains(index) && byIndex[index];
        }
        bool has(int index) {
            std::lock_guard lock(mutex);
            return byIndex.contains(index);
        }
    };
    auto waits = std::make_shared<Waits>();
    FramePreparer preparer;
    preparer.prepare = [prepared, waits](const VideoFrame& pixels, double,
                                         bool mayWait) -> std::shared_ptr<const PreparedPicture> {
        ++*prepared;
        const int index = Clips::indexOf(pixels);
        std::lock_guard lock(waits->mutex);
        waits->byIndex[index] = waits->byIndex[index] || mayWait;
        return std::make_shared<IndexedPicture>(index);
    };
    player.setFramePreparer(preparer);
    ASSERT_NO_FATAL_FAILURE(open(player, clip()));
    player.setScrubbing(true);
    const auto shownAt = [&player](int frame) {
        const MediaTime target = MediaTime::make(frame * frameTicks + 5, 60000);
        auto shown = std::make_shared<std::optional<int>>();
        player.seek(target, [shown, &player, target](bool finished) {
            const auto copied = finished ? player.copyFrame(target) : std::nullopt;
            const auto* picture =
                copied ? dynamic_cast<const IndexedPicture*>(copied->pixels.prepared().get())
                       : nullptr;
            *shown = picture && !copied->pixels.plane(0) ? picture->index : -2;
        });
        return Waiting::until([&] { return shown->has_value(); }, 15s) ? **shown : -2;
    };
    ASSERT_EQ(shownAt(30), 30);
    // The hand comes back within that frame: the picture made when it landed is shown again, and
    // nothing is made anew: the frame after it waits, decoded, until the thumb is let go there.
    // (Kept as the decoded frame, the one landed on held one of the decoder's buffers, a whole
    // picture of memory, for as long as the drag went on.)
    const int before = *prepared;
    ASSERT_EQ(shownAt(30), 30);
    EXPECT_EQ(*prepared - before, 0);
    ASSERT_EQ(shownAt(31), 31);
    // Let go there, playing goes on from the frame after it. The one after that is made while
    // that one waits to be drawn, which lets go of a frame: it may wait for it rather than make
    // textures beyond those reserved.
    player.setScrubbing(false);
    ASSERT_TRUE(Waiting::until([&] { return waits->has(33); }, 15s));
    EXPECT_TRUE(waits->of(33));
    const MediaTime after = MediaTime::make(32 * frameTicks + 5, 60000);
    ASSERT_TRUE(Waiting::until([&] { return player.hasNewFrame(after); }, 15s));
    const auto next = player.copyFrame(after);
    const auto* picture =
        next ? dynamic_cast<const IndexedPicture*>(next->pixels.prepared().get()) : nullptr;
    EXPECT_EQ(picture ? picture->index : -1, 32);
    // The display lets go of a frame only as it draws the next: the frames it was to draw next
    // never wait for it, or the wait would always run out.
    EXPECT_FALSE(waits->of(30) || waits->of(31) || waits->of(32));
    player.play();
    // Taking the frames as they come due makes room for more, which may wait.
    EXPECT_TRUE(Waiting::until(
        [&] {
            const auto taken = player.copyFrame(player.currentTime());
            const auto* shown =
                taken ? dynamic_cast<const IndexedPicture*>(taken->pixels.prepared().get())
                      : nullptr;
            return shown && shown->index > 34 && waits->of(shown->index);
        },
        15s));
}

TEST(FFmpegPlayer, TenBitHEVCAndFourFourFourH264SeekExactlyAndArriveAsFourTwoZero) {
    for (auto [name, arguments, delivered] :
         {std::tuple{"hevc10.mp4",
                     QStringList{"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                 "log-level=error:keyint=20", "-pix_fmt", "yuv420p10le"},
                     AV_PIX_FMT_YUV420P10LE},
          {"h264-444.mp4",
           {"-c:v", "libx264", "-preset", "ultrafast", "-g", "15", "-pix_fmt", "yuv444p"},
           AV_PIX_FMT_YUV420P}}) {
        FFmpegPlayer player;
        ASSERT_NO_FATAL_FAILURE(open(player, Clips::indexed(path(name), 40, arguments)));
        for (std::int64_t frame : {0, 39, 17, 3, 21, 38}) {
            const MediaTime target = MediaTime::make(frame * frameTicks + 7, 60000);
            ASSERT_EQ(seekAndRead(player, target), frame) << name;
            EXPECT_EQ(player.copyFrame(target)->pixels.pixelFormat(), delivered) << name;
        }
    }
}

TEST(FFmpegPlayer, UnderTheEngineItPlaysToTheEndAndKeepsTheLastFrame) {
    auto renderer = std::make_shared<RecordingRenderer>();
    auto session = std::make_unique<LivePreviewSession>(std::make_unique<FFmpegPlayer>(),
                                                        [renderer] { return renderer; });
    session->setMuted(false); // with or without a sound device, the picture must play
    auto load = session->load(QUrl::fromLocalFile(clip()), frames * frameSeconds, 2.0);
    ASSERT_EQ(Waiting::errorOf(load), QString());
    EXPECT_EQ(Clips::indexOf(renderer->pixels), 59); // 2 s falls in frame 59
    const int shown = renderer->shownCount;
    session->play();
    ASSERT_TRUE(Waiting::until([&] { return !session->isPlaying(); }));
    EXPECT_FALSE(session->errorMessage().has_value());
    EXPECT_DOUBLE_EQ(session->time(), session->duration());
    EXPECT_EQ(Clips::indexOf(renderer->pixels), frames - 1);
    EXPECT_NEAR(renderer->frameTime.value_or(0), (frames - 1) * frameSeconds, 1e-6);
    EXPECT_GT(renderer->shownCount - shown, 20);
}

// A newer seek gives up the read in progress, which may hand out a cut packet and leaves the byte
// stream marked as ended; the seek that follows must read on, wherever the read was cut.
TEST(FFmpegInput, AReadGivenUpForANewerSeekLeavesTheInputReadableAfterTheSeek) {
    // Key frames far larger than the read buffer between small ones, so that a read can be cut
    // inside a packet that began in the buffer.
    const QString noisy = Clips::ffmpeg(
        path("noisy.mp4"), {"-f", "lavfi", "-i", "testsrc2=s=320x160:r=30:d=1,noise=alls=80",
                            "-c:v", "libx264", "-preset", "ultrafast", "-qp", "4", "-g", "5"});
    QString error;
    std::vector<std::int64_t> times;
    ffmpeg::Packet packet(av_packet_alloc());
    {
        const auto whole = ffmpeg::openInput(noisy, error, [] { return false; });
        ASSERT_TRUE(whole) << error.toStdString();
        while (av_read_frame(whole.get(), packet.get()) >= 0) {
            times.push_back(packet->pts);
            av_packet_unref(packet.get());
        }
    }
    int cutPackets = 0;
    for (int reads = 1; reads < 24; ++reads) {
        for (std::size_t target = 0; target < times.size(); ++target) {
            int asked = 0;
            bool newerSeek = true;
            const auto input =
                ffmpeg::openInput(noisy, error, [&] { return newerSeek && ++asked > reads; });
            if (!input)
                continue; // given up while opening
            while (av_read_frame(input.get(), packet.get()) >= 0) {
                const bool cut = packet->flags & AV_PKT_FLAG_CORRUPT;
                av_packet_unref(packet.get());
                if (cut) {
                    ++cutPackets;
                    break;
                }
            }
            newerSeek = false;
            SCOPED_TRACE(testing::Message()
                         << "given up after " << reads << ", seek to " << times[target]);
            EXPECT_EQ(ffmpeg::takeInterruption(input.get()), asked > reads);
            EXPECT_FALSE(ffmpeg::takeInterruption(input.get()));
            ASSERT_GE(av_seek_frame(input.get(), 0, times[target], AVSEEK_FLAG_BACKWARD), 0);
            ASSERT_GE(av_read_frame(input.get(), packet.get()), 0);
            EXPECT_LE(packet->pts, times[target]);
            av_packet_unref(packet.get());
        }
    }
    EXPECT_GT(cutPackets, 0);
}

TEST(FFmpegPlayer, FilesThatCannotBePlayedEndInAMessage) {
    const QString sound = Clips::ffmpeg(
        path("sound.m4a"), {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac"});
    const QString stub = path("stub.mp4");
    ASSERT_TRUE(QFile::copy(clip(), stub) && QFile(stub).resize(200));
    ASSERT_TRUE(QDir().mkdir(path("clip.mov")));
    auto session = std::make_unique<LivePreviewSession>(
        std::make_unique<FFmpegPlayer>(), [] { return std::make_shared<RecordingRenderer>(); });
    // Only sound, not even the index, missing, not a file: each with its message, if it has one.
    const std::pair<QString, QString> rows[] = {
        {sound, {}},
        {stub, {}},
        {path("absent.mp4"),
         "The file “absent.mp4” couldn’t be opened because there is no such file."},
        {path("clip.mov"), "The file “clip.mov” is not a movie file."}};
    for (auto [file, message] : rows) {
        auto load = session->load(QUrl::fromLocalFile(file), 3, 0);
        const QString error = Waiting::errorOf(load);
        EXPECT_TRUE(message.isEmpty() ? !error.isEmpty() : error == message) << error.toStdString();
        EXPECT_EQ(session->errorMessage(), error);
    }

    // Cut in the middle of its frames: the index is whole, the data is not.
    const QString cut = path("cut.mp4");
    ASSERT_TRUE(QFile::copy(clip(), cut) && QFile(cut).resize(QFile(cut).size() * 6 / 10));
    auto truncated = session->load(QUrl::fromLocalFile(cut), frames * frameSeconds, 0);
    ASSERT_EQ(Waiting::errorOf(truncated), QString());
    session->seek(frames * frameSeconds - 0.2);
    ASSERT_TRUE(Waiting::until([&] { return session->errorMessage().has_value(); }));
    EXPECT_FALSE(session->isReady() || session->isSeeking());

    const QString doomed = path("doomed.mp4"); // deleted while it plays
    ASSERT_TRUE(QFile::copy(clip(), doomed));
    auto playing = session->load(QUrl::fromLocalFile(doomed), frames * frameSeconds, 0);
    ASSERT_EQ(Waiting::errorOf(playing), QString());
    session->play();
    ASSERT_TRUE(Waiting::until([&] { return session->time() > 0.2; }));
    ASSERT_TRUE(QFile::remove(doomed));
    ASSERT_TRUE(Waiting::until([&] { return session->errorMessage().has_value(); }));
    EXPECT_EQ(session->errorMessage(), "The video file was moved or deleted while it was open. "
                                       "Check that the source drive is available, then reopen "
                                       "the video.");
    EXPECT_FALSE(session->isPlaying());
}

} // namespace
