#include "controls/Animate.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

int AnimatedWrapFrame(int value, int frameCount)
{
    const int n = std::max(1, frameCount);
    return value >= 0 ? value % n : n - 1;
}

TAnimatedStep AnimatedNextFrame(int frame, int frameCount, bool reverse, bool loop)
{
    const int n = std::max(1, frameCount);
    TAnimatedStep s;
    if (!reverse) {
        s.Frame = AnimatedWrapFrame(frame + 1, n);
        s.Stop = s.Frame == n - 1 && !loop;
    } else {
        s.Frame = AnimatedWrapFrame(frame - 1, n);
        s.Stop = s.Frame == 0 && !loop;
    }
    return s;
}

QImage AnimatedFrameImage(const QImage& strip, int frame, int width, int height,
                          const QColor& transparentColor, const QColor& background)
{
    if (width <= 0 || height <= 0)
        return {};
    QImage out(width, height, QImage::Format_RGB32);
    out.fill(Qt::white);
    if (strip.isNull() || strip.height() < 1)
        return out;
    QImage source = strip.copy(frame * width, 0, width, height).convertToFormat(QImage::Format_RGB32);
    // copy() fills what lies beyond the strip with zeros; show white there, as for an empty strip.
    const QRect inside = QRect(0, 0, strip.width(), strip.height()).intersected(QRect(frame * width, 0, width, height))
                             .translated(-frame * width, 0);
    QPainter p(&out);
    if (transparentColor.isValid()) {
        const QRgb key = transparentColor.rgb() & 0xffffff;
        const QRgb bg = background.rgb();
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if ((source.pixel(x, y) & 0xffffff) == key)
                    source.setPixel(x, y, bg);
    }
    if (!inside.isEmpty())
        p.drawImage(inside.topLeft(), source, inside);
    return out;
}

TAnimated::TAnimated(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(30, 30);
}

TAnimated::~TAnimated() = default;

void TAnimated::SetBitMap(const QImage& bitmap)
{
    bitmap_ = bitmap.copy();
    resize(width(), bitmap_.height() > 0 ? bitmap_.height() : 30);
    update();
}

void TAnimated::SetFrameCount(int count)
{
    frameCount_ = std::max(1, count);
    update();
}

void TAnimated::SetFrame(int frame)
{
    frame = AnimatedWrapFrame(frame, frameCount_);
    if (frame == frame_)
        return;
    frame_ = frame;
    emit OnChangeFrame();
    update();
}

void TAnimated::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    StopTimer();
    interval_ = ms;
    if (play_)
        StartTimer();
}

void TAnimated::SetPlay(bool on)
{
    if (on == play_)
        return;
    play_ = on;
    if (on)
        StartTimer();
    else
        StopTimer();
}

void TAnimated::SetTransparentColor(const QColor& color)
{
    if (color == transparentColor_)
        return;
    transparentColor_ = color;
    update();
}

void TAnimated::StartTimer()
{
    if (interval_ <= 0)
        return;
    timer_ = new QTimer(this);
    timer_->setInterval(interval_);
    connect(timer_, &QTimer::timeout, this, &TAnimated::Step);
    timer_->start();
}

void TAnimated::StopTimer()
{
    // Deleted later: Step may run inside the timer's own timeout.
    if (timer_) {
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }
}

void TAnimated::Step()
{
    const TAnimatedStep s = AnimatedNextFrame(frame_, frameCount_, reverse_, loop_);
    SetFrame(s.Frame);
    if (s.Stop)
        SetPlay(false);
}

void TAnimated::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, AnimatedFrameImage(bitmap_, frame_, width(), height(), transparentColor_, palette().color(QPalette::Window)));
}
