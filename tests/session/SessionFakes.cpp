#include "session/SessionFakes.h"

#include "export/FCPXMLExporter.h"
#include "model/UserError.h"

#include <QTimer>

#include <chrono>

void LandingPlayer::seek(const MediaTime& target, std::function<void(bool)> completion) {
    ScriptedPlayer::seek(target, {});
    newFrame = true;
    QTimer::singleShot(0, this, [completion = std::move(completion)] { completion(true); });
}

FakePreview makeFakePreview() {
    auto player = std::make_unique<LandingPlayer>();
    LandingPlayer* raw = player.get();
    auto session = std::make_unique<LivePreviewSession>(
        []() -> std::unique_ptr<PreviewRenderer> { return std::make_unique<WrappingRenderer>(); },
        std::move(player));
    return {std::move(session), raw};
}

void ScriptedInspector::script(const QString& fileName, Script script) {
    const std::lock_guard lock(mutex_);
    scripts_.insert(fileName, std::move(script));
}

ExportMediaInfo ScriptedInspector::inspect(const QUrl& url, std::stop_token stop) {
    const QString name = url.fileName();
    Script script;
    {
        const std::lock_guard lock(mutex_);
        ++calls_[name];
        script = scripts_.value(name);
    }
    if (script.gate.valid())
        script.gate.wait_for(std::chrono::seconds(20));
    {
        const std::lock_guard lock(mutex_);
        stopRequested_[name] = stop.stop_requested();
    }
    if (!script.info)
        throw ExportError(script.error.isEmpty() ? QStringLiteral("No script for this file.")
                                                 : script.error);
    return *script.info;
}

int ScriptedInspector::calls(const QString& fileName) const {
    const std::lock_guard lock(mutex_);
    return calls_.value(fileName);
}

bool ScriptedInspector::wasAskedToStop(const QString& fileName) const {
    const std::lock_guard lock(mutex_);
    return stopRequested_.value(fileName);
}

ExportMediaInfo infoWith(std::int64_t durationValue, std::int32_t timescale, std::int32_t fps) {
    ExportMediaInfo info;
    info.width = 3840;
    info.height = 1920;
    info.frameDuration = MediaTime::make(1, fps);
    info.duration = MediaTime::make(durationValue, timescale);
    info.sourceStart = MediaTime::make(0, timescale);
    info.channels = 2;
    info.sampleRate = 48000;
    return info;
}

ExportMediaInfo ntscInfo(std::int64_t frames) {
    ExportMediaInfo info = infoWith(frames * 1001, 30000, 30);
    info.frameDuration = MediaTime::make(1001, 30000);
    return info;
}

std::unique_ptr<SessionModel> SessionRig::makeModel() {
    FakePreview preview = makeFakePreview();
    player = preview.player;
    SessionServices services;
    services.panels = panels;
    services.workspace = workspace;
    services.preview = std::move(preview.session);
    services.inspect = [inspector = inspector](const QUrl& url, std::stop_token stop) {
        return inspector->inspect(url, std::move(stop));
    };
    services.write = [mutex = writesMutex, writes = writes, hook = writeHook](
                         const QUrl& source, const ExportMediaInfo& info,
                         const QList<ExportView>& views, std::int64_t width, std::int64_t height,
                         const QString& name, const QString& layout, const QUrl& destination) {
        const WriteCall call{source, info, views, width, height, name, layout, destination};
        {
            const std::lock_guard lock(*mutex);
            writes->append(call);
        }
        if (*hook)
            (*hook)(call);
        FCPXMLExporter::write(
            source, info, views, width, height, name, layout, destination,
            QUrl::fromLocalFile(QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd")));
    };
    return std::make_unique<SessionModel>(std::move(services));
}

QList<WriteCall> SessionRig::recordedWrites() const {
    const std::lock_guard lock(*writesMutex);
    return *writes;
}
