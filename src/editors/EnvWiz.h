#pragma once
// TFEnvWizard: the environment wizard ("Environment Wizard"). Lists the environment templates
// (environment INI files) of the templates folder and applies the chosen one to the project: all of
// it, or any of its atmosphere, landscape surfaces, clouds and water sections. Afterwards every open
// editor is refreshed.
#include "shell/BaseUnit.h"

#include <QStringList>

#include <string>
#include <vector>

class QCheckBox;
class QListWidget;
class QPushButton;

struct TEnvTemplate {
    std::string Path; // full path of the file
    std::string Name; // "Name" of section "Environment", "Unknown" without one
};
// The templates of a folder ("*.ini", letters of the extension in any case), sorted by file name.
// A missing folder has none.
std::vector<TEnvTemplate> FindEnvironmentTemplates(const std::string& folder);

class TFEnvWizard : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFEnvWizard(QWidget* parent = nullptr);
    ~TFEnvWizard() override;

    void RefreshFromProject() override;
    void AllCheckClick();
    void LoadButtonClick();
    void RendererCheckClick();

    // Entry i: full path of the template of row i.
    QStringList TemplatePaths;

    QListWidget* TemplatesListBox = nullptr;
    QCheckBox* AllCheck = nullptr;
    QCheckBox* AtmosphereCheck = nullptr;
    QCheckBox* CloudCheck = nullptr;
    QCheckBox* SurfaceCheck = nullptr;
    QCheckBox* WaterCheck = nullptr;
    QPushButton* LoadButton = nullptr;
    QCheckBox* RendererCheck = nullptr;

private:
    bool refreshing_ = false;
};

// The open environment wizard, or null.
extern TFEnvWizard* FEnvWizard;
