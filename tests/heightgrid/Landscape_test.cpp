#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "heightgrid/DefNet.h"
#include "heightgrid/Flood.h"
#include "heightgrid/HeightDataCommands.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/Landscape.h"
#include "heightgrid/NewMap.h"
#include "heightgrid/Placement.h"
#include "heightgrid/SetHeight.h"
#include "heightgrid/longprogress.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class TRecordingPrompt : public IPrompt {
public:
    std::vector<std::string> shown;
    std::string openName; // what the next open-file dialog answers
    std::string openFilter;
    void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.front(); }
    std::string OpenFileName(const std::string&, const std::string& filter, const std::string&) override
    {
        openFilter = filter;
        return std::exchange(openName, {});
    }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

using TRecordingSink = qxtest::TStatusLog;

void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// A landscape editor on a 30 x 25 grid at 10.0 metres, heights 10 c + r, one null cell at (5, 6).
class LandscapeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrompt(&prompt);
        SetStatusSink(&sink);
        project = new TProject;
        ASSERT_TRUE(project->NewGrid(30, 25, 10.0, 10.0));
        for (int c = 0; c < 30; ++c)
            for (int r = 0; r < 25; ++r)
                project->Grid.Cells[c][r].Height = 10.0 * c + r;
        project->Grid.Cells[5][6].Height = NullHeight;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 314;
        form = std::make_unique<TFLandscape>();
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        form->SetProject(&project);
        form->RefreshFromProject();
        map = form->Map;
    }
    void TearDown() override
    {
        form.reset();
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
    void click(int column, int row)
    {
        sendMouse(map, QEvent::MouseButtonPress, pixelOf(column, row));
        sendMouse(map, QEvent::MouseButtonRelease, pixelOf(column, row));
    }
    double h(int c, int r) const { return project->Grid.Cells[c][r].Height; }

    TRecordingPrompt prompt;
    TRecordingSink sink;
    TProject* project = nullptr;
    std::unique_ptr<TFLandscape> form;
    TDefineNet* map = nullptr;
};

TEST_F(LandscapeTest, SpotHeightThroughTheDialogAndUndo)
{
    QString info;
    bool heightEnabled = false;
    map->ExecSetHeight = [&](TSetHeightDlg& dlg) {
        info = dlg.InfoLabel->text();
        heightEnabled = dlg.HeightEdit->isEnabled();
        dlg.HeightEdit->setText(QStringLiteral("123.5"));
        return true;
    };
    EXPECT_FALSE(form->UndoMenuItem->isEnabled());
    click(3, 0);
    EXPECT_EQ(info, QStringLiteral("Grid Point 3,24")); // rows counted from the bottom edge
    EXPECT_TRUE(heightEnabled);
    EXPECT_EQ(h(3, 0), 123.5);
    EXPECT_TRUE(form->UndoMenuItem->isEnabled());
    EXPECT_EQ(map->Buffer.pixel(pixelOf(3, 0)), GreenRampColor(123.5, 0, 314));

    form->UndoMenuItem->trigger();
    EXPECT_EQ(h(3, 0), 30.0);
    EXPECT_FALSE(form->UndoMenuItem->isEnabled());

    // Cancel changes nothing and keeps the undo list.
    map->ExecSetHeight = [](TSetHeightDlg& dlg) {
        dlg.HeightEdit->setText(QStringLiteral("7"));
        return false;
    };
    click(3, 0);
    EXPECT_EQ(h(3, 0), 30.0);
    EXPECT_EQ(map->Tools.UndoList().size(), 1u);
}

TEST_F(LandscapeTest, SpotDialogOfANullCellStartsAtNull)
{
    bool nullChecked = false, heightEnabled = true;
    map->ExecSetHeight = [&](TSetHeightDlg& dlg) {
        nullChecked = dlg.NullRadio->isChecked();
        heightEnabled = dlg.HeightEdit->isEnabled();
        // "Add Height" from the shown 0 gives the difference.
        dlg.AddRadio->setChecked(true);
        dlg.RadioClick();
        dlg.ActionHeight->setText(QStringLiteral("5"));
        return true;
    };
    click(5, 6);
    EXPECT_TRUE(nullChecked);
    EXPECT_FALSE(heightEnabled);
    EXPECT_EQ(h(5, 6), 5.0);
}

TEST_F(LandscapeTest, LevelAreaByDraggingAndUndo)
{
    map->SetMode(ModeLevelArea, nullptr);
    map->ExecSetHeight = [](TSetHeightDlg& dlg) {
        dlg.HeightRadio->setChecked(true);
        dlg.RadioClick();
        dlg.HeightEdit->setText(QStringLiteral("77"));
        return true;
    };
    // Dragged from the lower right to the upper left corner of a 3 x 2 block.
    sendMouse(map, QEvent::MouseButtonPress, pixelOf(4, 3));
    sendMouse(map, QEvent::MouseMove, pixelOf(3, 2), Qt::LeftButton);
    EXPECT_TRUE(map->RectangleActive);
    sendMouse(map, QEvent::MouseButtonRelease, pixelOf(2, 2));
    EXPECT_FALSE(map->RectangleActive);
    for (int c = 2; c <= 4; ++c)
        for (int r = 2; r <= 3; ++r)
            EXPECT_EQ(h(c, r), 77.0) << c << "," << r;
    EXPECT_EQ(h(1, 2), 12.0);
    EXPECT_EQ(h(2, 4), 24.0);
    form->UndoMenuItemClick();
    for (int c = 2; c <= 4; ++c)
        for (int r = 2; r <= 3; ++r)
            EXPECT_EQ(h(c, r), 10.0 * c + r);
}

TEST_F(LandscapeTest, FloodThroughTheDialog)
{
    for (int c = 0; c < 30; ++c)
        for (int r = 0; r < 25; ++r)
            project->Grid.Cells[c][r].Height = c < 10 ? 0.0 : 50.0;
    map->SetMode(ModeFlood, nullptr);
    map->ExecFlood = [](TFloodDlg& dlg) {
        dlg.FloodEQRadio->setChecked(true);
        return true;
    };
    click(2, 2);
    EXPECT_EQ(project->Grid.Cells[9][24].Flooded, 1);
    EXPECT_EQ(project->Grid.Cells[10][0].Flooded, 0);
    EXPECT_EQ(map->Buffer.pixel(pixelOf(4, 4)), qRgb(0, 0, 255));
    EXPECT_TRUE(form->UndoMenuItem->isEnabled());
}

TEST_F(LandscapeTest, CursorFields)
{
    sendMouse(map, QEvent::MouseMove, pixelOf(5, 6), Qt::NoButton);
    EXPECT_EQ(form->PointInfoEdit->text(), QStringLiteral("5:6:Null"));
    sendMouse(map, QEvent::MouseMove, pixelOf(29, 24), Qt::NoButton);
    EXPECT_EQ(form->PointInfoEdit->text(), QStringLiteral("29:24:  314"));
    // The last pixel of the map lies on the last cell.
    sendMouse(map, QEvent::MouseMove, QPoint(map->width() - 1, 0), Qt::NoButton);
    EXPECT_EQ(form->PointInfoEdit->text(), QStringLiteral("29:0:  290"));

    const struct { int column, row; double height; const char* text; } cases[] = {
        {0, 0, NullHeight, "0:0:Null"}, {12, 7, 100.0, "12:7:  100"}, {1, 2, -999.6, "1:2:-1000"},
        {3, 4, 123456.0, "3:4:123456"}, {3, 4, 0.5, "3:4:    0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CursorInfoText(c.column, c.row, c.height), c.text);
    TGridBlock grid;
    grid.LeftGeo = 1000;
    grid.RightGeo = 2000;
    grid.TopGeo = 500;
    grid.BottomGeo = 0;
    EXPECT_EQ(GeoInfoText(50, 25, 100, 100, grid), "1500:375");
    EXPECT_EQ(GeoInfoText(1, 0, 3, 100, grid), "1333.3333:500");
}

// The cursor message reaches both map editors; each shows where the cursor is on the map it moves
// over, whatever the zoom of its own map.
TEST_F(LandscapeTest, GeorefFollowsTheMapUnderTheCursorAtItsZoom)
{
    project->Grid.LeftGeo = 1000;
    project->Grid.RightGeo = 1300;
    project->Grid.TopGeo = 250;
    project->Grid.BottomGeo = 0;
    TFPlacement placement;
    placement.setAttribute(Qt::WA_DeleteOnClose, false);
    placement.SetProject(&project);
    placement.RefreshFromProject();
    TDefineNet* zoomed = placement.Map;
    for (int i = 0; i < 3; ++i)
        placement.ZoomInToolButton->click();
    ASSERT_GT(zoomed->width(), 2 * map->width());
    const auto geo = [](const QLineEdit* edit) {
        const QStringList parts = edit->text().split(':');
        return parts.size() == 2 ? std::pair<double, double>(parts[0].toDouble(), parts[1].toDouble())
                                 : std::pair<double, double>(-1e9, -1e9);
    };
    const struct { int column, row; } cells[] = {{0, 0}, {15, 12}, {29, 24}, {29, 0}, {3, 20}};
    for (const auto& c : cells) {
        int x = 0, y = 0;
        zoomed->CellToScreen(c.column, c.row, x, y);
        sendMouse(zoomed, QEvent::MouseMove, QPoint(x, y), Qt::NoButton);
        const auto there = geo(placement.GeoInfoEdit), here = geo(form->GeoInfoEdit);
        EXPECT_EQ(form->GeoInfoEdit->text(), placement.GeoInfoEdit->text()) << c.column << "," << c.row;
        EXPECT_EQ(form->PointInfoEdit->text().section(':', 0, 1), QString("%1:%2").arg(c.column).arg(c.row));
        // On the map, near the cell: within one spacing (10 m) of the cell's own position.
        EXPECT_NEAR(here.first, 1000 + 300.0 * c.column / 30, 10.0) << c.column;
        EXPECT_NEAR(here.second, 250 - 250.0 * c.row / 25, 10.0) << c.row;
        EXPECT_EQ(there, here);
        // The same cell on the landscape editor's own map reads alike.
        sendMouse(map, QEvent::MouseMove, pixelOf(c.column, c.row), Qt::NoButton);
        EXPECT_NEAR(geo(form->GeoInfoEdit).first, here.first, 10.0) << c.column;
        EXPECT_NEAR(geo(placement.GeoInfoEdit).second, here.second, 10.0) << c.row;
    }
}

TEST_F(LandscapeTest, LabelsSpinsAndVerticalScale)
{
    EXPECT_EQ(form->GridSizeLabel->text(), QStringLiteral("30 x 25"));
    EXPECT_EQ(form->GridSpacingLabel->text(), QStringLiteral("10 x 10M"));
    EXPECT_EQ(form->MapSizeLabel->text(), QStringLiteral("0.3km x 0.2km"));
    EXPECT_EQ(form->MaxHeightSpin->value(), 314);
    form->ScalingSpinEdit->setValue(150);
    EXPECT_DOUBLE_EQ(project->Grid.VerticalScale, 1.5);
    form->MinHeightSpin->setValue(-200);
    EXPECT_EQ(project->Grid.MinHeight, -200.0);
    form->AutoToleranceBar->setValue(70);
    form->DensityEdit->setValue(9);
    EXPECT_EQ(map->AutoTraceTolerance, 70);
    EXPECT_EQ(map->AutoTraceDensity, 9);
}

TEST_F(LandscapeTest, ZoomStopsAtTheBufferBounds)
{
    for (int i = 0; i < 40 && form->ZoomInToolButton->isEnabled(); ++i)
        form->ZoomInToolButtonClick();
    EXPECT_FALSE(form->ZoomInToolButton->isEnabled());
    EXPECT_LE(int64_t(map->Buffer.width()) * map->Buffer.height(), kMaxMapBufferPixels);
    EXPECT_GT(map->ZoomLevel, 4);
    int x = 0, y = 0;
    map->CellToScreen(29, 24, x, y);
    EXPECT_LT(x, map->Buffer.width());
    EXPECT_LT(y, map->Buffer.height());
    EXPECT_GT(x, map->Buffer.width() - map->Scale);
    for (int i = 0; i < 80 && form->ZoomOutToolButton->isEnabled(); ++i)
        form->ZoomOutToolButtonClick();
    EXPECT_FALSE(form->ZoomOutToolButton->isEnabled());
    EXPECT_GE(map->Buffer.width(), 1);
    EXPECT_GE(map->Buffer.height(), 1);
    EXPECT_EQ(map->size(), map->Buffer.size());
}

TEST_F(LandscapeTest, DrawingProgressReachesTheStatusBar)
{
    sink.progress.clear();
    sink.operations.clear();
    form->RedrawToolButtonClick();
    ASSERT_GE(sink.progress.size(), 30u);
    EXPECT_EQ(sink.progress.front(), 0);
    EXPECT_EQ(sink.progress[sink.progress.size() - 2], 100);
    EXPECT_EQ(sink.progress.back(), 0);
    EXPECT_EQ(sink.operations[1], "Drawing height grid");
    EXPECT_EQ(sink.operations.back(), "");
}

TEST_F(LandscapeTest, GridReplacedWhileADrawingPumpsMessages)
{
    // An edit to undo, then a drawing during which another project takes the variable's place.
    map->Tools.SpotHeight(1, 1, HeightActionSet, 5, 0);
    ASSERT_TRUE(form->UndoMenuItem->isEnabled());
    sink.onPump = [&] {
        sink.onPump = nullptr;
        auto* fresh = new TProject;
        ASSERT_TRUE(fresh->NewGrid(8, 6, 1.0, 1.0));
        for (int c = 0; c < 8; ++c)
            for (int r = 0; r < 6; ++r)
                fresh->Grid.Cells[c][r].Height = 1.0;
        // Freed at once, as the main window's new-project command does.
        delete project;
        project = fresh;
        // A nested redraw meanwhile waits for the running one.
        map->RedrawArea(true);
    };
    map->RedrawArea(true);
    // The drawing stopped, the buffer was remade for the new grid and drawn; undo no longer applies.
    EXPECT_EQ(map->Buffer.size(), QSize(8, 6));
    EXPECT_EQ(map->Buffer.pixel(pixelOf(3, 3)), GreenRampColor(1.0, 0, 0));
    EXPECT_TRUE(map->Tools.UndoList().empty());
    EXPECT_FALSE(form->UndoMenuItem->isEnabled());
    EXPECT_FALSE(map->Drawing());
}

TEST_F(LandscapeTest, NewGridWithDefaultHeightDropsTheUndo)
{
    map->Tools.SpotHeight(1, 1, HeightActionSet, 5, 0);
    form->ExecMapParameters = [](QDialog& d) {
        auto& dlg = static_cast<TMapParametersDialog&>(d);
        dlg.XMaskEdit->SetValue(40);
        dlg.YMaskEdit->SetValue(21);
        dlg.XSpacingMaskEdit->setText(QStringLiteral("25")); // copied to y
        dlg.HeightRadio->setChecked(true);
        dlg.HeightRadioClick();
        dlg.DefaultHeightFloatEdit->SetValue(200);
        return true;
    };
    form->NewGridMenuItemClick();
    const TGridBlock& g = project->Grid;
    ASSERT_EQ(g.SizeX, 40);
    ASSERT_EQ(g.SizeY, 21);
    EXPECT_EQ(g.SpacingY, 25.0);
    EXPECT_EQ(g.Cells[39][20].Height, 200.0);
    EXPECT_EQ(g.MinHeight, 200.0);
    EXPECT_EQ(g.MaxHeight, 1200.0);
    EXPECT_EQ(g.RightGeo, 39 * 25.0);
    EXPECT_EQ(g.BottomGeo, 20 * 25.0);
    EXPECT_FALSE(form->UndoMenuItem->isEnabled());
    EXPECT_TRUE(map->Tools.UndoList().empty());
    EXPECT_EQ(form->GridSizeLabel->text(), QStringLiteral("40 x 21"));
    EXPECT_EQ(map->Buffer.size(), QSize(40, 21));
}

TEST_F(LandscapeTest, GeoreferencingWritesOnlyTheEdges)
{
    form->ExecMapParameters = [](QDialog& d) {
        auto& dlg = static_cast<TMapParametersDialog&>(d);
        EXPECT_FALSE(dlg.XMaskEdit->isEnabled());
        EXPECT_TRUE(dlg.LeftGeoEdit->isEnabled());
        dlg.LeftGeoEdit->SetValue(-5.5);
        dlg.BottomGeoEdit->SetValue(123.25);
        return true;
    };
    form->GeoreferencingMenuItemClick();
    EXPECT_EQ(project->Grid.LeftGeo, -5.5);
    EXPECT_EQ(project->Grid.BottomGeo, 123.25);
    EXPECT_EQ(project->Grid.RightGeo, 290.0);
    EXPECT_EQ(project->Grid.SizeX, 30);
    EXPECT_TRUE(MapParametersDialog->XMaskEdit->isEnabled());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(LandscapeTest, ImportAndExportDispatchByFilterIndex)
{
    EXPECT_FALSE(form->ImportMenuItem->isEnabled());
    std::vector<std::pair<int, std::string>> calls;
    SetHeightDataHandlers(
        [&](TFLandscape& w, int index, const std::string& file) {
            calls.emplace_back(index, file);
            w.Project().NewGrid(21, 21, 5.0, 5.0);
            return true;
        },
        [&](TFLandscape&, int index, const std::string& file) {
            calls.emplace_back(-index, file);
            return true;
        });
    EXPECT_TRUE(form->ImportMenuItem->isEnabled());
    form->ChooseDataFile = [](const QString&, const QStringList& filters, bool save, QString& file, int& index) {
        file = save ? QStringLiteral("out.ter") : QStringLiteral("in.dem");
        index = int(filters.indexOf(save ? QStringLiteral("Terragen Terrain (*.ter)") : QStringLiteral("Vistapro DEM (*.dem)"))) + 1;
        return true;
    };
    map->Tools.SpotHeight(1, 1, HeightActionSet, 5, 0);
    project->ShadowsOutOfDate = 0;
    form->ImportMenuItemClick();
    form->ExportMenuItemClick();
    SetHeightDataHandlers({}, {});
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::pair<int, std::string>{8, "in.dem"}));
    EXPECT_EQ(calls[1], (std::pair<int, std::string>{-7, "out.ter"}));
    EXPECT_EQ(project->ShadowsOutOfDate, 1);
    EXPECT_FALSE(form->UndoMenuItem->isEnabled());
    EXPECT_EQ(map->Buffer.size(), QSize(21, 21));
    EXPECT_FALSE(form->ImportMenuItem->isEnabled());
}

TEST_F(LandscapeTest, InstalledCommandsImportTextIntoTheGridAndExportIt)
{
    InstallHeightDataCommands();
    EXPECT_TRUE(form->ImportMenuItem->isEnabled());
    EXPECT_TRUE(form->ExportMenuItem->isEnabled());
    qxtest::TempDir dir;
    const std::string in = dir.file("heights.txt");
    const std::string out = dir.file("grid.txt");
    qxtest::WriteFileText(in, "7 8 9");
    form->ChooseDataFile = [&](const QString&, const QStringList&, bool save, QString& file, int& index) {
        file = QString::fromStdString(save ? out : in);
        index = 1; // the plain text formats
        return true;
    };
    form->ImportMenuItemClick();
    form->ExportMenuItemClick();
    SetHeightDataHandlers({}, {});
    EXPECT_EQ(h(0, 0), 7.0);
    EXPECT_EQ(h(1, 0), 8.0);
    EXPECT_EQ(h(2, 0), 9.0);
    EXPECT_TRUE(prompt.shown.empty()) << prompt.shown.front();
    const std::string written = qxtest::ReadFileText(out);
    EXPECT_NE(written.find('7'), std::string::npos);
    EXPECT_FALSE(written.empty());
}

TEST_F(LandscapeTest, RgbCheckBoxStoresTheSettingAndRedraws)
{
    form->RGBCheckBox->click();
    EXPECT_TRUE(TWinRegistry(QuarlexBaseKey).ReadBool("LandscapeDisplay", "RGB", false));
    EXPECT_EQ(map->Buffer.pixel(pixelOf(29, 24)), RgbRampColor(314, 0, 314));
    form->RGBCheckBox->click();
    EXPECT_FALSE(TWinRegistry(QuarlexBaseKey).ReadBool("LandscapeDisplay", "RGB", true));
}

TEST_F(LandscapeTest, BackgroundPictureShowsUnderNullCells)
{
    qxtest::TempDir dir;
    QImage picture(60, 50, QImage::Format_RGB32);
    picture.fill(qRgb(200, 30, 40));
    const std::string file = dir.file("Back.bmp");
    ASSERT_TRUE(picture.save(QString::fromStdString(file)));
    for (int i = 0; i < 3; ++i) // 5 pixels a cell: squares with gaps between them
        form->ZoomInToolButtonClick();
    prompt.openName = file;
    form->BackgroundButtonClick();
    EXPECT_EQ(prompt.openFilter, "Bitmaps (*.bmp)");
    EXPECT_EQ(map->Background.size(), QSize(60, 50));
    EXPECT_EQ(map->Buffer.pixel(pixelOf(5, 6)), qRgb(200, 30, 40)); // the null cell
    EXPECT_EQ(map->Buffer.pixel(pixelOf(6, 6)), GreenRampColor(66, 0, 314));
    // A file that is no picture leaves the background as it was and says so.
    qxtest::WriteFileText(dir.file("bad.bmp"), "not a picture");
    prompt.openName = dir.file("bad.bmp");
    form->BackgroundButtonClick();
    EXPECT_EQ(map->Background.size(), QSize(60, 50));
    EXPECT_EQ(prompt.shown.size(), 1u);
}

// ---- Dialogs ------------------------------------------------------------------------------------------

class MapParametersTest : public ::testing::Test {
protected:
    void SetUp() override { SetPrompt(&prompt); }
    void TearDown() override { SetPrompt(nullptr); }
    TRecordingPrompt prompt;
    TMapParametersDialog dlg;
};

TEST_F(MapParametersTest, EqualSpacingPresetsAndMapSize)
{
    dlg.XSpacingMaskEdit->selectAll();
    QTest::keyClicks(dlg.XSpacingMaskEdit, "25");
    EXPECT_EQ(dlg.YSpacingMaskEdit->Value(), 25.0);
    dlg.EqualSpacingCheck->setChecked(false);
    dlg.YSpacingMaskEdit->setText(QStringLiteral("10"));
    EXPECT_EQ(dlg.XSpacingMaskEdit->Value(), 25.0);

    dlg.DefaultCombo->setCurrentIndex(0);
    dlg.SetDefaultButton->click();
    EXPECT_EQ(dlg.Columns(), 258);
    EXPECT_EQ(dlg.MapSizeLabel->text(), QStringLiteral("MapSize: 7.7km x 7.7km"));
    EXPECT_EQ(dlg.RightGeoEdit->Value(), 7710.0);
    dlg.DefaultCombo->setCurrentIndex(2);
    dlg.SetDefaultButton->click();
    EXPECT_EQ(dlg.Rows(), 1201);
    EXPECT_EQ(dlg.XSpacingMaskEdit->Value(), 100.0);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MapParametersTest, TooManyPointsIsShownAndRefusesOK)
{
    dlg.XMaskEdit->SetValue(2001);
    dlg.YMaskEdit->SetValue(2001);
    EXPECT_TRUE(prompt.shown.empty());
    dlg.YMaskEdit->SetValue(2002);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "Map has too many grid points");
    dlg.show();
    dlg.OKBtn()->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.YMaskEdit->SetValue(2001);
    dlg.OKBtn()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(MapParametersTest, OverrideAndDefaultHeightEnabling)
{
    dlg.XMaskEdit->SetValue(101);
    dlg.YMaskEdit->SetValue(51);
    dlg.OverrideGeoCheck->click();
    EXPECT_TRUE(dlg.LeftGeoEdit->isEnabled());
    dlg.RightGeoEdit->SetValue(5);
    dlg.XMaskEdit->SetValue(201);
    EXPECT_EQ(dlg.RightGeoEdit->Value(), 5.0); // kept while overridden
    dlg.OverrideGeoCheck->click();
    EXPECT_FALSE(dlg.LeftGeoEdit->isEnabled());
    EXPECT_EQ(dlg.RightGeoEdit->Value(), 200 * dlg.XSpacingMaskEdit->Value());
    EXPECT_EQ(dlg.BottomGeoEdit->Value(), 50 * dlg.YSpacingMaskEdit->Value());
    EXPECT_FALSE(dlg.DefaultHeightFloatEdit->isEnabled());
    dlg.HeightRadio->click();
    EXPECT_TRUE(dlg.DefaultHeightFloatEdit->isEnabled());
    dlg.NullRadio->click();
    EXPECT_FALSE(dlg.DefaultHeightFloatEdit->isEnabled());
}

TEST(HeightDialogs, SetHeightActionsAndEnabling)
{
    TSetHeightDlg dlg;
    const struct { QRadioButton* TSetHeightDlg::*radio; uint8_t action; bool height, difference; } cases[] = {
        {&TSetHeightDlg::HeightRadio, 0, true, false},
        {&TSetHeightDlg::NullRadio, 3, false, false},
        {&TSetHeightDlg::AddRadio, 1, true, true},
        {&TSetHeightDlg::SubtractRadio, 2, true, true},
    };
    for (const auto& c : cases) {
        (dlg.*c.radio)->click();
        EXPECT_EQ(dlg.Action(), c.action);
        EXPECT_EQ(dlg.HeightEdit->isEnabled(), c.height);
        EXPECT_EQ(dlg.ActionHeight->isEnabled(), c.difference);
    }
    dlg.PrepareEdits();
    EXPECT_EQ(dlg.HeightEdit->Digits(), 3);
    EXPECT_EQ(dlg.ActionHeight->maxLength(), 12);
}

TEST(HeightDialogs, LongProgressCancelClearsContinue)
{
    TLongProgressDlg dlg;
    EXPECT_EQ(dlg.Continue, 1);
    EXPECT_EQ(GlobeAnimationStrip(30, 30).width(), 900);
    dlg.CancelButton->click();
    EXPECT_EQ(dlg.Continue, 0);
}

} // namespace
