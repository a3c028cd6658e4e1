#pragma once
// The modal dialogs of the height grid tools, made once and kept for the whole run.
#include <QPointer>

class QWidget;
class TFloodDlg;
class TInterpolateDlg;
class TMapParametersDialog;
class TModelPlacementDlg;
class TSetHeightDlg;

extern QPointer<TMapParametersDialog> MapParametersDialog;
extern QPointer<TSetHeightDlg> SetHeightDlg;
extern QPointer<TModelPlacementDlg> ModelPlacementDlg;
extern QPointer<TFloodDlg> FloodDlg;
extern QPointer<TInterpolateDlg> InterpolateDlg;

// Creates those that are missing (in start-up order) as children of owner; with no owner they
// belong to the main window when there is one.
void CreateHeightGridDialogs(QWidget* owner = nullptr);
// Frees them (the main window does it by owning them; tests call this).
void DestroyHeightGridDialogs();
