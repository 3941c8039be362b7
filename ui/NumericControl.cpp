#include "ui/NumericControl.h"

#include "ui/Appearance.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr int fieldWidth = 68;
constexpr int rowSpacing = 3;

int sliderPosition(double value) {
    return int(std::lround(value * NumericControl::sliderScale));
}
} // namespace

NumericControl::NumericControl(const QString& title, ClosedRange range, const QString& unit,
                               QWidget* parent)
    : QWidget(parent), title_(title), range_(range), field_(new QLineEdit(this)),
      slider_(new QSlider(Qt::Horizontal, this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(rowSpacing);

    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(Appearance::makeLabel(title, Appearance::TextStyle::caption));
    entryRow->addStretch();
    field_->setFixedWidth(fieldWidth);
    field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field_->setAccessibleName(unit == QStringLiteral("°") ? title + QStringLiteral(" in degrees")
                                                          : title);
    entryRow->addWidget(field_);
    if (!unit.isEmpty())
        entryRow->addWidget(Appearance::makeLabel(unit, Appearance::TextStyle::caption, true));
    column->addLayout(entryRow);

    slider_->setAccessibleName(title);
    slider_->setTracking(true);
    column->addWidget(slider_);

    connect(field_, &QLineEdit::editingFinished, this, &NumericControl::commitText);
    connect(slider_, &QSlider::valueChanged, this, &NumericControl::sliderMoved);
    connect(slider_, &QSlider::sliderPressed, this, &NumericControl::dragStarted);
    connect(slider_, &QSlider::sliderReleased, this, &NumericControl::dragFinished);
    slider_->installEventFilter(this);

    setRange(range);
    showValue();
}

void NumericControl::setValue(double value) {
    // A NaN never equals itself; compare bitwise-equal values only through ==.
    if (value == value_)
        return;
    value_ = value;
    showValue();
    placeSlider();
}

void NumericControl::setRange(ClosedRange range) {
    range_ = range;
    placingSlider_ = true;
    slider_->setRange(sliderPosition(range.lowerBound), sliderPosition(range.upperBound));
    slider_->setSingleStep(int(sliderScale));
    slider_->setPageStep(int(sliderScale) * 10);
    placingSlider_ = false;
    placeSlider();
}

void NumericControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange)
        showValue();
    QWidget::changeEvent(event);
}

// A focused slider keeps its arrow keys: the window's frame-stepping keys give way to it.
bool NumericControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == slider_ && event->type() == QEvent::ShortcutOverride) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            event->accept();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NumericControl::commitText() {
    bool ok = false;
    const double typed = locale().toDouble(field_->text().trimmed(), &ok);
    // Infinity and NaN are words, not numbers a user frames with.
    if (ok && std::isfinite(typed) && typed != value_) {
        value_ = typed;
        placeSlider();
        showValue();
        emit valueEdited(typed);
        return;
    }
    showValue();
}

void NumericControl::sliderMoved(int position) {
    if (placingSlider_)
        return;
    const double value = position / sliderScale;
    if (value == value_)
        return;
    value_ = value;
    // A user who is typing keeps the text until committing it.
    if (!field_->hasFocus() || !field_->isModified())
        showValue();
    emit valueEdited(value);
}

void NumericControl::showValue() {
    field_->setText(locale().toString(value_, 'f', 1));
    field_->setModified(false);
}

void NumericControl::placeSlider() {
    placingSlider_ = true;
    if (std::isfinite(value_)) {
        const double clamped = std::clamp(value_, range_.lowerBound, range_.upperBound);
        slider_->setValue(sliderPosition(clamped));
    }
    placingSlider_ = false;
}
