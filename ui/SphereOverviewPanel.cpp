#include "ui/SphereOverviewPanel.h"

#include "model/AngleSettings.h"
#include "model/ViewGeometry.h"
#include "session/SessionModel.h"
#include "ui/Appearance.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>
#include <vector>

namespace {

// Footprints on a plain background, where no OpenGL overview is made.
class PlainOverview : public QWidget {
public:
    OverviewSurface::Overlay overlay;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(4, 4, 4));
        painter.setRenderHint(QPainter::Antialiasing);
        if (overlay)
            overlay(painter, QSizeF(size()));
    }
};

QPainterPath pathOf(const std::vector<QPointF>& points, QSizeF size, double shift) {
    QPainterPath path;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF p((points[i].x() + shift) * size.width(), points[i].y() * size.height());
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    return path;
}

} // namespace

SphereOverviewPanel::SphereOverviewPanel(SessionModel& model, const OverviewFactory& makeOverview,
                                         QWidget* parent)
    : QWidget(parent), model_(model) {
    const OverviewSurface::Overlay overlay = [this](QPainter& painter, QSizeF size) {
        paintOverlay(painter, size);
    };
    if (makeOverview && model.preview()) {
        const OverviewSurface made = makeOverview(*model.preview());
        surface_ = made.widget;
        made.setOverlay(overlay);
        overlayChanged_ = made.overlayChanged;
    } else {
        auto* plain = new PlainOverview;
        plain->overlay = overlay;
        surface_ = plain;
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(surface_);
    setFixedHeight(stripHeight);
    surface_->setAccessibleName(QStringLiteral("Whole sphere with every view's footprint"));
    surface_->setMouseTracking(true);
    surface_->installEventFilter(this);

    connect(&model_, &SessionModel::angleCountChanged, this, &SphereOverviewPanel::refresh);
    connect(&model_, &SessionModel::outputFormatChanged, this, &SphereOverviewPanel::refresh);
    for (AngleSettings* view : model_.angles())
        connect(view, &AngleSettings::framingChanged, this, &SphereOverviewPanel::refresh);
}

void SphereOverviewPanel::refresh() {
    if (overlayChanged_)
        overlayChanged_();
    else
        surface_->update();
}

QPointF SphereOverviewPanel::sourceAt(QPointF point) const {
    return {point.x() / std::max(1, surface_->width()),
            point.y() / std::max(1, surface_->height())};
}

void SphereOverviewPanel::paintOverlay(QPainter& painter, QSizeF size) const {
    const QList<AngleSettings*> active = model_.activeAngles();
    const OutputFormat format = model_.outputFormat();
    QFont font = Appearance::font(Appearance::TextStyle::headline);
    painter.setFont(font);
    // The first view is drawn last, on top.
    for (qsizetype i = active.size(); i-- > 0;) {
        const QColor color = Appearance::viewColor(int(i));
        const ViewGeometry::Footprint footprint =
            ViewGeometry::footprint(active[i]->framing()[format], format.aspectRatio());
        QColor fill = color;
        fill.setAlphaF(0.18f);
        // Drawn three times: what leaves one side of the seam comes in at the other.
        // Copies wholly outside the strip are left out: antialiased filling costs even there.
        // The copies are filled as one path: where two meet (a footprint around a pole), each
        // filled alone would leave its antialiased edge, a lighter line through the fill.
        const QRectF strip(QPointF(), size);
        QPainterPath regions;
        regions.setFillRule(Qt::WindingFill);
        std::vector<double> shown;
        for (double shift : {-1.0, 0.0, 1.0}) {
            const QPainterPath region = pathOf(footprint.region, size, shift);
            if (region.boundingRect().adjusted(-2, -2, 2, 2).intersects(strip)) {
                regions.addPath(region);
                shown.push_back(shift);
            }
        }
        painter.fillPath(regions, fill);
        painter.setPen(QPen(color, 2));
        for (double shift : shown) {
            QPainterPath outline = pathOf(footprint.outline, size, shift);
            if (footprint.pole == 0)
                outline.closeSubpath();
            painter.drawPath(outline);
        }
        for (double shift : {-1.0, 0.0, 1.0}) {
            const QPointF centre((footprint.centre.x() + shift) * size.width(),
                                 footprint.centre.y() * size.height());
            const QRectF badge(centre - QPointF(11, 11), QSizeF(22, 22));
            if (!badge.intersects(strip))
                continue;
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(badge);
            painter.setPen(Qt::white);
            painter.drawText(badge, Qt::AlignCenter, active[i]->key());
            painter.setBrush(Qt::NoBrush);
        }
    }
}

std::optional<int> SphereOverviewPanel::viewAt(QPointF point) const {
    const QList<AngleSettings*> active = model_.activeAngles();
    const OutputFormat format = model_.outputFormat();
    const QSizeF size(surface_->size());
    for (qsizetype i = 0; i < active.size(); ++i) {
        const ViewGeometry::Footprint footprint =
            ViewGeometry::footprint(active[i]->framing()[format], format.aspectRatio());
        for (double shift : {-1.0, 0.0, 1.0})
            if (pathOf(footprint.region, size, shift).contains(point))
                return int(i);
    }
    return std::nullopt;
}

bool SphereOverviewPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_)
        return QWidget::eventFilter(watched, event);
    const auto mouseOf = [event] { return static_cast<QMouseEvent*>(event); };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const QMouseEvent* mouse = mouseOf();
        if (mouse->button() != Qt::LeftButton)
            return false;
        const std::optional<int> view = viewAt(mouse->position());
        if (!view)
            return false;
        const ViewAngles start = model_.activeAngles()[*view]->framing()[model_.outputFormat()];
        drag_ = Drag{*view, start,
                     ViewGeometry::toView(
                         start, ViewGeometry::sphereDirection(sourceAt(mouse->position())))};
        surface_->setCursor(Qt::ClosedHandCursor);
        emit dragStarted();
        return true;
    }
    case QEvent::MouseMove: {
        const QMouseEvent* mouse = mouseOf();
        if (!drag_) {
            surface_->setCursor(viewAt(mouse->position()) ? Qt::OpenHandCursor : Qt::ArrowCursor);
            return false;
        }
        AngleSettings* view = model_.activeAngles().value(drag_->view);
        if (!view)
            return true;
        const ViewAngles aimed =
            ViewGeometry::aimed(drag_->start, drag_->grabbed,
                                ViewGeometry::sphereDirection(sourceAt(mouse->position())));
        AngleFraming framing = view->framing();
        framing.set(model_.outputFormat(), ViewGeometry::toTenths(aimed));
        view->setFraming(framing);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!drag_ || mouseOf()->button() != Qt::LeftButton)
            return false;
        drag_.reset();
        surface_->setCursor(Qt::OpenHandCursor);
        emit dragFinished();
        return true;
    default:
        return false;
    }
}
