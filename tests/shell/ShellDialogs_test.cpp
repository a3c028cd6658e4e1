// The progress meter, the help commands, the about box and the shell dialogs.
#include "ShellFixture.h"

#include "controls/Hemibtn.h"
#include "shell/About.h"
#include "shell/DebugDlg.h"
#include "shell/Help.h"
#include "shell/OKBottom.h"
#include "shell/ShellPrompt.h"

#include <QDesktopServices>
#include <QImage>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QTest>

using namespace shelltest;

namespace {

// How many pixels of the meter's row are magenta.
int MagentaWidth(QWidget* meter)
{
    const QImage image = meter->grab().toImage();
    const int y = image.height() / 2;
    int width = 0;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == QColor(0xFF, 0x00, 0xFF))
            ++width;
    return width;
}

class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

} // namespace

using ProgressTest = ShellTest;

TEST_F(ProgressTest, MeterRedrawsOnlyOnChangeAndClearKeepsTheLastPercent)
{
    TMainForm& main = Start();
    main.resize(800, 600);
    main.show();
    QWidget* meter = main.ProgressPanel();
    struct Step {
        int percent;
        int shown;
        int lastPercent;
    };
    // 40, 40, 0, 40: drawn once at 40, cleared, and the last call draws nothing.
    const Step steps[] = {{40, 40, 40}, {40, 40, 40}, {0, 0, 40}, {40, 0, 40}, {75, 75, 75}, {100, 100, 100}, {0, 0, 100}};
    for (const Step& s : steps) {
        SetProgress(s.percent); // through the installed status sink, as the long operations do
        EXPECT_EQ(MagentaWidth(meter), s.shown) << "after " << s.percent;
        EXPECT_EQ(main.LastPercent, s.lastPercent);
    }
}

TEST_F(ProgressTest, StatusTextsGoToTheirPanels)
{
    TMainForm& main = Start();
    StatusSink().SetOperationText("Loading landscape");
    StatusSink().SetStepText("Reading grid");
    EXPECT_EQ(main.PanelText(1), "Loading landscape");
    EXPECT_EQ(main.PanelText(2), "Reading grid");
    QStatusTipEvent hint(QStringLiteral("Show program information"));
    QCoreApplication::sendEvent(&main, &hint);
    EXPECT_EQ(main.PanelText(2), "Show program information");
    form.reset();
    StatusSink().SetOperationText("after the window"); // the default sink is back: no crash
}

using HelpTest = ShellTest;

TEST_F(HelpTest, MissingHelpFileGivesAMessage)
{
    SetHelpFile("help\\quarlex.chm");
    EXPECT_EQ(HelpFilePath(), QCoreApplication::applicationDirPath().toStdString() + "/help/quarlex.chm");
    TMainForm& main = Start();
    main.HelpContents();
    main.HelpSearch();
    main.FormHelp();
    ASSERT_EQ(prompt.messages.size(), 3u);
    EXPECT_NE(prompt.messages[0].text.find("help/quarlex.chm"), std::string::npos);
}

TEST_F(HelpTest, PresentHelpFileOpensInTheDesktopViewer)
{
    qxtest::WriteFileText(dir.file("quarlex.chm"), "help");
    SetHelpFile(dir.file("quarlex.chm"));
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    EXPECT_TRUE(ShowHelpContents());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(recorder.opened[0].toLocalFile().toStdString(), dir.file("quarlex.chm"));
    EXPECT_TRUE(prompt.messages.empty());
    SetHelpFile("");
}

using DialogsTest = ShellTest;

TEST_F(DialogsTest, AboutBoxReturnsWhenContinueIsPressed)
{
    TMainForm& main = Start();
    bool continued = false;
    AnswerNextModal([&](QWidget* dialog) {
        auto* about = qobject_cast<TAboutQuarlex2*>(dialog);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle().toStdString(), "About QuarlexII");
        EXPECT_TRUE(about->windowFlags() & Qt::FramelessWindowHint);
        THemisphereButton* button = about->ContinueButton;
        EXPECT_EQ(button->Caption().toStdString(), "Continue");
        const QPointF centre(button->width() / 2.0, button->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &press);
        QCoreApplication::sendEvent(button, &release);
        continued = !about->isVisible();
    });
    main.HelpAbout();
    EXPECT_TRUE(continued);
}

TEST_F(DialogsTest, DebugWindowTogglesAndCollectsLines)
{
    TMainForm& main = Start();
    CreateShellDialogs(&main);
    ASSERT_NE(DebugDlg, nullptr);
    EXPECT_EQ(DebugDlg->Memo->toPlainText().toStdString(), "Memo");
    DebugLine("valley.ntf");
    EXPECT_EQ(DebugDlg->Memo->toPlainText().toStdString(), "Memo\nvalley.ntf");
    EXPECT_FALSE(DebugDlg->isVisible());
    main.show();
    main.DebugClick();
    EXPECT_TRUE(DebugDlg->isVisible());
    main.DebugClick();
    EXPECT_FALSE(DebugDlg->isVisible());
    form.reset();
    EXPECT_EQ(DebugDlg, nullptr); // owned by the main window
    DebugLine("no window: ignored");
}

TEST(ShellPrompt, DefaultSuffixComesFromTheFilter)
{
    EXPECT_EQ(DefaultSuffixOfFilter("Quarlex2 Project (*.qx2)"), "qx2");
    EXPECT_EQ(DefaultSuffixOfFilter("Settings (*.ini)"), "ini");
    EXPECT_EQ(DefaultSuffixOfFilter("All files (*)"), "");
}

TEST(ShellPrompt, QuestionReturnsThePressedButtonAndEscapeIsCautious)
{
    struct Case {
        const char* button; // text of the button to press; nullptr: press Escape
        std::vector<TAnswer> offered;
        TAnswer expected;
    };
    const Case cases[] = {
        {"&No", {TAnswer::Yes, TAnswer::No, TAnswer::Cancel}, TAnswer::No},
        {"&Yes", {TAnswer::Yes, TAnswer::No, TAnswer::Cancel}, TAnswer::Yes},
        {nullptr, {TAnswer::Yes, TAnswer::No, TAnswer::Cancel}, TAnswer::Cancel},
        {nullptr, {TAnswer::Yes, TAnswer::No}, TAnswer::No},
    };
    TQtPrompt prompt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "Escape");
        AnswerNextModal([&](QWidget* box) {
            if (!c.button) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QPushButton* button : box->findChildren<QPushButton*>())
                if (button->text() == QString::fromUtf8(c.button))
                    button->click();
        });
        EXPECT_EQ(prompt.Ask("Save changes to project?", c.offered, TMsgIcon::None), c.expected);
    }
}

#include "ShellDialogs_test.moc"
