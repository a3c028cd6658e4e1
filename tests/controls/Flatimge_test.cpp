#include "controls/Flatimge.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(FlatImageColour, BlueToGreenToRed)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { double height; int min, max; QRgb colour; };
    const Case cases[] = {
        {0, 0, 1000, qRgb(0, 0, 255)},       {-500, 0, 1000, qRgb(0, 0, 255)}, // below MinHeight: blue
        {1000, 0, 1000, qRgb(255, 0, 0)},    {5000, 0, 1000, qRgb(255, 0, 0)}, // above MaxHeight: red
        {500, 0, 1000, qRgb(180, 255, 180)}, {250, 0, 1000, qRgb(98, 180, 236)},
        {10, 10, 10, qRgb(0, 0, 255)},       {11, 10, 10, qRgb(255, 0, 0)},    // equal limits
        {nan, 0, 1000, qRgb(0, 0, 255)},
        {0, 1000, 0, qRgb(255, 0, 0)},       // limits the other way round
    };
    for (const Case& c : cases)
        EXPECT_EQ(FlatImageColour(c.height, c.min, c.max), c.colour) << c.height << " in " << c.min << ".." << c.max;
}

TEST(FlatImageSize, LongerSideIsFixed)
{
    struct Case { int w, h, side; QSize size; };
    const Case cases[] = {
        {258, 129, 250, {250, 125}}, {129, 258, 250, {125, 250}}, {100, 100, 200, {200, 200}},
        {3, 2, 200, {200, 133}},     {0, 5, 200, QSize()},        {5, 0, 200, QSize()},
        {-1, 5, 200, QSize()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FlatImageSize(c.w, c.h, c.side), c.size) << c.w << "x" << c.h;
}

TEST(FlatImage, GridSizeKeepsTheCentreAndCellsStretch)
{
    QWidget parent;
    auto* img = new TFlatImage(&parent);
    EXPECT_EQ(img->MinHeight(), 0);
    EXPECT_EQ(img->MaxHeight(), 1000);
    EXPECT_EQ(img->FixSide(), 200);
    img->setGeometry(100, 100, 50, 50); // centre (125, 125)
    img->SetFixSide(250);
    img->SetGridSize(258, 129);
    EXPECT_EQ(img->geometry(), QRect(0, 63, 250, 125));
    EXPECT_EQ(img->Cells().size(), QSize(258, 129));

    img->SetGridSize(2, 1);
    EXPECT_EQ(img->geometry(), QRect(0, 63, 250, 125));
    img->SetCellHeight(0, 0, -10);
    img->SetCellHeight(1, 0, 2000);
    img->SetCellHeight(2, 0, 500);  // outside the grid: ignored
    img->SetCellHeight(0, -1, 500);
    img->DrawCells();
    ASSERT_EQ(img->Picture().size(), QSize(250, 125));
    EXPECT_EQ(img->Picture().pixel(10, 60) & 0xffffff, 0x0000ffu);
    EXPECT_EQ(img->Picture().pixel(240, 60) & 0xffffff, 0xff0000u);
    EXPECT_EQ(img->grab().toImage().pixel(240, 60) & 0xffffff, 0xff0000u);

    // An empty grid: no cells, the control stays where it is, drawing leaves nothing to show.
    img->SetGridSize(0, 129);
    EXPECT_TRUE(img->Cells().isNull());
    EXPECT_EQ(img->geometry(), QRect(0, 63, 250, 125));
    img->SetCellHeight(0, 0, 5);
    img->DrawCells();
    EXPECT_TRUE(img->Picture().isNull());
}

} // namespace
