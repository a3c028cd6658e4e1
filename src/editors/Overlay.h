#pragma once
// TFOverlay: the overlay editor ("Overlay Parameters Editor"). Lists every overlay image of the
// project (those of terrain layers and those marked deleted too), switches each on or off, adds
// images, names them, picks their bitmap inside the overlay folder and sets their transparency
// colour, mode and amount.
#include "shell/BaseUnit.h"

#include <cstdint>

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class THemisphereButton;
struct TOverlayBlock;
struct TOverlayImage;

// Appends an image "Image <index>" drawn, white transparency colour, whole-layer mode, no
// transparency and no terrain layer; returns its index.
size_t AddOverlayImage(TOverlayBlock& block);
// The "Transparency" spin value (0 .. 100) of a stored transparency and back.
int TransparencyShown(double transparency);   // 100 - Round(transparency x 100), limited to 0 .. 100
double TransparencyOf(int value);             // 1.0 - value x 0.01

class TFOverlay : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFOverlay(QWidget* parent = nullptr);
    ~TFOverlay() override;

    void RefreshFromProject() override;
    // Shows the image SelectedImage when the project has it.
    void LoadOverlayControls();
    // A click on a row: it becomes the selected image and its check is written.
    void ImagesListBoxClick(int row);
    void NewImageButtonClick();
    void FileButtonClick();
    void SetOverlayDirButtonClick();
    void TransparencyButtonClick();

    int32_t SelectedImage = -1;

    QListWidget* ImagesListBox = nullptr;
    QPushButton* NewImageButton = nullptr;
    QLineEdit* NameEdit = nullptr;
    QLineEdit* FileEdit = nullptr;
    QPushButton* FileButton = nullptr;
    QPushButton* SetOverlayDirButton = nullptr;
    THemisphereButton* TransparencyButton = nullptr;
    QComboBox* TransparencyModeCombo = nullptr;
    QSpinBox* TransparencyEdit = nullptr;

private:
    // The selected image, or null when SelectedImage is not an image of the project.
    TOverlayImage* Selected() const;
    template <class F>
    void Write(F&& change);
    void CheckChanged(QListWidgetItem* item);
    bool refreshing_ = false;
};

// The open overlay editor, or null.
extern TFOverlay* FOverlay;
