#include "heightgrid/ModelPlacementDlg.h"

#include "controls/FloatEdit.h"

#include <QFormLayout>
#include <QSpinBox>

TModelPlacementDlg::TModelPlacementDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("Model Placement Dialog"));
    auto* form = new QFormLayout(Content());
    ModelHeightEdit = new TFloatEdit(Content());
    ModelHeightEdit->SetDigits(2);
    ModelHeightEdit->SetMax(99999999.9);
    RotationSpinEdit = new QSpinBox(Content());
    RotationSpinEdit->setRange(0, 359);
    RotationSpinEdit->setSingleStep(10);
    form->addRow(QStringLiteral("Size"), ModelHeightEdit);
    form->addRow(QStringLiteral("Rotation"), RotationSpinEdit);
}
