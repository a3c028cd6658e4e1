#pragma once
// TTerrainTypeDlg: asks which type a new terrain layer gets ("Select Terrain Layer Type"): six
// radio buttons, each beside a description, "Surface" checked when the dialog is made.
#include "shell/OKBottom.h"

#include <QPointer>

#include <cstdint>

class QRadioButton;

class TTerrainTypeDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TTerrainTypeDlg(QWidget* parent = nullptr);

    // The layer type of the checked radio button (0 Surface ... 5 Urban); Surface when none is.
    int32_t CheckedLayerType() const;

    QRadioButton* SurfaceRadio = nullptr;
    QRadioButton* EcologyRadio = nullptr;
    QRadioButton* ModelRadio = nullptr;
    QRadioButton* OverlayRadio = nullptr;
    QRadioButton* VegetationRadio = nullptr;
    QRadioButton* UrbanRadio = nullptr;
};

// The dialog, made at start-up (or by the editor on first use) and kept for the run.
extern QPointer<TTerrainTypeDlg> TerrainTypeDlg;
