#include "session/SessionModel.h"

#include "model/FileNames.h"
#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "platform/FilePanels.h"
#include "platform/FinalCutSupport.h"
#include "platform/Workspace.h"
#include "preview/LivePreviewSession.h"
#include "session/OffMainThread.h"
#include "session/SaveJob.h"

#include <QCoreApplication>
#include <QPointer>
#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace {

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

SessionModel::SessionModel(SessionServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), preview_(std::move(services_.preview)),
      status_(QStringLiteral("Choose a stitched 360\u00B0 MP4 or MOV to begin.")),
      angles_(AngleSettings::startingViews(this)), loadID_(QUuid::createUuid()) {
    Q_ASSERT(services_.inspect && services_.write && services_.installDTD &&
             services_.recallMacFolder && services_.rememberMacFolder && services_.workspace &&
             services_.panels && preview_);
    editedState_ = editableState();
    for (int i = 0; i < int(angles_.size()); ++i) {
        connect(angles_[i], &AngleSettings::titleChanged, this, [this, i] {
            noteEdit({EditHistory::Touch::title, i});
        });
        connect(angles_[i], &AngleSettings::framingChanged, this, [this, i] {
            noteEdit({EditHistory::Touch::framing, i});
        });
    }
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
    // The prepared framings and the shape are one step.
    beginEdit();
    // Views are prepared before anyone hears of the new format, so a card that redraws on the
    // change already finds its portrait framing.
    for (AngleSettings* view : std::as_const(angles_)) {
        AngleFraming framing = view->framing();
        framing.prepareForSelection(format);
        view->setFraming(framing);
    }
    if (format != outputFormat_) {
        outputFormat_ = format;
        emit outputFormatChanged();
        noteEdit({EditHistory::Touch::format});
    }
    endEdit();
}

void SessionModel::setOutputResolution(OutputResolution resolution) {
    if (resolution == outputResolution_)
        return;
    outputResolution_ = resolution;
    emit outputResolutionChanged();
    noteEdit({EditHistory::Touch::resolution});
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
    noteEdit({EditHistory::Touch::angleCount});
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
    recallMacFolder(url);
    // A new source starts a new history.
    history_.clear();
    editedState_ = editableState();
    emit historyChanged();
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
