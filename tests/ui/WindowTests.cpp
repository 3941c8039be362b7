// The window on fakes and the whole program on a real clip, through what a user sees and does.
#include "app/KorvaneApp.h"
#include "export/FCPXMLExporter.h"
#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "model/ViewGeometry.h"
#include "platform/FinalCutSupport.h"
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
#include "ui/AlertDialog.h"
#include "ui/AngleCard.h"
#include "ui/MacFolderEditor.h"
#include "ui/MainView.h"
#include "ui/NumericControl.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"
#include "ui/SphereOverviewPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <future>

namespace {

using namespace std::chrono_literals;

const ExportMediaInfo info{
    512, 256, MediaTime::make(1, 30), MediaTime::make(10, 1), MediaTime::zero(), 2, 48000, {}};

// The window on fakes: a scripted player, an inspection that answers `info` (the source is an
// empty file), and either a writer that only creates the file or the real one, which validates
// against the DTD the desktop of a temporary home folder offers.
class Window : public testing::Test {
protected:
    std::shared_ptr<ScriptedPanels> panels = std::make_shared<ScriptedPanels>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    // When valid, the inspection and the writing wait for them on their worker thread.
    std::shared_future<void> inspection, writing;
    std::optional<QString> inspectionRefusal;
    TemporaryHome home;
    bool realWriter = false;
    QTemporaryDir folder;
    std::unique_ptr<MainView> view;

    void SetUp() override {
        auto player = std::make_unique<ScriptedPlayer>();
        player->landSeeks = true; // every seek lands on the next turn of the event loop
        SessionServices services;
        services.inspect = [this](const QUrl&, std::stop_token) {
            if (inspection.valid())
                inspection.wait_for(20s);
            if (inspectionRefusal)
                throw ExportError(*inspectionRefusal);
            return info;
        };
        services.write = [this](const ExportRequest& request) {
            if (writing.valid())
                writing.wait_for(20s);
            if (realWriter)
                FCPXMLExporter::write(request, FinalCutSupport::dtdURL(*workspace));
            else
                QFile(request.destination.toLocalFile()).open(QFile::NewOnly);
        };
        services.installDTD = [](const QString& file) {
            FCPXMLExporter::installDTD(file, FinalCutSupport::userDTDPath());
        };
        services.recallMacFolder = [](const QString&) { return std::nullopt; };
        services.rememberMacFolder = [](const QString&, const QString&) {};
        services.workspace = workspace;
        services.panels = panels;
        services.preview = std::make_unique<LivePreviewSession>(
            std::move(player), [] { return std::make_shared<RecordingRenderer>(); });
        view = std::make_unique<MainView>(std::move(services), QStringList(),
                                          [](LivePreviewSession&, const ViewAngles&) {
                                              return AnglePreviewSurface{new QWidget, {}};
                                          });
        view->resize(1320, 900);
        view->show();
        view->activateWindow(); // the window's keys act in the active window
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    QString source() const { return folder.filePath("ride.mp4"); }
    // Chooses a source in the open panel; with `wait`, until it is open.
    void open(bool wait = false) {
        QFile(source()).open(QIODevice::WriteOnly);
        panels->onOpen = [this](const OpenPanelRequest&) { return QUrl::fromLocalFile(source()); };
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
    EXPECT_TRUE(view->errorAlert()->message().startsWith("Chase: "))
        << view->errorAlert()->message().toStdString();
    EXPECT_TRUE(panels->saveRequests.isEmpty());

    view->formatControl()->segment(int(OutputFormat::landscape))->click();
    EXPECT_NE(card->pan()->value(), 200);
    view->saveButton()->click(); // nothing out of range in this shape: the panel opens
    EXPECT_EQ(panels->saveRequests.size(), 1);
}

TEST_F(Window, TheAlertShowsTheWholeMessageAsWrittenUntilDismissed) {
    inspectionRefusal = "The file “<b>x.mp4</b>” & its copy could not be read: the drive went "
                        "away before the last of its 4 096 boxes had been read, so nothing of "
                        "it can be shown. It was /media/" +
                        QString(300, 'x') + "/ride.mp4.";
    open();
    ASSERT_TRUE(Waiting::until([&] { return alertShown(); }));
    EXPECT_EQ(view->errorAlert()->message(), *inspectionRefusal);
    // Wrapped inside the box, however long a word: nothing runs off its right edge.
    EXPECT_EQ(view->errorAlert()->findChild<QPlainTextEdit*>()->horizontalScrollBar()->maximum(),
              0);
    view->errorAlert()->buttons().first()->click();
    ASSERT_TRUE(Waiting::until([&] { return !view->errorAlert(); }));
    EXPECT_FALSE(view->model().errorMessage().has_value());
    open(); // the same failure again: shown again
    EXPECT_TRUE(Waiting::until([&] { return alertShown(); }));
}

TEST_F(Window, SavesWithTheUsersCopyOfTheDTDAskingForItOnceAndCanPointAtAMac) {
    realWriter = true;
    ASSERT_NO_FATAL_FAILURE(open(true));
    panels->onSave = [&](auto&) { return QUrl::fromLocalFile(folder.filePath("first.xml")); };
    view->saveButton()->click(); // no DTD anywhere: the alert offers to choose one
    ASSERT_TRUE(Waiting::until([&] { return alertShown(); }));
    EXPECT_EQ(view->errorAlert()->message(), PlatformTexts::text(PlatformTexts::Text::dtdMissing));
    const QList<QPushButton*> buttons = view->errorAlert()->buttons();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons[0]->text() == "Choose DTD…" && buttons[1]->text() == "Cancel");
    panels->onOpen = [](auto&) { return QUrl::fromLocalFile(TemporaryHome::testDTD()); };
    buttons[0]->click();
    ASSERT_TRUE(Waiting::until([&] { return view->model().lastExport().has_value(); }));
    const QString first = folder.filePath("first.xml.fcpxml"); // the extension is added
    EXPECT_EQ(view->model().lastExport(), QUrl::fromLocalFile(first));
    Clips::run("xmllint", {"--noout", "--dtdvalid", TemporaryHome::testDTD(), first});
    EXPECT_TRUE(QFile::exists(home.path() + "/.local/share/tessaly/FCPXMLv1_14.dtd"));

    // The next save finds the copy by itself; this one names the video on the Mac.
    MacFolderEditor& mac = *view->nameEditor()->macFolderEditor();
    EXPECT_EQ(mac.localFolderField()->text(), folder.path());
    mac.pointsAtMacBox()->click();
    QTest::keyClicks(mac.macFolderField(), "/Volumes/Footage/Trip");
    panels->onSave = [&](auto&) { return QUrl::fromLocalFile(folder.filePath("mac.fcpxml")); };
    view->saveButton()->click();
    ASSERT_TRUE(Waiting::until([&] { return !view->model().exporting(); }));
    ASSERT_FALSE(alertShown()) << view->errorAlert()->message().toStdString();
    QFile written(folder.filePath("mac.fcpxml"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("src=\"file:///Volumes/Footage/Trip/ride.mp4\""));
    Clips::run("xmllint", {"--noout", "--dtdvalid", TemporaryHome::testDTD(), written.fileName()});
}

TEST_F(Window, TheWheelChangesOnlyAFocusedControlAndTheTrackTakesClicksAndTabGoesDown) {
    ASSERT_NO_FATAL_FAILURE(open(true));
    QSlider* tilt = view->cards()[0]->tilt()->slider();
    QComboBox* resolution = view->resolutionPicker();
    QScrollBar* scroll = view->scrollArea()->verticalScrollBar();
    // Left unaccepted, a real wheel event goes on to the parents and so scrolls the window.
    const auto wheel = [](QWidget* widget) {
        QWheelEvent event(QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &event);
        return event.isAccepted();
    };
    const int tiltBefore = tilt->value(), resolutionBefore = resolution->currentIndex();
    EXPECT_FALSE(wheel(tilt) || wheel(resolution));
    EXPECT_TRUE(tilt->value() == tiltBefore && resolution->currentIndex() == resolutionBefore);
    EXPECT_GT(scroll->maximum(), 0) << "a window to scroll";
    tilt->setFocus();
    EXPECT_TRUE(wheel(tilt));
    EXPECT_NE(tilt->value(), tiltBefore);

    // A click on the track goes there.
    QSlider* position = view->playbackControls()->positionSlider();
    QTest::mouseClick(position, Qt::LeftButton, {}, QPoint(position->width() * 3 / 4, 5));
    EXPECT_NEAR(view->model().preview()->time(), 7.5, 0.3);

    // Tab goes through the window top to bottom, the cards in number order.
    view->angleCountControl()->segments().first()->setFocus();
    QList<QWidget*> visited;
    for (int i = 0; i < 60; ++i) {
        visited.append(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const QList<QWidget*> expected{resolution,
                                   view->chooseSourceButton(),
                                   position,
                                   view->cards()[0]->nameField(),
                                   view->cards()[0]->pan()->field(),
                                   view->cards()[1]->nameField(),
                                   view->cards()[3]->viewWidth()->slider(),
                                   view->nameEditor()->usesVideoFilenameBox(),
                                   view->saveButton()};
    for (qsizetype i = 1; i < expected.size(); ++i)
        EXPECT_LT(visited.indexOf(expected[i - 1]), visited.indexOf(expected[i])) << i;
    EXPECT_EQ(view->revealButton()->text(), PlatformTexts::text(PlatformTexts::Text::revealButton));
}

TEST_F(Window, AimingByHandTurnsTheViewUnderThePointerAndUndoTakesAWholeDragBack) {
    ASSERT_NO_FATAL_FAILURE(open(true));
    AngleSettings& wing = *view->model().angles()[1];
    QWidget* surface = view->cards()[1]->previewSurface();
    const QSizeF size(surface->size());
    const auto send = [](QWidget* to, QEvent::Type type, QPointF at,
                         Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          modifiers);
        QApplication::sendEvent(to, &event);
    };
    const ViewAngles start = wing.framing().landscape;
    const QPointF from(size.width() * 0.4, size.height() * 0.4);
    const QPointF to = from + QPointF(size.width() / 4, size.height() / 5);
    const Vector3 grabbed =
        ViewGeometry::toSphere(start, ViewGeometry::viewDirection(start, from, size));
    send(surface, QEvent::MouseButtonPress, from);
    for (double step : {0.3, 0.7, 1.0})
        send(surface, QEvent::MouseMove, from + (to - from) * step);
    send(surface, QEvent::MouseButtonRelease, to);
    const ViewAngles dragged = wing.framing().landscape;
    const auto under =
        ViewGeometry::pictureOf(dragged, ViewGeometry::toView(dragged, grabbed), size);
    ASSERT_TRUE(under.has_value());
    EXPECT_LT(QLineF(*under, to).length(), 1.0) << "the point grabbed stays under the pointer";
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(wing.framing().landscape, start) << "the whole drag is one step";
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(wing.framing().landscape, dragged);

    // Shift turns the horizon, a double-click levels it, Ctrl and the wheel widen the view.
    send(surface, QEvent::MouseButtonPress, QPointF(size.width() * 0.9, size.height() / 2),
         Qt::ShiftModifier);
    send(surface, QEvent::MouseMove, QPointF(size.width() / 2, 0), Qt::ShiftModifier);
    send(surface, QEvent::MouseButtonRelease, QPointF(size.width() / 2, 0));
    EXPECT_EQ(wing.framing().landscape.roll, -90);
    QTest::mouseDClick(surface, Qt::LeftButton);
    EXPECT_EQ(wing.framing().landscape.roll, 0);
    QWheelEvent notch(QPointF(5, 5), surface->mapToGlobal(QPointF(5, 5)), {}, {0, 240},
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface, &notch);
    EXPECT_EQ(wing.framing().landscape.fov, 92);

    // On the sphere, a view's footprint is dragged by the point grabbed.
    SphereOverviewPanel& sphere = *view->overview();
    const ViewAngles before = wing.framing().landscape;
    const QSizeF strip(sphere.surface()->size());
    const QPointF centre = ViewGeometry::sourcePoint(ViewGeometry::toSphere(
        before,
        ViewGeometry::viewDirection(before, QPointF(size.width() / 2, size.height() / 2), size)));
    const QPointF pressed(centre.x() * strip.width() + 20, centre.y() * strip.height());
    ASSERT_EQ(sphere.viewAt(pressed), 1);
    const Vector3 held = ViewGeometry::toView(
        before,
        ViewGeometry::sphereDirection({pressed.x() / strip.width(), pressed.y() / strip.height()}));
    send(sphere.surface(), QEvent::MouseButtonPress, pressed);
    send(sphere.surface(), QEvent::MouseMove, pressed + QPointF(60, -20));
    send(sphere.surface(), QEvent::MouseButtonRelease, pressed + QPointF(60, -20));
    const QPointF landed =
        ViewGeometry::sourcePoint(ViewGeometry::toSphere(wing.framing().landscape, held));
    EXPECT_NEAR(landed.x() * strip.width(), pressed.x() + 60, 1.0);
    EXPECT_NEAR(landed.y() * strip.height(), pressed.y() - 20, 1.0);

    // A footprint around a pole is filled evenly, also where its copies either side of the seam
    // meet.
    AngleFraming polar = wing.framing();
    polar.landscape = {-90, 60, 0, 125};
    wing.setFraming(polar);
    QImage overlay(960, 240, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    QPainter painter(&overlay);
    painter.setRenderHint(QPainter::Antialiasing);
    sphere.paintOverlay(painter, overlay.size());
    painter.end();
    ASSERT_NE(qAlpha(overlay.pixel(0, 2)), 0);
    for (int x = 1; x < overlay.width(); ++x)
        ASSERT_EQ(overlay.pixel(x, 2), overlay.pixel(0, 2)) << x;
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
    // The arrows step exact frames, Shift a second; Space plays and pauses.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto stepped = [&](Qt::Key key, Qt::KeyboardModifiers modifiers, int frame) {
        QTest::keyClick(window.get(), key, modifiers);
        return Waiting::until([&] {
            return !preview.isSeeking() &&
                   std::abs(preview.currentFrameTime() - frame / 30.0) < 1e-6;
        });
    };
    EXPECT_TRUE(stepped(Qt::Key_Right, {}, 46));
    EXPECT_TRUE(stepped(Qt::Key_Left, {}, 45) && stepped(Qt::Key_Left, {}, 44));
    EXPECT_TRUE(stepped(Qt::Key_Right, Qt::ShiftModifier, 74));
    EXPECT_TRUE(stepped(Qt::Key_Home, {}, 0) && stepped(Qt::Key_End, {}, 89));
    ASSERT_TRUE(stepped(Qt::Key_Left, Qt::ShiftModifier, 59));
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(Waiting::until([&] { return preview.isPlaying(); }));
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(Waiting::until([&] { return !preview.isPlaying(); }));
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
