#include "ui/Appearance.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>
#include <QWidget>
#include <algorithm>

namespace Appearance {

namespace {

struct StyleMetrics {
    double scale;
    QFont::Weight weight;
};

// Sizes relative to the body text, after the proportions of the common desktop type ramps.
StyleMetrics metrics(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle:
        return {2.0, QFont::DemiBold};
    case TextStyle::title3:
        return {1.15, QFont::DemiBold};
    case TextStyle::headline:
        return {1.0, QFont::DemiBold};
    case TextStyle::subheadline:
        return {0.95, QFont::Normal};
    case TextStyle::body:
        return {1.0, QFont::Normal};
    case TextStyle::callout:
        return {0.95, QFont::Normal};
    case TextStyle::caption:
        return {0.88, QFont::Normal};
    case TextStyle::caption2:
        return {0.8, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

} // namespace

QFont font(TextStyle style) {
    QFont result = QApplication::font();
    const StyleMetrics m = metrics(style);
    if (result.pointSizeF() > 0)
        result.setPointSizeF(result.pointSizeF() * m.scale);
    else
        result.setPixelSize(qRound(result.pixelSize() * m.scale));
    result.setWeight(m.weight);
    return result;
}

QColor viewColor(int index) {
    static const QColor colors[] = {QColor(0x0a, 0x84, 0xff), QColor(0xff, 0x9f, 0x0a),
                                    QColor(0x30, 0xd1, 0x58), QColor(0xbf, 0x5a, 0xf2)};
    return colors[std::clamp(index, 0, 3)];
}

QFont tabularFont(TextStyle style) {
    const QFont styled = font(style);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (styled.pointSizeF() > 0)
        fixed.setPointSizeF(styled.pointSizeF());
    else
        fixed.setPixelSize(styled.pixelSize());
    fixed.setWeight(styled.weight());
    return fixed;
}

void setTextStyle(QWidget* widget, TextStyle style) {
    widget->setFont(font(style));
}

QColor secondaryColor(const QWidget* widget) {
    const QPalette& palette = widget->palette();
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    const QColor background = palette.color(QPalette::Active, QPalette::Window);
    constexpr double weight = 0.58;
    return QColor::fromRgbF(float(text.redF() * weight + background.redF() * (1 - weight)),
                            float(text.greenF() * weight + background.greenF() * (1 - weight)),
                            float(text.blueF() * weight + background.blueF() * (1 - weight)));
}

void makeSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    const QColor color = secondaryColor(widget);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, color);
        palette.setColor(group, QPalette::Text, color);
    }
    widget->setPalette(palette);
}

QLabel* makeLabel(const QString& text, TextStyle style, bool secondary, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    setTextStyle(label, style);
    if (secondary)
        makeSecondary(label);
    return label;
}

QIcon symbol(const QString& themeName, QStyle::StandardPixmap fallback) {
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QApplication::style()->standardIcon(fallback);
}

} // namespace Appearance
