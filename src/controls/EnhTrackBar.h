#pragma once
// TEnhTrackBar: a track bar that also reports left-button presses and releases (the editors
// write the value when the user lets go of the thumb).
#include <QSlider>

class TEnhTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TEnhTrackBar(QWidget* parent = nullptr);

signals:
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
