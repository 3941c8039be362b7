#include "ui/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace WheelGuard {

namespace {

class Filter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->hasFocus())
            return false;
        // Left unaccepted, the wheel goes on to the parents and so to the scroll area.
        event->ignore();
        return true;
    }
};

bool takesWheel(QWidget* widget) {
    return qobject_cast<QAbstractSlider*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
           qobject_cast<QComboBox*>(widget);
}

void guard(QWidget* widget) {
    static const char* const guarded = "tessalyWheelGuarded";
    if (!takesWheel(widget) || widget->property(guarded).toBool())
        return;
    widget->setProperty(guarded, true);
    // The wheel must not hand focus over either, or the second notch would change the value.
    if (widget->focusPolicy() == Qt::WheelFocus)
        widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(new Filter(widget));
}

} // namespace

void protect(QWidget* root) {
    guard(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        guard(child);
}

} // namespace WheelGuard
