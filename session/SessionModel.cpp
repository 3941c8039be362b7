#include "session/SessionModel.h"

#include "model/FileNames.h"
#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "platform/FilePanels.h"
#include "platform/FinalCutSupport.h"
#include "platform/Workspace.h"
#include "preview/LivePreviewSession.h"
#include "session/OffMainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace {

bool fileExists(const QUrl& url) {
    return url.isLocalFile() && FileNames::fileExists(url.toLocalFile());
}

// A directory entry of any kind, a dangling symbolic link included: a save never goes there.
bool somethingExistsAt(const QUrl& url) {
    return url.isLocalFile() && FileNames::entryExists(url.toLocalFile());
}

QString summary(const ExportMediaInfo& info) {
    return QString::number(info.width) + QStringLiteral(" \u00D7 ") + QString::number(info.height) +
           QStringLiteral(" \u00B7 ") +
           QString::asprintf("%.3f", 1.0 / info.frameDuration.seconds()) +
           QStringLiteral(" fps \u00B7 ") + QString::asprintf("%.1f", info.duration.seconds()) +
           QStringLiteral(" sec");
}

// Two seconds in, or the last frame of a shorter clip, or the start.
double openingPosition(const ExportMediaInfo& info) {
    const double lastFrame = info.duration.seconds() - info.frameDuration.seconds();
    return std::min(std::max(lastFrame, 0.0), 2.0);
}

} // namespace

// The values a save takes when it starts; later edits in the window do not reach it.
struct SessionModel::SaveJob {
    ExportRequest request;
    QString keyInstruction;
    bool openAfterSaving = false;
};

SessionModel::SessionModel(SessionServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), preview_(std::move(services_.preview)),
      status_(QStringLiteral("Choose a stitched 360\u00B0 MP4 or MOV to begin.")),
      angles_(AngleSettings::startingViews(this)), loadID_(QUuid::createUuid()) {
    Q_ASSERT(services_.inspect && services_.write && services_.workspace && services_.panels &&
             preview_);
}

SessionModel::~SessionModel() {
    inspectionStop_.request_stop();
}

void SessionModel::setStatus(const QString& status) {
    if (status == status_)
        return;
    status_ = status;
    emit statusChanged();
}

void SessionModel::setErrorMessage(const std::optional<QString>& message) {
    if (message == errorMessage_)
        return;
    errorMessage_ = message;
    emit errorMessageChanged();
}

void SessionModel::setProjectNaming(const ProjectNaming& naming) {
    if (naming == projectNaming_)
        return;
    projectNaming_ = naming;
    emit projectNamingChanged();
}

void SessionModel::setOutputFormat(OutputFormat format) {
    // Views are prepared before anyone hears of the new format, so a card that redraws on the
    // change already finds its portrait framing.
    for (AngleSettings* view : std::as_const(angles_)) {
        AngleFraming framing = view->framing();
        framing.prepareForSelection(format);
        view->setFraming(framing);
    }
    if (format == outputFormat_)
        return;
    outputFormat_ = format;
    emit outputFormatChanged();
}

void SessionModel::setOutputResolution(OutputResolution resolution) {
    if (resolution == outputResolution_)
        return;
    outputResolution_ = resolution;
    emit outputResolutionChanged();
}

void SessionModel::setLayout(ExportLayout layout) {
    if (layout == layout_)
        return;
    layout_ = layout;
    emit layoutChanged();
}

void SessionModel::setAngleCount(int count) {
    if (count == angleCount_)
        return;
    angleCount_ = count;
    emit angleCountChanged();
}

QList<AngleSettings*> SessionModel::activeAngles() const {
    return ::activeAngles(angles_, angleCount_);
}

QString SessionModel::keyInstruction() const {
    return ::keyInstruction(angleCount_);
}

QString SessionModel::projectBaseName() const {
    return projectNaming_.baseName();
}

void SessionModel::setProjectBaseName(const QString& name) {
    if (projectNaming_.usesSourceName())
        return;
    projectNaming_.setBaseName(name);
    emit projectNamingChanged();
}

bool SessionModel::usesVideoFilename() const {
    return projectNaming_.usesSourceName();
}

void SessionModel::setUsesVideoFilename(bool uses) {
    projectNaming_.setUsesSourceName(uses);
    emit projectNamingChanged();
}

bool SessionModel::appendsNameDetails() const {
    return projectNaming_.appendsDetails();
}

void SessionModel::setAppendsNameDetails(bool appends) {
    projectNaming_.setAppendsDetails(appends);
    emit projectNamingChanged();
}

QString SessionModel::projectNameSuffix() const {
    return projectNaming_.suffix(angleCount_, outputFormat_, outputResolution_, true);
}

QString SessionModel::projectFilename() const {
    return projectNaming_.filename(angleCount_, outputFormat_, outputResolution_, true);
}

void SessionModel::chooseSource() {
    OpenPanelRequest request;
    request.message = QStringLiteral("Choose a stitched, full 2:1 equirectangular MP4 or MOV from "
                                     "your camera\u2019s desktop software.");
    request.mimeTypes = FileTypes::movieMimeTypes();
    const std::optional<QUrl> url = services_.panels->runOpenPanel(request);
    if (!url)
        return;
    // The opening carries on by itself; its outcome lands in the model's state.
    open(*url);
}

QCoro::Task<> SessionModel::open(QUrl url) {
    if (!FileNames::isAcceptedMovieExtension(FileNames::pathExtension(url))) {
        setErrorMessage(QStringLiteral(
            "This file is camera-original media. First open it in your camera\u2019s desktop "
            "software and export a full 360\u00B0 video as MP4 or MOV, keeping the original "
            "resolution and frame rate. Do not choose a flat/reframed export."));
        co_return;
    }

    const QUuid token = QUuid::createUuid();
    loadID_ = token;
    setLoading(true);
    setSource(std::nullopt);
    setLastExport(std::nullopt);
    preview_->shutdown();
    setStatus(QStringLiteral("Reading video and preparing live previews\u2026"));

    // A superseded inspection's result would be dropped anyway; let it stop reading early.
    inspectionStop_.request_stop();
    inspectionStop_ = std::stop_source();
    const QPointer<SessionModel> self(this);
    // Futures and tasks are named locals: GCC 12 destroys lambda temporaries inside a co_await
    // expression twice.
    QFuture<Attempt<ExportMediaInfo>> inspection =
        runOffMainThread([inspect = services_.inspect, url, stop = inspectionStop_.get_token()] {
            return inspect(url, stop);
        });
    const Attempt<ExportMediaInfo> inspected = co_await inspection;
    if (!self)
        co_return;
    if (inspected.error) {
        if (loadID_ == token)
            failOpening(inspected.error);
        co_return;
    }
    if (loadID_ != token)
        co_return;

    const ExportMediaInfo& info = *inspected.value;
    std::exception_ptr previewError;
    try {
        QCoro::Task<> loading = preview_->load(url, info.duration.seconds(), openingPosition(info),
                                               info.frameDuration.seconds());
        co_await loading;
    } catch (...) {
        previewError = std::current_exception();
    }
    if (!self)
        co_return;
    if (loadID_ != token)
        co_return;
    if (previewError) {
        failOpening(previewError);
        co_return;
    }

    setSource(url);
    ProjectNaming naming = projectNaming_;
    naming.setSource(url);
    setProjectNaming(naming);
    setDimensions(summary(info));
    setStatus(QStringLiteral(
        "Play or scrub the preview and adjust each view. Save your setup when the framing is "
        "ready."));
    setLoading(false);
}

void SessionModel::failOpening(const std::exception_ptr& error) {
    setErrorMessage(localizedDescription(error));
    setStatus(
        QStringLiteral("Could not open this source. Choose a stitched 360\u00B0 MP4 or MOV."));
    setLoading(false);
}

ProjectSetup SessionModel::projectSetup() const {
    return {framedViews(activeAngles(), outputFormat_), outputFormat_, outputResolution_,
            projectNaming_, layout_};
}

void SessionModel::exportXML(bool openAfterSaving) {
    if (!source_ || loading_ || exporting_ || openingFinalCut_)
        return;

    const ProjectSetup setup = projectSetup();
    SaveJob job;
    job.keyInstruction = keyInstruction();
    job.openAfterSaving = openAfterSaving;
    try {
        job.request = ExportRequests::make(*source_, setup);
    } catch (const ExportError& refusal) {
        setErrorMessage(refusal.message());
        return;
    }

    SavePanelRequest request;
    request.proposedName = ExportRequests::proposedFilename(setup);
    request.fileExtension = QStringLiteral("fcpxml");
    request.message =
        openAfterSaving
            ? QStringLiteral("Save your multicam XML, then open it in Final Cut Pro.")
            : QStringLiteral("Save an editable multicam setup referencing your original video.");

    setExporting(true);
    preview_->pause();
    const QPointer<SessionModel> self(this);
    const std::optional<QUrl> destination = services_.panels->runSavePanel(request);
    if (!self)
        return;
    if (!destination) {
        setExporting(false);
        return;
    }
    if (somethingExistsAt(*destination)) {
        setErrorMessage(QStringLiteral(
            "Please choose a new filename. This prototype preserves existing XML files."));
        setExporting(false);
        return;
    }

    job.request.destination = *destination;
    setStatus(QStringLiteral("Validating source and saving the multicam setup\u2026"));
    save(std::move(job));
}

QCoro::Task<> SessionModel::save(SaveJob job) {
    const QPointer<SessionModel> self(this);
    QFuture<Attempt<std::monostate>> saving =
        runOffMainThread([inspect = services_.inspect, write = services_.write, job] {
            ExportRequest request = job.request;
            request.info = inspect(request.source, {});
            write(request);
        });
    const Attempt<std::monostate> saved = co_await saving;
    if (!self)
        co_return;
    if (saved.error) {
        setErrorMessage(localizedDescription(saved.error));
        setStatus(QStringLiteral("Export did not finish. Review the error, then try again."));
        setExporting(false);
        co_return;
    }
    const QUrl destination = job.request.destination;
    setLastExport(destination);
    setStatus(QStringLiteral("XML saved. Import it into Final Cut Pro, open the project ending in "
                             "\u2018\u2014 Edit\u2019, and cut with ") +
              job.keyInstruction + QStringLiteral("."));
    if (job.openAfterSaving)
        openSavedXMLInFinalCut(destination);
    setExporting(false);
}

void SessionModel::openSavedXMLInFinalCut(const QUrl& url) {
    if (openingFinalCut_)
        return;
    if (!fileExists(url)) {
        setErrorMessage(QStringLiteral("The saved XML could not be found. Save a new XML file, "
                                       "then try opening it again."));
        return;
    }
    preview_->pause();
    const QList<QUrl> applications =
        services_.workspace->applicationURLs(FinalCutSupport::bundleIdentifier);
    if (applications.isEmpty()) {
        setErrorMessage(PlatformTexts::text(PlatformTexts::Text::finalCutMissingMessage));
        setStatus(PlatformTexts::text(PlatformTexts::Text::finalCutMissingStatus));
        return;
    }
    setOpeningFinalCut(true);
    setStatus(QStringLiteral("Opening the saved XML in Final Cut Pro\u2026"));
    services_.workspace->openDocument(
        url, applications.first(), true,
        [self = QPointer<SessionModel>(this)](const std::optional<QString>& error) {
            // Whatever thread answers, the model is only touched on the main thread, and only
            // while it still exists.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, error] {
                    if (self)
                        self->finishHandOff(error);
                },
                Qt::QueuedConnection);
        });
}

void SessionModel::finishHandOff(const std::optional<QString>& error) {
    setOpeningFinalCut(false);
    if (error) {
        setErrorMessage(
            QStringLiteral("Your XML is saved, but it could not be opened in Final Cut Pro: ") +
            *error);
        setStatus(QStringLiteral("XML saved. Use Open Saved XML in Final Cut to try again."));
        return;
    }
    setStatus(QStringLiteral("XML sent to Final Cut Pro. Complete the import there, then open the "
                             "project ending in \u2018\u2014 Edit\u2019."));
}

void SessionModel::setSource(const std::optional<QUrl>& source) {
    if (source == source_)
        return;
    source_ = source;
    emit sourceChanged();
}

void SessionModel::setDimensions(const QString& dimensions) {
    if (dimensions == dimensions_)
        return;
    dimensions_ = dimensions;
    emit dimensionsChanged();
}

void SessionModel::setLoading(bool loading) {
    if (loading == loading_)
        return;
    loading_ = loading;
    emit loadingChanged();
}

void SessionModel::setExporting(bool exporting) {
    if (exporting == exporting_)
        return;
    exporting_ = exporting;
    emit exportingChanged();
}

void SessionModel::setOpeningFinalCut(bool opening) {
    if (opening == openingFinalCut_)
        return;
    openingFinalCut_ = opening;
    emit openingFinalCutChanged();
}

void SessionModel::setLastExport(const std::optional<QUrl>& url) {
    if (url == lastExport_)
        return;
    lastExport_ = url;
    emit lastExportChanged();
}
