#include "editors/FractalParameters.h"

#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorPattern.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/StrStuff.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

TFFractalParameters* FFractalParameters = nullptr;

namespace {

// A tree node carries its surface's ID and, so that surfaces of an old file sharing an ID stay
// apart, the surface's index.
constexpr int IdRole = Qt::UserRole;
constexpr int IndexRole = Qt::UserRole + 1;

// The surfaces in use: the count, never beyond the array.
int SurfacesInUse(const TFractalBlock& f)
{
    return static_cast<int>(std::min<size_t>(size_t(std::max(f.TerrainSurfaceCount, 0)), f.TerrainSurfaces.size()));
}

TFloatEdit* NumberField(QWidget* parent, double min, double max, const char* hint = nullptr)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(0);
    e->SetMin(min);
    e->SetMax(max);
    if (hint)
        e->setToolTip(QString::fromUtf8(hint));
    return e;
}

QSpinBox* SpinEdit(QWidget* parent, int min, int max, const char* hint = nullptr)
{
    auto* s = new QSpinBox(parent);
    s->setRange(min, max);
    if (hint)
        s->setToolTip(QString::fromUtf8(hint));
    return s;
}

} // namespace

// ---- The surface tree --------------------------------------------------------------------------

bool SurfaceInUse(const TFractalBlock& f, int index)
{
    return index >= 0 && index < SurfacesInUse(f) && !f.TerrainSurfaces[size_t(index)].Deleted;
}

int FindSurfaceIndex(const TFractalBlock& f, int32_t id)
{
    const int n = SurfacesInUse(f);
    for (int i = 0; i < n; ++i)
        if (!f.TerrainSurfaces[size_t(i)].Deleted && f.TerrainSurfaces[size_t(i)].SurfaceID == id)
            return i;
    return -1;
}

int AddChildSurface(TFractalBlock& f, int parentIndex)
{
    if (!SurfaceInUse(f, parentIndex))
        return -1;
    const int n = SurfacesInUse(f);
    // A counter behind the IDs in the array (an edited or damaged file) would hand out an ID that
    // is taken, and the new child would hang under the wrong parent after the next load.
    int32_t id = f.TerrainSurfaceNextID;
    for (int i = 0; i < n; ++i) {
        const int32_t used = f.TerrainSurfaces[size_t(i)].SurfaceID;
        if (used >= id)
            id = used == INT32_MAX ? INT32_MAX : used + 1;
    }
    const TTerrainSurface& parent = f.TerrainSurfaces[size_t(parentIndex)];
    TTerrainSurface child;
    child.Material = parent.Material;
    child.SurfaceName = parent.SurfaceName;
    child.MaxAltitude = parent.MaxAltitude;
    child.MinAltitude = parent.MinAltitude;
    child.MaxSlope = parent.MaxSlope;
    child.MinSlope = parent.MinSlope;
    child.Coverage = parent.Coverage;
    child.MaxAltitudeValue = parent.MaxAltitudeValue;
    child.MinAltitudeValue = parent.MinAltitudeValue;
    child.MaxSlopeValue = parent.MaxSlopeValue;
    child.MinSlopeValue = parent.MinSlopeValue;
    child.MaxAltitudeEdge = parent.MaxAltitudeEdge;
    child.MinAltitudeEdge = parent.MinAltitudeEdge;
    child.MaxSlopeEdge = parent.MaxSlopeEdge;
    child.MinSlopeEdge = parent.MinSlopeEdge;
    child.SurfaceID = id;
    child.ParentID = parent.SurfaceID;
    child.Deleted = 0;
    child.Bumpiness = 0;
    // Entries past the count are not part of the project; the new one takes the first of them.
    if (size_t(n) < f.TerrainSurfaces.size())
        f.TerrainSurfaces[size_t(n)] = child;
    else
        f.TerrainSurfaces.push_back(child);
    f.TerrainSurfaceCount = n + 1;
    f.TerrainSurfaceNextID = id == INT32_MAX ? id : id + 1;
    return n;
}

TSurfaceRemoval RemoveSurface(TFractalBlock& f, int index)
{
    if (!SurfaceInUse(f, index))
        return TSurfaceRemoval::NoSurface;
    TTerrainSurface& s = f.TerrainSurfaces[size_t(index)];
    if (s.ParentID < 0)
        return TSurfaceRemoval::Root;
    // Children the tree does not show (placed before their parent in the array) count too: they
    // would otherwise be left with a deleted parent.
    const int n = SurfacesInUse(f);
    for (int i = 0; i < n; ++i) {
        const TTerrainSurface& other = f.TerrainSurfaces[size_t(i)];
        if (i != index && !other.Deleted && other.ParentID == s.SurfaceID)
            return TSurfaceRemoval::HasChildren;
    }
    s.Deleted = 1;
    return TSurfaceRemoval::Removed;
}

// ---- The window --------------------------------------------------------------------------------

TFFractalParameters::TFFractalParameters(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Fractalization Parameters Editor"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    top->addLayout(left);
    top->addLayout(right);

    auto* depth = new QGroupBox(QStringLiteral("Fractal"), this);
    auto* dg = new QGridLayout(depth);
    FractalDepthEdit = SpinEdit(depth, 1, 4, "Fractal recursion level");
    dg->addWidget(new QLabel(QStringLiteral("Depth.  Maximum fractal depth used for rendering"), depth), 0, 0);
    dg->addWidget(FractalDepthEdit, 0, 1);
    BiasSpinEdit = SpinEdit(depth, INT_MIN, INT_MAX);
    dg->addWidget(new QLabel(QStringLiteral("Bias.  Controls fractal bias between surface colors"), depth), 1, 0);
    dg->addWidget(BiasSpinEdit, 1, 1);
    left->addWidget(depth);

    auto* seeds = new QGroupBox(QStringLiteral("Seeds"), this);
    auto* sg = new QGridLayout(seeds);
    RPlaneSeed = NumberField(seeds, 0, 32767, "Fractal seed value");
    RFreqSeed = NumberField(seeds, 100, 65536);
    BPlaneSeed = NumberField(seeds, 0, 32767, "Fractal seed value");
    BFreqSeed = NumberField(seeds, 100, 65536);
    sg->addWidget(new QLabel(QStringLiteral("Roughness"), seeds), 0, 0, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("Plane"), seeds), 1, 0);
    sg->addWidget(RPlaneSeed, 1, 1);
    sg->addWidget(new QLabel(QStringLiteral("Frequency"), seeds), 2, 0);
    sg->addWidget(RFreqSeed, 2, 1);
    sg->addWidget(new QLabel(QStringLiteral("Bands"), seeds), 3, 0, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("Plane"), seeds), 4, 0);
    sg->addWidget(BPlaneSeed, 4, 1);
    sg->addWidget(new QLabel(QStringLiteral("Frequency"), seeds), 5, 0);
    sg->addWidget(BFreqSeed, 5, 1);
    left->addWidget(seeds);

    auto* bands = new QGroupBox(QStringLiteral("Bands"), this);
    auto* bg = new QGridLayout(bands);
    TreeLine = SpinEdit(bands, 0, 100);
    SnowLine = SpinEdit(bands, 0, 100);
    BandFuzzyness = SpinEdit(bands, 0, 100, "Increase to randomize edges");
    bg->addWidget(new QLabel(QStringLiteral("Tree Line.  Position as a % of landscape maximum height"), bands), 0, 0);
    bg->addWidget(TreeLine, 0, 1);
    bg->addWidget(new QLabel(QStringLiteral("Snow Line.  Position as a % of landscape maximum height"), bands), 1, 0);
    bg->addWidget(SnowLine, 1, 1);
    bg->addWidget(new QLabel(QStringLiteral("Edge fuzzyness for treeline and snowline positions"), bands), 2, 0);
    bg->addWidget(BandFuzzyness, 2, 1);
    left->addWidget(bands);
    left->addStretch();

    auto* surfaces = new QGroupBox(QStringLiteral("Standard Surfaces"), this);
    auto* ug = new QGridLayout(surfaces);
    SurfaceTreeView = new QTreeWidget(surfaces);
    SurfaceTreeView->setHeaderHidden(true);
    SurfaceTreeView->setColumnCount(1);
    SurfaceTreeView->setMinimumHeight(140);
    ug->addWidget(SurfaceTreeView, 0, 0, 1, 4);
    SurfaceNameEdit = new QLineEdit(surfaces);
    SurfaceNameEdit->setMaxLength(255);
    AddChildButton = new QPushButton(QStringLiteral("Add"), surfaces);
    RemoveChildButton = new QPushButton(QStringLiteral("Remove"), surfaces);
    ug->addWidget(SurfaceNameEdit, 1, 0, 1, 2);
    ug->addWidget(AddChildButton, 1, 2);
    ug->addWidget(RemoveChildButton, 1, 3);

    PrimaryColorButton = new THemisphereButton(surfaces);
    PrimaryColorButton->setFixedSize(32, 32);
    SecondaryColorButton = new THemisphereButton(surfaces);
    SecondaryColorButton->setFixedSize(32, 32);
    auto* colours = new QHBoxLayout;
    colours->addWidget(PrimaryColorButton);
    colours->addWidget(SecondaryColorButton);
    colours->addStretch();
    ug->addLayout(colours, 2, 0, 1, 4);

    RoughnessEdit = NumberField(surfaces, 0, 9999);
    ShininessEdit = NumberField(surfaces, 0, 100);
    SpecularityEdit = NumberField(surfaces, 0, 100);
    EmissionEdit = NumberField(surfaces, 0, 100);
    BumpinessEdit = NumberField(surfaces, 0, 9999);
    CoverageSpinEdit = SpinEdit(surfaces, 0, 100);
    const std::pair<const char*, QWidget*> material[] = {
        {"Roughness.  This controls large scale surface displacements", RoughnessEdit},
        {"Bumpiness.  Controls small scale texture roughness.", BumpinessEdit},
        {"Shininess", ShininessEdit},
        {"Specularity", SpecularityEdit},
        {"Emission", EmissionEdit},
        {"Coverage weighting", CoverageSpinEdit},
    };
    int row = 3;
    for (const auto& [caption, edit] : material) {
        ug->addWidget(new QLabel(QString::fromUtf8(caption), surfaces), row, 0, 1, 3);
        ug->addWidget(edit, row, 3);
        ++row;
    }
    right->addWidget(surfaces);

    auto* limits = new QGroupBox(QStringLiteral("Limits"), this);
    auto* lg = new QGridLayout(limits);
    MaxAltitudeCheck = new QCheckBox(QStringLiteral("Max Altitude"), limits);
    MinAltitudeCheck = new QCheckBox(QStringLiteral("Min Altitude"), limits);
    MaxSlopeCheck = new QCheckBox(QStringLiteral("Max Slope"), limits);
    MinSlopeCheck = new QCheckBox(QStringLiteral("Min Slope"), limits);
    MaxAltitudeSpinEdit = SpinEdit(limits, 0, 100);
    MinAltitudeSpinEdit = SpinEdit(limits, 0, 100);
    MaxSlopeSpinEdit = SpinEdit(limits, 0, 90);
    MinSlopeSpinEdit = SpinEdit(limits, 0, 90);
    MaxAltitudeFuzzynessSpinEdit = SpinEdit(limits, 0, 100);
    MinAltitudeFuzzynessSpinEdit = SpinEdit(limits, 0, 100);
    MaxSlopeFuzzynessSpinEdit = SpinEdit(limits, 0, 100);
    MinSlopeFuzzynessSpinEdit = SpinEdit(limits, 0, 100);
    struct LimitRow {
        QCheckBox* check;
        const char* valueCaption;
        QSpinBox* value;
        const char* edgeCaption;
        QSpinBox* edge;
    } rows[] = {
        {MaxAltitudeCheck, "Edge (as % of height range)", MaxAltitudeSpinEdit, "Edge fuzzyness.", MaxAltitudeFuzzynessSpinEdit},
        {MinAltitudeCheck, "Edge (as % of height range)", MinAltitudeSpinEdit, "Edge fuzzyness.", MinAltitudeFuzzynessSpinEdit},
        {MaxSlopeCheck, "Slope (degrees)", MaxSlopeSpinEdit, "Slope fuzzyness.", MaxSlopeFuzzynessSpinEdit},
        {MinSlopeCheck, "Slope (degrees)", MinSlopeSpinEdit, "Slope fuzzyness.", MinSlopeFuzzynessSpinEdit},
    };
    row = 0;
    for (const LimitRow& r : rows) {
        lg->addWidget(r.check, row, 0);
        lg->addWidget(new QLabel(QString::fromUtf8(r.valueCaption), limits), row, 1);
        lg->addWidget(r.value, row, 2);
        lg->addWidget(new QLabel(QString::fromUtf8(r.edgeCaption), limits), row, 3);
        lg->addWidget(r.edge, row, 4);
        ++row;
    }
    right->addWidget(limits);
    right->addStretch();

    // Upper controls.
    connect(FractalDepthEdit, &QSpinBox::valueChanged, this, [this](int v) { FractalDepthChange(v); });
    auto seed = [this](TFloatEdit* edit, int32_t TFractalBlock::*field) {
        connect(edit, &QLineEdit::textChanged, this,
                [this, edit, field] { WriteFractal([edit, field](TFractalBlock& f) { f.*field = Round(edit->Value()); }); });
    };
    seed(RPlaneSeed, &TFractalBlock::RPlaneSeed);
    seed(RFreqSeed, &TFractalBlock::RFreqSeed);
    seed(BPlaneSeed, &TFractalBlock::BPlaneSeed);
    seed(BFreqSeed, &TFractalBlock::BFreqSeed);
    auto spin = [this](QSpinBox* edit, int32_t TFractalBlock::*field) {
        connect(edit, &QSpinBox::valueChanged, this,
                [this, field](int v) { WriteFractal([field, v](TFractalBlock& f) { f.*field = v; }); });
    };
    spin(TreeLine, &TFractalBlock::TreeLine);
    spin(SnowLine, &TFractalBlock::SnowLine);
    spin(BandFuzzyness, &TFractalBlock::BandEdgeFuzziness);
    spin(BiasSpinEdit, &TFractalBlock::BaseTerrainBias);

    // The tree and its buttons.
    connect(SurfaceTreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { RunHandler([this, current] { TreeChange(current); }); });
    connect(AddChildButton, &QPushButton::clicked, this, [this] { RunEdit([this] { AddChildButtonClick(); }); });
    connect(RemoveChildButton, &QPushButton::clicked, this, [this] { RunEdit([this] { RemoveChildButtonClick(); }); });
    connect(SurfaceNameEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        WriteSurface([this, &text](TTerrainSurface& s) {
            s.SurfaceName = CutShortString(text.toStdString());
            if (QTreeWidgetItem* node = NodeOf(selectedSurface_))
                node->setText(0, QString::fromStdString(s.SurfaceName));
        });
    });

    // The selected surface.
    connect(PrimaryColorButton, &THemisphereButton::OnClick, this,
            [this] { RunEdit([this] { PickColour(PrimaryColorButton, true); }); });
    connect(SecondaryColorButton, &THemisphereButton::OnClick, this,
            [this] { RunEdit([this] { PickColour(SecondaryColorButton, false); }); });
    connect(RoughnessEdit, &QLineEdit::textChanged, this,
            [this] { WriteSurface([this](TTerrainSurface& s) { s.Material.Roughness = RoughnessEdit->Value(); }); });
    connect(ShininessEdit, &QLineEdit::textChanged, this,
            [this] { WriteSurface([this](TTerrainSurface& s) { s.Material.Shininess = Round(ShininessEdit->Value()); }); });
    connect(SpecularityEdit, &QLineEdit::textChanged, this,
            [this] { WriteSurface([this](TTerrainSurface& s) { s.Material.Specularity = SpecularityEdit->Value(); }); });
    connect(EmissionEdit, &QLineEdit::textChanged, this,
            [this] { WriteSurface([this](TTerrainSurface& s) { s.Material.Emission = EmissionEdit->Value(); }); });
    connect(BumpinessEdit, &QLineEdit::textChanged, this,
            [this] { WriteSurface([this](TTerrainSurface& s) { s.Bumpiness = BumpinessEdit->Value(); }); });
    auto check = [this](QCheckBox* box, uint8_t TTerrainSurface::*field) {
        connect(box, &QCheckBox::toggled, this,
                [this, field](bool on) { WriteSurface([field, on](TTerrainSurface& s) { s.*field = on ? 1 : 0; }); });
    };
    check(MaxAltitudeCheck, &TTerrainSurface::MaxAltitude);
    check(MinAltitudeCheck, &TTerrainSurface::MinAltitude);
    check(MaxSlopeCheck, &TTerrainSurface::MaxSlope);
    check(MinSlopeCheck, &TTerrainSurface::MinSlope);
    auto value = [this](QSpinBox* edit, double TTerrainSurface::*field) {
        connect(edit, &QSpinBox::valueChanged, this,
                [this, field](int v) { WriteSurface([field, v](TTerrainSurface& s) { s.*field = v; }); });
    };
    value(CoverageSpinEdit, &TTerrainSurface::Coverage);
    value(MaxAltitudeSpinEdit, &TTerrainSurface::MaxAltitudeValue);
    value(MinAltitudeSpinEdit, &TTerrainSurface::MinAltitudeValue);
    value(MaxSlopeSpinEdit, &TTerrainSurface::MaxSlopeValue);
    value(MinSlopeSpinEdit, &TTerrainSurface::MinSlopeValue);
    value(MaxAltitudeFuzzynessSpinEdit, &TTerrainSurface::MaxAltitudeEdge);
    value(MinAltitudeFuzzynessSpinEdit, &TTerrainSurface::MinAltitudeEdge);
    value(MaxSlopeFuzzynessSpinEdit, &TTerrainSurface::MaxSlopeEdge);
    value(MinSlopeFuzzynessSpinEdit, &TTerrainSurface::MinSlopeEdge);

    FFractalParameters = this;
}

TFFractalParameters::~TFFractalParameters()
{
    if (FFractalParameters == this)
        FFractalParameters = nullptr;
}

template <class F>
void TFFractalParameters::WriteFractal(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] { change(Project().Fractal); });
}

template <class F>
void TFFractalParameters::WriteSurface(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        TFractalBlock& f = Project().Fractal;
        if (SurfaceInUse(f, selectedSurface_))
            change(f.TerrainSurfaces[size_t(selectedSurface_)]);
    });
}

void TFFractalParameters::RefreshFromProject()
{
    TProject& p = Project(); // EInitError without a project
    TBusyCursor busy;
    {
        TRefreshScope scope(refreshing_);
        const TFractalBlock& f = p.Fractal;
        FractalDepthEdit->setValue(ClampedRound(f.FractalDepth, 1, 4));
        ShowFloatValue(*RPlaneSeed, f.RPlaneSeed);
        ShowFloatValue(*RFreqSeed, f.RFreqSeed);
        ShowFloatValue(*BPlaneSeed, f.BPlaneSeed);
        ShowFloatValue(*BFreqSeed, f.BFreqSeed);
        TreeLine->setValue(ClampedRound(f.TreeLine, 0, 100));
        SnowLine->setValue(ClampedRound(f.SnowLine, 0, 100));
        BandFuzzyness->setValue(ClampedRound(f.BandEdgeFuzziness, 0, 100));
        BiasSpinEdit->setValue(f.BaseTerrainBias);
        RebuildTree();
    }
    // The rebuilt tree has no selection: its first node is selected, or, with no node at all,
    // nothing (an index left from an earlier project would address someone else's surfaces).
    if (QTreeWidgetItem* first = SurfaceTreeView->topLevelItem(0))
        SurfaceTreeView->setCurrentItem(first);
    else
        selectedSurface_ = -1;
    if (QTreeWidgetItem* current = SurfaceTreeView->currentItem())
        selectedSurface_ = current->data(0, IndexRole).toInt();
    ShowSurface();
}

void TFFractalParameters::RebuildTree()
{
    SurfaceTreeView->clear();
    const TFractalBlock& f = Project().Fractal;
    const int n = SurfacesInUse(f);
    for (int i = 0; i < n; ++i) {
        const TTerrainSurface& s = f.TerrainSurfaces[size_t(i)];
        if (s.Deleted)
            continue;
        QTreeWidgetItem* parent = nullptr;
        if (s.ParentID >= 0) {
            for (QTreeWidgetItemIterator it(SurfaceTreeView); *it; ++it)
                if ((*it)->data(0, IdRole).toInt() == s.ParentID) {
                    parent = *it;
                    break;
                }
            if (!parent) // parent deleted or later in the array: not shown
                continue;
        }
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(SurfaceTreeView);
        node->setText(0, QString::fromStdString(s.SurfaceName));
        node->setData(0, IdRole, s.SurfaceID);
        node->setData(0, IndexRole, i);
    }
    SurfaceTreeView->expandAll();
}

QTreeWidgetItem* TFFractalParameters::NodeOf(int surfaceIndex) const
{
    for (QTreeWidgetItemIterator it(SurfaceTreeView); *it; ++it)
        if ((*it)->data(0, IndexRole).toInt() == surfaceIndex)
            return *it;
    return nullptr;
}

void TFFractalParameters::TreeChange(QTreeWidgetItem* node)
{
    if (refreshing_ || !node)
        return;
    const int index = node->data(0, IndexRole).toInt();
    if (!SurfaceInUse(Project().Fractal, index))
        return;
    selectedSurface_ = index;
    ShowSurface();
}

void TFFractalParameters::ShowSurface()
{
    const TFractalBlock& f = Project().Fractal;
    if (!SurfaceInUse(f, selectedSurface_))
        return;
    TRefreshScope scope(refreshing_);
    const TTerrainSurface& s = f.TerrainSurfaces[size_t(selectedSurface_)];
    PrimaryColorButton->SetFaceColor(ColorRefToQColor(FaceColorRef(s.Material.PrimaryColor)));
    SecondaryColorButton->SetFaceColor(ColorRefToQColor(FaceColorRef(s.Material.SecondaryColor)));
    SurfaceNameEdit->setText(QString::fromStdString(s.SurfaceName));
    ShowFloatValue(*RoughnessEdit, s.Material.Roughness);
    ShowFloatValue(*ShininessEdit, s.Material.Shininess);
    ShowFloatValue(*SpecularityEdit, s.Material.Specularity);
    ShowFloatValue(*EmissionEdit, s.Material.Emission);
    MaxAltitudeCheck->setChecked(s.MaxAltitude != 0);
    MinAltitudeCheck->setChecked(s.MinAltitude != 0);
    MaxSlopeCheck->setChecked(s.MaxSlope != 0);
    MinSlopeCheck->setChecked(s.MinSlope != 0);
    auto show = [](QSpinBox* edit, double v) { edit->setValue(ClampedRound(v, edit->minimum(), edit->maximum())); };
    show(CoverageSpinEdit, s.Coverage);
    show(MaxAltitudeSpinEdit, s.MaxAltitudeValue);
    show(MinAltitudeSpinEdit, s.MinAltitudeValue);
    show(MaxSlopeSpinEdit, s.MaxSlopeValue);
    show(MinSlopeSpinEdit, s.MinSlopeValue);
    show(MaxAltitudeFuzzynessSpinEdit, s.MaxAltitudeEdge);
    show(MinAltitudeFuzzynessSpinEdit, s.MinAltitudeEdge);
    show(MaxSlopeFuzzynessSpinEdit, s.MaxSlopeEdge);
    show(MinSlopeFuzzynessSpinEdit, s.MinSlopeEdge);
    ShowFloatValue(*BumpinessEdit, std::nearbyint(s.Bumpiness));
}

void TFFractalParameters::ShowFractalDepth()
{
    TRefreshScope scope(refreshing_);
    FractalDepthEdit->setValue(ClampedRound(Project().Fractal.FractalDepth, 1, 4));
}

void TFFractalParameters::FractalDepthChange(int value)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        TFractalBlock& f = Project().Fractal;
        if (f.FractalDepth == value)
            return;
        f.FractalDepth = value;
        TAppMessage message;
        message.Msg = WM_FRACTALDEPTHCHANGED;
        BroadcastToForms(message);
    });
}

void TFFractalParameters::AddChildButtonClick()
{
    QTreeWidgetItem* parentNode = SurfaceTreeView->currentItem();
    if (!parentNode)
        return;
    TFractalBlock& f = Project().Fractal;
    const int n = AddChildSurface(f, parentNode->data(0, IndexRole).toInt());
    if (n < 0)
        return;
    const TTerrainSurface& s = f.TerrainSurfaces[size_t(n)];
    auto* node = new QTreeWidgetItem(parentNode);
    node->setText(0, QString::fromStdString(s.SurfaceName));
    node->setData(0, IdRole, s.SurfaceID);
    node->setData(0, IndexRole, n);
    parentNode->setExpanded(true);
    {
        TRefreshScope scope(refreshing_);
        SurfaceTreeView->setCurrentItem(node);
    }
    selectedSurface_ = n;
    ShowSurface();
}

void TFFractalParameters::RemoveChildButtonClick()
{
    QTreeWidgetItem* node = SurfaceTreeView->currentItem();
    if (!node)
        return;
    TFractalBlock& f = Project().Fractal;
    switch (RemoveSurface(f, node->data(0, IndexRole).toInt())) {
    case TSurfaceRemoval::NoSurface: return;
    case TSurfaceRemoval::Root: ShowMessage(RootSurfaceMessage); return;
    case TSurfaceRemoval::HasChildren: ShowMessage(ChildSurfacesMessage); return;
    case TSurfaceRemoval::Removed: break;
    }
    // The parent takes the selection, so the controls never go on writing a deleted surface.
    QTreeWidgetItem* parentNode = node->parent();
    {
        TRefreshScope scope(refreshing_);
        if (parentNode)
            SurfaceTreeView->setCurrentItem(parentNode);
        delete node;
    }
    QTreeWidgetItem* current = SurfaceTreeView->currentItem();
    selectedSurface_ = current ? current->data(0, IndexRole).toInt() : -1;
    ShowSurface();
}

void TFFractalParameters::PickColour(THemisphereButton* button, bool primary)
{
    TFractalBlock& f = Project().Fractal;
    if (!SurfaceInUse(f, selectedSurface_))
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(button->FaceColor()), chosen))
        return;
    button->SetFaceColor(ColorRefToQColor(chosen));
    TSurfaceMaterial& m = f.TerrainSurfaces[size_t(selectedSurface_)].Material;
    (primary ? m.PrimaryColor : m.SecondaryColor) = ColorRefToFloat(chosen);
}
