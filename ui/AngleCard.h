#pragma once

#include "model/OutputFormat.h"
#include "model/ViewAngles.h"
#include "ui/AnglePreviewFactory.h"

#include <QFrame>
#include <QPointer>

#include <optional>

class AngleSettings;
class AnglePreviewBox;
class LivePreviewSession;
class NumericControl;
class QLabel;
class QLineEdit;

// One camera view's card: its number, its name, its live picture and its framing for the current
// project shape, with how much of the sphere the view width covers. Edits go straight into the
// view's settings, so the picture and a later save use them at once.
class AngleCard : public QFrame {
    Q_OBJECT

public:
    AngleCard(AngleSettings& settings, LivePreviewSession& preview, OutputFormat format,
              const AnglePreviewFactory& makePreview, QWidget* parent = nullptr);

    AngleSettings& settings() const { return settings_; }
    OutputFormat format() const { return format_; }
    // Shows and edits the framing of another shape.
    void setFormat(OutputFormat format);

    QLineEdit* nameField() const { return nameField_; }
    NumericControl* pan() const { return pan_; }
    NumericControl* tilt() const { return tilt_; }
    NumericControl* roll() const { return roll_; }
    NumericControl* viewWidth() const { return viewWidth_; }
    QLabel* coverageLine() const { return coverage_; }
    QLabel* rangeLine() const { return range_; }
    AnglePreviewBox* previewBox() const { return previewBox_; }
    QWidget* previewSurface() const { return surface_.widget; }
    // The controls in the order Tab visits them: the name, then each value's field and slider.
    QList<QWidget*> focusOrder() const;

signals:
    // A drag (of the picture or of a slider) began or ended: what it changes makes one edit.
    void editStarted();
    void editFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The hand on the picture: drag to turn the view, Shift to turn the horizon, Ctrl and the
    // wheel for the view width, double-click to level the horizon.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ViewAngles angles() const;
    void store(ViewAngles angles);
    void refreshTitle();
    void refreshFraming();
    void refreshReadiness();
    QColor fillColor() const;

    AngleSettings& settings_;
    LivePreviewSession& preview_;
    OutputFormat format_;
    AnglePreviewSurface surface_;
    QLineEdit* nameField_;
    AnglePreviewBox* previewBox_;
    NumericControl* pan_;
    NumericControl* tilt_;
    NumericControl* roll_;
    NumericControl* viewWidth_;
    QLabel* coverage_;
    QLabel* range_;
    struct Grab {
        ViewAngles start;
        QPointF pressed;
        bool rolling;
    };
    std::optional<Grab> grab_;
    int wheelRemainder_ = 0;
};
