#pragma once
// TFloodDlg ("Flood Options"): which connected cells the flood tool fills.
#include "shell/OKBottom.h"

class QRadioButton;

class TFloodDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TFloodDlg(QWidget* parent = nullptr);

    QRadioButton* FloodEQRadio = nullptr;
    QRadioButton* FloodLERadio = nullptr;
};
