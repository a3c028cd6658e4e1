#include "render/script.h"

#include "controls/PBFolderDialog.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// The folder text with '/' separators and no trailing separator ("/" stays "/").
std::string NormalisedFolder(std::string folder)
{
    std::replace(folder.begin(), folder.end(), '\\', '/');
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool IsFolder(const std::string& folder)
{
    std::error_code error;
    return !folder.empty() && std::filesystem::is_directory(folder, error);
}

bool IsFile(const std::string& file)
{
    std::error_code error;
    return !file.empty() && std::filesystem::is_regular_file(file, error);
}

// Tells the user in the status text, and in a message box unless someone already did.
void Report(TScriptRun& run, TScriptEnd end, const std::string& text, bool alreadyShown)
{
    run.End = end;
    run.Message = text;
    StatusSink().SetOperationText(text);
    if (!alreadyShown)
        ShowError(text);
}

} // namespace

std::string FrameFileName(const TScriptChoice& choice, int frame)
{
    std::string folder = NormalisedFolder(choice.Directory);
    if (folder == "/")
        folder.clear();
    return folder + "/" + choice.Prefix + std::to_string(frame) + ".bmp";
}

TScriptRun RunAnimationScript(TProject& project, const TScriptChoice& choice, IFrameRenderer& renderer)
{
    TScriptRun run;
    // Checked before anything is rendered: otherwise every frame would render only to fail its save.
    if (!IsFile(choice.ScriptFile)) {
        Report(run, TScriptEnd::NoScript, "Script file not found: " + choice.ScriptFile, false);
        return run;
    }
    if (!IsFolder(NormalisedFolder(choice.Directory))) {
        Report(run, TScriptEnd::NoFolder, "Output directory does not exist: " + choice.Directory, false);
        return run;
    }
    for (int frame = 0;; ++frame) {
        run.LastFrame = frame;
        const TProject::TFrameResult loaded = project.LoadAnimationFrame(choice.ScriptFile, frame);
        if (loaded == TProject::TFrameResult::Missing) {
            if (frame == 0)
                Report(run, TScriptEnd::NoScript, "Script file has no frame 0: " + choice.ScriptFile, false);
            else
                run.End = TScriptEnd::Finished;
            return run;
        }
        const std::string number = std::to_string(frame);
        if (loaded == TProject::TFrameResult::Malformed) {
            Report(run, TScriptEnd::BadFrame, "Script stopped: frame " + number + " of the script could not be read", false);
            return run;
        }
        if (!renderer.RenderFrame()) {
            Report(run, TScriptEnd::RenderFailed, "Script stopped: frame " + number + " failed to render", true);
            return run;
        }
        if (!renderer.SaveFrame(FrameFileName(choice, frame))) {
            Report(run, TScriptEnd::SaveFailed, "Script stopped: frame " + number + " could not be saved", true);
            return run;
        }
        ++run.FramesSaved;
        if (renderer.FrameAborted()) {
            run.End = TScriptEnd::Aborted;
            return run;
        }
    }
}

// ---- Dialog ------------------------------------------------------------------------------------

QPointer<TRunScriptDlg> RunScriptDlg;

TRunScriptDlg& EnsureRunScriptDlg(QWidget* owner)
{
    if (!RunScriptDlg)
        RunScriptDlg = new TRunScriptDlg(owner);
    return *RunScriptDlg;
}

TRunScriptDlg::TRunScriptDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Run Script"));
    setModal(true);
    ScriptSourceEdit = new QLineEdit(this);
    ScriptSourceEdit->setReadOnly(true);
    FileButton = new QPushButton(QStringLiteral("..."), this);
    PrefixEdit = new QLineEdit(this);
    DirectoryEdit = new QLineEdit(this);
    DirButton = new QPushButton(QStringLiteral("..."), this);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    OKBtn->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Script file"), this), 0, 0);
    grid->addWidget(ScriptSourceEdit, 0, 1);
    grid->addWidget(FileButton, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("File prefix"), this), 1, 0);
    grid->addWidget(PrefixEdit, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Output directory"), this), 2, 0);
    grid->addWidget(DirectoryEdit, 2, 1);
    grid->addWidget(DirButton, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(FileButton, &QPushButton::clicked, this, [this] { FileButtonClick(); });
    connect(DirButton, &QPushButton::clicked, this, [this] { DirButtonClick(); });
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TRunScriptDlg::FormCreate()
{
    const TWinRegistry settings(QuarlexBaseKey);
    ScriptSourceEdit->setText(QString::fromStdString(settings.ReadString("script", "sourcefile", "")));
    DirectoryEdit->setText(QString::fromStdString(settings.ReadString("script", "dir", "")));
    PrefixEdit->setText(QString::fromStdString(settings.ReadString("script", "prefix", "frame")));
}

void TRunScriptDlg::FileButtonClick()
{
    const std::string chosen = Prompt().OpenFileName("Run Script", ScriptFileFilter, ScriptSourceEdit->text().toStdString());
    if (!chosen.empty())
        ScriptSourceEdit->setText(QString::fromStdString(chosen));
}

void TRunScriptDlg::DirButtonClick()
{
    TPBFolderDialog browser(this);
    browser.SetFolder(DirectoryEdit->text());
    if (browser.Execute())
        DirectoryEdit->setText(browser.Folder());
}

TScriptChoice TRunScriptDlg::Choice() const
{
    TScriptChoice choice;
    choice.ScriptFile = ScriptSourceEdit->text().toStdString();
    choice.Directory = DirectoryEdit->text().toStdString();
    choice.Prefix = PrefixEdit->text().toStdString();
    return choice;
}
