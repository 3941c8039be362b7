#pragma once

#include "platform/FakeWorkspace.h"
#include "platform/FilePanels.h"
#include "ui/MainView.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <future>
#include <memory>
#include <mutex>

// File panels that answer from the test instead of a user.
class ScriptedPanels final : public FilePanels {
public:
    std::function<std::optional<QUrl>(const OpenPanelRequest&)> onOpen;
    std::function<std::optional<QUrl>(const SavePanelRequest&)> onSave;

    std::optional<QUrl> runOpenPanel(const OpenPanelRequest& request) override {
        return onOpen ? onOpen(request) : std::nullopt;
    }
    std::optional<QUrl> runSavePanel(const SavePanelRequest& request) override {
        return onSave ? onSave(request) : std::nullopt;
    }
};

// Holds work on a worker thread until the test lets it go.
struct Gate {
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    void open() { promise.set_value(); }
    // Waits at most 20 s, so that a failing test cannot hang the suite.
    void pass() const { future.wait_for(std::chrono::seconds(20)); }
};

// A main window on fakes: scripted panels, a fake desktop, a preview engine that decodes the
// real file but draws nothing, plain stand-ins for the GL surfaces, the real inspector unless a
// test replaces it, and a writer that only creates the destination file.
struct WindowRig {
    std::shared_ptr<ScriptedPanels> panels = std::make_shared<ScriptedPanels>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    // Runs on the worker thread; empty means the real inspector.
    std::shared_ptr<std::function<ExportMediaInfo(const QUrl&)>> inspectHook =
        std::make_shared<std::function<ExportMediaInfo(const QUrl&)>>();
    // Runs on the worker thread before the destination is created.
    std::shared_ptr<std::function<void(const QUrl&)>> writeHook =
        std::make_shared<std::function<void(const QUrl&)>>();
    std::shared_ptr<std::mutex> inspectedMutex = std::make_shared<std::mutex>();
    std::shared_ptr<QList<QUrl>> inspected = std::make_shared<QList<QUrl>>();

    std::unique_ptr<MainView> makeView(const QStringList& arguments = {});
    QList<QUrl> inspectedFiles() const;
};

// The texts and enable states the enable rules speak about, in one comparable record.
struct Enablement {
    bool angleCount, format, resolutionRow, chooseSource, playback, cards, nameEditor, saveRow,
        save, saveAndOpen, openSaved, reveal;
    friend bool operator==(const Enablement&, const Enablement&) = default;
};
Enablement enablement(const MainView& view);
std::ostream& operator<<(std::ostream& out, const Enablement& e);
