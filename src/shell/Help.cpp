#include "shell/Help.h"

#include "project/Messages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

std::string helpFile;

// A desktop viewer has no separate contents and index views: every command opens the file.
bool OpenHelp()
{
    const std::string path = HelpFilePath();
    const QString file = QString::fromStdString(path);
    if (path.empty() || !QFileInfo(file).isFile()) {
        ShowMessage("The help file " + path + " was not found.");
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        ShowMessage("The help file " + path + " could not be opened: no viewer is available.");
        return false;
    }
    return true;
}

} // namespace

void SetHelpFile(const std::string& fileName) { helpFile = fileName; }
const std::string& HelpFile() { return helpFile; }

std::string HelpFilePath()
{
    if (helpFile.empty())
        return {};
    QString name = QString::fromStdString(helpFile);
    name.replace('\\', '/');
    if (QDir::isAbsolutePath(name))
        return QDir::cleanPath(name).toStdString();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + '/' + name).toStdString();
}

bool ShowHelpTopic() { return OpenHelp(); }
bool ShowHelpContents() { return OpenHelp(); }
bool ShowHelpIndex() { return OpenHelp(); }
