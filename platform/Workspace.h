#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// What the program asks of the desktop: where applications are installed, opening a document
// with one of them and showing a file in the file manager. The program holds it by reference so
// that tests can answer for the desktop.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Folders of the installed applications registered under the identifier, best first; empty
    // when there is none. Safe to call from any thread.
    virtual QList<QUrl> applicationURLs(const QString& bundleIdentifier) const = 0;

    // Receives nothing when the application took the document, else the reason it did not, as
    // one sentence for the user.
    using OpenCompletion = std::function<void(const std::optional<QString>& error)>;

    // Asks the application to open the document, bringing it to the front when activates is
    // true. Returns at once; the completion runs exactly once, later, on the main thread.
    virtual void openDocument(const QUrl& document, const QUrl& application, bool activates,
                              OpenCompletion completion) const = 0;

    // Shows the file's folder in the file manager with the file selected. Returns at once; the
    // completion runs once, later, on the main thread, with the reason when nothing could show
    // the file.
    virtual void reveal(const QUrl& file, OpenCompletion completion) const = 0;

    // The desktop this process runs on.
    static const Workspace& system();
};
