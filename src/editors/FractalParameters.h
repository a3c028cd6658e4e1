#pragma once
// TFFractalParameters: the fractal parameters editor. Edits the fractal depth (shared with the
// fractal renderer through WM_FRACTALDEPTHCHANGED), the four noise seeds, tree and snow lines,
// band-edge fuzziness and bias, and the tree of terrain surfaces: root surfaces colour the land
// where no terrain layer applies, child surfaces modify their parent by altitude and slope limits.
//
// The surface tree's logic lives in free functions on the fractal block so that tests can call it
// without the window; the window keeps its tree view in step with them.
#include "shell/BaseUnit.h"

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;
class TFloatEdit;
class THemisphereButton;
struct TFractalBlock;

inline constexpr const char* RootSurfaceMessage = "E0134 Cannot delete root surface";
inline constexpr const char* ChildSurfacesMessage = "E0135 You must delete all child surfaces first";

// Index of the first surface not marked deleted whose SurfaceID is `id`, or -1.
int FindSurfaceIndex(const TFractalBlock& fractal, int32_t id);
// True when `index` names a surface of the array that is not marked deleted.
bool SurfaceInUse(const TFractalBlock& fractal, int index);
// Appends a child of the surface at parentIndex, copying its material, name, coverage, limits and
// edges (bumpiness 0). Its ID is TerrainSurfaceNextID, raised first past every ID already in the
// array so that no two surfaces share one. Returns the new index, or -1 when parentIndex names no
// surface in use.
int AddChildSurface(TFractalBlock& fractal, int parentIndex);

enum class TSurfaceRemoval { Removed, NoSurface, Root, HasChildren };
// Marks the surface at index deleted unless it is a root or still has a child not marked deleted
// (anywhere in the array, shown in the tree or not).
TSurfaceRemoval RemoveSurface(TFractalBlock& fractal, int index);

class TFFractalParameters : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFFractalParameters(QWidget* parent = nullptr);
    ~TFFractalParameters() override;

    // Raises EInitError without a project.
    void RefreshFromProject() override;
    // Loads the lower controls from the surface at SelectedSurface (nothing when there is none).
    void ShowSurface();
    // FractalDepthEdit := the project's depth (on WM_FRACTALDEPTHCHANGED, through the main window).
    void ShowFractalDepth();
    void RefreshFractalDepth() override { ShowFractalDepth(); }

    // The button handlers (also reached by clicking the buttons).
    void AddChildButtonClick();
    void RemoveChildButtonClick();

    // Index into TerrainSurfaces of the surface in the lower controls; -1 when there is none.
    int SelectedSurface() const { return selectedSurface_; }

    QSpinBox* FractalDepthEdit = nullptr;
    TFloatEdit* RPlaneSeed = nullptr;
    TFloatEdit* RFreqSeed = nullptr;
    TFloatEdit* BPlaneSeed = nullptr;
    TFloatEdit* BFreqSeed = nullptr;
    QSpinBox* TreeLine = nullptr;
    QSpinBox* SnowLine = nullptr;
    QSpinBox* BandFuzzyness = nullptr;
    QSpinBox* BiasSpinEdit = nullptr;
    QTreeWidget* SurfaceTreeView = nullptr;
    QLineEdit* SurfaceNameEdit = nullptr;
    QPushButton* AddChildButton = nullptr;
    QPushButton* RemoveChildButton = nullptr;
    THemisphereButton* PrimaryColorButton = nullptr;
    THemisphereButton* SecondaryColorButton = nullptr;
    TFloatEdit* RoughnessEdit = nullptr;
    TFloatEdit* ShininessEdit = nullptr;
    TFloatEdit* SpecularityEdit = nullptr;
    TFloatEdit* EmissionEdit = nullptr;
    QSpinBox* CoverageSpinEdit = nullptr;
    QCheckBox* MaxAltitudeCheck = nullptr;
    QCheckBox* MinAltitudeCheck = nullptr;
    QCheckBox* MaxSlopeCheck = nullptr;
    QCheckBox* MinSlopeCheck = nullptr;
    QSpinBox* MaxAltitudeSpinEdit = nullptr;
    QSpinBox* MinAltitudeSpinEdit = nullptr;
    QSpinBox* MaxSlopeSpinEdit = nullptr;
    QSpinBox* MinSlopeSpinEdit = nullptr;
    QSpinBox* MaxAltitudeFuzzynessSpinEdit = nullptr;
    QSpinBox* MinAltitudeFuzzynessSpinEdit = nullptr;
    QSpinBox* MaxSlopeFuzzynessSpinEdit = nullptr;
    QSpinBox* MinSlopeFuzzynessSpinEdit = nullptr;
    TFloatEdit* BumpinessEdit = nullptr;

private:
    template <class F>
    void WriteFractal(F&& change);
    template <class F>
    void WriteSurface(F&& change);
    void FractalDepthChange(int value);
    void TreeChange(QTreeWidgetItem* node);
    void PickColour(THemisphereButton* button, bool primary);
    void RebuildTree();
    QTreeWidgetItem* NodeOf(int surfaceIndex) const;

    int selectedSurface_ = 0;
    bool refreshing_ = false;
};

// The open fractal parameters editor, or null.
extern TFFractalParameters* FFractalParameters;
