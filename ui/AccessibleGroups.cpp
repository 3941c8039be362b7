#include "ui/AccessibleGroups.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace AccessibleGroups {

namespace {

const char* const groupProperty = "tessalyAccessibleGroup";

QAccessibleInterface* groupInterface(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->property(groupProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Grouping);
}

} // namespace

void markAsGroup(QWidget* widget) {
    static const bool installed = [] {
        QAccessible::installFactory(groupInterface);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(groupProperty, true);
}

} // namespace AccessibleGroups
