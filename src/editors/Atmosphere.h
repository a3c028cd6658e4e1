#pragma once
// TFAtmosphere: the atmosphere and lighting editor. Five colours (sky, horizon, mist, decay and
// sun), seven intensities on track bars, the sun position on an azimuth/altitude picker with two
// spin edits, the four distances of the atmosphere model, and four quick settings. Every control
// writes the project at once; moving the sun marks the shadows out of date.
#include "project/TypeDefinition.h"
#include "shell/BaseUnit.h"

class QComboBox;
class QLineEdit;
class QSpinBox;
class TEnhTrackBar;
class TFloatEdit;
class THemisphere;
class THemisphereButton;
class TProject;

// One intensity track bar: its range and how its position maps onto the field
// (field = position / Divisor, position = Round(field x Divisor)).
struct TAtmosphereTrack {
    double TAtmosphereBlock::*Field;
    int Min, Max;
    int Divisor;
};
// In the order Ambient, Diffuse, Blueing, ShadowDepth, Glowing, FogDensity (mist level), MistHeight.
inline constexpr int kAtmosphereTrackCount = 7;
extern const TAtmosphereTrack kAtmosphereTracks[kAtmosphereTrackCount];
// The position a track bar shows for a field value (limited to the bar's range).
int AtmosphereTrackPosition(const TAtmosphereTrack& track, double field);

// Quick settings: item 1 "Azure Blue", 2 "Dark Blue", 3 "Poloroid Blue", anything else "Defaults".
// Writes the preset's five colours and four intensities, ShadowDepth 0.5, Distance 250 and
// Infinity 10000; Ceiling, Floor, MistHeight, FogDensity and the sun position stay.
void ApplyQuickSetting(TProject& project, int item);

class TFAtmosphere : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFAtmosphere(QWidget* parent = nullptr);
    ~TFAtmosphere() override;

    void RefreshFromProject() override;
    // The quick-settings choice (the combo's selection by the user).
    void QuickSettingsComboChange(int item);

    // Controls; the track bars and their read-only edits in kAtmosphereTracks order.
    TEnhTrackBar* AmbientLight = nullptr;
    TEnhTrackBar* DiffuseLight = nullptr;
    TEnhTrackBar* BlueingLight = nullptr;
    TEnhTrackBar* ShadowDepth = nullptr;
    TEnhTrackBar* GlowingLight = nullptr;
    TEnhTrackBar* MistLevel = nullptr;
    TEnhTrackBar* MistHeight = nullptr;
    QLineEdit* AmbientLightEdit = nullptr;
    QLineEdit* DiffuseLightEdit = nullptr;
    QLineEdit* BlueingLightEdit = nullptr;
    QLineEdit* ShadowDepthEdit = nullptr;
    QLineEdit* GlowingLightEdit = nullptr;
    QLineEdit* MistEdit = nullptr;
    QLineEdit* MistHeightEdit = nullptr;
    THemisphereButton* SkyColorButton = nullptr;
    THemisphereButton* HorizonColorButton = nullptr;
    THemisphereButton* FogColorButton = nullptr;
    THemisphereButton* DecayButton = nullptr;
    THemisphereButton* PrimaryLightButton = nullptr;
    THemisphere* LightHemisphere = nullptr;
    QSpinBox* LightAltSpinEdit = nullptr;
    QSpinBox* LightAzSpinEdit = nullptr;
    TFloatEdit* CeilingFloatEdit = nullptr;
    TFloatEdit* FloorFloatEdit = nullptr;
    TFloatEdit* DistanceFloatEdit = nullptr;
    TFloatEdit* InfinityFloatEdit = nullptr;
    QComboBox* QuickSettingsCombo = nullptr;

private:
    void TrackChange(int index);
    void PickColour(THemisphereButton* button, TFloatColor& field);
    void SunAltitudeFromPicker();
    void SunAzimuthFromPicker();
    void SunAltitudeFromSpin();
    void SunAzimuthFromSpin();

    TEnhTrackBar* tracks_[kAtmosphereTrackCount] = {};
    QLineEdit* trackEdits_[kAtmosphereTrackCount] = {};
    bool refreshing_ = false;
};

// The open atmosphere editor, or null.
extern TFAtmosphere* FAtmosphere;
