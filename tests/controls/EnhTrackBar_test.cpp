#include "controls/EnhTrackBar.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(EnhTrackBar, ReportsLeftPressAndRelease)
{
    TEnhTrackBar bar;
    bar.resize(200, 30);
    QSignalSpy down(&bar, &TEnhTrackBar::OnMouseDown), up(&bar, &TEnhTrackBar::OnMouseUp);
    QTest::mousePress(&bar, Qt::LeftButton, Qt::ShiftModifier, QPoint(150, 10));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(down[0][1].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
    EXPECT_EQ(down[0][2].toInt(), 150);
    EXPECT_EQ(down[0][3].toInt(), 10);
    EXPECT_EQ(up.count(), 0);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(160, 12));
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up[0][2].toInt(), 160);

    // Other buttons are not reported.
    QTest::mousePress(&bar, Qt::RightButton, {}, QPoint(50, 10));
    QTest::mouseRelease(&bar, Qt::RightButton, {}, QPoint(50, 10));
    EXPECT_EQ(down.count(), 1);
    EXPECT_EQ(up.count(), 1);
}

} // namespace
