#include "project/SafeFile.h"

#include "project/IniFile.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "support/FileSyncRecorder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

namespace fs = std::filesystem;

std::string Canonical(const fs::path& p)
{
    return fs::weakly_canonical(p).string();
}

size_t FilesIn(const fs::path& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder))
        ++n;
    return n;
}

// Every way the program replaces one of its files, writing new contents over "old".
struct TWriter {
    const char* name;
    std::function<bool(const std::string&)> write;
};

const TWriter kWriters[] = {
    {"whole file", [](const std::string& f) {
         std::string error;
         return WriteFileAtomically(f, "new", 3, error);
     }},
    {"project", [](const std::string& f) {
         TProject p;
         return p.NewGrid(5, 4, 30.0, 30.0) && p.SaveToFile(f);
     }},
    {"INI file", [](const std::string& f) {
         TIniFile ini;
         ini.WriteString("Section", "Key", "value");
         return ini.SaveToFile(f);
     }},
};

} // namespace

TEST(SafeFile, TheNewFileReachesTheDiskBeforeTheRenameAndTheFolderAfter)
{
    for (const TWriter& w : kWriters) {
        qxtest::TempDir dir;
        const std::string target = dir.file("target");
        qxtest::WriteFileText(target, "old");
        qxtest::TFileSyncRecorder syncs(target);
        ASSERT_TRUE(w.write(target)) << w.name;
        const std::string written = qxtest::ReadFileText(target);
        ASSERT_NE(written, "old") << w.name;
        ASSERT_EQ(syncs.Syncs().size(), 2u) << w.name;
        const qxtest::TFileSync& file = syncs.Syncs()[0];
        const qxtest::TFileSync& folder = syncs.Syncs()[1];
        // First the temporary file beside the target, while the target still holds the old bytes.
        EXPECT_FALSE(file.Folder) << w.name;
        EXPECT_EQ(Canonical(fs::path(file.Path).parent_path()), Canonical(dir.path())) << w.name;
        EXPECT_NE(Canonical(file.Path), Canonical(target)) << w.name;
        EXPECT_EQ(file.TargetHeld, "old") << w.name;
        // Then the folder, once the target is the new file.
        EXPECT_TRUE(folder.Folder) << w.name;
        EXPECT_EQ(Canonical(folder.Path), Canonical(dir.path())) << w.name;
        EXPECT_EQ(folder.TargetHeld, written) << w.name;
    }
}

TEST(SafeFile, AFailedFlushKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    struct TSilent : IPrompt {
        std::vector<std::string> shown;
        void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
        TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.front(); }
        std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
        std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
        std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
        bool ChooseColor(int&) override { return false; }
    } prompt;
    IPrompt* old = SetPrompt(&prompt);
    for (const TWriter& w : kWriters) {
        qxtest::TempDir dir;
        const std::string target = dir.file("target");
        qxtest::WriteFileText(target, "old");
        qxtest::TFileSyncRecorder syncs(target, EIO);
        EXPECT_FALSE(w.write(target)) << w.name;
        EXPECT_EQ(qxtest::ReadFileText(target), "old") << w.name;
        EXPECT_EQ(FilesIn(dir.path()), 1u) << w.name;
        EXPECT_EQ(syncs.Syncs().size(), 1u) << w.name; // nothing renamed after the failed flush
    }
    SetPrompt(old);
    ASSERT_EQ(prompt.shown.size(), 1u); // the project save says why
    EXPECT_NE(prompt.shown[0].find("Input/output error"), std::string::npos) << prompt.shown[0];
}

TEST(SafeFile, AFolderThatCannotBeFlushedIsReported)
{
    qxtest::TempDir dir;
    std::string error;
    EXPECT_TRUE(SyncFolder(dir.path().string(), error)) << error;
    EXPECT_FALSE(SyncFolder(dir.file("missing"), error));
    EXPECT_FALSE(error.empty());
}
