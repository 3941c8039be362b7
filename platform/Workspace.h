#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// What the program asks of the desktop: where applications are installed. Opening documents
// with an application and revealing files will join this interface; the program holds it by
// reference so that tests can answer for the desktop.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Folders of the installed applications registered under the identifier, best first; empty
    // when there is none. Safe to call from any thread.
    virtual QList<QUrl> applicationURLs(const QString& bundleIdentifier) const = 0;

    // The desktop this process runs on.
    static const Workspace& system();
};
