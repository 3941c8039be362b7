#include "session/SessionFakes.h"
#include "session/SessionTestSupport.h"

#include "model/UserError.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <system_error>

namespace {

const QString readyStatus = QStringLiteral(
    "Play or scrub the preview and adjust each view. Save your setup when the framing is ready.");
const QString savingStatus = QStringLiteral("Validating source and saving the multicam setup…");
const QString unfinishedStatus =
    QStringLiteral("Export did not finish. Review the error, then try again.");
const QString savedStatus = QStringLiteral(
    "XML saved. Import it into Final Cut Pro, open the project ending in ‘— Edit’, and cut with ");

// A model with clip.mp4 open (an empty file the fake inspector describes as 10 s of NTSC video)
// and a folder to save into.
struct OpenSession {
    QTemporaryDir folder;
    SessionRig rig;
    std::unique_ptr<SessionModel> model;
    QUrl source;

    OpenSession() {
        source = QUrl::fromLocalFile(writeFile(folder.filePath(QStringLiteral("clip.mp4"))));
        rig.inspector->script(QStringLiteral("clip.mp4"), {ntscInfo(300), {}, {}});
        model = rig.makeModel();
        QCoro::waitFor(model->open(source));
    }

    QUrl destination(const QString& name) const {
        return QUrl::fromLocalFile(folder.filePath(name));
    }
    void answerSave(const QUrl& url) {
        rig.panels->onSave = [url](const SavePanelRequest&) { return url; };
    }
    bool saveFinished() {
        return QTest::qWaitFor([&] { return !model->exporting() && !model->openingFinalCut(); });
    }
};

TEST(SessionExport, RefusesWithoutShowingThePanel) {
    SessionRig fresh;
    auto empty = fresh.makeModel();
    empty->exportXML(false);
    EXPECT_TRUE(fresh.panels->saveRequests.isEmpty());
    EXPECT_FALSE(empty->errorMessage() || empty->exporting());

    OpenSession session;
    SessionModel& model = *session.model;
    ASSERT_EQ(model.status(), readyStatus);
    AngleSettings* wing = model.angles()[1];
    AngleSettings* front = model.angles()[2];

    // An empty name is reported before the duplicate that follows it.
    wing->setTitle(QStringLiteral("  \t"));
    front->setTitle(QStringLiteral("self"));
    model.exportXML(true);
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("Give each camera view a name before exporting."));

    wing->setTitle(QStringLiteral("Front"));
    front->setTitle(QStringLiteral("front "));
    model.exportXML(true);
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Use a different name for each camera view so "
                                                   "they are easy to identify in Final Cut Pro."));

    front->setTitle(QStringLiteral("Bow"));
    AngleFraming wide = front->framing();
    wide.landscape.fov = 125.5;
    front->setFraming(wide);
    model.exportXML(false);
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("Bow: set pan and roll from −180° to 180°, tilt from −90° to 90°, "
                             "and view width from 45.0 to 125.0."));

    EXPECT_TRUE(session.rig.panels->saveRequests.isEmpty());
    EXPECT_FALSE(model.exporting());
    EXPECT_EQ(model.status(), readyStatus);

    // Only active views take part: with three, a fourth named like the first does not matter,
    // and the edges of the ranges are allowed.
    wide.landscape.fov = 125;
    wide.landscape.roll = -180;
    front->setFraming(wide);
    model.angles()[3]->setTitle(QStringLiteral("SELF"));
    model.setAngleCount(3);
    model.exportXML(false);
    EXPECT_EQ(session.rig.panels->saveRequests.size(), 1);
}

TEST(SessionExport, PanelProposesTheProjectFileAndCancellingLeavesNoTrace) {
    OpenSession session;
    SessionModel& model = *session.model;
    model.preview()->play();
    bool busyWhilePanelShows = false;
    bool pausedWhilePanelShows = false;
    session.rig.panels->onSave = [&](const SavePanelRequest&) -> std::optional<QUrl> {
        busyWhilePanelShows = model.exporting();
        pausedWhilePanelShows = !session.rig.player->isPlaying();
        model.exportXML(false); // a second save while the first is under way
        return std::nullopt;
    };

    model.exportXML(false);
    ASSERT_EQ(session.rig.panels->saveRequests.size(), 1);
    const SavePanelRequest request = session.rig.panels->saveRequests.first();
    EXPECT_EQ(request.proposedName, QStringLiteral("clip - 4 angles - Landscape 16x9 - 4K.fcpxml"));
    EXPECT_EQ(request.fileExtension, QStringLiteral("fcpxml"));
    EXPECT_EQ(request.message,
              QStringLiteral("Save an editable multicam setup referencing your original video."));
    EXPECT_TRUE(busyWhilePanelShows);
    EXPECT_TRUE(pausedWhilePanelShows);
    EXPECT_FALSE(model.exporting() || model.errorMessage());
    EXPECT_EQ(model.status(), readyStatus);
    EXPECT_FALSE(session.rig.player->isPlaying());

    model.exportXML(true);
    ASSERT_EQ(session.rig.panels->saveRequests.size(), 2);
    EXPECT_EQ(session.rig.panels->saveRequests.last().message,
              QStringLiteral("Save your multicam XML, then open it in Final Cut Pro."));
}

TEST(SessionExport, NeverWritesOverAnExistingFile) {
    OpenSession session;
    const QUrl existing = QUrl::fromLocalFile(
        writeFile(session.folder.filePath(QStringLiteral("kept.fcpxml")), "mine"));
    const QString dangling = session.folder.filePath(QStringLiteral("link.fcpxml"));
    QFile::link(session.folder.filePath(QStringLiteral("nowhere.fcpxml")), dangling);

    for (const QUrl& chosen : {existing, QUrl::fromLocalFile(dangling)}) {
        session.model->setErrorMessage(std::nullopt);
        session.answerSave(chosen);
        session.model->exportXML(false);
        EXPECT_EQ(session.model->errorMessage(),
                  QStringLiteral("Please choose a new filename. This prototype preserves existing "
                                 "XML files."));
        EXPECT_FALSE(session.model->exporting());
    }
    settle();
    EXPECT_TRUE(session.rig.recordedWrites().isEmpty());
    EXPECT_EQ(readFile(existing.toLocalFile()), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(session.folder.filePath(QStringLiteral("nowhere.fcpxml"))));
    EXPECT_EQ(session.model->status(), readyStatus);
}

TEST(SessionExport, FailuresGiveTheErrorAndTheRetryLine) {
    OpenSession session;
    SessionModel& model = *session.model;

    // A first save succeeds, so every failure below must leave its location alone.
    session.answerSave(session.destination(QStringLiteral("first.fcpxml")));
    model.exportXML(false);
    ASSERT_TRUE(session.saveFinished());
    ASSERT_EQ(model.lastExport(), session.destination(QStringLiteral("first.fcpxml")));

    // The source is refused when it is inspected again.
    session.rig.inspector->script(QStringLiteral("clip.mp4"),
                                  {std::nullopt, QStringLiteral("The source changed."), {}});
    session.answerSave(session.destination(QStringLiteral("second.fcpxml")));
    model.exportXML(false);
    ASSERT_TRUE(session.saveFinished());
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The source changed."));
    EXPECT_EQ(model.status(), unfinishedStatus);

    // The file system refuses: its own description, nothing prepended.
    session.rig.inspector->script(QStringLiteral("clip.mp4"), {ntscInfo(300), {}, {}});
    *session.rig.writeHook = [](const WriteCall&) {
        throw std::system_error(EACCES, std::generic_category());
    };
    model.exportXML(false);
    ASSERT_TRUE(session.saveFinished());
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Permission denied"));
    EXPECT_EQ(model.status(), unfinishedStatus);

    EXPECT_EQ(model.lastExport(), session.destination(QStringLiteral("first.fcpxml")));
    EXPECT_FALSE(QFileInfo::exists(session.folder.filePath(QStringLiteral("second.fcpxml"))));
    EXPECT_EQ(QDir(session.folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(SessionExport, SuccessRecordsTheFileAndTellsTheKeys) {
    OpenSession session;
    SessionModel& model = *session.model;
    session.answerSave(session.destination(QStringLiteral("four.fcpxml")));
    model.exportXML(false);
    EXPECT_TRUE(model.exporting());
    ASSERT_TRUE(session.saveFinished());
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(model.lastExport(), session.destination(QStringLiteral("four.fcpxml")));
    EXPECT_EQ(model.status(), savedStatus + QStringLiteral("1, 2, 3, and 4."));
    EXPECT_TRUE(QFileInfo(session.folder.filePath(QStringLiteral("four.fcpxml"))).isFile());
    EXPECT_TRUE(session.rig.workspace->openRequests.isEmpty());

    model.setAngleCount(3);
    session.answerSave(session.destination(QStringLiteral("three.fcpxml")));
    model.exportXML(false);
    ASSERT_TRUE(session.saveFinished());
    EXPECT_EQ(model.status(), savedStatus + QStringLiteral("1, 2, and 3."));
    ASSERT_EQ(session.rig.recordedWrites().size(), 2);
    EXPECT_EQ(session.rig.recordedWrites().last().views.size(), 3);

    // Opening another video forgets the saved file.
    QCoro::waitFor(model.open(session.source));
    EXPECT_FALSE(model.lastExport());
}

TEST(SessionExport, SavesTheValuesTakenWhenItStarted) {
    OpenSession session;
    SessionModel& model = *session.model;
    model.setUsesVideoFilename(false);
    model.setProjectBaseName(QStringLiteral(" Ridge "));
    AngleFraming framed = model.angles()[0]->framing();
    framed.landscape = ViewAngles{-170, 30, 10, 60};
    model.angles()[0]->setFraming(framed);
    model.angles()[1]->setTitle(QStringLiteral(" Deck "));

    Gate hold;
    session.rig.inspector->script(QStringLiteral("clip.mp4"), {ntscInfo(300), {}, hold.future});
    session.answerSave(session.destination(QStringLiteral("ridge.fcpxml")));
    model.exportXML(false);
    ASSERT_TRUE(model.exporting());
    EXPECT_EQ(model.status(), savingStatus);

    // Everything the user could change while the save runs.
    model.angles()[0]->setTitle(QStringLiteral("Renamed"));
    framed.landscape.pan = 0;
    model.angles()[0]->setFraming(framed);
    model.setAngleCount(3);
    model.setOutputFormat(OutputFormat::portrait);
    model.setOutputResolution(OutputResolution::hd);
    model.setLayout(QStringLiteral("compound"));
    model.setProjectBaseName(QStringLiteral("Other"));
    hold.open();
    ASSERT_TRUE(session.saveFinished());

    ASSERT_EQ(session.rig.recordedWrites().size(), 1);
    const WriteCall call = session.rig.recordedWrites().first();
    EXPECT_EQ(call.source, session.source);
    EXPECT_EQ(call.destination, session.destination(QStringLiteral("ridge.fcpxml")));
    EXPECT_EQ(call.width, 3840);
    EXPECT_EQ(call.height, 2160);
    EXPECT_EQ(call.name, QStringLiteral("Ridge - 4 angles - Landscape 16x9 - 4K"));
    EXPECT_EQ(call.layout, QStringLiteral("direct"));
    ASSERT_EQ(call.views.size(), 4);
    EXPECT_EQ(call.views[0].name, QStringLiteral("Self"));
    EXPECT_EQ(call.views[0].pan, -170);
    EXPECT_EQ(call.views[0].tilt, 30);
    EXPECT_EQ(call.views[0].roll, 10);
    EXPECT_EQ(call.views[0].fieldOfView, 60);
    EXPECT_EQ(call.views[1].name, QStringLiteral("Deck"));
    EXPECT_EQ(call.views[3].name, QStringLiteral("Rear"));
    EXPECT_EQ(model.status(), savedStatus + QStringLiteral("1, 2, 3, and 4."));
}

TEST(SessionExport, SavesAValidDocumentFromARealClipAndHandsItToTheDesktop) {
    QTemporaryDir folder;
    const QString clip = makeSampleClip(folder.path(), QStringLiteral("deck.mp4"),
                                        {"--size", "256x128", "--duration", "1"});
    ASSERT_FALSE(clip.isEmpty());
    TemporaryHome home;
    home.installFinalCut();

    auto panels = std::make_shared<FakePanels>();
    const QString saved = folder.filePath(QStringLiteral("deck.fcpxml"));
    panels->onSave = [&](const SavePanelRequest&) { return QUrl::fromLocalFile(saved); };
    SessionServices services;
    services.panels = panels;
    services.preview = makeFakePreview().session;
    SessionModel model(std::move(services));

    QCoro::waitFor(model.open(QUrl::fromLocalFile(clip)));
    ASSERT_TRUE(model.source()) << model.errorMessage().value_or(QString()).toStdString();
    model.exportXML(true);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !model.exporting() && !model.openingFinalCut(); }, 60000));

    EXPECT_EQ(model.lastExport(), QUrl::fromLocalFile(saved));
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"),
                  {"--noout", "--dtdvalid", TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd", saved});
    ASSERT_TRUE(xmllint.waitForFinished(60000));
    EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAllStandardError().toStdString();

    // Final Cut Pro is found in the bundle, but it cannot run here: the failure path of the
    // hand-off, with the workspace's own reason.
    const QString prefix =
        QStringLiteral("Your XML is saved, but it could not be opened in Final Cut Pro: ");
    ASSERT_TRUE(model.errorMessage());
    EXPECT_TRUE(model.errorMessage()->startsWith(prefix)) << model.errorMessage()->toStdString();
    EXPECT_GT(model.errorMessage()->size(), prefix.size());
    EXPECT_EQ(model.status(),
              QStringLiteral("XML saved. Use Open Saved XML in Final Cut to try again."));
}

} // namespace
