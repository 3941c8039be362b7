#include "cli/RenderCommand.h"

#include "export/AtomicFile.h"
#include "model/ExportRequest.h"
#include "model/FileNames.h"
#include "model/UserError.h"
#include "preview/gl/StillRenderer.h"
#include "preview/player/FFmpegPlayer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <sys/stat.h>

namespace Commands {

namespace {

std::optional<struct stat> statusOf(const QString& path) {
    struct stat status {};
    if (::stat(FileNames::encodedPath(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

// The refusals that need no decoding, in the order a user would want to hear them.
void checkBeforeRendering(const RenderCommand& command) {
    const QString name =
        command.view.name.trimmed().isEmpty() ? QStringLiteral("View") : command.view.name;
    ExportRequests::checkViews({{name, command.view.angles}}, OutputFormat::landscape);
    const auto source = statusOf(command.file);
    const auto output = statusOf(command.output);
    // Any name of the source, a link or a second hard link included.
    if (source && output && source->st_dev == output->st_dev && source->st_ino == output->st_ino)
        throw ExportError(QStringLiteral("The output would replace the source video."));
    if (!command.overwrite && FileNames::entryExists(command.output))
        throw ExportError(QStringLiteral("\u201C") +
                          FileNames::displayText(FileNames::lastPathComponent(command.output)) +
                          QStringLiteral("\u201D already exists. Choose another name, or add "
                                         "--overwrite to replace it."));
}

QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw PreviewError(QStringLiteral("The picture could not be encoded as PNG."));
    return bytes;
}

// The permission bits a new file gets from the user's umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

QCoro::Task<> renderAndSave(RenderCommand command, QTextStream* err, int* status) {
    try {
        checkBeforeRendering(command);
        QCoro::Task<QImage> rendering = StillRenderer::render(
            command.file, command.time, command.view.angles, QSize(command.width, command.height),
            std::make_unique<FFmpegPlayer>());
        const QImage image = co_await std::move(rendering);
        const QString path = QFileInfo(command.output).absoluteFilePath();
        try {
            AtomicFile::write(pngOf(image), path,
                              command.overwrite ? AtomicFile::Existing::replace
                                                : AtomicFile::Existing::keep,
                              newFileMode());
        } catch (const AtomicFile::DestinationExists&) {
            checkBeforeRendering(command); // appeared meanwhile: the same refusal as before
            throw;
        }
        *status = 0;
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

int render(const RenderCommand& command, QTextStream& err) {
    int status = 1;
    QTimer::singleShot(0, [&] { renderAndSave(command, &err, &status); });
    QCoreApplication::exec();
    err.flush();
    return status;
}

} // namespace Commands
