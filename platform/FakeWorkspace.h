#pragma once

#include "platform/Workspace.h"

#include <QHash>

// A desktop for tests: answers with the application folders it was given.
class FakeWorkspace final : public Workspace {
public:
    QHash<QString, QList<QUrl>> applications;

    QList<QUrl> applicationURLs(const QString& bundleIdentifier) const override {
        return applications.value(bundleIdentifier);
    }
};
