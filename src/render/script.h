#pragma once
// Animation runs of the renderer windows: the "Run Script" dialog (script file, output folder,
// file prefix) and the frame loop that applies frame 0, 1, 2, ... of the script to the project,
// renders each and saves it as a numbered BMP file.
//
// The loop knows nothing of windows: a renderer window hands it an IFrameRenderer (render the
// project as it stands, save the picture, was the render aborted?). The window holds its render
// lock for the whole run, so nothing replaces the project between frames.
#include <QDialog>
#include <QPointer>

#include <string>

class QLineEdit;
class QPushButton;
class TProject;

// What the user chose in the dialog.
struct TScriptChoice {
    std::string ScriptFile;
    std::string Directory;
    std::string Prefix = "frame";
};

// Folder + "/" + prefix + frame + ".bmp", the number in decimal without leading zeros. The folder
// may be written with '\' or '/' and may end in one: the name never doubles the separator.
std::string FrameFileName(const TScriptChoice& choice, int frame);

// One renderer window as the frame loop drives it.
class IFrameRenderer {
public:
    virtual ~IFrameRenderer() = default;
    // Renders the project as it stands now. False when the render failed (it has told the user).
    virtual bool RenderFrame() = 0;
    // Saves the last picture. False when it could not be written (the user has been told).
    virtual bool SaveFrame(const std::string& fileName) = 0;
    // The last render was aborted by the user.
    virtual bool FrameAborted() const = 0;
};

enum class TScriptEnd {
    Finished,     // the script has no further frame
    Aborted,      // the user aborted a frame; that frame was saved
    NoScript,     // the script file is missing or has no frame 0
    NoFolder,     // the output folder does not exist
    BadFrame,     // a frame entry could not be read
    RenderFailed, // a render failed; its picture was not saved
    SaveFailed,   // a picture could not be written
};

struct TScriptRun {
    TScriptEnd End = TScriptEnd::Finished;
    int FramesSaved = 0;
    // The frame the run ended on (the first missing one when it finished).
    int LastFrame = 0;
    // What the user was told about the end ("" when it ended normally or by abort).
    std::string Message;
};

// The frame loop. Runs of frames that end normally or by abort say nothing of their own (each
// render reports its own status); every other end is reported in the status text and, unless the
// renderer or the panel has already told the user, in a message.
TScriptRun RunAnimationScript(TProject& project, const TScriptChoice& choice, IFrameRenderer& renderer);

// ---- Dialog ------------------------------------------------------------------------------------
class TRunScriptDlg : public QDialog {
    Q_OBJECT
public:
    explicit TRunScriptDlg(QWidget* parent = nullptr);

    // Fills the edits from section "script" of the settings ("sourcefile", "dir", "prefix").
    void FormCreate();
    // The open dialog for "*.srp" files, starting at the current script; OK puts the name in.
    void FileButtonClick();
    // The folder browser, starting at the current folder; a chosen folder goes in.
    void DirButtonClick();
    TScriptChoice Choice() const;

    QLineEdit* ScriptSourceEdit;
    QPushButton* FileButton;
    QLineEdit* PrefixEdit;
    QLineEdit* DirectoryEdit;
    QPushButton* DirButton;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

// The dialog, made once (at start-up, or on first use) and kept, so its last choices are offered
// again.
extern QPointer<TRunScriptDlg> RunScriptDlg;
TRunScriptDlg& EnsureRunScriptDlg(QWidget* owner = nullptr);

inline constexpr const char* ScriptFileFilter = "Script file (*.srp)";
