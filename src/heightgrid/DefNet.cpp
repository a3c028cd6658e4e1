#include "heightgrid/DefNet.h"

#include "controls/FloatEdit.h"
#include "heightgrid/Flood.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/ModelPlacementDlg.h"
#include "heightgrid/InterpolateDlg.h"
#include "heightgrid/SetHeight.h"
#include "heightgrid/longprogress.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

class TBusyCursor {
public:
    TBusyCursor() { StatusSink().SetBusyCursor(true); }
    ~TBusyCursor() { StatusSink().SetBusyCursor(false); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

int32_t columnsOf(const TProject* p) { return p ? std::min(p->Grid.SizeX, p->Grid.Cells.Columns()) : 0; }
int32_t rowsOf(const TProject* p) { return p ? std::min(p->Grid.SizeY, p->Grid.Cells.Rows()) : 0; }

// What the edit can show: values outside its range would raise its error message.
double forEdit(const TFloatEdit& edit, double v)
{
    if (std::isnan(v))
        return 0.0;
    return std::clamp(v, edit.Min(), edit.Max());
}

// The progress dialog of the gridding run going on, read by the library's continue callback.
QPointer<TLongProgressDlg> activeProgress;

int32_t ContinueCallback()
{
    if (!activeProgress || activeProgress->Continue == 0)
        return 0;
    StatusSink().ProcessMessages();
    return activeProgress && activeProgress->Continue != 0 ? 1 : 0;
}

} // namespace

TDefineNet::TDefineNet(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Buffer = QImage(1, 1, QImage::Format_RGB32);
    Buffer.fill(Qt::white);
    Tools.SetNotify([this](uint32_t message) {
        if (message == WM_GRIDCHANGED)
            ProjectChanged(); // every height tool's edit ends here
        BroadcastMessage(TAppMessage{message, 0, 0, 0});
    });
    ExecSetHeight = [](TSetHeightDlg& dlg) { return dlg.exec() == QDialog::Accepted; };
    ExecFlood = [](TFloodDlg& dlg) { return dlg.exec() == QDialog::Accepted; };
    ExecModelPlacement = [](TModelPlacementDlg& dlg) { return dlg.exec() == QDialog::Accepted; };
    ExecInterpolate = [](TInterpolateDlg& dlg) { return dlg.exec() == QDialog::Accepted; };
    SetMode(ModeSpotHeight, nullptr);
}

namespace {
const TDefineNet* cursorSender = nullptr;
}

TDefineNet::~TDefineNet()
{
    if (cursorSender == this)
        cursorSender = nullptr;
}

const TDefineNet* TDefineNet::CursorMessageSender() { return cursorSender; }

TDefineNet::TGridKey TDefineNet::currentKey() const
{
    const TProject* p = Project();
    if (!p)
        return {};
    return {p, p->Grid.Cells.Data(), p->Grid.SizeX, p->Grid.SizeY};
}

void TDefineNet::SetProject(TProject** project)
{
    project_ = project;
    Tools.SetProject(project);
    Placement.SetProject(project);
    // Handed a project again: whatever the list recorded belongs to the one before.
    if (!Tools.UndoList().empty())
        Tools.GridReplaced();
    gridKey_ = currentKey();
}

void TDefineNet::GridReplaced()
{
    if (!Tools.UndoList().empty())
        Tools.GridReplaced();
    gridKey_ = currentKey();
}

// ---- View ------------------------------------------------------------------------------------------

bool TDefineNet::ApplyZoom()
{
    if (drawing_) {
        // Never swap the buffer under a running drawing; done when it ends.
        zoomPending_ = true;
        return true;
    }
    const TGridKey key = currentKey();
    if (!(key == gridKey_))
        GridReplaced();
    const TProject* p = Project();
    const int32_t columns = columnsOf(p), rows = rowsOf(p);
    ZoomLevel = UsableZoomLevel(ZoomLevel, columns, rows);
    QSize size(1, 1);
    if (!MapBufferSize(ZoomLevel, columns, rows, size))
        size = QSize(1, 1);
    QImage buffer(size, QImage::Format_RGB32);
    if (buffer.isNull()) {
        ShowError("E0001 Memory Allocation Error");
        buffer = QImage(1, 1, QImage::Format_RGB32);
        ZoomLevel = 0;
    }
    buffer.fill(Qt::white);
    Buffer = std::move(buffer);
    setFixedSize(Buffer.size());
    update();
    return true;
}

double TDefineNet::ZoomFactor() const { return ::ZoomFactor(ZoomLevel); }

bool TDefineNet::CanZoom(bool in) const
{
    const TProject* p = Project();
    QSize size;
    return MapBufferSize(ZoomLevel + (in ? 1 : -1), columnsOf(p), rowsOf(p), size);
}

bool TDefineNet::ZoomBy(bool in)
{
    if (!CanZoom(in))
        return false;
    ZoomLevel += in ? 1 : -1;
    return true;
}

void TDefineNet::FitToWindow()
{
    const TProject* p = Project();
    Scale = FitScale(Buffer.width(), Buffer.height(), columnsOf(p), rowsOf(p));
}

void TDefineNet::ScreenToCell(int x, int y, int32_t& column, int32_t& row) const
{
    const TProject* p = Project();
    ::ScreenToCell(x, y, Scale, columnsOf(p), rowsOf(p), column, row);
}

void TDefineNet::CellToScreen(int32_t column, int32_t row, int& x, int& y) const
{
    ::CellToScreen(column, row, Scale, x, y);
}

void TDefineNet::RedrawArea(bool whole, const TCellRect& cells)
{
    if (drawing_) {
        // Asked while a drawing pumps messages: redraw everything once it has ended.
        redrawPending_ = true;
        return;
    }
    redrawNow(whole, cells);
    // A few rounds at most: each catches up with what changed during the one before.
    for (int round = 0; round < 3 && (redrawPending_ || zoomPending_); ++round) {
        if (zoomPending_) {
            zoomPending_ = false;
            ApplyZoom();
            FitToWindow();
        }
        redrawPending_ = false;
        redrawNow(true, {});
    }
    update();
}

void TDefineNet::redrawNow(bool whole, const TCellRect& cells)
{
    TProject* p = Project();
    if (!p || Buffer.isNull())
        return;
    ++drawing_;
    {
        TBusyCursor busy;
        TMapDrawOptions options;
        options.Scale = Scale;
        options.DrawBackground = DrawBackground;
        options.DrawHeights = DrawHeights;
        options.DrawFloodMarks = DrawFloodMarks;
        options.RGB = TWinRegistry(QuarlexBaseKey).ReadBool("LandscapeDisplay", "RGB", false);
        const TGridKey key = currentKey();
        const QSize size = Buffer.size();
        const TMapDrawProgress progress = [&](int percent) {
            if (percent >= 0) {
                BroadcastMessage(TAppMessage{WM_GRIDDRAWPROGRESS, uint32_t(percent), 0, 0});
                return true;
            }
            StatusSink().ProcessMessages();
            // The grid (or the project) may have been replaced meanwhile: stop before touching it.
            if (!(currentKey() == key) || Buffer.size() != size) {
                redrawPending_ = zoomPending_ = true;
                return false;
            }
            return true;
        };
        try {
            DrawMapArea(Buffer, p->Grid, Background, options, drawState_, whole, cells, progress);
        } catch (...) {
            // A failed drawing ends silently; the finishing report still goes out.
        }
    }
    --drawing_;
    BroadcastMessage(TAppMessage{WM_GRIDDRAWPROGRESS, 0, 0, 0});
}

void TDefineNet::SetMode(uint8_t mode, QMenu* popupMenu)
{
    RectangleActive = false;
    // A region or line still being drawn when its tool is left is dropped.
    if (mode != Mode && (Mode == ModeRegion || Mode == ModeLine))
        Placement.CancelOpen();
    if (ContourStarted) {
        FinishContour();
        IgnoreNextPress = true;
    }
    // No marker of the old tool or layer stays on the map (the repaint below erases them).
    for (const TPlacementNotice& notice : Placement.DropSelection())
        BroadcastMessage(TAppMessage{WM_PLACEMENTSELECT, notice.WParam(), 0, 0});
    Mode = mode;
    BroadcastMessage(TAppMessage{WM_EDITMODECHANGED, 0, 0, 0});
    popupMenu_ = popupMenu;
    update();
}

void TDefineNet::BroadcastMessage(const TAppMessage& message)
{
    BroadcastToForms(message);
}

// ---- Tools -----------------------------------------------------------------------------------------

void TDefineNet::UndoLast()
{
    if (!Tools.UndoLast())
        return;
    ProjectChanged();
    RedrawArea(true);
}

TSetHeightDlg& TDefineNet::heightDialog(const QString& caption, bool withActions)
{
    CreateHeightGridDialogs();
    TSetHeightDlg& dlg = *SetHeightDlg;
    dlg.NullRadio->setEnabled(withActions);
    dlg.AddRadio->setEnabled(withActions);
    dlg.SubtractRadio->setEnabled(withActions);
    if (!withActions)
        dlg.HeightRadio->setChecked(true); // only a height can be set
    dlg.InfoLabel->setText(caption);
    dlg.PrepareEdits();
    return dlg;
}

void TDefineNet::SpotHeightAt(int x, int y)
{
    TProject* p = Project();
    if (!p || columnsOf(p) < 1 || rowsOf(p) < 1)
        return;
    int32_t column = 0, row = 0;
    ScreenToCell(x, y, column, row);
    const TGridCell cell = p->Grid.Cells[column][row];
    TSetHeightDlg& dlg = heightDialog(QStringLiteral("Grid Point %1,%2").arg(column).arg(p->Grid.SizeY - 1 - row), true);
    if (!(cell.Height >= MinEditHeight)) {
        dlg.NullRadio->setChecked(true);
        dlg.HeightEdit->SetValue(0.0);
    } else {
        dlg.HeightRadio->setChecked(true);
        dlg.HeightEdit->SetValue(forEdit(*dlg.HeightEdit, cell.Height));
    }
    dlg.RadioClick();
    if (!ExecSetHeight(dlg))
        return;
    // The dialog ran a message loop: act on the grid as it is now (the tools check the cell).
    const TCellRect changed = Tools.SpotHeight(column, row, dlg.Action(), dlg.HeightEdit->Value(), dlg.ActionHeight->Value());
    RedrawArea(false, changed);
}

void TDefineNet::DefaultHeightAt(int x, int y)
{
    if (columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    int32_t column = 0, row = 0;
    ScreenToCell(x, y, column, row);
    RedrawArea(false, Tools.DefaultHeight(column, row));
}

void TDefineNet::LevelAreaBetween(QPoint start, QPoint end)
{
    if (columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    TSetHeightDlg& dlg = heightDialog(QStringLiteral("Set area height"), true);
    dlg.HeightEdit->SetValue(forEdit(*dlg.HeightEdit, Tools.LastBaseHeight));
    dlg.RadioClick();
    if (!ExecSetHeight(dlg))
        return;
    TBusyCursor busy;
    int32_t c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    ScreenToCell(std::min(start.x(), end.x()), std::min(start.y(), end.y()), c1, r1);
    ScreenToCell(std::max(start.x(), end.x()), std::max(start.y(), end.y()), c2, r2);
    const TCellRect changed = Tools.LevelArea(c1, r1, c2, r2, dlg.Action(), dlg.HeightRadio->isChecked(),
                                              dlg.HeightEdit->Value(), dlg.ActionHeight->Value());
    RedrawArea(false, changed);
}

void TDefineNet::FloodAt(int x, int y)
{
    if (columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    CreateHeightGridDialogs();
    TFloodDlg& dlg = *FloodDlg;
    if (!ExecFlood(dlg))
        return;
    TBusyCursor busy;
    int32_t column = 0, row = 0;
    ScreenToCell(x, y, column, row);
    Tools.Flood(column, row, dlg.FloodLERadio->isChecked());
    RedrawArea(true);
}

void TDefineNet::PlaceModelAt(int x, int y)
{
    syncPlacementSize();
    double size = 0;
    int rotation = 0;
    if (!Placement.CurrentLayerModelDefaults(size, rotation))
        return; // no current layer: nothing to place a model of
    CreateHeightGridDialogs();
    TModelPlacementDlg& dlg = *ModelPlacementDlg;
    dlg.ModelHeightEdit->SetValue(forEdit(*dlg.ModelHeightEdit, size));
    dlg.RotationSpinEdit->setValue(rotation);
    if (!ExecModelPlacement(dlg))
        return;
    Placement.PlaceModel(QPoint(x, y), dlg.ModelHeightEdit->Value(), dlg.RotationSpinEdit->value());
    ProjectChanged();
    update();
}

void TDefineNet::EditSelectedModel()
{
    double size = 0;
    int rotation = 0;
    if (!Placement.SelectedModelValues(size, rotation))
        return;
    CreateHeightGridDialogs();
    TModelPlacementDlg& dlg = *ModelPlacementDlg;
    dlg.ModelHeightEdit->SetValue(forEdit(*dlg.ModelHeightEdit, size));
    dlg.RotationSpinEdit->setValue(rotation);
    if (!ExecModelPlacement(dlg))
        return;
    Placement.SetSelectedModelValues(dlg.ModelHeightEdit->Value(), dlg.RotationSpinEdit->value());
    ProjectChanged();
    update();
}

void TDefineNet::syncPlacementSize()
{
    Placement.Width = std::max(Buffer.width(), 1);
    Placement.Height = std::max(Buffer.height(), 1);
}

// ---- Contours ----------------------------------------------------------------------------------------

bool TDefineNet::insideBuffer(QPoint p) const
{
    return p.x() >= 0 && p.y() >= 0 && p.x() < Buffer.width() && p.y() < Buffer.height();
}

void TDefineNet::addContourPoint(QPoint p)
{
    TCellPoint cell;
    ScreenToCell(p.x(), p.y(), cell.Column, cell.Row);
    if (cell == LastContourCell)
        return;
    ContourPoints.push_back(cell);
    LastContourCell = cell;
    int x = 0, y = 0;
    CellToScreen(cell.Column, cell.Row, x, y);
    contourLine_.emplace_back(x, y);
    update();
}

void TDefineNet::clearContourOverlay()
{
    contourLine_.clear();
    traceMarks_ = QImage();
    update();
}

void TDefineNet::ContourPress(QPoint p, Qt::MouseButton button)
{
    if (button == Qt::RightButton) {
        if (ContourStarted)
            FinishContour();
        return;
    }
    if (button != Qt::LeftButton)
        return;
    if (IgnoreNextPress) {
        IgnoreNextPress = false;
        return;
    }
    if (!insideBuffer(p) || columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    if (!ContourStarted) {
        ContourStarted = true;
        ContourPoints.clear();
        contourLine_.clear();
        LastContourCell = TCellPoint{9999, 9999};
    }
    addContourPoint(p);
}

void TDefineNet::ContourMove(QPoint p)
{
    if (ContourStarted && insideBuffer(p))
        addContourPoint(p);
}

void TDefineNet::FinishContour()
{
    ContourStarted = false;
    std::vector<TCellPoint> points;
    points.swap(ContourPoints);
    LastContourCell = TCellPoint{9999, 9999};
    TProject* p = Project();
    if (!p || points.empty() || columnsOf(p) < 1 || rowsOf(p) < 1) {
        clearContourOverlay();
        return;
    }
    TSetHeightDlg& dlg = heightDialog(QStringLiteral("Set contour height"), false);
    dlg.HeightEdit->SetValue(forEdit(*dlg.HeightEdit, Tools.LastBaseHeight));
    dlg.RadioClick();
    const bool ok = ExecSetHeight(dlg);
    // The dialog ran a message loop: the project may be another one now.
    p = Project();
    if (!ok || !p) {
        clearContourOverlay();
        return;
    }
    const TCellRect changed = WriteContour(Tools, p->Grid, points, dlg.HeightEdit->Value(), AutoTraceDensity);
    contourLine_.clear();
    traceMarks_ = QImage();
    RedrawArea(false, changed);
}

void TDefineNet::ContourTraceAt(int x, int y)
{
    ContourPoints.clear();
    if (!insideBuffer(QPoint(x, y)) || columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    TraceWork = QImage(Buffer.size(), QImage::Format_RGB32);
    TraceWork.fill(Qt::white);
    if (!Background.isNull()) {
        QPainter painter(&TraceWork);
        painter.drawImage(TraceWork.rect(), Background);
    }
    const QRgb c0 = TraceWork.pixel(x, y);
    if ((c0 & 0xFFFFFF) == 0xFFFFFF)
        return;
    {
        TBusyCursor busy;
        const QRgb marker = TraceMarkerColour(c0) | 0xFF000000u;
        traceMarks_ = QImage(Buffer.size(), QImage::Format_ARGB32);
        traceMarks_.fill(Qt::transparent);
        ContourPoints = TraceColour(
            TraceWork, QPoint(x, y), AutoTraceTolerance,
            [this](int px, int py) {
                TCellPoint cell;
                ScreenToCell(px, py, cell.Column, cell.Row);
                return cell;
            },
            [&](int px, int py) { traceMarks_.setPixel(px, py, marker); });
    }
    update();
    FinishContour();
}

// ---- Interpolation ---------------------------------------------------------------------------------

void TDefineNet::InterpolateArea(QPoint start, QPoint end)
{
    // The library keeps one run at a time.
    if (interpolating_ || columnsOf(Project()) < 1 || rowsOf(Project()) < 1)
        return;
    CreateHeightGridDialogs();
    TInterpolateDlg& dlg = *InterpolateDlg;
    if (!ExecInterpolate(dlg))
        return;
    TProject* p = Project();
    if (!p || columnsOf(p) < 1 || rowsOf(p) < 1)
        return;
    ScreenToCell(std::min(start.x(), end.x()), std::min(start.y(), end.y()), InterpolationArea.Left,
                 InterpolationArea.Top);
    ScreenToCell(std::max(start.x(), end.x()), std::max(start.y(), end.y()), InterpolationArea.Right,
                 InterpolationArea.Bottom);
    // Interpolation cannot be undone: the list goes, and the window learns that it has.
    if (!Tools.UndoList().empty())
        Tools.GridReplaced();
    const TGridParams params = dlg.Params();
    if (!dlg.NearestRadio->isChecked()) {
        bool filled = true;
        if (dlg.TrendCheck->isChecked()) {
            TBusyCursor busy;
            filled = TrendFill(p->Grid, params.MinHeight);
        }
        if (!filled) {
            ShowError("E0019 Insuficient points for trend analysis");
        } else if (dlg.SmoothingCheck->isChecked()) {
            TBusyCursor busy;
            SmoothGrid(p->Grid, params.MinHeight);
        }
        RedrawArea(true);
        return;
    }
    if (InterpolationArea.Left == InterpolationArea.Right && InterpolationArea.Top == InterpolationArea.Bottom) {
        ShowError("E0016 Interpolation area too small");
        return;
    }
    auto progress = std::make_unique<TLongProgressDlg>(this);
    progress->setWindowTitle(QStringLiteral("Interpolation"));
    progress->ActivityLabel->setText(QStringLiteral("Generating parameters"));
    progress->Continue = 1;
    // The run writes into the grid after the library has pumped messages: no other window may
    // replace or resize it meanwhile.
    progress->setWindowModality(Qt::ApplicationModal);
    progress->show();
    interpolating_ = true;
    activeProgress = progress.get();
    StatusSink().ProcessMessages();
    const auto activity = [](const char* text) {
        if (activeProgress)
            activeProgress->ActivityLabel->setText(QString::fromUtf8(text));
        StatusSink().ProcessMessages();
    };
    try {
        bool outOfRange = false;
        const TGridOutcome outcome = RunGridding(p->Grid, InterpolationArea, params, Gridding,
                                                 QDir::tempPath().toStdString(), activity, ContinueCallback, outOfRange);
        if (outcome == TGridOutcome::Done)
            ProjectChanged();
        if (outcome == TGridOutcome::Done && outOfRange)
            BroadcastMessage(TAppMessage{WM_AREAINTERPOLATED, 0, 0, 0});
    } catch (const EAbortInterpolation& e) {
        if (e.what()[0])
            ShowError(e.what());
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    activeProgress = nullptr;
    interpolating_ = false;
    progress.reset();
    RedrawArea(false, InterpolationArea);
}

// ---- Events ----------------------------------------------------------------------------------------

bool TDefineNet::clampToBuffer(QPoint& p) const
{
    const QPoint before = p;
    p.setX(std::clamp(p.x(), 0, Buffer.width()));
    p.setY(std::clamp(p.y(), 0, Buffer.height()));
    return p != before;
}

void TDefineNet::paintEvent(QPaintEvent*)
{
    // Only a copy of the buffer: painting never draws the grid (and never pumps messages).
    QPainter painter(this);
    painter.drawImage(0, 0, Buffer);
    if (DrawPlacements && Project()) {
        ::DrawPlacements(painter, *Project(), Buffer.width(), Buffer.height());
        painter.save();
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(Qt::NoBrush);
        QPoint last;
        if ((Mode == ModeRegion || Mode == ModeLine) && MouseDown && Placement.LastOpenVertex(last))
            painter.drawLine(last, rubberEnd_);
        if (Mode == ModeSelect && Placement.HasMarker()) {
            const QPoint m = Placement.Marker;
            painter.drawRect(QRect(QPoint(m.x() - 5, m.y() - 5), QPoint(m.x() + 5, m.y() + 5)));
        }
        painter.restore();
    }
    if (RectangleActive) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(RectangleStart, RectangleEnd).normalized());
    }
    if (!traceMarks_.isNull())
        painter.drawImage(0, 0, traceMarks_);
    if (!contourLine_.empty()) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(QColor(255, 0, 0), 2, Qt::SolidLine));
        if (contourLine_.size() == 1)
            painter.drawPoint(contourLine_.front());
        else
            painter.drawPolyline(contourLine_.data(), int(contourLine_.size()));
    }
}

void TDefineNet::mousePressEvent(QMouseEvent* event)
{
    if (Mode == ModeContour) {
        // Outside the buffer a press is ignored, not moved onto its edge.
        if (event->button() == Qt::LeftButton)
            MouseDown = true;
        ContourPress(event->position().toPoint(), event->button());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    MouseDown = true;
    QPoint p = event->position().toPoint();
    clampToBuffer(p);
    syncPlacementSize();
    if (Mode == ModeRegion || Mode == ModeLine) {
        Placement.PolyPress(Mode == ModeLine, p);
        ProjectChanged();
        rubberEnd_ = p;
        update();
    } else if (Mode == ModeSelect) {
        for (const TPlacementNotice& notice : Placement.SelectAt(p))
            BroadcastMessage(TAppMessage{WM_PLACEMENTSELECT, notice.WParam(), 0, 0});
        update();
    }
    if (Mode == ModeLevelArea || Mode == ModeInterpolate) {
        RectangleActive = true;
        RectangleStart = RectangleEnd = p;
        update();
    }
}

void TDefineNet::mouseMoveEvent(QMouseEvent* event)
{
    QPoint p = event->position().toPoint();
    const bool clamped = clampToBuffer(p);
    if (!clamped && p.x() < Buffer.width() && p.y() < Buffer.height()) {
        int32_t column = 0, row = 0;
        ScreenToCell(p.x(), p.y(), column, row);
        const TDefineNet* outer = cursorSender; // a handler may move the mouse over another map
        cursorSender = this;
        BroadcastMessage(TAppMessage{WM_GRIDCURSOR, (uint32_t(column) & 0xFFFF) | (uint32_t(row) & 0xFFFF) << 16,
                                     (uint32_t(p.x()) & 0xFFFF) | (uint32_t(p.y()) & 0xFFFF) << 16, 0});
        cursorSender = outer;
    }
    if (MouseDown && RectangleActive) {
        RectangleEnd = p;
        update();
    }
    if (MouseDown && (Mode == ModeRegion || Mode == ModeLine)) {
        rubberEnd_ = p;
        update();
    }
    if (MouseDown && Mode == ModeSelect) {
        syncPlacementSize();
        if (Placement.DragTo(p))
            update();
    }
    if (MouseDown && Mode == ModeContour && !clamped)
        ContourMove(p);
}

void TDefineNet::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && (Mode == ModeRegion || Mode == ModeLine)) {
        Placement.PolyFinish(Mode == ModeLine);
        ProjectChanged();
        update();
        return;
    }
    if (event->button() != Qt::LeftButton || !MouseDown)
        return;
    MouseDown = false;
    QPoint p = event->position().toPoint();
    const bool clamped = clampToBuffer(p);
    switch (Mode) {
    case ModeSpotHeight:
        if (!clamped)
            SpotHeightAt(p.x(), p.y());
        break;
    case ModeDefaultHeight:
        if (!clamped)
            DefaultHeightAt(p.x(), p.y());
        break;
    case ModeLevelArea:
        if (RectangleActive) {
            RectangleActive = false;
            RectangleEnd = p;
            update();
            LevelAreaBetween(RectangleStart, RectangleEnd);
        }
        break;
    case ModeContourTrace:
        if (!clamped)
            ContourTraceAt(p.x(), p.y());
        break;
    case ModeInterpolate:
        if (RectangleActive) {
            RectangleActive = false;
            RectangleEnd = p;
            update();
            InterpolateArea(RectangleStart, RectangleEnd);
        }
        break;
    case ModeFlood: FloodAt(p.x(), p.y()); break;
    case ModeRegion:
    case ModeLine:
        syncPlacementSize();
        Placement.PolyRelease(Mode == ModeLine, p);
        ProjectChanged();
        update();
        break;
    case ModeModel: PlaceModelAt(p.x(), p.y()); break;
    case ModeSelect:
        if (Placement.Moved) {
            Placement.Moved = false;
            ProjectChanged();
            update();
        }
        break;
    default: break;
    }
}

void TDefineNet::contextMenuEvent(QContextMenuEvent* event)
{
    if (popupMenu_)
        popupMenu_->exec(event->globalPos());
}
