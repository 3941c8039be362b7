#include "session/SessionModel.h"

#include "export/FCPXMLExporter.h"
#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "model/ViewPresets.h"
#include "platform/FilePanels.h"
#include "preview/LivePreviewSession.h"
#include "support/FakeWorkspace.h"
#include "support/Printing.h"
#include "support/RecordingRenderer.h"
#include "support/ScriptedPanels.h"
#include "support/ScriptedPlayer.h"
#include "support/TemporaryHome.h"
#include "support/Waiting.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

const QString ready =
    "Play or scrub the preview and adjust each view. Save your setup when the framing is ready.";
const QString saved =
    "XML saved. Import it into Final Cut Pro, open the project ending in ‘— Edit’, "
    "and cut with 1, 2, 3, and 4.";

// frames × frame/scale seconds of 3840 × 1920 video with stereo sound.
ExportMediaInfo facts(std::int64_t frames, std::int64_t frame = 1001, std::int32_t scale = 30000) {
    const auto at = [=](std::int64_t value) { return MediaTime::make(value, scale); };
    return {3840, 1920, at(frame), at(frames * frame), at(0), 2, 48000, {}};
}

// What the window shows of the model: its status line, and its error if there is one.
QString shown(const SessionModel& model) {
    return model.status() + (model.errorMessage() ? " | " + *model.errorMessage() : QString());
}

// A model on fakes. An inspection answers from the script of its file name (the facts, else
// "<name> is broken.") once the script's gate opens; the writer is the real one, validating
// against the test DTD, unless the test makes it fail. Sources are empty files in a folder.
class Session : public testing::Test {
protected:
    struct Script {
        std::optional<ExportMediaInfo> info;
        std::shared_future<void> gate;
        std::optional<bool> askedToStop; // once its inspection answered
    };
    QTemporaryDir folder;
    std::mutex mutex;
    QHash<QString, Script> scripts;
    std::shared_ptr<ScriptedPanels> panels = std::make_shared<ScriptedPanels>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    QList<ExportRequest> writes;
    QStringList installedDTDs;
    QHash<QString, QString> macFolders;
    std::exception_ptr writeFailure;
    ScriptedPlayer* player = nullptr;
    std::unique_ptr<SessionModel> model = make();
    const QUrl clip = file("clip.mp4");

    ~Session() override { model.reset(), Waiting::settle(); } // no inspection outlives the scripts
    std::unique_ptr<SessionModel> make() {
        auto scripted = std::make_unique<ScriptedPlayer>();
        scripted->landSeeks = true;
        player = scripted.get();
        auto renderer = std::make_shared<RecordingRenderer>();
        const auto inspect = [this](const QUrl& url, std::stop_token stop) {
            std::unique_lock lock(mutex);
            const Script script = scripts.value(url.fileName());
            lock.unlock();
            if (script.gate.valid())
                script.gate.wait_for(std::chrono::seconds(20));
            lock.lock();
            scripts[url.fileName()].askedToStop = stop.stop_requested();
            return script.info ? *script.info : throw ExportError(url.fileName() + " is broken.");
        };
        const auto write = [this](const ExportRequest& request) {
            writes.append(request);
            if (writeFailure)
                std::rethrow_exception(writeFailure);
            FCPXMLExporter::write(request, QUrl::fromLocalFile(TemporaryHome::testDTD()));
        };
        SessionServices services;
        services.inspect = inspect;
        services.write = write;
        services.installDTD = [this](const QString& file) {
            installedDTDs.append(file);
            if (file.contains("wrong"))
                throw ExportError("not the DTD");
        };
        services.recallMacFolder = [this](const QString& folder) {
            return macFolders.contains(folder) ? std::optional(macFolders[folder]) : std::nullopt;
        };
        services.rememberMacFolder = [this](const QString& folder, const QString& mac) {
            macFolders[folder] = mac;
        };
        services.workspace = workspace;
        services.panels = panels;
        services.preview =
            std::make_unique<LivePreviewSession>(std::move(scripted), [=] { return renderer; });
        return std::make_unique<SessionModel>(std::move(services));
    }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(folder.filePath(name)); }
    QUrl file(const QString& name, std::optional<ExportMediaInfo> info = facts(300),
              std::promise<void>* gate = {}) {
        QFile(folder.filePath(name)).open(QIODevice::WriteOnly);
        const std::lock_guard lock(mutex);
        scripts.insert(
            name,
            {std::move(info), gate ? gate->get_future().share() : std::shared_future<void>(), {}});
        return url(name);
    }
    std::optional<bool> askedToStop(const QString& name) {
        const std::lock_guard lock(mutex);
        return scripts.value(name).askedToStop;
    }
    void open(const QUrl& url) { EXPECT_FALSE(Waiting::finish(model->open(url))); }
    void save(const QString& name, bool openAfterwards = false) {
        panels->onSave = [chosen = url(name)](auto&) { return chosen; };
        model->exportXML(openAfterwards);
        EXPECT_TRUE(Waiting::until([&] { return !model->exporting(); }));
    }
};

TEST_F(Session, OnlyTheLatestOpeningReachesTheState) {
    EXPECT_EQ(model->status(), "Choose a stitched 360° MP4 or MOV to begin.");
    std::promise<void> slowFacts, slowFailure;
    const QUrl a = file("a.mp4", facts(600), &slowFacts), b = file("b.mp4");
    const QUrl c = file("c.mp4", {}, &slowFailure), d = file("d.mp4", facts(150));

    // A's facts arrive after B, chosen in the open panel, has opened; A was told to stop early.
    QCoro::Task<> first = model->open(a);
    EXPECT_EQ(shown(*model), "Reading video and preparing live previews…");
    panels->onOpen = [&](const OpenPanelRequest&) { return b; };
    model->chooseSource();
    EXPECT_EQ(panels->openRequests.value(0).message,
              "Choose a stitched, full 2:1 equirectangular "
              "MP4 or MOV from your camera’s desktop software.");
    EXPECT_EQ(panels->openRequests.value(0).mimeTypes, FileTypes::movieMimeTypes());
    ASSERT_TRUE(Waiting::until([&] { return model->source() == b; }));
    slowFacts.set_value();
    EXPECT_FALSE(Waiting::finish(first));
    EXPECT_TRUE(askedToStop("a.mp4") == true && model->source() == b);
    EXPECT_EQ(model->dimensions(), "3840 × 1920 · 29.970 fps · 10.0 sec");
    EXPECT_DOUBLE_EQ(model->preview()->duration(), 10.01);

    // C fails after D has opened: no message.
    QCoro::Task<> third = model->open(c);
    open(d);
    slowFailure.set_value();
    EXPECT_FALSE(Waiting::finish(third));
    EXPECT_EQ(shown(*model), ready);
    EXPECT_EQ(model->dimensions(), "3840 × 1920 · 29.970 fps · 5.0 sec");

    // B is overtaken while its preview still seeks to the first frame.
    std::optional<QCoro::Task<>> last;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(model->preview(), &LivePreviewSession::isSeekingChanged, [&] {
        QObject::disconnect(*once);
        QTimer::singleShot(0, [&] { last.emplace(model->open(d)); });
    });
    open(b);
    ASSERT_TRUE(last);
    EXPECT_FALSE(Waiting::finish(*last));
    EXPECT_EQ(shown(*model), ready);
    EXPECT_TRUE(model->source() == d && model->preview()->duration() == 5.005);
}

TEST_F(Session, RefusedOpeningsKeepTheLastSummaryAndThePreviewStartsTwoSecondsIn) {
    open(clip);
    EXPECT_EQ(player->lastSeekTarget(), 2.0);
    const QString summary = model->dimensions();
    model->preview()->play();
    open(file("VID_0001.insv")); // refused before anything changes, and never inspected
    EXPECT_EQ(shown(*model), ready +
                                 " | This file is camera-original media. First open it in your "
                                 "camera’s desktop software and export a full 360° video as MP4 "
                                 "or MOV, keeping the original resolution and frame rate. Do not "
                                 "choose a flat/reframed export.");
    EXPECT_TRUE(model->source() == clip && player->isPlaying() && !askedToStop("VID_0001.insv"));
    // The inspection's refusal, and the preview's, fail the opening alike.
    for (const auto& [url, message] :
         {std::pair{file("flat.mp4", {}), "flat.mp4 is broken."},
          {file("empty.mp4", facts(0)), "This video has no usable duration."}}) {
        open(url);
        EXPECT_EQ(shown(*model),
                  "Could not open this source. Choose a stitched 360° MP4 or MOV. | " +
                      QString(message));
        EXPECT_TRUE(!model->loading() && !model->source() && model->dimensions() == summary);
    }
    open(file("short.mp4", facts(45, 1, 30))); // or on the last frame of a shorter clip
    EXPECT_DOUBLE_EQ(player->lastSeekTarget(), 44 / 30.0);
}

TEST_F(Session, AModelGoneBeforeAnAnswerIsNotTouched) {
    std::promise<void> slow;
    QCoro::Task<> opening = model->open(file("late.mp4", facts(30), &slow));
    model.reset();
    slow.set_value();
    EXPECT_FALSE(Waiting::finish(opening));
    EXPECT_EQ(askedToStop("late.mp4"), true);
    model = make();
    workspace->applications["com.apple.FinalCut"] = {QUrl("file:///FCP.app")};
    model->openSavedXMLInFinalCut(clip);
    ASSERT_EQ(workspace->openRequests.size(), 1);
    model.reset();
    workspace->openRequests[0].completion(QString("Too late."));
    Waiting::settle(); // AddressSanitizer reports any use of a destroyed model
}

TEST_F(Session, SaveRefusalsAndCancellingLeaveNoTrace) {
    model->exportXML(false); // nothing open yet
    open(clip);
    model->angles()[1]->setTitle("self ");
    model->exportXML(true);
    EXPECT_EQ(shown(*model), ready +
                                 " | Use a different name for each camera view so they are easy "
                                 "to identify in Final Cut Pro.");
    // Only the active views count; the panel proposes the project's file.
    model->angles()[3]->setTitle("SELF");
    model->angles()[1]->setTitle("Wing");
    model->setAngleCount(3);
    model->preview()->play();
    model->exportXML(false);
    model->exportXML(true);
    const QList<SavePanelRequest>& asked = panels->saveRequests;
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].proposedName == "clip - 3 angles - Landscape 16x9 - 4K.fcpxml" &&
                asked[0].fileExtension == "fcpxml");
    EXPECT_EQ(asked[0].message, "Save an editable multicam setup referencing your original video.");
    EXPECT_EQ(asked[1].message, "Save your multicam XML, then open it in Final Cut Pro.");
    EXPECT_FALSE(model->exporting() || player->isPlaying());
    // An existing name, even a dangling link, is refused before anything is written; a name
    // without the extension gets it first.
    QFile::link(folder.filePath("nowhere"), folder.filePath("link.fcpxml"));
    file("taken.fcpxml");
    for (const char* name : {"taken", "link.fcpxml"}) {
        model->setErrorMessage({});
        save(name);
        EXPECT_EQ(shown(*model), ready + " | Please choose a new filename. This prototype "
                                         "preserves existing XML files.");
    }
    EXPECT_TRUE(writes.isEmpty() && !model->lastExport());
}

TEST_F(Session, SavesTheValuesTakenWhenItStarted) {
    std::promise<void> hold;
    open(clip);
    model->setUsesVideoFilename(false);
    model->setProjectBaseName(" Ridge ");
    model->angles()[0]->setFraming(AngleFraming(ViewAngles{-170, 30, 10, 60}));
    model->angles()[1]->setTitle(" Deck ");
    file("clip.mp4", facts(300), &hold);
    panels->onSave = [&](auto&) { return url("r.fcpxml"); };
    model->exportXML(false);
    EXPECT_EQ(shown(*model), "Validating source and saving the multicam setup…");

    // Everything the user could change while the save runs. Every view's portrait framing,
    // inactive ones too, is prepared before anyone hears of the new format.
    std::optional<ViewAngles> announced;
    QObject::connect(model.get(), &SessionModel::outputFormatChanged,
                     [&] { announced = model->angles()[3]->framing().portrait; });
    model->angles()[3]->setFraming(AngleFraming(ViewAngles{-100, 20, 5, 70}));
    model->angles()[0]->setTitle("Renamed");
    model->angles()[0]->setFraming(AngleFraming());
    model->setAngleCount(3);
    model->setOutputFormat(OutputFormat::portrait);
    model->setOutputResolution(OutputResolution::hd);
    model->setLayout(ExportLayout::compound);
    model->setProjectBaseName("Other");
    model->exportXML(false); // a second save does not start
    EXPECT_EQ(announced, (ViewAngles{-100, 20, 5, 90}));
    EXPECT_EQ(panels->saveRequests.size(), 1);
    hold.set_value();
    ASSERT_TRUE(Waiting::until([&] { return !model->exporting(); }));
    EXPECT_EQ(shown(*model), saved);

    ASSERT_EQ(writes.size(), 1);
    QList<ExportView> views = ViewPresets::views(OutputFormat::landscape);
    views[0].angles = ViewAngles{-170, 30, 10, 60}, views[1].name = "Deck";
    EXPECT_EQ(writes[0].views, views);
    EXPECT_EQ(writes[0].name, "Ridge - 4 angles - Landscape 16x9 - 4K");
    EXPECT_TRUE(writes[0].source == clip && writes[0].size == (OutputDimensions{3840, 2160}) &&
                writes[0].layout == ExportLayout::direct && writes[0].info.width == 3840);
    EXPECT_TRUE(writes[0].destination == url("r.fcpxml") && model->lastExport() == url("r.fcpxml"));
}

TEST_F(Session, FailedSavesGiveTheErrorAndTheRetryLine) {
    const QString unfinished = "Export did not finish. Review the error, then try again. | ";
    open(clip);
    save("first.fcpxml");
    ASSERT_EQ(shown(*model), saved);
    file("clip.mp4", {}); // refused when inspected again
    save("second.fcpxml");
    EXPECT_EQ(shown(*model), unfinished + "clip.mp4 is broken.");
    file("clip.mp4");
    writeFailure = std::make_exception_ptr(std::system_error(EACCES, std::generic_category()));
    save("third.fcpxml");
    EXPECT_EQ(shown(*model), unfinished + "Permission denied"); // the system's words alone
    EXPECT_EQ(model->lastExport(), url("first.fcpxml"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);
    open(clip); // another opening forgets the saved file
    EXPECT_FALSE(model->lastExport());
}

TEST_F(Session, HandsTheSaveToFinalCutAndReportsItsAnswerOnALaterTurn) {
    QList<FakeWorkspace::OpenRequest>& asked = workspace->openRequests;
    open(clip);
    save("first.fcpxml", true); // without Final Cut Pro the save stands and says so
    EXPECT_EQ(shown(*model), PlatformTexts::text(PlatformTexts::Text::finalCutMissingStatus) +
                                 " | " +
                                 PlatformTexts::text(PlatformTexts::Text::finalCutMissingMessage));
    model->openSavedXMLInFinalCut(url("gone.fcpxml"));
    EXPECT_EQ(model->errorMessage(), "The saved XML could not be found. Save a new XML file, then "
                                     "try opening it again.");

    const QUrl finalCut = QUrl::fromLocalFile("/Applications/Final Cut Pro.app");
    workspace->applications["com.apple.FinalCut"] = {finalCut};
    bool exportingWhenAsked = false;
    QObject::connect(model.get(), &SessionModel::openingFinalCutChanged,
                     [&] { exportingWhenAsked = exportingWhenAsked || model->exporting(); });
    model->setErrorMessage({});
    model->preview()->play();
    save("second.fcpxml", true);
    EXPECT_TRUE(exportingWhenAsked && model->openingFinalCut() && !player->isPlaying());
    EXPECT_EQ(shown(*model), "Opening the saved XML in Final Cut Pro…");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].document == url("second.fcpxml") && asked[0].application == finalCut &&
                asked[0].activates);
    model->exportXML(false); // neither a save nor another hand-off starts meanwhile
    model->openSavedXMLInFinalCut(url("first.fcpxml"));
    EXPECT_EQ(panels->saveRequests.size() + asked.size(), 3);

    asked[0].completion(QString("The application is damaged."));
    EXPECT_TRUE(model->openingFinalCut()); // the answer is applied on a later turn
    ASSERT_TRUE(Waiting::until([&] { return !model->openingFinalCut(); }));
    EXPECT_EQ(shown(*model), "XML saved. Use Open Saved XML in Final Cut to try again. | Your XML "
                             "is saved, but it could not be opened in Final Cut Pro: The "
                             "application is damaged.");
    model->openSavedXMLInFinalCut(url("first.fcpxml")); // an answer from another thread
    std::thread([&] { asked.at(1).completion(std::nullopt); }).join();
    ASSERT_TRUE(Waiting::until([&] { return !model->openingFinalCut(); }));
    EXPECT_EQ(model->status(), "XML sent to Final Cut Pro. Complete the import there, then open "
                               "the project ending in ‘— Edit’.");
}

} // namespace

TEST_F(Session, AMissingDTDWaitsForTheUsersCopyThenSavesWhatWasTakenFirst) {
    open(clip);
    writeFailure = std::make_exception_ptr(MissingDTDError());
    save("first.fcpxml");
    EXPECT_TRUE(model->awaitingDTD() && !model->exporting());
    EXPECT_EQ(shown(*model), "Export did not finish. Review the error, then try again. | " +
                                 PlatformTexts::text(PlatformTexts::Text::dtdMissing));
    model->angles()[0]->setTitle("Later");
    QString chosen = "/copies/wrong.dtd";
    panels->onOpen = [&](const OpenPanelRequest&) { return QUrl::fromLocalFile(chosen); };
    model->chooseDTD(); // a file that is not the DTD: still waiting, another can be chosen
    ASSERT_TRUE(Waiting::until([&] { return !model->exporting(); }));
    EXPECT_TRUE(model->awaitingDTD() && model->errorMessage() == "not the DTD");
    writeFailure = nullptr;
    chosen = "/copies/FCPXMLv1_14.dtd";
    model->chooseDTD();
    ASSERT_TRUE(Waiting::until([&] { return !model->exporting(); }));
    EXPECT_EQ(installedDTDs, QStringList({"/copies/wrong.dtd", "/copies/FCPXMLv1_14.dtd"}));
    EXPECT_EQ(shown(*model), saved);
    EXPECT_FALSE(model->awaitingDTD());
    ASSERT_EQ(writes.size(), 2);
    EXPECT_EQ(writes[1].views[0].name, "Self") << "the values taken when the save first started";
    EXPECT_EQ(model->lastExport(), url("first.fcpxml"));
    // Giving up, or saving anew, forgets the waiting save.
    writeFailure = std::make_exception_ptr(MissingDTDError());
    save("second.fcpxml");
    model->cancelDTDRequest();
    EXPECT_FALSE(model->awaitingDTD());
    model->chooseDTD();
    EXPECT_EQ(installedDTDs.size(), 2);
}

TEST_F(Session, PointsTheDocumentAtAMacFolderAndRemembersItForThatFolder) {
    open(clip);
    EXPECT_TRUE(!model->pointsAtMacFolder() && model->localMediaFolder() == folder.path());
    model->setPointsAtMacFolder(true);
    model->setMacMediaFolder("/Volumes/Footage/Trip");
    save("mac.fcpxml");
    EXPECT_EQ(shown(*model), "XML saved, pointing at “/Volumes/Footage/Trip/clip.mp4” on the Mac. "
                             "Import it into Final Cut Pro, open the project ending in ‘— Edit’, "
                             "and cut with 1, 2, 3, and 4.");
    QFile document(folder.filePath("mac.fcpxml"));
    ASSERT_TRUE(document.open(QIODevice::ReadOnly));
    EXPECT_TRUE(document.readAll().contains(
        "<media-rep kind=\"original-media\" src=\"file:///Volumes/Footage/Trip/clip.mp4\">"));
    EXPECT_EQ(macFolders.value(folder.path()), "/Volumes/Footage/Trip");
    // A video from elsewhere starts with the mapping off; coming back brings it again.
    model->setPointsAtMacFolder(false);
    QTemporaryDir elsewhere;
    QFile(elsewhere.filePath("clip.mp4")).open(QIODevice::WriteOnly);
    open(QUrl::fromLocalFile(elsewhere.filePath("clip.mp4")));
    EXPECT_FALSE(model->pointsAtMacFolder());
    open(clip);
    EXPECT_TRUE(model->pointsAtMacFolder() && model->macMediaFolder() == "/Volumes/Footage/Trip");
}

TEST_F(Session, UndoesEditsStepByStepAndANewSourceStartsAfresh) {
    open(clip);
    AngleSettings& self = *model->angles()[0];
    const AngleFraming before = self.framing();
    model->beginEdit(); // a drag: one step however many framings it passes through
    for (double pan : {10.0, 20.0, 30.0})
        self.setFraming(AngleFraming(ViewAngles{pan, 0, 0, 90}));
    model->endEdit();
    for (const char* typed : {"S", "Sk", "Sky"}) // typing one name: one step
        self.setTitle(typed);
    model->setOutputFormat(OutputFormat::portrait); // the shape and the prepared framings
    model->setAngleCount(3);
    EXPECT_TRUE(model->canUndo() && !model->canRedo());
    model->undo();
    EXPECT_EQ(model->angleCount(), 4);
    model->undo();
    EXPECT_TRUE(model->outputFormat() == OutputFormat::landscape &&
                !self.framing().hasSelectedPortrait);
    model->undo();
    EXPECT_EQ(self.title(), "Self");
    model->undo();
    EXPECT_EQ(self.framing(), before);
    EXPECT_FALSE(model->canUndo());
    model->redo();
    EXPECT_EQ(self.framing().landscape.pan, 30);
    model->redo();
    EXPECT_EQ(self.title(), "Sky");
    self.setTitle("Deck"); // a new edit drops what could be redone
    EXPECT_FALSE(model->canRedo());
    open(clip);
    EXPECT_FALSE(model->canUndo());
}
