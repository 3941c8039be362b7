#include "preview/gl/StillRenderer.h"

#include "model/UserError.h"
#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OffscreenView.h"
#include "preview/player/FFmpegPlayer.h"

#include <QFileInfo>
#include <QUrl>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <chrono>
#include <cmath>

namespace StillRenderer {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto pollInterval = 20ms;
constexpr auto timeout = 20s;
constexpr std::int32_t seekTimescale = 60000;

// Polls until the predicate holds; throws the given sentence when the time is up.
QCoro::Task<> waitUntil(std::function<bool()> done, Clock::time_point deadline, QString failure) {
    while (!done()) {
        if (Clock::now() >= deadline) {
            throw PreviewError(failure);
        }
        co_await QCoro::sleepFor(pollInterval);
    }
}

QCoro::Task<QImage> renderChecked(QString sourcePath, double seconds, ViewAngles angles, QSize size,
                                  std::unique_ptr<Player> player) {
    LiveGLRenderer renderer;
    if (!player) {
        player = std::make_unique<FFmpegPlayer>();
    }
    const QUrl url = QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath());

    const PlayerAssetTracks tracks = co_await player->loadTracks(url);
    if (tracks.error) {
        throw PreviewError(*tracks.error);
    }
    if (tracks.videoTrackCount <= 0) {
        throw PreviewError(QStringLiteral("This source has no video track."));
    }

    const Clock::time_point deadline = Clock::now() + timeout;
    player->replaceCurrentItem(url);
    co_await waitUntil([&] { return player->status() != PlayerItemStatus::Unknown; }, deadline,
                       QStringLiteral("Timed out while opening this video. Check that the source "
                                      "drive is available."));
    if (player->status() == PlayerItemStatus::Failed) {
        throw PreviewError(
            player->itemError().value_or(QStringLiteral("This video could not be played.")));
    }

    const MediaTime target = MediaTime::fromSeconds(seconds, seekTimescale);
    auto outcome = std::make_shared<std::optional<bool>>();
    player->seek(target, [outcome](bool finished) { *outcome = finished; });
    const QString noFrame = QStringLiteral("The video opened but did not produce a preview frame.");
    co_await waitUntil(
        [&] { return outcome->has_value() || player->status() == PlayerItemStatus::Failed; },
        deadline, noFrame);
    if (player->status() == PlayerItemStatus::Failed) {
        throw PreviewError(
            player->itemError().value_or(QStringLiteral("This video could not be played.")));
    }
    std::optional<PlayerFrame> frame = **outcome ? player->copyFrame(target) : std::nullopt;
    if (!frame || frame->pixels.isNull()) {
        throw PreviewError(noFrame);
    }
    const double time =
        frame->displayTime.isNumeric() ? frame->displayTime.seconds() : target.seconds();
    QImage image =
        OffscreenView::render(renderer, renderer.makeGLFrame(frame->pixels, time), angles, size);
    player->removeCurrentItem();
    co_return image;
}

} // namespace

// Checked before any coroutine starts, so that these refusals reach the caller at once rather
// than through a task that finishes without ever suspending.
QCoro::Task<QImage> render(QString sourcePath, double seconds, ViewAngles angles, QSize size,
                           std::unique_ptr<Player> player) {
    if (!std::isfinite(seconds) || seconds < 0) {
        throw PreviewError(QStringLiteral("The time to draw must be zero or more seconds."));
    }
    if (!GLUploadContext::create()) {
        throw PreviewError(QStringLiteral("Could not create an OpenGL context to draw the view; "
                                          "run it in a desktop session or under xvfb-run."));
    }
    return renderChecked(std::move(sourcePath), seconds, angles, size, std::move(player));
}

} // namespace StillRenderer
