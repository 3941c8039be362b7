#pragma once

#include "preview/player/VideoFrame.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

// A decoded frame waiting in the player's queue, with its item time in seconds.
struct QueuedFrame {
    VideoFrame pixels;
    double time = 0;
};

// An exact seek target as a rational time.
struct SeekTarget {
    std::int64_t value = 0;
    std::int32_t timescale = 1;
};

// How long the decoder waits between two provisional pictures while scrubbing.
inline constexpr std::chrono::milliseconds provisionalInterval{100};

// The hand-off between the player (main thread) and its decoding thread: the commands going in
// (stop, newest seek, the playback clock) and the short queue of decoded frames coming out. Only
// the newest seek is kept, so a burst of seeks while dragging costs one seek. Every frame is
// tagged with the seek it belongs to; frames of an older seek never enter the queue.
class DecodeMailbox {
public:
    using Clock = std::chrono::steady_clock;

    explicit DecodeMailbox(std::size_t capacity) : capacity_(capacity) {}

    // Main thread.
    void requestStop();
    std::uint64_t requestSeek(SeekTarget target);
    void setClock(bool running, double anchorTime, Clock::time_point anchorWall);
    bool hasFrameDue(double time) const;
    // Removes every frame due at time and returns the last of them; when none is due and
    // takeEarlyFrame is set, the first frame of the queue instead. Frames passed over count as
    // dropped.
    std::optional<QueuedFrame> takeFrameFor(double time, bool takeEarlyFrame);
    std::optional<QueuedFrame> takeProvisional();
    void setScrubbing(bool scrubbing);
    std::int64_t droppedCount() const;

    // Decoding thread.
    struct Work {
        bool stop = false;
        std::optional<SeekTarget> seek;
        std::uint64_t epoch = 0;
    };
    // Waits until there is a command, or room in the queue when wantsRoom is set.
    Work waitForWork(bool wantsRoom);
    // Whether the decoding for epoch should stop: a stop or a newer seek has arrived.
    bool isAbandoned(std::uint64_t epoch) const;
    // Whether a read for epoch should be given up. While scrubbing only a stop ends one: the read
    // serves the newer target too, which the decoder reaches by decoding on.
    bool shouldGiveUpRead(std::uint64_t epoch) const;
    // Waits for room, then appends; false (frame dropped) when the epoch is abandoned meanwhile.
    bool push(QueuedFrame frame, std::uint64_t epoch);
    // The playback position now, if the clock is running; nothing while paused.
    std::optional<double> runningClockTime() const;
    // While scrubbing nothing is decoded ahead: the decoder stays where the last seek left it.
    bool scrubbing() const;
    // Whether the display has a frame waiting to be drawn, which it does not need this one for.
    bool holdsFrameAhead() const;
    // Replaces the provisional picture, unless the epoch is abandoned. It stays until taken, a
    // frame is pushed or scrubbing ends: a newer target while scrubbing keeps it.
    void offerProvisional(QueuedFrame frame, std::uint64_t epoch);
    // The demuxer was put back on a key frame: the costly part of a seek.
    void countKeyFrameSeek();
    std::int64_t keyFrameSeeks() const;

private:
    static constexpr double dueTolerance = 1e-6;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    const std::size_t capacity_;
    bool stop_ = false;
    std::uint64_t epoch_ = 0;
    std::optional<SeekTarget> pendingSeek_;
    std::deque<QueuedFrame> queue_;
    std::optional<QueuedFrame> provisional_;
    bool scrubbing_ = false;
    std::int64_t dropped_ = 0;
    std::int64_t keyFrameSeeks_ = 0;
    bool clockRunning_ = false;
    double anchorTime_ = 0;
    Clock::time_point anchorWall_;
};
