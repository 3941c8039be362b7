#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

// Something that draws the session's current frame: told on the main thread whenever that frame
// may have changed. Implemented by QObject subclasses (the preview surfaces).
class LivePreviewFrameConsumer {
public:
    virtual ~LivePreviewFrameConsumer() = default;
    virtual void previewFrameDidChange() = 0;
};

// The session's frame consumers by key. Holds them weakly: a consumer that has been destroyed is
// dropped at the next notification and never called.
class PreviewConsumerRegistry {
public:
    // The consumer must also be a QObject (its lifetime is what the registry follows).
    QUuid add(LivePreviewFrameConsumer* consumer);
    void remove(const QUuid& id);
    void notifyAll();
    int size() const { return int(entries_.size()); }

private:
    struct Entry {
        QPointer<QObject> object;
        LivePreviewFrameConsumer* consumer = nullptr;
    };
    QHash<QUuid, Entry> entries_;
};
