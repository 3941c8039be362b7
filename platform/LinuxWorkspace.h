#pragma once

#include "platform/Workspace.h"

#include <QStringList>
#include <functional>
#include <optional>

// Application bundles on Linux: "*.app" folders directly inside /Applications and
// ~/Applications whose Contents/Info.plist (an XML property list) names the bundle identifier.
// Such a bundle is a macOS application, so opening a document with it fails with a reason.
// Revealing asks the desktop's file manager over D-Bus and opens the folder when none answers.
class LinuxWorkspace final : public Workspace {
public:
    // The standard folders, looked up at every call so that a changed HOME is honoured.
    LinuxWorkspace() = default;
    explicit LinuxWorkspace(QStringList applicationFolders);

    QList<QUrl> applicationURLs(const QString& bundleIdentifier) const override;
    void openDocument(const QUrl& document, const QUrl& application, bool activates,
                      OpenCompletion completion) const override;
    void reveal(const QUrl& file, OpenCompletion completion) const override;

    // How a folder is opened when no file manager answers on D-Bus: the program and its
    // arguments; `finished` runs on the main thread with whether it succeeded. xdg-open by
    // default.
    using Launcher = std::function<void(const QString& program, const QStringList& arguments,
                                        std::function<void(bool succeeded)> finished)>;
    void setFolderLauncher(Launcher launcher) { launcher_ = std::move(launcher); }
    // The D-Bus connection asked to show files; the session bus by default.
    void setBusName(const QString& connectionName) { busName_ = connectionName; }

    static QStringList standardApplicationFolders();

    // CFBundleIdentifier of an XML property list, or nothing when the file cannot be read, is not
    // such a list or has no identifier.
    static std::optional<QString> bundleIdentifier(const QString& infoPlistPath);

private:
    std::optional<QStringList> folders_;
    Launcher launcher_;
    QString busName_;
};
