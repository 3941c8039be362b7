#pragma once

#include "preview/PreviewConsumerRegistry.h"
#include "preview/PreviewRenderer.h"
#include "preview/player/Player.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Makes the engine's renderer; throws PreviewError with the sentence to show when it cannot.
using PreviewRendererFactory = std::function<std::shared_ptr<PreviewRenderer>()>;

// The preview engine of a window: plays one source through its player, hands each new decoded
// frame to its renderer and tells the registered consumers to redraw. Lives on the main thread;
// every player callback comes back there and is checked against the current item and the load
// and seek generations before it changes anything.
class LivePreviewSession : public QObject {
    Q_OBJECT
    Q_PROPERTY(double time READ time NOTIFY timeChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(bool isReady READ isReady NOTIFY isReadyChanged)
    Q_PROPERTY(bool isSeeking READ isSeeking NOTIFY isSeekingChanged)
    Q_PROPERTY(bool muted READ muted WRITE setMuted NOTIFY mutedChanged)
    Q_PROPERTY(qint64 decodedFrameCount READ decodedFrameCount NOTIFY decodedFrameCountChanged)
    Q_PROPERTY(double currentFrameTime READ currentFrameTime NOTIFY currentFrameTimeChanged)

public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds loadTimeout{20};
    static constexpr std::chrono::seconds seekTimeout{15};
    static constexpr double refreshInterval = 1.0 / 30.0;
    static constexpr std::int32_t seekTimescale = 60000;

    // With no renderer factory, or one that fails, the session has no renderer and every load is
    // refused.
    explicit LivePreviewSession(std::unique_ptr<Player> player,
                                PreviewRendererFactory rendererFactory = {},
                                QObject* parent = nullptr);
    ~LivePreviewSession() override;

    double time() const { return time_; }
    double duration() const { return duration_; }
    bool isPlaying() const { return isPlaying_; }
    bool isReady() const { return isReady_; }
    bool isSeeking() const { return isSeeking_; }
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    bool muted() const { return muted_; }
    qint64 decodedFrameCount() const { return decodedFrameCount_; }
    double currentFrameTime() const { return currentFrameTime_; }

    // Returns once the frame at initialTime is shown; throws PreviewError, or CancellationError
    // when a newer load, a shutdown or the session's destruction overtook it. frameDuration is
    // the source's exact frame duration in seconds when inspection measured it; otherwise (0)
    // the video track's nominal frame rate gives it.
    QCoro::Task<> load(QUrl url, double duration, double initialTime, double frameDuration = 0);
    void shutdown();

    void play();
    void pause();
    void togglePlayback();
    void seek(double seconds);
    // Moves whole frames, or seconds, from the frame shown (or the one a seek is bringing) with an
    // exact seek.
    void stepFrames(int frames);
    void stepSeconds(double seconds);
    void beginScrubbing();
    void endScrubbing();
    void setMuted(bool muted);

    // Consumers must be QObjects; the registry holds them weakly.
    QUuid registerConsumer(LivePreviewFrameConsumer* consumer);
    void unregisterConsumer(const QUuid& id);

    // Whether a frame of the current source has been handed to the renderer.
    bool hasFrame() const { return hasFrame_; }

    // For tests: the clock behind the load and seek deadlines.
    void setClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }
    const Player& player() const { return *player_; }
    double frameDuration() const { return frameDuration_; }

signals:
    void timeChanged();
    void durationChanged();
    void isPlayingChanged();
    void isReadyChanged();
    void isSeekingChanged();
    void errorMessageChanged();
    void mutedChanged();
    void decodedFrameCountChanged();
    void currentFrameTimeChanged();
    // Something a running load waits for may have happened: the item's status changed, a frame
    // arrived, the session failed or shut down, or the load's deadline passed.
    void loadProgressed();

private:
    QCoro::Task<> runLoad(QUrl url, double initialTime, double frameDuration, qint64 generation);
    QCoro::Task<> waitForProgress();
    static void checkGeneration(const QPointer<LivePreviewSession>& self, qint64 generation);
    void fail(const QString& message);
    void acquireFrame(bool force);
    void showProvisionalFrame();
    // Hands the frame to the renderer and counts it; false when the renderer refused it, which
    // fails the session.
    bool present(const VideoFrame& pixels, double frameTime);
    void startTimer();
    void stopTimer();
    void tick();
    void itemStatusDidChange(Player::ItemId item);
    void itemDidPlayToEnd(Player::ItemId item);
    void seekDidComplete(Player::ItemId item, qint64 loadGeneration, qint64 seekGeneration,
                         double target, bool finished);
    double playerTimeInRange(double fallback) const;
    bool itemIsReady() const;
    void clearPendingSeek();

    void setTime(double value);
    void setDuration(double value);
    void setIsPlaying(bool value);
    void setIsReady(bool value);
    void setIsSeeking(bool value);
    void setErrorMessage(std::optional<QString> value);
    void setDecodedFrameCount(qint64 value);
    void setCurrentFrameTime(double value);

    double time_ = 0;
    double duration_ = 0;
    bool isPlaying_ = false;
    bool isReady_ = false;
    bool isSeeking_ = false;
    std::optional<QString> errorMessage_;
    bool muted_ = true;
    qint64 decodedFrameCount_ = 0;
    double currentFrameTime_ = 0;

    std::unique_ptr<Player> player_;
    Player::ItemId item_ = 0;
    bool hasFrame_ = false;
    std::shared_ptr<PreviewRenderer> renderer_;
    std::unique_ptr<QTimer> timer_;
    qint64 loadGeneration_ = 0;
    qint64 seekGeneration_ = 0;
    double frameDuration_ = 1.0 / 30.0;
    std::optional<double> pendingSeekTarget_;
    bool pendingSeekDecoded_ = false;
    std::optional<Clock::time_point> seekDeadline_;
    std::optional<Clock::time_point> loadDeadline_;
    bool wantsPlayback_ = false;
    bool isScrubbing_ = false;
    bool resumeAfterScrubbing_ = false;
    PreviewConsumerRegistry consumers_;
    std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
};
