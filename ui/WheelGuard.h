#pragma once

class QWidget;

// Sliders, number fields and menus take the mouse wheel only while they have the keyboard focus;
// otherwise the wheel scrolls the window, so scrolling past a card never changes a view.
namespace WheelGuard {

// Guards every slider, spin box and combo box inside `root` (and `root` itself), once each.
void protect(QWidget* root);

} // namespace WheelGuard
