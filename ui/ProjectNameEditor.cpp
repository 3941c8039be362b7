#include "ui/ProjectNameEditor.h"

#include "ui/AccessibleGroups.h"
#include "ui/Appearance.h"
#include "ui/MacFolderEditor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
constexpr int rowSpacing = 7;
constexpr int checkboxSpacing = 24;
constexpr int nameFieldMinimumWidth = 180;
const QString exportNamePrefix = QStringLiteral("Export name: ");
const QString detailsPrefix = QStringLiteral("Automatic name details: ");
} // namespace

ProjectNameEditor::ProjectNameEditor(QWidget* parent)
    : QWidget(parent), usesVideoFilename_(new QCheckBox(QStringLiteral("Use video filename"))),
      appendsDetails_(new QCheckBox(QStringLiteral("Append angles, format, and resolution"))),
      nameBox_(new QFrame), nameField_(new QLineEdit),
      suffix_(Appearance::makeLabel({}, Appearance::TextStyle::body, true)),
      exportName_(Appearance::makeLabel(exportNamePrefix, Appearance::TextStyle::caption, true)),
      macFolder_(new MacFolderEditor) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(rowSpacing);

    column->addWidget(Appearance::makeLabel(QStringLiteral("Project name"),
                                            Appearance::TextStyle::caption, true));

    auto* checkboxes = new QHBoxLayout;
    checkboxes->setSpacing(checkboxSpacing);
    usesVideoFilename_->setToolTip(
        QStringLiteral("Use the loaded video's filename. Uncheck to enter your own name."));
    appendsDetails_->setToolTip(
        QStringLiteral("Add the selected angle count, frame shape, and HD or 4K to the name."));
    checkboxes->addWidget(usesVideoFilename_);
    checkboxes->addWidget(appendsDetails_);
    checkboxes->addStretch();
    column->addLayout(checkboxes);

    // One field to the eye: a borderless entry and the grey details inside one rounded box.
    nameBox_->setObjectName(QStringLiteral("nameBox"));
    const QColor outline = Appearance::secondaryColor(this);
    nameBox_->setStyleSheet(
        QStringLiteral("QFrame#nameBox { background: palette(base); border-radius: 6px;"
                       " border: 1px solid rgba(%1, %2, %3, 0.35); }")
            .arg(outline.red())
            .arg(outline.green())
            .arg(outline.blue()));
    auto* box = new QHBoxLayout(nameBox_);
    box->setContentsMargins(9, 7, 9, 7);
    nameField_->setFrame(false);
    nameField_->setPlaceholderText(QStringLiteral("Video name"));
    nameField_->setMinimumWidth(nameFieldMinimumWidth);
    nameField_->setAccessibleName(QStringLiteral("Project base name"));
    nameField_->setStyleSheet(QStringLiteral("background: transparent;"));
    box->addWidget(nameField_, 1);
    suffix_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    suffix_->setTextInteractionFlags(Qt::NoTextInteraction);
    box->addWidget(suffix_);
    // One group for assistive technology, its field and details reachable one by one.
    nameBox_->setAccessibleName(QStringLiteral("Project name"));
    AccessibleGroups::markAsGroup(nameBox_);
    column->addWidget(nameBox_);

    exportName_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    exportName_->setAccessibleName(exportNamePrefix);
    column->addWidget(exportName_);
    column->addWidget(macFolder_);

    connect(nameField_, &QLineEdit::textEdited, this, &ProjectNameEditor::baseNameEdited);
    connect(usesVideoFilename_, &QCheckBox::clicked, this,
            &ProjectNameEditor::usesVideoFilenameToggled);
    connect(appendsDetails_, &QCheckBox::clicked, this, &ProjectNameEditor::appendsDetailsToggled);

    connect(usesVideoFilename_, &QCheckBox::toggled, this, &ProjectNameEditor::refreshFieldState);
    connect(appendsDetails_, &QCheckBox::toggled, suffix_, &QLabel::setVisible);

    setUsesVideoFilename(true);
    setAppendsDetails(true);
    refreshFieldState();
}

QList<QWidget*> ProjectNameEditor::focusOrder() const {
    return {usesVideoFilename_,
            appendsDetails_,
            nameField_,
            macFolder_->pointsAtMacBox(),
            macFolder_->localFolderField(),
            macFolder_->macFolderField()};
}

void ProjectNameEditor::setBaseName(const QString& name) {
    // Rewriting the same text would move the cursor of a user who is typing.
    if (nameField_->text() != name)
        nameField_->setText(name);
}

void ProjectNameEditor::setUsesVideoFilename(bool uses) {
    usesVideoFilename_->setChecked(uses);
}

void ProjectNameEditor::setAppendsDetails(bool appends) {
    appendsDetails_->setChecked(appends);
}

void ProjectNameEditor::setSuffix(const QString& suffix) {
    suffix_->setText(suffix);
    suffix_->setAccessibleName(detailsPrefix + suffix);
}

void ProjectNameEditor::setFilename(const QString& filename) {
    exportName_->setText(exportNamePrefix + filename);
    exportName_->setAccessibleName(exportNamePrefix + filename);
}

void ProjectNameEditor::refreshFieldState() {
    const bool uses = usesVideoFilename_->isChecked();
    nameField_->setEnabled(!uses);
    nameField_->setAccessibleDescription(
        uses ? QStringLiteral("Uncheck Use video filename to enter your own name.")
             : QStringLiteral("Enter your own project name."));
}
