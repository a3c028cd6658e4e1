#pragma once
// TFPlacement ("Terrain Placement Editor"): terrain regions and lines are painted and models
// placed for one terrain layer at a time, over the same map control as the landscape editor. The
// window chooses the current layer and with it the tools its type allows, which layers and map
// parts are shown, and the popup menu of the selection.
#include "shell/BaseUnit.h"

#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QScrollArea;
class QToolButton;
class TDefineNet;

// Which of the four tools (select, area, model, line) a terrain layer type allows.
struct TPlacementToolSet {
    bool Select = false, Area = false, Model = false, Line = false;
    bool operator==(const TPlacementToolSet&) const = default;
};
TPlacementToolSet PlacementToolsForLayerType(int32_t layerType);

class TFPlacement : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFPlacement(QWidget* parent = nullptr);
    ~TFPlacement() override;

    void SetProject(TProject** project) override;
    void RefreshFromProject() override;
    void RefreshLayers() override;
    void AppMessage(TAppMessage& message) override;

    // Commands.
    void LayersComboBoxChange();
    void LayersCheckListChange(int row);
    void BackgroundButtonClick();

    TDefineNet* Map = nullptr;
    QScrollArea* CanvasScrollBox = nullptr;
    QToolButton* ZoomInToolButton = nullptr;
    QToolButton* ZoomOutToolButton = nullptr;
    QToolButton* RedrawToolButton = nullptr;
    QToolButton* SelectToolButton = nullptr;
    QToolButton* TerrainToolButton = nullptr;
    QToolButton* ActorToolButton = nullptr;
    QToolButton* LineToolButton = nullptr;
    QLineEdit* GeoInfoEdit = nullptr;
    QComboBox* LayersComboBox = nullptr;
    QListWidget* LayersCheckList = nullptr;
    QLabel* MapSizeLabel = nullptr;
    QPushButton* BackgroundButton = nullptr;
    QMenu* SelectPolyPopupMenu = nullptr;
    QMenu* SelectModelPopupMenu = nullptr;
    QMenu* SelectLinePopupMenu = nullptr;

    // For each list entry after the fixed ones, the index of its terrain layer.
    std::vector<int> LayerIndexMap;

private:
    void rebuildLayerLists();
    bool hasProject() const { return ProjectVar() && *ProjectVar(); }
    bool loading_ = false;
};

// The terrain placement editor while it is open (cleared when it is destroyed).
extern TFPlacement* FPlacement;
