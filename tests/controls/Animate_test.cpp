#include "controls/Animate.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(AnimatedFrames, WrapAndStep)
{
    struct Wrap { int value, count, frame; };
    const Wrap wraps[] = {{6, 4, 2}, {-1, 4, 3}, {-100, 4, 3}, {3, 4, 3}, {4, 4, 0}, {0, 4, 0},
                          {5, 0, 0}, {-1, 0, 0}, {7, -3, 0}}; // no frames count as one
    for (const Wrap& w : wraps)
        EXPECT_EQ(AnimatedWrapFrame(w.value, w.count), w.frame) << w.value << " of " << w.count;

    struct Step { int frame, count; bool reverse, loop; int next; bool stop; };
    const Step steps[] = {
        {0, 4, false, true, 1, false}, {2, 4, false, false, 3, true},  {3, 4, false, true, 0, false},
        {3, 4, false, false, 0, false}, // started on the last frame: runs round once more
        {1, 4, true, false, 0, true},   {0, 4, true, true, 3, false},  {0, 4, true, false, 3, false},
        {0, 1, false, false, 0, true},  {0, 0, true, true, 0, false},
    };
    for (const Step& s : steps) {
        const TAnimatedStep r = AnimatedNextFrame(s.frame, s.count, s.reverse, s.loop);
        EXPECT_EQ(r.Frame, s.next) << s.frame << (s.reverse ? " back" : " fwd");
        EXPECT_EQ(r.Stop, s.stop) << s.frame << (s.reverse ? " back" : " fwd");
    }
}

// A strip of four 10x10 frames in red, green, blue and white, with a black pixel in frame 1.
QImage Strip()
{
    QImage strip(40, 10, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (int f = 0; f < 4; ++f)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                strip.setPixel(f * 10 + x, y, colours[f]);
    strip.setPixel(13, 4, qRgb(0, 0, 0));
    return strip;
}

TEST(AnimatedFrames, FrameImageCutsTheStrip)
{
    const QImage strip = Strip();
    const QColor grey(100, 100, 100);
    struct Case { QImage strip; int frame; QColor key; QPoint at; QRgb expected; };
    const Case cases[] = {
        {QImage(), 0, QColor(), {5, 5}, qRgb(255, 255, 255)}, // empty strip: white
        {strip, 0, QColor(), {5, 5}, qRgb(255, 0, 0)},
        {strip, 2, QColor(), {9, 9}, qRgb(0, 0, 255)},
        {strip, 1, QColor(), {3, 4}, qRgb(0, 0, 0)},
        {strip, 1, QColor(0, 0, 0), {3, 4}, grey.rgb()},       // transparent colour shows the background
        {strip, 1, QColor(0, 0, 0), {5, 5}, qRgb(0, 255, 0)},
        {strip, 7, QColor(), {5, 5}, qRgb(255, 255, 255)},     // beyond the strip
    };
    for (const Case& c : cases) {
        const QImage img = AnimatedFrameImage(c.strip, c.frame, 10, 10, c.key, grey);
        ASSERT_EQ(img.size(), QSize(10, 10));
        EXPECT_EQ(img.pixel(c.at) & 0xffffff, c.expected & 0xffffff) << "frame " << c.frame;
    }
    EXPECT_TRUE(AnimatedFrameImage(strip, 0, 0, 10, QColor(), grey).isNull());
}

TEST(Animated, DefaultsBitmapAndFrameEvents)
{
    TAnimated a;
    EXPECT_EQ(a.size(), QSize(30, 30));
    EXPECT_EQ(a.FrameCount(), 1);
    EXPECT_TRUE(a.Loop());
    EXPECT_FALSE(a.Play());
    EXPECT_FALSE(a.TransparentColor().isValid());
    EXPECT_EQ(a.grab().toImage().pixel(15, 15) & 0xffffff, 0xffffffu); // empty strip: white square

    a.resize(10, 30);
    a.SetBitMap(Strip());
    EXPECT_EQ(a.height(), 10);
    a.SetFrameCount(4);
    QSignalSpy changed(&a, &TAnimated::OnChangeFrame);
    a.SetFrame(6);
    EXPECT_EQ(a.Frame(), 2);
    a.SetFrame(2);
    EXPECT_EQ(changed.count(), 1);
    a.SetFrame(-1);
    EXPECT_EQ(a.Frame(), 3);
    EXPECT_EQ(changed.count(), 2);
    a.SetFrame(1);
    EXPECT_EQ(a.grab().toImage().pixel(5, 5) & 0xffffff, 0x00ff00u);
    a.SetFrameCount(0);
    EXPECT_EQ(a.FrameCount(), 1);

    a.SetBitMap(QImage());
    EXPECT_EQ(a.height(), 30);
}

TEST(Animated, PlayingStopsAtTheEndWithoutLoop)
{
    struct Case { bool reverse; int start; std::vector<int> frames; };
    const Case cases[] = {{false, 0, {1, 2, 3}}, {true, 3, {2, 1, 0}}, {true, 0, {3, 2, 1, 0}}};
    for (const Case& c : cases) {
        TAnimated a;
        a.SetFrameCount(4);
        a.SetFrame(c.start);
        a.SetLoop(false);
        a.SetReverse(c.reverse);
        a.SetInterval(50);
        a.SetPlay(true);
        ASSERT_TRUE(a.TimerRunning());
        std::vector<int> seen;
        for (int i = 0; i < 10 && a.Play(); ++i) {
            a.Step();
            seen.push_back(a.Frame());
        }
        EXPECT_EQ(seen, c.frames) << c.reverse;
        EXPECT_FALSE(a.Play());
        EXPECT_FALSE(a.TimerRunning());
    }
}

TEST(Animated, IntervalZeroPausesTheTimerButKeepsPlay)
{
    TAnimated a;
    a.SetFrameCount(3);
    a.SetPlay(true); // no interval yet: playing without a timer
    EXPECT_TRUE(a.Play());
    EXPECT_FALSE(a.TimerRunning());
    a.SetInterval(1);
    EXPECT_TRUE(a.TimerRunning());
    // The real timer advances the frames.
    QSignalSpy changed(&a, &TAnimated::OnChangeFrame);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() >= 2; }, 5000));
    a.SetInterval(0);
    EXPECT_TRUE(a.Play());
    EXPECT_FALSE(a.TimerRunning());
    a.SetInterval(5);
    EXPECT_TRUE(a.TimerRunning());
    a.SetPlay(false);
    EXPECT_FALSE(a.TimerRunning());
}

} // namespace
