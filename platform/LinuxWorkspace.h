#pragma once

#include "platform/Workspace.h"

#include <QStringList>
#include <optional>

// Application bundles on Linux: "*.app" folders directly inside /Applications and
// ~/Applications whose Contents/Info.plist (an XML property list) names the bundle identifier.
class LinuxWorkspace final : public Workspace {
public:
    // The standard folders, looked up at every call so that a changed HOME is honoured.
    LinuxWorkspace() = default;
    explicit LinuxWorkspace(QStringList applicationFolders);

    QList<QUrl> applicationURLs(const QString& bundleIdentifier) const override;

    static QStringList standardApplicationFolders();

    // CFBundleIdentifier of an XML property list, or nothing when the file cannot be read, is not
    // such a list or has no identifier.
    static std::optional<QString> bundleIdentifier(const QString& infoPlistPath);

private:
    std::optional<QStringList> folders_;
};
