#include "preview/PreviewConsumerRegistry.h"

#include <QList>

QUuid PreviewConsumerRegistry::add(LivePreviewFrameConsumer* consumer) {
    auto* object = dynamic_cast<QObject*>(consumer);
    Q_ASSERT_X(object, "PreviewConsumerRegistry::add", "frame consumers must be QObjects");
    const QUuid id = QUuid::createUuid();
    entries_.insert(id, Entry{QPointer<QObject>(object), consumer});
    return id;
}

void PreviewConsumerRegistry::remove(const QUuid& id) {
    entries_.remove(id);
}

void PreviewConsumerRegistry::notifyAll() {
    entries_.removeIf([](const auto& entry) { return entry.value().object.isNull(); });
    // A consumer may register or unregister others while it is told, so work from a snapshot and
    // look each one up again before calling it.
    const QList<QUuid> ids = entries_.keys();
    for (const QUuid& id : ids) {
        const auto it = entries_.constFind(id);
        if (it != entries_.cend() && !it->object.isNull())
            it->consumer->previewFrameDidChange();
    }
}
