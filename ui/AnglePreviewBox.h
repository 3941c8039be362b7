#pragma once

#include "model/OutputFormat.h"

#include <QWidget>

// Holds a view's live picture in a black, rounded block of the project's shape (16:9 or 9:16,
// at most 320 high in portrait) centred across the card, with the viewfinder symbol on top
// until the first frame is ready.
class AnglePreviewBox : public QWidget {
    Q_OBJECT

public:
    AnglePreviewBox(QWidget* surface, OutputFormat format, QWidget* parent = nullptr);

    void setFormat(OutputFormat format);
    void setPlaceholderVisible(bool visible);
    bool placeholderVisible() const;
    // The colour around the block, painted over the picture's corners to round them.
    void setSurroundingColor(const QColor& color);

    // Where the picture sits inside the box.
    QRect blockRect() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int portraitMaximumHeight = 320;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void placeLayers();

    OutputFormat format_;
    QWidget* surface_;
    QWidget* placeholder_;
    QWidget* corners_;
};
