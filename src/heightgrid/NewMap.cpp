#include "heightgrid/NewMap.h"

#include "controls/FloatEdit.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/TypeDefinition.h"
#include "shell/Help.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>
#include <exception>

namespace {

TFloatEdit* makeEdit(QWidget* parent, const char* name, int digits, double min, double max, double value)
{
    auto* edit = new TFloatEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->SetMax(max);
    edit->SetMin(min);
    edit->SetDigits(digits);
    edit->SetValue(value);
    return edit;
}

int32_t roundedCount(const TFloatEdit* edit)
{
    // The edits hold 21..99999, so the count always fits.
    return int32_t(std::nearbyint(edit->Value()));
}

} // namespace

TMapParametersDialog::TMapParametersDialog(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Map Parameters"));
    auto* layout = new QVBoxLayout(Content());

    auto* sizeBox = new QGroupBox(Content());
    auto* grid = new QGridLayout(sizeBox);
    grid->addWidget(new QLabel(QStringLiteral("Grid point spacing (metres): "), sizeBox), 0, 0, 1, 4);
    XSpacingMaskEdit = makeEdit(sizeBox, "XSpacingMaskEdit", 1, 0.1, 9999.9, 1.0);
    YSpacingMaskEdit = makeEdit(sizeBox, "YSpacingMaskEdit", 1, 0.1, 9999.9, 1.0);
    grid->addWidget(new QLabel(QStringLiteral("x: "), sizeBox), 1, 0);
    grid->addWidget(XSpacingMaskEdit, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("y: "), sizeBox), 1, 2);
    grid->addWidget(YSpacingMaskEdit, 1, 3);
    XMaskEdit = makeEdit(sizeBox, "XMaskEdit", 0, 21, 99999, 21);
    YMaskEdit = makeEdit(sizeBox, "YMaskEdit", 0, 21, 99999, 21);
    grid->addWidget(new QLabel(QStringLiteral("Grid points (x axis):"), sizeBox), 2, 0, 1, 2);
    grid->addWidget(XMaskEdit, 2, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Grid points (y axis):"), sizeBox), 3, 0, 1, 2);
    grid->addWidget(YMaskEdit, 3, 2, 1, 2);
    EqualSpacingCheck = new QCheckBox(QStringLiteral("Equal spacing (recommended)"), sizeBox);
    EqualSpacingCheck->setChecked(true);
    grid->addWidget(EqualSpacingCheck, 4, 0, 1, 4);
    MapSizeLabel = new QLabel(sizeBox);
    grid->addWidget(MapSizeLabel, 5, 0, 1, 4);
    layout->addWidget(sizeBox);

    auto* defaults = new QGroupBox(QStringLiteral("Defaults"), Content());
    auto* defaultsRow = new QHBoxLayout(defaults);
    DefaultCombo = new QComboBox(defaults);
    for (const TMapPreset& preset : kMapPresets)
        DefaultCombo->addItem(QString::fromLatin1(preset.Name));
    DefaultCombo->setCurrentIndex(0);
    SetDefaultButton = new QPushButton(QStringLiteral("Set Default"), defaults);
    defaultsRow->addWidget(DefaultCombo, 1);
    defaultsRow->addWidget(SetDefaultButton);
    layout->addWidget(defaults);

    auto* geo = new QGroupBox(QStringLiteral("Georeferencing"), Content());
    auto* geoForm = new QFormLayout(geo);
    LeftGeoEdit = makeEdit(geo, "LeftGeoEdit", 7, -99999999.9, 99999999.9, 0.0);
    TopGeoEdit = makeEdit(geo, "TopGeoEdit", 7, -99999999.9, 99999999.9, 0.0);
    RightGeoEdit = makeEdit(geo, "RightGeoEdit", 7, -99999999.9, 99999999.9, 0.0);
    BottomGeoEdit = makeEdit(geo, "BottomGeoEdit", 7, -99999999.9, 99999999.9, 0.0);
    geoForm->addRow(QStringLiteral("Left"), LeftGeoEdit);
    geoForm->addRow(QStringLiteral("Top"), TopGeoEdit);
    geoForm->addRow(QStringLiteral("Right"), RightGeoEdit);
    geoForm->addRow(QStringLiteral("Bottom"), BottomGeoEdit);
    OverrideGeoCheck = new QCheckBox(QStringLiteral("Override defaults"), geo);
    geoForm->addRow(OverrideGeoCheck);
    for (TFloatEdit* edit : {LeftGeoEdit, TopGeoEdit, RightGeoEdit, BottomGeoEdit})
        edit->setEnabled(false);
    layout->addWidget(geo);

    auto* heightBox = new QGroupBox(QStringLiteral("Default Height"), Content());
    auto* heightRow = new QHBoxLayout(heightBox);
    NullRadio = new QRadioButton(QStringLiteral("Null"), heightBox);
    HeightRadio = new QRadioButton(QStringLiteral("Set all at height"), heightBox);
    NullRadio->setChecked(true);
    DefaultHeightFloatEdit = makeEdit(heightBox, "DefaultHeightFloatEdit", 1, -1000.0, 9999.9, 0.0);
    DefaultHeightFloatEdit->setEnabled(false);
    heightRow->addWidget(NullRadio);
    heightRow->addWidget(HeightRadio);
    heightRow->addWidget(DefaultHeightFloatEdit);
    layout->addWidget(heightBox);

    HelpButton = new QPushButton(QStringLiteral("&Help"), this);
    ButtonRow()->addWidget(HelpButton);
    connect(HelpButton, &QPushButton::clicked, this, [] { ShowHelpTopic(); });

    for (TFloatEdit* edit : {XSpacingMaskEdit, YSpacingMaskEdit, XMaskEdit, YMaskEdit})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { CalculateMapSize(edit); });
    connect(SetDefaultButton, &QPushButton::clicked, this, [this] { SetDefaultButtonClick(); });
    connect(OverrideGeoCheck, &QCheckBox::clicked, this, [this] { OverrideGeoCheckClick(); });
    connect(EqualSpacingCheck, &QCheckBox::clicked, this, [this] { EqualSpacingCheckClick(); });
    connect(NullRadio, &QRadioButton::clicked, this, [this] { HeightRadioClick(); });
    connect(HeightRadio, &QRadioButton::clicked, this, [this] { HeightRadioClick(); });
    CalculateMapSize();
}

void TMapParametersDialog::SetGrid(double spacingX, double spacingY, int32_t columns, int32_t rows)
{
    // Set without the equal-spacing copy, so unequal spacings of an existing grid survive.
    calculating_ = true;
    XSpacingMaskEdit->SetValue(spacingX);
    YSpacingMaskEdit->SetValue(spacingY);
    XMaskEdit->SetValue(columns);
    YMaskEdit->SetValue(rows);
    calculating_ = false;
    CalculateMapSize();
}

void TMapParametersDialog::SetGeoreference(const TGeoreference& geo)
{
    LeftGeoEdit->SetValue(geo.Left);
    TopGeoEdit->SetValue(geo.Top);
    RightGeoEdit->SetValue(geo.Right);
    BottomGeoEdit->SetValue(geo.Bottom);
}

TGeoreference TMapParametersDialog::Georeference() const
{
    return {LeftGeoEdit->Value(), TopGeoEdit->Value(), RightGeoEdit->Value(), BottomGeoEdit->Value()};
}

int32_t TMapParametersDialog::Columns() const { return roundedCount(XMaskEdit); }
int32_t TMapParametersDialog::Rows() const { return roundedCount(YMaskEdit); }

void TMapParametersDialog::SetSizeLocked(bool locked)
{
    for (QWidget* w : std::initializer_list<QWidget*>{XSpacingMaskEdit, YSpacingMaskEdit, XMaskEdit, YMaskEdit,
                                                      DefaultCombo, SetDefaultButton, OverrideGeoCheck})
        w->setEnabled(!locked);
    // The size of an existing grid is shown, not chosen: its limits do not apply.
    sizeLocked_ = locked;
}

void TMapParametersDialog::writeDefaultGeoreference()
{
    SetGeoreference(DefaultGeoreference(XSpacingMaskEdit->Value(), YSpacingMaskEdit->Value(), Columns(), Rows()));
}

void TMapParametersDialog::CalculateMapSize(const QObject* changed)
{
    if (calculating_)
        return;
    calculating_ = true;
    try {
        if (EqualSpacingCheck->isChecked()) {
            if (changed == XSpacingMaskEdit)
                YSpacingMaskEdit->setText(XSpacingMaskEdit->text());
            else if (changed == YSpacingMaskEdit)
                XSpacingMaskEdit->setText(YSpacingMaskEdit->text());
        }
        if (!sizeLocked_)
            CheckMapPoints(Columns(), Rows());
        MapSizeLabel->setText(QStringLiteral("MapSize: ")
                              + QString::fromStdString(DisplayMapSize(XSpacingMaskEdit->Value(),
                                                                      YSpacingMaskEdit->Value(), Columns(), Rows())));
        if (!OverrideGeoCheck->isChecked())
            writeDefaultGeoreference();
    } catch (const std::exception& e) {
        calculating_ = false;
        ShowError(e.what());
        return;
    }
    calculating_ = false;
}

void TMapParametersDialog::SetDefaultButtonClick()
{
    const int i = DefaultCombo->currentIndex();
    if (i < 0 || i >= int(std::size(kMapPresets)))
        return;
    calculating_ = true;
    XSpacingMaskEdit->SetValue(kMapPresets[i].Spacing);
    YSpacingMaskEdit->SetValue(kMapPresets[i].Spacing);
    XMaskEdit->SetValue(kMapPresets[i].Points);
    YMaskEdit->SetValue(kMapPresets[i].Points);
    calculating_ = false;
    CalculateMapSize();
}

void TMapParametersDialog::OverrideGeoCheckClick()
{
    const bool on = OverrideGeoCheck->isChecked();
    for (TFloatEdit* edit : {LeftGeoEdit, TopGeoEdit, RightGeoEdit, BottomGeoEdit})
        edit->setEnabled(on);
    if (!on)
        writeDefaultGeoreference();
}

void TMapParametersDialog::EqualSpacingCheckClick()
{
    if (EqualSpacingCheck->isChecked())
        YSpacingMaskEdit->setText(XSpacingMaskEdit->text());
}

void TMapParametersDialog::HeightRadioClick()
{
    DefaultHeightFloatEdit->setEnabled(HeightRadio->isChecked());
}

void TMapParametersDialog::accept()
{
    try {
        if (!sizeLocked_)
            CheckMapPoints(Columns(), Rows());
    } catch (const std::exception& e) {
        ShowError(e.what());
        return;
    }
    TOKBottomDlg::accept();
}
