#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

// A row of exclusive checkable buttons, each standing for one value, with one accessible title.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QString& accessibleTitle, QWidget* parent = nullptr);

    void addSegment(const QString& text, int value);
    // Checks the segment of the value; emits nothing.
    void setValue(int value);
    int value() const;
    QAbstractButton* segment(int value) const;
    QList<QAbstractButton*> segments() const;

signals:
    // The user chose the segment of this value.
    void valueChosen(int value);

private:
    void restyle();

    QButtonGroup* group_;
};
