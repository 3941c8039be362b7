#include "ui/PlaybackControls.h"

#include "UiTestSupport.h"
#include "model/UserError.h"
#include "preview/LivePreviewSession.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <cmath>

namespace {

class PlaybackControlsTest : public testing::Test {
protected:
    LivePreviewSession preview{makeTimeOnlyRenderer};
    PlaybackControls controls{preview};

    // Opens the shared three-second clip two seconds in, as opening a source does.
    void load() {
        EXPECT_EQ(finish(preview.load(QUrl::fromLocalFile(cachedSampleClip()), 3.0, 2.0)), nullptr);
        ASSERT_TRUE(preview.isReady());
    }

    double sliderSeconds() const {
        const QSlider* slider = controls.positionSlider();
        return controls.sliderUpperBound() * slider->value() / slider->maximum();
    }
};

TEST_F(PlaybackControlsTest, NothingPlaysUntilAReadySourceIsAllowed) {
    EXPECT_EQ(controls.timeText()->text(), QStringLiteral("0:00 / 0:00"));
    EXPECT_DOUBLE_EQ(controls.sliderUpperBound(), 0.001);
    EXPECT_GT(controls.positionSlider()->maximum(), controls.positionSlider()->minimum());
    // The preview starts muted.
    EXPECT_EQ(controls.muteButton()->text(), QStringLiteral("Unmute"));
    EXPECT_EQ(controls.playButton()->text(), QStringLiteral("Play"));
    EXPECT_TRUE(controls.errorLine()->isHidden());

    auto usable = [&] {
        return std::array{controls.playButton()->isEnabled(),
                          controls.positionSlider()->isEnabled(),
                          controls.muteButton()->isEnabled()};
    };
    EXPECT_EQ(usable(), (std::array{false, false, false}));
    controls.setControlsEnabled(true);
    EXPECT_EQ(usable(), (std::array{false, false, false})) << "the preview is not ready yet";

    load();
    EXPECT_EQ(usable(), (std::array{true, true, true}));
    EXPECT_EQ(controls.timeText()->text(), QStringLiteral("0:02 / 0:03"));
    EXPECT_NEAR(sliderSeconds(), 2.0, 0.002);
    controls.setControlsEnabled(false);
    EXPECT_EQ(usable(), (std::array{false, false, false}));
    EXPECT_FALSE(controls.timeText()->isHidden());
    EXPECT_TRUE(controls.timeText()->isEnabled()) << "the time text is never disabled";
}

TEST_F(PlaybackControlsTest, ButtonsFollowTheEngine) {
    controls.setControlsEnabled(true);
    load();
    controls.muteButton()->click();
    EXPECT_FALSE(preview.muted());
    EXPECT_EQ(controls.muteButton()->text(), QStringLiteral("Mute"));
    controls.muteButton()->click();
    EXPECT_TRUE(preview.muted());

    preview.seek(0);
    ASSERT_TRUE(waitUntil([&] { return !preview.isSeeking() && preview.time() < 0.1; }));
    controls.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));
    EXPECT_EQ(controls.playButton()->text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitUntil([&] { return preview.time() >= 1.0; }));
    EXPECT_EQ(controls.timeText()->text().left(4), QStringLiteral("0:01"));
    controls.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !preview.isPlaying(); }));
    EXPECT_EQ(controls.playButton()->text(), QStringLiteral("Play"));
}

TEST_F(PlaybackControlsTest, DraggingShowsTheThumbAndReleasingFollowsTheEngineAgain) {
    controls.setControlsEnabled(true);
    load();
    QSlider* slider = controls.positionSlider();

    slider->setSliderDown(true);
    EXPECT_TRUE(controls.scrubbing());
    EXPECT_DOUBLE_EQ(controls.scrubPosition(), preview.time()) << "the thumb must not jump";

    slider->setValue(slider->maximum() / 3 + 1); // just past one second
    EXPECT_NEAR(controls.scrubPosition(), 1.0, 0.002);
    // The text follows the thumb at once, whatever the engine's time is meanwhile.
    EXPECT_EQ(controls.timeText()->text(), QStringLiteral("0:01 / 0:03"));
    slider->setValue(slider->maximum() / 6);
    EXPECT_EQ(controls.timeText()->text(), QStringLiteral("0:00 / 0:03"));
    EXPECT_EQ(controls.displayedPosition(), controls.scrubPosition());

    slider->setSliderDown(false);
    EXPECT_FALSE(controls.scrubbing());
    ASSERT_TRUE(
        waitUntil([&] { return !preview.isSeeking() && std::abs(preview.time() - 0.5) < 0.05; }));
    EXPECT_EQ(controls.displayedPosition(), preview.time());
    EXPECT_NEAR(sliderSeconds(), preview.time(), 0.002);
}

TEST_F(PlaybackControlsTest, ADragCutShortByTheWindowStillEndsScrubbing) {
    controls.setControlsEnabled(true);
    load();
    preview.seek(0);
    ASSERT_TRUE(waitUntil([&] { return !preview.isSeeking(); }));
    preview.play();
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));

    QSlider* slider = controls.positionSlider();
    slider->setSliderDown(true);
    slider->setValue(slider->maximum() / 2);
    EXPECT_TRUE(controls.scrubbing());
    // Something else (a new opening, a save) disables the bar while the thumb is held.
    controls.setControlsEnabled(false);
    EXPECT_FALSE(controls.scrubbing());
    // The engine left scrubbing mode and resumed the playback the drag interrupted.
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));
    preview.pause();
}

TEST_F(PlaybackControlsTest, ShowsTheEnginesErrorInRedAndSelectable) {
    controls.setControlsEnabled(true);
    EXPECT_NE(finish(preview.load(QUrl::fromLocalFile(QStringLiteral("/nonexistent/clip.mp4")), 3.0,
                                  0.0)),
              nullptr);
    ASSERT_TRUE(preview.errorMessage().has_value());
    EXPECT_FALSE(controls.errorLine()->isHidden());
    EXPECT_EQ(controls.errorLine()->text(), *preview.errorMessage());
    EXPECT_TRUE(controls.errorLine()->textInteractionFlags() & Qt::TextSelectableByMouse);
    const QColor red = controls.errorLine()->palette().color(QPalette::WindowText);
    EXPECT_GT(red.red(), 3 * red.green());
    EXPECT_FALSE(controls.playButton()->isEnabled());

    // A later successful load clears it.
    load();
    EXPECT_TRUE(controls.errorLine()->isHidden());
}

} // namespace
