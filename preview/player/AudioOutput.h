#pragma once

#include <QString>

#include <memory>
#include <optional>

class QAudioSink;
class AudioRing;
class AudioRingDevice;
class WorkerGroup;

// The sound of one item: a decoding thread of its own (separate from the video's, so that video
// frames waiting in their queue never hold up the sound) resampling into a short ring that a
// QAudioSink on the main thread pulls from. Stopping never waits for that thread.
class AudioOutput {
public:
    // Nothing when the machine has no audio output device or the file no audio track; the
    // picture then plays on without sound. The decoding threads belong to `workers`.
    static std::unique_ptr<AudioOutput> create(const QString& path, int audioStream,
                                               WorkerGroup& workers);
    ~AudioOutput();

    const QString& path() const { return path_; }
    // Starts the sound at itemTime (seconds); restarts it when already running.
    void start(double itemTime);
    void stop();
    bool isRunning() const { return running_; }
    // The item time being heard now, once the device has started consuming sound.
    std::optional<double> clockSeconds() const;

private:
    explicit AudioOutput(WorkerGroup& workers);

    QString path_;
    int audioStream_ = -1;
    bool running_ = false;
    double startTime_ = 0;
    int bytesPerSecond_ = 0;
    std::shared_ptr<AudioRing> ring_;
    std::unique_ptr<AudioRingDevice> device_;
    WorkerGroup& workers_;
    std::unique_ptr<QAudioSink> sink_;
};
