#include "WindowRig.h"

#include "UiTestSupport.h"
#include "media/MediaInspector.h"
#include "preview/LivePreviewSession.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"

#include <QFile>
#include <QPushButton>
#include <QSlider>

#include <ostream>

std::unique_ptr<MainView> WindowRig::makeView(const QStringList& arguments) {
    SessionServices services;
    services.panels = panels;
    services.workspace = workspace;
    services.preview = std::make_unique<LivePreviewSession>(makeTimeOnlyRenderer);
    services.inspect = [hook = inspectHook, mutex = inspectedMutex,
                        seen = inspected](const QUrl& url, std::stop_token stop) {
        {
            const std::lock_guard lock(*mutex);
            seen->append(url);
        }
        return *hook ? (*hook)(url) : MediaInspector::inspect(url, std::move(stop));
    };
    services.write = [hook = writeHook](const QUrl&, const ExportMediaInfo&,
                                        const QList<ExportView>&, std::int64_t, std::int64_t,
                                        const QString&, const QString&, const QUrl& destination) {
        if (*hook)
            (*hook)(destination);
        QFile file(destination.toLocalFile());
        if (!file.open(QIODevice::NewOnly))
            throw std::runtime_error("the test writer could not create the file");
        file.write("<fcpxml version=\"1.14\"/>\n");
    };
    AnglePreviewFactory placeholders = [](LivePreviewSession&, const ViewAngles&) {
        return AnglePreviewSurface{new QWidget, {}};
    };
    auto view = std::make_unique<MainView>(std::move(services), arguments, placeholders);
    view->resize(1320, 900);
    return view;
}

QList<QUrl> WindowRig::inspectedFiles() const {
    const std::lock_guard lock(*inspectedMutex);
    return *inspected;
}

Enablement enablement(const MainView& view) {
    const PlaybackControls* playback = view.playbackControls();
    return {view.angleCountControl()->isEnabled(), view.formatControl()->isEnabled(),
            view.resolutionRow()->isEnabled(),     view.chooseSourceButton()->isEnabled(),
            playback->controlsEnabled(),           view.cardRow()->isEnabled(),
            view.nameEditor()->isEnabled(),        view.saveRow()->isEnabled(),
            view.saveButton()->isEnabled(),        view.saveAndOpenButton()->isEnabled(),
            view.openSavedButton()->isEnabled(),   view.revealButton()->isEnabled()};
}

std::ostream& operator<<(std::ostream& out, const Enablement& e) {
    return out << "{views " << e.angleCount << ", format " << e.format << ", resolution "
               << e.resolutionRow << ", choose " << e.chooseSource << ", playback " << e.playback
               << ", cards " << e.cards << ", name " << e.nameEditor << ", save row " << e.saveRow
               << ", save " << e.save << ", save & open " << e.saveAndOpen << ", open saved "
               << e.openSaved << ", reveal " << e.reveal << "}";
}
