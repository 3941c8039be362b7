#include "session/SessionFakes.h"
#include "session/SessionTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace {

const QString initialStatus = QStringLiteral("Choose a stitched 360° MP4 or MOV to begin.");
const QString readyStatus = QStringLiteral(
    "Play or scrub the preview and adjust each view. Save your setup when the framing is ready.");
const QString failedStatus =
    QStringLiteral("Could not open this source. Choose a stitched 360° MP4 or MOV.");

QUrl fileUrl(const QString& name) {
    return QUrl::fromLocalFile(QStringLiteral("/media/rides/") + name);
}

TEST(SessionOpening, NewModelStartsEmptyAndNotifiesOnlyRealChanges) {
    SessionRig rig;
    auto model = rig.makeModel();
    EXPECT_EQ(model->status(), initialStatus);
    EXPECT_EQ(model->outputFormat(), OutputFormat::landscape);
    EXPECT_EQ(model->outputResolution(), OutputResolution::ultraHD);
    EXPECT_EQ(model->angleCount(), 4);
    EXPECT_EQ(model->angles().size(), 4);
    EXPECT_EQ(model->layout(), QStringLiteral("direct"));
    EXPECT_TRUE(model->dimensions().isEmpty());
    EXPECT_FALSE(model->source() || model->lastExport() || model->errorMessage());
    EXPECT_FALSE(model->loading() || model->exporting() || model->openingFinalCut());

    QSignalSpy status(model.get(), &SessionModel::statusChanged);
    QSignalSpy count(model.get(), &SessionModel::angleCountChanged);
    QSignalSpy naming(model.get(), &SessionModel::projectNamingChanged);
    model->setStatus(initialStatus);
    model->setAngleCount(4);
    model->setProjectNaming(ProjectNaming());
    EXPECT_EQ(status.count() + count.count() + naming.count(), 0);

    // The name panel's pass-throughs notify on every accepted assignment, even of the same value.
    model->setProjectBaseName(QStringLiteral("Ignored while the video names the project"));
    model->setAppendsNameDetails(true);
    model->setUsesVideoFilename(false);
    model->setProjectBaseName(QStringLiteral("Ridge"));
    model->setProjectBaseName(QStringLiteral("Ridge"));
    EXPECT_EQ(naming.count(), 4);
    model->setAngleCount(3);
    EXPECT_EQ(model->projectFilename(),
              QStringLiteral("Ridge - 3 angles - Landscape 16x9 - 4K.fcpxml"));
}

TEST(SessionOpening, FirstPortraitSelectionPreparesEveryViewBeforeTheFormatIsAnnounced) {
    SessionRig rig;
    auto model = rig.makeModel();
    model->setAngleCount(3);
    AngleSettings* rear = model->angles()[3];
    rear->setFraming(AngleFraming(ViewAngles{-100, 20, 5, 70}));

    std::optional<ViewAngles> portraitWhenAnnounced;
    QObject::connect(model.get(), &SessionModel::outputFormatChanged,
                     [&] { portraitWhenAnnounced = rear->framing().portrait; });
    model->setOutputFormat(OutputFormat::portrait);
    EXPECT_TRUE(rear->framing().hasSelectedPortrait);
    EXPECT_EQ(portraitWhenAnnounced, (ViewAngles{-100, 20, 5, 90}));
}

TEST(SessionOpening, AcceptsCapitalisedExtensionsAndRefusesCameraOriginals) {
    SessionRig rig;
    rig.inspector->script(QStringLiteral("Ride 01.MOV"), {ntscInfo(300), {}, {}});
    auto model = rig.makeModel();
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("Ride 01.MOV"))));
    ASSERT_EQ(model->source(), fileUrl(QStringLiteral("Ride 01.MOV")));
    EXPECT_EQ(model->status(), readyStatus);
    EXPECT_EQ(model->projectBaseName(), QStringLiteral("Ride 01"));
    model->preview()->play();
    const QUuid token = model->loadID();

    QCoro::waitFor(model->open(fileUrl(QStringLiteral("VID_0001.insv"))));
    EXPECT_EQ(model->errorMessage(),
              QStringLiteral("This file is camera-original media. First open it in your camera’s "
                             "desktop software and export a full 360° video as MP4 or MOV, keeping "
                             "the original resolution and frame rate. Do not choose a "
                             "flat/reframed export."));
    EXPECT_EQ(model->status(), readyStatus);
    EXPECT_EQ(model->loadID(), token);
    EXPECT_EQ(model->source(), fileUrl(QStringLiteral("Ride 01.MOV")));
    EXPECT_TRUE(rig.player->isPlaying());
    EXPECT_EQ(rig.inspector->calls(QStringLiteral("VID_0001.insv")), 0);
}

TEST(SessionOpening, OnlyTheLatestOpeningReachesTheState) {
    SessionRig rig;
    Gate slowFacts, slowFailure;
    ExportMediaInfo wide = ntscInfo(600);
    wide.width = 7680;
    rig.inspector->script(QStringLiteral("a.mp4"), {wide, {}, slowFacts.future});
    rig.inspector->script(QStringLiteral("b.mp4"), {ntscInfo(300), {}, {}});
    rig.inspector->script(QStringLiteral("c.mp4"),
                          {{}, QStringLiteral("C is broken."), slowFailure.future});
    rig.inspector->script(QStringLiteral("d.mp4"), {ntscInfo(150), {}, {}});
    auto model = rig.makeModel();

    // A's facts arrive after B has opened.
    QCoro::Task<> a = model->open(fileUrl(QStringLiteral("a.mp4")));
    EXPECT_TRUE(model->loading());
    EXPECT_EQ(model->status(), QStringLiteral("Reading video and preparing live previews…"));
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("b.mp4"))));
    slowFacts.open();
    QCoro::waitFor(a);
    EXPECT_TRUE(rig.inspector->wasAskedToStop(QStringLiteral("a.mp4")));
    EXPECT_EQ(model->source(), fileUrl(QStringLiteral("b.mp4")));
    EXPECT_EQ(model->dimensions(), QStringLiteral("3840 × 1920 · 29.970 fps · 10.0 sec"));
    EXPECT_DOUBLE_EQ(model->preview()->duration(), 10.01);

    // C fails after D has opened: no message.
    QCoro::Task<> c = model->open(fileUrl(QStringLiteral("c.mp4")));
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("d.mp4"))));
    slowFailure.open();
    QCoro::waitFor(c);
    EXPECT_FALSE(model->errorMessage());
    EXPECT_EQ(model->status(), readyStatus);
    EXPECT_EQ(model->dimensions(), QStringLiteral("3840 × 1920 · 29.970 fps · 5.0 sec"));

    // B is superseded while its preview is still seeking to the first frame.
    std::optional<QCoro::Task<>> d;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(model->preview(), &LivePreviewSession::isSeekingChanged, [&] {
        QObject::disconnect(*once);
        QTimer::singleShot(0, [&] { d.emplace(model->open(fileUrl(QStringLiteral("d.mp4")))); });
    });
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("b.mp4"))));
    ASSERT_TRUE(d);
    QCoro::waitFor(*d);
    EXPECT_FALSE(model->errorMessage());
    EXPECT_EQ(model->source(), fileUrl(QStringLiteral("d.mp4")));
    EXPECT_DOUBLE_EQ(model->preview()->duration(), 5.005);
}

TEST(SessionOpening, AFailedOpeningKeepsThePreviousSummary) {
    SessionRig rig;
    rig.inspector->script(QStringLiteral("good.mp4"), {ntscInfo(300), {}, {}});
    rig.inspector->script(QStringLiteral("flat.mp4"),
                          {{}, QStringLiteral("Choose a 360° video."), {}});
    ExportMediaInfo empty = ntscInfo(300);
    empty.duration = MediaTime::make(0, 30000);
    rig.inspector->script(QStringLiteral("empty.mp4"), {empty, {}, {}});
    auto model = rig.makeModel();
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("good.mp4"))));
    const QString summary = model->dimensions();

    QCoro::waitFor(model->open(fileUrl(QStringLiteral("flat.mp4"))));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Choose a 360° video."));
    EXPECT_EQ(model->status(), failedStatus);
    EXPECT_FALSE(model->loading() || model->source() || model->lastExport());
    EXPECT_EQ(model->dimensions(), summary);

    // The preview refusing the file fails the opening the same way.
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("empty.mp4"))));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("This video has no usable duration."));
    EXPECT_EQ(model->status(), failedStatus);
    EXPECT_FALSE(model->loading() || model->source());
    EXPECT_EQ(model->dimensions(), summary);
}

TEST(SessionOpening, PreviewOpensTwoSecondsInOrOnTheLastFrame) {
    SessionRig rig;
    rig.inspector->script(QStringLiteral("short.mp4"), {infoWith(45, 30, 30), {}, {}});
    rig.inspector->script(QStringLiteral("long.mp4"), {infoWith(300, 30, 30), {}, {}});
    rig.inspector->script(QStringLiteral("one.mp4"), {infoWith(1, 30, 30), {}, {}});
    auto model = rig.makeModel();

    QCoro::waitFor(model->open(fileUrl(QStringLiteral("short.mp4"))));
    EXPECT_NEAR(rig.player->lastSeekTarget(), 1.4667, 1e-3);
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("long.mp4"))));
    EXPECT_NEAR(rig.player->lastSeekTarget(), 2.0, 1e-9);
    QCoro::waitFor(model->open(fileUrl(QStringLiteral("one.mp4"))));
    EXPECT_NEAR(rig.player->lastSeekTarget(), 0.0, 1e-9);
}

TEST(SessionOpening, ChoosingASourceOffersOneMovieAndOpensIt) {
    SessionRig rig;
    rig.inspector->script(QStringLiteral("chosen.m4v"), {ntscInfo(300), {}, {}});
    auto model = rig.makeModel();
    model->chooseSource();
    ASSERT_EQ(rig.panels->openRequests.size(), 1);
    const OpenPanelRequest& request = rig.panels->openRequests.first();
    EXPECT_EQ(request.message, QStringLiteral("Choose a stitched, full 2:1 equirectangular MP4 or "
                                              "MOV from your camera’s desktop software."));
    EXPECT_EQ(request.mimeTypes.mid(0, 3),
              (QStringList{"video/mp4", "video/quicktime", "video/x-m4v"}));
    EXPECT_FALSE(request.allowsMultipleSelection || request.canChooseDirectories);
    EXPECT_FALSE(model->loading());

    rig.panels->onOpen = [](const OpenPanelRequest&) { return fileUrl("chosen.m4v"); };
    model->chooseSource();
    EXPECT_TRUE(model->loading());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->loading(); }));
    EXPECT_EQ(model->source(), fileUrl(QStringLiteral("chosen.m4v")));
}

TEST(SessionOpening, SummarisesARealNtscClip) {
    QTemporaryDir folder;
    const QString clip = makeSampleClip(folder.path(), QStringLiteral("ridge line.mp4"),
                                        {"--size", "256x128", "--duration", "1"});
    ASSERT_FALSE(clip.isEmpty());
    SessionServices services;
    services.panels = std::make_shared<FakePanels>();
    services.preview = makeFakePreview().session;
    SessionModel model(std::move(services));

    QCoro::waitFor(model.open(QUrl::fromLocalFile(clip)));
    EXPECT_FALSE(model.errorMessage()) << model.errorMessage()->toStdString();
    EXPECT_EQ(model.dimensions(), QStringLiteral("256 × 128 · 29.970 fps · 1.0 sec"));
}

} // namespace
