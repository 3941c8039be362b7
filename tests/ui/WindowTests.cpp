// The window on fakes and the whole program on a real clip, through what a user sees and does.
#include "app/KorvaneApp.h"
#include "model/UserError.h"
#include "platform/LinuxWorkspace.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveAnglePreview.h"
#include "support/Clips.h"
#include "support/FakeWorkspace.h"
#include "support/Printing.h"
#include "support/RecordingRenderer.h"
#include "support/ScriptedPanels.h"
#include "support/ScriptedPlayer.h"
#include "support/TemporaryHome.h"
#include "support/Waiting.h"
#include "ui/AngleCard.h"
#include "ui/MainView.h"
#include "ui/NumericControl.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <future>

namespace {

using namespace std::chrono_literals;

const ExportMediaInfo info{
    512, 256, MediaTime::make(1, 30), MediaTime::make(10, 1), MediaTime::zero(), 2, 48000, {}};

// The message of the alert as the user reads it.
QString shownMessage(const QMessageBox* alert) {
    const auto* label = alert->findChild<QLabel*>("qt_msgbox_informativelabel");
    if (label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text()))
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

class Window : public testing::Test {
protected:
    std::shared_ptr<ScriptedPanels> panels = std::make_shared<ScriptedPanels>();
    // When valid, the inspection and the writing wait for them on their worker thread.
    std::shared_future<void> inspection, writing;
    std::optional<QString> inspectionRefusal;
    QTemporaryDir folder;
    std::unique_ptr<MainView> view;

    void SetUp() override {
        auto player = std::make_unique<ScriptedPlayer>();
        player->landSeeks = true; // every seek lands on the next turn of the event loop
        SessionServices services{[this](const QUrl&, std::stop_token) {
                                     if (inspection.valid())
                                         inspection.wait_for(20s);
                                     if (inspectionRefusal)
                                         throw ExportError(*inspectionRefusal);
                                     return info;
                                 },
                                 [this](const ExportRequest& request) {
                                     if (writing.valid())
                                         writing.wait_for(20s);
                                     QFile(request.destination.toLocalFile()).open(QFile::NewOnly);
                                 },
                                 std::make_shared<FakeWorkspace>(), panels,
                                 std::make_unique<LivePreviewSession>(std::move(player), [] {
                                     return std::make_shared<RecordingRenderer>();
                                 })};
        view = std::make_unique<MainView>(std::move(services), QStringList(),
                                          [](LivePreviewSession&, const ViewAngles&) {
                                              return AnglePreviewSurface{new QWidget, {}};
                                          });
        view->show();
    }
    // Chooses a source in the open panel; with `wait`, until it is open.
    void open(bool wait = false) {
        panels->onOpen = [](const OpenPanelRequest&) { return QUrl::fromLocalFile("/ride.mp4"); };
        view->chooseSourceButton()->click();
        ASSERT_TRUE(!wait || Waiting::until([&] { return view->model().source().has_value(); }));
    }
    bool alertShown() const { return view->errorAlert() && view->errorAlert()->isVisible(); }
    // Views, format, resolution, choose, playback, cards, name, save row, save, save & open,
    // open saved, reveal: 1 enabled, 0 not.
    QString enablement() const {
        QString flags;
        for (const QWidget* part : std::initializer_list<const QWidget*>{
                 view->angleCountControl(), view->formatControl(), view->resolutionRow(),
                 view->chooseSourceButton(), view->playbackControls()->positionSlider(),
                 view->cardRow(), view->nameEditor(), view->saveRow(), view->saveButton(),
                 view->saveAndOpenButton(), view->openSavedButton(), view->revealButton()})
            flags += part->isEnabled() ? '1' : '0';
        return flags;
    }
};

TEST_F(Window, ControlsFollowTheEnableRulesThroughOpeningAndSaving) {
    EXPECT_EQ(enablement(), "111101110011");
    std::promise<void> inspected, written;
    inspection = inspected.get_future().share();
    open();
    EXPECT_EQ(enablement(), "111001110011");
    inspected.set_value();
    ASSERT_TRUE(Waiting::until([&] { return !view->model().loading(); }));
    EXPECT_EQ(enablement(), "111111111111");

    // The panel already sees the window busy, and so does the writer waiting at its gate.
    QString duringPanel;
    const QUrl saved = QUrl::fromLocalFile(folder.filePath("setup.fcpxml"));
    panels->onSave = [&](const SavePanelRequest&) { return duringPanel = enablement(), saved; };
    writing = written.get_future().share();
    view->saveButton()->click();
    EXPECT_EQ(duringPanel, "000000000001");
    EXPECT_EQ(enablement(), "000000000001");
    written.set_value();
    ASSERT_TRUE(Waiting::until([&] { return !view->model().exporting(); }));
    EXPECT_EQ(enablement(), "111111111111");
}

TEST_F(Window, AViewTypedOutOfRangeIsRefusedByNameInTheShapeItWasTypedFor) {
    ASSERT_NO_FATAL_FAILURE(open(true));
    view->formatControl()->segment(int(OutputFormat::portrait))->click();
    AngleCard* card = view->cards().at(2);
    card->nameField()->selectAll();
    QTest::keyClicks(card->nameField(), "Chase");
    card->pan()->field()->selectAll();
    QTest::keyClicks(card->pan()->field(), "200");
    QTest::keyClick(card->pan()->field(), Qt::Key_Return);
    view->saveButton()->click();
    ASSERT_TRUE(Waiting::until([&] { return alertShown(); }));
    EXPECT_TRUE(shownMessage(view->errorAlert()).startsWith("Chase: "))
        << shownMessage(view->errorAlert()).toStdString();
    EXPECT_TRUE(panels->saveRequests.isEmpty());

    view->formatControl()->segment(int(OutputFormat::landscape))->click();
    EXPECT_NE(card->pan()->value(), 200);
    view->saveButton()->click(); // nothing out of range in this shape: the panel opens
    EXPECT_EQ(panels->saveRequests.size(), 1);
}

TEST_F(Window, TheAlertShowsTheWholeMessageAsWrittenUntilDismissed) {
    inspectionRefusal = "The file “<b>x.mp4</b>” & its copy could not be read: the drive went "
                        "away before the last of its 4 096 boxes had been read, so nothing of "
                        "it can be shown.";
    open();
    ASSERT_TRUE(Waiting::until([&] { return alertShown(); }));
    EXPECT_EQ(shownMessage(view->errorAlert()), *inspectionRefusal);
    view->errorAlert()->buttons().first()->click();
    ASSERT_TRUE(Waiting::until([&] { return !view->errorAlert(); }));
    EXPECT_FALSE(view->model().errorMessage().has_value());
    open(); // the same failure again: shown again
    EXPECT_TRUE(Waiting::until([&] { return alertShown(); }));
}

TEST(NumberField, CommitsNumbersInTheUsersLocaleKeepsThemAsTypedAndRevertsTheRest) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    NumericControl control("Pan", {-180, 180}, "°");
    control.setValue(-12.34);
    EXPECT_EQ(control.field()->text(), "-12,3");
    control.show();
    control.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&control));
    QSignalSpy edits(&control, &NumericControl::valueEdited);
    // Committed with Enter or by leaving the field, in turn: kept as typed, shown to one decimal.
    const std::tuple<const char*, double, const char*> rows[] = {
        {"45,76", 45.76, "45,8"}, {"200", 200, "200,0"},  {"-500", -500, "-500,0"},
        {"abc", -500, "-500,0"},  {"", -500, "-500,0"},   {"12,,5", -500, "-500,0"},
        {"nan", -500, "-500,0"},  {"inf", -500, "-500,0"}};
    bool enter = false;
    for (auto [typed, value, shown] : rows) {
        control.field()->setFocus();
        control.field()->selectAll();
        QTest::keyClicks(control.field(), typed);
        if ((enter = !enter))
            QTest::keyClick(control.field(), Qt::Key_Return);
        else
            control.slider()->setFocus();
        EXPECT_EQ(control.value(), value) << typed;
        EXPECT_EQ(control.field()->text(), shown) << typed;
    }
    EXPECT_EQ(edits.size(), 3);
    EXPECT_EQ(control.slider()->value(), control.slider()->minimum());
    control.slider()->setValue(control.slider()->minimum() + 1); // dragged off the end
    EXPECT_DOUBLE_EQ(control.value(), -179.99);
    QLocale::setDefault(saved);
}

TEST_F(Window, ADragCutShortByDisablingThePlaybackBarStillEndsScrubbing) {
    ASSERT_NO_FATAL_FAILURE(open(true));
    LivePreviewSession& preview = *view->model().preview();
    PlaybackControls& controls = *view->playbackControls();
    preview.play();
    controls.positionSlider()->setSliderDown(true);
    controls.positionSlider()->setValue(controls.positionSlider()->maximum() / 2);
    EXPECT_TRUE(controls.scrubbing() && !preview.isPlaying());
    controls.setControlsEnabled(false); // say a save starts while the thumb is held
    EXPECT_FALSE(controls.scrubbing());
    ASSERT_TRUE(Waiting::until([&] { return preview.isPlaying(); })) << "the drag never ended";
}

// The window main() builds, all of it real but the save panel and a stand-in Final Cut Pro in a
// temporary home folder; leaves screenshots of the window in the build folder.
TEST(Tessaly, ShowsFramesPlaysScrubsSavesAndCloses) {
    KorvaneApp::configure(*qApp);
    TemporaryHome home;
    home.installFinalCut();
    const QString clip = Clips::sample(home.path() + "/Ridge ride.mp4");
    const QString saved = home.path() + "/Ridge ride setup.fcpxml";
    auto panels = std::make_shared<ScriptedPanels>();
    panels->onSave = [&](const SavePanelRequest&) { return QUrl::fromLocalFile(saved); };
    auto composition = KorvaneApp::standardComposition(std::make_shared<LinuxWorkspace>());
    composition.services.panels = panels;
    const auto window =
        KorvaneApp::makeWindow(std::move(composition), {"tessaly", "--source", clip});
    window->show();
    SessionModel& model = window->model();
    LivePreviewSession& preview = *model.preview();
    ASSERT_TRUE(Waiting::until([&] { return model.source() && !model.loading(); }, 60s))
        << model.errorMessage().value_or("").toStdString();

    const auto drawn = [&](int view) { // frames projected by a view's surface
        const auto* surface = window->cards()[view]->previewSurface();
        return qobject_cast<const LiveAnglePreview*>(surface)->projectedFrameCount();
    };
    ASSERT_TRUE(Waiting::until([&] { return drawn(0) && drawn(1) && drawn(2) && drawn(3); }))
        << "every view shows the picture";
    PlaybackControls& controls = *window->playbackControls();
    QSlider* slider = controls.positionSlider();
    const auto scrubTo = [&](double seconds) { // press, move, release, as a user drags
        slider->setSliderDown(true);
        slider->setValue(int(seconds / controls.sliderUpperBound() * slider->maximum()));
        slider->setSliderDown(false);
        return Waiting::until(
            [&] { return !preview.isSeeking() && std::abs(preview.time() - seconds) < 0.05; });
    };
    ASSERT_TRUE(scrubTo(0));
    controls.muteButton()->click(); // it starts muted
    EXPECT_FALSE(preview.muted());
    std::int64_t before = drawn(3);
    controls.playButton()->click();
    EXPECT_TRUE(Waiting::until([&] { return drawn(3) > before + 10; })) << "drawn while it plays";
    ASSERT_TRUE(Waiting::until([&] { return preview.time() > 1.0; }));
    controls.playButton()->click();
    ASSERT_TRUE(Waiting::until([&] { return !preview.isPlaying(); }));
    before = drawn(3);
    ASSERT_TRUE(scrubTo(1.5));
    ASSERT_TRUE(Waiting::until([&] { return drawn(3) > before; }));
    EXPECT_EQ(controls.timeText()->text(), "0:01 / 0:03");
    EXPECT_TRUE(window->grab().save(TESSALY_BINARY_DIR "/tessaly-window.png"));

    // Saved, validated against the bundle's DTD and handed to the bundle, which cannot run here.
    window->saveAndOpenButton()->click();
    ASSERT_TRUE(Waiting::until([&] { return !model.exporting() && !model.openingFinalCut(); }));
    ASSERT_EQ(model.lastExport(), QUrl::fromLocalFile(saved))
        << model.errorMessage().value_or("").toStdString();
    EXPECT_TRUE(Waiting::until([&] { return window->errorAlert() != nullptr; }));
    // The whole scrolling column, down to the saved file's row.
    EXPECT_TRUE(window->scrollArea()->widget()->grab().save(TESSALY_BINARY_DIR
                                                            "/tessaly-window-content.png"));

    controls.playButton()->click();
    ASSERT_TRUE(Waiting::until([&] { return preview.isPlaying(); }));
    window->close();
    EXPECT_FALSE(preview.isPlaying()) << "closing the window stops playback";
}

} // namespace
