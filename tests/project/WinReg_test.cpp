#include "project/WinReg.h"

#include "support/FileSyncRecorder.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

// Each test starts from an empty store (the test main roots the stores in a temporary folder).
class WinRegTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear()
    {
        for (auto root : {TRegistryRoot::CurrentUser, TRegistryRoot::LocalMachine})
            for (const char* key : {QuarlexBaseKey, SiliconGraphicsBaseKey}) {
                TWinRegistry store(root, key);
                QFile::remove(QString::fromStdString(store.FileName()));
            }
    }
};

TEST_F(WinRegTest, FreshStoreGivesDefaults)
{
    TWinRegistry store(QuarlexBaseKey);
    EXPECT_EQ(store.ReadString("Menu", "Last1", ""), "");
    EXPECT_EQ(store.ReadString("OpenGL", "Implementation", "SGI"), "SGI");
    EXPECT_EQ(store.ReadInteger("OpenGL", "RefreshRate", 5), 5);
    EXPECT_FALSE(store.ReadBool("OpenGL", "RenderToWindow", false));
    EXPECT_TRUE(store.ReadBool("Wizards", "EnvironmentWithRenderer", true));
    EXPECT_EQ(ReadPathSetting("Plants"), ProgramFolder() + "Plants/");
    EXPECT_EQ(ReadPathSetting("Templates"), ProgramFolder() + "Templates/");
    // The store is below the temporary root, never in the user's own configuration.
    EXPECT_NE(store.FileName().find("Pellabrine"), std::string::npos);
}

TEST_F(WinRegTest, WrittenValuesAreSeenByTheNextStore)
{
    {
        TWinRegistry store(QuarlexBaseKey);
        EXPECT_TRUE(store.WriteString("Paths", "Models", "C:\\Models\\, \"new\" = 1; [x]"));
        EXPECT_TRUE(store.WriteString("Menu", "Last2", ""));
        EXPECT_TRUE(store.WriteString("Menu", "Last3", "/home/u/é.qx2"));
        EXPECT_TRUE(store.WriteInteger("FractalRender", "Top", -12));
        EXPECT_TRUE(store.WriteBool("LandscapeDisplay", "RGB", true));
        EXPECT_TRUE(store.WriteBool("OpenGL", "RenderToWindow", false));
    }
    TWinRegistry store(QuarlexBaseKey);
    EXPECT_EQ(store.ReadString("Paths", "Models", ""), "C:\\Models\\, \"new\" = 1; [x]");
    EXPECT_EQ(store.ReadString("Menu", "Last2", "unset"), "");
    EXPECT_EQ(store.ReadString("Menu", "Last3", ""), "/home/u/é.qx2");
    EXPECT_EQ(store.ReadInteger("FractalRender", "Top", 0), -12);
    EXPECT_TRUE(store.ReadBool("LandscapeDisplay", "RGB", false));
    EXPECT_FALSE(store.ReadBool("OpenGL", "RenderToWindow", true));
    // A value of the same name in another section is not seen.
    EXPECT_EQ(store.ReadString("Menu", "Models", "none"), "none");
    EXPECT_EQ(store.ReadString("Paths", "Last3", "none"), "none");
}

TEST_F(WinRegTest, ValuesWrittenByOtherToolsAndWrongTypes)
{
    {
        TWinRegistry store(QuarlexBaseKey);
        QSettings raw(QString::fromStdString(store.FileName()), QSettings::IniFormat);
        raw.setValue("LandscapeDisplay/RGB", 2);
        raw.setValue("OpenGL/RefreshRate", "fast");
        raw.setValue("OpenGL/RenderToWindow", "maybe");
        raw.setValue("Wizards/EnvironmentWithRenderer", "true");
        raw.setValue("FractalRender/Width", 4294967295u);
        raw.setValue("FractalRender/Height", QStringList{"1", "2"});
        raw.sync();
    }
    TWinRegistry store(QuarlexBaseKey);
    EXPECT_TRUE(store.ReadBool("LandscapeDisplay", "RGB", false)); // any non-zero word is true
    EXPECT_EQ(store.ReadInteger("OpenGL", "RefreshRate", 5), 5);  // not a number: the default
    EXPECT_FALSE(store.ReadBool("OpenGL", "RenderToWindow", false));
    EXPECT_TRUE(store.ReadBool("OpenGL", "RenderToWindow", true));
    EXPECT_TRUE(store.ReadBool("Wizards", "EnvironmentWithRenderer", false));
    EXPECT_EQ(store.ReadInteger("FractalRender", "Width", 0), -1); // a 32-bit word written unsigned
    EXPECT_EQ(store.ReadInteger("FractalRender", "Height", 7), 7);
    EXPECT_EQ(store.ReadString("OpenGL", "RefreshRate", ""), "fast");
}

TEST_F(WinRegTest, MachineStoreIsSeparateFromTheUsers)
{
    {
        auto machine = TWinRegistry::CreateWithRoot(TRegistryRoot::LocalMachine, SiliconGraphicsBaseKey);
        EXPECT_TRUE(machine->WriteInteger("OpenGL", "OverrideDispatch", 1));
    }
    TWinRegistry machine(TRegistryRoot::LocalMachine, SiliconGraphicsBaseKey);
    EXPECT_EQ(machine.ReadInteger("OpenGL", "OverrideDispatch", 0), 1);
    TWinRegistry userSgi(SiliconGraphicsBaseKey);
    EXPECT_EQ(userSgi.ReadInteger("OpenGL", "OverrideDispatch", 0), 0);
    TWinRegistry user(QuarlexBaseKey);
    EXPECT_EQ(user.ReadInteger("OpenGL", "OverrideDispatch", 0), 0);
    EXPECT_NE(machine.FileName(), userSgi.FileName());
}

} // namespace

TEST_F(WinRegTest, AWrittenValueIsOnTheDiskWithItsFolder)
{
    TWinRegistry store(QuarlexBaseKey);
    const std::string file = store.FileName();
    qxtest::TFileSyncRecorder syncs(file);
    ASSERT_TRUE(store.WriteString("Menu", "Last1", "valley.qx2"));
    ASSERT_EQ(syncs.Syncs().size(), 2u);
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::weakly_canonical(syncs.Syncs()[0].Path), fs::weakly_canonical(file));
    EXPECT_NE(syncs.Syncs()[0].TargetHeld.find("valley.qx2"), std::string::npos);
    EXPECT_TRUE(syncs.Syncs()[1].Folder);
    EXPECT_EQ(fs::weakly_canonical(syncs.Syncs()[1].Path), fs::weakly_canonical(fs::path(file).parent_path()));
}
