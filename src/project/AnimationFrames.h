#pragma once
// Animation frames of a script file: section "Path Data", keys "FRAME-n" (camera, 9 fields),
// "LIGHT-n" (sun and sky, 9 fields) and "CLOUDS-n" (cloud layer 0, 5 fields), fields split at ':'.
#include "project/IniFile.h"
#include "project/Project.h"

// Parses frame n of the script completely and applies it to the project only when every field
// converts; Missing when there is no "FRAME-n" entry with nine fields.
TProject::TFrameResult ApplyAnimationFrame(const TIniFile& script, int frame, TProject& project);
