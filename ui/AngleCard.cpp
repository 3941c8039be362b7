#include "ui/AngleCard.h"

#include "model/AngleSettings.h"
#include "model/ViewGeometry.h"
#include "preview/LivePreviewSession.h"
#include "ui/AccessibleGroups.h"
#include "ui/AnglePreviewBox.h"
#include "ui/Appearance.h"
#include "ui/NumericControl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {
constexpr int innerMargin = 16;
constexpr int rowSpacing = 12;
constexpr double cornerRadius = 14;
constexpr int badgeSize = 28;
constexpr ClosedRange panRange{-180, 180};
constexpr ClosedRange tiltRange{-90, 90};
constexpr ClosedRange rollRange{-180, 180};
const QString degrees = QStringLiteral("°");
} // namespace

AngleCard::AngleCard(AngleSettings& settings, LivePreviewSession& preview, OutputFormat format,
                     const AnglePreviewFactory& makePreview, QWidget* parent)
    : QFrame(parent), settings_(settings), preview_(preview), format_(format),
      surface_(makePreview(preview, settings.framing()[format])), nameField_(new QLineEdit),
      previewBox_(new AnglePreviewBox(surface_.widget, format)),
      pan_(new NumericControl(QStringLiteral("Pan"), panRange, degrees)),
      tilt_(new NumericControl(QStringLiteral("Tilt"), tiltRange, degrees)),
      roll_(new NumericControl(QStringLiteral("Horizon / roll"), rollRange, degrees)),
      viewWidth_(new NumericControl(QStringLiteral("View width"), format.viewWidthRange(), {})),
      coverage_(Appearance::makeLabel({}, Appearance::TextStyle::caption2, true)),
      range_(Appearance::makeLabel({}, Appearance::TextStyle::caption2, true)) {
    using Appearance::TextStyle;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(innerMargin, innerMargin, innerMargin, innerMargin);
    column->setSpacing(rowSpacing);

    auto* header = new QHBoxLayout;
    auto* badge = new QLabel(settings.key());
    QFont badgeFont = Appearance::font(TextStyle::headline);
    badgeFont.setStyleHint(QFont::Monospace);
    badgeFont.setFamily(QStringLiteral("monospace"));
    badge->setFont(badgeFont);
    badge->setFixedSize(badgeSize, badgeSize);
    badge->setAlignment(Qt::AlignCenter);
    badge->setStyleSheet(
        QStringLiteral("background: rgba(0, 122, 255, 0.16); border-radius: 7px;"));
    auto* chip = new QLabel;
    chip->setFixedSize(10, 10);
    chip->setStyleSheet(QStringLiteral("background: %1; border-radius: 5px;")
                            .arg(Appearance::viewColor(settings.key().toInt() - 1).name()));
    chip->setToolTip(QStringLiteral("This view's colour on the sphere overview"));
    header->addWidget(chip);
    header->addWidget(badge);
    nameField_->setPlaceholderText(QStringLiteral("View name"));
    nameField_->setFont(Appearance::font(TextStyle::title3));
    nameField_->setAccessibleName(QStringLiteral("Angle ") + settings.key() +
                                  QStringLiteral(" name"));
    nameField_->setToolTip(QStringLiteral("Name shown for this angle in Final Cut Pro"));
    header->addWidget(nameField_, 1);
    column->addLayout(header);

    column->addWidget(previewBox_);
    for (NumericControl* control : {pan_, tilt_, roll_, viewWidth_}) {
        column->addWidget(control);
        connect(control, &NumericControl::dragStarted, this, &AngleCard::editStarted);
        connect(control, &NumericControl::dragFinished, this, &AngleCard::editFinished);
    }
    column->addWidget(coverage_);
    column->addWidget(range_);
    column->addStretch();

    connect(nameField_, &QLineEdit::textEdited, &settings_, &AngleSettings::setTitle);
    connect(&settings_, &AngleSettings::titleChanged, this, &AngleCard::refreshTitle);
    connect(&settings_, &AngleSettings::framingChanged, this, &AngleCard::refreshFraming);
    connect(&preview_, &LivePreviewSession::isReadyChanged, this, &AngleCard::refreshReadiness);
    connect(pan_, &NumericControl::valueEdited, this, [this](double v) {
        ViewAngles a = angles();
        a.pan = v;
        store(a);
    });
    connect(tilt_, &NumericControl::valueEdited, this, [this](double v) {
        ViewAngles a = angles();
        a.tilt = v;
        store(a);
    });
    connect(roll_, &NumericControl::valueEdited, this, [this](double v) {
        ViewAngles a = angles();
        a.roll = v;
        store(a);
    });
    connect(viewWidth_, &NumericControl::valueEdited, this, [this](double v) {
        ViewAngles a = angles();
        a.fov = v;
        store(a);
    });

    coverage_->setFont(Appearance::tabularFont(TextStyle::caption2));
    if (surface_.widget) {
        surface_.widget->installEventFilter(this);
        surface_.widget->setCursor(Qt::OpenHandCursor);
        surface_.widget->setToolTip(QStringLiteral(
            "Drag to aim the view; Shift-drag to turn the horizon; Ctrl and the wheel to change "
            "the view width; double-click to level the horizon."));
    }
    AccessibleGroups::markAsGroup(this);
    previewBox_->setSurroundingColor(fillColor());
    refreshTitle();
    refreshFraming();
    refreshReadiness();
}

QList<QWidget*> AngleCard::focusOrder() const {
    QList<QWidget*> order{nameField_};
    for (NumericControl* control : {pan_, tilt_, roll_, viewWidth_})
        order << control->field() << control->slider();
    return order;
}

bool AngleCard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_.widget)
        return QFrame::eventFilter(watched, event);
    QWidget* surface = surface_.widget;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        grab_ = Grab{angles(), mouse->position(), bool(mouse->modifiers() & Qt::ShiftModifier)};
        surface->setCursor(Qt::ClosedHandCursor);
        emit editStarted();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!grab_)
            return false;
        const bool rolling = mouse->modifiers() & Qt::ShiftModifier;
        if (rolling != grab_->rolling) // the drag goes on from here in the other manner
            grab_ = Grab{angles(), mouse->position(), rolling};
        const QSizeF size(surface->size());
        store(ViewGeometry::toTenths(
            rolling
                ? ViewGeometry::rolled(grab_->start, grab_->pressed, mouse->position(), size)
                : ViewGeometry::grabbed(grab_->start, grab_->pressed, mouse->position(), size)));
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!grab_ || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        grab_.reset();
        surface->setCursor(Qt::OpenHandCursor);
        emit editFinished();
        return true;
    case QEvent::MouseButtonDblClick: {
        ViewAngles level = angles();
        level.roll = 0;
        store(level);
        return true;
    }
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier))
            return false; // the window scrolls
        // One degree a notch; a fine-grained wheel adds up to notches.
        wheelRemainder_ += wheel->angleDelta().y();
        const int notches = wheelRemainder_ / QWheelEvent::DefaultDeltasPerStep;
        wheelRemainder_ -= notches * QWheelEvent::DefaultDeltasPerStep;
        if (notches != 0) {
            ViewAngles wider = angles();
            const ClosedRange widths = format_.viewWidthRange();
            wider.fov = std::clamp(wider.fov + notches, widths.lowerBound, widths.upperBound);
            store(wider);
        }
        wheel->accept();
        return true;
    }
    default:
        return false;
    }
}

void AngleCard::setFormat(OutputFormat format) {
    if (format == format_)
        return;
    format_ = format;
    previewBox_->setFormat(format);
    viewWidth_->setRange(format.viewWidthRange());
    refreshFraming();
}

ViewAngles AngleCard::angles() const {
    return settings_.framing()[format_];
}

void AngleCard::store(ViewAngles angles) {
    AngleFraming framing = settings_.framing();
    framing.set(format_, angles);
    settings_.setFraming(framing);
}

void AngleCard::refreshTitle() {
    const QString& title = settings_.title();
    // Rewriting the same text would move the cursor of a user who is typing.
    if (nameField_->text() != title)
        nameField_->setText(title);
    setAccessibleName(title + QStringLiteral(" view"));
    if (surface_.widget)
        surface_.widget->setAccessibleName(title + QStringLiteral(" live video preview"));
}

void AngleCard::refreshFraming() {
    const ViewAngles a = angles();
    pan_->setValue(a.pan);
    tilt_->setValue(a.tilt);
    roll_->setValue(a.roll);
    viewWidth_->setValue(a.fov);
    if (surface_.setAngles)
        surface_.setAngles(a);
    const Coverage coverage = format_.coverage(a.fov);
    coverage_->setText(QString::asprintf("Approx. %.0f° horizontal · %.0f° vertical",
                                         coverage.horizontal, coverage.vertical));
    const ClosedRange widths = format_.viewWidthRange();
    range_->setText(QString::asprintf("Range %.0f–%.0f. Higher values show more.",
                                      widths.lowerBound, widths.upperBound));
}

void AngleCard::refreshReadiness() {
    previewBox_->setPlaceholderVisible(!preview_.isReady());
}

QColor AngleCard::fillColor() const {
    // A faint tint of the text colour over the window, kept opaque so that the rounded corners
    // of the picture can be painted in it.
    const QColor window = palette().color(QPalette::Window);
    const QColor text = palette().color(QPalette::WindowText);
    constexpr float tint = 0.05f;
    return QColor::fromRgbF(window.redF() * (1 - tint) + text.redF() * tint,
                            window.greenF() * (1 - tint) + text.greenF() * tint,
                            window.blueF() * (1 - tint) + text.blueF() * tint);
}

void AngleCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(card, fillColor());
    QColor edge = palette().color(QPalette::WindowText);
    edge.setAlphaF(0.08f);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(card);
}

void AngleCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        previewBox_->setSurroundingColor(fillColor());
    QFrame::changeEvent(event);
}
