#pragma once
// TFlatImage: shows a height grid as a colour-coded picture (one bitmap pixel per grid cell,
// stretched over the control) whose longer side has a fixed length; the camera editor draws its
// positioning map on it. Blue is the lowest height, a pale green the middle, red the highest.
#include <QImage>
#include <QSize>
#include <QWidget>

// Colour of a height between minHeight (blue) and maxHeight (red); heights outside are limited.
// With equal limits every height at or below them is blue and every height above is red.
QRgb FlatImageColour(double height, int minHeight, int maxHeight);

// Control size for a w x h grid: the longer side is fixSide, the other in proportion.
// An empty grid (a side of 0 or below) gives an invalid size.
QSize FlatImageSize(int w, int h, int fixSide);

class TFlatImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int MinHeight READ MinHeight WRITE SetMinHeight)
    Q_PROPERTY(int MaxHeight READ MaxHeight WRITE SetMaxHeight)
    Q_PROPERTY(int FixSide READ FixSide WRITE SetFixSide)

public:
    explicit TFlatImage(QWidget* parent = nullptr);

    int MinHeight() const { return minHeight_; }
    void SetMinHeight(int h) { minHeight_ = h; }
    int MaxHeight() const { return maxHeight_; }
    void SetMaxHeight(int h) { maxHeight_ = h; }
    int FixSide() const { return fixSide_; }
    void SetFixSide(int side) { fixSide_ = side; }

    // The cell bitmap becomes w x h; the control takes FlatImageSize and keeps its centre.
    // An empty grid empties the bitmap and leaves the control where it is.
    virtual void SetGridSize(int w, int h);
    // Colours cell (x, y); cells outside the grid are ignored.
    virtual void SetCellHeight(int x, int y, double height);
    // Stretches the cells over the whole control.
    virtual void DrawCells();

    const QImage& Cells() const { return cells_; }
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage cells_;
    int minHeight_ = 0;
    int maxHeight_ = 1000;
    int fixSide_ = 200;
    QImage picture_; // what the control shows
};
