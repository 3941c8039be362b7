#include "UiTestSupport.h"

#include "app/KorvaneApp.h"
#include "support/GraphicsDrivers.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTextDocument>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

// One application object for every test of the process, made the way the program makes it.
class ApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override {
        KorvaneApp::prepareProcess();
        application_ = std::make_unique<QApplication>(argc_, argv_);
        KorvaneApp::configure(*application_);
    }
    void TearDown() override {
        TestSupport::keepGraphicsDriversLoaded();
        application_.reset();
    }

private:
    int argc_ = 1;
    char name_[8] = "tessaly";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

class TimeOnlyFrame final : public PreviewFrame {
public:
    explicit TimeOnlyFrame(double time) : time_(time) {}
    double time() const override { return time_; }

private:
    double time_;
};

struct Outcome {
    bool done = false;
    std::exception_ptr error;
};

QCoro::Task<> capture(QCoro::Task<> task, std::shared_ptr<Outcome> outcome) {
    try {
        co_await std::move(task);
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

} // namespace

std::exception_ptr finish(QCoro::Task<> task, int timeoutMs) {
    auto outcome = std::make_shared<Outcome>();
    capture(std::move(task), outcome);
    EXPECT_TRUE(waitUntil([&] { return outcome->done; }, timeoutMs)) << "the task did not finish";
    return outcome->error;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

QString makeSampleClip(const QString& path, const QString& size, int durationSeconds) {
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral(TESSALY_SOURCE_DIR "/scripts/make-sample"),
                 {QStringLiteral("--size"), size, QStringLiteral("--duration"),
                  QString::number(durationSeconds), QStringLiteral("--fps"), QStringLiteral("30"),
                  path});
    const bool finished = script.waitForFinished(120000);
    EXPECT_TRUE(finished && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0)
        << script.readAll().toStdString();
    return path;
}

QString cachedSampleClip(const QString& size, int durationSeconds) {
    const QString name = QStringLiteral("ui-sample-%1-%2s.mp4").arg(size).arg(durationSeconds);
    const QString path = QStringLiteral(TESSALY_BINARY_DIR "/tests/ui/") + name;
    if (QFileInfo::exists(path))
        return path;
    // Made beside its final name and moved in whole, so tests running at once never read half.
    QTemporaryDir scratch(QStringLiteral(TESSALY_BINARY_DIR "/tests/ui/clip-XXXXXX"));
    const QString made = makeSampleClip(scratch.filePath(name), size, durationSeconds);
    QFile::rename(made, path);
    return path;
}

void showActive(QWidget& widget) {
    widget.show();
    widget.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&widget));
}

QString shownMessage(const QMessageBox* alert) {
    const auto* label = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (!label)
        return {};
    if (label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text()))
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

std::shared_ptr<const PreviewFrame> TimeOnlyRenderer::makeFrame(const VideoFrame&, double time) {
    return std::make_shared<TimeOnlyFrame>(time);
}

std::unique_ptr<PreviewRenderer> makeTimeOnlyRenderer() {
    return std::make_unique<TimeOnlyRenderer>();
}
