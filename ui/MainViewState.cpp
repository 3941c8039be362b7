// How the main window follows its session model: each model change refreshes only the parts
// that show it, and the error alert, the start-up opening and the pause on closing.
#include "ui/MainView.h"

#include "model/FileNames.h"
#include "preview/LivePreviewSession.h"
#include "ui/AlertDialog.h"
#include "ui/AngleCard.h"
#include "ui/BusyIndicator.h"
#include "ui/ElidedLabel.h"
#include "ui/LaunchArguments.h"
#include "ui/MacFolderEditor.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"
#include "ui/WheelGuard.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

void MainView::connectModel() {
    SessionModel* m = model_;
    connect(m, &SessionModel::angleCountChanged, this, [this] {
        refreshAngleCount();
        rebuildCards();
        refreshNaming();
    });
    connect(m, &SessionModel::outputFormatChanged, this, [this] {
        refreshFormat();
        refreshNaming();
    });
    connect(m, &SessionModel::outputResolutionChanged, this, [this] {
        refreshResolution();
        refreshNaming();
    });
    connect(m, &SessionModel::projectNamingChanged, this, &MainView::refreshNaming);
    connect(m, &SessionModel::sourceChanged, this, [this] {
        refreshSource();
        refreshEnablement();
    });
    connect(m, &SessionModel::dimensionsChanged, this, &MainView::refreshSource);
    for (auto signal : {&SessionModel::loadingChanged, &SessionModel::exportingChanged,
                        &SessionModel::openingFinalCutChanged})
        connect(m, signal, this, &MainView::refreshEnablement);
    connect(m, &SessionModel::statusChanged, this,
            [this] { statusLine_->setText(model_->status()); });
    connect(m, &SessionModel::errorMessageChanged, this, &MainView::refreshErrorAlert);
    connect(m, &SessionModel::lastExportChanged, this, &MainView::refreshLastExport);

    connect(angleCountControl_, &SegmentedControl::valueChosen, m, &SessionModel::setAngleCount);
    connect(formatControl_, &SegmentedControl::valueChosen, m,
            [m](int format) { m->setOutputFormat(OutputFormat(OutputFormat::Case(format))); });
    connect(resolutionPicker_, &QComboBox::activated, m, [this](int index) {
        const auto resolution = OutputResolution::Case(resolutionPicker_->itemData(index).toInt());
        model_->setOutputResolution(resolution);
    });
    connect(nameEditor_, &ProjectNameEditor::baseNameEdited, m, &SessionModel::setProjectBaseName);
    connect(nameEditor_, &ProjectNameEditor::usesVideoFilenameToggled, m,
            &SessionModel::setUsesVideoFilename);
    connect(nameEditor_, &ProjectNameEditor::appendsDetailsToggled, m,
            &SessionModel::setAppendsNameDetails);
    MacFolderEditor* mac = nameEditor_->macFolderEditor();
    connect(mac, &MacFolderEditor::pointsAtMacToggled, m, &SessionModel::setPointsAtMacFolder);
    connect(mac, &MacFolderEditor::localFolderEdited, m, &SessionModel::setLocalMediaFolder);
    connect(mac, &MacFolderEditor::macFolderEdited, m, &SessionModel::setMacMediaFolder);
    connect(m, &SessionModel::macFolderChanged, this, &MainView::refreshMacFolder);
    connect(m, &SessionModel::awaitingDTDChanged, this, &MainView::refreshErrorAlert);
}

bool MainView::busy() const {
    return model_->exporting() || model_->openingFinalCut();
}

void MainView::refreshAngleCount() {
    angleCountControl_->setValue(model_->angleCount());
    subtitle_->setText(
        QStringLiteral("Set up your views here. Record your cuts in Final Cut Pro with ") +
        model_->keyInstruction() + QStringLiteral("."));
}

void MainView::refreshFormat() {
    const OutputFormat format = model_->outputFormat();
    formatControl_->setValue(int(format.value()));
    for (AngleCard* card : cards())
        card->setFormat(format);
    // The items follow the shape; the chosen size class stays chosen.
    for (int i = 0; i < resolutionPicker_->count(); ++i) {
        const OutputResolution resolution(
            OutputResolution::Case(resolutionPicker_->itemData(i).toInt()));
        resolutionPicker_->setItemText(i, resolution.displayName() + QStringLiteral(" · ") +
                                              format.dimensions(resolution).displayName());
    }
}

void MainView::refreshResolution() {
    resolutionPicker_->setCurrentIndex(
        resolutionPicker_->findData(int(model_->outputResolution().value())));
}

void MainView::refreshSource() {
    const auto& source = model_->source();
    if (source) {
        sourceLine_->setFullText(FileNames::displayText(source->fileName()));
        sourceLine_->setToolTip(FileNames::displayText(source->toLocalFile()));
        dimensionsLine_->setText(model_->dimensions());
    } else {
        sourceLine_->setFullText(
            QStringLiteral("Stitched, full-sphere MP4 / MOV • 2:1 equirectangular"));
        sourceLine_->setToolTip({});
        dimensionsLine_->setText(
            QStringLiteral("For .insv files, export a 360° video from Insta360 Studio first."));
    }
}

void MainView::refreshEnablement() {
    const bool isBusy = busy();
    const bool loading = model_->loading();
    const bool hasSource = model_->source().has_value();
    angleCountControl_->setEnabled(!isBusy);
    formatControl_->setEnabled(!isBusy);
    resolutionRow_->setEnabled(!isBusy);
    chooseSourceButton_->setEnabled(!loading && !isBusy);
    loadingIndicator_->setVisible(loading);
    playback_->setControlsEnabled(hasSource && !loading && !isBusy);
    cardRow_->setEnabled(!isBusy);
    nameEditor_->setEnabled(!isBusy);
    saveRow_->setEnabled(!isBusy);
    saveButton_->setEnabled(hasSource && !loading);
    saveAndOpenButton_->setEnabled(hasSource && !loading);
    busyIndicator_->setVisible(isBusy);
    openSavedButton_->setEnabled(!isBusy);
}

void MainView::refreshNaming() {
    nameEditor_->setUsesVideoFilename(model_->usesVideoFilename());
    nameEditor_->setAppendsDetails(model_->appendsNameDetails());
    nameEditor_->setBaseName(model_->projectBaseName());
    nameEditor_->setSuffix(model_->projectNameSuffix());
    nameEditor_->setFilename(model_->projectFilename());
}

void MainView::refreshLastExport() {
    const auto& saved = model_->lastExport();
    lastExportRow_->setVisible(saved.has_value());
    lastExportName_->setText(saved ? FileNames::displayText(saved->fileName()) : QString());
}

void MainView::refreshErrorAlert() {
    const auto& message = model_->errorMessage();
    if (!message) {
        if (errorAlert_)
            errorAlert_->close();
        return;
    }
    if (!errorAlert_) {
        errorAlert_ = new AlertDialog(QStringLiteral("Could not complete this step"), this);
        errorAlert_->setAttribute(Qt::WA_DeleteOnClose);
        connect(errorAlert_, &QDialog::finished, this, &MainView::alertFinished);
    }
    errorAlert_->setMessage(*message);
    errorAlert_->clearButtons();
    if (model_->awaitingDTD()) {
        errorAlert_->addButton(QStringLiteral("Choose DTD\u2026"), QDialog::Accepted);
        errorAlert_->addButton(QStringLiteral("Cancel"), QDialog::Rejected);
    } else {
        errorAlert_->addButton(QStringLiteral("OK"), QDialog::Rejected);
    }
    errorAlert_->open();
}

// Any way of dismissing the alert clears the message; the model never does.
void MainView::alertFinished(int result) {
    if (result == QDialog::Accepted && model_->awaitingDTD()) {
        model_->chooseDTD();
        return;
    }
    model_->cancelDTDRequest();
    model_->setErrorMessage(std::nullopt);
}

void MainView::refreshMacFolder() {
    nameEditor_->macFolderEditor()->showMapping(
        model_->pointsAtMacFolder(), model_->localMediaFolder(), model_->macMediaFolder());
}

void MainView::rebuildCards() {
    const QList<AngleSettings*> active = model_->activeAngles();
    QHash<QString, AngleCard*> kept;
    for (AngleSettings* settings : active) {
        AngleCard* card = cards_.take(settings->id());
        if (!card) {
            card =
                new AngleCard(*settings, *model_->preview(), model_->outputFormat(), makePreview_);
            connect(card, &AngleCard::editStarted, model_, &SessionModel::beginEdit);
            connect(card, &AngleCard::editFinished, model_, &SessionModel::endEdit);
        }
        kept.insert(settings->id(), card);
    }
    // Cards of views that are no longer active go, with their preview surfaces.
    qDeleteAll(cards_);
    cards_ = kept;
    for (AngleCard* card : std::as_const(cards_))
        cardLayout_->removeWidget(card);
    for (AngleSettings* settings : active)
        cardLayout_->addWidget(cards_.value(settings->id()), 1);
    WheelGuard::protect(cardRow_);
    refreshTabOrder();
}

void MainView::refreshTabOrder() {
    QList<QWidget*> order;
    const auto add = [&order](QWidget* widget) {
        if (widget && widget->focusPolicy() & Qt::TabFocus)
            order.append(widget);
    };
    for (SegmentedControl* control : {angleCountControl_, formatControl_})
        for (QAbstractButton* segment : control->segments())
            add(segment);
    add(resolutionPicker_);
    add(chooseSourceButton_);
    for (QWidget* widget : playback_->focusOrder())
        add(widget);
    for (AngleCard* card : cards())
        for (QWidget* widget : card->focusOrder())
            add(widget);
    for (QWidget* widget : nameEditor_->focusOrder())
        add(widget);
    for (QPushButton* button : {saveButton_, saveAndOpenButton_, openSavedButton_, revealButton_})
        add(button);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainView::addShortcuts() {
    LivePreviewSession* preview = model_->preview();
    const auto add = [this](const QKeySequence& keys, auto action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    // Playback keys act only on an open source the bar allows; text fields keep their keys, as
    // they take them before any shortcut.
    const auto whenPlayable = [this, preview](auto action) {
        return [this, preview, action] {
            if (playback_->controlsEnabled() && preview->isReady())
                action();
        };
    };
    add(Qt::Key_Space, whenPlayable([preview] { preview->togglePlayback(); }));
    add(Qt::Key_Left, whenPlayable([preview] { preview->stepFrames(-1); }));
    add(Qt::Key_Right, whenPlayable([preview] { preview->stepFrames(1); }));
    add(QKeySequence(Qt::SHIFT | Qt::Key_Left),
        whenPlayable([preview] { preview->stepSeconds(-1.0); }));
    add(QKeySequence(Qt::SHIFT | Qt::Key_Right),
        whenPlayable([preview] { preview->stepSeconds(1.0); }));
    add(Qt::Key_Home, whenPlayable([preview] { preview->seek(0); }));
    add(Qt::Key_End, whenPlayable([preview] { preview->seek(preview->duration()); }));
    add(QKeySequence::Undo, [this] {
        if (!busy())
            model_->undo();
    });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] {
        if (!busy())
            model_->redo();
    });
}

void MainView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownBefore_)
        return;
    shownBefore_ = true;
    // After the window is on screen, as the user's own choice would come.
    QTimer::singleShot(0, this, &MainView::startUp);
}

void MainView::startUp() {
    if (const std::optional<QUrl> source = sourceArgument(launchArguments_))
        model_->open(*source);
}

void MainView::hideEvent(QHideEvent* event) {
    // Closing stops playback and its sound; minimising does not.
    if (!event->spontaneous())
        model_->preview()->pause();
    QWidget::hideEvent(event);
}
