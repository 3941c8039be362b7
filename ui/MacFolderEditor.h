#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;

// Pointing the saved XML at the media on a Mac: a check box and two folders, this computer's
// (prefilled with the source's folder) and the one on the Mac where the same files are. Keeps no
// state of its own: every edit is reported and the owner shows what the model holds.
class MacFolderEditor : public QWidget {
    Q_OBJECT

public:
    explicit MacFolderEditor(QWidget* parent = nullptr);

    void showMapping(bool on, const QString& localFolder, const QString& macFolder);

    QCheckBox* pointsAtMacBox() const { return pointsAtMac_; }
    QLineEdit* localFolderField() const { return localFolder_; }
    QLineEdit* macFolderField() const { return macFolder_; }

signals:
    void pointsAtMacToggled(bool on);
    void localFolderEdited(const QString& folder);
    void macFolderEdited(const QString& folder);

private:
    QCheckBox* pointsAtMac_;
    QLineEdit* localFolder_;
    QLineEdit* macFolder_;
};
