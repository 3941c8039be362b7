#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStyle>

class QWidget;
class QLabel;

// The window's text styles, colours and symbols, mapped onto the desktop's own font, palette
// and icon theme so that the window follows the user's settings.
namespace Appearance {

enum class TextStyle {
    largeTitle,
    title3,
    headline,
    subheadline,
    body,
    callout,
    caption,
    caption2
};

// A font of the style, derived from the application font.
QFont font(TextStyle style);
// The same size in the desktop's fixed-pitch font, for numbers that change while the user looks
// (the playing time, the coverage while dragging): every digit is as wide as every other, so the
// text never shifts.
QFont tabularFont(TextStyle style);
void setTextStyle(QWidget* widget, TextStyle style);

// Text in the hierarchical secondary colour: the text colour faded towards the background,
// leaving the disabled colours of the palette alone.
QColor secondaryColor(const QWidget* widget);
void makeSecondary(QWidget* widget);

// A plain text line in the given style, optionally secondary.
QLabel* makeLabel(const QString& text, TextStyle style, bool secondary = false,
                  QWidget* parent = nullptr);

// The colour that marks a view (0 to 3) on its card and on the sphere overview.
QColor viewColor(int index);

// An icon of the freedesktop theme, or the style's own icon when the theme has none.
QIcon symbol(const QString& themeName, QStyle::StandardPixmap fallback);

} // namespace Appearance
