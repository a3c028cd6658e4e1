#include "heightgrid/Placement.h"

#include "heightgrid/DefNet.h"
#include "heightgrid/MapEditorParts.h"
#include "heightgrid/Landscape.h"
#include "heightgrid/MapParameters.h"
#include "models/GraphicEx.h"
#include "project/Messages.h"
#include "project/Project.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

TFPlacement* FPlacement = nullptr;

namespace {

constexpr int FixedCheckEntries = 3; // "Heights", "Background", "Water"


QListWidgetItem* checkItem(QListWidget* list, const QString& text, bool checked)
{
    auto* item = new QListWidgetItem(text, list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

} // namespace

TPlacementToolSet PlacementToolsForLayerType(int32_t layerType)
{
    switch (layerType) {
    case 0: // surface
    case 4: // vegetation
    case 5: // urban
        return {true, true, false, true};
    case 2: return {true, true, false, false}; // overlay
    case 3: return {true, false, true, false}; // model
    default: return {};                        // ecology, and types this version does not know
    }
}

TFPlacement::TFPlacement(QWidget* parent) : TFBaseForm(parent)
{
    FPlacement = this;
    setWindowTitle(QStringLiteral("Terrain Placement Editor"));
    resize(700, 580);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* tools = new QToolBar(this);
    ZoomInToolButton = MapToolButton(tools, QStringLiteral("+"), QStringLiteral("Zoom in"), false);
    ZoomOutToolButton = MapToolButton(tools, QStringLiteral("-"), QStringLiteral("Zoom out"), false);
    RedrawToolButton = MapToolButton(tools, QStringLiteral("Redraw"), QStringLiteral("Redraw"), false);
    tools->addSeparator();
    SelectToolButton = MapToolButton(tools, QStringLiteral("Select"), QStringLiteral("Select terrain item"), true);
    TerrainToolButton = MapToolButton(tools, QStringLiteral("Area"), QStringLiteral("Add terrain area"), true);
    ActorToolButton = MapToolButton(tools, QStringLiteral("Model"), QStringLiteral("Add model at point"), true);
    LineToolButton = MapToolButton(tools, QStringLiteral("Line"), QStringLiteral("Add terrain line"), true);
    layout->addWidget(tools);
    auto* group = new QButtonGroup(this);
    const std::pair<QToolButton*, uint8_t> modes[] = {
        {SelectToolButton, ModeSelect}, {TerrainToolButton, ModeRegion}, {ActorToolButton, ModeModel}, {LineToolButton, ModeLine}};
    for (const auto& [button, mode] : modes) {
        group->addButton(button);
        button->setEnabled(false);
        connect(button, &QToolButton::clicked, this, [this, mode = mode] { GuardedCommand([&] { Map->SetMode(mode, nullptr); }); });
    }

    auto* body = new QHBoxLayout;
    layout->addLayout(body, 1);
    Map = AddMapCanvas(this, body, CanvasScrollBox);

    auto* side = new QVBoxLayout;
    body->addLayout(side);
    GeoInfoEdit = AddInfoField(this, side, QStringLiteral("Georef"));
    auto* currentBox = new QGroupBox(QStringLiteral("Current layer"), this);
    LayersComboBox = new QComboBox(currentBox);
    LayersComboBox->addItem(QStringLiteral("Heights/Water"));
    (new QVBoxLayout(currentBox))->addWidget(LayersComboBox);
    side->addWidget(currentBox);
    auto* shownBox = new QGroupBox(QStringLiteral("Layers shown"), this);
    LayersCheckList = new QListWidget(shownBox);
    for (const char* fixed : {"Heights", "Background", "Water"})
        checkItem(LayersCheckList, QString::fromUtf8(fixed), true);
    (new QVBoxLayout(shownBox))->addWidget(LayersCheckList);
    side->addWidget(shownBox, 1);
    auto* definition = new QGroupBox(QStringLiteral("Map Definition"), this);
    auto* defLayout = new QHBoxLayout(definition);
    defLayout->addWidget(new QLabel(QStringLiteral("Map Size"), definition));
    MapSizeLabel = new QLabel(definition);
    defLayout->addWidget(MapSizeLabel);
    side->addWidget(definition);
    BackgroundButton = new QPushButton(QStringLiteral("Set Background"), this);
    side->addWidget(BackgroundButton);
    LayerIndexMap.assign(1, -1);

    SelectPolyPopupMenu = new QMenu(this);
    SelectModelPopupMenu = new QMenu(this);
    SelectLinePopupMenu = new QMenu(this);
    auto command = [this](QMenu* menu, const char* caption, auto action) {
        connect(menu->addAction(QString::fromUtf8(caption)), &QAction::triggered, this, [this, action] {
            GuardedCommand([&] {
                action(*Map);
                ProjectChanged(); // every popup command edits regions, lines or models
                Map->update();
            });
        });
    };
    command(SelectPolyPopupMenu, "Insert point", [](TDefineNet& m) { m.Placement.InsertPoint(false); });
    command(SelectPolyPopupMenu, "Delete this point", [](TDefineNet& m) { m.Placement.DeletePoint(false); });
    SelectPolyPopupMenu->addSeparator();
    command(SelectPolyPopupMenu, "Delete this terrain area", [](TDefineNet& m) { m.Placement.DeleteSelectedRegion(); });
    command(SelectPolyPopupMenu, "Delete all terrain areas in this layer", [](TDefineNet& m) { m.Placement.DeleteLayerRegions(); });
    command(SelectModelPopupMenu, "Edit parameters...", [](TDefineNet& m) { m.EditSelectedModel(); });
    command(SelectModelPopupMenu, "Delete this model", [](TDefineNet& m) { m.Placement.DeleteSelectedModel(); });
    command(SelectModelPopupMenu, "Delete all models in this layer", [](TDefineNet& m) { m.Placement.DeleteLayerModels(); });
    command(SelectLinePopupMenu, "Insert point", [](TDefineNet& m) { m.Placement.InsertPoint(true); });
    command(SelectLinePopupMenu, "Delete this point", [](TDefineNet& m) { m.Placement.DeletePoint(true); });
    SelectLinePopupMenu->addSeparator();
    command(SelectLinePopupMenu, "Delete this line", [](TDefineNet& m) { m.Placement.DeleteSelectedLine(); });
    command(SelectLinePopupMenu, "Delete all lines in this layer", [](TDefineNet& m) { m.Placement.DeleteLayerLines(); });

    connect(ZoomInToolButton, &QToolButton::clicked, this, [this] {
        GuardedCommand([this] {
            Map->ZoomBy(true);
            RefreshFromProject();
        });
    });
    connect(ZoomOutToolButton, &QToolButton::clicked, this, [this] {
        GuardedCommand([this] {
            Map->ZoomBy(false);
            RefreshFromProject();
        });
    });
    connect(RedrawToolButton, &QToolButton::clicked, this, [this] { GuardedCommand([this] { Map->RedrawArea(true); Map->update(); }); });
    connect(LayersComboBox, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_)
            GuardedCommand([this] { LayersComboBoxChange(); });
    });
    connect(LayersCheckList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (loading_)
            return;
        ProjectChanged(); // a layer's visibility is stored with it
        GuardedCommand([&] { LayersCheckListChange(LayersCheckList->row(item)); });
    });
    connect(BackgroundButton, &QPushButton::clicked, this, [this] { GuardedCommand([this] { BackgroundButtonClick(); }); });
}

TFPlacement::~TFPlacement()
{
    if (FPlacement == this)
        FPlacement = nullptr;
}

void TFPlacement::SetProject(TProject** project)
{
    TFBaseForm::SetProject(project);
    Map->SetProject(project);
}

void TFPlacement::RefreshFromProject()
{
    if (!hasProject())
        return;
    Map->ApplyZoom();
    Map->FitToWindow();
    Map->RedrawArea(true);
    const TGridBlock& grid = Project().Grid;
    MapSizeLabel->setText(QString::fromStdString(DisplayMapSize(grid.SpacingX, grid.SpacingY, grid.SizeX, grid.SizeY)));
    ZoomInToolButton->setEnabled(Map->CanZoom(true));
    ZoomOutToolButton->setEnabled(Map->CanZoom(false));
    Map->update();
    rebuildLayerLists();
    loading_ = true;
    LayersComboBox->setCurrentIndex(0);
    loading_ = false;
    LayersComboBoxChange();
}

void TFPlacement::RefreshLayers()
{
    if (!hasProject())
        return;
    // The current layer stays chosen when it is still listed; the selection stays.
    const int32_t current = Map->Placement.CurrentLayer;
    rebuildLayerLists();
    loading_ = true;
    int entry = 0;
    for (size_t i = 1; i < LayerIndexMap.size(); ++i)
        if (Project().TerrainLayers.Items[LayerIndexMap[i]].ID == current)
            entry = static_cast<int>(i);
    LayersComboBox->setCurrentIndex(entry);
    loading_ = false;
    // A current layer that was deleted is dropped with its tools, so nothing is drawn on it.
    if (entry == 0 && current != -1)
        LayersComboBoxChange();
    Map->update();
}

void TFPlacement::rebuildLayerLists()
{
    loading_ = true;
    while (LayersCheckList->count() > FixedCheckEntries)
        delete LayersCheckList->takeItem(FixedCheckEntries);
    while (LayersComboBox->count() > 1)
        LayersComboBox->removeItem(1);
    LayerIndexMap.assign(1, -1);
    const TTerrainLayersBlock& layers = Project().TerrainLayers;
    const int count = static_cast<int>(std::min<int64_t>(std::max(layers.Count, 0), static_cast<int64_t>(layers.Items.size())));
    for (int i = 0; i < count; ++i) {
        const TTerrainLayer& layer = layers.Items[i];
        if (layer.Deleted)
            continue;
        LayerIndexMap.push_back(i);
        const QString name = QString::fromStdString(layer.Name);
        LayersComboBox->addItem(name);
        checkItem(LayersCheckList, name, layer.Visible != 0);
    }
    loading_ = false;
}

void TFPlacement::LayersComboBoxChange()
{
    // Every selection is cleared by the tool switch below (SetMode), with its notices.
    const int entry = LayersComboBox->currentIndex();
    const TTerrainLayer* layer = nullptr;
    if (hasProject() && entry > 0 && entry < static_cast<int>(LayerIndexMap.size())) {
        const int index = LayerIndexMap[entry];
        if (index >= 0 && index < static_cast<int>(Project().TerrainLayers.Items.size()))
            layer = &Project().TerrainLayers.Items[index];
    }
    QToolButton* buttons[] = {SelectToolButton, TerrainToolButton, ActorToolButton, LineToolButton};
    if (!layer) {
        Map->Placement.CurrentLayer = -1;
        for (QToolButton* button : buttons) {
            button->setEnabled(false);
            button->setChecked(false);
        }
        Map->SetMode(ModeSpotHeight, nullptr);
        return;
    }
    Map->Placement.CurrentLayer = layer->ID;
    Map->SetMode(ModeSelect, nullptr);
    SelectToolButton->setChecked(true);
    const TPlacementToolSet allowed = PlacementToolsForLayerType(layer->LayerType);
    SelectToolButton->setEnabled(allowed.Select);
    TerrainToolButton->setEnabled(allowed.Area);
    ActorToolButton->setEnabled(allowed.Model);
    LineToolButton->setEnabled(allowed.Line);
}

void TFPlacement::LayersCheckListChange(int row)
{
    if (row < 0 || row >= LayersCheckList->count())
        return;
    const bool checked = LayersCheckList->item(row)->checkState() == Qt::Checked;
    bool* flags[FixedCheckEntries] = {&Map->DrawHeights, &Map->DrawBackground, &Map->DrawFloodMarks};
    if (row < FixedCheckEntries) {
        if (*flags[row] != checked) {
            *flags[row] = checked;
            Map->RedrawArea(true);
        }
    } else if (hasProject()) {
        const size_t entry = static_cast<size_t>(row - FixedCheckEntries + 1);
        if (entry < LayerIndexMap.size() && LayerIndexMap[entry] < static_cast<int>(Project().TerrainLayers.Items.size()))
            Project().TerrainLayers.Items[LayerIndexMap[entry]].Visible = checked ? 1 : 0;
    }
    Map->update();
}

void TFPlacement::BackgroundButtonClick()
{
    const std::string file = Prompt().OpenFileName("Set Background", "Bitmaps (*.bmp)", "");
    if (!file.empty()) {
        QImage picture;
        std::string error;
        if (LoadPicture(file, picture, &error)) {
            Map->Background = picture;
            Map->DrawBackground = true;
            loading_ = true;
            LayersCheckList->item(1)->setCheckState(Qt::Checked);
            loading_ = false;
        } else {
            ShowError(error.empty() ? file : error);
        }
    }
    Map->RedrawArea(true);
    Map->update();
}

void TFPlacement::AppMessage(TAppMessage& message)
{
    switch (message.Msg) {
    case WM_GRIDCURSOR:
        if (hasProject())
            GeoInfoEdit->setText(QString::fromStdString(CursorGeoText(message, *Map, Project().Grid)));
        break;
    case WM_PLACEMENTSELECT: {
        QMenu* menus[] = {SelectPolyPopupMenu, SelectModelPopupMenu, SelectLinePopupMenu};
        const uint32_t kind = message.WParam >> 16;
        Map->SetPopupMenu((message.WParam & 0xFFFF) == 0 || kind > 2 ? nullptr : menus[kind]);
        break;
    }
    case WM_GRIDDRAWPROGRESS:
        StatusSink().SetProgress(int(message.WParam));
        StatusSink().SetOperationText(message.WParam < 1 ? "" : "Drawing height grid");
        break;
    default: break;
    }
}
