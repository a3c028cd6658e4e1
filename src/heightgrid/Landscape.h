#pragma once
// TFLandscape ("Landscape Heightfield Editor"): the editor window of the height grid. A map
// control in a scroll box, a tool bar for the height tools, the map definition and height
// settings, the trace parameters, and the "&Landscape" menu (new grid, georeferencing, undo,
// import, export). The import and export commands dispatch by the chosen filter to the handlers
// installed with SetHeightDataHandlers; without handlers their items stay disabled.
#include "shell/BaseUnit.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TDefineNet;
class TEnhTrackBar;
struct TGridBlock;

// The cursor field texts: "c:r:h" (height with width 5, no decimals) or "c:r:Null".
std::string CursorInfoText(int32_t column, int32_t row, double height);
// The georeferenced position of a pixel of the map control (w x h pixels): "gx:gy".
std::string GeoInfoText(int x, int y, int width, int height, const TGridBlock& grid);
// The same for a cursor message (WM_GRIDCURSOR) received by a window whose map is own: the pixel is
// measured against the map that sent it, which is another window's map (at its own zoom) when the
// mouse moves over that one.
std::string CursorGeoText(const TAppMessage& message, const TDefineNet& own, const TGridBlock& grid);
// Grid labels: "30 x 30M" and "258 x 258".
std::string GridSpacingText(const TGridBlock& grid);
std::string GridSizeText(const TGridBlock& grid);

class TFLandscape;
// The importer and exporter dispatch: (window, filter index from 1, file name); false on failure.
using THeightDataHandler = std::function<bool(TFLandscape& window, int filterIndex, const std::string& fileName)>;
void SetHeightDataHandlers(THeightDataHandler importer, THeightDataHandler exporter);

class TFLandscape : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFLandscape(QWidget* parent = nullptr);
    ~TFLandscape() override;

    void SetProject(TProject** project) override;
    void RefreshFromProject() override;
    void AppMessage(TAppMessage& message) override;

    // Status panels 1 and 2 of the main window, then pending messages run ("" clears).
    void SetOperationText(const std::string& text);
    void SetStepText(const std::string& text);
    // Every cell's height := height.
    void FillGrid(double height);
    void UpdateLabels();

    // Commands.
    void ZoomInToolButtonClick();
    void ZoomOutToolButtonClick();
    void RedrawToolButtonClick();
    void RGBCheckBoxClick();
    void BackgroundButtonClick();
    void NewGridMenuItemClick();
    void GeoreferencingMenuItemClick();
    void UndoMenuItemClick();
    void ImportMenuItemClick();
    void ExportMenuItemClick();

    // The file choice of import and export (file name and 1-based filter index; false cancels).
    std::function<bool(const QString& title, const QStringList& filters, bool save, QString& file, int& filterIndex)>
        ChooseDataFile;
    // Modal map parameters dialog; by default exec() == Accepted.
    std::function<bool(QDialog&)> ExecMapParameters;

    TDefineNet* Map = nullptr;
    QScrollArea* CanvasScrollBox = nullptr;
    QMenuBar* MenuBar = nullptr;
    QToolButton* ZoomInToolButton = nullptr;
    QToolButton* ZoomOutToolButton = nullptr;
    QToolButton* RedrawToolButton = nullptr;
    QToolButton* SpotToolButton = nullptr;
    QToolButton* DefHeightToolButton = nullptr;
    QToolButton* ContourToolButton = nullptr;
    QToolButton* AutoToolButton = nullptr;
    QToolButton* LevelToolButton = nullptr;
    QToolButton* InterToolButton = nullptr;
    QToolButton* FloodToolButton = nullptr;
    QLineEdit* PointInfoEdit = nullptr;
    QLineEdit* GeoInfoEdit = nullptr;
    QLabel* MapSizeLabel = nullptr;
    QLabel* GridSpacingLabel = nullptr;
    QLabel* GridSizeLabel = nullptr;
    QSpinBox* MaxHeightSpin = nullptr;
    QSpinBox* MinHeightSpin = nullptr;
    QSpinBox* ScalingSpinEdit = nullptr;
    QCheckBox* RGBCheckBox = nullptr;
    TEnhTrackBar* AutoToleranceBar = nullptr;
    QSpinBox* DensityEdit = nullptr;
    QAction* NewGridMenuItem = nullptr;
    QAction* GeoreferencingMenuItem = nullptr;
    QAction* UndoMenuItem = nullptr;
    QAction* ImportMenuItem = nullptr;
    QAction* ExportMenuItem = nullptr;
    QWidget* BackgroundButton = nullptr;

private:
    void loadSpins();
    bool loading_ = false;
};

// The landscape editor while it is open (cleared when it is destroyed).
extern TFLandscape* FLandscape;
