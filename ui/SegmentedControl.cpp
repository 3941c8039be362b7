#include "ui/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

SegmentedControl::SegmentedControl(const QString& accessibleTitle, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    setAccessibleName(accessibleTitle);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::valueChosen);
}

void SegmentedControl::addSegment(const QString& text, int value) {
    auto* button = new QPushButton(text, this);
    button->setCheckable(true);
    button->setAccessibleName(text);
    button->setAccessibleDescription(accessibleName());
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    group_->addButton(button, value);
    layout()->addWidget(button);
    restyle();
}

void SegmentedControl::setValue(int value) {
    if (QAbstractButton* button = group_->button(value))
        button->setChecked(true);
}

int SegmentedControl::value() const {
    return group_->checkedId();
}

QAbstractButton* SegmentedControl::segment(int value) const {
    return group_->button(value);
}

QList<QAbstractButton*> SegmentedControl::segments() const {
    return group_->buttons();
}

void SegmentedControl::restyle() {
    // Joined buttons with the outer corners rounded read as one control.
    const QList<QAbstractButton*> buttons = group_->buttons();
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const QString left = i == 0 ? QStringLiteral("6px") : QStringLiteral("0px");
        const QString right =
            i == buttons.size() - 1 ? QStringLiteral("6px") : QStringLiteral("0px");
        const QString leftBorder =
            i == 0 ? QStringLiteral("1px solid palette(mid)") : QStringLiteral("none");
        buttons[i]->setStyleSheet(
            QStringLiteral("QPushButton { border: 1px solid palette(mid); border-left: %3;"
                           " border-top-left-radius: %1; border-bottom-left-radius: %1;"
                           " border-top-right-radius: %2; border-bottom-right-radius: %2;"
                           " background: palette(base); padding: 4px 12px; }"
                           " QPushButton:checked { background: palette(highlight);"
                           " color: palette(highlighted-text); }"
                           " QPushButton:disabled { color: palette(mid); }"
                           " QPushButton:checked:disabled { background: palette(midlight);"
                           " color: palette(dark); }")
                .arg(left, right, leftBorder));
    }
}
