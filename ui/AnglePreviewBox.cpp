#include "ui/AnglePreviewBox.h"

#include "ui/Appearance.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double cornerRadius = 8;
constexpr int symbolSize = 34;

// The "viewfinder" symbol: the theme's icon when it has one, else four corner brackets around a
// small circle.
class ViewfinderSymbol : public QWidget {
public:
    explicit ViewfinderSymbol(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box(
            QPointF(width() / 2.0 - symbolSize / 2.0, height() / 2.0 - symbolSize / 2.0),
            QSizeF(symbolSize, symbolSize));
        const QIcon icon = QIcon::fromTheme(QStringLiteral("viewfinder"));
        if (!icon.isNull()) {
            icon.paint(&painter, box.toRect());
            return;
        }
        const double arm = symbolSize * 0.3;
        painter.setPen(QPen(QColor(142, 142, 147), 2.2, Qt::SolidLine, Qt::RoundCap));
        const QPointF corners[] = {box.topLeft(), box.topRight(), box.bottomRight(),
                                   box.bottomLeft()};
        for (const QPointF& corner : corners) {
            const double dx = corner.x() < box.center().x() ? arm : -arm;
            const double dy = corner.y() < box.center().y() ? arm : -arm;
            painter.drawLine(corner, corner + QPointF(dx, 0));
            painter.drawLine(corner, corner + QPointF(0, dy));
        }
        painter.drawEllipse(box.center(), symbolSize * 0.16, symbolSize * 0.16);
    }
};

// Paints the surrounding colour outside a rounded rectangle, so the picture under it looks
// clipped without asking the GL surface to clip itself.
class CornerMask : public QWidget {
public:
    explicit CornerMask(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QColor color = Qt::transparent;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outside;
        outside.addRect(rect());
        QPainterPath inside;
        inside.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(outside.subtracted(inside), color);
    }
};

} // namespace

AnglePreviewBox::AnglePreviewBox(QWidget* surface, OutputFormat format, QWidget* parent)
    : QWidget(parent), format_(format), surface_(surface), placeholder_(new ViewfinderSymbol(this)),
      corners_(new CornerMask(this)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    surface_->setParent(this);
    placeholder_->raise();
    corners_->raise();
}

void AnglePreviewBox::setFormat(OutputFormat format) {
    if (format == format_)
        return;
    format_ = format;
    updateGeometry();
    placeLayers();
    update();
}

void AnglePreviewBox::setPlaceholderVisible(bool visible) {
    placeholder_->setVisible(visible);
}

bool AnglePreviewBox::placeholderVisible() const {
    return !placeholder_->isHidden();
}

void AnglePreviewBox::setSurroundingColor(const QColor& color) {
    static_cast<CornerMask*>(corners_)->color = color;
    corners_->update();
}

int AnglePreviewBox::heightForWidth(int width) const {
    const double height = width / format_.aspectRatio();
    if (format_ == OutputFormat::portrait)
        return std::min(portraitMaximumHeight, int(std::lround(height)));
    return int(std::lround(height));
}

QSize AnglePreviewBox::sizeHint() const {
    constexpr int width = 240;
    return {width, heightForWidth(width)};
}

QSize AnglePreviewBox::minimumSizeHint() const {
    return {120, heightForWidth(120)};
}

QRect AnglePreviewBox::blockRect() const {
    // The largest block of the project's shape that fits, centred.
    const double aspect = format_.aspectRatio();
    double blockWidth = width();
    double blockHeight = blockWidth / aspect;
    if (blockHeight > height()) {
        blockHeight = height();
        blockWidth = blockHeight * aspect;
    }
    const int w = int(std::lround(blockWidth));
    const int h = int(std::lround(blockHeight));
    return {(width() - w) / 2, (height() - h) / 2, w, h};
}

void AnglePreviewBox::resizeEvent(QResizeEvent* event) {
    placeLayers();
    QWidget::resizeEvent(event);
}

void AnglePreviewBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath block;
    block.addRoundedRect(QRectF(blockRect()), cornerRadius, cornerRadius);
    painter.fillPath(block, QColor::fromRgbF(0, 0, 0, 0.88f));
}

void AnglePreviewBox::placeLayers() {
    const QRect block = blockRect();
    surface_->setGeometry(block);
    placeholder_->setGeometry(block);
    corners_->setGeometry(block);
}
