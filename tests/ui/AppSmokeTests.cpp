// The whole program on a generated clip: the window main() builds, the real inspector, preview
// engine, OpenGL surfaces, exporter and desktop, with only the save panel answered by the test
// and a stand-in Final Cut Pro bundle in a temporary home folder.
#include "app/KorvaneApp.h"

#include "UiTestSupport.h"
#include "WindowRig.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveAnglePreview.h"
#include "ui/AngleCard.h"
#include "ui/PlaybackControls.h"
#include "ui/SegmentedControl.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

// A home folder holding a Final Cut Pro bundle with the FCPXML DTD, for the length of a test.
class HomeWithFinalCut {
public:
    HomeWithFinalCut() : previous_(qgetenv("HOME")) {
        const QString bundle = home_.filePath(QStringLiteral("Applications/Final Cut Pro.app"));
        const QString resources =
            bundle + QStringLiteral("/Contents/Frameworks/Interchange.framework/Resources");
        QDir().mkpath(resources);
        QFile plist(bundle + QStringLiteral("/Contents/Info.plist"));
        EXPECT_TRUE(plist.open(QIODevice::WriteOnly));
        plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<plist version=\"1.0\"><dict>\n"
                    "<key>CFBundleIdentifier</key><string>com.apple.FinalCut</string>\n"
                    "</dict></plist>\n");
        EXPECT_TRUE(QFile::copy(QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd"),
                                resources + QStringLiteral("/FCPXMLv1_14.dtd")));
        qputenv("HOME", home_.path().toLocal8Bit());
    }
    ~HomeWithFinalCut() { qputenv("HOME", previous_); }
    QString path() const { return home_.path(); }

private:
    QTemporaryDir home_;
    QByteArray previous_;
};

qint64 projectedFrames(AngleCard* card) {
    auto* surface = qobject_cast<LiveAnglePreview*>(card->previewSurface());
    return surface ? surface->projectedFrameCount() : -1;
}

// Drags the position slider to a time, as a user does: press, move, release.
void scrubTo(PlaybackControls& controls, double seconds) {
    QSlider* slider = controls.positionSlider();
    slider->setSliderDown(true);
    slider->setValue(int(seconds / controls.sliderUpperBound() * slider->maximum()));
    slider->setSliderDown(false);
}

TEST(Tessaly, FramesPlaysScrubsSavesAndCloses) {
    HomeWithFinalCut home;
    QTemporaryDir work;
    const QString clip = makeSampleClip(work.filePath(QStringLiteral("Ridge ride.mp4")),
                                        QStringLiteral("512x256"), 3);
    const QString saved = work.filePath(QStringLiteral("Ridge ride setup.fcpxml"));

    auto panels = std::make_shared<ScriptedPanels>();
    panels->onSave = [&](const SavePanelRequest& request) {
        EXPECT_EQ(request.fileExtension, QStringLiteral("fcpxml"));
        return QUrl::fromLocalFile(saved);
    };
    SessionServices services;
    services.panels = panels;
    const auto window = KorvaneApp::makeWindow(
        std::move(services), {QStringLiteral("tessaly"), QStringLiteral("--source"), clip});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaly"));
    EXPECT_EQ(window->size(), QSize(KorvaneApp::defaultWidth, KorvaneApp::defaultHeight));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    SessionModel& model = window->model();
    LivePreviewSession& preview = *model.preview();
    ASSERT_TRUE(waitUntil([&] { return model.source().has_value() && !model.loading(); }, 60000))
        << model.status().toStdString() << " " << model.errorMessage().value_or("").toStdString();
    ASSERT_EQ(window->cards().size(), 4);
    ASSERT_TRUE(waitUntil([&] {
        for (AngleCard* card : window->cards())
            if (projectedFrames(card) < 1)
                return false;
        return true;
    })) << "every view shows the picture";

    PlaybackControls& controls = *window->playbackControls();
    scrubTo(controls, 0);
    ASSERT_TRUE(waitUntil([&] { return !preview.isSeeking() && preview.time() < 0.05; }));
    const qint64 framesBefore = projectedFrames(window->cards().first());
    controls.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));
    QTest::qWait(2000);
    EXPECT_GT(preview.time(), 1.0) << "software OpenGL keeps up with a small clip";
    EXPECT_GT(projectedFrames(window->cards().first()), framesBefore + 10);
    controls.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !preview.isPlaying(); }));

    scrubTo(controls, 1.5);
    ASSERT_TRUE(
        waitUntil([&] { return !preview.isSeeking() && std::abs(preview.time() - 1.5) < 0.05; }));
    QTest::qWait(100);

    const QString screenshot = QStringLiteral(TESSALY_BINARY_DIR "/tessaly-window.png");
    EXPECT_TRUE(window->grab().save(screenshot));

    // Save and hand the file to the bundle: the XML is written and validated against the DTD of
    // the bundle; the bundle cannot run here, which the alert reports.
    window->saveAndOpenButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !model.exporting() && !model.openingFinalCut(); }, 60000));
    ASSERT_EQ(model.lastExport(), QUrl::fromLocalFile(saved))
        << model.errorMessage().value_or("").toStdString();
    EXPECT_TRUE(QFileInfo(saved).size() > 0);
    EXPECT_FALSE(window->lastExportRow()->isHidden());
    ASSERT_TRUE(
        waitUntil([&] { return window->errorAlert() && window->errorAlert()->isVisible(); }));
    EXPECT_TRUE(shownMessage(window->errorAlert())
                    .startsWith(QStringLiteral(
                        "Your XML is saved, but it could not be opened in Final Cut Pro: ")))
        << shownMessage(window->errorAlert()).toStdString();
    EXPECT_EQ(model.status(),
              QStringLiteral("XML saved. Use Open Saved XML in Final Cut to try again."));
    window->errorAlert()->buttons().first()->click();
    ASSERT_TRUE(waitUntil([&] { return !model.errorMessage().has_value(); }));
    QTest::qWait(50);
    // The whole scrolling column, down to the saved file's row.
    EXPECT_TRUE(window->scrollArea()->widget()->grab().save(
        QStringLiteral(TESSALY_BINARY_DIR "/tessaly-window-content.png")));

    window->formatControl()->segment(int(OutputFormat::portrait))->click();
    ASSERT_TRUE(waitUntil([&] {
        for (AngleCard* card : window->cards())
            if (card->previewSurface()->height() <= card->previewSurface()->width())
                return false;
        return true;
    }));
    QTest::qWait(100);
    EXPECT_TRUE(window->scrollArea()->widget()->grab().save(
        QStringLiteral(TESSALY_BINARY_DIR "/tessaly-window-portrait.png")));

    controls.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return preview.isPlaying(); }));
    window->close();
    EXPECT_FALSE(preview.isPlaying()) << "closing the window stops playback";
}

} // namespace
