#include "cli/RenderCommand.h"

#include "model/UserError.h"
#include "preview/gl/StillRenderer.h"
#include "preview/player/FFmpegPlayer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <qcoro/qcorotask.h>

namespace Commands {

namespace {

QCoro::Task<> renderAndSave(RenderCommand command, QTextStream* out, QTextStream* err,
                            int* status) {
    try {
        QCoro::Task<QImage> rendering = StillRenderer::render(
            command.file, command.time, command.view.angles, QSize(command.width, command.height),
            std::make_unique<FFmpegPlayer>());
        const QImage image = co_await std::move(rendering);
        const QString path = QFileInfo(command.output).absoluteFilePath();
        if (image.save(path, "PNG")) {
            *out << path << '\n';
            *status = 0;
        } else {
            *err << QStringLiteral("The picture could not be written to %1.").arg(path) << '\n';
        }
    } catch (const std::exception& e) {
        *err << localizedDescription(e) << '\n';
    }
    QCoreApplication::exit(*status);
}

} // namespace

bool displayAvailable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

int render(const RenderCommand& command, QTextStream& out, QTextStream& err) {
    int status = 1;
    QTimer::singleShot(0, [&] { renderAndSave(command, &out, &err, &status); });
    QCoreApplication::exec();
    out.flush();
    err.flush();
    return status;
}

} // namespace Commands
