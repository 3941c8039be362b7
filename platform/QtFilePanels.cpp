#include "platform/QtFilePanels.h"

#include <QApplication>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QSet>

namespace {

// One filter that accepts every pattern of every type, so the user never has to pick a type
// first.
QString movieFilter(const QStringList& mimeTypes) {
    const QMimeDatabase database;
    QStringList patterns;
    QSet<QString> seen;
    for (const QString& name : mimeTypes) {
        for (const QString& pattern : database.mimeTypeForName(name).globPatterns()) {
            if (seen.contains(pattern))
                continue;
            seen.insert(pattern);
            patterns.append(pattern);
        }
    }
    return QStringLiteral("Movies (%1)").arg(patterns.join(QLatin1Char(' ')));
}

// The description of the type that goes with the extension, or of XML when the system knows no
// type for it.
QString saveFilter(const QString& extension) {
    const QMimeDatabase database;
    QMimeType type =
        database.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    if (type.isDefault())
        type = database.mimeTypeForName(QStringLiteral("application/xml"));
    return QStringLiteral("%1 (*.%2)").arg(type.comment(), extension);
}

std::optional<QUrl> firstChosen(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QList<QUrl> chosen = dialog.selectedUrls();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

} // namespace

std::optional<QUrl> QtFilePanels::runOpenPanel(const OpenPanelRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.message);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.canChooseDirectories      ? QFileDialog::Directory
                       : request.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                         : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    dialog.setNameFilter(movieFilter(request.mimeTypes));
    dialog.setWindowModality(Qt::ApplicationModal);
    return firstChosen(dialog);
}

std::optional<QUrl> QtFilePanels::runSavePanel(const SavePanelRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.message);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(saveFilter(request.fileExtension));
    dialog.setDefaultSuffix(request.fileExtension);
    // The program never replaces a file, so the dialog must not offer to.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(request.proposedName);
    dialog.setWindowModality(Qt::ApplicationModal);
    return firstChosen(dialog);
}
