#include "controls/PBFolderDialog.h"

#include "project/Messages.h"
#include "support/TestSupport.h"
#include "controls/ControlsTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using qxtest::RecordingPrompt;

TEST(FolderCaptions, LanguageTableWithDefaultFallback)
{
    struct Case { const char* lang; const char* newFolder; const char* label; };
    const Case cases[] = {
        {"0409", "New folder", "Current folder:"},
        {"0009", "New folder", "Current folder:"},
        {"0406", "Ny mappe", "Valgt mappe:"},
        {"0C07", "Neuer Ordner", "Ausgewählter Ordner:"},
        {"100C", "Nouveau Dossier", "Dossier Courant:"},
        {"0810", "Nuova Cartella", "Cartella selezionata:"},
        {"0413", "Nieuwe map", "Huidige map:"},
        {"0416", "Nova Pasta", "Pasta Atual:"},
        {"0419", "New folder", "Current folder:"}, // Russian is not in the lists
        {"0816", "New folder", "Current folder:"}, // nor is Portuguese of Portugal
        {"", "New folder", "Current folder:"},
    };
    const QStringList nf = DefaultNewFolderCaptions(), lb = DefaultLabelCaptions();
    EXPECT_EQ(nf.size(), 29);
    EXPECT_EQ(lb.size(), 29);
    for (const Case& c : cases) {
        EXPECT_EQ(CaptionFor(nf, c.lang), QString::fromUtf8(c.newFolder)) << c.lang;
        EXPECT_EQ(CaptionFor(lb, c.lang), QString::fromUtf8(c.label)) << c.lang;
    }
    EXPECT_EQ(CaptionFor(nf, "0415"), "Nowy folder");
    EXPECT_FALSE(CaptionFor(lb, "0415").isEmpty());
    // A caller's own list without the language and without "Default" gives nothing.
    EXPECT_EQ(CaptionFor({"0407=Ordner"}, "0409"), QString());
    EXPECT_EQ(CaptionFor({"Default=Make", "0407=Ordner", "garbage"}, "0407"), "Ordner");
}

TEST(FolderCaptions, LanguageIdsOfLocales)
{
    struct Case { QLocale::Language lang; QLocale::Territory land; const char* id; };
    const Case cases[] = {
        {QLocale::English, QLocale::UnitedStates, "0409"},
        {QLocale::English, QLocale::UnitedKingdom, "0809"},
        {QLocale::English, QLocale::India, "0009"}, // country not in the table: neutral English
        {QLocale::German, QLocale::Switzerland, "0807"},
        {QLocale::French, QLocale::Canada, "0C0C"},
        {QLocale::Polish, QLocale::Poland, "0415"},
        {QLocale::Japanese, QLocale::Japan, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageIdOf(QLocale(c.lang, c.land)), c.id) << c.id;
}

TEST(FolderPaths, NewFolderPathJoinsWithOneSeparator)
{
    struct Case { const char* folder; const char* name; const char* path; };
    const Case cases[] = {
        {"/data", "maps", "/data/maps"},
        {"/data/", "maps", "/data/maps"},
        {"/data", "/maps", "/data/maps"},
        {"C:\\proj\\", "maps", "C:\\proj\\maps"},
        {"", "maps", "/maps"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewFolderPath(c.folder, c.name), c.path) << c.folder << " + " << c.name;
}

TEST(FolderPaths, LongPathsAreShortenedInTheMiddle)
{
    const QFontMetrics fm{QFont()};
    const QString path = "/home/user/landscapes/alps/project-files/textures/rock";
    const int full = fm.horizontalAdvance(path);
    EXPECT_EQ(ShortenPathText(path, fm, full), path);
    for (int width : {full - 1, full / 2, full / 4}) {
        const QString s = ShortenPathText(path, fm, width);
        EXPECT_LE(fm.horizontalAdvance(s), width) << width;
        EXPECT_TRUE(s.contains("...")) << width;
        EXPECT_TRUE(path.startsWith(s.left(s.indexOf("...")))) << s.toStdString();
        EXPECT_TRUE(path.endsWith(s.mid(s.indexOf("...") + 3))) << s.toStdString();
    }
    EXPECT_EQ(ShortenPathText(path, fm, 1), "...");
}

TEST(PBFolderDialog, Defaults)
{
    TPBFolderDialog d;
    EXPECT_TRUE(d.Folder().isEmpty());
    EXPECT_EQ(d.Flags(), TBrowseInfoFlags(ShowPath));
    EXPECT_EQ(d.RootFolder(), TSHFolders::foDesktopExpanded);
    EXPECT_TRUE(d.NewFolderVisible());
    EXPECT_TRUE(d.NewFolderEnabled());
    EXPECT_EQ(d.Version(), "3.00.00.00");
    EXPECT_EQ(d.property("Version").toString(), "3.00.00.00");
}

TEST(PBFolderDialog, ExecuteThroughInstalledPrompt)
{
    RecordingPrompt prompt;
    TPBFolderDialog d;
    d.SetFolder("/start/here");

    prompt.folderAnswer = ""; // cancelled
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.Folder(), "/start/here");
    EXPECT_EQ(prompt.askedStart, "/start/here");

    prompt.folderAnswer = "/chosen/folder";
    EXPECT_TRUE(d.Execute());
    EXPECT_EQ(d.Folder(), "/chosen/folder");
    EXPECT_EQ(prompt.folderQuestions, 2);
}

TEST(PBFolderDialog, OwnBrowserChoosesAndCancels)
{
    qxtest::TempDir dir;
    const QString base = QString::fromStdString(dir.path().string());
    QDir(base).mkdir("a");
    QDir(base).mkdir("b");
    const QString a = base + "/a", b = base + "/b";

    TPBFolderDialog d;
    d.SetFolder(a);
    QSignalSpy selections(&d, &TPBFolderDialog::OnSelectionChanged);
    bool accept = true;
    QString startSelection;
    QObject::connect(&d, &TPBFolderDialog::OnInitialized, &d, [&](QWidget* w) {
        auto* browser = qobject_cast<TFolderBrowser*>(w);
        ASSERT_NE(browser, nullptr);
        startSelection = browser->SelectedFolder();
        EXPECT_EQ(browser->NewFolderButton()->text(), d.NewFolderCaption());
        EXPECT_EQ(browser->CaptionLabel()->text(), d.LabelCaption());
        browser->SelectFolder(b);
        if (accept)
            browser->accept();
        else
            browser->reject();
    });

    accept = false;
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.Folder(), a); // cancel keeps the start folder
    EXPECT_EQ(QFileInfo(startSelection), QFileInfo(a));

    accept = true;
    EXPECT_TRUE(d.Execute());
    EXPECT_EQ(QFileInfo(d.Folder()), QFileInfo(b));
    ASSERT_GE(selections.count(), 1);
    EXPECT_EQ(QFileInfo(selections.last().at(1).toString()), QFileInfo(b));
}

TEST(FolderBrowser, EmptyStartOpensAtRootAndButtonFollowsProperties)
{
    TFolderBrowser browser(nullptr, "", "", false, false, false, "Neuer Ordner", "Ausgewählter Ordner:");
    EXPECT_EQ(browser.SelectedFolder(), QDir::rootPath());
    EXPECT_FALSE(browser.NewFolderButton()->isVisibleTo(&browser));
    EXPECT_FALSE(browser.NewFolderButton()->isEnabled());
    EXPECT_FALSE(browser.PathLabel()->isVisibleTo(&browser));
    EXPECT_EQ(browser.NewFolderButton()->text(), "Neuer Ordner");
}

TEST(FolderBrowser, NewFolderCreatesSelectsOrReports)
{
    qxtest::TempDir dir;
    const QString base = QString::fromStdString(dir.path().string());
    qxtest::WriteFileText(dir.file("plainfile"), "x");
    RecordingPrompt prompt;

    TFolderBrowser browser(nullptr, "", base, true, true, true, "New folder", "Current folder:");
    QString answer;
    QString askedWith;
    browser.AskName = [&](QWidget*, const QString& p) {
        askedWith = p;
        return answer;
    };

    answer = ""; // nothing happens
    EXPECT_FALSE(browser.NewFolder());
    EXPECT_EQ(askedWith, "New folder");
    EXPECT_EQ(QFileInfo(browser.SelectedFolder()), QFileInfo(base));

    answer = "maps";
    EXPECT_TRUE(browser.NewFolder());
    EXPECT_TRUE(QFileInfo(base + "/maps").isDir());
    EXPECT_EQ(QFileInfo(browser.SelectedFolder()), QFileInfo(base + "/maps"));
    EXPECT_TRUE(prompt.shown.empty());

    // Inside a plain file no folder can be made: reported, selection unchanged.
    browser.SelectFolder(base);
    answer = "plainfile/sub";
    EXPECT_FALSE(browser.NewFolder());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].find("plainfile/sub"), std::string::npos);
    EXPECT_EQ(QFileInfo(browser.SelectedFolder()), QFileInfo(base));
}

} // namespace
