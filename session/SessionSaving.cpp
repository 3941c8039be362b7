// Saving the multicam XML, choosing the DTD when none is found, pointing the document at a Mac
// folder, and handing the saved file to Final Cut Pro.
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
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <qcoro/qcorofuture.h>

namespace {

const QString exportFailedStatus =
    QStringLiteral("Export did not finish. Review the error, then try again.");
const QString savingStatus =
    QStringLiteral("Validating source and saving the multicam setup\u2026");

bool fileExists(const QUrl& url) {
    return url.isLocalFile() && FileNames::fileExists(url.toLocalFile());
}

// A directory entry of any kind, a dangling symbolic link included: a save never goes there.
bool somethingExistsAt(const QUrl& url) {
    return url.isLocalFile() && FileNames::entryExists(url.toLocalFile());
}

// Final Cut Pro imports only ".fcpxml" files; a name typed without it gets it.
QUrl withDocumentExtension(const QUrl& url) {
    const QString path = url.toLocalFile();
    if (!url.isLocalFile() || path.endsWith(QLatin1String(".fcpxml"), Qt::CaseInsensitive))
        return url;
    return QUrl::fromLocalFile(path + QStringLiteral(".fcpxml"));
}

} // namespace

ProjectSetup SessionModel::projectSetup() const {
    return {framedViews(activeAngles(), outputFormat_),
            outputFormat_,
            outputResolution_,
            projectNaming_,
            layout_,
            macFolderMapping()};
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

    cancelDTDRequest();
    setExporting(true);
    preview_->pause();
    const QPointer<SessionModel> self(this);
    const std::optional<QUrl> chosen = services_.panels->runSavePanel(request);
    if (!self)
        return;
    if (!chosen) {
        setExporting(false);
        return;
    }
    const QUrl destination = withDocumentExtension(*chosen);
    if (somethingExistsAt(destination)) {
        setErrorMessage(QStringLiteral(
            "Please choose a new filename. This prototype preserves existing XML files."));
        setExporting(false);
        return;
    }

    job.request.destination = destination;
    setStatus(savingStatus);
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
        try {
            std::rethrow_exception(saved.error);
        } catch (const MissingDTDError&) {
            // Kept whole, so that the save can run again once the user has chosen a DTD.
            pendingSave_ = std::make_unique<SaveJob>(job);
            emit awaitingDTDChanged();
        } catch (...) {
        }
        setErrorMessage(localizedDescription(saved.error));
        setStatus(exportFailedStatus);
        setExporting(false);
        co_return;
    }
    finishSave(job);
}

void SessionModel::finishSave(const SaveJob& job) {
    const QUrl destination = job.request.destination;
    setLastExport(destination);
    const QString cutWith = QStringLiteral("open the project ending in \u2018\u2014 Edit\u2019, "
                                           "and cut with ") +
                            job.keyInstruction + QStringLiteral(".");
    if (job.request.macFolder) {
        services_.rememberMacFolder(job.request.macFolder->localFolder,
                                    job.request.macFolder->macFolder);
        setStatus(QStringLiteral("XML saved, pointing at \u201C") +
                  FileNames::displayText(ExportRequests::mediaPath(job.request)) +
                  QStringLiteral("\u201D on the Mac. Import it into Final Cut Pro, ") + cutWith);
    } else {
        setStatus(QStringLiteral("XML saved. Import it into Final Cut Pro, ") + cutWith);
    }
    if (job.openAfterSaving)
        openSavedXMLInFinalCut(destination);
    setExporting(false);
}

void SessionModel::chooseDTD() {
    if (!pendingSave_ || exporting_ || openingFinalCut_)
        return;
    OpenPanelRequest request;
    request.message = QStringLiteral("Choose FCPXMLv1_14.dtd, copied from Final Cut Pro.");
    request.mimeTypes = {QStringLiteral("application/xml-dtd")};
    setErrorMessage(std::nullopt);
    setExporting(true);
    const QPointer<SessionModel> self(this);
    const std::optional<QUrl> file = services_.panels->runOpenPanel(request);
    if (!self)
        return;
    if (!file || !file->isLocalFile()) {
        cancelDTDRequest();
        setExporting(false);
        return;
    }
    installDTDAndSave(file->toLocalFile());
}

QCoro::Task<> SessionModel::installDTDAndSave(QString file) {
    const QPointer<SessionModel> self(this);
    QFuture<Attempt<std::monostate>> installing =
        runOffMainThread([install = services_.installDTD, file] { install(file); });
    const Attempt<std::monostate> installed = co_await installing;
    if (!self)
        co_return;
    if (installed.error || !pendingSave_) {
        // The choice stays open: the alert offers another file.
        setErrorMessage(localizedDescription(installed.error));
        setExporting(false);
        co_return;
    }
    SaveJob job = std::move(*pendingSave_);
    pendingSave_.reset();
    emit awaitingDTDChanged();
    setStatus(savingStatus);
    save(std::move(job));
}

void SessionModel::cancelDTDRequest() {
    if (!pendingSave_)
        return;
    pendingSave_.reset();
    emit awaitingDTDChanged();
}

std::optional<MacFolderMapping> SessionModel::macFolderMapping() const {
    if (!pointsAtMacFolder_)
        return std::nullopt;
    return MacFolderMapping{localMediaFolder_, macMediaFolder_};
}

void SessionModel::setPointsAtMacFolder(bool on) {
    if (on == pointsAtMacFolder_)
        return;
    pointsAtMacFolder_ = on;
    emit macFolderChanged();
}

void SessionModel::setLocalMediaFolder(const QString& folder) {
    if (folder == localMediaFolder_)
        return;
    localMediaFolder_ = folder;
    emit macFolderChanged();
}

void SessionModel::setMacMediaFolder(const QString& folder) {
    if (folder == macMediaFolder_)
        return;
    macMediaFolder_ = folder;
    emit macFolderChanged();
}

void SessionModel::recallMacFolder(const QUrl& source) {
    const QString folder = QFileInfo(source.toLocalFile()).absolutePath();
    const std::optional<QString> mac = services_.recallMacFolder(folder);
    localMediaFolder_ = folder;
    macMediaFolder_ = mac.value_or(macMediaFolder_);
    pointsAtMacFolder_ = mac.has_value();
    emit macFolderChanged();
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
