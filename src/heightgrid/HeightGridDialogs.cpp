#include "heightgrid/HeightGridDialogs.h"

#include "heightgrid/Flood.h"
#include "heightgrid/InterpolateDlg.h"
#include "heightgrid/ModelPlacementDlg.h"
#include "heightgrid/NewMap.h"
#include "heightgrid/SetHeight.h"
#include "shell/Main.h"

QPointer<TMapParametersDialog> MapParametersDialog;
QPointer<TSetHeightDlg> SetHeightDlg;
QPointer<TModelPlacementDlg> ModelPlacementDlg;
QPointer<TFloodDlg> FloodDlg;
QPointer<TInterpolateDlg> InterpolateDlg;

void CreateHeightGridDialogs(QWidget* owner)
{
    if (!owner)
        owner = MainForm;
    if (!InterpolateDlg)
        InterpolateDlg = new TInterpolateDlg(owner);
    if (!MapParametersDialog)
        MapParametersDialog = new TMapParametersDialog(owner);
    if (!SetHeightDlg)
        SetHeightDlg = new TSetHeightDlg(owner);
    if (!ModelPlacementDlg)
        ModelPlacementDlg = new TModelPlacementDlg(owner);
    if (!FloodDlg)
        FloodDlg = new TFloodDlg(owner);
}

void DestroyHeightGridDialogs()
{
    delete MapParametersDialog.data();
    delete SetHeightDlg.data();
    delete ModelPlacementDlg.data();
    delete FloodDlg.data();
    delete InterpolateDlg.data();
}
