#include "heightgrid/Landscape.h"

#include "heightgrid/HeightDataCommands.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "heightgrid/DefNet.h"
#include "heightgrid/MapEditorParts.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/MapParameters.h"
#include "heightgrid/NewMap.h"
#include "models/GraphicEx.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "shell/Main.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

TFLandscape* FLandscape = nullptr;

namespace {

THeightDataHandler& importer()
{
    static THeightDataHandler handler;
    return handler;
}

THeightDataHandler& exporter()
{
    static THeightDataHandler handler;
    return handler;
}

std::string general8(double v)
{
    return QString::number(v, 'g', 8).toStdString();
}

int spinValue(const QSpinBox* spin, double v)
{
    if (std::isnan(v))
        return spin->minimum();
    return int(std::clamp(std::nearbyint(v), double(spin->minimum()), double(spin->maximum())));
}

bool defaultChooseDataFile(const QString& title, const QStringList& filters, bool save, QString& file, int& filterIndex)
{
    QString selected;
    const QString filter = filters.join(QStringLiteral(";;"));
    file = save ? QFileDialog::getSaveFileName(nullptr, title, QString(), filter, &selected)
                : QFileDialog::getOpenFileName(nullptr, title, QString(), filter, &selected);
    filterIndex = int(filters.indexOf(selected)) + 1;
    return !file.isEmpty() && filterIndex > 0;
}


} // namespace

std::string CursorInfoText(int32_t column, int32_t row, double height)
{
    std::string h = "Null";
    if (height >= MinEditHeight && std::isfinite(height)) {
        char text[400];
        std::snprintf(text, sizeof text, "%5.0f", height);
        h = text;
    }
    return std::to_string(column) + ":" + std::to_string(row) + ":" + h;
}

std::string GeoInfoText(int x, int y, int width, int height, const TGridBlock& grid)
{
    const double gx = width > 0 ? double(x) / width * (grid.RightGeo - grid.LeftGeo) + grid.LeftGeo : grid.LeftGeo;
    const double gy = height > 0 ? double(y) / height * (grid.BottomGeo - grid.TopGeo) + grid.TopGeo : grid.TopGeo;
    return general8(gx) + ":" + general8(gy);
}

std::string CursorGeoText(const TAppMessage& message, const TDefineNet& own, const TGridBlock& grid)
{
    const TDefineNet* sender = TDefineNet::CursorMessageSender();
    const TDefineNet& map = sender ? *sender : own;
    return GeoInfoText(int(message.LParam & 0xFFFF), int(message.LParam >> 16), map.width(), map.height(), grid);
}

std::string GridSpacingText(const TGridBlock& grid)
{
    return general8(grid.SpacingX) + " x " + general8(grid.SpacingY) + "M";
}

std::string GridSizeText(const TGridBlock& grid)
{
    return std::to_string(grid.SizeX) + " x " + std::to_string(grid.SizeY);
}

void SetHeightDataHandlers(THeightDataHandler importerHandler, THeightDataHandler exporterHandler)
{
    importer() = std::move(importerHandler);
    exporter() = std::move(exporterHandler);
    if (FLandscape) {
        FLandscape->ImportMenuItem->setEnabled(bool(importer()));
        FLandscape->ExportMenuItem->setEnabled(bool(exporter()));
    }
}

// ---- Window ----------------------------------------------------------------------------------------

TFLandscape::TFLandscape(QWidget* parent) : TFBaseForm(parent)
{
    FLandscape = this;
    setWindowTitle(QStringLiteral("Landscape Heightfield Editor"));
    resize(700, 580);
    ChooseDataFile = defaultChooseDataFile;
    ExecMapParameters = [](QDialog& dlg) { return dlg.exec() == QDialog::Accepted; };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);

    MenuBar = new QMenuBar(this);
    layout->setMenuBar(MenuBar);
    QMenu* menu = MenuBar->addMenu(QStringLiteral("&Landscape"));
    NewGridMenuItem = menu->addAction(QStringLiteral("&New Grid..."));
    GeoreferencingMenuItem = menu->addAction(QStringLiteral("Georeferencing..."));
    menu->addSeparator();
    UndoMenuItem = menu->addAction(QStringLiteral("&Undo"));
    UndoMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    UndoMenuItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    UndoMenuItem->setEnabled(false);
    addAction(UndoMenuItem);
    menu->addSeparator();
    ImportMenuItem = menu->addAction(QStringLiteral("&Import..."));
    ExportMenuItem = menu->addAction(QStringLiteral("&Export..."));
    ImportMenuItem->setEnabled(bool(importer()));
    ExportMenuItem->setEnabled(bool(exporter()));

    auto* tools = new QToolBar(this);
    ZoomInToolButton = MapToolButton(tools, QStringLiteral("+"), QStringLiteral("Zoom in"), false);
    ZoomOutToolButton = MapToolButton(tools, QStringLiteral("-"), QStringLiteral("Zoom out"), false);
    RedrawToolButton = MapToolButton(tools, QStringLiteral("Redraw"), QStringLiteral("Redraw"), false);
    tools->addSeparator();
    SpotToolButton = MapToolButton(tools, QStringLiteral("Spot"), QStringLiteral("Set point height"), true);
    DefHeightToolButton = MapToolButton(tools, QStringLiteral("Default"), QStringLiteral("Set point to default height"), true);
    ContourToolButton = MapToolButton(tools, QStringLiteral("Contour"), QStringLiteral("Draw contour"), true);
    AutoToolButton = MapToolButton(tools, QStringLiteral("Trace"), QStringLiteral("Contour trace"), true);
    LevelToolButton = MapToolButton(tools, QStringLiteral("Level"), QStringLiteral("Transform area height"), true);
    InterToolButton = MapToolButton(tools, QStringLiteral("Interpolate"), QStringLiteral("Interpolate heights"), true);
    FloodToolButton = MapToolButton(tools, QStringLiteral("Flood"), QStringLiteral("Flood with water"), true);
    layout->addWidget(tools);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    const std::pair<QToolButton*, uint8_t> modes[] = {
        {SpotToolButton, ModeSpotHeight}, {DefHeightToolButton, ModeDefaultHeight}, {ContourToolButton, ModeContour},
        {AutoToolButton, ModeContourTrace}, {LevelToolButton, ModeLevelArea}, {InterToolButton, ModeInterpolate},
        {FloodToolButton, ModeFlood},
    };
    for (const auto& [button, mode] : modes) {
        group->addButton(button);
        connect(button, &QToolButton::clicked, this, [this, mode = mode] { Map->SetMode(mode, nullptr); });
    }
    SpotToolButton->setChecked(true);

    auto* body = new QHBoxLayout;
    layout->addLayout(body, 1);
    Map = AddMapCanvas(this, body, CanvasScrollBox);

    auto* side = new QVBoxLayout;
    body->addLayout(side);
    PointInfoEdit = AddInfoField(this, side, QStringLiteral("Grid"));
    GeoInfoEdit = AddInfoField(this, side, QStringLiteral("Georef"));

    auto* definition = new QGroupBox(QStringLiteral("Map Definition"), this);
    auto* defForm = new QFormLayout(definition);
    MapSizeLabel = new QLabel(definition);
    GridSpacingLabel = new QLabel(definition);
    GridSizeLabel = new QLabel(definition);
    defForm->addRow(QStringLiteral("Map Size"), MapSizeLabel);
    defForm->addRow(QStringLiteral("Grid spacing"), GridSpacingLabel);
    defForm->addRow(QStringLiteral("Grid size"), GridSizeLabel);
    side->addWidget(definition);

    auto* heights = new QGroupBox(this);
    auto* heightForm = new QFormLayout(heights);
    MaxHeightSpin = new QSpinBox(heights);
    MaxHeightSpin->setRange(0, 32000);
    MaxHeightSpin->setSingleStep(100);
    MinHeightSpin = new QSpinBox(heights);
    MinHeightSpin->setRange(-1000, 32000);
    MinHeightSpin->setSingleStep(100);
    ScalingSpinEdit = new QSpinBox(heights);
    ScalingSpinEdit->setRange(0, 99999);
    ScalingSpinEdit->setSingleStep(10);
    RGBCheckBox = new QCheckBox(QStringLiteral("RGB Display"), heights);
    heightForm->addRow(QStringLiteral("Max Height"), MaxHeightSpin);
    heightForm->addRow(QStringLiteral("Min Height"), MinHeightSpin);
    heightForm->addRow(QStringLiteral("Vertical Scaling %"), ScalingSpinEdit);
    heightForm->addRow(RGBCheckBox);
    side->addWidget(heights);

    auto* trace = new QGroupBox(this);
    auto* traceForm = new QFormLayout(trace);
    AutoToleranceBar = new TEnhTrackBar(trace);
    AutoToleranceBar->setOrientation(Qt::Horizontal);
    AutoToleranceBar->setRange(0, 100);
    AutoToleranceBar->setTickInterval(5);
    AutoToleranceBar->setTickPosition(QSlider::TicksBelow);
    AutoToleranceBar->setValue(50);
    DensityEdit = new QSpinBox(trace);
    DensityEdit->setRange(1, 99);
    DensityEdit->setValue(3);
    traceForm->addRow(QStringLiteral("Color Tolerance"), AutoToleranceBar);
    traceForm->addRow(QStringLiteral("Density"), DensityEdit);
    side->addWidget(trace);

    auto* background = new QPushButton(QStringLiteral("Set Background"), this);
    BackgroundButton = background;
    side->addWidget(background);
    side->addStretch(1);

    RGBCheckBox->setChecked(TWinRegistry(QuarlexBaseKey).ReadBool("LandscapeDisplay", "RGB", false));

    connect(ZoomInToolButton, &QToolButton::clicked, this, [this] { ZoomInToolButtonClick(); });
    connect(ZoomOutToolButton, &QToolButton::clicked, this, [this] { ZoomOutToolButtonClick(); });
    connect(RedrawToolButton, &QToolButton::clicked, this, [this] { RedrawToolButtonClick(); });
    connect(RGBCheckBox, &QCheckBox::clicked, this, [this] { RGBCheckBoxClick(); });
    connect(background, &QPushButton::clicked, this, [this] { BackgroundButtonClick(); });
    connect(NewGridMenuItem, &QAction::triggered, this, [this] { NewGridMenuItemClick(); });
    connect(GeoreferencingMenuItem, &QAction::triggered, this, [this] { GeoreferencingMenuItemClick(); });
    connect(UndoMenuItem, &QAction::triggered, this, [this] { UndoMenuItemClick(); });
    connect(ImportMenuItem, &QAction::triggered, this, [this] { ImportMenuItemClick(); });
    connect(ExportMenuItem, &QAction::triggered, this, [this] { ExportMenuItemClick(); });
    connect(MaxHeightSpin, &QSpinBox::valueChanged, this, [this](int v) {
        if (!loading_ && ProjectVar() && *ProjectVar()) {
            Project().Grid.MaxHeight = v;
            ProjectChanged();
        }
    });
    connect(MinHeightSpin, &QSpinBox::valueChanged, this, [this](int v) {
        if (!loading_ && ProjectVar() && *ProjectVar()) {
            Project().Grid.MinHeight = v;
            ProjectChanged();
        }
    });
    connect(ScalingSpinEdit, &QSpinBox::valueChanged, this, [this](int v) {
        if (!loading_ && ProjectVar() && *ProjectVar()) {
            Project().Grid.VerticalScale = v / 100.0;
            ProjectChanged();
        }
    });
    connect(AutoToleranceBar, &QSlider::valueChanged, this, [this](int v) { Map->AutoTraceTolerance = v; });
    connect(DensityEdit, &QSpinBox::valueChanged, this, [this](int v) { Map->AutoTraceDensity = v; });
}

TFLandscape::~TFLandscape()
{
    if (FLandscape == this)
        FLandscape = nullptr;
}

void TFLandscape::SetProject(TProject** project)
{
    TFBaseForm::SetProject(project);
    Map->SetProject(project);
}

void TFLandscape::loadSpins()
{
    const TGridBlock& grid = Project().Grid;
    loading_ = true;
    MaxHeightSpin->setValue(spinValue(MaxHeightSpin, grid.MaxHeight));
    MinHeightSpin->setValue(spinValue(MinHeightSpin, grid.MinHeight));
    ScalingSpinEdit->setValue(spinValue(ScalingSpinEdit, grid.VerticalScale * 100));
    loading_ = false;
}

void TFLandscape::RefreshFromProject()
{
    if (!ProjectVar() || !*ProjectVar())
        return;
    loadSpins();
    Map->ApplyZoom();
    Map->FitToWindow();
    Map->RedrawArea(true);
    UpdateLabels();
    ZoomInToolButton->setEnabled(Map->CanZoom(true));
    ZoomOutToolButton->setEnabled(Map->CanZoom(false));
    update();
}

void TFLandscape::UpdateLabels()
{
    if (!ProjectVar() || !*ProjectVar())
        return;
    const TGridBlock& grid = Project().Grid;
    MapSizeLabel->setText(QString::fromStdString(DisplayMapSize(grid.SpacingX, grid.SpacingY, grid.SizeX, grid.SizeY)));
    GridSizeLabel->setText(QString::fromStdString(GridSizeText(grid)));
    GridSpacingLabel->setText(QString::fromStdString(GridSpacingText(grid)));
}

void TFLandscape::AppMessage(TAppMessage& message)
{
    switch (message.Msg) {
    case WM_GRIDCHANGED: UndoMenuItem->setEnabled(true); break;
    case WM_UNDODONE: UndoMenuItem->setEnabled(false); break;
    case WM_GRIDCURSOR: {
        if (!ProjectVar() || !*ProjectVar())
            break;
        const TGridBlock& grid = Project().Grid;
        const int32_t column = int32_t(message.WParam & 0xFFFF), row = int32_t(message.WParam >> 16);
        if (column < std::min(grid.SizeX, grid.Cells.Columns()) && row < std::min(grid.SizeY, grid.Cells.Rows()))
            PointInfoEdit->setText(QString::fromStdString(CursorInfoText(column, row, grid.Cells[column][row].Height)));
        GeoInfoEdit->setText(QString::fromStdString(CursorGeoText(message, *Map, grid)));
        break;
    }
    case WM_GRIDDRAWPROGRESS:
        StatusSink().SetProgress(int(message.WParam));
        StatusSink().SetOperationText(message.WParam < 1 ? "" : "Drawing height grid");
        break;
    default: break;
    }
}

void TFLandscape::SetOperationText(const std::string& text)
{
    StatusSink().SetOperationText(text);
    StatusSink().ProcessMessages();
}

void TFLandscape::SetStepText(const std::string& text)
{
    StatusSink().SetStepText(text);
    StatusSink().ProcessMessages();
}

void TFLandscape::FillGrid(double height)
{
    TGridBlock& grid = Project().Grid;
    TGridCell* cells = grid.Cells.Data();
    for (size_t i = 0, n = grid.Cells.CellCount(); i < n; ++i)
        cells[i].Height = height;
}

// ---- Commands --------------------------------------------------------------------------------------

void TFLandscape::ZoomInToolButtonClick()
{
    GuardedCommand([this] {
        Map->ZoomBy(true);
        RefreshFromProject();
    });
}

void TFLandscape::ZoomOutToolButtonClick()
{
    GuardedCommand([this] {
        Map->ZoomBy(false);
        RefreshFromProject();
    });
}

void TFLandscape::RedrawToolButtonClick()
{
    GuardedCommand([this] { Map->RedrawArea(true); });
}

void TFLandscape::RGBCheckBoxClick()
{
    GuardedCommand([this] {
        TWinRegistry(QuarlexBaseKey).WriteBool("LandscapeDisplay", "RGB", RGBCheckBox->isChecked());
        RefreshFromProject();
    });
}

void TFLandscape::BackgroundButtonClick()
{
    GuardedCommand([this] {
        const std::string file = Prompt().OpenFileName("Set Background", "Bitmaps (*.bmp)", "");
        if (file.empty())
            return;
        QImage picture;
        std::string error;
        if (!LoadPicture(file, picture, &error)) {
            ShowError(error.empty() ? file : error);
            return;
        }
        Map->Background = picture;
        Map->RedrawArea(true);
    });
}

void TFLandscape::NewGridMenuItemClick()
{
    try {
        TProject& project = Project();
        CreateHeightGridDialogs();
        TMapParametersDialog& dlg = *MapParametersDialog;
        dlg.SetSizeLocked(false);
        dlg.OverrideGeoCheck->setChecked(false);
        dlg.OverrideGeoCheckClick();
        dlg.SetGrid(project.Grid.SpacingX, project.Grid.SpacingY, project.Grid.SizeX, project.Grid.SizeY);
        if (!ExecMapParameters(dlg))
            return;
        TProject& target = Project(); // the dialog ran a message loop
        if (!target.NewGrid(dlg.Columns(), dlg.Rows(), dlg.XSpacingMaskEdit->Value(), dlg.YSpacingMaskEdit->Value()))
            throw std::runtime_error("new grid");
        Map->GridReplaced();
        ProjectChanged();
        const TGeoreference geo = dlg.Georeference();
        target.Grid.LeftGeo = geo.Left;
        target.Grid.TopGeo = geo.Top;
        target.Grid.RightGeo = geo.Right;
        target.Grid.BottomGeo = geo.Bottom;
        if (dlg.HeightRadio->isChecked()) {
            const double h = dlg.DefaultHeightFloatEdit->Value();
            FillGrid(h);
            target.Grid.MinHeight = h;
            target.Grid.MaxHeight = h + 1000.0;
        }
        if (MainForm)
            MainForm->UpdateAllEditors();
        else
            RefreshFromProject();
        UpdateLabels();
    } catch (...) {
        ShowError("E0048 Error creating New Map dialog");
    }
}

void TFLandscape::GeoreferencingMenuItemClick()
{
    GuardedCommand([this] {
        TProject& project = Project();
        CreateHeightGridDialogs();
        TMapParametersDialog& dlg = *MapParametersDialog;
        dlg.SetSizeLocked(true);
        dlg.OverrideGeoCheck->setChecked(true);
        dlg.OverrideGeoCheckClick();
        dlg.SetGrid(project.Grid.SpacingX, project.Grid.SpacingY, project.Grid.SizeX, project.Grid.SizeY);
        dlg.SetGeoreference({project.Grid.LeftGeo, project.Grid.TopGeo, project.Grid.RightGeo, project.Grid.BottomGeo});
        const bool ok = ExecMapParameters(dlg);
        dlg.SetSizeLocked(false);
        if (!ok)
            return;
        const TGeoreference geo = dlg.Georeference();
        TGridBlock& grid = Project().Grid;
        grid.LeftGeo = geo.Left;
        grid.TopGeo = geo.Top;
        grid.RightGeo = geo.Right;
        grid.BottomGeo = geo.Bottom;
        ProjectChanged();
    });
}

void TFLandscape::UndoMenuItemClick()
{
    GuardedCommand([this] { Map->UndoLast(); });
}

void TFLandscape::ImportMenuItemClick()
{
    GuardedCommand([this] {
        if (!importer())
            return;
        QStringList filters;
        for (const char* f : kImportFilters)
            filters << QString::fromLatin1(f);
        QString file;
        int index = 0;
        if (!ChooseDataFile(QStringLiteral("Import"), filters, false, file, index))
            return;
        const THeightDataHandler handler = importer();
        handler(*this, index, file.toStdString());
        // Whatever the importer got to, the grid is not the one the undo list recorded.
        Map->GridReplaced();
        Project().ShadowsOutOfDate = 1;
        RefreshFromProject();
    });
}

void TFLandscape::ExportMenuItemClick()
{
    GuardedCommand([this] {
        if (!exporter())
            return;
        QStringList filters;
        for (const char* f : kExportFilters)
            filters << QString::fromLatin1(f);
        QString file;
        int index = 0;
        if (!ChooseDataFile(QStringLiteral("Export"), filters, true, file, index))
            return;
        const THeightDataHandler handler = exporter();
        handler(*this, index, file.toStdString());
    });
}
