#include "session/SessionFakes.h"
#include "session/SessionTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <thread>

namespace {

const QUrl finalCut = QUrl::fromLocalFile(QStringLiteral("/Applications/Final Cut Pro.app"));
const QString openingStatus = QStringLiteral("Opening the saved XML in Final Cut Pro…");
const QString retryStatus =
    QStringLiteral("XML saved. Use Open Saved XML in Final Cut to try again.");
const QString sentStatus = QStringLiteral("XML sent to Final Cut Pro. Complete the import there, "
                                          "then open the project ending in ‘— Edit’.");

struct HandOff {
    QTemporaryDir folder;
    SessionRig rig;
    std::unique_ptr<SessionModel> model = rig.makeModel();
    QUrl saved = QUrl::fromLocalFile(
        writeFile(folder.filePath(QStringLiteral("saved.fcpxml")), "<fcpxml/>"));

    void installFinalCut() {
        rig.workspace->applications.insert(QStringLiteral("com.apple.FinalCut"), {finalCut});
    }
};

TEST(SessionHandOff, MissingFileOrApplicationStopsBeforeTheWorkspace) {
    HandOff handOff;
    SessionModel& model = *handOff.model;
    const QString status = model.status();

    model.openSavedXMLInFinalCut(QUrl::fromLocalFile(handOff.folder.filePath("gone.fcpxml")));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The saved XML could not be found. Save a new "
                                                   "XML file, then try opening it again."));
    EXPECT_EQ(model.status(), status);

    model.preview()->play();
    model.openSavedXMLInFinalCut(handOff.saved);
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("Your XML is saved, but Final Cut Pro could not be found on this "
                             "Mac. You can show the file in Finder and import it later."));
    EXPECT_EQ(model.status(),
              QStringLiteral("XML saved. Final Cut Pro is not available on this Mac."));
    EXPECT_FALSE(handOff.rig.player->isPlaying());
    EXPECT_FALSE(model.openingFinalCut());
    EXPECT_TRUE(handOff.rig.workspace->openRequests.isEmpty());
}

TEST(SessionHandOff, ReportsTheWorkspaceAnswerLaterAndIgnoresCallsMeanwhile) {
    HandOff handOff;
    handOff.installFinalCut();
    SessionModel& model = *handOff.model;
    FakeWorkspace& workspace = *handOff.rig.workspace;

    model.openSavedXMLInFinalCut(handOff.saved);
    EXPECT_TRUE(model.openingFinalCut());
    EXPECT_EQ(model.status(), openingStatus);
    ASSERT_EQ(workspace.openRequests.size(), 1);
    EXPECT_EQ(workspace.openRequests[0].document, handOff.saved);
    EXPECT_EQ(workspace.openRequests[0].application, finalCut);
    EXPECT_TRUE(workspace.openRequests[0].activates);

    model.openSavedXMLInFinalCut(handOff.saved);
    EXPECT_EQ(workspace.openRequests.size(), 1);

    workspace.openRequests[0].completion(QStringLiteral("The application is damaged."));
    EXPECT_TRUE(model.openingFinalCut()); // the answer is applied on a later turn
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.openingFinalCut(); }));
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("Your XML is saved, but it could not be opened "
                             "in Final Cut Pro: The application is damaged."));
    EXPECT_EQ(model.status(), retryStatus);

    // An answer from another thread comes back to the main thread.
    model.setErrorMessage(std::nullopt);
    model.openSavedXMLInFinalCut(handOff.saved);
    ASSERT_EQ(workspace.openRequests.size(), 2);
    std::thread([completion = workspace.openRequests[1].completion] {
        completion(std::nullopt);
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.openingFinalCut(); }));
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(model.status(), sentStatus);
}

TEST(SessionHandOff, AModelGoneBeforeTheAnswerIsNotTouched) {
    HandOff handOff;
    handOff.installFinalCut();
    handOff.model->openSavedXMLInFinalCut(handOff.saved);
    ASSERT_EQ(handOff.rig.workspace->openRequests.size(), 1);
    handOff.model.reset();
    handOff.rig.workspace->openRequests[0].completion(QStringLiteral("Too late."));

    // Likewise an opening whose inspection answers after the window closed.
    Gate slow;
    handOff.rig.inspector->script(QStringLiteral("late.mp4"), {ntscInfo(30), {}, slow.future});
    auto opening = handOff.rig.makeModel();
    QCoro::Task<> open = opening->open(QUrl::fromLocalFile(handOff.folder.filePath("late.mp4")));
    opening.reset();
    slow.open();
    QCoro::waitFor(open);
    EXPECT_TRUE(handOff.rig.inspector->wasAskedToStop(QStringLiteral("late.mp4")));
    settle(); // AddressSanitizer reports any use of a destroyed model
}

TEST(SessionHandOff, SavingAndOpeningHandsOffBeforeTheSaveEnds) {
    HandOff handOff;
    handOff.installFinalCut();
    SessionRig& rig = handOff.rig;
    const QUrl source =
        QUrl::fromLocalFile(writeFile(handOff.folder.filePath(QStringLiteral("clip.mov"))));
    rig.inspector->script(QStringLiteral("clip.mov"), {ntscInfo(300), {}, {}});
    SessionModel& model = *handOff.model;
    QCoro::waitFor(model.open(source));
    const QUrl destination = QUrl::fromLocalFile(handOff.folder.filePath("new.fcpxml"));
    rig.panels->onSave = [&](const SavePanelRequest&) { return destination; };

    bool exportingWhenHandedOff = false;
    QObject::connect(&model, &SessionModel::openingFinalCutChanged, [&] {
        if (model.openingFinalCut())
            exportingWhenHandedOff = model.exporting();
    });
    model.exportXML(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.exporting(); }));
    EXPECT_TRUE(exportingWhenHandedOff);
    EXPECT_TRUE(model.openingFinalCut());
    EXPECT_EQ(model.status(), openingStatus);
    ASSERT_EQ(rig.workspace->openRequests.size(), 1);
    EXPECT_EQ(rig.workspace->openRequests[0].document, destination);

    // Neither a save nor another hand-off starts while Final Cut Pro is being asked.
    model.exportXML(false);
    EXPECT_EQ(rig.panels->saveRequests.size(), 1);

    rig.workspace->openRequests[0].completion(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.openingFinalCut(); }));
    EXPECT_EQ(model.status(), sentStatus);
    EXPECT_EQ(model.lastExport(), destination);
}

} // namespace
