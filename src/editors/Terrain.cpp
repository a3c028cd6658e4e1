#include "editors/Terrain.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorPattern.h"
#include "editors/TerrainTypeDlg.h"
#include "models/GraphicEx.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/StrStuff.h"
#include "shell/Main.h"
#include "shell/PathDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

TFTerrain* FTerrain = nullptr;

namespace {

const char* const PageTitles[] = {"Surface", "Ecology", "Texture Image Overlay", "Models", "Vegetation", "Urban"};
constexpr int EcologyImageSize = 160;

TFloatEdit* NumberField(QWidget* parent, int digits, double min = 0.0, double max = 99999999.9)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(digits);
    e->SetMin(min);
    e->SetMax(max);
    e->setMinimumWidth(90);
    return e;
}

QSpinBox* SpinEdit(QWidget* parent, int min, int max, int step = 1)
{
    auto* s = new QSpinBox(parent);
    s->setRange(min, max);
    s->setSingleStep(step);
    return s;
}

TEnhTrackBar* TrackBar(QWidget* parent)
{
    auto* t = new TEnhTrackBar(parent);
    t->setOrientation(Qt::Horizontal);
    t->setRange(0, 100);
    t->setValue(50);
    return t;
}

THemisphereButton* ColourButton(QWidget* parent)
{
    auto* b = new THemisphereButton(parent);
    b->setFixedSize(32, 32);
    return b;
}

// A stored folder as the file dialog wants it.
std::string DialogFolder(const std::string& stored)
{
    std::string folder = stored;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder;
}

std::string PictureFilter()
{
    std::string all = "Pictures (";
    std::string each;
    bool first = true;
    for (const TPictureFormat& f : PictureFormats()) {
        all += (first ? "*." : " *.") + std::string(f.Extension);
        each += ";;" + std::string(f.Description) + " (*." + f.Extension + ")";
        first = false;
    }
    return all + ")" + each;
}

// The combo item of an ID among the plant types or urban plans in use: 0 for none.
template <class V, class Id>
int ChoiceOf(const V& items, int count, int32_t id, Id idOf)
{
    for (int i = 0; i < count; ++i)
        if (idOf(items[size_t(i)]) == id)
            return i + 1;
    return 0;
}

} // namespace

// ---- Layers --------------------------------------------------------------------------------------

int LayersInUse(const TTerrainLayersBlock& layers) { return InUse(layers.Count, layers.Items); }

bool LayerListed(const TTerrainLayersBlock& layers, int index)
{
    return index >= 0 && index < LayersInUse(layers) && !layers.Items[size_t(index)].Deleted;
}

std::vector<int> ListedLayers(const TTerrainLayersBlock& layers)
{
    std::vector<int> listed;
    const int n = LayersInUse(layers);
    for (int i = 0; i < n; ++i)
        if (!layers.Items[size_t(i)].Deleted)
            listed.push_back(i);
    return listed;
}

QStringList LayerPages(int32_t layerType)
{
    QStringList pages;
    switch (layerType) {
    case ltEcology: pages << PageTitles[1]; break;
    case ltOverlay: pages << PageTitles[2]; break;
    case ltModel: pages << PageTitles[3]; break;
    case ltVegetation: pages << PageTitles[0] << PageTitles[4]; break;
    case ltUrban: pages << PageTitles[0] << PageTitles[5]; break;
    default: pages << PageTitles[0]; break;
    }
    return pages;
}

int FindLayerOverlay(const TProject& p, int layerIndex)
{
    if (!LayerListed(p.TerrainLayers, layerIndex))
        return -1;
    const int32_t id = p.TerrainLayers.Items[size_t(layerIndex)].ID;
    const int n = InUse(p.Overlays.Count, p.Overlays.Items);
    for (int i = 0; i < n; ++i) {
        const TOverlayImage& image = p.Overlays.Items[size_t(i)];
        if (!image.Deleted && image.TerrainLayerID == id)
            return i;
    }
    return -1;
}

int AddTerrainLayer(TProject& p, int32_t layerType)
{
    TTerrainLayersBlock& layers = p.TerrainLayers;
    // A counter behind the IDs in use (a damaged or hand-edited file) would give the new layer the
    // regions, lines and models of an existing one.
    int32_t id = layers.NextID;
    const int n = LayersInUse(layers);
    for (int i = 0; i < n; ++i) {
        const int32_t used = layers.Items[size_t(i)].ID;
        if (used >= id)
            id = used == INT32_MAX ? INT32_MAX : used + 1;
    }
    TTerrainLayer layer;
    layer.ID = id;
    layer.Deleted = 0;
    layer.Name = "Unassigned";
    layer.OverrideDefaultSurface = 0;
    layer.DrawPlants = 0;
    layer.Visible = 1;
    layer.DrawModels = 0;
    layer.ModelHeight = 100.0;
    layer.Rotation = 0.0;
    layer.LandscapeColor = {0.55f, 0.09f, 0.09f, 1.0f};
    layer.LineWidth = 10.0;
    layer.LayerPrimary = {0.0f, 0.5f, 0.0f, 1.0f};
    layer.LayerSecondary = {0.5f, 1.0f, 0.0f, 1.0f};
    layer.Bumpiness = 20.0;
    layer.Specularity = 0.0;
    layer.Shininess = 10;
    layer.Emission = 0.0;
    for (TEcologyRule& slot : layer.Plants) {
        slot.TreeID = -1;
        slot.TreeSize = 20.0;
        slot.TreeDensity = 10.0;
    }
    layer.Urban = 0;
    layer.UrbanPlan = -1;
    layer.Water = 0;
    layer.LayerType = (layerType >= ltSurface && layerType <= ltUrban) ? layerType : ltSurface;
    const int index = AppendInUse(layers.Count, layers.Items, layer);
    layers.NextID = id == INT32_MAX ? id : id + 1;

    if (layer.LayerType == ltEcology) {
        TEcologyRule rule;
        rule.TreeID = -1;
        rule.TreeSize = 20.0;
        rule.TreeDensity = 10.0;
        rule.TerrainLayerID = id;
        rule.Altitude = rule.AltTolerance = rule.Slope = rule.SlopeTolerance = rule.Aspect = rule.AspectTolerance = 0.5;
        AppendInUse(p.Ecology.Count, p.Ecology.Items, rule);
    } else if (layer.LayerType == ltOverlay) {
        TOverlayImage image;
        image.Name = "Image " + std::to_string(InUse(p.Overlays.Count, p.Overlays.Items));
        image.ImageSize = 1024;
        image.DrawOverlay = 1;
        image.TransparencyColor = 0xFFFFFF;
        image.Transparency = 1.0;
        image.TransparencyMode = 1;
        image.Extra = -1;
        image.TerrainLayerID = id;
        image.Deleted = 0;
        image.DrawFull = 0;
        image.Scale = 10;
        image.IgnoreWater = 1;
        AppendInUse(p.Overlays.Count, p.Overlays.Items, image);
    }
    return index;
}

void DeleteTerrainLayer(TProject& p, int index)
{
    if (!LayerListed(p.TerrainLayers, index))
        return;
    TTerrainLayer& layer = p.TerrainLayers.Items[size_t(index)];
    layer.Deleted = 1;
    p.DeleteLayerRegions(layer.ID);
    p.DeleteLayerLines(layer.ID);
    p.DeleteLayerModels(layer.ID);
    const int n = InUse(p.Overlays.Count, p.Overlays.Items);
    for (int i = 0; i < n; ++i)
        if (p.Overlays.Items[size_t(i)].TerrainLayerID == layer.ID)
            p.Overlays.Items[size_t(i)].Deleted = 1;
}

bool FileInFolder(const std::string& fileName, const std::string& folder, std::string& bareName)
{
    QString file = QString::fromStdString(fileName);
    file.replace('\\', '/');
    const qsizetype cut = file.lastIndexOf('/');
    const QString fileFolder = cut < 0 ? QString() : file.left(cut + 1);
    QString projectFolder = QString::fromStdString(folder);
    projectFolder.replace('\\', '/');
    // Both with or without a trailing separator, doubled separators and "." steps alike.
    auto clean = [](const QString& f) { return f.isEmpty() ? f : QDir::cleanPath(f); };
    if (clean(fileFolder).toUpper() != clean(projectFolder).toUpper())
        return false;
    bareName = file.mid(cut + 1).toStdString();
    return true;
}

QImage EcologyPreview(TProject& p, const TEcologyRule& rule, int width, int height)
{
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    TGridBlock& grid = p.Grid;
    // The descriptor and the cells agree after NewGrid; the smaller of the two is what exists.
    const int columns = std::min(grid.SizeX, grid.Cells.Columns()), rows = std::min(grid.SizeY, grid.Cells.Rows());
    if (columns < 1 || rows < 1 || width < 3 || height < 3)
        return image;
    // Round(px / W x C) reaches C for the last pixels of a small grid: those take the last vertex.
    auto vertex = [&](int px, int py, int& c, int& r) {
        c = std::clamp(static_cast<int>(std::nearbyint(double(px) / width * columns)), 0, columns - 1);
        r = std::clamp(static_cast<int>(std::nearbyint(double(py) / height * rows)), 0, rows - 1);
    };

    // Pass 1: the normals and their vertical range.
    double maxY = -2147483647.0, minY = 2147483647.0;
    TVector3 ring[9];
    for (int py = 1; py <= height - 2; ++py)
        for (int px = 1; px <= width - 2; ++px) {
            int c, r;
            vertex(px, py, c, r);
            if (!p.GetVertexNeighbourhood(c, r, ring))
                continue;
            const TVector3& up = ring[1];
            const TVector3& right = ring[3];
            const TVector3& down = ring[5];
            const TVector3& left = ring[7];
            const TVector3& centre = ring[8];
            const TVector3 n = QuadCentre(TriangleNormal(up, centre, right), TriangleNormal(right, centre, down),
                                          TriangleNormal(down, centre, left), TriangleNormal(left, centre, up));
            grid.Cells[c][r].Normal = n;
            maxY = std::max<double>(maxY, n.Y);
            minY = std::min<double>(minY, n.Y);
        }

    // The bands.
    const double heights = grid.MaxHeight - grid.MinHeight;
    const double aT = heights * rule.AltTolerance;
    const double aC = heights * rule.Altitude + grid.MinHeight;
    const double slopes = maxY - minY;
    const double sT = slopes * rule.SlopeTolerance;
    const double sC = slopes * rule.Slope + minY;
    const double pC = (rule.Aspect - 0.5) * 2.0;
    const double pLow = std::max(pC - rule.AspectTolerance, -1.0);
    const double pHigh = std::min(pC + rule.AspectTolerance, 1.0);
    const double aR = aT * 2.0 == 0.0 ? 0.01 : aT * 2.0;
    const double sR = sT * 2.0 == 0.0 ? 0.01 : sT * 2.0;

    // Pass 2: green by suitability inside all three bands, black elsewhere.
    for (int py = 1; py <= height - 2; ++py)
        for (int px = 1; px <= width - 2; ++px) {
            int c, r;
            vertex(px, py, c, r);
            QRgb colour = qRgb(0, 0, 0);
            {
                const TGridCell& cell = grid.Cells[c][r];
                const double h = cell.Height;
                const double nY = cell.Normal.Y, nZ = cell.Normal.Z;
                if (aC - aT <= h && h <= aC + aT && sC - sT <= nY && nY <= sC + sT && pLow <= nZ && nZ <= pHigh) {
                    const double fA = 1.0 - std::pow((aC - h) / aR, 2);
                    const double fS = 1.0 - std::pow((sC - nY) / sR, 2);
                    const double fP = 1.0 - std::pow((pC - nZ) / 2.0, 2);
                    const double g = std::trunc(fP * fS * fA * 255.0);
                    colour = qRgb(0, std::isnan(g) ? 0 : int(std::clamp(g, 0.0, 255.0)), 0);
                }
            }
            image.setPixel(px, py, colour);
        }
    return image;
}

// ---- The window ----------------------------------------------------------------------------------

TFTerrain::TFTerrain(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Terrain Layers Editor"));
    ExecTypeDialog = [](TTerrainTypeDlg& dlg) { return dlg.exec() == QDialog::Accepted; };
    ExecPathDialog = [](TFPathDlg& dlg) { return dlg.exec() == QDialog::Accepted; };

    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    top->addLayout(left);
    TerrainList = new QListWidget(this);
    TerrainList->setMinimumWidth(160);
    left->addWidget(TerrainList);
    auto* buttons = new QHBoxLayout;
    NewButton = new QPushButton(QStringLiteral("New"), this);
    DeleteButton = new QPushButton(QStringLiteral("Delete"), this);
    buttons->addWidget(NewButton);
    buttons->addWidget(DeleteButton);
    left->addLayout(buttons);

    auto* right = new QVBoxLayout;
    top->addLayout(right);
    auto* ident = new QGroupBox(QStringLiteral("Identification"), this);
    auto* ig = new QGridLayout(ident);
    TerrainNameEdit = new QLineEdit(ident);
    TerrainNameEdit->setMaxLength(255);
    LineWidthFloatEdit = NumberField(ident, 1, 0, 100);
    LandscapeColor = ColourButton(ident);
    ig->addWidget(new QLabel(QStringLiteral("Name"), ident), 0, 0);
    ig->addWidget(TerrainNameEdit, 0, 1, 1, 2);
    ig->addWidget(new QLabel(QStringLiteral("Line width for linear terrain features (metres)"), ident), 1, 0, 1, 2);
    ig->addWidget(LineWidthFloatEdit, 1, 2);
    ig->addWidget(new QLabel(QStringLiteral("Color used in Terrain Placement Editor"), ident), 2, 0, 1, 2);
    ig->addWidget(LandscapeColor, 2, 2);
    right->addWidget(ident);

    PageControl = new QTabWidget(this);
    right->addWidget(PageControl);

    // Surface
    auto* surface = new QWidget(PageControl);
    auto* sg = new QGridLayout(surface);
    OverrideDefaultColor = new QCheckBox(QStringLiteral("Override default colors"), surface);
    OverrideDefaultSurface = new QCheckBox(QStringLiteral("Override default surface properties"), surface);
    WaterCheckBox = new QCheckBox(QStringLiteral("Handle as Water"), surface);
    LayerPrimary = ColourButton(surface);
    LayerSecondary = ColourButton(surface);
    BumpinessFloatEdit = NumberField(surface, 0, 0, 9999);
    SpecularityFloatEdit = NumberField(surface, 0, 0, 100);
    EmissionFloatEdit = NumberField(surface, 0, 0, 100);
    ShininessFloatEdit = NumberField(surface, 0, 0, 100);
    sg->addWidget(OverrideDefaultColor, 0, 0, 1, 2);
    sg->addWidget(LayerPrimary, 1, 0);
    sg->addWidget(LayerSecondary, 1, 1);
    sg->addWidget(OverrideDefaultSurface, 2, 0, 1, 2);
    const std::pair<const char*, TFloatEdit*> material[] = {
        {"Bumpiness", BumpinessFloatEdit}, {"Specularity", SpecularityFloatEdit},
        {"Shininess", ShininessFloatEdit}, {"Emission", EmissionFloatEdit}};
    int row = 3;
    for (const auto& [caption, edit] : material) {
        sg->addWidget(new QLabel(QString::fromUtf8(caption), surface), row, 0);
        sg->addWidget(edit, row, 1);
        ++row;
    }
    sg->addWidget(WaterCheckBox, row, 0, 1, 2);
    PageControl->addTab(surface, QString::fromUtf8(PageTitles[0]));

    // Ecology
    auto* ecology = new QWidget(PageControl);
    auto* eg = new QGridLayout(ecology);
    DrawEcology = new QCheckBox(QStringLiteral("Draw plants for this terrain"), ecology);
    TreeComboBox = new QComboBox(ecology);
    TreeSizeEdit = NumberField(ecology, 2);
    TreeDensityEdit = NumberField(ecology, 1);
    eg->addWidget(DrawEcology, 0, 0, 1, 3);
    eg->addWidget(TreeComboBox, 1, 0, 1, 3);
    eg->addWidget(new QLabel(QStringLiteral("Size"), ecology), 2, 0);
    eg->addWidget(TreeSizeEdit, 2, 1);
    eg->addWidget(new QLabel(QStringLiteral("Density (per ha in middle of range)"), ecology), 3, 0);
    eg->addWidget(TreeDensityEdit, 3, 1);
    auto* prefs = new QGroupBox(QStringLiteral("Preferences"), ecology);
    auto* pg = new QGridLayout(prefs);
    AltitudeTrackBar = TrackBar(prefs);
    SlopeTrackBar = TrackBar(prefs);
    AspectTrackBar = TrackBar(prefs);
    AltToleranceTrackBar = TrackBar(prefs);
    SlopeToleranceTrackBar = TrackBar(prefs);
    AspectToleranceTrackBar = TrackBar(prefs);
    struct Bar {
        const char* caption;
        const char* low;
        TEnhTrackBar* bar;
        const char* high;
    } bars[] = {
        {"Altitude", "Low", AltitudeTrackBar, "High"},     {"Tolerance", "-", AltToleranceTrackBar, "+"},
        {"Slope", "Steep", SlopeTrackBar, "Flat"},          {"Tolerance", "-", SlopeToleranceTrackBar, "+"},
        {"Aspect", "North", AspectTrackBar, "South"},       {"Tolerance", "-", AspectToleranceTrackBar, "+"},
    };
    row = 0;
    for (const Bar& b : bars) {
        pg->addWidget(new QLabel(QString::fromUtf8(b.caption), prefs), row, 0);
        pg->addWidget(new QLabel(QString::fromUtf8(b.low), prefs), row, 1);
        pg->addWidget(b.bar, row, 2);
        pg->addWidget(new QLabel(QString::fromUtf8(b.high), prefs), row, 3);
        ++row;
    }
    eg->addWidget(prefs, 4, 0, 1, 2);
    PreviewEcologyButton = new QPushButton(QStringLiteral("Preview"), ecology);
    EcologyImage = new QLabel(ecology);
    EcologyImage->setFixedSize(EcologyImageSize, EcologyImageSize);
    eg->addWidget(EcologyImage, 4, 2);
    eg->addWidget(PreviewEcologyButton, 5, 2);
    PageControl->addTab(ecology, QString::fromUtf8(PageTitles[1]));

    // Texture Image Overlay
    auto* overlay = new QWidget(PageControl);
    auto* og = new QGridLayout(overlay);
    ImageFileEdit = new QLineEdit(overlay);
    ImageFileEdit->setReadOnly(true);
    FileButton = new QPushButton(QStringLiteral("..."), overlay);
    SetOverlayDirButton = new QPushButton(QStringLiteral("Set Overlay Directory"), overlay);
    TransparencyButton = ColourButton(overlay);
    TransparencyEdit = SpinEdit(overlay, 0, 100, 10);
    DrawOverlayCheck = new QCheckBox(QStringLiteral("Draw overlay for this terrain"), overlay);
    DrawFullCheck = new QCheckBox(QStringLiteral("Draw overlay over all terrain"), overlay);
    TransparencyCheck = new QCheckBox(QStringLiteral("Use Mask transparency"), overlay);
    ScaleSpinEdit = SpinEdit(overlay, 1, 100);
    IgnoreWaterCheck = new QCheckBox(QStringLiteral("Ignore water"), overlay);
    IgnoreWaterCheck->setEnabled(false);
    ExactCheck = new QCheckBox(QStringLiteral("Exact Mapping (applies to all terrain only)"), overlay);
    og->addWidget(ImageFileEdit, 0, 0, 1, 2);
    og->addWidget(FileButton, 0, 2);
    og->addWidget(SetOverlayDirButton, 1, 0, 1, 3);
    og->addWidget(DrawOverlayCheck, 2, 0, 1, 3);
    og->addWidget(DrawFullCheck, 3, 0, 1, 3);
    og->addWidget(ExactCheck, 4, 0, 1, 3);
    og->addWidget(TransparencyCheck, 5, 0, 1, 2);
    og->addWidget(TransparencyButton, 5, 2);
    og->addWidget(new QLabel(QStringLiteral("Mask transparency color"), overlay), 6, 0, 1, 3);
    og->addWidget(new QLabel(QStringLiteral("Transparency"), overlay), 7, 0);
    og->addWidget(TransparencyEdit, 7, 1);
    og->addWidget(new QLabel(QStringLiteral("Scaling"), overlay), 8, 0);
    og->addWidget(ScaleSpinEdit, 8, 1);
    og->addWidget(IgnoreWaterCheck, 9, 0, 1, 3);
    PageControl->addTab(overlay, QString::fromUtf8(PageTitles[2]));

    // Models
    auto* models = new QWidget(PageControl);
    auto* mg = new QGridLayout(models);
    DrawModels = new QCheckBox(QStringLiteral("Draw model for this terrain"), models);
    ModelSourceEdit = new QLineEdit(models);
    ModelSourceEdit->setReadOnly(true);
    ModelFileButton = new QPushButton(QStringLiteral("..."), models);
    ModelPathButton = new QPushButton(QStringLiteral("Set Models Directory"), models);
    ModelHeightEdit = NumberField(models, 2);
    RotationSpinEdit = SpinEdit(models, 0, 359, 10);
    mg->addWidget(DrawModels, 0, 0, 1, 3);
    mg->addWidget(ModelSourceEdit, 1, 0, 1, 2);
    mg->addWidget(ModelFileButton, 1, 2);
    mg->addWidget(ModelPathButton, 2, 0, 1, 3);
    mg->addWidget(new QLabel(QStringLiteral("Default size"), models), 3, 0);
    mg->addWidget(ModelHeightEdit, 3, 1);
    mg->addWidget(new QLabel(QStringLiteral("Default rotation"), models), 4, 0);
    mg->addWidget(RotationSpinEdit, 4, 1);
    PageControl->addTab(models, QString::fromUtf8(PageTitles[3]));

    // Vegetation
    auto* vegetation = new QWidget(PageControl);
    auto* vg = new QGridLayout(vegetation);
    DrawPlants = new QCheckBox(QStringLiteral("Draw plants for this terrain"), vegetation);
    EdgeCheckBox = new QCheckBox(QStringLiteral("Draw on polygon edge only"), vegetation);
    vg->addWidget(DrawPlants, 0, 0, 1, 3);
    vg->addWidget(EdgeCheckBox, 1, 0, 1, 3);
    vg->addWidget(new QLabel(QStringLiteral("Size"), vegetation), 2, 1);
    vg->addWidget(new QLabel(QStringLiteral("Density (per ha)"), vegetation), 2, 2);
    for (int n = 0; n < 4; ++n) {
        PlantCombo[n] = new QComboBox(vegetation);
        PlantCombo[n]->setObjectName(QStringLiteral("PlantCombo%1").arg(n));
        PlantHeight[n] = NumberField(vegetation, 2);
        PlantDensity[n] = NumberField(vegetation, 1);
        vg->addWidget(PlantCombo[n], 3 + n, 0);
        vg->addWidget(PlantHeight[n], 3 + n, 1);
        vg->addWidget(PlantDensity[n], 3 + n, 2);
    }
    PageControl->addTab(vegetation, QString::fromUtf8(PageTitles[4]));

    // Urban
    auto* urban = new QWidget(PageControl);
    auto* ug = new QGridLayout(urban);
    UrbanCheckBox = new QCheckBox(QStringLiteral("Draw urban buildings for this terrain"), urban);
    UrbanPlanCombo = new QComboBox(urban);
    ug->addWidget(UrbanCheckBox, 0, 0, 1, 2);
    ug->addWidget(new QLabel(QStringLiteral("Plan"), urban), 1, 0);
    ug->addWidget(UrbanPlanCombo, 1, 1);
    ug->setRowStretch(2, 1);
    PageControl->addTab(urban, QString::fromUtf8(PageTitles[5]));
    ShowPages({});
    ClearEcologyPicture();

    // ---- Handlers
    connect(TerrainList, &QListWidget::currentRowChanged, this, [this](int r) {
        if (!refreshing_)
            RunHandler([this, r] { TerrainListClick(r); });
    });
    connect(NewButton, &QPushButton::clicked, this, [this] { RunEdit([this] { NewButtonClick(); }); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { RunEdit([this] { DeleteButtonClick(); }); });
    connect(TerrainNameEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        WriteLayer([this, &text](TTerrainLayer& l) {
            l.Name = CutShortString(text.toStdString());
            for (int r = 0; r < int(listToLayer_.size()) && r < TerrainList->count(); ++r)
                if (listToLayer_[size_t(r)] == selectedLayer_)
                    TerrainList->item(r)->setText(QString::fromStdString(l.Name));
            SendForceLimitedRedraw();
        });
    });
    connect(LineWidthFloatEdit, &QLineEdit::textChanged, this,
            [this] { WriteLayer([this](TTerrainLayer& l) { l.LineWidth = LineWidthFloatEdit->Value(); }); });
    connect(LandscapeColor, &THemisphereButton::OnClick, this,
            [this] { RunEdit([this] { PickLayerColour(LandscapeColor, &TTerrainLayer::LandscapeColor, true); }); });
    connect(LayerPrimary, &THemisphereButton::OnClick, this,
            [this] { RunEdit([this] { PickLayerColour(LayerPrimary, &TTerrainLayer::LayerPrimary, false); }); });
    connect(LayerSecondary, &THemisphereButton::OnClick, this,
            [this] { RunEdit([this] { PickLayerColour(LayerSecondary, &TTerrainLayer::LayerSecondary, false); }); });

    auto layerCheck = [this](QCheckBox* box, uint8_t TTerrainLayer::*field) {
        connect(box, &QCheckBox::toggled, this,
                [this, field](bool on) { WriteLayer([field, on](TTerrainLayer& l) { l.*field = on ? 1 : 0; }); });
    };
    layerCheck(OverrideDefaultColor, &TTerrainLayer::OverrideDefaultColor);
    layerCheck(OverrideDefaultSurface, &TTerrainLayer::OverrideDefaultSurface);
    layerCheck(WaterCheckBox, &TTerrainLayer::Water);
    layerCheck(DrawEcology, &TTerrainLayer::DrawPlants);
    layerCheck(DrawPlants, &TTerrainLayer::DrawPlants);
    layerCheck(EdgeCheckBox, &TTerrainLayer::Edge);
    layerCheck(DrawModels, &TTerrainLayer::DrawModels);
    layerCheck(UrbanCheckBox, &TTerrainLayer::Urban);
    auto layerNumber = [this](TFloatEdit* edit, double TTerrainLayer::*field) {
        connect(edit, &QLineEdit::textChanged, this,
                [this, edit, field] { WriteLayer([edit, field](TTerrainLayer& l) { l.*field = edit->Value(); }); });
    };
    layerNumber(BumpinessFloatEdit, &TTerrainLayer::Bumpiness);
    layerNumber(SpecularityFloatEdit, &TTerrainLayer::Specularity);
    layerNumber(EmissionFloatEdit, &TTerrainLayer::Emission);
    layerNumber(ModelHeightEdit, &TTerrainLayer::ModelHeight);
    connect(ShininessFloatEdit, &QLineEdit::textChanged, this,
            [this] { WriteLayer([this](TTerrainLayer& l) { l.Shininess = Round(ShininessFloatEdit->Value()); }); });
    connect(RotationSpinEdit, &QSpinBox::valueChanged, this,
            [this](int v) { WriteLayer([v](TTerrainLayer& l) { l.Rotation = v; }); });
    connect(UrbanPlanCombo, &QComboBox::currentIndexChanged, this, [this](int k) {
        WriteLayer([this, k](TTerrainLayer& l) {
            const TUrbanBlock& urban = Project().Urban;
            if (k == 0)
                l.UrbanPlan = -1;
            else if (k > 0 && k <= InUse(urban.Count, urban.Items))
                l.UrbanPlan = urban.Items[size_t(k - 1)].ID;
        });
    });
    // The plant type of combo item k: -1 for "Not Drawn"; false for an item that names none.
    auto plantOf = [this](int k, int32_t& id) {
        const TActorBlock& actors = Project().Actors;
        if (k == 0)
            id = -1;
        else if (k > 0 && k <= InUse(actors.Count, actors.Items))
            id = actors.Items[size_t(k - 1)].ID;
        else
            return false;
        return true;
    };
    for (int n = 0; n < 4; ++n) {
        connect(PlantCombo[n], &QComboBox::currentIndexChanged, this, [this, n, plantOf](int k) {
            WriteLayer([n, k, plantOf](TTerrainLayer& l) {
                int32_t id;
                if (plantOf(k, id))
                    l.Plants[n].TreeID = id;
            });
        });
        connect(PlantHeight[n], &QLineEdit::textChanged, this,
                [this, n] { WriteLayer([this, n](TTerrainLayer& l) { l.Plants[n].TreeSize = PlantHeight[n]->Value(); }); });
        connect(PlantDensity[n], &QLineEdit::textChanged, this,
                [this, n] { WriteLayer([this, n](TTerrainLayer& l) { l.Plants[n].TreeDensity = PlantDensity[n]->Value(); }); });
    }

    // Ecology rule
    connect(TreeComboBox, &QComboBox::currentIndexChanged, this, [this, plantOf](int k) {
        WriteRule([k, plantOf](TEcologyRule& rule) {
            int32_t id;
            if (plantOf(k, id))
                rule.TreeID = id;
        });
    });
    connect(TreeSizeEdit, &QLineEdit::textChanged, this,
            [this] { WriteRule([this](TEcologyRule& rule) { rule.TreeSize = TreeSizeEdit->Value(); }); });
    connect(TreeDensityEdit, &QLineEdit::textChanged, this,
            [this] { WriteRule([this](TEcologyRule& rule) { rule.TreeDensity = TreeDensityEdit->Value(); }); });
    auto ruleBar = [this](TEnhTrackBar* bar, double TEcologyRule::*field) {
        connect(bar, &QSlider::valueChanged, this,
                [this, field](int v) { WriteRule([field, v](TEcologyRule& rule) { rule.*field = v / 100.0; }); });
    };
    ruleBar(AltitudeTrackBar, &TEcologyRule::Altitude);
    ruleBar(SlopeTrackBar, &TEcologyRule::Slope);
    ruleBar(AspectTrackBar, &TEcologyRule::Aspect);
    ruleBar(AltToleranceTrackBar, &TEcologyRule::AltTolerance);
    ruleBar(SlopeToleranceTrackBar, &TEcologyRule::SlopeTolerance);
    ruleBar(AspectToleranceTrackBar, &TEcologyRule::AspectTolerance);
    connect(PreviewEcologyButton, &QPushButton::clicked, this, [this] { RunHandler([this] { PreviewEcologyButtonClick(); }); });

    // Overlay image
    connect(FileButton, &QPushButton::clicked, this, [this] { RunEdit([this] { FileButtonClick(); }); });
    connect(SetOverlayDirButton, &QPushButton::clicked, this, [this] { RunEdit([this] { PathButtonClick(); }); });
    connect(TransparencyButton, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { PickTransparencyColour(); }); });
    connect(TransparencyEdit, &QSpinBox::valueChanged, this,
            [this](int v) { WriteImage([v](TOverlayImage& i) { i.Transparency = 1.0 - v * 0.01; }); });
    connect(DrawOverlayCheck, &QCheckBox::toggled, this,
            [this](bool on) { WriteImage([on](TOverlayImage& i) { i.DrawOverlay = on ? 1 : 0; }); });
    connect(DrawFullCheck, &QCheckBox::toggled, this,
            [this](bool on) { WriteImage([on](TOverlayImage& i) { i.DrawFull = on ? 1 : 0; }); });
    connect(TransparencyCheck, &QCheckBox::toggled, this,
            [this](bool on) { WriteImage([on](TOverlayImage& i) { i.TransparencyMode = on ? 0 : 1; }); });
    connect(ScaleSpinEdit, &QSpinBox::valueChanged, this, [this](int v) { WriteImage([v](TOverlayImage& i) { i.Scale = v; }); });
    connect(ExactCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_)
            RunEdit([this, on] { Project().TerrainLayers.Exact = on ? 1 : 0; });
    });

    // Models
    connect(ModelFileButton, &QPushButton::clicked, this, [this] { RunEdit([this] { ModelFileButtonClick(); }); });
    connect(ModelPathButton, &QPushButton::clicked, this, [this] { RunEdit([this] { PathButtonClick(); }); });

    FTerrain = this;
}

TFTerrain::~TFTerrain()
{
    if (FTerrain == this)
        FTerrain = nullptr;
}

TTerrainLayer* TFTerrain::Layer()
{
    TTerrainLayersBlock& layers = Project().TerrainLayers;
    return LayerListed(layers, selectedLayer_) ? &layers.Items[size_t(selectedLayer_)] : nullptr;
}

TEcologyRule* TFTerrain::Rule()
{
    const TTerrainLayer* layer = Layer();
    if (!layer)
        return nullptr;
    TProject& p = Project();
    const int i = p.FindEcologyRule(layer->ID);
    return i >= 0 && size_t(i) < p.Ecology.Items.size() ? &p.Ecology.Items[size_t(i)] : nullptr;
}

TOverlayImage* TFTerrain::Image()
{
    TProject& p = Project();
    const int i = FindLayerOverlay(p, selectedLayer_);
    return i >= 0 ? &p.Overlays.Items[size_t(i)] : nullptr;
}

template <class F>
void TFTerrain::WriteLayer(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        if (TTerrainLayer* layer = Layer())
            change(*layer);
    });
}

template <class F>
void TFTerrain::WriteRule(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        if (TEcologyRule* rule = Rule())
            change(*rule);
    });
}

template <class F>
void TFTerrain::WriteImage(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        if (TOverlayImage* image = Image())
            change(*image);
    });
}

void TFTerrain::SendForceLimitedRedraw()
{
    TAppMessage message;
    message.Msg = WM_FORCELIMITEDREDRAW;
    BroadcastToForms(message);
}

QStringList TFTerrain::VisiblePages() const
{
    QStringList shown;
    for (int i = 0; i < PageControl->count(); ++i)
        if (PageControl->isTabVisible(i))
            shown << PageControl->tabText(i);
    return shown;
}

void TFTerrain::ShowPages(const QStringList& titles)
{
    for (int i = 0; i < PageControl->count(); ++i)
        PageControl->setTabVisible(i, titles.contains(PageControl->tabText(i)));
}

void TFTerrain::ClearEcologyPicture()
{
    ecologyPicture_ = QImage(EcologyImageSize, EcologyImageSize, QImage::Format_RGB32);
    ecologyPicture_.fill(Qt::white);
    EcologyImage->setPixmap(QPixmap::fromImage(ecologyPicture_));
}

void TFTerrain::RefreshFromProject()
{
    // Without a project there is nothing to list: refuse like every other editor rather than
    // reading through a null project.
    TProject& p = Project();
    {
        TRefreshScope scope(refreshing_);
        TerrainList->clear();
        listToLayer_ = ListedLayers(p.TerrainLayers);
        for (int index : listToLayer_)
            TerrainList->addItem(QString::fromStdString(p.TerrainLayers.Items[size_t(index)].Name));
        if (listToLayer_.empty()) {
            selectedLayer_ = -1;
        } else {
            auto kept = std::find(listToLayer_.begin(), listToLayer_.end(), selectedLayer_);
            if (kept == listToLayer_.end())
                kept = listToLayer_.begin();
            selectedLayer_ = *kept;
            TerrainList->setCurrentRow(int(kept - listToLayer_.begin()));
        }
    }
    RefreshLayerChoices();
}

void TFTerrain::RefreshLayerChoices()
{
    TProject& p = Project();
    {
        TRefreshScope scope(refreshing_);
        const QString none = QStringLiteral("Not Drawn");
        QStringList plants{none};
        for (int i = 0; i < InUse(p.Actors.Count, p.Actors.Items); ++i)
            plants << QString::fromStdString(p.Actors.Items[size_t(i)].Name);
        QStringList plans{none};
        for (int i = 0; i < InUse(p.Urban.Count, p.Urban.Items); ++i)
            plans << QString::fromStdString(p.Urban.Items[size_t(i)].PlanName);
        for (QComboBox* combo : {PlantCombo[0], PlantCombo[1], PlantCombo[2], PlantCombo[3], TreeComboBox}) {
            combo->clear();
            combo->addItems(plants);
            combo->setCurrentIndex(0);
        }
        UrbanPlanCombo->clear();
        UrbanPlanCombo->addItems(plans);
        UrbanPlanCombo->setCurrentIndex(0);
    }
    // With no layer the pages go too.
    ShowLayer();
}

void TFTerrain::ShowLayer()
{
    TProject& p = Project();
    TRefreshScope scope(refreshing_);
    TTerrainLayer* layer = Layer();
    ShowPages(layer ? LayerPages(layer->LayerType) : QStringList());
    ExactCheck->setChecked(p.TerrainLayers.Exact != 0);
    ClearEcologyPicture();
    if (!layer)
        return;
    const TTerrainLayer& l = *layer;
    // Only a changed name is written back: rewriting it would move the cursor of the user typing it
    // (the name handler itself leads here through WM_FORCELIMITEDREDRAW).
    const QString name = QString::fromStdString(l.Name);
    if (TerrainNameEdit->text() != name)
        TerrainNameEdit->setText(name);
    OverrideDefaultColor->setChecked(l.OverrideDefaultColor != 0);
    OverrideDefaultSurface->setChecked(l.OverrideDefaultSurface != 0);
    WaterCheckBox->setChecked(l.Water != 0);
    DrawEcology->setChecked(l.DrawPlants != 0);
    DrawPlants->setChecked(l.DrawPlants != 0);
    EdgeCheckBox->setChecked(l.Edge != 0);
    DrawModels->setChecked(l.DrawModels != 0);
    UrbanCheckBox->setChecked(l.Urban != 0);
    LayerPrimary->SetFaceColor(ColorRefToQColor(FaceColorRef(l.LayerPrimary)));
    LayerSecondary->SetFaceColor(ColorRefToQColor(FaceColorRef(l.LayerSecondary)));
    LandscapeColor->SetFaceColor(ColorRefToQColor(FaceColorRef(l.LandscapeColor)));
    ShowFloatValue(*BumpinessFloatEdit, l.Bumpiness);
    ShowFloatValue(*SpecularityFloatEdit, l.Specularity);
    ShowFloatValue(*EmissionFloatEdit, l.Emission);
    ShowFloatValue(*ShininessFloatEdit, l.Shininess);
    ShowFloatValue(*LineWidthFloatEdit, l.LineWidth);
    ShowFloatValue(*ModelHeightEdit, l.ModelHeight);
    ModelSourceEdit->setText(QString::fromStdString(l.ModelSource));
    RotationSpinEdit->setValue(std::isnan(l.Rotation) ? 0 : int(std::clamp(std::trunc(l.Rotation), 0.0, 359.0)));

    const int plantTypes = InUse(p.Actors.Count, p.Actors.Items);
    auto actorID = [](const TActor& a) { return a.ID; };
    for (int n = 0; n < 4; ++n) {
        ShowFloatValue(*PlantHeight[n], l.Plants[n].TreeSize);
        ShowFloatValue(*PlantDensity[n], l.Plants[n].TreeDensity);
        PlantCombo[n]->setCurrentIndex(ChoiceOf(p.Actors.Items, plantTypes, l.Plants[n].TreeID, actorID));
    }
    UrbanPlanCombo->setCurrentIndex(
        ChoiceOf(p.Urban.Items, InUse(p.Urban.Count, p.Urban.Items), l.UrbanPlan, [](const TUrbanPlanDef& u) { return u.ID; }));

    if (const TOverlayImage* image = Image()) {
        TransparencyButton->SetFaceColor(ColorRefToQColor(uint32_t(image->TransparencyColor) & 0xFFFFFF));
        TransparencyEdit->setValue(ClampedRound((1.0 - image->Transparency) * 100.0, 0, 100));
        ImageFileEdit->setText(QString::fromStdString(image->FileName));
        DrawOverlayCheck->setChecked(image->DrawOverlay != 0);
        DrawFullCheck->setChecked(image->DrawFull != 0);
        IgnoreWaterCheck->setChecked(image->IgnoreWater != 0);
        TransparencyCheck->setChecked(image->TransparencyMode == 0);
        ScaleSpinEdit->setValue(std::clamp(image->Scale, 1, 100));
    }
    if (const TEcologyRule* rule = Rule()) {
        AltitudeTrackBar->setValue(ClampedRound(rule->Altitude * 100.0, 0, 100));
        SlopeTrackBar->setValue(ClampedRound(rule->Slope * 100.0, 0, 100));
        AspectTrackBar->setValue(ClampedRound(rule->Aspect * 100.0, 0, 100));
        AltToleranceTrackBar->setValue(ClampedRound(rule->AltTolerance * 100.0, 0, 100));
        SlopeToleranceTrackBar->setValue(ClampedRound(rule->SlopeTolerance * 100.0, 0, 100));
        AspectToleranceTrackBar->setValue(ClampedRound(rule->AspectTolerance * 100.0, 0, 100));
        ShowFloatValue(*TreeSizeEdit, rule->TreeSize);
        ShowFloatValue(*TreeDensityEdit, rule->TreeDensity);
        TreeComboBox->setCurrentIndex(ChoiceOf(p.Actors.Items, plantTypes, rule->TreeID, actorID));
    }
}

void TFTerrain::TerrainListClick(int row)
{
    if (row < 0 || size_t(row) >= listToLayer_.size())
        return;
    const int index = listToLayer_[size_t(row)];
    selectedLayer_ = LayerListed(Project().TerrainLayers, index) ? index : -1;
    ShowLayer();
}

void TFTerrain::NewButtonClick()
{
    TProject& p = Project();
    if (!TerrainTypeDlg)
        TerrainTypeDlg = new TTerrainTypeDlg(MainForm ? static_cast<QWidget*>(MainForm) : this);
    TTerrainTypeDlg& dlg = *TerrainTypeDlg;
    // A layer has at most one overlay image.
    const bool hasImage = Image() != nullptr;
    dlg.OverlayRadio->setEnabled(!hasImage);
    if (hasImage && dlg.OverlayRadio->isChecked())
        dlg.SurfaceRadio->setChecked(true);
    if (!ExecTypeDialog(dlg))
        return;
    const int index = AddTerrainLayer(p, dlg.CheckedLayerType());
    {
        TRefreshScope scope(refreshing_);
        listToLayer_.push_back(index);
        TerrainList->addItem(QString::fromStdString(p.TerrainLayers.Items[size_t(index)].Name));
    }
    SendForceLimitedRedraw();
    const int last = int(listToLayer_.size()) - 1;
    {
        TRefreshScope scope(refreshing_);
        TerrainList->setCurrentRow(last);
    }
    TerrainListClick(last);
}

void TFTerrain::DeleteButtonClick()
{
    if (!Layer())
        return;
    DeleteTerrainLayer(Project(), selectedLayer_);
    RefreshFromProject();
    if (!listToLayer_.empty()) {
        {
            TRefreshScope scope(refreshing_);
            TerrainList->setCurrentRow(0);
        }
        TerrainListClick(0);
    }
    SendForceLimitedRedraw();
}

void TFTerrain::ModelFileButtonClick()
{
    TTerrainLayer* layer = Layer();
    if (!layer)
        return;
    const TProject& p = Project();
    const std::string chosen = Prompt().OpenFileName("Open", ModelFileFilter, DialogFolder(p.Models.Directory));
    if (chosen.empty())
        return;
    std::string bare;
    if (!FileInFolder(chosen, p.Models.Directory, bare)) {
        ShowError(ModelFolderMessage);
        return;
    }
    layer = Layer(); // the dialog let other windows run
    if (!layer)
        return;
    ModelSourceEdit->setText(QString::fromStdString(bare));
    layer->ModelSource = CutShortString(ModelSourceEdit->text().toStdString());
}

void TFTerrain::FileButtonClick()
{
    TOverlayImage* image = Image();
    if (!image)
        return;
    const TProject& p = Project();
    const std::string chosen = Prompt().OpenFileName("Open", PictureFilter(), DialogFolder(p.Overlays.Directory));
    if (chosen.empty())
        return;
    std::string bare;
    if (!FileInFolder(chosen, p.Overlays.Directory, bare)) {
        ShowError(OverlayFolderMessage);
        return;
    }
    image = Image(); // the dialog let other windows run
    if (!image)
        return;
    ImageFileEdit->setText(QString::fromStdString(bare));
    image->FileName = CutShortString(ImageFileEdit->text().toStdString());
}

void TFTerrain::PathButtonClick()
{
    static QPointer<TFPathDlg> own;
    TFPathDlg* dlg = FPathDlg;
    if (!dlg) {
        if (!own)
            own = new TFPathDlg(this);
        dlg = own;
    }
    TProject& p = Project();
    dlg->VegetationEdit->setText(QString::fromStdString(p.Actors.Directory));
    dlg->ModelsEdit->setText(QString::fromStdString(p.Models.Directory));
    dlg->OverlaysEdit->setText(QString::fromStdString(p.Overlays.Directory));
    if (!ExecPathDialog(*dlg))
        return;
    p.Actors.Directory = CutShortString(dlg->VegetationEdit->text().toStdString());
    p.Models.Directory = CutShortString(dlg->ModelsEdit->text().toStdString());
    p.Overlays.Directory = CutShortString(dlg->OverlaysEdit->text().toStdString());
}

void TFTerrain::PreviewEcologyButtonClick()
{
    const TEcologyRule* rule = Rule();
    if (!rule)
        return;
    TBusyCursor busy;
    const TEcologyRule copy = *rule;
    ecologyPicture_ = EcologyPreview(Project(), copy, EcologyImage->width(), EcologyImage->height());
    EcologyImage->setPixmap(QPixmap::fromImage(ecologyPicture_));
}

void TFTerrain::PickLayerColour(THemisphereButton* button, TFloatColor TTerrainLayer::*field, bool redraw)
{
    // The landscape colour's face follows the choice even without a layer; the others need one.
    if (!Layer() && !redraw)
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(button->FaceColor()), chosen))
        return;
    button->SetFaceColor(ColorRefToQColor(chosen));
    // Looked up again: the dialog let other windows run.
    TTerrainLayer* layer = Layer();
    if (!layer)
        return;
    layer->*field = ColorRefToFloat(chosen);
    if (redraw)
        SendForceLimitedRedraw();
}

void TFTerrain::PickTransparencyColour()
{
    if (!Image())
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(TransparencyButton->FaceColor()), chosen))
        return;
    TransparencyButton->SetFaceColor(ColorRefToQColor(chosen));
    // The image is looked up again: the dialog let other windows run.
    if (TOverlayImage* image = Image())
        image->TransparencyColor = int32_t(chosen & 0xFFFFFF);
}
