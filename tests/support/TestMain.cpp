// Test entry point: one QApplication for the whole program (widget tests need it, headless tests
// do not mind it), and a settings store rooted in a temporary folder so no test touches the user's.
#include "project/MathUtils.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir settingsRoot;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsRoot.path() + "/user");
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settingsRoot.path() + "/system");
    setenv("XDG_CONFIG_HOME", (settingsRoot.path() + "/xdg").toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Pellabrine");
    QApplication::setApplicationName("QuarlexII");
    // The random tables start from the state the program starts from.
    InitRandomTables();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
