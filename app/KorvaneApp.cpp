#include "app/KorvaneApp.h"

#include "export/FCPXMLExporter.h"
#include "export/LibxmlSetup.h"
#include "media/MediaInspector.h"
#include "model/FileNames.h"
#include "model/UserError.h"
#include "platform/FinalCutSupport.h"
#include "platform/QtFilePanels.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveAnglePreview.h"
#include "preview/gl/OpenGLSetup.h"
#include "preview/gl/SphereOverview.h"
#include "preview/player/FFmpegPlayer.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>

#include <csignal>

extern "C" {
#include <libavutil/log.h>
}

namespace KorvaneApp {

namespace {
const QString macFoldersKey = QStringLiteral("macFolders");
} // namespace

Composition standardComposition(std::shared_ptr<const Workspace> workspace) {
    // One renderer draws for the engine and every surface; without one the engine refuses to load
    // and says why.
    std::shared_ptr<LiveGLRenderer> renderer;
    QString rendererFailure;
    try {
        renderer = std::make_shared<LiveGLRenderer>();
    } catch (const std::exception& error) {
        rendererFailure = localizedDescription(error);
    }

    Composition composition;
    SessionServices& services = composition.services;
    services.inspect = [](const QUrl& url, std::stop_token stop) {
        return MediaInspector::inspect(url, std::move(stop));
    };
    services.write = [workspace](const ExportRequest& request) {
        FCPXMLExporter::write(request, FinalCutSupport::dtdURL(*workspace));
    };
    services.installDTD = [](const QString& file) {
        FCPXMLExporter::installDTD(file, FinalCutSupport::userDTDPath());
    };
    // Remembered between runs, per folder of this computer.
    services.recallMacFolder = [](const QString& localFolder) -> std::optional<QString> {
        const QVariantMap folders = QSettings().value(macFoldersKey).toMap();
        const auto found = folders.constFind(localFolder);
        return found == folders.cend() ? std::nullopt : std::optional(found->toString());
    };
    services.rememberMacFolder = [](const QString& localFolder, const QString& macFolder) {
        QSettings settings;
        QVariantMap folders = settings.value(macFoldersKey).toMap();
        folders.insert(localFolder, macFolder);
        settings.setValue(macFoldersKey, folders);
    };
    services.workspace = workspace;
    services.panels = std::make_shared<QtFilePanels>();
    services.preview = std::make_unique<LivePreviewSession>(
        std::make_unique<FFmpegPlayer>(),
        [renderer, rendererFailure]() -> std::shared_ptr<PreviewRenderer> {
            if (!renderer)
                throw PreviewError(rendererFailure);
            return renderer;
        });
    composition.previews = [renderer](LivePreviewSession& session, const ViewAngles& angles) {
        auto* surface = new LiveAnglePreview(&session, renderer, angles);
        return AnglePreviewSurface{surface,
                                   [surface](const ViewAngles& a) { surface->setAngles(a); }};
    };
    composition.overview = [renderer](LivePreviewSession& session) {
        auto* overview = new SphereOverview(&session, renderer);
        return OverviewSurface{overview,
                               [overview](OverviewSurface::Overlay overlay) {
                                   overview->setOverlay(std::move(overlay));
                               },
                               [overview] { overview->overlayChanged(); }};
    };
    return composition;
}

Composition standardComposition() {
    // The system's workspace lives for the whole process; the pointer does not own it.
    return standardComposition(
        std::shared_ptr<const Workspace>(std::shared_ptr<void>(), &Workspace::system()));
}

void prepareProcess() {
    // A save cut short by the file-size limit fails with EFBIG and cleans up after itself,
    // instead of killing the program with its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    initialiseLibxml();
    // Every failure reaches the user as a sentence in the window; FFmpeg's own chatter about a
    // damaged file would only clutter the terminal.
    av_log_set_level(AV_LOG_QUIET);
    OpenGLSetup::prepareSharedContexts();
}

void configure(QApplication& application) {
    QApplication::setOrganizationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    QApplication::setDesktopFileName(QStringLiteral("tessaly"));
    // Outside a full desktop the theme may have no action symbols; borrow the common one.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    application.setWindowIcon(QIcon::fromTheme(QStringLiteral("tessaly")));
}

std::unique_ptr<MainView> makeWindow(Composition composition, const QStringList& arguments) {
    auto window = std::make_unique<MainView>(std::move(composition.services), arguments,
                                             std::move(composition.previews),
                                             std::move(composition.overview));
    window->setWindowTitle(QStringLiteral("Tessaly"));
    window->resize(defaultWidth, defaultHeight);
    return window;
}

QStringList arguments(int argc, char** argv) {
    QStringList result;
    for (int i = 0; i < argc; ++i)
        result.append(FileNames::decodedPath(QByteArray(argv[i])));
    return result;
}

int run(int argc, char** argv) {
    prepareProcess();
    QApplication application(argc, argv);
    configure(application);
    const std::unique_ptr<MainView> window =
        makeWindow(standardComposition(), arguments(argc, argv));
    window->show();
    return QApplication::exec();
}

} // namespace KorvaneApp
