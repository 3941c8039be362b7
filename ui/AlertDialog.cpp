#include "ui/AlertDialog.h"

#include "ui/Appearance.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
constexpr int messageWidth = 420;
constexpr int largestMessageHeight = 360;
} // namespace

AlertDialog::AlertDialog(const QString& title, QWidget* parent)
    : QDialog(parent), message_(new QPlainTextEdit), buttonRow_(new QWidget) {
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* texts = new QVBoxLayout;
    // Window managers often hide a dialog's title, so the box says it too.
    QLabel* heading = Appearance::makeLabel(title, Appearance::TextStyle::headline);
    texts->addWidget(heading);
    message_->setReadOnly(true);
    message_->setFrameShape(QFrame::NoFrame);
    message_->viewport()->setAutoFillBackground(false);
    message_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    message_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    message_->setMinimumWidth(messageWidth);
    message_->setAccessibleName(title);
    texts->addWidget(message_);
    top->addLayout(texts, 1);
    column->addLayout(top);
    auto* buttons = new QHBoxLayout(buttonRow_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    column->addWidget(buttonRow_);
}

void AlertDialog::setMessage(const QString& message) {
    message_->setPlainText(message);
    fitMessage();
}

QString AlertDialog::message() const {
    return message_->toPlainText();
}

QPushButton* AlertDialog::addButton(const QString& text, QDialog::DialogCode role) {
    auto* button = new QPushButton(text, buttonRow_);
    button->setAutoDefault(buttons_.isEmpty());
    button->setDefault(buttons_.isEmpty());
    buttonRow_->layout()->addWidget(button);
    buttons_.append(button);
    connect(button, &QPushButton::clicked, this, [this, role] { done(role); });
    return button;
}

void AlertDialog::clearButtons() {
    qDeleteAll(buttons_);
    buttons_.clear();
}

void AlertDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitMessage();
}

// Tall enough for the whole message at the box's width; a very long one scrolls.
void AlertDialog::fitMessage() {
    QTextDocument* document = message_->document();
    document->setTextWidth(message_->viewport()->width());
    const int height = int(document->size().height() * message_->fontMetrics().lineSpacing()) +
                       2 * int(document->documentMargin()) + message_->frameWidth() * 2;
    message_->setFixedHeight(std::min(height, largestMessageHeight));
}
