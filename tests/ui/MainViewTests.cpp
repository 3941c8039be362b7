#include "ui/MainView.h"

#include "UiTestSupport.h"
#include "WindowRig.h"
#include "media/MediaInspector.h"
#include "model/AngleSettings.h"
#include "model/UserError.h"
#include "ui/AngleCard.h"
#include "ui/AnglePreviewBox.h"
#include "ui/BusyIndicator.h"
#include "ui/ElidedLabel.h"
#include "ui/NumericControl.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

class MainViewTest : public testing::Test {
protected:
    WindowRig rig;
    QTemporaryDir folder;

    // Opens the shared sample through the open panel, as a user does.
    void openSample(MainView& view) {
        const QUrl clip = QUrl::fromLocalFile(cachedSampleClip());
        rig.panels->onOpen = [clip](const OpenPanelRequest&) { return clip; };
        view.chooseSourceButton()->click();
        ASSERT_TRUE(waitUntil([&] { return view.model().source().has_value(); }));
        ASSERT_TRUE(waitUntil([&] { return !view.model().loading(); }));
    }

    QUrl saveDestination(const QString& name) {
        const QUrl url = QUrl::fromLocalFile(folder.filePath(name));
        rig.panels->onSave = [url](const SavePanelRequest&) { return url; };
        return url;
    }
};

QStringList itemTexts(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

TEST_F(MainViewTest, TheControlsFollowTheEnableRulesThroughOpeningAndSaving) {
    auto view = rig.makeView();
    view->show();
    //                         views  format resol. choose play  cards  name  saverow save  s&o
    //                         opened reveal
    const Enablement idle{true, true, true,  true,  false, true,
                          true, true, false, false, true,  true};
    EXPECT_EQ(enablement(*view), idle);
    EXPECT_TRUE(view->loadingIndicator()->isHidden());
    EXPECT_TRUE(view->busyIndicator()->isHidden());

    // Opening: the inspection waits at a gate.
    Gate inspection;
    *rig.inspectHook = [&inspection](const QUrl& url) {
        inspection.pass();
        return MediaInspector::inspect(url);
    };
    const QUrl clip = QUrl::fromLocalFile(cachedSampleClip());
    rig.panels->onOpen = [clip](const OpenPanelRequest&) { return clip; };
    view->chooseSourceButton()->click();
    ASSERT_TRUE(view->model().loading());
    const Enablement opening{true, true, true,  false, false, true,
                             true, true, false, false, true,  true};
    EXPECT_EQ(enablement(*view), opening);
    EXPECT_FALSE(view->loadingIndicator()->isHidden());
    EXPECT_EQ(view->statusLine()->text(),
              QStringLiteral("Reading video and preparing live previews…"));
    EXPECT_EQ(view->sourceLine()->fullText(),
              QStringLiteral("Stitched, full-sphere MP4 / MOV • 2:1 equirectangular"));
    inspection.open();
    ASSERT_TRUE(waitUntil([&] { return !view->model().loading(); }));
    ASSERT_TRUE(view->model().source().has_value());

    const Enablement open{true, true, true, true, true, true, true, true, true, true, true, true};
    EXPECT_EQ(enablement(*view), open);
    EXPECT_TRUE(view->loadingIndicator()->isHidden());
    EXPECT_TRUE(view->playbackControls()->playButton()->isEnabled());
    EXPECT_EQ(view->sourceLine()->fullText(), QFileInfo(clip.toLocalFile()).fileName());
    EXPECT_EQ(view->sourceLine()->toolTip(), clip.toLocalFile());
    EXPECT_EQ(view->dimensionsLine()->text(), view->model().dimensions());
    EXPECT_TRUE(
        view->dimensionsLine()->text().startsWith(QStringLiteral("512 × 256 · 30.000 fps")));

    // A first save, so that the row of the saved file exists.
    const QUrl first = saveDestination(QStringLiteral("first.fcpxml"));
    view->saveButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view->model().lastExport().has_value(); }));
    ASSERT_TRUE(waitUntil([&] { return !view->model().exporting(); }));
    EXPECT_FALSE(view->lastExportRow()->isHidden());
    EXPECT_EQ(view->lastExportName()->text(), QStringLiteral("first.fcpxml"));

    // Saving: the panel sees the window busy, and so does the writer waiting at its gate.
    std::optional<Enablement> duringPanel;
    const QUrl second = QUrl::fromLocalFile(folder.filePath(QStringLiteral("second.fcpxml")));
    rig.panels->onSave = [&](const SavePanelRequest&) {
        duringPanel = enablement(*view);
        return second;
    };
    Gate writing;
    *rig.writeHook = [&writing](const QUrl&) { writing.pass(); };
    view->saveAndOpenButton()->click();
    const Enablement saving{false, false, false, false, false, false,
                            false, false, false, false, false, true};
    ASSERT_TRUE(duringPanel.has_value());
    EXPECT_EQ(*duringPanel, saving);
    ASSERT_TRUE(view->model().exporting());
    EXPECT_EQ(enablement(*view), saving);
    EXPECT_FALSE(view->busyIndicator()->isHidden());
    EXPECT_EQ(view->statusLine()->text(),
              QStringLiteral("Validating source and saving the multicam setup…"));
    view->revealButton()->click();
    EXPECT_EQ(rig.workspace->revealed, QList<QUrl>{first});
    writing.open();
    ASSERT_TRUE(waitUntil([&] { return !view->model().exporting(); }));
    // No Final Cut Pro on the fake desktop: the save stands and the alert says so.
    EXPECT_EQ(view->model().lastExport(), second);
    EXPECT_EQ(enablement(*view), open);
    EXPECT_TRUE(view->busyIndicator()->isHidden());
    ASSERT_NE(view->errorAlert(), nullptr);
}

TEST_F(MainViewTest, WithoutASourceTheWindowSaysWhatToChoose) {
    auto view = rig.makeView();
    view->show();
    EXPECT_EQ(view->sourceLine()->fullText(),
              QStringLiteral("Stitched, full-sphere MP4 / MOV • 2:1 equirectangular"));
    EXPECT_EQ(view->sourceLine()->toolTip(), QString());
    EXPECT_EQ(view->dimensionsLine()->text(),
              QStringLiteral("For .insv files, export a 360° video from Insta360 Studio first."));
    EXPECT_EQ(view->statusLine()->text(),
              QStringLiteral("Choose a stitched 360° MP4 or MOV to begin."));
    EXPECT_FALSE(view->saveButton()->isEnabled());
    EXPECT_FALSE(view->saveAndOpenButton()->isEnabled());
    EXPECT_EQ(view->saveAndOpenButton()->accessibleName(),
              QStringLiteral("Save & Open in Final Cut…"));
    EXPECT_EQ(view->saveAndOpenButton()->text(), QStringLiteral("Save && Open in Final Cut…"));
    const PlaybackControls* playback = view->playbackControls();
    EXPECT_FALSE(playback->playButton()->isEnabled());
    EXPECT_FALSE(playback->positionSlider()->isEnabled());
    EXPECT_FALSE(playback->muteButton()->isEnabled());
    EXPECT_EQ(playback->timeText()->text(), QStringLiteral("0:00 / 0:00"));
    EXPECT_TRUE(view->lastExportRow()->isHidden());
    EXPECT_EQ(view->cards().size(), 4);
    for (AngleCard* card : view->cards())
        EXPECT_TRUE(card->previewBox()->placeholderVisible());

    // The window keeps its content at least 1180 × 800 and scrolls it vertically only.
    EXPECT_GE(view->minimumSizeHint().width(), 1180);
    EXPECT_GE(view->minimumSizeHint().height(), 800);
    EXPECT_GE(view->scrollArea()->minimumWidth(), 1180);
    EXPECT_GE(view->scrollArea()->minimumHeight(), 800);
    EXPECT_EQ(view->scrollArea()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(MainViewTest, ThreeViewsHideTheFourthCardAndFourBringItBackAsItWas) {
    auto view = rig.makeView();
    view->show();
    EXPECT_EQ(
        view->subtitle()->text(),
        QStringLiteral(
            "Set up your views here. Record your cuts in Final Cut Pro with 1, 2, 3, and 4."));
    AngleCard* rear = view->cards().at(3);
    rear->nameField()->setText(QString());
    QTest::keyClicks(rear->nameField(), QStringLiteral("Chase"));
    rear->pan()->setLocale(QLocale::c());
    rear->pan()->field()->selectAll();
    QTest::keyClicks(rear->pan()->field(), QStringLiteral("-120"));
    QTest::keyClick(rear->pan()->field(), Qt::Key_Return);
    const QString filename4 = view->model().projectFilename();

    view->angleCountControl()->segment(3)->click();
    EXPECT_EQ(view->model().angleCount(), 3);
    EXPECT_EQ(view->subtitle()->text(),
              QStringLiteral(
                  "Set up your views here. Record your cuts in Final Cut Pro with 1, 2, and 3."));
    ASSERT_EQ(view->cards().size(), 3);
    EXPECT_EQ(view->cards().at(2)->nameField()->text(), QStringLiteral("Front"));
    // The export name follows at once.
    EXPECT_NE(view->model().projectFilename(), filename4);
    EXPECT_TRUE(
        view->nameEditor()->exportNameLabel()->text().endsWith(view->model().projectFilename()));

    view->angleCountControl()->segment(4)->click();
    ASSERT_EQ(view->cards().size(), 4);
    AngleCard* back = view->cards().at(3);
    EXPECT_EQ(back->nameField()->text(), QStringLiteral("Chase"));
    EXPECT_EQ(back->pan()->value(), -120);
    EXPECT_TRUE(view->angleCountControl()->segment(4)->isChecked());
    EXPECT_EQ(view->angleCountControl()->accessibleName(),
              QStringLiteral("Number of camera views"));
}

TEST_F(MainViewTest, ResolutionItemsFollowTheShapeAndKeepTheChoice) {
    auto view = rig.makeView();
    view->show();
    QComboBox* picker = view->resolutionPicker();
    EXPECT_EQ(itemTexts(picker), (QStringList{QStringLiteral("HD · 1920 × 1080"),
                                              QStringLiteral("4K · 3840 × 2160")}));
    EXPECT_EQ(picker->currentText(), QStringLiteral("4K · 3840 × 2160"));
    EXPECT_EQ(picker->accessibleName(), QStringLiteral("Resolution"));

    const QList<QAbstractButton*> formats = view->formatControl()->segments();
    ASSERT_EQ(formats.size(), 2);
    EXPECT_EQ(formats[0]->text(), QStringLiteral("Landscape 16:9"));
    EXPECT_EQ(formats[1]->text(), QStringLiteral("Portrait 9:16"));
    formats[1]->click();
    EXPECT_EQ(view->model().outputFormat(), OutputFormat::portrait);
    EXPECT_EQ(itemTexts(picker), (QStringList{QStringLiteral("HD · 1080 × 1920"),
                                              QStringLiteral("4K · 2160 × 3840")}));
    EXPECT_EQ(picker->currentText(), QStringLiteral("4K · 2160 × 3840"));
    for (AngleCard* card : view->cards())
        EXPECT_EQ(card->format(), OutputFormat::portrait);

    const QString details = view->nameEditor()->suffixLabel()->text();
    picker->activated(0);
    EXPECT_EQ(view->model().outputResolution(), OutputResolution::hd);
    EXPECT_NE(view->nameEditor()->suffixLabel()->text(), details);
    view->model().setOutputResolution(OutputResolution::ultraHD);
    EXPECT_EQ(picker->currentIndex(), 1);
}

TEST_F(MainViewTest, TheNamePanelEditsTheModelsNaming) {
    auto view = rig.makeView();
    view->show();
    ProjectNameEditor* editor = view->nameEditor();
    EXPECT_FALSE(editor->nameField()->isEnabled());
    EXPECT_EQ(editor->nameField()->text(), view->model().projectBaseName());
    editor->usesVideoFilenameBox()->click();
    EXPECT_FALSE(view->model().usesVideoFilename());
    EXPECT_TRUE(editor->nameField()->isEnabled());
    editor->nameField()->selectAll();
    QTest::keyClicks(editor->nameField(), QStringLiteral("Ridge"));
    EXPECT_EQ(view->model().projectBaseName(), QStringLiteral("Ridge"));
    EXPECT_EQ(editor->exportNameLabel()->text(),
              QStringLiteral("Export name: ") + view->model().projectFilename());
    EXPECT_TRUE(view->model().projectFilename().startsWith(QStringLiteral("Ridge")));

    editor->appendsDetailsBox()->click();
    EXPECT_FALSE(view->model().appendsNameDetails());
    EXPECT_TRUE(editor->suffixLabel()->isHidden());
    EXPECT_EQ(view->model().projectFilename(), QStringLiteral("Ridge.fcpxml"));
    EXPECT_EQ(editor->exportNameLabel()->text(), QStringLiteral("Export name: Ridge.fcpxml"));
}

TEST_F(MainViewTest, DismissingTheAlertClearsTheMessageAndANewFailureShowsItAgain) {
    auto view = rig.makeView();
    view->show();
    EXPECT_EQ(view->errorAlert(), nullptr);

    // A camera-original file is refused before anything is read.
    const QUrl original = QUrl::fromLocalFile(folder.filePath(QStringLiteral("VID_0001.insv")));
    rig.panels->onOpen = [original](const OpenPanelRequest&) { return original; };
    view->chooseSourceButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view->errorAlert() && view->errorAlert()->isVisible(); }));
    QMessageBox* alert = view->errorAlert();
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Could not complete this step"));
    EXPECT_EQ(shownMessage(alert), *view->model().errorMessage());
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), QStringLiteral("OK"));
    alert->buttons().first()->click();
    ASSERT_TRUE(waitUntil([&] { return view->errorAlert() == nullptr; }));
    EXPECT_FALSE(view->model().errorMessage().has_value());

    // The same failure again: shown again. Closing it any other way also clears the message.
    view->chooseSourceButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view->errorAlert() && view->errorAlert()->isVisible(); }));
    QTest::keyClick(view->errorAlert(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return view->errorAlert() == nullptr; }));
    EXPECT_FALSE(view->model().errorMessage().has_value());

    // A refusal from the inspector arrives the same way, with the status line beside it.
    *rig.inspectHook = [](const QUrl&) -> ExportMediaInfo {
        throw ExportError(QStringLiteral("This test refuses <b>every</b> video & more."));
    };
    rig.panels->onOpen = [](const OpenPanelRequest&) {
        return QUrl::fromLocalFile(QStringLiteral("/nowhere/clip.mp4"));
    };
    view->chooseSourceButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view->errorAlert() && view->errorAlert()->isVisible(); }));
    // Shown as written, never as markup.
    EXPECT_EQ(shownMessage(view->errorAlert()),
              QStringLiteral("This test refuses <b>every</b> video & more."));
    EXPECT_EQ(view->statusLine()->text(),
              QStringLiteral("Could not open this source. Choose a stitched 360° MP4 or MOV."));
}

TEST_F(MainViewTest, TheFirstSourceArgumentOpensWhenTheWindowFirstShows) {
    ASSERT_TRUE(QFile::copy(cachedSampleClip(), folder.filePath(QStringLiteral("a.mp4"))));
    ASSERT_TRUE(QFile::copy(cachedSampleClip(), folder.filePath(QStringLiteral("b.mp4"))));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    auto view = rig.makeView({QStringLiteral("tessaly"), QStringLiteral("--source"),
                              QStringLiteral("a.mp4"), QStringLiteral("--source"),
                              QStringLiteral("b.mp4")});
    EXPECT_TRUE(rig.inspectedFiles().isEmpty()) << "nothing opens before the window shows";
    view->show();
    const bool opened = waitUntil([&] { return view->model().source().has_value(); });
    QDir::setCurrent(previous);
    ASSERT_TRUE(opened);
    const QUrl a =
        QUrl::fromLocalFile(QDir(folder.path()).absoluteFilePath(QStringLiteral("a.mp4")));
    EXPECT_EQ(view->model().source(), a);
    EXPECT_EQ(rig.inspectedFiles(), QList<QUrl>{a});
    // Showing the window again does not open it again.
    view->hide();
    view->show();
    QTest::qWait(50);
    EXPECT_EQ(rig.inspectedFiles().size(), 1);
}

TEST_F(MainViewTest, AFinalSourceFlagOpensNothingAndClosingPausesPlayback) {
    auto view = rig.makeView({QStringLiteral("tessaly"), QStringLiteral("--source")});
    view->show();
    QTest::qWait(50);
    EXPECT_TRUE(rig.inspectedFiles().isEmpty());
    EXPECT_FALSE(view->model().loading());
    EXPECT_FALSE(view->errorAlert());

    openSample(*view);
    LivePreviewSession& preview = *view->model().preview();
    preview.seek(0);
    ASSERT_TRUE(waitUntil([&] { return !preview.isSeeking(); }));
    view->playbackControls()->playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));
    view->close();
    EXPECT_FALSE(preview.isPlaying());
}

} // namespace
