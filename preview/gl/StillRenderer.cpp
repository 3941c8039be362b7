#include "preview/gl/StillRenderer.h"

#include "model/UserError.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OffscreenView.h"

#include <QFileInfo>
#include <QUrl>
#include <qcoro/qcorofuture.h>

#include <cmath>

namespace StillRenderer {

namespace {

// The engine opens and seeks exactly as the window's previews do; only the drawing differs.
QCoro::Task<QImage> renderChecked(QString sourcePath, double seconds, ViewAngles angles, QSize size,
                                  std::unique_ptr<Player> player) {
    const QUrl url = QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath());
    const PlayerAssetTracks tracks = co_await player->loadTracks(url);
    if (tracks.error)
        throw PreviewError(*tracks.error);
    if (!tracks.error && tracks.duration > 0 && seconds > tracks.duration)
        throw PreviewError(
            QStringLiteral("The time must be between 0 and the source's duration, %1 seconds.")
                .arg(tracks.duration, 0, 'f', 3));

    const auto renderer = std::make_shared<LiveGLRenderer>();
    LivePreviewSession session(std::move(player), [renderer] { return renderer; });
    QCoro::Task<> loading = session.load(url, tracks.duration, seconds);
    co_await loading;
    co_return OffscreenView::render(*renderer, renderer->currentFrame(), angles, size);
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
