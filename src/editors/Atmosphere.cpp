#include "editors/Atmosphere.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "controls/Hemisphere.h"
#include "editors/EditorPattern.h"
#include "project/MathUtils.h"
#include "project/Project.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <functional>

TFAtmosphere* FAtmosphere = nullptr;

const TAtmosphereTrack kAtmosphereTracks[kAtmosphereTrackCount] = {
    {&TAtmosphereBlock::Ambient, 0, 100, 100},     {&TAtmosphereBlock::Diffuse, 0, 100, 100},
    {&TAtmosphereBlock::Blueing, 1, 200, 100},     {&TAtmosphereBlock::ShadowDepth, 0, 200, 100},
    {&TAtmosphereBlock::Glowing, 1, 200, 100},     {&TAtmosphereBlock::FogDensity, 0, 100, 101},
    {&TAtmosphereBlock::MistHeight, 0, 100, 100},
};

int AtmosphereTrackPosition(const TAtmosphereTrack& track, double field)
{
    return ClampedRound(field * track.Divisor, track.Min, track.Max);
}

namespace {

struct TPreset {
    TFloatColor Sun, Sky, Horizon, Mist, Decay;
    double Ambient, Diffuse, Blueing, Glowing;
};

const TPreset kPresets[4] = {
    // Defaults: what a new project starts with.
    {{1.0f, 1.0f, 0.79f, 1.0f}, {0.55f, 0.64f, 1.0f, 1.0f}, {0.8f, 0.89f, 1.0f, 1.0f}, {0.96f, 0.96f, 1.0f, 1.0f},
     {0.25f, 0.51f, 1.0f, 1.0f}, 0.24, 0.92, 0.6, 0.42},
    // Azure Blue
    {{1.0f, 1.0f, 0.79f, 1.0f}, {0.7f, 0.85f, 0.98f, 1.0f}, {0.05f, 0.43f, 0.85f, 1.0f}, {0.96f, 0.96f, 1.0f, 1.0f},
     {0.41f, 0.5f, 1.0f, 1.0f}, 0.24, 0.92, 0.29, 0.42},
    // Dark Blue
    {{1.0f, 1.0f, 0.79f, 1.0f}, {0.59f, 0.64f, 0.73f, 1.0f}, {0.0f, 0.18f, 0.42f, 1.0f}, {0.96f, 0.96f, 1.0f, 1.0f},
     {0.33f, 0.5f, 1.0f, 1.0f}, 0.24, 0.92, 0.29, 0.42},
    // Poloroid Blue
    {{1.0f, 1.0f, 0.79f, 1.0f}, {0.79f, 0.79f, 1.0f, 1.0f}, {0.0f, 0.17f, 0.44f, 1.0f}, {0.96f, 0.96f, 1.0f, 1.0f},
     {0.31f, 0.38f, 0.62f, 1.0f}, 0.24, 0.92, 0.29, 1.57},
};

TFloatEdit* DistanceEdit(QWidget* parent, double min)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(1);
    e->SetMin(min);
    e->SetMax(99999999.9);
    return e;
}

THemisphereButton* ColourButton(QWidget* parent)
{
    auto* b = new THemisphereButton(parent);
    b->setFixedSize(32, 32);
    return b;
}

} // namespace

void ApplyQuickSetting(TProject& project, int item)
{
    const TPreset& p = kPresets[item >= 1 && item <= 3 ? item : 0];
    TAtmosphereBlock& a = project.Atmosphere;
    project.Lighting.PrimaryLightColor = p.Sun;
    a.SkyColor = p.Sky;
    a.HorizonColor = p.Horizon;
    a.FogColor = p.Mist;
    a.DecayColor = p.Decay;
    a.Ambient = p.Ambient;
    a.Diffuse = p.Diffuse;
    a.Blueing = p.Blueing;
    a.Glowing = p.Glowing;
    a.ShadowDepth = 0.5;
    a.Distance = 250.0;
    a.Infinity = 10000.0;
}

TFAtmosphere::TFAtmosphere(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Atmosphere Editor"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    top->addLayout(left);
    top->addLayout(right);

    // Intensities.
    auto* effects = new QGroupBox(QStringLiteral("Atmospheric Effects"), this);
    auto* eg = new QGridLayout(effects);
    const char* captions[kAtmosphereTrackCount] = {"Ambient", "Diffuse", "Blueing", "Shadow Depth", "Glowing", "Mist Density", "Mist Height"};
    const char* hints[kAtmosphereTrackCount] = {
        "Background lighting.  Controls the intensity of light scattered by the atmosphere and clouds",
        "Direct light.  This controls the intensity of direct sunlight.",
        "Atmospheric scatter.  This controls the blue appearance of the sky.",
        "Shadow Depth.  Controls the intensity of cast shadows",
        "Atmospheric glow.  Glow effects cause simple haze and clouds to glare near the sun",
        "Mist Density.  Simulates atmospheric dust or water haze and gives a glow around the sun",
        "Mist Height.  The height of the mist layer relative to the atmosphere top and bottom",
    };
    for (int i = 0; i < kAtmosphereTrackCount; ++i) {
        auto* bar = new TEnhTrackBar(effects);
        bar->setOrientation(Qt::Horizontal);
        bar->setRange(kAtmosphereTracks[i].Min, kAtmosphereTracks[i].Max);
        bar->setToolTip(QString::fromUtf8(hints[i]));
        auto* edit = new QLineEdit(effects);
        edit->setReadOnly(true);
        edit->setFixedWidth(48);
        eg->addWidget(new QLabel(QString::fromUtf8(captions[i]), effects), i, 0);
        eg->addWidget(bar, i, 1);
        eg->addWidget(edit, i, 2);
        tracks_[i] = bar;
        trackEdits_[i] = edit;
        connect(bar, &QSlider::valueChanged, this, [this, i] { RunEdit([this, i] { TrackChange(i); }); });
    }
    AmbientLight = tracks_[0], DiffuseLight = tracks_[1], BlueingLight = tracks_[2], ShadowDepth = tracks_[3];
    GlowingLight = tracks_[4], MistLevel = tracks_[5], MistHeight = tracks_[6];
    AmbientLightEdit = trackEdits_[0], DiffuseLightEdit = trackEdits_[1], BlueingLightEdit = trackEdits_[2];
    ShadowDepthEdit = trackEdits_[3], GlowingLightEdit = trackEdits_[4], MistEdit = trackEdits_[5];
    MistHeightEdit = trackEdits_[6];
    left->addWidget(effects);

    // Colours.
    auto* colours = new QGroupBox(QStringLiteral("Colors"), this);
    auto* cg = new QGridLayout(colours);
    SkyColorButton = ColourButton(colours);
    HorizonColorButton = ColourButton(colours);
    FogColorButton = ColourButton(colours);
    DecayButton = ColourButton(colours);
    PrimaryLightButton = ColourButton(colours);
    const struct {
        THemisphereButton* button;
        const char* caption;
        const char* text;
    } colourRows[] = {
        {SkyColorButton, "Sky", "This is the base color for the sky - either black (space) or light blues give best results"},
        {HorizonColorButton, "Horizon", "The color that that the atmosphere will tend towards at the horizon from light scatter"},
        {FogColorButton, "Mist", "Color of simple haze.  Normal dust/water would use white/ grey, or pink for a desert storm"},
        {DecayButton, "Decay", "Used for fine control of the light decay profile.  Generally set this to a similar value to the horizon"},
        {PrimaryLightButton, "Sun", "The color of the sun or local star"},
    };
    int row = 0;
    for (const auto& r : colourRows) {
        r.button->setToolTip(QString::fromUtf8(r.caption));
        auto* text = new QLabel(QString::fromUtf8(r.text), colours);
        text->setWordWrap(true);
        cg->addWidget(r.button, row, 0);
        cg->addWidget(new QLabel(QString::fromUtf8(r.caption), colours), row, 1);
        cg->addWidget(text, row, 2);
        ++row;
    }
    left->addWidget(colours);

    auto colour = [this](THemisphereButton* button, std::function<TFloatColor&(TProject&)> field) {
        connect(button, &THemisphereButton::OnClick, this,
                [this, button, field] { RunEdit([&] { PickColour(button, field(Project())); }); });
    };
    colour(SkyColorButton, [](TProject& p) -> TFloatColor& { return p.Atmosphere.SkyColor; });
    colour(HorizonColorButton, [](TProject& p) -> TFloatColor& { return p.Atmosphere.HorizonColor; });
    colour(FogColorButton, [](TProject& p) -> TFloatColor& { return p.Atmosphere.FogColor; });
    colour(DecayButton, [](TProject& p) -> TFloatColor& { return p.Atmosphere.DecayColor; });
    colour(PrimaryLightButton, [](TProject& p) -> TFloatColor& { return p.Lighting.PrimaryLightColor; });

    // Sun position.
    auto* sun = new QGroupBox(QStringLiteral("Sun Position"), this);
    auto* sg = new QGridLayout(sun);
    LightHemisphere = new THemisphere(sun);
    LightHemisphere->setFixedSize(150, 300);
    LightAltSpinEdit = new QSpinBox(sun);
    LightAltSpinEdit->setRange(0, 90);
    LightAzSpinEdit = new QSpinBox(sun);
    LightAzSpinEdit->setRange(0, 359);
    sg->addWidget(LightHemisphere, 0, 0, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("Altitude Angle"), sun), 1, 0);
    sg->addWidget(LightAltSpinEdit, 1, 1);
    sg->addWidget(new QLabel(QStringLiteral("Azimuth Angle"), sun), 2, 0);
    sg->addWidget(LightAzSpinEdit, 2, 1);
    right->addWidget(sun);
    connect(LightHemisphere, &THemisphere::OnAltChange, this, [this] { RunHandler([this] { SunAltitudeFromPicker(); }); });
    connect(LightHemisphere, &THemisphere::OnAzChange, this, [this] { RunHandler([this] { SunAzimuthFromPicker(); }); });
    connect(LightAltSpinEdit, &QSpinBox::valueChanged, this, [this] { RunHandler([this] { SunAltitudeFromSpin(); }); });
    connect(LightAzSpinEdit, &QSpinBox::valueChanged, this, [this] { RunHandler([this] { SunAzimuthFromSpin(); }); });

    // Distances of the atmosphere model.
    auto* advanced = new QGroupBox(QStringLiteral("Advanced Parameters"), this);
    auto* ag = new QGridLayout(advanced);
    CeilingFloatEdit = DistanceEdit(advanced, 0);
    FloorFloatEdit = DistanceEdit(advanced, -100000);
    DistanceFloatEdit = DistanceEdit(advanced, 0);
    InfinityFloatEdit = DistanceEdit(advanced, 0);
    const struct {
        TFloatEdit* edit;
        const char* caption;
        double TAtmosphereBlock::*field;
    } distances[] = {
        {CeilingFloatEdit, "Ceiling (top of the atmosphere)", &TAtmosphereBlock::Ceiling},
        {FloorFloatEdit, "Floor (bottom of the atmosphere)", &TAtmosphereBlock::Floor},
        {DistanceFloatEdit, "Distance (rate of the sky to horizon transition)", &TAtmosphereBlock::Distance},
        {InfinityFloatEdit, "Infinity (nominal distance to the sky)", &TAtmosphereBlock::Infinity},
    };
    row = 0;
    for (const auto& d : distances) {
        ag->addWidget(new QLabel(QString::fromUtf8(d.caption), advanced), row, 0);
        ag->addWidget(d.edit, row, 1);
        ++row;
        connect(d.edit, &QLineEdit::textChanged, this, [this, edit = d.edit, field = d.field] {
            RunHandler([&] {
                if (refreshing_)
                    return;
                ProjectChanged();
                Project().Atmosphere.*field = edit->Value();
            });
        });
    }
    right->addWidget(advanced);

    auto* quick = new QGroupBox(QStringLiteral("Quick Settings"), this);
    auto* qg = new QVBoxLayout(quick);
    QuickSettingsCombo = new QComboBox(quick);
    QuickSettingsCombo->addItems({QStringLiteral("Defaults"), QStringLiteral("Azure Blue"), QStringLiteral("Dark Blue"),
                                  QStringLiteral("Poloroid Blue")});
    QuickSettingsCombo->setCurrentIndex(0);
    qg->addWidget(QuickSettingsCombo);
    right->addWidget(quick);
    right->addStretch();
    connect(QuickSettingsCombo, &QComboBox::activated, this, [this](int item) { RunEdit([&] { QuickSettingsComboChange(item); }); });

    setFixedSize(sizeHint());
    FAtmosphere = this;
}

TFAtmosphere::~TFAtmosphere()
{
    if (FAtmosphere == this)
        FAtmosphere = nullptr;
}

void TFAtmosphere::RefreshFromProject()
{
    TProject& p = Project();
    {
        TRefreshScope scope(refreshing_);
        const TAtmosphereBlock& a = p.Atmosphere;
        SkyColorButton->SetFaceColor(ColorRefToQColor(FaceColorRef(a.SkyColor)));
        HorizonColorButton->SetFaceColor(ColorRefToQColor(FaceColorRef(a.HorizonColor)));
        FogColorButton->SetFaceColor(ColorRefToQColor(FaceColorRef(a.FogColor)));
        DecayButton->SetFaceColor(ColorRefToQColor(FaceColorRef(a.DecayColor)));
        PrimaryLightButton->SetFaceColor(ColorRefToQColor(FaceColorRef(p.Lighting.PrimaryLightColor)));
        for (int i = 0; i < kAtmosphereTrackCount; ++i)
            tracks_[i]->setValue(AtmosphereTrackPosition(kAtmosphereTracks[i], a.*kAtmosphereTracks[i].Field));
        const int altitude = ClampedRound(p.Lighting.LightAltitude, 0, 90);
        const int azimuth = ClampedRound(p.Lighting.LightAzimuth, -1, 100000);
        LightHemisphere->SetAltitude(altitude);
        LightHemisphere->SetAzimuth(azimuth);
        LightAltSpinEdit->setValue(altitude);
        LightAzSpinEdit->setValue(azimuth);
        ShowFloatValue(*CeilingFloatEdit, a.Ceiling);
        ShowFloatValue(*FloorFloatEdit, a.Floor);
        ShowFloatValue(*DistanceFloatEdit, a.Distance);
        ShowFloatValue(*InfinityFloatEdit, a.Infinity);
    }
    // The intensities then hold what their track bars show.
    for (int i = 0; i < kAtmosphereTrackCount; ++i)
        TrackChange(i);
}

void TFAtmosphere::TrackChange(int index)
{
    const int position = tracks_[index]->value();
    trackEdits_[index]->setText(QString::number(position));
    const TAtmosphereTrack& t = kAtmosphereTracks[index];
    Project().Atmosphere.*t.Field = double(position) / t.Divisor;
}

void TFAtmosphere::PickColour(THemisphereButton* button, TFloatColor& field)
{
    uint32_t chosen = 0;
    if (!ChooseEditorColour(FaceColorRef(field), chosen))
        return;
    field = ColorRefToFloat(chosen);
    button->SetFaceColor(ColorRefToQColor(FaceColorRef(field)));
}

void TFAtmosphere::SunAltitudeFromPicker()
{
    if (refreshing_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Lighting.LightAltitude = LightHemisphere->Altitude();
    LightAltSpinEdit->setValue(LightHemisphere->Altitude());
    p.ShadowsOutOfDate = 1;
}

void TFAtmosphere::SunAzimuthFromPicker()
{
    if (refreshing_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Lighting.LightAzimuth = LightHemisphere->Azimuth();
    LightAzSpinEdit->setValue(LightHemisphere->Azimuth());
    p.ShadowsOutOfDate = 1;
}

void TFAtmosphere::SunAltitudeFromSpin()
{
    if (refreshing_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Lighting.LightAltitude = LightAltSpinEdit->value();
    LightHemisphere->SetAltitude(LightAltSpinEdit->value());
    p.ShadowsOutOfDate = 1;
}

void TFAtmosphere::SunAzimuthFromSpin()
{
    if (refreshing_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Lighting.LightAzimuth = LightAzSpinEdit->value();
    LightHemisphere->SetAzimuth(LightAzSpinEdit->value());
    p.ShadowsOutOfDate = 1;
}

void TFAtmosphere::QuickSettingsComboChange(int item)
{
    ApplyQuickSetting(Project(), item);
    RefreshFromProject();
}
