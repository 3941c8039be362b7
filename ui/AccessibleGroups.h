#pragma once

class QWidget;

// Containers that assistive technology (AT-SPI) should present as one named group whose
// children stay reachable one by one: each angle card and the project name box.
namespace AccessibleGroups {

// Marks the widget as such a group; its accessible name is the group's label.
void markAsGroup(QWidget* widget);

} // namespace AccessibleGroups
