#pragma once
// TModelPlacementDlg ("Model Placement Dialog"): size and rotation of a placed model.
#include "shell/OKBottom.h"

class QSpinBox;
class TFloatEdit;

class TModelPlacementDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TModelPlacementDlg(QWidget* parent = nullptr);

    TFloatEdit* ModelHeightEdit = nullptr;
    QSpinBox* RotationSpinEdit = nullptr;
};
