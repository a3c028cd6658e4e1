#include "heightgrid/Importdlg.h"

#include "shell/Help.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

QPointer<TImportForm> ImportForm;

namespace {

QSpinBox* Spin(QWidget* parent, const char* name, int lo, int hi, int value)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

} // namespace

TImportForm::TImportForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("ImportForm");
    setWindowTitle("Digital Data Import");
    auto* layout = new QVBoxLayout(this);

    AutoSizeRadio = new QRadioButton("Create auto-sized map", this);
    AutoSizeRadio->setObjectName("AutoSizeRadio");
    LoadRadio = new QRadioButton("Load into current map", this);
    LoadRadio->setObjectName("LoadRadio");
    AutoSizeRadio->setChecked(true);
    layout->addWidget(AutoSizeRadio);
    layout->addWidget(LoadRadio);

    auto* place = new QGridLayout;
    XOriginLabel = new QLabel("Origin X Coordinate", this);
    YOriginLabel = new QLabel("Origin Y Coordinate", this);
    DefaultLabel = new QLabel("Default height", this);
    XOriginSpin = Spin(this, "XOriginSpin", -kImportOriginLimit, kImportOriginLimit, 0);
    YOriginSpin = Spin(this, "YOriginSpin", -kImportOriginLimit, kImportOriginLimit, 0);
    DefaultSpin = Spin(this, "DefaultSpin", -1000, 99999, 0);
    place->addWidget(XOriginLabel, 0, 0);
    place->addWidget(XOriginSpin, 0, 1);
    place->addWidget(YOriginLabel, 1, 0);
    place->addWidget(YOriginSpin, 1, 1);
    place->addWidget(DefaultLabel, 2, 0);
    place->addWidget(DefaultSpin, 2, 1);
    layout->addLayout(place);

    NullCheck = new QCheckBox("Use Null as default height", this);
    NullCheck->setObjectName("NullCheck");
    NullCheck->setChecked(true);
    OverwriteCheck = new QCheckBox("Overwrite existing data", this);
    OverwriteCheck->setObjectName("OverwriteCheck");
    OverwriteCheck->setChecked(true);
    layout->addWidget(NullCheck);
    layout->addWidget(OverwriteCheck);

    auto* sampleSize = new QGroupBox("Sample Size", this);
    auto* sizeGrid = new QGridLayout(sampleSize);
    XOffsetSpin = Spin(sampleSize, "XOffsetSpin", 0, kImportOffsetLimit, 0);
    YOffsetSpin = Spin(sampleSize, "YOffsetSpin", 0, kImportOffsetLimit, 0);
    sizeGrid->addWidget(new QLabel("Start from X offset in file", sampleSize), 0, 0);
    sizeGrid->addWidget(XOffsetSpin, 0, 1);
    sizeGrid->addWidget(new QLabel("Start from Y offset in file", sampleSize), 1, 0);
    sizeGrid->addWidget(YOffsetSpin, 1, 1);
    layout->addWidget(sampleSize);

    auto* frequency = new QGroupBox("Sampling Frequency", this);
    auto* freqRow = new QHBoxLayout(frequency);
    SampleSpin = Spin(frequency, "SampleSpin", 1, kImportSampleMax, 1);
    freqRow->addWidget(new QLabel("Sample at every", frequency));
    freqRow->addWidget(SampleSpin);
    freqRow->addWidget(new QLabel("points", frequency));
    layout->addWidget(frequency);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { ShowHelpTopic(); });
    layout->addWidget(buttons);

    connect(AutoSizeRadio, &QRadioButton::clicked, this, &TImportForm::ApplyModeRules);
    connect(LoadRadio, &QRadioButton::clicked, this, &TImportForm::ApplyModeRules);
    connect(NullCheck, &QCheckBox::clicked, this, &TImportForm::NullCheckClick);
    ApplyModeRules();
}

void TImportForm::AutoSize()
{
    AutoSizeRadio->setChecked(true);
    ApplyModeRules();
}

void TImportForm::LoadSize()
{
    LoadRadio->setChecked(true);
    ApplyModeRules();
}

void TImportForm::ApplyModeRules()
{
    const bool load = LoadRadio->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(XOriginSpin), static_cast<QWidget*>(YOriginSpin),
                       static_cast<QWidget*>(XOriginLabel), static_cast<QWidget*>(YOriginLabel),
                       static_cast<QWidget*>(DefaultLabel), static_cast<QWidget*>(OverwriteCheck),
                       static_cast<QWidget*>(NullCheck)})
        w->setEnabled(load);
    DefaultSpin->setEnabled(load && !NullCheck->isChecked());
}

void TImportForm::NullCheckClick()
{
    DefaultSpin->setEnabled(!NullCheck->isChecked());
}

void TImportForm::showEvent(QShowEvent* event)
{
    if (LoadRadio->isChecked())
        ApplyModeRules();
    QDialog::showEvent(event);
}

TImportOptions TImportForm::Options() const
{
    TImportOptions o;
    o.AutoSize = AutoSizeRadio->isChecked();
    o.XOrigin = XOriginSpin->value();
    o.YOrigin = YOriginSpin->value();
    o.DefaultHeight = DefaultSpin->value();
    o.UseNull = NullCheck->isChecked();
    o.Overwrite = OverwriteCheck->isChecked();
    o.XOffset = XOffsetSpin->value();
    o.YOffset = YOffsetSpin->value();
    o.Sample = SampleSpin->value();
    return o;
}

void TImportForm::SetOptions(const TImportOptions& o)
{
    (o.AutoSize ? AutoSizeRadio : LoadRadio)->setChecked(true);
    XOriginSpin->setValue(o.XOrigin);
    YOriginSpin->setValue(o.YOrigin);
    DefaultSpin->setValue(int(o.DefaultHeight));
    NullCheck->setChecked(o.UseNull);
    OverwriteCheck->setChecked(o.Overwrite);
    XOffsetSpin->setValue(o.XOffset);
    YOffsetSpin->setValue(o.YOffset);
    SampleSpin->setValue(o.Sample);
    ApplyModeRules();
}

bool RunImportDialog(TImportForm& form, bool autoSize, TImportOptions& options)
{
    if (autoSize)
        form.AutoSize();
    else
        form.LoadSize();
    form.SampleSpin->setValue(1);
    if (form.exec() != QDialog::Accepted)
        return false;
    options = form.Options();
    return true;
}
