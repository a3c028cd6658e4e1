#include "controls/EnhTrackBar.h"

#include <QMouseEvent>

TEnhTrackBar::TEnhTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    // The look of a new track bar: 0 to 10 with a tick per step below the groove.
    setRange(0, 10);
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
}

void TEnhTrackBar::mousePressEvent(QMouseEvent* event)
{
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        emit OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
    }
}

void TEnhTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        emit OnMouseUp(event->button(), event->modifiers(), p.x(), p.y());
    }
}
