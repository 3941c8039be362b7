// The renderer's frames: refusals, reuse of textures between frames, lifetimes, and the empty
// picture.
#include "TestFrames.h"

#include "model/UserError.h"
#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OffscreenView.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// BT.709 video-range codes of pure red, green and blue.
constexpr TestFrames::YCbCr red{63, 102, 240};
constexpr TestFrames::YCbCr green{173, 42, 26};
constexpr TestFrames::YCbCr blue{32, 240, 118};

VideoFrame solid(TestFrames::YCbCr codes, int width = 64, int height = 32) {
    return TestFrames::uniform(AV_PIX_FMT_YUV420P, width, height, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
                               codes);
}

QRgb centre(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame) {
    return OffscreenView::render(renderer, frame, {0, 0, 0, 90}, QSize(16, 9)).pixel(8, 4);
}

// Within 2/255 per channel: the codes above are rounded.
::testing::AssertionResult looksLike(QRgb drawn, QRgb expected) {
    if (std::abs(qRed(drawn) - qRed(expected)) <= 2 &&
        std::abs(qGreen(drawn) - qGreen(expected)) <= 2 &&
        std::abs(qBlue(drawn) - qBlue(expected)) <= 2) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "drew " << qRed(drawn) << ", " << qGreen(drawn) << ", "
                                         << qBlue(drawn) << " instead of " << qRed(expected) << ", "
                                         << qGreen(expected) << ", " << qBlue(expected);
}

constexpr QRgb emptyGrey = 0xff040404; // 0.015 × 255 = 3.8

TEST(RendererTest, RefusesFramesItCannotSampleWithTheSentenceToShow) {
    LiveGLRenderer renderer;
    AVFrame* rgb = av_frame_alloc();
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = 16;
    rgb->height = 8;
    ASSERT_GE(av_frame_get_buffer(rgb, 0), 0);
    const VideoFrame unsupported(rgb);
    const VideoFrame empty;
    for (const VideoFrame* pixels : {&unsupported, &empty}) {
        try {
            renderer.makeFrame(*pixels, 1.5);
            ADD_FAILURE() << "a frame the shader cannot sample was accepted";
        } catch (const PreviewError& error) {
            EXPECT_EQ(error.message(),
                      QStringLiteral("Could not share the decoded video frame with Metal (-22)."));
        }
    }
    EXPECT_EQ(renderer.uploadCount(), 0);
    // A refused frame leaves the renderer as usable as before.
    const auto frame = renderer.makeGLFrame(solid(red), 2.5);
    EXPECT_EQ(frame->time(), 2.5);
    EXPECT_EQ(renderer.uploadCount(), 1);
    EXPECT_TRUE(looksLike(centre(renderer, frame), qRgb(255, 0, 0)));
}

TEST(RendererTest, ReusedTexturesNeverShowAnEarlierFrame) {
    LiveGLRenderer renderer;
    auto first = renderer.makeGLFrame(solid(red), 0);
    const auto second = renderer.makeGLFrame(solid(green), 1);
    EXPECT_TRUE(looksLike(centre(renderer, first), qRgb(255, 0, 0)));
    // The first frame's textures go back for reuse once nothing holds it; the third frame is
    // uploaded into them while the second is still on screen.
    first.reset();
    const auto third = renderer.makeGLFrame(solid(blue), 2);
    EXPECT_TRUE(looksLike(centre(renderer, second), qRgb(0, 255, 0)));
    EXPECT_TRUE(looksLike(centre(renderer, third), qRgb(0, 0, 255)));
    // A source of another size (odd, so the chroma planes round up) after those.
    const auto resized = renderer.makeGLFrame(solid(red, 33, 17), 3);
    EXPECT_EQ(resized->size(), QSize(33, 17));
    EXPECT_TRUE(looksLike(centre(renderer, resized), qRgb(255, 0, 0)));
    EXPECT_TRUE(looksLike(centre(renderer, third), qRgb(0, 0, 255)));
    EXPECT_EQ(renderer.uploadCount(), 4);
}

TEST(RendererTest, FramesMayOutliveTheirRenderer) {
    std::shared_ptr<const LiveGLFrame> survivor;
    {
        LiveGLRenderer renderer;
        survivor = renderer.makeGLFrame(solid(green), 0);
        centre(renderer, survivor);
    }
    // Released with no renderer left: its textures go with the upload context (checked under
    // AddressSanitizer).
    survivor.reset();
    LiveGLRenderer next;
    EXPECT_TRUE(looksLike(centre(next, next.makeGLFrame(solid(blue), 0)), qRgb(0, 0, 255)));
}

TEST(RendererTest, ShowsOnlyTheEmptyGreyWhenThereIsNothingToDraw) {
    LiveGLRenderer renderer;
    const auto frame = renderer.makeGLFrame(solid(red), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const ViewAngles unusable[] = {
        {nan, 0, 0, 90}, {0, infinity, 0, 90}, {0, 0, -infinity, 90}, {0, 0, 0, nan}};
    for (const ViewAngles& angles : unusable) {
        const QImage image = OffscreenView::render(renderer, frame, angles, QSize(16, 9));
        EXPECT_EQ(image.pixel(0, 0), emptyGrey);
        EXPECT_EQ(image.pixel(8, 4), emptyGrey);
    }
    EXPECT_EQ(OffscreenView::render(renderer, nullptr, {}, QSize(16, 9)).pixel(8, 4), emptyGrey);

    // A drawable of no pixels in one direction: everything bound is cleared, nothing drawn.
    ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
    ASSERT_TRUE(current.isCurrent());
    QOpenGLFramebufferObject target(QSize(8, 8), QOpenGLFramebufferObject::NoAttachment,
                                    GL_TEXTURE_2D, GL_RGBA8);
    ASSERT_TRUE(target.bind());
    const std::int64_t before = renderer.drawCount();
    for (const QSize size : {QSize(0, 8), QSize(8, 0)}) {
        renderer.draw(frame, {}, size);
        EXPECT_EQ(target.toImage().pixel(4, 4), emptyGrey);
    }
    EXPECT_EQ(renderer.drawCount(), before);
    target.release();
}

TEST(RendererTest, RefusesPicturesNoFramebufferCanHold) {
    LiveGLRenderer renderer;
    const auto frame = renderer.makeGLFrame(solid(red), 0);
    try {
        OffscreenView::render(renderer, frame, {}, QSize(1'000'000, 10));
        ADD_FAILURE() << "an impossible picture size was accepted";
    } catch (const PreviewError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("Could not make a 1000000 × 10 picture to draw the view into."));
    }
}

} // namespace
