#pragma once
// TMapParametersDialog ("Map Parameters"): spacing and size of a new grid, its georeference and
// the default height of its cells. The new grid and georeferencing commands fill it, show it
// modally and read it back after OK.
#include "heightgrid/MapParameters.h"
#include "shell/OKBottom.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TFloatEdit;

class TMapParametersDialog : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TMapParametersDialog(QWidget* parent = nullptr);

    // Puts the grid's values into the edits ("Override defaults" unchecked unless told).
    void SetGrid(double spacingX, double spacingY, int32_t columns, int32_t rows);
    void SetGeoreference(const TGeoreference& geo);
    TGeoreference Georeference() const;
    int32_t Columns() const; // Round of the point edits
    int32_t Rows() const;
    // Georeferencing only: spacing, size, presets and the override box cannot be changed.
    void SetSizeLocked(bool locked);

    // Event handlers.
    void CalculateMapSize(const QObject* changed = nullptr);
    void SetDefaultButtonClick();
    void OverrideGeoCheckClick();
    void EqualSpacingCheckClick();
    void HeightRadioClick();

    TFloatEdit* XSpacingMaskEdit = nullptr;
    TFloatEdit* YSpacingMaskEdit = nullptr;
    TFloatEdit* XMaskEdit = nullptr;
    TFloatEdit* YMaskEdit = nullptr;
    QCheckBox* EqualSpacingCheck = nullptr;
    QLabel* MapSizeLabel = nullptr;
    QComboBox* DefaultCombo = nullptr;
    QPushButton* SetDefaultButton = nullptr;
    TFloatEdit* LeftGeoEdit = nullptr;
    TFloatEdit* TopGeoEdit = nullptr;
    TFloatEdit* RightGeoEdit = nullptr;
    TFloatEdit* BottomGeoEdit = nullptr;
    QCheckBox* OverrideGeoCheck = nullptr;
    QRadioButton* NullRadio = nullptr;
    QRadioButton* HeightRadio = nullptr;
    TFloatEdit* DefaultHeightFloatEdit = nullptr;
    QPushButton* HelpButton = nullptr;

public slots:
    // OK is refused (with the limit's message) while the point counts lie outside the limits.
    void accept() override;

private:
    void writeDefaultGeoreference();
    bool calculating_ = false;
    bool sizeLocked_ = false;
};
