#include "ui/MacFolderEditor.h"

#include "ui/Appearance.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

MacFolderEditor::MacFolderEditor(QWidget* parent)
    : QWidget(parent), pointsAtMac_(new QCheckBox(QStringLiteral("Point the XML at a Mac folder"))),
      localFolder_(new QLineEdit), macFolder_(new QLineEdit) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    pointsAtMac_->setToolTip(QStringLiteral(
        "Final Cut Pro runs on a Mac: write the video's path as it is there, not on this "
        "computer."));
    column->addWidget(pointsAtMac_);
    auto* row = new QHBoxLayout;
    const auto labelled = [row](const QString& text, QLineEdit* field, const QString& hint) {
        row->addWidget(Appearance::makeLabel(text, Appearance::TextStyle::caption, true));
        field->setPlaceholderText(hint);
        field->setAccessibleName(text);
        row->addWidget(field, 1);
    };
    labelled(QStringLiteral("This computer's folder"), localFolder_,
             QStringLiteral("/media/footage/Trip"));
    labelled(QStringLiteral("Folder on the Mac"), macFolder_,
             QStringLiteral("/Volumes/Footage/Trip"));
    column->addLayout(row);

    connect(pointsAtMac_, &QCheckBox::clicked, this, &MacFolderEditor::pointsAtMacToggled);
    connect(localFolder_, &QLineEdit::textEdited, this, &MacFolderEditor::localFolderEdited);
    connect(macFolder_, &QLineEdit::textEdited, this, &MacFolderEditor::macFolderEdited);
}

void MacFolderEditor::showMapping(bool on, const QString& localFolder, const QString& macFolder) {
    pointsAtMac_->setChecked(on);
    // Rewriting the same text would move the cursor of a user who is typing.
    if (localFolder_->text() != localFolder)
        localFolder_->setText(localFolder);
    if (macFolder_->text() != macFolder)
        macFolder_->setText(macFolder);
    localFolder_->setEnabled(on);
    macFolder_->setEnabled(on);
}
