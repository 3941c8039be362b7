#pragma once

#include "platform/Workspace.h"

#include <QHash>

// A desktop for tests: answers with the application folders it was given, keeps each request
// to open a document until the test answers through its completion, and lists revealed files.
class FakeWorkspace final : public Workspace {
public:
    struct OpenRequest {
        QUrl document;
        QUrl application;
        bool activates = false;
        OpenCompletion completion;
    };

    QHash<QString, QList<QUrl>> applications;
    mutable QList<OpenRequest> openRequests;
    mutable QList<QUrl> revealed;

    QList<QUrl> applicationURLs(const QString& bundleIdentifier) const override {
        return applications.value(bundleIdentifier);
    }
    void openDocument(const QUrl& document, const QUrl& application, bool activates,
                      OpenCompletion completion) const override {
        openRequests.append({document, application, activates, std::move(completion)});
    }
    // Reveals answer at once, with this reason when set.
    std::optional<QString> revealFailure;
    void reveal(const QUrl& file, OpenCompletion completion) const override {
        revealed.append(file);
        completion(revealFailure);
    }
};
