#include "heightgrid/HeightDataCommands.h"

#include "heightgrid/Importdlg.h"
#include "heightgrid/PGMImport.h"
#include "heightgrid/bmpimport.h"
#include "heightgrid/data/HeightExport.h"
#include "heightgrid/data/HeightImport.h"
#include "heightgrid/Landscape.h"
#include "heightgrid/data/usgsdem.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "shell/DebugDlg.h"
#include "shell/Main.h"

#include <memory>

namespace {

// The dialog made once and kept, so the last entries are there at the next import; a temporary
// one only when nothing can own it (no main window and no parent).
template <class Form>
Form* DialogOf(QPointer<Form>& global, std::unique_ptr<Form>& temporary, QWidget* parent)
{
    QWidget* owner = MainForm ? static_cast<QWidget*>(MainForm) : parent;
    if (!global && owner)
        global = new Form(owner);
    if (global)
        return global.data();
    temporary = std::make_unique<Form>(parent);
    return temporary.get();
}

void Refresh()
{
    if (MainForm)
        MainForm->UpdateAllEditors();
}

} // namespace

bool RunHeightImport(int filterIndex, const std::string& fileName, TProject& project, QWidget* parent)
{
    TImportResult r;
    try {
        switch (filterIndex) {
        case 1:
            r = ImportText(fileName, project.Grid);
            break;
        case 2:
        case 4:
        case 5:
        case 6: {
            std::unique_ptr<TImportForm> temporary;
            TImportForm* form = DialogOf(ImportForm, temporary, parent);
            TImportOptions options;
            const bool usgs = filterIndex == 5 || filterIndex == 6;
            if (!RunImportDialog(*form, !usgs, options))
                return false;
            if (filterIndex == 2) {
                r = ImportXYZ(fileName, options, project.Grid);
            } else if (filterIndex == 4) {
                DebugLine(fileName);
                r = ImportNTF(fileName, options, project.Grid);
            } else {
                r = ReadUSGSDEM(fileName, options, project.Grid);
            }
            break;
        }
        case 3: {
            // A file that is not a picture is refused before its options are asked for.
            QImage picture;
            if (!LoadBMPPicture(fileName, picture)) {
                ShowError(kMsgCannotRead);
                return false;
            }
            std::unique_ptr<TBMPImportForm> temporary;
            TBMPImportForm* form = DialogOf(BMPImportForm, temporary, parent);
            TBMPImportOptions options;
            if (!RunBMPImportDialog(*form, options))
                return false;
            r = ImportBMPPicture(picture, options);
            break;
        }
        case 7: {
            std::unique_ptr<TPGMImportForm> temporary;
            TPGMImportForm* form = DialogOf(PGMImportForm, temporary, parent);
            TPGMImportOptions options;
            if (!RunPGMImportDialog(*form, options))
                return false;
            r = ImportPGM(fileName, options);
            break;
        }
        case 8:
            r = ImportVistaDEM(fileName);
            break;
        default:
            return false;
        }
        std::string error = r.Error;
        if (r.Ok && CommitHeightImport(project, r.Grid, error)) {
            ProjectChanged();
            Refresh();
            return true;
        }
        if (!error.empty())
            ShowError(error);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    return false;
}

bool RunHeightExport(int filterIndex, const std::string& fileName, const TProject& project)
{
    static const TExportFormat formats[] = {TExportFormat::Text, TExportFormat::DXF, TExportFormat::BMP,
                                            TExportFormat::XYZ,  TExportFormat::PGM, TExportFormat::NTF,
                                            TExportFormat::Terragen, TExportFormat::Vistapro};
    if (filterIndex < 1 || filterIndex > 8)
        return false;
    try {
        const TExportFormat format = formats[filterIndex - 1];
        // The warning comes before anything is written, and the export goes on.
        if (format == TExportFormat::Vistapro && (project.Grid.SpacingX != 30.0 || project.Grid.SpacingY != 30.0))
            ShowWarning(kMsgNotVistaCompatible);
        const TExportResult r = ExportHeightData(format, project, fileName);
        if (r.Ok)
            return true;
        if (r.ErrorIcon == TMsgIcon::Error)
            ShowError(r.Error);
        else
            ShowMessage(r.Error);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    return false;
}

void InstallHeightDataCommands()
{
    SetHeightDataHandlers(
        [](TFLandscape& window, int filterIndex, const std::string& fileName) {
            return RunHeightImport(filterIndex, fileName, window.Project(), &window);
        },
        [](TFLandscape& window, int filterIndex, const std::string& fileName) {
            return RunHeightExport(filterIndex, fileName, window.Project());
        });
}
