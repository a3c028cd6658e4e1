#include "editors/water.h"

#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "controls/Hemisphere.h"
#include "editors/EditorPattern.h"
#include "project/MathUtils.h"
#include "project/Project.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>


TFWater* FWater = nullptr;

namespace {

TFloatEdit* NumberField(QWidget* parent, double min, double max)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(0);
    e->SetMin(min);
    e->SetMax(max);
    return e;
}

QSpinBox* SpinEdit(QWidget* parent, int max, const char* hint)
{
    auto* s = new QSpinBox(parent);
    s->setRange(0, max);
    s->setToolTip(QString::fromUtf8(hint));
    return s;
}

} // namespace

TFWater::TFWater(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Water Editor"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    top->addLayout(left);
    top->addLayout(right);

    auto* waves = new QGroupBox(QStringLiteral("Waves"), this);
    auto* wg = new QGridLayout(waves);
    WaveDirectionHemisphere = new THemisphere(waves);
    WaveDirectionHemisphere->SetAzimuthOnly(true);
    WaveDirectionHemisphere->setFixedSize(150, 150);
    WaveDirectionHemisphere->setToolTip(QStringLiteral("Wavesfront will be at rightangles"));
    WaveHeightSpinEdit = SpinEdit(waves, 1000, "Wave height (top to bottom)");
    WaterWavelengthSpinEdit = SpinEdit(waves, 1000, "Distance between wavetops");
    wg->addWidget(new QLabel(QStringLiteral("Wind Direction"), waves), 0, 0, 1, 2);
    wg->addWidget(WaveDirectionHemisphere, 1, 0, 1, 2);
    wg->addWidget(new QLabel(QStringLiteral("Height"), waves), 2, 0);
    wg->addWidget(WaveHeightSpinEdit, 2, 1);
    wg->addWidget(new QLabel(QStringLiteral("Wavelength"), waves), 3, 0);
    wg->addWidget(WaterWavelengthSpinEdit, 3, 1);
    left->addWidget(waves);

    auto* turbulence = new QGroupBox(QStringLiteral("Turbulence"), this);
    auto* tg = new QGridLayout(turbulence);
    WaterTurbulanceSpinEdit = SpinEdit(turbulence, 100, "Water turbulence colouring");
    GPlaneSeed = NumberField(turbulence, 0, 32767);
    GFreqSeed = NumberField(turbulence, 100, 65536);
    tg->addWidget(new QLabel(QStringLiteral("Water Turbulence"), turbulence), 0, 0);
    tg->addWidget(WaterTurbulanceSpinEdit, 0, 1);
    tg->addWidget(new QLabel(QStringLiteral("Seed (plane)"), turbulence), 1, 0);
    tg->addWidget(GPlaneSeed, 1, 1);
    tg->addWidget(new QLabel(QStringLiteral("(Frequency)"), turbulence), 2, 0);
    tg->addWidget(GFreqSeed, 2, 1);
    left->addWidget(turbulence);

    auto* surface = new QGroupBox(QStringLiteral("Surface"), this);
    auto* sg = new QGridLayout(surface);
    auto* colours = new QGroupBox(QStringLiteral("Colours"), surface);
    auto* cg = new QGridLayout(colours);
    WaterPrimary = new THemisphereButton(colours);
    WaterPrimary->setFixedSize(32, 32);
    WaterSecondary = new THemisphereButton(colours);
    WaterSecondary->setFixedSize(32, 32);
    auto* colourText = new QLabel(QStringLiteral("Water reflectance color change.  These values determine how water absorbs light "
                                                 "when reflected from the surface.  Normally set both to dark grey or black."),
                                  colours);
    colourText->setWordWrap(true);
    colourText->setMinimumWidth(280);
    cg->addWidget(WaterPrimary, 0, 0);
    cg->addWidget(WaterSecondary, 0, 1);
    cg->addWidget(colourText, 1, 0, 1, 2);
    sg->addWidget(colours, 0, 0, 1, 2);
    WaterRoughness = NumberField(surface, 0, 9999);
    WaterRoughness->setToolTip(QStringLiteral("Non-wave roughness"));
    WaterShininess = NumberField(surface, 0, 100);
    WaterSpecularity = NumberField(surface, 0, 100);
    WaterEmission = NumberField(surface, 0, 100);
    WaterEmission->setToolTip(QStringLiteral("Increase in atmospheric glow reflected from water"));
    const std::pair<const char*, TFloatEdit*> fields[] = {
        {"Roughness", WaterRoughness}, {"Shininess", WaterShininess}, {"Specularity", WaterSpecularity}, {"Glow", WaterEmission}};
    int row = 1;
    for (const auto& [caption, edit] : fields) {
        sg->addWidget(new QLabel(QString::fromUtf8(caption), surface), row, 0);
        sg->addWidget(edit, row, 1);
        ++row;
    }
    right->addWidget(surface);
    right->addStretch();

    connect(WaveDirectionHemisphere, &THemisphere::OnAzChange, this,
            [this] { Write([this](TWaterBlock& w) { w.WindDirection = WaveDirectionHemisphere->Azimuth(); }); });
    // Only the azimuth counts: the altitude always returns to the rim.
    connect(WaveDirectionHemisphere, &THemisphere::OnAltChange, this, [this] { WaveDirectionHemisphere->SetAltitude(90); });
    connect(WaveHeightSpinEdit, &QSpinBox::valueChanged, this, [this](int v) { Write([v](TWaterBlock& w) { w.WaveHeight = v; }); });
    connect(WaterWavelengthSpinEdit, &QSpinBox::valueChanged, this, [this](int v) { Write([v](TWaterBlock& w) { w.WaveLength = v; }); });
    connect(WaterTurbulanceSpinEdit, &QSpinBox::valueChanged, this,
            [this](int v) { Write([v](TWaterBlock& w) { w.WaterTurbulance = v; }); });
    connect(GPlaneSeed, &QLineEdit::textChanged, this, [this] { Write([this](TWaterBlock& w) { w.GPlaneSeed = Round(GPlaneSeed->Value()); }); });
    connect(GFreqSeed, &QLineEdit::textChanged, this, [this] { Write([this](TWaterBlock& w) { w.GFreqSeed = Round(GFreqSeed->Value()); }); });
    connect(WaterRoughness, &QLineEdit::textChanged, this,
            [this] { Write([this](TWaterBlock& w) { w.Surface.Roughness = WaterRoughness->Value(); }); });
    connect(WaterShininess, &QLineEdit::textChanged, this,
            [this] { Write([this](TWaterBlock& w) { w.Surface.Shininess = Round(WaterShininess->Value()); }); });
    connect(WaterSpecularity, &QLineEdit::textChanged, this,
            [this] { Write([this](TWaterBlock& w) { w.Surface.Specularity = WaterSpecularity->Value(); }); });
    connect(WaterEmission, &QLineEdit::textChanged, this,
            [this] { Write([this](TWaterBlock& w) { w.Surface.Emission = WaterEmission->Value(); }); });
    connect(WaterPrimary, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { PickColour(WaterPrimary, true); }); });
    connect(WaterSecondary, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { PickColour(WaterSecondary, false); }); });

    setFixedSize(sizeHint());
    FWater = this;
}

TFWater::~TFWater()
{
    if (FWater == this)
        FWater = nullptr;
}

template <class F>
void TFWater::Write(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] { change(Project().Water); });
}

void TFWater::RefreshFromProject()
{
    TProject& p = Project(); // EInitError without a project
    TBusyCursor busy;
    TRefreshScope scope(refreshing_);
    const TWaterBlock& w = p.Water;
    WaveHeightSpinEdit->setValue(ClampedRound(w.WaveHeight, 0, 1000));
    WaterWavelengthSpinEdit->setValue(ClampedRound(w.WaveLength, 0, 1000));
    WaveDirectionHemisphere->SetAzimuth(w.WindDirection);
    WaveDirectionHemisphere->SetAltitude(90);
    WaterTurbulanceSpinEdit->setValue(w.WaterTurbulance);
    ShowFloatValue(*GPlaneSeed, w.GPlaneSeed);
    ShowFloatValue(*GFreqSeed, w.GFreqSeed);
    ShowFloatValue(*WaterRoughness, w.Surface.Roughness);
    ShowFloatValue(*WaterShininess, w.Surface.Shininess);
    ShowFloatValue(*WaterSpecularity, w.Surface.Specularity);
    ShowFloatValue(*WaterEmission, w.Surface.Emission);
    WaterPrimary->SetFaceColor(ColorRefToQColor(FaceColorRef(w.Surface.PrimaryColor)));
    WaterSecondary->SetFaceColor(ColorRefToQColor(FaceColorRef(w.Surface.SecondaryColor)));
}

void TFWater::PickColour(THemisphereButton* button, bool primary)
{
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(button->FaceColor()), chosen))
        return;
    button->SetFaceColor(ColorRefToQColor(chosen));
    TSurfaceMaterial& m = Project().Water.Surface;
    (primary ? m.PrimaryColor : m.SecondaryColor) = ColorRefToFloat(chosen);
}
