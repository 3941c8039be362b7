// Preview surfaces on a live session: one upload per decoded frame however many surfaces draw
// it, redraws on the three occasions that call for one, and the empty grey.
#include "FramePlayer.h"
#include "TestFrames.h"

#include "preview/gl/LiveAnglePreview.h"
#include "preview/gl/LiveGLRenderer.h"

#include <QHBoxLayout>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr TestFrames::YCbCr red{63, 102, 240};
constexpr TestFrames::YCbCr green{173, 42, 26};
constexpr TestFrames::YCbCr blue{32, 240, 118};

VideoFrame solid(TestFrames::YCbCr codes) {
    return TestFrames::uniform(AV_PIX_FMT_NV12, 256, 128, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, codes);
}

bool looksLike(QRgb drawn, QRgb expected) {
    return std::abs(qRed(drawn) - qRed(expected)) <= 2 &&
           std::abs(qGreen(drawn) - qGreen(expected)) <= 2 &&
           std::abs(qBlue(drawn) - qBlue(expected)) <= 2;
}

QRgb centreOf(LiveAnglePreview& preview) {
    const QImage image = preview.grabFramebuffer();
    return image.pixel(image.width() / 2, image.height() / 2);
}

constexpr QRgb emptyGrey = 0xff040404;

class PreviewSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto player = std::make_unique<FramePlayer>();
        player_ = player.get();
        session_ = std::make_unique<LivePreviewSession>(
            [] { return std::make_unique<LiveGLRenderer>(); }, std::move(player));
        renderer_ = dynamic_cast<LiveGLRenderer*>(session_->renderer());
        ASSERT_NE(renderer_, nullptr) << session_->errorMessage().value_or(QString()).toStdString();

        window_ = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(window_.get());
        const double pans[] = {0, 90, -90, 180};
        for (double pan : pans) {
            previews_.push_back(new LiveAnglePreview(session_.get(), {pan, 0, 0, 90}));
            // Fixed, so that one surface leaving does not resize (and so redraw) the others.
            previews_.back()->setFixedSize(96, 54);
            layout->addWidget(previews_.back());
        }
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    void load(VideoFrame first) {
        player_->show(std::move(first));
        auto task = session_->load(QUrl::fromLocalFile(QStringLiteral("/sample.mp4")), 10, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return task.isReady(); }, 20000));
        ASSERT_TRUE(session_->isReady());
    }

    // Lets every pending paint happen.
    void settle() {
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(40);
        }
    }

    std::vector<std::int64_t> projections() const {
        std::vector<std::int64_t> counts;
        for (LiveAnglePreview* preview : previews_) {
            counts.push_back(preview->projectedFrameCount());
        }
        return counts;
    }

    FramePlayer* player_ = nullptr;
    std::unique_ptr<LivePreviewSession> session_;
    LiveGLRenderer* renderer_ = nullptr;
    std::unique_ptr<QWidget> window_;
    std::vector<LiveAnglePreview*> previews_;
};

TEST_F(PreviewSurfaceTest, EveryDecodedFrameIsUploadedOnceAndDrawnOncePerSurface) {
    load(solid(red));
    settle();
    EXPECT_EQ(renderer_->uploadCount(), 1);
    for (LiveAnglePreview* preview : previews_) {
        EXPECT_GE(preview->projectedFrameCount(), 1);
        EXPECT_TRUE(looksLike(centreOf(*preview), qRgb(255, 0, 0)));
    }

    std::vector<std::int64_t> before = projections();
    std::int64_t drawsBefore = renderer_->drawCount();
    player_->show(solid(green));
    ASSERT_TRUE(QTest::qWaitFor([&] { return renderer_->uploadCount() == 2; }, 5000));
    settle();
    EXPECT_EQ(renderer_->uploadCount(), 2);
    EXPECT_EQ(renderer_->drawCount(), drawsBefore + 4);
    for (std::size_t i = 0; i < previews_.size(); ++i) {
        EXPECT_EQ(previews_[i]->projectedFrameCount(), before[i] + 1);
    }

    // A surface that leaves is never drawn again; the others carry on.
    delete previews_[1];
    previews_.erase(previews_.begin() + 1);
    before = projections();
    drawsBefore = renderer_->drawCount();
    player_->show(solid(blue));
    ASSERT_TRUE(QTest::qWaitFor([&] { return renderer_->uploadCount() == 3; }, 5000));
    settle();
    EXPECT_EQ(renderer_->drawCount(), drawsBefore + 3);
    for (std::size_t i = 0; i < previews_.size(); ++i) {
        EXPECT_EQ(previews_[i]->projectedFrameCount(), before[i] + 1);
        EXPECT_TRUE(looksLike(centreOf(*previews_[i]), qRgb(0, 0, 255)));
    }
}

TEST_F(PreviewSurfaceTest, RedrawsForANewFramingAndANewSizeWithoutUploadingAgain) {
    load(solid(green));
    settle();
    const std::vector<std::int64_t> before = projections();

    previews_[0]->setAngles({45, 10, 5, 60});
    settle();
    EXPECT_EQ(previews_[0]->projectedFrameCount(), before[0] + 1);
    EXPECT_EQ(previews_[1]->projectedFrameCount(), before[1]);

    const QSize oldSize = previews_[2]->size();
    previews_[2]->setFixedSize(oldSize + QSize(20, 30));
    settle();
    EXPECT_GE(previews_[2]->projectedFrameCount(), before[2] + 1);
    EXPECT_EQ(previews_[2]->grabFramebuffer().size(),
              (oldSize + QSize(20, 30)) * previews_[2]->devicePixelRatio());
    EXPECT_EQ(renderer_->uploadCount(), 1);
}

TEST_F(PreviewSurfaceTest, ShowsTheEmptyGreyWithoutAFrameOrWithAnUnusableFraming) {
    for (LiveAnglePreview* preview : previews_) {
        EXPECT_EQ(centreOf(*preview), emptyGrey);
    }
    load(solid(red));
    previews_[0]->setAngles({std::numeric_limits<double>::quiet_NaN(), 0, 0, 90});
    settle();
    EXPECT_EQ(centreOf(*previews_[0]), emptyGrey);
    EXPECT_TRUE(looksLike(centreOf(*previews_[1]), qRgb(255, 0, 0)));

    // Shutting the source down redraws every surface once, empty.
    const std::vector<std::int64_t> before = projections();
    session_->shutdown();
    settle();
    EXPECT_EQ(projections(), before);
    for (LiveAnglePreview* preview : previews_) {
        EXPECT_EQ(centreOf(*preview), emptyGrey);
    }
}

TEST_F(PreviewSurfaceTest, OutlivesItsSession) {
    load(solid(blue));
    settle();
    session_.reset();
    // No session any more: the surfaces stay usable and show the empty grey.
    previews_[0]->setAngles({10, 0, 0, 90});
    settle();
    EXPECT_EQ(centreOf(*previews_[0]), emptyGrey);
}

} // namespace
