#include "heightgrid/HeightDataCommands.h"
#include "heightgrid/Importdlg.h"
#include "heightgrid/USGSDEMFixture.h"
#include "heightgrid/data/usgsdem.h"
#include "heightgrid/PGMImport.h"
#include "heightgrid/bmpimport.h"
#include "controls/FloatEdit.h"

#include "project/Messages.h"
#include "project/Project.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QImage>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class TRecordingPrompt : public IPrompt {
public:
    std::vector<std::pair<std::string, TMsgIcon>> Shown;
    void ShowMessage(const std::string& text, TMsgIcon icon) override { Shown.emplace_back(text, icon); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.front(); }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

struct TPromptScope {
    TRecordingPrompt prompt;
    IPrompt* old;
    TPromptScope() : old(SetPrompt(&prompt)) {}
    ~TPromptScope() { SetPrompt(old); }
};

std::unique_ptr<TProject> NewProject()
{
    auto p = std::make_unique<TProject>();
    p->NewGrid(258, 258, 30.0, 30.0);
    p->Grid.Cells[127][127].Height = 100.0;
    p->Grid.MaxHeight = 100.0;
    return p;
}

// Answers the next modal dialog with OK or Cancel.
void AnswerDialog(bool ok)
{
    QTimer::singleShot(0, [ok] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            ok ? d->accept() : d->reject();
    });
}

// Runs `fill` on the next modal dialog, then presses OK.
void FillDialog(std::function<void(QDialog&)> fill)
{
    QTimer::singleShot(0, [fill] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            fill(*d);
            d->accept();
        }
    });
}

} // namespace

TEST(HeightDataCommands, OptionDialogsKeepTheLastEntriesForTheNextImport)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("a.xyz"), "m,0,0,30,30,30,30,noattr\r\n\r\n0\r\n0,0,12\r\n");
    qxtest::WriteFileText(dir.file("a.pgm"), "P2\n2 2\n255\n1 2\n3 4\n");
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 40));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("a.bmp")), "BMP"));
    TPromptScope prompts;
    QWidget owner;
    struct TCase {
        int filter;
        const char* file;
        std::function<void(QDialog&)> enter; // the first import's entries
        std::function<void(QDialog&)> check; // seen again by the second import
    };
    const TCase cases[] = {
        {2, "a.xyz",
         [](QDialog& d) {
             auto& f = dynamic_cast<TImportForm&>(d);
             f.XOffsetSpin->setValue(0);
             f.YOffsetSpin->setValue(0);
             f.DefaultSpin->setValue(17);
         },
         [](QDialog& d) { EXPECT_EQ(dynamic_cast<TImportForm&>(d).DefaultSpin->value(), 17); }},
        {3, "a.bmp",
         [](QDialog& d) {
             auto& f = dynamic_cast<TBMPImportForm&>(d);
             f.BGRRadio->setChecked(true);
             f.MaxHeightEdit->setValue(2345);
             f.XGridSpacingEdit->SetValue(12.5);
         },
         [](QDialog& d) {
             auto& f = dynamic_cast<TBMPImportForm&>(d);
             EXPECT_TRUE(f.BGRRadio->isChecked());
             EXPECT_EQ(f.MaxHeightEdit->value(), 2345);
             EXPECT_EQ(f.XGridSpacingEdit->Value(), 12.5);
         }},
        {7, "a.pgm", [](QDialog& d) { dynamic_cast<TPGMImportForm&>(d).XSpacingMaskEdit->SetValue(44.5); },
         [](QDialog& d) { EXPECT_EQ(dynamic_cast<TPGMImportForm&>(d).XSpacingMaskEdit->Value(), 44.5); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.file);
        auto p = NewProject();
        FillDialog(c.enter);
        EXPECT_TRUE(RunHeightImport(c.filter, dir.file(c.file), *p, &owner));
        bool seen = false;
        FillDialog([&](QDialog& d) {
            seen = true;
            c.check(d);
        });
        EXPECT_TRUE(RunHeightImport(c.filter, dir.file(c.file), *p, &owner));
        EXPECT_TRUE(seen);
    }
    EXPECT_TRUE(prompts.prompt.Shown.empty());
}

TEST(HeightDataCommands, AFileThatIsNoPictureIsRefusedBeforeTheBMPOptionsAreAsked)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("x.bmp"), "no picture at all\n");
    TPromptScope prompts;
    auto p = NewProject();
    bool asked = false;
    FillDialog([&](QDialog&) { asked = true; });
    EXPECT_FALSE(RunHeightImport(3, dir.file("x.bmp"), *p));
    QCoreApplication::processEvents();
    EXPECT_FALSE(asked);
    ASSERT_EQ(prompts.prompt.Shown.size(), 1u);
    EXPECT_EQ(prompts.prompt.Shown[0].first, "Cannot read file");
    EXPECT_EQ(p->Grid.SizeX, 258);
    EXPECT_EQ(p->Grid.Cells[127][127].Height, 100.0);
}

TEST(HeightDataCommands, ImportCommitsOnlyAfterOKAndSuccess)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("a.xyz"), "m,0,0,30,30,30,30,noattr\r\n\r\n0\r\n0,0,12\r\n");
    TPromptScope prompts;
    auto p = NewProject();

    AnswerDialog(false);
    EXPECT_FALSE(RunHeightImport(2, dir.file("a.xyz"), *p));
    EXPECT_EQ(p->Grid.SizeX, 258);
    EXPECT_TRUE(prompts.prompt.Shown.empty());

    AnswerDialog(true);
    EXPECT_TRUE(RunHeightImport(2, dir.file("a.xyz"), *p));
    EXPECT_EQ(p->Grid.SizeX, 2);
    EXPECT_EQ(p->Grid.Cells[0][1].Height, 12.0);

    qxtest::WriteFileText(dir.file("bad.pgm"), "P5\n1 1\n255\n\x01");
    auto q = NewProject();
    AnswerDialog(true);
    EXPECT_FALSE(RunHeightImport(7, dir.file("bad.pgm"), *q));
    ASSERT_EQ(prompts.prompt.Shown.size(), 1u);
    EXPECT_EQ(prompts.prompt.Shown[0].first, "E0055 Invalid map size parameters - PGM file format may be incorrect");
    EXPECT_EQ(prompts.prompt.Shown[0].second, TMsgIcon::Error);
    EXPECT_EQ(q->Grid.Cells[127][127].Height, 100.0);
}

TEST(HeightDataCommands, AUSGSDEMWithNothingToStoreLeavesTheProjectAlone)
{
    qxtest::TempDir dir;
    usgsfixture::TDEMLayout dem;
    dem.profiles.assign(4, std::vector<long>(257, kUSGSVoid));
    qxtest::WriteFileText(dir.file("voids.dem"), usgsfixture::MakeDEM(dem));
    TPromptScope prompts;
    auto p = NewProject();
    AnswerDialog(true);
    EXPECT_FALSE(RunHeightImport(5, dir.file("voids.dem"), *p));
    ASSERT_EQ(prompts.prompt.Shown.size(), 1u);
    EXPECT_EQ(prompts.prompt.Shown[0].first.rfind(kMsgInvalidUSGS, 0), 0u) << prompts.prompt.Shown[0].first;
    EXPECT_EQ(prompts.prompt.Shown[0].second, TMsgIcon::Error);
    EXPECT_EQ(p->Grid.SizeX, 258);
    EXPECT_EQ(p->Grid.SizeY, 258);
    EXPECT_EQ(p->Grid.Cells[127][127].Height, 100.0);
    EXPECT_EQ(p->Grid.MaxHeight, 100.0);
}

TEST(HeightDataCommands, ExportShowsTheVistaproWarningAndWriteErrors)
{
    qxtest::TempDir dir;
    TPromptScope prompts;
    auto p = NewProject();
    p->NewGrid(4, 4, 25.0, 25.0);
    EXPECT_TRUE(RunHeightExport(8, dir.file("a.dem"), *p));
    ASSERT_EQ(prompts.prompt.Shown.size(), 1u);
    EXPECT_EQ(prompts.prompt.Shown[0].first, "E0014 Warning: Map parameters are not Vistapro compatible");
    EXPECT_EQ(prompts.prompt.Shown[0].second, TMsgIcon::Warning);

    EXPECT_FALSE(RunHeightExport(7, dir.file("no/such/dir/a.ter"), *p));
    ASSERT_EQ(prompts.prompt.Shown.size(), 2u);
    EXPECT_EQ(prompts.prompt.Shown[1].first, "E0126 Error writing to file");
    EXPECT_EQ(prompts.prompt.Shown[1].second, TMsgIcon::None); // a plain box
}
