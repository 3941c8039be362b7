#pragma once

#include "model/ExportMediaInfo.h"
#include "platform/FakeWorkspace.h"
#include "platform/FilePanels.h"
#include "preview/LivePreviewSession.h"
#include "preview/ScriptedPlayer.h"
#include "session/SessionModel.h"

#include <QHash>
#include <QList>
#include <QUrl>

#include <functional>
#include <future>
#include <memory>
#include <mutex>

// Panels that answer from the test instead of a user.
class FakePanels final : public FilePanels {
public:
    std::function<std::optional<QUrl>(const OpenPanelRequest&)> onOpen;
    std::function<std::optional<QUrl>(const SavePanelRequest&)> onSave;
    QList<OpenPanelRequest> openRequests;
    QList<SavePanelRequest> saveRequests;

    std::optional<QUrl> runOpenPanel(const OpenPanelRequest& request) override {
        openRequests.append(request);
        return onOpen ? onOpen(request) : std::nullopt;
    }
    std::optional<QUrl> runSavePanel(const SavePanelRequest& request) override {
        saveRequests.append(request);
        return onSave ? onSave(request) : std::nullopt;
    }
};

// The engine's scripted player with every seek landing, frame and all, on the next turn of the
// event loop.
class LandingPlayer final : public ScriptedPlayer {
public:
    void seek(const MediaTime& target, std::function<void(bool)> completion) override;
    bool isPlaying() const { return control == PlayerTimeControl::Playing; }
    double lastSeekTarget() const { return seeks.empty() ? -1 : seeks.back().target.seconds(); }
};

// A preview engine over a LandingPlayer that wraps frames without a GPU.
struct FakePreview {
    std::unique_ptr<LivePreviewSession> session;
    LandingPlayer* player = nullptr;
};
FakePreview makeFakePreview();

// An inspector whose answers, failures and timing the test decides, per file name. A file with
// no script is refused.
class ScriptedInspector {
public:
    struct Script {
        std::optional<ExportMediaInfo> info;
        QString error;
        // When set, the inspection waits here (at most 20 s) before it answers.
        std::shared_future<void> gate;
    };

    void script(const QString& fileName, Script script);
    ExportMediaInfo inspect(const QUrl& url, std::stop_token stop);
    int calls(const QString& fileName) const;
    bool wasAskedToStop(const QString& fileName) const;

private:
    mutable std::mutex mutex_;
    QHash<QString, Script> scripts_;
    QHash<QString, int> calls_;
    QHash<QString, bool> stopRequested_;
};

// A gate an inspection waits at until the test opens it.
struct Gate {
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    void open() { promise.set_value(); }
};

// What the model handed to the writer.
struct WriteCall {
    QUrl source;
    ExportMediaInfo info;
    QList<ExportView> views;
    std::int64_t width = 0;
    std::int64_t height = 0;
    QString name;
    QString layout;
    QUrl destination;
};

// A square-pixel 2:1 source of the given length at 30000/1001 fps, stereo, no timecode.
ExportMediaInfo ntscInfo(std::int64_t frames);
// A source of duration value/timescale seconds with frames of 1/fps seconds.
ExportMediaInfo infoWith(std::int64_t durationValue, std::int32_t timescale, std::int32_t fps);

// The fakes a session model is built on in these tests, kept for the test to drive.
struct SessionRig {
    std::shared_ptr<FakePanels> panels = std::make_shared<FakePanels>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<ScriptedInspector> inspector = std::make_shared<ScriptedInspector>();
    std::shared_ptr<std::mutex> writesMutex = std::make_shared<std::mutex>();
    std::shared_ptr<QList<WriteCall>> writes = std::make_shared<QList<WriteCall>>();
    // Runs before the real writer on the worker thread; a test makes writing fail by throwing.
    std::shared_ptr<std::function<void(const WriteCall&)>> writeHook =
        std::make_shared<std::function<void(const WriteCall&)>>();
    LandingPlayer* player = nullptr;

    // A model whose writer records each call and then runs the real writer against the test
    // DTD, unless the write hook throws first.
    std::unique_ptr<SessionModel> makeModel();
    QList<WriteCall> recordedWrites() const;
};
