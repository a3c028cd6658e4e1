#include "heightgrid/SetHeight.h"

#include "controls/FloatEdit.h"

#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

TSetHeightDlg::TSetHeightDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Set Height"));
    auto* layout = new QVBoxLayout(Content());
    InfoLabel = new QLabel(Content());
    layout->addWidget(InfoLabel);
    auto* form = new QFormLayout;
    HeightEdit = new TFloatEdit(Content());
    HeightEdit->setObjectName(QStringLiteral("HeightEdit"));
    ActionHeight = new TFloatEdit(Content());
    ActionHeight->setObjectName(QStringLiteral("ActionHeight"));
    // Heights reach down to the null value, which the dialog may show.
    HeightEdit->SetMin(-1001.0);
    ActionHeight->SetMin(-99999999.9);
    form->addRow(QStringLiteral("Height"), HeightEdit);
    form->addRow(QStringLiteral("Difference"), ActionHeight);
    layout->addLayout(form);
    HeightRadio = new QRadioButton(QStringLiteral("Set as Height"), Content());
    NullRadio = new QRadioButton(QStringLiteral("Set to Null"), Content());
    AddRadio = new QRadioButton(QStringLiteral("Add Height"), Content());
    SubtractRadio = new QRadioButton(QStringLiteral("Subtract Height"), Content());
    HeightRadio->setChecked(true);
    for (QRadioButton* radio : {HeightRadio, NullRadio, AddRadio, SubtractRadio}) {
        layout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, [this] { RadioClick(); });
    }
    RadioClick();
}

uint8_t TSetHeightDlg::Action() const
{
    if (HeightRadio->isChecked())
        return 0;
    if (NullRadio->isChecked())
        return 3;
    if (AddRadio->isChecked())
        return 1;
    if (SubtractRadio->isChecked())
        return 2;
    return 0;
}

void TSetHeightDlg::RadioClick()
{
    HeightEdit->setEnabled(!NullRadio->isChecked());
    ActionHeight->setEnabled(AddRadio->isChecked() || SubtractRadio->isChecked());
}

void TSetHeightDlg::PrepareEdits()
{
    for (TFloatEdit* edit : {HeightEdit, ActionHeight}) {
        edit->SetDigits(3);
        edit->setMaxLength(8 + 3 + 1);
    }
}
