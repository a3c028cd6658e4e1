#pragma once
// TFPathDlg: the project paths dialog ("Project Preferences"): the plants, models and overlays
// folders of the project. Each "..." button browses for a folder and at once stores the choice as
// the default for new projects (section "Paths").
#include <QDialog>

class QLineEdit;
class QPushButton;

class TFPathDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFPathDlg(QWidget* parent = nullptr);

    enum TPathField { Vegetation = 0, Models = 1, Overlays = 2 };
    QLineEdit* Field(TPathField field) const { return edits_[field]; }
    QPushButton* BrowseButton(TPathField field) const { return browse_[field]; }
    // The "..." button of a field: the folder browser starts at the field's text without its last
    // character; a chosen folder goes into the field with a trailing separator and into the
    // settings. Returns true when a folder was chosen.
    bool BrowseFolder(TPathField field);

    QLineEdit* VegetationEdit;
    QLineEdit* ModelsEdit;
    QLineEdit* OverlaysEdit;

private:
    QLineEdit* edits_[3];
    QPushButton* browse_[3];
};

// The settings value of section "Paths" behind each field: "Plants", "Models", "Overlays".
const char* PathSettingName(TFPathDlg::TPathField field);
