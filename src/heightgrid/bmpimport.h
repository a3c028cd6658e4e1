#pragma once
// TBMPImportForm ("BMP Import Parameters"): channel order, height of black and grid spacing of a
// bitmap height import.
#include "heightgrid/data/ImportOptions.h"

#include <QDialog>
#include <QPointer>

class QRadioButton;
class QSpinBox;
class TFloatEdit;

class TBMPImportForm : public QDialog {
    Q_OBJECT
public:
    explicit TBMPImportForm(QWidget* parent = nullptr);

    TBMPImportOptions Options() const;
    void SetOptions(const TBMPImportOptions& options);

    static constexpr int HelpContext = 20;

    QRadioButton* RGBRadio;
    QRadioButton* RBGRadio;
    QRadioButton* GBRRadio;
    QRadioButton* GRBRadio;
    QRadioButton* BRGRadio;
    QRadioButton* BGRRadio;
    QSpinBox* MaxHeightEdit;
    TFloatEdit* XGridSpacingEdit;
    TFloatEdit* YGridSpacingEdit;
};

// Shows the form modally; after OK fills `options`. False when cancelled.
bool RunBMPImportDialog(TBMPImportForm& form, TBMPImportOptions& options);

extern QPointer<TBMPImportForm> BMPImportForm;
