#pragma once
// TPGMImportForm ("Pixel Greymap Import"): the grid spacing of a PGM import.
#include "heightgrid/data/ImportOptions.h"

#include <QDialog>
#include <QPointer>

class TFloatEdit;

class TPGMImportForm : public QDialog {
    Q_OBJECT
public:
    explicit TPGMImportForm(QWidget* parent = nullptr);

    TPGMImportOptions Options() const;
    void SetOptions(const TPGMImportOptions& options);

    static constexpr int HelpContext = 25;

    TFloatEdit* XSpacingMaskEdit;
    TFloatEdit* YSpacingMaskEdit;
};

// Shows the form modally; after OK fills `options`. False when cancelled.
bool RunPGMImportDialog(TPGMImportForm& form, TPGMImportOptions& options);

extern QPointer<TPGMImportForm> PGMImportForm;
