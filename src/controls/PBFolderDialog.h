#pragma once
// TPBFolderDialog: a non-visual component that lets the user pick a folder. Callers set Folder to
// a start folder, call Execute and, when it returns true, take Folder.
//
// Execute goes through the installed prompt (Messages.h ChooseFolder) when the application or a
// test has installed one, so no modal window ever blocks a test. With no prompt installed it shows
// the component's own browser (TFolderBrowser: a folder tree with the current-folder label and the
// "New folder" button). A prompt implementation that wants this browser calls ExecuteBrowser,
// which never goes back to the prompt.
#include <QDialog>
#include <QFlags>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QFileSystemModel;
class QFontMetrics;
class QLabel;
class QPushButton;
class QTreeView;

// Browser options with the shell's flag values.
enum TBrowseInfoFlag {
    OnlyFileSys = 0x1,
    OnlyDomains = 0x2,
    ShowPath = 0x4,
    OnlyAncestors = 0x8,
    OnlyComputers = 0x1000,
    OnlyPrinters = 0x2000,
};
Q_DECLARE_FLAGS(TBrowseInfoFlags, TBrowseInfoFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TBrowseInfoFlags)

enum class TSHFolders {
    foDesktop, foDesktopExpanded, foPrograms, foControlPanel, foPrinters, foPersonal, foFavorites,
    foStartup, foRecent, foSendto, foRecycleBin, foStartMenu, foDesktopFolder, foMyComputer,
    foNetwork, foNetworkNeighborhood, foFonts, foTemplates,
};

// The caption lists a new component starts with ("key=text" per language).
QStringList DefaultNewFolderCaptions();
QStringList DefaultLabelCaptions();

// The language identifier of a locale as four upper-case hexadecimal digits ("0409" for US
// English); the neutral primary language ("0009") for a country the table does not know, and ""
// for an unknown language.
QString LanguageIdOf(const QLocale& locale);

// The text of the entry whose key is languageId, else that of the "Default" entry, else "".
QString CaptionFor(const QStringList& captions, const QString& languageId);

// The folder the tree starts at; "" means the whole file system.
QString RootFolderPath(TSHFolders root);

// The path of a folder `name` made inside `folder`: a separator is put between them unless the
// folder already ends with one or the name starts with one.
QString NewFolderPath(const QString& folder, const QString& name);

// A path cut in the middle with "..." so that it fits `width` pixels in the given font.
QString ShortenPathText(const QString& path, const QFontMetrics& metrics, int width);

// The modal browser itself.
class TFolderBrowser : public QDialog {
    Q_OBJECT
public:
    TFolderBrowser(QWidget* parent, const QString& root, const QString& folder, bool showPath,
                   bool newFolderVisible, bool newFolderEnabled, const QString& newFolderCaption,
                   const QString& labelCaption);

    QString SelectedFolder() const;
    void SelectFolder(const QString& path);
    // "New folder": asks for a name (AskName; an empty answer does nothing), creates the folder
    // inside the selected one and selects it. A folder that cannot be made is reported as an error
    // and the browser stays as it was. Returns true when the folder was made.
    bool NewFolder();

    // How the name of a new folder is asked for (a text input box unless replaced).
    std::function<QString(QWidget* parent, const QString& prompt)> AskName;

    QPushButton* NewFolderButton() const { return newFolder_; }
    QLabel* CaptionLabel() const { return caption_; }
    QLabel* PathLabel() const { return path_; }

signals:
    void SelectionChanged(const QString& folder);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPathText();

    QFileSystemModel* model_;
    QTreeView* tree_;
    QLabel* caption_;
    QLabel* path_;
    QPushButton* newFolder_;
    QString newFolderCaption_;
    QString current_;
};

class TPBFolderDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Folder READ Folder WRITE SetFolder)
    Q_PROPERTY(TBrowseInfoFlags Flags READ Flags WRITE SetFlags)
    Q_PROPERTY(TSHFolders RootFolder READ RootFolder WRITE SetRootFolder)
    Q_PROPERTY(bool NewFolderVisible READ NewFolderVisible WRITE SetNewFolderVisible)
    Q_PROPERTY(bool NewFolderEnabled READ NewFolderEnabled WRITE SetNewFolderEnabled)
    Q_PROPERTY(QStringList LabelCaptions READ LabelCaptions WRITE SetLabelCaptions)
    Q_PROPERTY(QStringList NewFolderCaptions READ NewFolderCaptions WRITE SetNewFolderCaptions)
    Q_PROPERTY(QString Version READ Version)

public:
    explicit TPBFolderDialog(QObject* owner = nullptr);

    QString Folder() const { return folder_; }
    void SetFolder(const QString& folder) { folder_ = folder; }
    TBrowseInfoFlags Flags() const { return flags_; }
    void SetFlags(TBrowseInfoFlags flags) { flags_ = flags; }
    TSHFolders RootFolder() const { return root_; }
    void SetRootFolder(TSHFolders root) { root_ = root; }
    bool NewFolderVisible() const { return newFolderVisible_; }
    void SetNewFolderVisible(bool on) { newFolderVisible_ = on; }
    bool NewFolderEnabled() const { return newFolderEnabled_; }
    void SetNewFolderEnabled(bool on) { newFolderEnabled_ = on; }
    QStringList LabelCaptions() const { return labelCaptions_; }
    void SetLabelCaptions(const QStringList& captions) { labelCaptions_ = captions; }
    QStringList NewFolderCaptions() const { return newFolderCaptions_; }
    void SetNewFolderCaptions(const QStringList& captions) { newFolderCaptions_ = captions; }
    QString Version() const { return QStringLiteral("3.00.00.00"); }

    // The captions for the system's default language.
    QString NewFolderCaption() const;
    QString LabelCaption() const;

    // True when a folder was chosen (Folder then holds it); on cancel Folder keeps the start folder.
    bool Execute();
    // Always the component's own browser, never the installed prompt.
    bool ExecuteBrowser();

signals:
    // The browser is open (raised from inside its modal loop; dialog is the TFolderBrowser).
    void OnInitialized(QWidget* dialog);
    void OnSelectionChanged(QWidget* dialog, const QString& folder);

private:
    QWidget* OwnerWindow() const;

    QString folder_;
    TBrowseInfoFlags flags_ = ShowPath;
    TSHFolders root_ = TSHFolders::foDesktopExpanded;
    bool newFolderVisible_ = true;
    bool newFolderEnabled_ = true;
    QStringList labelCaptions_;
    QStringList newFolderCaptions_;
};
