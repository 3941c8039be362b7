// The overview's overlay: cut into flat and detailed tiles, and laid over every pixel of the
// sphere exactly as compositing the picture would.
#include "gl/TestFrames.h"
#include "preview/gl/OffscreenView.h"
#include "preview/gl/OverlayLayer.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A bit of everything the overview paints: a translucent fill over many tiles, an antialiased
// outline crossing tile edges, a lone texel beside a tile's corner, paint in the last texel.
QImage detailedOverlay(QSize size) {
    QImage overlay(size, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    QPainter painter(&overlay);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 0, size.width() / 2 + 3, size.height() * 3 / 4),
                     QColor(40, 120, 200, 46));
    painter.setPen(QPen(QColor(250, 220, 30), 2));
    painter.drawEllipse(QRectF(size.width() * 0.3, 10.5, size.width() * 0.55, size.height() * 0.6));
    painter.end();
    overlay.setPixel(64, 65, qPremultiply(qRgba(255, 0, 0, 255)));
    overlay.setPixel(size.width() - 1, size.height() - 1, qPremultiply(qRgba(255, 255, 255, 200)));
    return overlay;
}

QRgb tintOf(const OverlayTiles::Tile& tile) {
    const auto byte = [](float value) { return int(std::lround(value * 255)); };
    return qRgba(byte(tile.tint[0]), byte(tile.tint[1]), byte(tile.tint[2]), byte(tile.tint[3]));
}

} // namespace

TEST(OverlayTiles, CoverThePictureOnceAndAreFlatOnlyWhereItIsOneColourToTheirBorder) {
    for (const QSize size : {QSize(300, 150), QSize(131, 70), QSize(1, 1)}) {
        for (int side : {64, 7}) {
            SCOPED_TRACE(testing::Message()
                         << size.width() << "×" << size.height() << ", tiles " << side);
            const QImage overlay = detailedOverlay(size.expandedTo({66, 67})).copy(QRect({}, size));
            const OverlayTiles tiles = OverlayTiles::split(overlay, side);
            const auto texelsOf = [&](const OverlayTiles::Tile& tile) {
                return QRect(QPoint(int(std::lround(tile.left * size.width())),
                                    int(std::lround(tile.top * size.height()))),
                             QPoint(int(std::lround(tile.right * size.width())) - 1,
                                    int(std::lround(tile.bottom * size.height())) - 1));
            };
            std::vector<int> covered(std::size_t(size.width() * size.height()), 0);
            for (const auto* list : {&tiles.flat, &tiles.textured}) {
                for (const OverlayTiles::Tile& tile : *list) {
                    const QRect texels = texelsOf(tile);
                    for (int y = 0; y < size.height(); ++y) {
                        for (int x = 0; x < size.width(); ++x) {
                            const float u = (x + 0.5f) / size.width();
                            const float v = (y + 0.5f) / size.height();
                            const bool inside = u >= tile.left && u < tile.right && v >= tile.top &&
                                                v < tile.bottom;
                            ASSERT_EQ(inside, texels.contains(x, y)) << x << ", " << y;
                            covered[std::size_t(y * size.width() + x)] += inside;
                        }
                    }
                    if (list == &tiles.textured)
                        continue;
                    const QRect border = texels.adjusted(-1, -1, 1, 1) & overlay.rect();
                    for (int y = border.top(); y <= border.bottom(); ++y)
                        for (int x = border.left(); x <= border.right(); ++x)
                            ASSERT_EQ(overlay.pixel(x, y), tintOf(tile)) << x << ", " << y;
                }
            }
            EXPECT_TRUE(std::all_of(covered.begin(), covered.end(), [](int n) { return n == 1; }));
            if (size.width() > side) {
                EXPECT_FALSE(tiles.flat.empty());
            }
        }
    }
    const OverlayTiles none = OverlayTiles::split(QImage());
    ASSERT_EQ(none.flat.size(), 1u);
    EXPECT_TRUE(none.textured.empty());
    EXPECT_EQ(tintOf(none.flat[0]), 0u);
    EXPECT_EQ(QRectF(none.flat[0].left, none.flat[0].top, none.flat[0].right, none.flat[0].bottom),
              QRectF(0, 0, 1, 1));
}

TEST(Overview, LaysTheOverlayOverEveryPixelAsCompositingWould) {
    LiveGLRenderer renderer;
    // Sides whose ratios to the targets' are odd over even: no pixel centre falls on a texel's
    // edge, where two programs could pick different texels.
    const VideoFrame source = TestFrames::make(
        AV_PIX_FMT_YUV420P, 234, 98, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
        [](int x, int y) { return 30 + (x * 7 + y * 3) % 190; },
        [](int cx, int cy) { return std::make_pair(80 + cx % 90, 90 + cy % 70); });
    const auto frame = renderer.makeGLFrame(source, 0);
    const QSize overlaySize(300, 150);
    const QImage overlay = detailedOverlay(overlaySize);
    // As drawn and stretched to twice its size.
    for (int scale : {1, 2}) {
        const QSize size = overlaySize * scale;
        const QImage picture = OffscreenView::renderWholeSphere(renderer, frame, size);
        const QImage drawn = OffscreenView::renderWholeSphere(renderer, frame, size, overlay);
        int mismatches = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb over = overlay.pixel(x / scale, y / scale);
                const QRgb under = picture.pixel(x, y);
                const auto channel = [&](int (*of)(QRgb)) {
                    return int(std::lround(of(over) + (255 - qAlpha(over)) * of(under) / 255.0));
                };
                const QRgb expected = qRgb(channel(qRed), channel(qGreen), channel(qBlue));
                if (!TestFrames::near(drawn.pixel(x, y), expected) && mismatches++ < 5)
                    ADD_FAILURE() << "scale " << scale << " at " << x << ", " << y;
            }
        }
        EXPECT_EQ(mismatches, 0) << "scale " << scale;
    }
}
