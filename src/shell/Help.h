#pragma once
// The help commands. The application's help file ("help\quarlex.chm", set by main()) is resolved
// against the program's folder unless it is absolute, and opened with the desktop's default viewer.
// A missing file or a viewer that cannot be started gives a message box; nothing else happens.
#include <string>

void SetHelpFile(const std::string& fileName);
const std::string& HelpFile();
// The full path of the help file ('\' read as a folder separator).
std::string HelpFilePath();

// Each returns true when the viewer was started.
bool ShowHelpTopic();    // the main window's help key (F1)
bool ShowHelpContents(); // "&Contents"
bool ShowHelpIndex();    // "&Search for Help On..."
