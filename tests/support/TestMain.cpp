// Test entry point: one QApplication for the whole program (widget tests need it, headless tests
// do not mind it), a settings store rooted in a temporary folder so no test touches the user's, and
// a system temporary folder of the process's own.
#include "project/MathUtils.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// Read by LeakSanitizer at start-up (LSAN_OPTIONS in the environment still takes precedence):
// leaks inside system libraries are suppressed, never our own.
// intercept_tls_get_addr=0: the sanitizer runtime of g++ 12 (and of clang before 17) takes a
// library's thread-local block that starts 16 bytes into a page for a block of glibc before 2.25 and
// reads the allocator's chunk header as the block's bounds. When the GL driver's LLVM gets such a
// block (1 allocation in 256), the leak check at exit scans the made-up range and faults
// ("LeakSanitizer has encountered a fatal error") after every test passed. This glibc allocates
// those blocks from the dynamic loader, whose allocations the leak check scans anyway.
extern "C" const char* __lsan_default_options()
{
    return "suppressions=" QX_LSAN_SUPPRESSIONS ":print_suppressions=0:intercept_tls_get_addr=0";
}

int main(int argc, char** argv)
{
    if (!std::getenv("QX_TEST_DATA"))
        setenv("QX_TEST_DATA", QX_TEST_DATA_DIR, 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir settingsRoot;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsRoot.path() + "/user");
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settingsRoot.path() + "/system");
    setenv("XDG_CONFIG_HOME", (settingsRoot.path() + "/xdg").toLocal8Bit().constData(), 1);
    // The program keeps scratch files of fixed names in the system temporary folder (the gridding
    // run's "~in.tmp" and "~out.tmp"); tests run many processes at once, so each has its own folder,
    // or one process would read or delete another's files.
    const QString temp = settingsRoot.path() + "/tmp";
    QDir().mkpath(temp);
    setenv("TMPDIR", temp.toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Pellabrine");
    QApplication::setApplicationName("QuarlexII");
    // The random tables start from the state the program starts from.
    InitRandomTables();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
