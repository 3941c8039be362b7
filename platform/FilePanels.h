#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// What the open panel offers: one file of the given types, never a folder.
struct OpenPanelRequest {
    QString message;
    // Accepted file types as MIME type names; files of any other type cannot be chosen.
    QStringList mimeTypes;
    bool allowsMultipleSelection = false;
    bool canChooseDirectories = false;
};

// What the save panel offers: a new file of one type, starting from a proposed name.
struct SavePanelRequest {
    QString message;
    QString proposedName;
    // The one file type allowed, by its extension without the dot ("fcpxml").
    QString fileExtension;
};

// The open and save panels, run modally on the main thread. The application uses QtFilePanels;
// tests answer with a scripted fake.
class FilePanels {
public:
    virtual ~FilePanels() = default;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<QUrl> runOpenPanel(const OpenPanelRequest& request) = 0;
    virtual std::optional<QUrl> runSavePanel(const SavePanelRequest& request) = 0;
};

namespace FileTypes {

// Every movie type the MIME database knows, with MP4, QuickTime and M4V first.
QStringList movieMimeTypes();

} // namespace FileTypes
