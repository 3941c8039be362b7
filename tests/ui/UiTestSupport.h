#pragma once

#include "preview/PreviewRenderer.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <qcoro/qcorotask.h>

#include <QTemporaryDir>
#include <exception>

#include <functional>
#include <memory>

// Runs the event loop until the condition holds or the time is up; true when it holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// Runs a task to its end in the event loop and returns what it threw, if anything. (QCoro's own
// waitFor never returns from a task that throws.)
std::exception_ptr finish(QCoro::Task<> task, int timeoutMs = 30000);

// A stitched-looking 2:1 clip made by the project's sample script (H.264, stereo AAC).
QString makeSampleClip(const QString& path, const QString& size = QStringLiteral("512x256"),
                       int durationSeconds = 3);

// The same clip made once for the build tree and shared by the tests that only read it.
QString cachedSampleClip(const QString& size = QStringLiteral("512x256"), int durationSeconds = 3);

// Shows a top-level widget and waits until it has the keyboard focus of the display.
void showActive(QWidget& widget);

// The message an alert shows, as the user reads it.
QString shownMessage(const QMessageBox* alert);

// Renders nothing: each decoded frame becomes a frame that only knows its time, so that the
// preview engine runs without a GPU where the picture is not what a test looks at.
class TimeOnlyRenderer final : public PreviewRenderer {
public:
    std::shared_ptr<const PreviewFrame> makeFrame(const VideoFrame& pixels, double time) override;
};
std::unique_ptr<PreviewRenderer> makeTimeOnlyRenderer();
