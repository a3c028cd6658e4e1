#pragma once
// TFUrbanPlan: the urban plans editor ("Urban Plans"). Keeps the project's urban plans: name, the
// height, wall colour and roof colour bitmaps inside the models folder (shown as previews), the
// size the plan covers, its height scale and zone. Plans are never removed; name changes and new
// plans tell the layer views (2033).
#include "shell/BaseUnit.h"

#include <cstdint>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TFloatEdit;
struct TUrbanBlock;
struct TUrbanPlanDef;

// Appends a plan "Unassigned" of 1000 x 1000 metres, height 100, zone "Suburban"; returns its index.
size_t AddUrbanPlan(TUrbanBlock& block);

class TFUrbanPlan : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFUrbanPlan(QWidget* parent = nullptr);
    ~TFUrbanPlan() override;

    void RefreshFromProject() override;
    // Shows the plan of the selected row with its previews (nothing selected: empty controls).
    void PlanListBoxClick();
    void NewButtonClick();
    // Which: 0 height, 1 wall colour, 2 roof colour.
    void FileButtonClick(int which);
    void SendForceLimitedRedraw();

    QListWidget* PlanListBox = nullptr;
    QPushButton* NewButton = nullptr;
    QPushButton* DeleteButton = nullptr; // never shown: plans cannot be removed
    QLineEdit* PlanNameEdit = nullptr;
    QLineEdit* PlanHeightSourceEdit = nullptr;
    QLineEdit* PlanWallColorSourceEdit = nullptr;
    QLineEdit* PlanRoofColorSourceEdit = nullptr;
    QPushButton* HeightFileButton = nullptr;
    QPushButton* WallColorFileButton = nullptr;
    QPushButton* RoofColorFileButton = nullptr;
    QLabel* PlanHeightImage = nullptr;
    QLabel* PlanWallColorImage = nullptr;
    QLabel* PlanRoofColorImage = nullptr;
    TFloatEdit* PlanXSizeEdit = nullptr;
    TFloatEdit* PlanYSizeEdit = nullptr;
    TFloatEdit* PlanHeightSizeEdit = nullptr;
    QComboBox* PlanZoneComboBox = nullptr;
    QPushButton* ModelPathButton = nullptr;

private:
    TUrbanPlanDef* Selected() const;
    void SetFileButtonsEnabled(bool on);
    // Loads models folder + file into a preview; an empty name clears it. A picture that cannot be
    // loaded clears the preview and is reported.
    void ShowPreview(QLabel* preview, const std::string& fileName);
    template <class F>
    void Write(F&& change);
    bool refreshing_ = false;
};

// The open urban plans editor, or null.
extern TFUrbanPlan* FUrbanPlan;
