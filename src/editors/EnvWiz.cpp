#include "editors/EnvWiz.h"

#include "editors/EditorPattern.h"
#include "project/IniFile.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "shell/Main.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFEnvWizard* FEnvWizard = nullptr;

std::vector<TEnvTemplate> FindEnvironmentTemplates(const std::string& folder)
{
    std::vector<TEnvTemplate> found;
    QString path = QString::fromStdString(folder);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return found;
    dir.setNameFilters({QStringLiteral("*.ini")});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : dir.entryInfoList()) {
        TIniFile ini;
        const std::string full = file.absoluteFilePath().toStdString();
        // An unreadable file still gets its row; loading it reports the failure.
        ini.LoadFromFile(full);
        found.push_back({full, ini.ReadString("Environment", "Name", "Unknown")});
    }
    return found;
}

TFEnvWizard::TFEnvWizard(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Environment Wizard"));
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* templates = new QGroupBox(QStringLiteral("Templates available"), this);
    auto* tl = new QVBoxLayout(templates);
    TemplatesListBox = new QListWidget(templates);
    tl->addWidget(TemplatesListBox);
    row->addWidget(templates);

    auto* sections = new QGroupBox(QStringLiteral("Load these settings"), this);
    auto* sl = new QVBoxLayout(sections);
    AllCheck = new QCheckBox(QStringLiteral("All"), sections);
    AllCheck->setChecked(true);
    AtmosphereCheck = new QCheckBox(QStringLiteral("Atmosphere"), sections);
    CloudCheck = new QCheckBox(QStringLiteral("Clouds"), sections);
    SurfaceCheck = new QCheckBox(QStringLiteral("Landscape Surfaces"), sections);
    WaterCheck = new QCheckBox(QStringLiteral("Water Surface"), sections);
    sl->addWidget(AllCheck);
    for (QCheckBox* box : {AtmosphereCheck, CloudCheck, SurfaceCheck, WaterCheck}) {
        box->setEnabled(false);
        sl->addWidget(box);
    }
    row->addWidget(sections);
    top->addLayout(row);

    LoadButton = new QPushButton(QStringLiteral("Load"), this);
    top->addWidget(LoadButton);
    RendererCheck = new QCheckBox(QStringLiteral("Alway open this wizard with the Fractal renderer"), this);
    RendererCheck->setChecked(EnvironmentWithRendererDefault); // until the setting is read
    top->addWidget(RendererCheck);

    connect(AllCheck, &QCheckBox::clicked, this, [this] { RunHandler([this] { AllCheckClick(); }); });
    connect(LoadButton, &QPushButton::clicked, this, [this] { RunEdit([this] { LoadButtonClick(); }); });
    connect(RendererCheck, &QCheckBox::toggled, this, [this] {
        if (!refreshing_)
            RunHandler([this] { RendererCheckClick(); });
    });

    FEnvWizard = this;
}

TFEnvWizard::~TFEnvWizard()
{
    if (FEnvWizard == this)
        FEnvWizard = nullptr;
}

void TFEnvWizard::RefreshFromProject()
{
    Project();
    TBusyCursor busy;
    TRefreshScope scope(refreshing_);
    RendererCheck->setChecked(ReadEnvironmentWithRenderer());
    TemplatesListBox->clear();
    TemplatePaths.clear();
    for (const TEnvTemplate& t : FindEnvironmentTemplates(ReadPathSetting("Templates"))) {
        TemplatePaths.append(QString::fromStdString(t.Path));
        TemplatesListBox->addItem(QString::fromStdString(t.Name));
    }
}

void TFEnvWizard::AllCheckClick()
{
    const bool all = AllCheck->isChecked();
    for (QCheckBox* box : {AtmosphereCheck, CloudCheck, SurfaceCheck, WaterCheck}) {
        box->setChecked(!all);
        box->setEnabled(!all);
    }
}

void TFEnvWizard::LoadButtonClick()
{
    const int row = TemplatesListBox->currentRow();
    if (row < 0 || row >= TemplatePaths.size()) {
        ShowMessage("Please select a template to load");
        return;
    }
    TProject& p = Project();
    const std::string path = TemplatePaths[row].toStdString();
    // The importers read a missing file as empty and report success; a template removed since the
    // list was filled must not look applied.
    if (!QFileInfo(TemplatePaths[row]).isFile()) {
        ShowError("Template file not found: " + path);
        return;
    }
    if (AllCheck->isChecked()) {
        p.ImportEnvironmentSettings(path);
    } else {
        // Each import reports its own failure; a refused section leaves the others to load.
        if (AtmosphereCheck->isChecked())
            p.ImportAtmosphereSettings(path);
        if (SurfaceCheck->isChecked())
            p.ImportFractalSettings(path);
        if (CloudCheck->isChecked())
            p.ImportCloudSettings(path);
        if (WaterCheck->isChecked())
            p.ImportWaterSettings(path);
    }
    if (MainForm)
        MainForm->UpdateAllEditors();
}

void TFEnvWizard::RendererCheckClick()
{
    if (!WriteEnvironmentWithRenderer(RendererCheck->isChecked()))
        ShowError("The setting could not be stored");
}
