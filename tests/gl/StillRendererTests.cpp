// Still frames from a real clip through the FFmpeg player: the exact frame at the exact time.
#include "model/UserError.h"
#include "preview/gl/StillRenderer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

namespace {

// One second of red, then one second of blue, at 30 frames per second.
QString makeClip(const QTemporaryDir& folder) {
    const QString path = folder.filePath(QStringLiteral("red-then-blue.mp4"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v",
                                            "error",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "color=c=red:s=256x128:r=30:d=1",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "color=c=blue:s=256x128:r=30:d=1",
                                            "-filter_complex",
                                            "[0][1]concat=n=2:v=1:a=0,format=yuv420p",
                                            "-c:v",
                                            "libx264",
                                            "-preset",
                                            "ultrafast",
                                            "-g",
                                            "60",
                                            "-colorspace",
                                            "bt709",
                                            "-color_primaries",
                                            "bt709",
                                            "-color_trc",
                                            "bt709",
                                            path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg could not make the clip: "
                      << ffmpeg.readAllStandardError().toStdString();
    }
    return path;
}

struct Outcome {
    std::optional<QImage> image;
    std::exception_ptr failure;
    bool done = false;
};

QCoro::Task<> collect(QCoro::Task<QImage> task, Outcome* outcome) {
    try {
        outcome->image = co_await task;
    } catch (...) {
        outcome->failure = std::current_exception();
    }
    outcome->done = true;
}

// Runs the event loop until the picture is drawn; rethrows its failure.
QImage renderNow(const QString& path, double seconds, QSize size) {
    Outcome outcome;
    auto waiter = collect(StillRenderer::render(path, seconds, {20, -10, 5, 90}, size), &outcome);
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.done; }, 60000));
    if (outcome.failure) {
        std::rethrow_exception(outcome.failure);
    }
    return outcome.image.value_or(QImage());
}

bool isRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 40 && qBlue(c) < 40;
}
bool isBlue(QRgb c) {
    return qBlue(c) > 200 && qRed(c) < 40 && qGreen(c) < 40;
}

TEST(StillRendererTest, DrawsTheExactFrameAtTheTimeAsked) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString clip = makeClip(folder);

    // The last red frame starts at 29/30 s and the first blue one at exactly 1 s; the seek must
    // land on them rather than on the key frame before.
    const QImage lastRed = renderNow(clip, 29.0 / 30.0, QSize(160, 90));
    ASSERT_EQ(lastRed.size(), QSize(160, 90));
    EXPECT_TRUE(isRed(lastRed.pixel(80, 45)));
    const QImage firstBlue = renderNow(clip, 1.0, QSize(90, 160));
    ASSERT_EQ(firstBlue.size(), QSize(90, 160));
    EXPECT_TRUE(isBlue(firstBlue.pixel(45, 80)));
    EXPECT_TRUE(isBlue(renderNow(clip, 1.5, QSize(32, 18)).pixel(16, 9)));
}

TEST(StillRendererTest, ExplainsWhatWentWrong) {
    QTemporaryDir folder;
    const auto failureOf = [](QString path, double seconds) -> std::string {
        try {
            renderNow(path, seconds, QSize(16, 9));
        } catch (const std::exception& error) {
            return localizedDescription(error).toStdString();
        }
        return "(no error)";
    };
    EXPECT_EQ(failureOf(folder.filePath(QStringLiteral("clip.mp4")), -1),
              "The time to draw must be zero or more seconds.");
    EXPECT_NE(failureOf(folder.filePath(QStringLiteral("missing.mp4")), 0), "(no error)");
}

} // namespace
