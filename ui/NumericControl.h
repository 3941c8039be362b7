#pragma once

#include "model/OutputFormat.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QSlider;

// A titled number with an entry field and a slider. The field shows one decimal in the user's
// locale and commits on Enter or when it loses focus; text that is not a number puts the current
// value back. The slider moves continuously over the range. Nothing is clamped: a value typed
// outside the range is kept as typed and the slider rests at the nearer end.
class NumericControl : public QWidget {
    Q_OBJECT

public:
    NumericControl(const QString& title, ClosedRange range, const QString& unit,
                   QWidget* parent = nullptr);

    double value() const { return value_; }
    // Shows a value from the model; emits nothing.
    void setValue(double value);

    ClosedRange range() const { return range_; }
    void setRange(ClosedRange range);

    QLineEdit* field() const { return field_; }
    QSlider* slider() const { return slider_; }

    // Slider positions per unit of value: fine enough that a drag looks continuous.
    static constexpr double sliderScale = 100;

signals:
    // The user typed or dragged a new value.
    void valueEdited(double value);
    // A drag of the slider began or ended: its values make one edit.
    void dragStarted();
    void dragFinished();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commitText();
    void sliderMoved(int position);
    void showValue();
    void placeSlider();

    QString title_;
    ClosedRange range_;
    double value_ = 0;
    QLineEdit* field_;
    QSlider* slider_;
    bool placingSlider_ = false;
};
