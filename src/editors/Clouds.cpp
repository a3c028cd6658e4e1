#include "editors/Clouds.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorPattern.h"
#include "project/MathUtils.h"
#include "project/Project.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

TFCloud* FCloud = nullptr;

int CloudHeightPosition(double height) { return ClampedRound(height, 40, 90) - 40; }

double CloudHeightOf(int position) { return position + 40.0; }

namespace {

TFloatEdit* OffsetEdit(QWidget* parent)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(1);
    e->SetMin(-99999.9);
    e->SetMax(99999.9);
    return e;
}

QSpinBox* SpinEdit(QWidget* parent, int max, int step)
{
    auto* s = new QSpinBox(parent);
    s->setRange(0, max);
    s->setSingleStep(step);
    return s;
}

} // namespace

TFCloud::TFCloud(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Cloud Editor"));
    auto* top = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Cloud Layers"), this);
    top->addWidget(group);
    auto* g = new QGridLayout(group);

    DrawCloudDrawCheck = new QCheckBox(QStringLiteral("Draw Clouds"), group);
    g->addWidget(DrawCloudDrawCheck, 0, 0, 1, 3);

    HeightTrackBar = new TEnhTrackBar(group);
    HeightTrackBar->setOrientation(Qt::Horizontal);
    HeightTrackBar->setRange(0, 50);
    g->addWidget(new QLabel(QStringLiteral("Cumulus"), group), 1, 0);
    g->addWidget(HeightTrackBar, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Stratus"), group), 1, 2);

    CloudCoverEdit = SpinEdit(group, 100, 5);
    CloudDensityEdit = SpinEdit(group, 100, 1);
    CloudSizeEdit = SpinEdit(group, 9999, 10);
    g->addWidget(new QLabel(QStringLiteral("Cover"), group), 2, 0);
    g->addWidget(CloudCoverEdit, 2, 1);
    g->addWidget(new QLabel(QStringLiteral("Density"), group), 3, 0);
    g->addWidget(CloudDensityEdit, 3, 1);
    g->addWidget(new QLabel(QStringLiteral("Size"), group), 4, 0);
    g->addWidget(CloudSizeEdit, 4, 1);

    auto* colours = new QGroupBox(QStringLiteral("Cloud Colors"), group);
    auto* cg = new QHBoxLayout(colours);
    CloudColor1Button = new THemisphereButton(colours);
    CloudColor1Button->setFixedSize(32, 32);
    CloudColor2Button = new THemisphereButton(colours);
    CloudColor2Button->setFixedSize(32, 32);
    cg->addWidget(CloudColor1Button);
    cg->addWidget(new QLabel(QStringLiteral("Light"), colours));
    cg->addWidget(CloudColor2Button);
    cg->addWidget(new QLabel(QStringLiteral("Dark"), colours));
    g->addWidget(colours, 5, 0, 1, 3);

    XOffsetFloatEdit = OffsetEdit(group);
    YOffsetFloatEdit = OffsetEdit(group);
    g->addWidget(new QLabel(QStringLiteral("Cloud plane offset (x)"), group), 6, 0);
    g->addWidget(XOffsetFloatEdit, 6, 1);
    g->addWidget(new QLabel(QStringLiteral("Cloud plane offset (y)"), group), 7, 0);
    g->addWidget(YOffsetFloatEdit, 7, 1);

    connect(DrawCloudDrawCheck, &QCheckBox::toggled, this,
            [this](bool on) { Write([on](TCloud& c) { c.Draw = on ? 1 : 0; }); });
    connect(HeightTrackBar, &QSlider::valueChanged, this,
            [this](int position) { Write([position](TCloud& c) { c.Height = CloudHeightOf(position); }); });
    connect(CloudCoverEdit, &QSpinBox::valueChanged, this, [this](int v) { Write([v](TCloud& c) { c.Cover = v; }); });
    connect(CloudDensityEdit, &QSpinBox::valueChanged, this, [this](int v) { Write([v](TCloud& c) { c.Density = v; }); });
    connect(CloudSizeEdit, &QSpinBox::valueChanged, this, [this](int v) { Write([v](TCloud& c) { c.Size = v; }); });
    connect(XOffsetFloatEdit, &QLineEdit::textChanged, this,
            [this] { Write([this](TCloud& c) { c.XOffset = XOffsetFloatEdit->Value(); }); });
    connect(YOffsetFloatEdit, &QLineEdit::textChanged, this,
            [this] { Write([this](TCloud& c) { c.YOffset = YOffsetFloatEdit->Value(); }); });
    connect(CloudColor1Button, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { PickColour(CloudColor1Button, true); }); });
    connect(CloudColor2Button, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { PickColour(CloudColor2Button, false); }); });

    setFixedSize(sizeHint());
    FCloud = this;
}

TFCloud::~TFCloud()
{
    if (FCloud == this)
        FCloud = nullptr;
}

TCloud* TFCloud::Layer() const
{
    TProject& p = Project();
    if (CloudLayer < 0 || size_t(CloudLayer) >= p.Clouds.Items.size())
        return nullptr;
    return &p.Clouds.Items[size_t(CloudLayer)];
}

template <class F>
void TFCloud::Write(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        // A project without cloud layers has nothing to edit.
        if (TCloud* layer = Layer())
            change(*layer);
    });
}

void TFCloud::RefreshFromProject()
{
    TProject& p = Project();
    TRefreshScope scope(refreshing_);
    // Without a cloud layer the controls stay disabled rather than invent one.
    const bool any = !p.Clouds.Items.empty();
    for (QWidget* w : std::initializer_list<QWidget*>{DrawCloudDrawCheck, HeightTrackBar, CloudCoverEdit, CloudDensityEdit,
                                                      CloudSizeEdit, CloudColor1Button, CloudColor2Button, XOffsetFloatEdit,
                                                      YOffsetFloatEdit})
        w->setEnabled(any);
    if (!any)
        return;
    const TCloud& c = p.Clouds.Items.front();
    DrawCloudDrawCheck->setChecked(c.Draw != 0);
    CloudCoverEdit->setValue(c.Cover);
    CloudDensityEdit->setValue(c.Density);
    CloudSizeEdit->setValue(c.Size);
    ShowFloatValue(*XOffsetFloatEdit, c.XOffset);
    ShowFloatValue(*YOffsetFloatEdit, c.YOffset);
    HeightTrackBar->setValue(CloudHeightPosition(c.Height));
    CloudColor1Button->SetFaceColor(ColorRefToQColor(FaceColorRef(c.CloudColor1)));
    CloudColor2Button->SetFaceColor(ColorRefToQColor(FaceColorRef(c.CloudColor2)));
}

void TFCloud::PickColour(THemisphereButton* button, bool light)
{
    TCloud* layer = Layer();
    if (!layer)
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(button->FaceColor()), chosen))
        return;
    button->SetFaceColor(ColorRefToQColor(chosen));
    (light ? layer->CloudColor1 : layer->CloudColor2) = ColorRefToFloat(chosen);
}
