#include "editors/Actors.h"

#include "controls/EnhTrackBar.h"
#include "controls/Hemibtn.h"
#include "editors/EditorPattern.h"
#include "project/IniFile.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/StrStuff.h"
#include "shell/Main.h"
#include "shell/PathDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

TFActors* FActors = nullptr;

namespace {

std::string NormalisedFolder(std::string folder)
{
    for (char& ch : folder)
        ch = ch == '\\' ? '/' : ch;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return QString::fromStdString(folder).toUpper().toStdString();
}

TFloatColor WithAlpha(const TFloatRGB& c) { return TFloatColor{c.R, c.G, c.B, 1.0f}; }

TFloatRGB RGBOf(uint32_t colour)
{
    const TFloatColor f = ColorRefToFloat(colour);
    return TFloatRGB{f.R, f.G, f.B};
}

constexpr float DefaultPlantColours[16][3] = {
    {0.5f, 0.5f, 0.5f}, {0.3f, 0.3f, 0.3f}, {0.8f, 0.4f, 0.4f}, {0.8f, 0.8f, 0.4f},
    {0.4f, 0.8f, 0.4f}, {0.4f, 0.8f, 0.8f}, {0.4f, 0.4f, 0.8f}, {0.8f, 0.4f, 0.8f},
    {0.2f, 0.5f, 0.2f}, {0.2f, 0.5f, 0.5f}, {0.2f, 0.2f, 0.5f}, {0.5f, 0.2f, 0.5f},
    {0.6f, 0.2f, 0.2f}, {0.5f, 0.5f, 0.5f}, {0.7f, 0.7f, 0.7f}, {0.9f, 0.9f, 0.9f},
};

std::string ColorKey(int n) { return "Color" + std::to_string(n); }

TEnhTrackBar* VariabilityTrack(QWidget* parent)
{
    auto* t = new TEnhTrackBar(parent);
    t->setOrientation(Qt::Horizontal);
    t->setRange(0, 100);
    return t;
}

int VariabilityPosition(double field)
{
    if (std::isnan(field))
        return 0;
    return static_cast<int>(std::trunc(std::clamp(field, 0.0, 1.0) * 100.0));
}

} // namespace

bool FileInProjectFolder(const std::string& chosen, const std::string& folder, std::string& bare)
{
    std::string path = chosen;
    for (char& ch : path)
        ch = ch == '\\' ? '/' : ch;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 >= path.size())
        return false;
    if (NormalisedFolder(path.substr(0, slash + 1)) != NormalisedFolder(folder))
        return false;
    bare = path.substr(slash + 1);
    return true;
}

bool EditProjectPaths(TProject& project, QWidget* owner)
{
    CreateShellDialogs(owner);
    TFPathDlg& dialog = *FPathDlg;
    dialog.VegetationEdit->setText(QString::fromStdString(project.Actors.Directory));
    dialog.ModelsEdit->setText(QString::fromStdString(project.Models.Directory));
    dialog.OverlaysEdit->setText(QString::fromStdString(project.Overlays.Directory));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    project.Actors.Directory = CutShortString(dialog.VegetationEdit->text().toStdString());
    project.Models.Directory = CutShortString(dialog.ModelsEdit->text().toStdString());
    project.Overlays.Directory = CutShortString(dialog.OverlaysEdit->text().toStdString());
    return true;
}

size_t AddPlantType(TActorBlock& block)
{
    TActor a;
    a.ID = FreeID(block.NextID, block.Items);
    a.Name = "Unassigned";
    a.HueVariability = 0.2;
    a.BrightnessVariability = 0.2;
    for (int n = 0; n < 16; ++n)
        a.Colors[n] = TFloatRGB{DefaultPlantColours[n][0], DefaultPlantColours[n][1], DefaultPlantColours[n][2]};
    const int index = AppendInUse(block.Count, block.Items, a);
    block.NextID = a.ID + 1;
    return size_t(index);
}

bool SavePlantColors(const TActor& actor, const std::string& fileName, std::string* error)
{
    TIniFile ini;
    if (!ini.LoadFromFile(fileName, error))
        return false;
    for (int n = 0; n < 16; ++n)
        ini.WriteInteger(PlantColorsSection, ColorKey(n), FaceColorRef(WithAlpha(actor.Colors[n])));
    return ini.SaveToFile(fileName, error);
}

bool LoadPlantColors(TActor& actor, const std::string& fileName, std::string* error)
{
    auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!QFileInfo(QString::fromStdString(fileName)).isFile())
        return fail("File not found: " + fileName);
    TIniFile ini;
    if (!ini.LoadFromFile(fileName, error))
        return false;
    if (!ini.SectionExists(PlantColorsSection))
        return fail(std::string("No \"") + PlantColorsSection + "\" section in " + fileName);
    TFloatRGB read[16];
    for (int n = 0; n < 16; ++n) {
        const int32_t value = ini.ReadInteger(PlantColorsSection, ColorKey(n), 0);
        if (value < 0 || value > 0xFFFFFF)
            return fail(ColorKey(n) + " is not a colour value");
        read[n] = RGBOf(static_cast<uint32_t>(value));
    }
    std::copy(std::begin(read), std::end(read), actor.Colors);
    return true;
}

// ---- The window ------------------------------------------------------------------------------------

TFActors::TFActors(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Vegetation Editor"));
    auto* top = new QHBoxLayout(this);

    auto* plants = new QGroupBox(QStringLiteral("Plants"), this);
    auto* pl = new QVBoxLayout(plants);
    ActorListBox = new QListWidget(plants);
    pl->addWidget(ActorListBox);
    auto* buttons = new QHBoxLayout;
    NewButton = new QPushButton(QStringLiteral("New"), plants);
    DeleteButton = new QPushButton(QStringLiteral("Delete"), plants);
    DeleteButton->setVisible(false);
    buttons->addWidget(NewButton);
    buttons->addWidget(DeleteButton);
    pl->addLayout(buttons);
    top->addWidget(plants);

    auto* props = new QGroupBox(QStringLiteral("Properties"), this);
    auto* g = new QGridLayout(props);
    ActorNameEdit = new QLineEdit(props);
    ActorNameEdit->setMaxLength(255);
    g->addWidget(new QLabel(QStringLiteral("Name"), props), 0, 0);
    g->addWidget(ActorNameEdit, 0, 1, 1, 2);

    auto* sources = new QGroupBox(QStringLiteral("Source Files"), props);
    auto* sg = new QGridLayout(sources);
    const char* labels[3] = {"Far", "Mid", "Near"};
    QLineEdit** edits[3] = {&FarActorSourceEdit, &MidActorSourceEdit, &NearActorSourceEdit};
    QPushButton** fileButtons[3] = {&FarFileButton, &MidFileButton, &NearFileButton};
    for (int i = 0; i < 3; ++i) {
        *edits[i] = new QLineEdit(sources);
        (*edits[i])->setReadOnly(true);
        *fileButtons[i] = new QPushButton(QStringLiteral("..."), sources);
        (*fileButtons[i])->setEnabled(false);
        sg->addWidget(new QLabel(QString::fromLatin1(labels[i]), sources), i, 0);
        sg->addWidget(*edits[i], i, 1);
        sg->addWidget(*fileButtons[i], i, 2);
        connect(*fileButtons[i], &QPushButton::clicked, this, [this, i] { RunEdit([this, i] { FileButtonClick(i); }); });
    }
    g->addWidget(sources, 1, 0, 1, 3);
    ActorPathButton = new QPushButton(QStringLiteral("Set Vegetation Directory"), props);
    g->addWidget(ActorPathButton, 2, 0, 1, 3);

    auto* colours = new QGroupBox(QStringLiteral("Colors"), props);
    auto* cg = new QGridLayout(colours);
    for (int n = 0; n < 16; ++n) {
        auto* b = new THemisphereButton(colours);
        b->setObjectName(QStringLiteral("Color%1").arg(n, 2, 10, QLatin1Char('0')));
        b->setFixedSize(24, 24);
        Colors[size_t(n)] = b;
        cg->addWidget(b, n / 8, n % 8);
        connect(b, &THemisphereButton::OnClick, this, [this, b] { RunEdit([this, b] { ColorButtonClick(b); }); });
    }
    g->addWidget(colours, 3, 0, 1, 3);

    HueVariabilityTrack = VariabilityTrack(props);
    BrightnessVariabilityTrack = VariabilityTrack(props);
    g->addWidget(new QLabel(QStringLiteral("Hue variability"), props), 4, 0);
    g->addWidget(HueVariabilityTrack, 4, 1, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("Brightness Variability"), props), 5, 0);
    g->addWidget(BrightnessVariabilityTrack, 5, 1, 1, 2);
    SaveColorsButton = new QPushButton(QStringLiteral("Save Colors"), props);
    LoadColorsButton = new QPushButton(QStringLiteral("Load Colors"), props);
    g->addWidget(SaveColorsButton, 6, 1);
    g->addWidget(LoadColorsButton, 6, 2);
    top->addWidget(props);

    connect(ActorListBox, &QListWidget::currentRowChanged, this, [this] {
        if (!refreshing_)
            RunHandler([this] { ActorListBoxClick(); });
    });
    connect(NewButton, &QPushButton::clicked, this, [this] { RunEdit([this] { NewButtonClick(); }); });
    connect(ActorNameEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (refreshing_)
            return;
        ProjectChanged();
        RunHandler([this, &text] {
            TActor* a = Selected();
            if (!a)
                return;
            a->Name = CutShortString(text.toStdString());
            ActorListBox->item(ActorListBox->currentRow())->setText(QString::fromStdString(a->Name));
            SendForceLimitedRedraw();
        });
    });
    auto track = [this](TEnhTrackBar* bar, double TActor::*field) {
        connect(bar, &QSlider::valueChanged, this, [this, field](int position) {
            if (refreshing_)
                return;
            ProjectChanged();
            if (TActor* a = Selected())
                a->*field = position / 100.0;
        });
    };
    track(HueVariabilityTrack, &TActor::HueVariability);
    track(BrightnessVariabilityTrack, &TActor::BrightnessVariability);
    connect(ActorPathButton, &QPushButton::clicked, this, [this] { RunEdit([this] { ActorPathButtonClick(); }); });
    connect(SaveColorsButton, &QPushButton::clicked, this, [this] { RunHandler([this] { SaveColorsButtonClick(); }); });
    connect(LoadColorsButton, &QPushButton::clicked, this, [this] { RunEdit([this] { LoadColorsButtonClick(); }); });

    FActors = this;
}

TFActors::~TFActors()
{
    if (FActors == this)
        FActors = nullptr;
}

TActor* TFActors::Selected() const
{
    if (!ProjectVar() || !*ProjectVar())
        return nullptr;
    TProject& p = Project();
    const int row = ActorListBox->currentRow();
    if (row < 0 || row >= InUse(p.Actors.Count, p.Actors.Items))
        return nullptr;
    return &p.Actors.Items[size_t(row)];
}

void TFActors::SetFileButtonsEnabled(bool on)
{
    FarFileButton->setEnabled(on);
    MidFileButton->setEnabled(on);
    NearFileButton->setEnabled(on);
}

void TFActors::RefreshFromProject()
{
    TProject& p = Project();
    TBusyCursor busy;
    const int row = ActorListBox->currentRow();
    {
        TRefreshScope scope(refreshing_);
        SetFileButtonsEnabled(false);
        ActorListBox->clear();
        // The plant types in use: a new project's list holds one unused entry.
        for (int i = 0; i < InUse(p.Actors.Count, p.Actors.Items); ++i)
            ActorListBox->addItem(QString::fromStdString(p.Actors.Items[size_t(i)].Name));
        // The row shown before stays shown while the project still has it.
        if (row >= 0 && row < ActorListBox->count())
            ActorListBox->setCurrentRow(row);
    }
    if (InUse(p.Actors.Count, p.Actors.Items) > 0)
        SetFileButtonsEnabled(true);
    ActorListBoxClick();
}

void TFActors::ActorListBoxClick()
{
    TRefreshScope scope(refreshing_);
    const TActor* a = Selected();
    // Nothing selected: nothing of another plant type (or project) stays on show.
    const TActor none;
    const TActor& shown = a ? *a : none;
    ActorNameEdit->setText(QString::fromStdString(shown.Name));
    FarActorSourceEdit->setText(QString::fromStdString(shown.FarActorSource));
    MidActorSourceEdit->setText(QString::fromStdString(shown.MidActorSource));
    NearActorSourceEdit->setText(QString::fromStdString(shown.NearActorSource));
    HueVariabilityTrack->setValue(VariabilityPosition(shown.HueVariability));
    BrightnessVariabilityTrack->setValue(VariabilityPosition(shown.BrightnessVariability));
    for (int n = 0; n < 16; ++n)
        Colors[size_t(n)]->SetFaceColor(ColorRefToQColor(FaceColorRef(WithAlpha(shown.Colors[n]))));
}

void TFActors::NewButtonClick()
{
    TProject& p = Project();
    const size_t index = AddPlantType(p.Actors);
    {
        TRefreshScope scope(refreshing_);
        ActorListBox->addItem(QString::fromStdString(p.Actors.Items[index].Name));
    }
    SetFileButtonsEnabled(true);
    SendForceLimitedRedraw();
}

void TFActors::FileButtonClick(int which)
{
    TActor* a = Selected();
    if (!a || which < 0 || which > 2)
        return;
    TProject& p = Project();
    std::string TActor::*fields[3] = {&TActor::FarActorSource, &TActor::MidActorSource, &TActor::NearActorSource};
    QLineEdit* edits[3] = {FarActorSourceEdit, MidActorSourceEdit, NearActorSourceEdit};
    const std::string start = FileInDirectory(p.Actors.Directory, edits[which]->text().toStdString());
    const std::string chosen = Prompt().OpenFileName("Open", "LParser (*.ls)", start);
    if (chosen.empty())
        return;
    std::string bare;
    if (!FileInProjectFolder(chosen, p.Actors.Directory, bare)) {
        ShowError("E0102 File path does not match project's Actor Directory");
        return;
    }
    edits[which]->setText(QString::fromStdString(CutShortString(bare)));
    a->*fields[which] = edits[which]->text().toStdString();
}

void TFActors::ActorPathButtonClick() { EditProjectPaths(Project(), this); }

void TFActors::ColorButtonClick(THemisphereButton* button)
{
    TActor* a = Selected();
    if (!a || !button)
        return;
    bool ok = false;
    const int n = button->objectName().right(2).toInt(&ok);
    if (!ok || n < 0 || n > 15)
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(QColorToColorRef(button->FaceColor()), chosen))
        return;
    button->SetFaceColor(ColorRefToQColor(chosen));
    a->Colors[n] = RGBOf(chosen);
}

void TFActors::SaveColorsButtonClick()
{
    const TActor* a = Selected();
    if (!a)
        return;
    const std::string fileName = Prompt().SaveFileName("Save Colors", "Colors (*.ini)", Project().Actors.Directory);
    if (fileName.empty())
        return;
    std::string target = fileName;
    if (QFileInfo(QString::fromStdString(target)).suffix().isEmpty())
        target += ".ini";
    std::string error;
    if (!SavePlantColors(*a, target, &error))
        ShowError(error);
}

void TFActors::LoadColorsButtonClick()
{
    TActor* a = Selected();
    if (!a)
        return;
    const std::string fileName = Prompt().OpenFileName("Load Colors", "Colors (*.ini)", Project().Actors.Directory);
    if (fileName.empty())
        return;
    std::string error;
    if (!LoadPlantColors(*a, fileName, &error)) {
        ShowError(error);
        return;
    }
    ActorListBoxClick();
}

void TFActors::SendForceLimitedRedraw() { BroadcastToForms(TAppMessage{WM_FORCELIMITEDREDRAW, 0, 0, 0}); }
