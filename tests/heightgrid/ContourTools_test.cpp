#include "controls/FloatEdit.h"
#include "heightgrid/DefNet.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/InterpolateDlg.h"
#include "heightgrid/SetHeight.h"
#include "heightgrid/longprogress.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "support/MessageLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TPromptLog = qxtest::TMessageLog;

using TPumpSink = qxtest::TStatusLog;

void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

int redPixels(QWidget* w)
{
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            n += (shot.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    return n;
}

// A map control at zoom level 2 over a 30 x 25 grid with heights 10 c + r.
class MapToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrompt(&prompt);
        SetStatusSink(&sink);
        project = new TProject;
        ASSERT_TRUE(project->NewGrid(30, 25, 10.0, 10.0));
        for (int c = 0; c < 30; ++c)
            for (int r = 0; r < 25; ++r)
                h(c, r) = 10.0 * c + r;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 314;
        map = std::make_unique<TDefineNet>();
        map->SetProject(&project);
        map->ZoomLevel = 2;
        map->ApplyZoom();
        map->FitToWindow();
        map->RedrawArea(true);
        map->ExecSetHeight = [this](TSetHeightDlg& dlg) {
            ++dialogs;
            info = dlg.InfoLabel->text();
            nullEnabled = dlg.NullRadio->isEnabled();
            redWhileShown = redPixels(map.get());
            dlg.HeightEdit->setText(QString::number(height));
            return answer;
        };
    }
    void TearDown() override
    {
        map.reset();
        DestroyHeightGridDialogs();
        delete project;
        SetStatusSink(nullptr);
        SetPrompt(nullptr);
    }
    QPoint pixelOf(int column, int row) const
    {
        int x = 0, y = 0;
        map->CellToScreen(column, row, x, y);
        return {x, y};
    }
    void press(int column, int row, Qt::MouseButton b = Qt::LeftButton)
    {
        sendMouse(map.get(), QEvent::MouseButtonPress, pixelOf(column, row), b);
        sendMouse(map.get(), QEvent::MouseButtonRelease, pixelOf(column, row), b);
    }
    double& h(int c, int r) { return project->Grid.Cells[c][r].Height; }
    bool original(int c, int r) { return h(c, r) == 10.0 * c + r; }

    TPromptLog prompt;
    TPumpSink sink;
    TProject* project = nullptr;
    std::unique_ptr<TDefineNet> map;
    int dialogs = 0;
    QString info;
    bool nullEnabled = true;
    int redWhileShown = 0;
    double height = 500;
    bool answer = true;
};

TEST_F(MapToolsTest, DrawnContourSetsEveryNthCellWithUndo)
{
    map->SetMode(ModeContour, nullptr);
    press(0, 3);
    press(5, 3);
    EXPECT_TRUE(map->ContourStarted);
    EXPECT_EQ(dialogs, 0);
    press(9, 9, Qt::RightButton); // ends the contour wherever it is pressed
    EXPECT_FALSE(map->ContourStarted);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(info, QStringLiteral("Set contour height"));
    EXPECT_FALSE(nullEnabled);
    EXPECT_GT(redWhileShown, 0); // the rubber line is shown while the height is asked for
    EXPECT_EQ(redPixels(map.get()), 0);
    // Density 3: the third and sixth cell of the row.
    for (int c = 0; c <= 6; ++c)
        EXPECT_EQ(h(c, 3), c == 2 || c == 5 ? 500.0 : 10.0 * c + 3) << c;
    EXPECT_EQ(map->Tools.UndoList().size(), 2u);
    EXPECT_EQ(map->Buffer.pixel(pixelOf(5, 3)), GreenRampColor(500, 0, 500));
    map->UndoLast();
    EXPECT_TRUE(original(2, 3));
    EXPECT_TRUE(original(5, 3));
}

TEST_F(MapToolsTest, DraggedContourAndCancel)
{
    map->SetMode(ModeContour, nullptr);
    map->AutoTraceDensity = 1;
    sendMouse(map.get(), QEvent::MouseButtonPress, pixelOf(1, 4));
    sendMouse(map.get(), QEvent::MouseMove, pixelOf(2, 5), Qt::LeftButton);
    sendMouse(map.get(), QEvent::MouseMove, pixelOf(4, 5), Qt::LeftButton);
    sendMouse(map.get(), QEvent::MouseButtonRelease, pixelOf(4, 5));
    sendMouse(map.get(), QEvent::MouseMove, pixelOf(9, 9)); // button up: no point
    EXPECT_EQ(map->ContourPoints, (std::vector<TCellPoint>{{1, 4}, {2, 5}, {4, 5}}));
    press(0, 0, Qt::RightButton);
    EXPECT_EQ(h(1, 4), 500.0);
    EXPECT_EQ(h(3, 5), 500.0);
    EXPECT_EQ(map->Tools.UndoList().size(), 4u);

    // Cancel: the grid stays, the undo of the last edit stays, the line is erased.
    answer = false;
    press(10, 10);
    press(12, 10);
    press(0, 0, Qt::RightButton);
    EXPECT_GT(redWhileShown, 0);
    EXPECT_EQ(redPixels(map.get()), 0);
    EXPECT_TRUE(original(11, 10));
    EXPECT_EQ(map->Tools.UndoList().size(), 4u);
    map->UndoLast();
    EXPECT_TRUE(original(1, 4));
    EXPECT_TRUE(original(4, 5));
}

TEST_F(MapToolsTest, SwitchingToolsFinishesTheContourAndSkipsOnePress)
{
    map->SetMode(ModeContour, nullptr);
    map->AutoTraceDensity = 1;
    press(3, 7);
    press(5, 7);
    map->SetMode(ModeSpotHeight, nullptr);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(h(4, 7), 500.0);
    map->SetMode(ModeContour, nullptr);
    EXPECT_EQ(dialogs, 1);
    press(8, 8); // ignored once
    EXPECT_FALSE(map->ContourStarted);
    press(8, 8);
    EXPECT_TRUE(map->ContourStarted);
    // A press past the buffer's edge adds nothing.
    sendMouse(map.get(), QEvent::MouseButtonPress, QPoint(map->Buffer.width(), 2));
    EXPECT_EQ(map->ContourPoints.size(), 1u);
}

TEST_F(MapToolsTest, TraceFollowsTheBackgroundColour)
{
    // A background at the buffer's size with a blue line along row 6 from column 2 to 20.
    QImage picture(map->Buffer.size(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        p.setPen(QColor(20, 30, 200));
        p.drawLine(pixelOf(2, 6), pixelOf(20, 6));
        p.setPen(QColor(200, 30, 20));
        p.drawLine(pixelOf(2, 12), pixelOf(20, 12)); // another colour, not followed
    }
    map->Background = picture;
    map->SetMode(ModeContourTrace, nullptr);
    map->AutoTraceDensity = 3;
    // A white pixel: nothing.
    press(10, 9);
    EXPECT_EQ(dialogs, 0);
    press(2, 6);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(info, QStringLiteral("Set contour height"));
    // Columns 2 .. 20 in order: every third one, starting at the third.
    for (int c = 0; c < 30; ++c)
        EXPECT_EQ(h(c, 6) == 500.0, c >= 2 && c <= 20 && (c - 2) % 3 == 2) << c;
    for (int c = 0; c < 30; ++c)
        EXPECT_TRUE(original(c, 12)) << c;
    EXPECT_EQ(map->Tools.UndoList().size(), 6u);
    map->UndoLast();
    for (int c = 0; c < 30; ++c)
        EXPECT_TRUE(original(c, 6)) << c;
}

TEST_F(MapToolsTest, InterpolationDialogDefaultsAndMethods)
{
    CreateHeightGridDialogs();
    TInterpolateDlg& dlg = *InterpolateDlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Interpolation Parameters"));
    EXPECT_TRUE(dlg.NearestRadio->isChecked());
    EXPECT_TRUE(dlg.SpeedCheck->isChecked() && dlg.GradientCheck->isChecked());
    EXPECT_FALSE(dlg.ExtrapolateCheck->isChecked());
    EXPECT_EQ(dlg.Taughtness1Spin->value(), 1);
    EXPECT_EQ(dlg.Taughtness2Spin->value(), 8);
    EXPECT_EQ(dlg.MinHeightSpin->value(), 0);
    EXPECT_EQ(dlg.MinHeightSpin->minimum(), -1000);
    EXPECT_EQ(dlg.MinHeightSpin->maximum(), 10000);
    EXPECT_TRUE(dlg.TrendCheck->isChecked() && dlg.SmoothingCheck->isChecked());
    EXPECT_FALSE(dlg.TrendCheck->isEnabled());
    EXPECT_TRUE(dlg.Taughtness2Spin->isEnabled());
    dlg.TrendRadio->setChecked(true);
    EXPECT_TRUE(dlg.TrendCheck->isEnabled() && dlg.SmoothingCheck->isEnabled());
    EXPECT_FALSE(dlg.GradientCheck->isEnabled() || dlg.Taughtness1Spin->isEnabled() || dlg.Taughtness2Label->isEnabled());
    dlg.NearestRadio->setChecked(true);
    EXPECT_FALSE(dlg.SmoothingCheck->isEnabled());
}

// The interpolation tool, dragged over cells, with the dialog set by `choose`.
class InterpolateToolTest : public MapToolsTest {
protected:
    void SetUp() override
    {
        MapToolsTest::SetUp();
        map->SetMode(ModeInterpolate, nullptr);
        map->ExecInterpolate = [this](TInterpolateDlg& dlg) {
            dlg.NearestRadio->setChecked(true);
            dlg.ExtrapolateCheck->setChecked(false);
            if (choose)
                choose(dlg);
            return true;
        };
    }
    void drag(int c1, int r1, int c2, int r2)
    {
        sendMouse(map.get(), QEvent::MouseButtonPress, pixelOf(c1, r1));
        sendMouse(map.get(), QEvent::MouseMove, pixelOf(c2, r2), Qt::LeftButton);
        sendMouse(map.get(), QEvent::MouseButtonRelease, pixelOf(c2, r2));
    }
    std::function<void(TInterpolateDlg&)> choose;
};

int libraryCalls = 0;
void countInit()
{
    ++libraryCalls;
}

TEST_F(InterpolateToolTest, OneCellGivesE0016WithoutTheLibrary)
{
    libraryCalls = 0;
    map->Gridding.InitGrid = countInit;
    drag(4, 4, 4, 4);
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{"E0016 Interpolation area too small"}));
    EXPECT_EQ(libraryCalls, 0);
}

TEST_F(InterpolateToolTest, GriddingFillsTheNullCellsOfTheArea)
{
    for (int c = 5; c <= 15; ++c)
        for (int r = 5; r <= 15; ++r)
            if (!(c % 5 == 0 && r % 5 == 0))
                h(c, r) = NullHeight;
    // An edit before: interpolation cannot be undone, so its undo goes.
    map->Tools.SpotHeight(0, 0, HeightActionSet, 3, 0);
    std::vector<QString> activities;
    sink.onPump = [&] {
        for (QWidget* w : QApplication::allWidgets())
            if (auto* dlg = qobject_cast<TLongProgressDlg*>(w))
                if (activities.empty() || activities.back() != dlg->ActivityLabel->text())
                    activities.push_back(dlg->ActivityLabel->text());
    };
    drag(15, 15, 5, 5);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(map->Tools.UndoList().empty());
    EXPECT_EQ(map->InterpolationArea.Left, 5);
    EXPECT_EQ(map->InterpolationArea.Bottom, 15);
    for (int c = 5; c <= 15; ++c)
        for (int r = 5; r <= 15; ++r) {
            EXPECT_GE(h(c, r), 55.0) << c << "," << r;
            EXPECT_LE(h(c, r), 165.0) << c << "," << r;
        }
    EXPECT_TRUE(original(10, 10));
    EXPECT_EQ(activities.front(), QStringLiteral("Generating parameters"));
    EXPECT_EQ(activities.back(), QStringLiteral("Applying results"));
    // The progress dialog is gone after the run.
    for (QWidget* w : QApplication::allWidgets())
        EXPECT_EQ(qobject_cast<TLongProgressDlg*>(w), nullptr);
}

void countAndInit()
{
    ++libraryCalls;
    InitGrid();
}

TEST_F(InterpolateToolTest, NoSecondRunWhileOneIsGoing)
{
    h(7, 7) = NullHeight;
    h(20, 20) = NullHeight;
    libraryCalls = 0;
    map->Gridding.InitGrid = countAndInit;
    bool nested = false;
    sink.onPump = [&] {
        if (!nested) {
            nested = true;
            map->InterpolateArea(pixelOf(18, 18), pixelOf(22, 22));
        }
    };
    drag(5, 5, 9, 9);
    EXPECT_TRUE(nested);
    EXPECT_EQ(libraryCalls, 1);
    EXPECT_NE(h(7, 7), NullHeight); // the first run finished normally
    EXPECT_EQ(h(20, 20), NullHeight);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(InterpolateToolTest, CancelInTheProgressDialogKeepsTheGrid)
{
    h(7, 7) = NullHeight;
    sink.onPump = [] {
        for (QWidget* w : QApplication::allWidgets())
            if (auto* dlg = qobject_cast<TLongProgressDlg*>(w))
                dlg->CancelButton->click();
    };
    drag(5, 5, 9, 9);
    EXPECT_EQ(h(7, 7), NullHeight);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(InterpolateToolTest, LibraryErrorIsShown)
{
    // No known cell in the area: our library refuses with its own text.
    for (int c = 0; c <= 4; ++c)
        for (int r = 0; r <= 4; ++r)
            h(c, r) = NullHeight;
    drag(0, 0, 4, 4);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "No data points");
    EXPECT_EQ(h(2, 2), NullHeight);
}

TEST_F(InterpolateToolTest, TrendFillAndSmoothingOverTheWholeGrid)
{
    choose = [](TInterpolateDlg& dlg) { dlg.TrendRadio->setChecked(true); };
    for (int c = 0; c < 30; ++c)
        for (int r = 0; r < 25; ++r)
            if ((c + r) % 3)
                h(c, r) = NullHeight;
    drag(1, 1, 2, 2);
    EXPECT_TRUE(prompt.shown.empty());
    double lo = 1e9, hi = -1e9;
    for (int c = 0; c < 30; ++c)
        for (int r = 0; r < 25; ++r) {
            ASSERT_NE(h(c, r), NullHeight) << c << "," << r;
            EXPECT_EQ(h(c, r), std::nearbyint(h(c, r)));
            lo = std::min(lo, h(c, r));
            hi = std::max(hi, h(c, r));
        }
    EXPECT_EQ(project->Grid.MinHeight, lo);
    EXPECT_EQ(project->Grid.MaxHeight, hi);

    // Too few heights on a small grid: E0019, and no smoothing.
    ASSERT_TRUE(project->NewGrid(8, 8, 10.0, 10.0));
    map->ApplyZoom();
    map->FitToWindow();
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r)
            h(c, r) = NullHeight;
    h(3, 3) = 12.4;
    drag(1, 1, 2, 2);
    EXPECT_EQ(prompt.shown, (std::vector<std::string>{"E0019 Insuficient points for trend analysis"}));
    EXPECT_EQ(h(3, 3), 12.4); // not smoothed
}

} // namespace
