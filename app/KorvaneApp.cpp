#include "app/KorvaneApp.h"

#include "preview/gl/OpenGLSetup.h"

#include <QApplication>
#include <QIcon>

extern "C" {
#include <libavutil/log.h>
}

namespace KorvaneApp {

void prepareProcess() {
    // Every failure reaches the user as a sentence in the window; FFmpeg's own chatter about a
    // damaged file would only clutter the terminal.
    av_log_set_level(AV_LOG_QUIET);
    OpenGLSetup::prepareSharedContexts();
}

void configure(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    QApplication::setDesktopFileName(QStringLiteral("tessaly"));
    // Outside a full desktop the theme may have no action symbols; borrow the common one.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    application.setWindowIcon(QIcon::fromTheme(QStringLiteral("tessaly")));
}

std::unique_ptr<MainView> makeWindow(SessionServices services, const QStringList& arguments) {
    auto window = std::make_unique<MainView>(std::move(services), arguments);
    window->setWindowTitle(QStringLiteral("Tessaly"));
    window->resize(defaultWidth, defaultHeight);
    return window;
}

int run(int argc, char** argv) {
    prepareProcess();
    QApplication application(argc, argv);
    configure(application);
    const std::unique_ptr<MainView> window = makeWindow({}, QApplication::arguments());
    window->show();
    return QApplication::exec();
}

} // namespace KorvaneApp
