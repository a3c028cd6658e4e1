#pragma once
// TFActors: the plant types editor ("Vegetation Editor"). Keeps the project's plant types: name,
// the three L-system files (far, middle, near) inside the plants folder, sixteen colours and the
// hue and brightness variability. A plant type's colours can be saved to and loaded from a small
// INI file. Plant types are never removed; name changes and new types tell the layer views (2033).
#include "shell/BaseUnit.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;
class TEnhTrackBar;
class THemisphereButton;
struct TActor;
struct TActorBlock;
class TProject;

// ---- Shared by the editors that pick files inside a project folder -----------------------------
// True when `chosen` lies directly in `folder` (letters compared without case, '\' and '/' alike,
// a trailing separator optional); `bare` is then the file name without its folder.
bool FileInProjectFolder(const std::string& chosen, const std::string& folder, std::string& bare);
// The project paths dialog filled from the plants, models and overlays folders of `project`; OK
// writes the three folders back. False when cancelled.
bool EditProjectPaths(TProject& project, QWidget* owner);
// The next free ID of a list: NextID, or past the largest ID in use when a damaged file left NextID
// behind, so an ID is never given twice.
template <class Items>
int32_t FreeID(int32_t nextID, const Items& items)
{
    int32_t id = nextID;
    for (const auto& item : items)
        if (item.ID >= id)
            id = item.ID + 1;
    return id;
}

// ---- Plant types -------------------------------------------------------------------------------
// Appends a plant type "Unassigned" with the default colours and variability; returns its index.
size_t AddPlantType(TActorBlock& block);

// Plant colour file: section "Plant Colors", keys "Color0" .. "Color15".
inline constexpr const char* PlantColorsSection = "Plant Colors";
bool SavePlantColors(const TActor& actor, const std::string& fileName, std::string* error);
// Reads all sixteen colours first and applies them only when the file is usable: a missing file,
// one without the section, or a value outside 0 .. $FFFFFF leaves the colours untouched. A missing
// key reads as black.
bool LoadPlantColors(TActor& actor, const std::string& fileName, std::string* error);

class TFActors : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFActors(QWidget* parent = nullptr);
    ~TFActors() override;

    void RefreshFromProject() override;
    // Shows the plant type of the selected row (nothing selected: empty controls).
    void ActorListBoxClick();
    void NewButtonClick();
    // Which: 0 far, 1 middle, 2 near.
    void FileButtonClick(int which);
    void ActorPathButtonClick();
    void ColorButtonClick(THemisphereButton* button);
    void SaveColorsButtonClick();
    void LoadColorsButtonClick();
    void SendForceLimitedRedraw();

    QListWidget* ActorListBox = nullptr;
    QPushButton* NewButton = nullptr;
    QPushButton* DeleteButton = nullptr; // never shown: plant types cannot be removed
    QLineEdit* ActorNameEdit = nullptr;
    QLineEdit* FarActorSourceEdit = nullptr;
    QLineEdit* MidActorSourceEdit = nullptr;
    QLineEdit* NearActorSourceEdit = nullptr;
    QPushButton* FarFileButton = nullptr;
    QPushButton* MidFileButton = nullptr;
    QPushButton* NearFileButton = nullptr;
    QPushButton* ActorPathButton = nullptr;
    std::array<THemisphereButton*, 16> Colors{};
    TEnhTrackBar* HueVariabilityTrack = nullptr;
    TEnhTrackBar* BrightnessVariabilityTrack = nullptr;
    QPushButton* SaveColorsButton = nullptr;
    QPushButton* LoadColorsButton = nullptr;

private:
    // The plant type of the selected row, or null.
    TActor* Selected() const;
    void SetFileButtonsEnabled(bool on);
    bool refreshing_ = false;
};

// The open plant types editor, or null.
extern TFActors* FActors;
