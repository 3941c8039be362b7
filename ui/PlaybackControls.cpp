#include "ui/PlaybackControls.h"

#include "preview/LivePreviewSession.h"
#include "ui/Appearance.h"
#include "ui/TimeLabel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace {

class AbsoluteClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

constexpr int barSpacing = 14;
constexpr int rowSpacing = 20;
constexpr int playButtonWidth = 85;
constexpr int timeTextMinimumWidth = 120;
constexpr double minimumRange = 0.001;
// Slider positions per second: millisecond steps, fewer for durations an int cannot count.
constexpr double stepsPerSecond = 1000;
} // namespace

PlaybackControls::PlaybackControls(LivePreviewSession& preview, QWidget* parent)
    : QWidget(parent), preview_(preview), playButton_(new QPushButton(this)),
      slider_(new QSlider(Qt::Horizontal, this)), timeText_(new QLabel(this)),
      muteButton_(new QPushButton(this)),
      errorLine_(Appearance::makeLabel({}, Appearance::TextStyle::caption)) {
    using Appearance::TextStyle;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(rowSpacing);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(barSpacing);
    playButton_->setFixedWidth(playButtonWidth);
    bar->addWidget(playButton_);
    slider_->setAccessibleName(QStringLiteral("Preview position"));
    slider_->setTracking(true);
    // A click on the track goes there, as on the original platform, rather than a page on.
    auto* clickStyle = new AbsoluteClickStyle;
    clickStyle->setParent(slider_);
    slider_->setStyle(clickStyle);
    bar->addWidget(slider_, 1);
    timeText_->setFont(Appearance::tabularFont(TextStyle::callout));
    timeText_->setMinimumWidth(timeTextMinimumWidth);
    timeText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar->addWidget(timeText_);
    bar->addWidget(muteButton_);
    column->addLayout(bar);

    column->addWidget(Appearance::makeLabel(
        QStringLiteral("Play or scrub to check your framing. Adjust views while playing or "
                       "paused; Final Cut records your cuts."),
        TextStyle::caption, true));

    QPalette red = errorLine_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        red.setColor(group, QPalette::WindowText, QColor(0xd7, 0x26, 0x1e));
    errorLine_->setPalette(red);
    errorLine_->setWordWrap(true);
    errorLine_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    column->addWidget(errorLine_);

    connect(playButton_, &QPushButton::clicked, &preview_, &LivePreviewSession::togglePlayback);
    connect(muteButton_, &QPushButton::clicked, this,
            [this] { preview_.setMuted(!preview_.muted()); });
    connect(slider_, &QSlider::sliderPressed, this, &PlaybackControls::beginDrag);
    connect(slider_, &QSlider::sliderReleased, this, &PlaybackControls::endDrag);
    connect(slider_, &QSlider::valueChanged, this, &PlaybackControls::sliderChanged);

    connect(&preview_, &LivePreviewSession::isPlayingChanged, this,
            &PlaybackControls::refreshButtons);
    connect(&preview_, &LivePreviewSession::isReadyChanged, this,
            &PlaybackControls::refreshButtons);
    connect(&preview_, &LivePreviewSession::mutedChanged, this, &PlaybackControls::refreshButtons);
    connect(&preview_, &LivePreviewSession::timeChanged, this, &PlaybackControls::refreshPosition);
    connect(&preview_, &LivePreviewSession::durationChanged, this,
            &PlaybackControls::refreshPosition);
    connect(&preview_, &LivePreviewSession::errorMessageChanged, this,
            &PlaybackControls::refreshError);

    refreshButtons();
    refreshPosition();
    refreshError();
}

QList<QWidget*> PlaybackControls::focusOrder() const {
    return {playButton_, slider_, muteButton_};
}

void PlaybackControls::setControlsEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    refreshButtons();
}

double PlaybackControls::displayedPosition() const {
    return scrubbing_ ? scrubPosition_ : preview_.time();
}

double PlaybackControls::sliderUpperBound() const {
    const double duration = preview_.duration();
    // A NaN duration fails the comparison and falls back to the smallest range.
    return duration > minimumRange ? duration : minimumRange;
}

int PlaybackControls::sliderSteps() const {
    const double steps = std::ceil(sliderUpperBound() * stepsPerSecond);
    return steps < double(INT_MAX) ? int(steps) : INT_MAX;
}

void PlaybackControls::beginDrag() {
    scrubPosition_ = preview_.time();
    scrubbing_ = true;
    preview_.beginScrubbing();
}

void PlaybackControls::endDrag() {
    scrubbing_ = false;
    preview_.endScrubbing();
    refreshPosition();
}

void PlaybackControls::sliderChanged(int position) {
    if (placingSlider_)
        return;
    scrubPosition_ = sliderUpperBound() * position / sliderSteps();
    preview_.seek(scrubPosition_);
    refreshPosition();
}

void PlaybackControls::refreshButtons() {
    const bool usable = enabled_ && preview_.isReady();
    if (preview_.isPlaying()) {
        playButton_->setText(QStringLiteral("Pause"));
        playButton_->setIcon(
            Appearance::symbol(QStringLiteral("media-playback-pause"), QStyle::SP_MediaPause));
    } else {
        playButton_->setText(QStringLiteral("Play"));
        playButton_->setIcon(
            Appearance::symbol(QStringLiteral("media-playback-start"), QStyle::SP_MediaPlay));
    }
    if (preview_.muted()) {
        muteButton_->setText(QStringLiteral("Unmute"));
        muteButton_->setIcon(
            Appearance::symbol(QStringLiteral("audio-volume-muted"), QStyle::SP_MediaVolumeMuted));
    } else {
        muteButton_->setText(QStringLiteral("Mute"));
        muteButton_->setIcon(
            Appearance::symbol(QStringLiteral("audio-volume-high"), QStyle::SP_MediaVolume));
    }
    playButton_->setEnabled(usable);
    slider_->setEnabled(usable);
    muteButton_->setEnabled(usable);
    // Releasing a drag that a disabled slider can no longer report must still end scrubbing.
    if (!usable && scrubbing_)
        endDrag();
}

void PlaybackControls::refreshPosition() {
    const double position = displayedPosition();
    timeText_->setText(timeLabel(position) + QStringLiteral(" / ") +
                       timeLabel(preview_.duration()));
    placingSlider_ = true;
    slider_->setRange(0, sliderSteps());
    // While dragging, the thumb shows its own position.
    if (!scrubbing_) {
        const double fraction = std::isfinite(position) ? position / sliderUpperBound() : 0;
        slider_->setValue(int(std::lround(std::clamp(fraction, 0.0, 1.0) * sliderSteps())));
    }
    placingSlider_ = false;
}

void PlaybackControls::refreshError() {
    const auto& message = preview_.errorMessage();
    errorLine_->setText(message.value_or(QString()));
    errorLine_->setVisible(message.has_value());
}
