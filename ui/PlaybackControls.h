#pragma once

#include <QWidget>

class LivePreviewSession;
class QLabel;
class QPushButton;
class QSlider;

// The playback bar under the options: play/pause, the position slider, the time and mute, with
// the hint line and the engine's error line below. While the user drags, the slider and the time
// follow the thumb instead of the engine, so the text stays steady while seeks complete.
class PlaybackControls : public QWidget {
    Q_OBJECT

public:
    explicit PlaybackControls(LivePreviewSession& preview, QWidget* parent = nullptr);

    // Whether the window allows playback now (a source is open and nothing is being opened or
    // saved); the buttons and the slider also wait for the preview to be ready.
    void setControlsEnabled(bool enabled);
    bool controlsEnabled() const { return enabled_; }

    bool scrubbing() const { return scrubbing_; }
    double scrubPosition() const { return scrubPosition_; }
    // The position the bar shows: the dragged one while scrubbing, else the engine's time.
    double displayedPosition() const;
    // The slider's upper end in seconds; never below a millisecond, so the range is never empty.
    double sliderUpperBound() const;

    QPushButton* playButton() const { return playButton_; }
    QSlider* positionSlider() const { return slider_; }
    QLabel* timeText() const { return timeText_; }
    QPushButton* muteButton() const { return muteButton_; }
    QLabel* errorLine() const { return errorLine_; }
    // The controls in the order Tab visits them.
    QList<QWidget*> focusOrder() const;

private:
    void beginDrag();
    void endDrag();
    void sliderChanged(int position);
    void refreshButtons();
    void refreshPosition();
    void refreshError();
    int sliderSteps() const;

    LivePreviewSession& preview_;
    bool enabled_ = false;
    bool scrubbing_ = false;
    double scrubPosition_ = 0;
    bool placingSlider_ = false;
    QPushButton* playButton_;
    QSlider* slider_;
    QLabel* timeText_;
    QPushButton* muteButton_;
    QLabel* errorLine_;
};
