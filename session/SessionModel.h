#pragma once

#include "model/AngleSettings.h"
#include "model/ExportMediaInfo.h"
#include "model/ExportRequest.h"
#include "model/OutputFormat.h"
#include "model/ProjectNaming.h"
#include "session/EditHistory.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class FilePanels;
class LivePreviewSession;
class Workspace;

// Everything the session model reaches outside itself, all of it required. The application
// gives it the real ones (the media inspector, the FCPXML writer, the desktop, Qt's file dialogs
// and a preview engine drawing through OpenGL); tests give it what they need to control.
struct SessionServices {
    // Both run on a worker thread with their own copies of the arguments.
    std::function<ExportMediaInfo(const QUrl& url, std::stop_token stop)> inspect;
    // Writes the request's document as a new file at its destination, or throws; MissingDTDError
    // when no FCPXML 1.14 DTD can be found to validate it.
    std::function<void(const ExportRequest& request)> write;
    // Keeps a copy of the FCPXML 1.14 DTD the user chose where every later save finds it, or
    // throws with the sentence to show. Runs on a worker thread.
    std::function<void(const QString& file)> installDTD;
    // The Mac folder last used for a folder of this computer, and remembering one, between runs.
    std::function<std::optional<QString>(const QString& localFolder)> recallMacFolder;
    std::function<void(const QString& localFolder, const QString& macFolder)> rememberMacFolder;
    std::shared_ptr<const Workspace> workspace;
    std::shared_ptr<FilePanels> panels;
    std::unique_ptr<LivePreviewSession> preview;
};

// The window's application state: the open source and its preview, the project's shape, size
// and naming, the four camera views, and the opening, saving and Final Cut hand-off flows with
// the texts that tell the user what is happening. Lives on the main thread; every setter
// notifies only when the value really changes, except the naming pass-throughs, which notify
// projectNamingChanged on every accepted assignment.
//
// Derived values change with: activeAngles and keyInstruction with angleCount;
// projectNameSuffix and projectFilename with projectNaming, angleCount, outputFormat and
// outputResolution.
class SessionModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString dimensions READ dimensions NOTIFY dimensionsChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(bool openingFinalCut READ openingFinalCut NOTIFY openingFinalCutChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(int angleCount READ angleCount WRITE setAngleCount NOTIFY angleCountChanged)
    Q_PROPERTY(bool awaitingDTD READ awaitingDTD NOTIFY awaitingDTDChanged)

public:
    explicit SessionModel(SessionServices services, QObject* parent = nullptr);
    ~SessionModel() override;

    // The video currently open; absent while one is being opened or after a failed opening.
    const std::optional<QUrl>& source() const { return source_; }
    // The same engine for the model's whole life.
    LivePreviewSession* preview() const { return preview_.get(); }
    // "5760 × 2880 · 29.970 fps · 62.5 sec" for the last video opened successfully.
    const QString& dimensions() const { return dimensions_; }
    bool loading() const { return loading_; }
    bool exporting() const { return exporting_; }
    bool openingFinalCut() const { return openingFinalCut_; }

    const QString& status() const { return status_; }
    void setStatus(const QString& status);

    // The last failure, shown until the window clears it.
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(const std::optional<QString>& message);

    const std::optional<QUrl>& lastExport() const { return lastExport_; }

    const ProjectNaming& projectNaming() const { return projectNaming_; }
    void setProjectNaming(const ProjectNaming& naming);

    OutputFormat outputFormat() const { return outputFormat_; }
    // Every assignment also prepares each view's portrait framing for the format.
    void setOutputFormat(OutputFormat format);

    OutputResolution outputResolution() const { return outputResolution_; }
    void setOutputResolution(OutputResolution resolution);

    ExportLayout layout() const { return layout_; }
    void setLayout(ExportLayout layout);

    int angleCount() const { return angleCount_; }
    void setAngleCount(int count);

    // All four views, in key order; their titles and framings notify on the views themselves.
    const QList<AngleSettings*>& angles() const { return angles_; }
    // The generation token of the latest opening.
    QUuid loadID() const { return loadID_; }

    QList<AngleSettings*> activeAngles() const;
    QString keyInstruction() const;

    QString projectBaseName() const;
    // Ignored while the name follows the video's file name.
    void setProjectBaseName(const QString& name);
    bool usesVideoFilename() const;
    void setUsesVideoFilename(bool uses);
    bool appendsNameDetails() const;
    void setAppendsNameDetails(bool appends);
    QString projectNameSuffix() const;
    QString projectFilename() const;

    // Runs the open panel and, when a file is chosen, starts opening it.
    void chooseSource();
    // Never throws to its caller: every failure ends in errorMessage and status. When another
    // opening starts meanwhile, this one's results are dropped.
    QCoro::Task<> open(QUrl url);
    // Checks the views, runs the save panel and starts saving; returns once the panel closed.
    void exportXML(bool openAfterSaving);
    // Returns at once; the outcome arrives later on the main thread.
    void openSavedXMLInFinalCut(const QUrl& url);

    // Undo and redo of the views' names and framings (a drag or a slider's run is one step), the
    // number of views, the shape and the size. Opening a source starts a new history.
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    void undo();
    void redo();
    // Edits between these make one step.
    void beginEdit();
    void endEdit();

    // A save stopped because no FCPXML 1.14 DTD was found; it waits for the user to choose one.
    bool awaitingDTD() const { return pendingSave_ != nullptr; }
    // Runs the open panel for the DTD, keeps a copy and runs the waiting save again with the
    // values it took when it first started.
    void chooseDTD();
    // Gives the waiting save up.
    void cancelDTDRequest();

    // Pointing the saved document at the media on a Mac: on or off, this computer's folder (the
    // source's folder when a video opens) and the folder on the Mac.
    std::optional<MacFolderMapping> macFolderMapping() const;
    bool pointsAtMacFolder() const { return pointsAtMacFolder_; }
    void setPointsAtMacFolder(bool on);
    const QString& localMediaFolder() const { return localMediaFolder_; }
    void setLocalMediaFolder(const QString& folder);
    const QString& macMediaFolder() const { return macMediaFolder_; }
    void setMacMediaFolder(const QString& folder);

signals:
    void sourceChanged();
    void dimensionsChanged();
    void loadingChanged();
    void exportingChanged();
    void openingFinalCutChanged();
    void statusChanged();
    void errorMessageChanged();
    void lastExportChanged();
    void projectNamingChanged();
    void outputFormatChanged();
    void outputResolutionChanged();
    void layoutChanged();
    void angleCountChanged();
    // Never emitted: the four views are created with the model and never replaced.
    void anglesChanged();
    void awaitingDTDChanged();
    void historyChanged();
    // Any of pointsAtMacFolder, localMediaFolder and macMediaFolder.
    void macFolderChanged();

private:
    struct SaveJob;

    ProjectSetup projectSetup() const;
    QCoro::Task<> save(SaveJob job);
    QCoro::Task<> installDTDAndSave(QString file);
    void finishSave(const SaveJob& job);
    void recallMacFolder(const QUrl& source);
    EditableState editableState() const;
    void noteEdit(EditHistory::Touch touch);
    void restore(const EditableState& state);
    void failOpening(const std::exception_ptr& error);
    void finishHandOff(const std::optional<QString>& error);

    void setSource(const std::optional<QUrl>& source);
    void setDimensions(const QString& dimensions);
    void setLoading(bool loading);
    void setExporting(bool exporting);
    void setOpeningFinalCut(bool opening);
    void setLastExport(const std::optional<QUrl>& url);

    SessionServices services_;
    std::optional<QUrl> source_;
    std::unique_ptr<LivePreviewSession> preview_;
    QString dimensions_;
    bool loading_ = false;
    bool exporting_ = false;
    bool openingFinalCut_ = false;
    QString status_;
    std::optional<QString> errorMessage_;
    std::optional<QUrl> lastExport_;
    ProjectNaming projectNaming_;
    OutputFormat outputFormat_ = OutputFormat::landscape;
    OutputResolution outputResolution_ = OutputResolution::ultraHD;
    ExportLayout layout_ = ExportLayout::direct;
    int angleCount_ = 4;
    QList<AngleSettings*> angles_;
    QUuid loadID_;
    // Asks the inspection of the latest opening to give up once it has been superseded.
    std::stop_source inspectionStop_;
    std::unique_ptr<SaveJob> pendingSave_;
    EditHistory history_;
    // The state after the last edit: what an edit changes from.
    EditableState editedState_;
    bool restoring_ = false;
    bool pointsAtMacFolder_ = false;
    QString localMediaFolder_;
    QString macMediaFolder_;
};
