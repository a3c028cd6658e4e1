#include "editors/urban.h"

#include "controls/FloatEdit.h"
#include "editors/Actors.h"
#include "editors/EditorPattern.h"
#include "models/GraphicEx.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/StrStuff.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

TFUrbanPlan* FUrbanPlan = nullptr;

namespace {

TFloatEdit* SizeEdit(QWidget* parent)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(2);
    e->SetMin(0.0);
    e->SetMax(99999999.9);
    return e;
}

QLabel* Preview(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFixedSize(96, 96);
    l->setScaledContents(true);
    l->setFrameShape(QFrame::Box);
    return l;
}

} // namespace

size_t AddUrbanPlan(TUrbanBlock& block)
{
    TUrbanPlanDef plan;
    plan.ID = FreeID(block.NextID, block.Items);
    plan.PlanName = "Unassigned";
    plan.PlanXSize = 1000.0;
    plan.PlanYSize = 1000.0;
    plan.PlanHeightSize = 100.0;
    plan.PlanZone = 0;
    const int index = AppendInUse(block.Count, block.Items, plan);
    block.NextID = plan.ID + 1;
    return size_t(index);
}

TFUrbanPlan::TFUrbanPlan(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Urban Plans"));
    auto* top = new QHBoxLayout(this);

    auto* plans = new QGroupBox(QStringLiteral("Urban Plans"), this);
    auto* pl = new QVBoxLayout(plans);
    PlanListBox = new QListWidget(plans);
    pl->addWidget(PlanListBox);
    auto* buttons = new QHBoxLayout;
    NewButton = new QPushButton(QStringLiteral("New"), plans);
    DeleteButton = new QPushButton(QStringLiteral("Delete"), plans);
    DeleteButton->setVisible(false);
    buttons->addWidget(NewButton);
    buttons->addWidget(DeleteButton);
    pl->addLayout(buttons);
    top->addWidget(plans);

    auto* props = new QGroupBox(QStringLiteral("Properties"), this);
    auto* g = new QGridLayout(props);
    PlanNameEdit = new QLineEdit(props);
    PlanNameEdit->setMaxLength(255);
    g->addWidget(new QLabel(QStringLiteral("Name"), props), 0, 0);
    g->addWidget(PlanNameEdit, 0, 1, 1, 3);

    const char* captions[3] = {"Height Plan", "Wall Color Plan", "Roof Color Plan"};
    QLineEdit** edits[3] = {&PlanHeightSourceEdit, &PlanWallColorSourceEdit, &PlanRoofColorSourceEdit};
    QPushButton** fileButtons[3] = {&HeightFileButton, &WallColorFileButton, &RoofColorFileButton};
    QLabel** previews[3] = {&PlanHeightImage, &PlanWallColorImage, &PlanRoofColorImage};
    for (int i = 0; i < 3; ++i) {
        auto* box = new QGroupBox(QString::fromLatin1(captions[i]), props);
        auto* bl = new QGridLayout(box);
        *edits[i] = new QLineEdit(box);
        (*edits[i])->setReadOnly(true);
        *fileButtons[i] = new QPushButton(QStringLiteral("..."), box);
        (*fileButtons[i])->setEnabled(false);
        *previews[i] = Preview(box);
        bl->addWidget(*edits[i], 0, 0);
        bl->addWidget(*fileButtons[i], 0, 1);
        bl->addWidget(*previews[i], 1, 0, 1, 2);
        g->addWidget(box, 1, i);
        connect(*fileButtons[i], &QPushButton::clicked, this, [this, i] { RunEdit([this, i] { FileButtonClick(i); }); });
    }

    auto* size = new QGroupBox(QStringLiteral("Plan Size (metres)"), props);
    auto* sl = new QGridLayout(size);
    PlanXSizeEdit = SizeEdit(size);
    PlanYSizeEdit = SizeEdit(size);
    PlanHeightSizeEdit = SizeEdit(size);
    sl->addWidget(new QLabel(QStringLiteral("x:"), size), 0, 0);
    sl->addWidget(PlanXSizeEdit, 0, 1);
    sl->addWidget(new QLabel(QStringLiteral("y:"), size), 1, 0);
    sl->addWidget(PlanYSizeEdit, 1, 1);
    sl->addWidget(new QLabel(QStringLiteral("Height:"), size), 2, 0);
    sl->addWidget(PlanHeightSizeEdit, 2, 1);
    g->addWidget(size, 2, 0, 1, 2);

    PlanZoneComboBox = new QComboBox(props);
    PlanZoneComboBox->addItems({QStringLiteral("Suburban"), QStringLiteral("Urban"), QStringLiteral("Industrial")});
    g->addWidget(new QLabel(QStringLiteral("Urban Type"), props), 2, 2);
    g->addWidget(PlanZoneComboBox, 2, 3);
    ModelPathButton = new QPushButton(QStringLiteral("Set Model Directory"), props);
    g->addWidget(ModelPathButton, 3, 0, 1, 2);
    top->addWidget(props);

    connect(PlanListBox, &QListWidget::currentRowChanged, this, [this] {
        if (!refreshing_)
            RunHandler([this] { PlanListBoxClick(); });
    });
    connect(NewButton, &QPushButton::clicked, this, [this] { RunEdit([this] { NewButtonClick(); }); });
    connect(PlanNameEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        Write([this, &text](TUrbanPlanDef& plan) {
            plan.PlanName = CutShortString(text.toStdString());
            PlanListBox->item(PlanListBox->currentRow())->setText(QString::fromStdString(plan.PlanName));
            SendForceLimitedRedraw();
        });
    });
    auto size_ = [this](TFloatEdit* edit, double TUrbanPlanDef::*field) {
        connect(edit, &QLineEdit::textChanged, this, [this, edit, field] {
            Write([edit, field](TUrbanPlanDef& plan) { plan.*field = edit->Value(); });
        });
    };
    size_(PlanXSizeEdit, &TUrbanPlanDef::PlanXSize);
    size_(PlanYSizeEdit, &TUrbanPlanDef::PlanYSize);
    size_(PlanHeightSizeEdit, &TUrbanPlanDef::PlanHeightSize);
    connect(PlanZoneComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Write([index](TUrbanPlanDef& plan) { plan.PlanZone = index; });
    });

    FUrbanPlan = this;
}

TFUrbanPlan::~TFUrbanPlan()
{
    if (FUrbanPlan == this)
        FUrbanPlan = nullptr;
}

TUrbanPlanDef* TFUrbanPlan::Selected() const
{
    if (!ProjectVar() || !*ProjectVar())
        return nullptr;
    TProject& p = Project();
    const int row = PlanListBox->currentRow();
    if (row < 0 || row >= InUse(p.Urban.Count, p.Urban.Items))
        return nullptr;
    return &p.Urban.Items[size_t(row)];
}

template <class F>
void TFUrbanPlan::Write(F&& change)
{
    if (refreshing_)
        return;
    ProjectChanged();
    RunHandler([&] {
        if (TUrbanPlanDef* plan = Selected())
            change(*plan);
    });
}

void TFUrbanPlan::SetFileButtonsEnabled(bool on)
{
    HeightFileButton->setEnabled(on);
    WallColorFileButton->setEnabled(on);
    RoofColorFileButton->setEnabled(on);
}

void TFUrbanPlan::RefreshFromProject()
{
    TProject& p = Project();
    TBusyCursor busy;
    const int row = PlanListBox->currentRow();
    {
        TRefreshScope scope(refreshing_);
        SetFileButtonsEnabled(false);
        PlanListBox->clear();
        // The plans in use: a new project's list holds one unused entry.
        for (int i = 0; i < InUse(p.Urban.Count, p.Urban.Items); ++i)
            PlanListBox->addItem(QString::fromStdString(p.Urban.Items[size_t(i)].PlanName));
        if (row >= 0 && row < PlanListBox->count())
            PlanListBox->setCurrentRow(row);
    }
    if (InUse(p.Urban.Count, p.Urban.Items) > 0)
        SetFileButtonsEnabled(true);
    PlanListBoxClick();
}

void TFUrbanPlan::ShowPreview(QLabel* preview, const std::string& fileName)
{
    preview->clear();
    if (fileName.empty())
        return;
    const std::string path = FileInDirectory(Project().Models.Directory, fileName);
    QImage image;
    std::string error;
    if (!LoadPicture(FindFileCaseInsensitive(path), image, &error)) {
        ShowError(error.empty() ? "Cannot load " + path : error);
        return;
    }
    preview->setPixmap(QPixmap::fromImage(image));
}

void TFUrbanPlan::PlanListBoxClick()
{
    const TUrbanPlanDef* plan = Selected();
    const TUrbanPlanDef none;
    const TUrbanPlanDef& shown = plan ? *plan : none;
    {
        TRefreshScope scope(refreshing_);
        PlanNameEdit->setText(QString::fromStdString(shown.PlanName));
        PlanHeightSourceEdit->setText(QString::fromStdString(shown.PlanHeightSource));
        PlanWallColorSourceEdit->setText(QString::fromStdString(shown.PlanWallColorSource));
        PlanRoofColorSourceEdit->setText(QString::fromStdString(shown.PlanRoofColorSource));
        ShowFloatValue(*PlanXSizeEdit, shown.PlanXSize);
        ShowFloatValue(*PlanYSizeEdit, shown.PlanYSize);
        ShowFloatValue(*PlanHeightSizeEdit, shown.PlanHeightSize);
        // A zone the list does not know shows no item rather than a wrong one.
        PlanZoneComboBox->setCurrentIndex(shown.PlanZone >= 0 && shown.PlanZone < 3 ? shown.PlanZone : -1);
    }
    // Each preview is tried even when another one fails.
    RunHandler([&] { ShowPreview(PlanHeightImage, shown.PlanHeightSource); });
    RunHandler([&] { ShowPreview(PlanWallColorImage, shown.PlanWallColorSource); });
    RunHandler([&] { ShowPreview(PlanRoofColorImage, shown.PlanRoofColorSource); });
}

void TFUrbanPlan::NewButtonClick()
{
    TProject& p = Project();
    const size_t index = AddUrbanPlan(p.Urban);
    {
        TRefreshScope scope(refreshing_);
        PlanListBox->addItem(QString::fromStdString(p.Urban.Items[index].PlanName));
    }
    SetFileButtonsEnabled(true);
    SendForceLimitedRedraw();
}

void TFUrbanPlan::FileButtonClick(int which)
{
    TUrbanPlanDef* plan = Selected();
    if (!plan || which < 0 || which > 2)
        return;
    TProject& p = Project();
    std::string TUrbanPlanDef::*fields[3] = {&TUrbanPlanDef::PlanHeightSource, &TUrbanPlanDef::PlanWallColorSource,
                                             &TUrbanPlanDef::PlanRoofColorSource};
    QLineEdit* edits[3] = {PlanHeightSourceEdit, PlanWallColorSourceEdit, PlanRoofColorSourceEdit};
    QLabel* previews[3] = {PlanHeightImage, PlanWallColorImage, PlanRoofColorImage};
    const std::string chosen = Prompt().OpenFileName("Open", "Bitmaps (*.bmp)", p.Models.Directory);
    if (chosen.empty())
        return;
    std::string bare;
    if (!FileInProjectFolder(chosen, p.Models.Directory, bare)) {
        ShowError("E0102 File path does not match project's Actor Directory");
        return;
    }
    edits[which]->setText(QString::fromStdString(CutShortString(bare)));
    plan->*fields[which] = edits[which]->text().toStdString();
    ShowPreview(previews[which], plan->*fields[which]);
}

void TFUrbanPlan::SendForceLimitedRedraw() { BroadcastToForms(TAppMessage{WM_FORCELIMITEDREDRAW, 0, 0, 0}); }
