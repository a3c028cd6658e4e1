#pragma once
// TAnimated: plays an animation stored as a strip of equally wide frames in one bitmap (each as
// wide as the control), e.g. the globe of the long-operation progress dialog.
//
// The frame arithmetic and the drawing of one frame are free functions (tested as tables).
#include <QColor>
#include <QImage>
#include <QWidget>

class QTimer;

// The frame a written value selects: v >= 0 wraps round frameCount, a negative v is the last
// frame. A frame count below 1 counts as 1.
int AnimatedWrapFrame(int value, int frameCount);

// One timer step: the next frame, and whether playing stops there (Loop off and the end reached).
struct TAnimatedStep {
    int Frame = 0;
    bool Stop = false;
};
TAnimatedStep AnimatedNextFrame(int frame, int frameCount, bool reverse, bool loop);

// What the control shows: frame `frame` of the strip cut to width x height; pixels of the
// transparent colour (when valid) show the background instead. An empty strip is all white.
QImage AnimatedFrameImage(const QImage& strip, int frame, int width, int height,
                          const QColor& transparentColor, const QColor& background);

class TAnimated : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QImage BitMap READ BitMap WRITE SetBitMap)
    Q_PROPERTY(int FrameCount READ FrameCount WRITE SetFrameCount)
    Q_PROPERTY(int Frame READ Frame WRITE SetFrame)
    Q_PROPERTY(int Interval READ Interval WRITE SetInterval)
    Q_PROPERTY(bool Loop READ Loop WRITE SetLoop)
    Q_PROPERTY(bool Reverse READ Reverse WRITE SetReverse)
    Q_PROPERTY(bool Play READ Play WRITE SetPlay)
    Q_PROPERTY(QColor TransparentColor READ TransparentColor WRITE SetTransparentColor)

public:
    explicit TAnimated(QWidget* parent = nullptr);
    ~TAnimated() override;

    const QImage& BitMap() const { return bitmap_; }
    // Copies the strip; the control takes its height (30 when the strip has none).
    void SetBitMap(const QImage& bitmap);
    int FrameCount() const { return frameCount_; }
    void SetFrameCount(int count); // below 1 counts as 1
    int Frame() const { return frame_; }
    void SetFrame(int frame);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Loop() const { return loop_; }
    void SetLoop(bool on) { loop_ = on; }
    bool Reverse() const { return reverse_; }
    void SetReverse(bool on) { reverse_ = on; }
    bool Play() const { return play_; }
    void SetPlay(bool on);
    QColor TransparentColor() const { return transparentColor_; } // invalid: none
    void SetTransparentColor(const QColor& color);

    // The frame timer exists only while playing with a positive interval.
    bool TimerRunning() const { return timer_ != nullptr; }
    // One tick of the frame timer.
    void Step();

    QSize sizeHint() const override { return {30, 30}; }

signals:
    void OnChangeFrame();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void StartTimer();
    void StopTimer();

    QImage bitmap_;
    int frameCount_ = 1;
    int frame_ = 0;
    QTimer* timer_ = nullptr; // a child of the control
    int interval_ = 0;
    bool loop_ = true;
    bool reverse_ = false;
    bool play_ = false;
    QColor transparentColor_;
};
