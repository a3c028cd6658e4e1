#pragma once
// TFWater: the water editor. Edits the waves (wind direction on an azimuth-only picker, height and
// wavelength), the turbulence with its two noise seeds, and the water's surface material. Every
// control writes the project at once.
#include "shell/BaseUnit.h"

class QSpinBox;
class TFloatEdit;
class THemisphere;
class THemisphereButton;

class TFWater : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFWater(QWidget* parent = nullptr);
    ~TFWater() override;

    // Raises EInitError without a project.
    void RefreshFromProject() override;

    THemisphere* WaveDirectionHemisphere = nullptr;
    QSpinBox* WaveHeightSpinEdit = nullptr;
    QSpinBox* WaterWavelengthSpinEdit = nullptr;
    QSpinBox* WaterTurbulanceSpinEdit = nullptr;
    TFloatEdit* GPlaneSeed = nullptr;
    TFloatEdit* GFreqSeed = nullptr;
    THemisphereButton* WaterPrimary = nullptr;
    THemisphereButton* WaterSecondary = nullptr;
    TFloatEdit* WaterRoughness = nullptr;
    TFloatEdit* WaterShininess = nullptr;
    TFloatEdit* WaterSpecularity = nullptr;
    TFloatEdit* WaterEmission = nullptr;

private:
    template <class F>
    void Write(F&& change);
    void PickColour(THemisphereButton* button, bool primary);

    bool refreshing_ = false;
};

// The open water editor, or null.
extern TFWater* FWater;
