#pragma once
// TSetHeightDlg ("Set Height"): the height and the action of the spot-height and level-area tools.
#include "shell/OKBottom.h"

#include <cstdint>

class QLabel;
class QRadioButton;
class TFloatEdit;

class TSetHeightDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TSetHeightDlg(QWidget* parent = nullptr);

    // 0 set (HeightRadio), 3 null, 1 add, 2 subtract, else 0.
    uint8_t Action() const;
    // Enables HeightEdit unless NullRadio is checked, ActionHeight only for add and subtract.
    void RadioClick();
    // Both edits to 3 decimals and at most 12 characters (width 8, 3 decimals and the point).
    void PrepareEdits();

    QLabel* InfoLabel = nullptr;
    TFloatEdit* HeightEdit = nullptr;
    TFloatEdit* ActionHeight = nullptr;
    QRadioButton* HeightRadio = nullptr;
    QRadioButton* NullRadio = nullptr;
    QRadioButton* AddRadio = nullptr;
    QRadioButton* SubtractRadio = nullptr;
};
