#pragma once

#include "preview/LivePreviewSession.h"
#include "session/SessionModel.h"
#include "ui/AlertDialog.h"
#include "ui/AnglePreviewFactory.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class AngleCard;
class BusyIndicator;
class ElidedLabel;
class PlaybackControls;
class ProjectNameEditor;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class SegmentedControl;
class SphereOverviewPanel;
class Workspace;

// The whole window content: one scrolling column from the tool's promise at the top, through
// the options, the source, playback and the cards, to naming, saving and the outcome. It owns
// the window's session model and is the only place where user actions reach it.
class MainView : public QWidget {
    Q_OBJECT

public:
    // The session model is built on the services; the previews on the cards come from
    // makePreview. The launch arguments are searched for "--source" when the view is first shown.
    MainView(SessionServices services, QStringList launchArguments, AnglePreviewFactory makePreview,
             OverviewFactory makeOverview = {}, QWidget* parent = nullptr);
    ~MainView() override;

    SessionModel& model() const { return *model_; }

    static constexpr int minimumContentWidth = 1180;
    static constexpr int minimumContentHeight = 800;

    // The parts, for tests and assistive tools.
    QScrollArea* scrollArea() const { return scrollArea_; }
    QLabel* subtitle() const { return subtitle_; }
    SegmentedControl* angleCountControl() const { return angleCountControl_; }
    SegmentedControl* formatControl() const { return formatControl_; }
    QWidget* resolutionRow() const { return resolutionRow_; }
    QComboBox* resolutionPicker() const { return resolutionPicker_; }
    QPushButton* chooseSourceButton() const { return chooseSourceButton_; }
    ElidedLabel* sourceLine() const { return sourceLine_; }
    QLabel* dimensionsLine() const { return dimensionsLine_; }
    BusyIndicator* loadingIndicator() const { return loadingIndicator_; }
    PlaybackControls* playbackControls() const { return playback_; }
    SphereOverviewPanel* overview() const { return overview_; }
    QWidget* cardRow() const { return cardRow_; }
    QList<AngleCard*> cards() const;
    ProjectNameEditor* nameEditor() const { return nameEditor_; }
    QWidget* saveRow() const { return saveRow_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* saveAndOpenButton() const { return saveAndOpenButton_; }
    BusyIndicator* busyIndicator() const { return busyIndicator_; }
    QLabel* statusLine() const { return statusLine_; }
    QWidget* lastExportRow() const { return lastExportRow_; }
    QPushButton* openSavedButton() const { return openSavedButton_; }
    QPushButton* revealButton() const { return revealButton_; }
    QLabel* lastExportName() const { return lastExportName_; }
    // The error alert while it is shown.
    AlertDialog* errorAlert() const { return errorAlert_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeOptionRow(const QString& label, QWidget* control, int controlWidth,
                           const QString& caption);
    QWidget* makeSourceRow();
    QWidget* makeSaveRow();
    QWidget* makeStatusBlock();
    void connectModel();
    // Space, the arrows, Home and End for playback; Ctrl+Z and Ctrl+Shift+Z for the edits.
    void addShortcuts();
    void startUp();

    bool busy() const;
    void refreshAngleCount();
    void refreshFormat();
    void refreshResolution();
    void refreshSource();
    void refreshEnablement();
    void refreshNaming();
    void refreshLastExport();
    void refreshErrorAlert();
    void refreshMacFolder();
    void alertFinished(int result);
    void rebuildCards();
    // Tab goes through the window top to bottom, the cards in number order.
    void refreshTabOrder();

    std::shared_ptr<const Workspace> workspace_;
    SessionModel* model_;
    QStringList launchArguments_;
    AnglePreviewFactory makePreview_;
    bool shownBefore_ = false;

    QScrollArea* scrollArea_ = nullptr;
    QLabel* subtitle_ = nullptr;
    SegmentedControl* angleCountControl_ = nullptr;
    SegmentedControl* formatControl_ = nullptr;
    QWidget* resolutionRow_ = nullptr;
    QComboBox* resolutionPicker_ = nullptr;
    QPushButton* chooseSourceButton_ = nullptr;
    ElidedLabel* sourceLine_ = nullptr;
    QLabel* dimensionsLine_ = nullptr;
    BusyIndicator* loadingIndicator_ = nullptr;
    PlaybackControls* playback_ = nullptr;
    SphereOverviewPanel* overview_ = nullptr;
    QWidget* cardRow_ = nullptr;
    QHBoxLayout* cardLayout_ = nullptr;
    QHash<QString, AngleCard*> cards_;
    ProjectNameEditor* nameEditor_ = nullptr;
    QWidget* saveRow_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* saveAndOpenButton_ = nullptr;
    BusyIndicator* busyIndicator_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QWidget* lastExportRow_ = nullptr;
    QPushButton* openSavedButton_ = nullptr;
    QPushButton* revealButton_ = nullptr;
    QLabel* lastExportName_ = nullptr;
    QPointer<AlertDialog> errorAlert_;
};
