#include "controls/Flatimge.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int Channel(double v)
{
    return static_cast<int>(std::clamp(std::nearbyint(255.0 * v), 0.0, 255.0));
}

} // namespace

QRgb FlatImageColour(double height, int minHeight, int maxHeight)
{
    double t = 0.0;
    if (maxHeight != minHeight)
        t = (height - minHeight) / (static_cast<double>(maxHeight) - minHeight);
    else
        t = height > minHeight ? 1.0 : 0.0;
    if (std::isnan(t))
        t = 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double pi = std::numbers::pi;
    return qRgb(Channel(std::sin(pi * t / 2)), Channel(std::sin(pi * t)), Channel(std::cos(pi * t / 2)));
}

QSize FlatImageSize(int w, int h, int fixSide)
{
    if (w <= 0 || h <= 0)
        return {};
    const double side = fixSide;
    if (w <= h)
        return {static_cast<int>(std::nearbyint(static_cast<double>(w) / h * side)), fixSide};
    return {fixSide, static_cast<int>(std::nearbyint(static_cast<double>(h) / w * side))};
}

TFlatImage::TFlatImage(QWidget* parent) : QWidget(parent) {}

void TFlatImage::SetGridSize(int w, int h)
{
    const QSize size = FlatImageSize(w, h, fixSide_);
    if (!size.isValid()) {
        cells_ = QImage();
        return;
    }
    cells_ = QImage(w, h, QImage::Format_RGB32);
    cells_.fill(Qt::black);
    const int cx = x() + width() / 2, cy = y() + height() / 2;
    setGeometry(cx - size.width() / 2, cy - size.height() / 2, size.width(), size.height());
}

void TFlatImage::SetCellHeight(int x, int y, double height)
{
    if (x < 0 || y < 0 || x >= cells_.width() || y >= cells_.height())
        return;
    cells_.setPixel(x, y, FlatImageColour(height, minHeight_, maxHeight_));
}

void TFlatImage::DrawCells()
{
    if (cells_.isNull() || width() <= 0 || height() <= 0)
        picture_ = QImage();
    else
        picture_ = cells_.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    update();
}

void TFlatImage::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}
