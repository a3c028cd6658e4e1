#include "editors/Overlay.h"

#include "controls/Hemibtn.h"
#include "editors/Actors.h"
#include "editors/EditorPattern.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/StrStuff.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <string>

TFOverlay* FOverlay = nullptr;

int TransparencyShown(double transparency) { return 100 - ClampedRound(transparency * 100.0, 0, 100); }

double TransparencyOf(int value) { return 1.0 - value * 0.01; }

size_t AddOverlayImage(TOverlayBlock& block)
{
    TOverlayImage image;
    image.Name = "Image " + std::to_string(InUse(block.Count, block.Items));
    image.ImageSize = 1024;
    image.DrawOverlay = 1;
    image.TransparencyColor = 0xFFFFFF;
    image.Transparency = 0.0;
    image.TransparencyMode = 1;
    image.Extra = -1;
    // Not the image of any terrain layer (ID 0 would make it the first layer's image).
    image.TerrainLayerID = -1;
    return size_t(AppendInUse(block.Count, block.Items, image));
}

TFOverlay::TFOverlay(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Overlay Parameters Editor"));
    auto* top = new QHBoxLayout(this);

    auto* images = new QGroupBox(QStringLiteral("Overlay Images"), this);
    auto* il = new QVBoxLayout(images);
    ImagesListBox = new QListWidget(images);
    il->addWidget(ImagesListBox);
    NewImageButton = new QPushButton(QStringLiteral("Add"), images);
    il->addWidget(NewImageButton);
    top->addWidget(images);

    auto* details = new QGroupBox(QStringLiteral("Image Details"), this);
    auto* g = new QGridLayout(details);
    NameEdit = new QLineEdit(details);
    NameEdit->setMaxLength(255);
    g->addWidget(new QLabel(QStringLiteral("Name"), details), 0, 0);
    g->addWidget(NameEdit, 0, 1, 1, 2);
    FileEdit = new QLineEdit(details);
    FileEdit->setReadOnly(true);
    FileButton = new QPushButton(QStringLiteral("..."), details);
    FileButton->setEnabled(false);
    g->addWidget(new QLabel(QStringLiteral("Source"), details), 1, 0);
    g->addWidget(FileEdit, 1, 1);
    g->addWidget(FileButton, 1, 2);
    SetOverlayDirButton = new QPushButton(QStringLiteral("Set Overlay Directory"), details);
    g->addWidget(SetOverlayDirButton, 2, 0, 1, 3);
    TransparencyButton = new THemisphereButton(details);
    TransparencyButton->setFixedSize(32, 32);
    g->addWidget(TransparencyButton, 3, 0);
    g->addWidget(new QLabel(QStringLiteral("Transparent color"), details), 3, 1, 1, 2);
    TransparencyModeCombo = new QComboBox(details);
    TransparencyModeCombo->addItems({QStringLiteral("Single Color"), QStringLiteral("Whole Layer")});
    g->addWidget(new QLabel(QStringLiteral("Transparency Mode"), details), 4, 0);
    g->addWidget(TransparencyModeCombo, 4, 1, 1, 2);
    TransparencyEdit = new QSpinBox(details);
    TransparencyEdit->setRange(0, 100);
    g->addWidget(new QLabel(QStringLiteral("Transparency"), details), 5, 0);
    g->addWidget(TransparencyEdit, 5, 1, 1, 2);
    top->addWidget(details);

    connect(ImagesListBox, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (!refreshing_)
            RunHandler([this, item] { ImagesListBoxClick(ImagesListBox->row(item)); });
    });
    connect(ImagesListBox, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!refreshing_)
            RunHandler([this, row] { ImagesListBoxClick(row); });
    });
    connect(ImagesListBox, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!refreshing_)
            RunEdit([this, item] { CheckChanged(item); });
    });
    connect(NewImageButton, &QPushButton::clicked, this, [this] { RunEdit([this] { NewImageButtonClick(); }); });
    connect(NameEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        Write([this, &text](TOverlayImage& image) {
            image.Name = CutShortString(text.toStdString());
            if (QListWidgetItem* item = ImagesListBox->item(SelectedImage)) {
                TRefreshScope scope(refreshing_);
                item->setText(QString::fromStdString(image.Name));
            }
        });
    });
    connect(FileButton, &QPushButton::clicked, this, [this] { RunEdit([this] { FileButtonClick(); }); });
    connect(SetOverlayDirButton, &QPushButton::clicked, this, [this] { RunEdit([this] { SetOverlayDirButtonClick(); }); });
    connect(TransparencyButton, &THemisphereButton::OnClick, this, [this] { RunEdit([this] { TransparencyButtonClick(); }); });
    connect(TransparencyModeCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Write([index](TOverlayImage& image) { image.TransparencyMode = static_cast<uint8_t>(index); });
    });
    connect(TransparencyEdit, &QSpinBox::valueChanged, this,
            [this](int value) { Write([value](TOverlayImage& image) { image.Transparency = TransparencyOf(value); }); });

    FOverlay = this;
}

TFOverlay::~TFOverlay()
{
    if (FOverlay == this)
        FOverlay = nullptr;
}

TOverlayImage* TFOverlay::Selected() const
{
    if (!ProjectVar() || !*ProjectVar())
        return nullptr;
    TProject& p = Project();
    if (SelectedImage < 0 || SelectedImage >= InUse(p.Overlays.Count, p.Overlays.Items))
        return nullptr;
    return &p.Overlays.Items[size_t(SelectedImage)];
}

template <class F>
void TFOverlay::Write(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        if (TOverlayImage* image = Selected())
            change(*image);
    });
}

void TFOverlay::RefreshFromProject()
{
    TProject& p = Project();
    TBusyCursor busy;
    {
        TRefreshScope scope(refreshing_);
        FileButton->setEnabled(false);
        ImagesListBox->clear();
        // The images in use: a new project's list holds one unused entry.
        for (int i = 0; i < InUse(p.Overlays.Count, p.Overlays.Items); ++i) {
            const TOverlayImage& image = p.Overlays.Items[size_t(i)];
            auto* item = new QListWidgetItem(QString::fromStdString(image.Name), ImagesListBox);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(image.DrawOverlay ? Qt::Checked : Qt::Unchecked);
        }
        if (InUse(p.Overlays.Count, p.Overlays.Items) > 0)
            FileButton->setEnabled(true);
    }
    LoadOverlayControls();
}

void TFOverlay::LoadOverlayControls()
{
    const TOverlayImage* image = Selected();
    if (!image)
        return;
    TRefreshScope scope(refreshing_);
    ImagesListBox->setCurrentRow(SelectedImage);
    FileEdit->setText(QString::fromStdString(image->FileName));
    NameEdit->setText(QString::fromStdString(image->Name));
    if (QListWidgetItem* item = ImagesListBox->item(SelectedImage))
        item->setCheckState(image->DrawOverlay ? Qt::Checked : Qt::Unchecked);
    TransparencyButton->SetFaceColor(ColorRefToQColor(static_cast<uint32_t>(image->TransparencyColor)));
    TransparencyEdit->setValue(TransparencyShown(image->Transparency));
    TransparencyModeCombo->setCurrentIndex(image->TransparencyMode != 0 ? 1 : 0);
}

void TFOverlay::ImagesListBoxClick(int row)
{
    SelectedImage = row;
    TOverlayImage* image = Selected();
    if (!image)
        return;
    if (QListWidgetItem* item = ImagesListBox->item(row))
        image->DrawOverlay = item->checkState() == Qt::Checked ? 1 : 0;
    LoadOverlayControls();
}

void TFOverlay::CheckChanged(QListWidgetItem* item)
{
    // A check switched on any row (mouse or keyboard) belongs to that row's image.
    const int row = ImagesListBox->row(item);
    TProject& p = Project();
    if (row < 0 || row >= InUse(p.Overlays.Count, p.Overlays.Items))
        return;
    p.Overlays.Items[size_t(row)].DrawOverlay = item->checkState() == Qt::Checked ? 1 : 0;
}

void TFOverlay::NewImageButtonClick()
{
    TProject& p = Project();
    const size_t index = AddOverlayImage(p.Overlays);
    {
        TRefreshScope scope(refreshing_);
        auto* item = new QListWidgetItem(QString::fromStdString(p.Overlays.Items[index].Name), ImagesListBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    SelectedImage = static_cast<int32_t>(index);
    FileButton->setEnabled(true);
    LoadOverlayControls();
}

void TFOverlay::FileButtonClick()
{
    TOverlayImage* image = Selected();
    if (!image)
        return;
    TProject& p = Project();
    const std::string chosen = Prompt().OpenFileName("Open", "Bitmaps (*.bmp)", p.Overlays.Directory);
    if (chosen.empty())
        return;
    std::string bare;
    if (!FileInProjectFolder(chosen, p.Overlays.Directory, bare)) {
        ShowError("E0114 File path does not match project's Overlay Directory");
        return;
    }
    FileEdit->setText(QString::fromStdString(CutShortString(bare)));
    image->FileName = FileEdit->text().toStdString();
}

void TFOverlay::SetOverlayDirButtonClick()
{
    if (Selected())
        EditProjectPaths(Project(), this);
}

void TFOverlay::TransparencyButtonClick()
{
    TOverlayImage* image = Selected();
    if (!image)
        return;
    uint32_t chosen = 0;
    if (!ChooseEditorColour(static_cast<uint32_t>(image->TransparencyColor), chosen))
        return;
    image->TransparencyColor = static_cast<int32_t>(chosen);
    TransparencyButton->SetFaceColor(ColorRefToQColor(chosen));
}
