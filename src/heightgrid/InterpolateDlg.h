#pragma once
// TInterpolateDlg ("Interpolation Parameters"): the method and settings of the interpolation tool.
#include "heightgrid/Interpolation.h"
#include "shell/OKBottom.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TInterpolateDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TInterpolateDlg(QWidget* parent = nullptr);

    // Enables the controls of the chosen method and disables those of the other.
    void MethodClick();
    // The nearest-neighbour settings as chosen.
    TGridParams Params() const;

    QRadioButton* NearestRadio = nullptr;
    QRadioButton* TrendRadio = nullptr;
    QCheckBox* SpeedCheck = nullptr;
    QCheckBox* GradientCheck = nullptr;
    QCheckBox* ExtrapolateCheck = nullptr;
    QLabel* Taughtness1Label = nullptr;
    QLabel* Taughtness2Label = nullptr;
    QSpinBox* Taughtness1Spin = nullptr;
    QSpinBox* Taughtness2Spin = nullptr;
    QCheckBox* TrendCheck = nullptr;
    QCheckBox* SmoothingCheck = nullptr;
    QSpinBox* MinHeightSpin = nullptr;
    QPushButton* HelpButton = nullptr;
};
