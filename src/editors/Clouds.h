#pragma once
// TFCloud: the cloud editor. Edits the first cloud layer of the project: whether it is drawn, its
// height (a track bar from cumulus to stratus), cover, density, size, light and dark colours and
// the offset of the cloud plane. Every control writes the layer at once.
#include "shell/BaseUnit.h"

#include <cstdint>

class QCheckBox;
class QSpinBox;
class TEnhTrackBar;
class TFloatEdit;
class THemisphereButton;
struct TCloud;
class TProject;

// Height track bar (0 .. 50) against the layer's height (40 .. 90).
int CloudHeightPosition(double height);   // Round(height) - 40, limited to 0 .. 50
double CloudHeightOf(int position);        // position + 40

class TFCloud : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFCloud(QWidget* parent = nullptr);
    ~TFCloud() override;

    void RefreshFromProject() override;

    // The layer the handlers write; 0 from creation and never changed.
    int32_t CloudLayer = 0;

    QCheckBox* DrawCloudDrawCheck = nullptr;
    TEnhTrackBar* HeightTrackBar = nullptr;
    QSpinBox* CloudCoverEdit = nullptr;
    QSpinBox* CloudDensityEdit = nullptr;
    QSpinBox* CloudSizeEdit = nullptr;
    THemisphereButton* CloudColor1Button = nullptr;
    THemisphereButton* CloudColor2Button = nullptr;
    TFloatEdit* XOffsetFloatEdit = nullptr;
    TFloatEdit* YOffsetFloatEdit = nullptr;

private:
    // The layer being edited, or null when the project has no such layer.
    TCloud* Layer() const;
    template <class F>
    void Write(F&& change);
    void PickColour(THemisphereButton* button, bool light);

    bool refreshing_ = false;
};

// The open cloud editor, or null.
extern TFCloud* FCloud;
