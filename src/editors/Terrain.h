#pragma once
// TFTerrain: the terrain layers editor. Creates, names, deletes and edits the terrain layers that
// the regions and lines of the placement editor refer to. A layer's type decides which pages show:
// Surface, Ecology (with a preview of where its rule lets plants grow), Texture Image Overlay,
// Models, Vegetation and Urban.
//
// The data side (listing, new and deleted layers, the overlay lookup, the folder check of chosen
// files and the ecology preview) is free functions a test can call without the window.
#include "project/TypeDefinition.h"
#include "shell/BaseUnit.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class TEnhTrackBar;
class TFloatEdit;
class TFPathDlg;
class THemisphereButton;
class TProject;
class TTerrainTypeDlg;

inline constexpr const char* ModelFolderMessage = "E0102 File path does not match project's Actor Directory";
inline constexpr const char* OverlayFolderMessage = "E0114 File path does not match project's Overlay Directory";
inline constexpr const char* ModelFileFilter = "3D Studio Max (*.3ds)";

// The layers in use: the count, never beyond the array.
int LayersInUse(const TTerrainLayersBlock& layers);
// True when index names a layer in use that is not marked deleted.
bool LayerListed(const TTerrainLayersBlock& layers, int index);
// The indexes of the layers not marked deleted, in array order (one per row of the list).
std::vector<int> ListedLayers(const TTerrainLayersBlock& layers);
// Titles of the pages shown for a layer type, in their order on the page control.
QStringList LayerPages(int32_t layerType);
// Index of the first overlay image not marked deleted that belongs to the layer at layerIndex, or -1.
int FindLayerOverlay(const TProject& project, int layerIndex);
// Appends a layer of the type with the defaults of a new layer; an Ecology layer gets a new
// ecology rule, an Overlay layer a new overlay image. Its ID is NextID, raised first past every
// layer ID in use. Returns the new layer's index.
int AddTerrainLayer(TProject& project, int32_t layerType);
// Marks the layer deleted, with every region, line, placed model and overlay image of its ID.
// Its ecology rule stays. Nothing for an index that names no listed layer.
void DeleteTerrainLayer(TProject& project, int index);
// True when the folder of fileName is `folder` (case-insensitively, either separator, with or
// without a trailing one); bareName then gets the file name without its folder.
bool FileInFolder(const std::string& fileName, const std::string& folder, std::string& bareName);
// The ecology preview: where the rule lets plants grow on the project's grid, drawn into a
// width x height picture (green by suitability, black elsewhere, white border). Writes the sampled
// vertices' normals into the grid cells as the render engine's normal pass would.
QImage EcologyPreview(TProject& project, const TEcologyRule& rule, int width, int height);

class TFTerrain : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFTerrain(QWidget* parent = nullptr);
    ~TFTerrain() override;

    // Raises EInitError without a project.
    void RefreshFromProject() override;
    // Shows the pages of the selected layer's type and loads every control from it.
    void ShowLayer();
    // Refills the plant-type and urban-plan choices, then ShowLayer.
    void RefreshLayerChoices();
    void ShowLayerProperties() override { RefreshLayerChoices(); }
    // Broadcasts WM_FORCELIMITEDREDRAW.
    void SendForceLimitedRedraw();

    // Handlers (also reached through the controls).
    void TerrainListClick(int row);
    void NewButtonClick();
    void DeleteButtonClick();
    void ModelFileButtonClick();
    void FileButtonClick();
    void PathButtonClick();
    void PreviewEcologyButtonClick();

    int SelectedLayer() const { return selectedLayer_; }
    const std::vector<int>& ListToLayer() const { return listToLayer_; }
    // Titles of the pages now shown.
    QStringList VisiblePages() const;
    // The ecology preview picture.
    const QImage& EcologyPicture() const { return ecologyPicture_; }

    // Modal dialogs; by default exec() == Accepted. Tests answer them here.
    std::function<bool(TTerrainTypeDlg&)> ExecTypeDialog;
    std::function<bool(TFPathDlg&)> ExecPathDialog;

    QListWidget* TerrainList = nullptr;
    QPushButton* NewButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QLineEdit* TerrainNameEdit = nullptr;
    TFloatEdit* LineWidthFloatEdit = nullptr;
    THemisphereButton* LandscapeColor = nullptr;
    QTabWidget* PageControl = nullptr;
    // Surface
    QCheckBox* OverrideDefaultColor = nullptr;
    QCheckBox* OverrideDefaultSurface = nullptr;
    QCheckBox* WaterCheckBox = nullptr;
    THemisphereButton* LayerPrimary = nullptr;
    THemisphereButton* LayerSecondary = nullptr;
    TFloatEdit* BumpinessFloatEdit = nullptr;
    TFloatEdit* SpecularityFloatEdit = nullptr;
    TFloatEdit* EmissionFloatEdit = nullptr;
    TFloatEdit* ShininessFloatEdit = nullptr;
    // Ecology
    QCheckBox* DrawEcology = nullptr;
    QComboBox* TreeComboBox = nullptr;
    TFloatEdit* TreeSizeEdit = nullptr;
    TFloatEdit* TreeDensityEdit = nullptr;
    TEnhTrackBar* AltitudeTrackBar = nullptr;
    TEnhTrackBar* SlopeTrackBar = nullptr;
    TEnhTrackBar* AspectTrackBar = nullptr;
    TEnhTrackBar* AltToleranceTrackBar = nullptr;
    TEnhTrackBar* SlopeToleranceTrackBar = nullptr;
    TEnhTrackBar* AspectToleranceTrackBar = nullptr;
    QPushButton* PreviewEcologyButton = nullptr;
    QLabel* EcologyImage = nullptr;
    // Texture Image Overlay
    QLineEdit* ImageFileEdit = nullptr;
    QPushButton* FileButton = nullptr;
    QPushButton* SetOverlayDirButton = nullptr;
    THemisphereButton* TransparencyButton = nullptr;
    QSpinBox* TransparencyEdit = nullptr;
    QCheckBox* DrawOverlayCheck = nullptr;
    QCheckBox* DrawFullCheck = nullptr;
    QCheckBox* TransparencyCheck = nullptr;
    QSpinBox* ScaleSpinEdit = nullptr;
    QCheckBox* IgnoreWaterCheck = nullptr;
    QCheckBox* ExactCheck = nullptr;
    // Models
    QCheckBox* DrawModels = nullptr;
    QLineEdit* ModelSourceEdit = nullptr;
    QPushButton* ModelFileButton = nullptr;
    QPushButton* ModelPathButton = nullptr;
    TFloatEdit* ModelHeightEdit = nullptr;
    QSpinBox* RotationSpinEdit = nullptr;
    // Urban
    QCheckBox* UrbanCheckBox = nullptr;
    QComboBox* UrbanPlanCombo = nullptr;
    // Vegetation
    QCheckBox* DrawPlants = nullptr;
    QCheckBox* EdgeCheckBox = nullptr;
    QComboBox* PlantCombo[4] = {};
    TFloatEdit* PlantHeight[4] = {};
    TFloatEdit* PlantDensity[4] = {};

private:
    TTerrainLayer* Layer();
    TEcologyRule* Rule();
    TOverlayImage* Image();
    template <class F>
    void WriteLayer(F&& change);
    template <class F>
    void WriteRule(F&& change);
    template <class F>
    void WriteImage(F&& change);
    void PickLayerColour(THemisphereButton* button, TFloatColor TTerrainLayer::*field, bool redraw);
    void PickTransparencyColour();
    void ShowPages(const QStringList& titles);
    void ClearEcologyPicture();

    int selectedLayer_ = -1;
    std::vector<int> listToLayer_ = std::vector<int>(1, 0);
    QImage ecologyPicture_;
    bool refreshing_ = false;
};

// The open terrain layers editor, or null.
extern TFTerrain* FTerrain;
