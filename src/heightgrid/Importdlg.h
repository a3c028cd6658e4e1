#pragma once
// TImportForm ("Digital Data Import"): placement options of the XYZ, NTF and USGS DEM imports.
#include "heightgrid/data/ImportOptions.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QGroupBox;

class TImportForm : public QDialog {
    Q_OBJECT
public:
    explicit TImportForm(QWidget* parent = nullptr);

    // Select a mode exactly as a click on its radio button does.
    void AutoSize();
    void LoadSize();

    // The controls as an options record, and back.
    TImportOptions Options() const;
    void SetOptions(const TImportOptions& options);

    static constexpr int HelpContext = 25;

    QRadioButton* AutoSizeRadio;
    QRadioButton* LoadRadio;
    QSpinBox* XOriginSpin;
    QSpinBox* YOriginSpin;
    QSpinBox* DefaultSpin;
    QCheckBox* NullCheck;
    QCheckBox* OverwriteCheck;
    QSpinBox* XOffsetSpin;
    QSpinBox* YOffsetSpin;
    QSpinBox* SampleSpin;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplyModeRules();
    void NullCheckClick();

    QLabel* XOriginLabel;
    QLabel* YOriginLabel;
    QLabel* DefaultLabel;
};

// Selects the mode, sets "Sample at every" to 1, shows the dialog modally and, after OK, fills
// `options`. False when the dialog was cancelled.
bool RunImportDialog(TImportForm& form, bool autoSize, TImportOptions& options);

// The one dialog made at start-up (null before).
extern QPointer<TImportForm> ImportForm;
