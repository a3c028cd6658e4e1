#include "render/OverlayRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "shell/BaseUnit.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

namespace {

const char* const kMissingFolderQuestion =
    "At least one of the directory paths defined for this project does not exist.  Reset now?";

// Vertices the grid descriptor and the cell array both hold (they agree for a sound project).
int Columns(const TProject& p) { return std::min(p.Grid.SizeX, p.Grid.Cells.Columns()); }
int Rows(const TProject& p) { return std::min(p.Grid.SizeY, p.Grid.Cells.Rows()); }

void SetSurfaceMaterial(const TGLEntryPoints& gl)
{
    static const GLfloat white[4] = {1, 1, 1, 1};
    static const GLfloat black[4] = {0, 0, 0, 1};
    gl.glEnable(GL_CULL_FACE);
    gl.glFrontFace(GL_CW);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    gl.glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 16);
}

void SetOverallMaterial(const TGLEntryPoints& gl)
{
    static const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    static const GLfloat black[4] = {0, 0, 0, 1};
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, grey);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, grey);
    gl.glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    gl.glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 16);
}

// One vertex of a cell's fan: position, normal, grey level and texture coordinate.
struct TFanVertex {
    TVector3 Position;
    TVector3 Normal;
    float Light = 1;
    TDoublePoint UV;
};

// The six vertices of a cell's fan: centre, corners 0, 1, 2, 3, corner 0.
void CellFan(const TProject& project, const TCellGeometry& cell, TFanVertex (&fan)[6])
{
    fan[0] = {cell.Centre, cell.MeanNormal, static_cast<float>(cell.MeanLight), {}};
    static constexpr int corners[5] = {0, 1, 2, 3, 0};
    for (int k = 0; k < 5; ++k) {
        const int c = corners[k];
        fan[k + 1] = {cell.Corners[c], cell.CornerNormals[c], static_cast<float>(cell.CornerLight[c]), {}};
    }
    for (TFanVertex& v : fan)
        v.UV = TOverlayRenderEngine::TextureCoordinate(project, v.Position.X, v.Position.Z);
}

// A row of cells as plain triangles (fan triangle k = centre, vertex k, vertex k + 1), drawn with
// one call from one interleaved array.
class TSurfaceBatch {
public:
    void Add(const TFanVertex (&fan)[6])
    {
        TVertex packed[6];
        for (int v = 0; v < 6; ++v)
            packed[v] = Pack(fan[v]);
        for (int k = 1; k <= 4; ++k) {
            vertices_.push_back(packed[0]);
            vertices_.push_back(packed[k]);
            vertices_.push_back(packed[k + 1]);
        }
    }
    void Draw(const TGLEntryPoints& gl)
    {
        if (!vertices_.empty()) {
            constexpr GLsizei stride = sizeof(TVertex);
            const TVertex* first = vertices_.data();
            gl.glEnableClientState(GL_VERTEX_ARRAY);
            gl.glEnableClientState(GL_NORMAL_ARRAY);
            gl.glEnableClientState(GL_COLOR_ARRAY);
            gl.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            gl.glVertexPointer(3, GL_FLOAT, stride, first->Position);
            gl.glNormalPointer(GL_FLOAT, stride, first->Normal);
            gl.glColorPointer(4, GL_FLOAT, stride, first->Colour);
            gl.glTexCoordPointer(2, GL_FLOAT, stride, first->UV);
            gl.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices_.size()));
            gl.glDisableClientState(GL_VERTEX_ARRAY);
            gl.glDisableClientState(GL_NORMAL_ARRAY);
            gl.glDisableClientState(GL_COLOR_ARRAY);
            gl.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        vertices_.clear();
    }

private:
    struct TVertex {
        GLfloat Position[3], Normal[3], Colour[4], UV[2];
    };
    static TVertex Pack(const TFanVertex& v)
    {
        return {{v.Position.X, v.Position.Y, v.Position.Z},
                {v.Normal.X, v.Normal.Y, v.Normal.Z},
                {v.Light, v.Light, v.Light, 1.0f},
                {static_cast<float>(v.UV.X), static_cast<float>(v.UV.Y)}};
    }
    std::vector<TVertex> vertices_;
};

int Percent(double done, double total)
{
    if (!(total > 0))
        return 0;
    const double p = done * 100.0 / total;
    return p >= 100.0 ? 100 : (p > 0 ? static_cast<int>(p) : 0);
}

} // namespace

// ---- Helpers -----------------------------------------------------------------------------------

TDoublePoint TOverlayRenderEngine::TextureCoordinate(const TProject& project, double x, double z)
{
    TDoublePoint corner;
    project.GetWorldCorner(0, corner);
    const TDoublePoint size = project.GetWorldSize();
    const double u = (size.X != 0 && std::isfinite(size.X)) ? (x - corner.X) / size.X : 0.0;
    const double v = (size.Y != 0 && std::isfinite(size.Y)) ? 1.0 - (z - corner.Y) / size.Y : 0.0;
    return {u, v};
}

std::string TOverlayRenderEngine::OverlayFileName(const std::string& directory, const std::string& fileName)
{
    if (directory.empty() || directory.back() == '/' || directory.back() == '\\')
        return directory + fileName;
    return directory + "/" + fileName;
}

bool TOverlayRenderEngine::FolderExists(const std::string& directory)
{
    if (directory.empty())
        return false;
    std::error_code ec;
    if (std::filesystem::is_directory(directory, ec))
        return true;
    std::string slashed = directory;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return std::filesystem::is_directory(slashed, ec);
}

std::vector<int32_t> TOverlayRenderEngine::RowOrder(const TProject& project)
{
    std::vector<int32_t> rows;
    const int last = Rows(project) - 2;
    if (last < 0 || Columns(project) < 2)
        return rows;
    rows.reserve(static_cast<size_t>(last) + 1);
    if (project.Camera.Eye.Z > project.Camera.Target.Z)
        for (int j = 0; j <= last; ++j)
            rows.push_back(j);
    else
        for (int j = last; j >= 0; --j)
            rows.push_back(j);
    return rows;
}

// ---- Drawing -----------------------------------------------------------------------------------

void TOverlayRenderEngine::SetupFog(double factor)
{
    const TGLEntryPoints& gl = GL();
    const TProject& p = Project();
    // A factor of zero (or worse) would divide by zero; the plain density is meant then.
    if (!(factor > 0) || !std::isfinite(factor))
        factor = 1.0;
    double density = p.Atmosphere.FogDensity / (100.0 * factor);
    if (!(density >= 0) || !std::isfinite(density))
        density = 0.0; // OpenGL refuses a negative density
    const GLfloat colour[4] = {p.Atmosphere.FogColor.R, p.Atmosphere.FogColor.G, p.Atmosphere.FogColor.B, 1.0f};
    gl.glFogi(GL_FOG_MODE, GL_EXP);
    gl.glFogfv(GL_FOG_COLOR, colour);
    gl.glFogf(GL_FOG_DENSITY, static_cast<GLfloat>(density));
    gl.glEnable(GL_FOG);
    ClearFPUExceptions();
}

void TOverlayRenderEngine::DrawSurface(const TCellGeometry& cell)
{
    const TGLEntryPoints& gl = GL();
    SetSurfaceMaterial(gl);
    TFanVertex fan[6];
    CellFan(Project(), cell, fan);
    SafeGLBegin(gl, GL_TRIANGLE_FAN);
    for (const TFanVertex& v : fan) {
        gl.glNormal3f(v.Normal.X, v.Normal.Y, v.Normal.Z);
        gl.glColor4f(v.Light, v.Light, v.Light, 1.0f);
        gl.glTexCoord2f(static_cast<float>(v.UV.X), static_cast<float>(v.UV.Y));
        gl.glVertex3f(v.Position.X, v.Position.Y, v.Position.Z);
    }
    SafeGLEnd(gl);
}

void TOverlayRenderEngine::DrawCell(int32_t column, int32_t row)
{
    TCellGeometry cell;
    // A cell the grid does not hold is neither counted nor drawn.
    if (!Project().GetCellGeometry(column, row, cell))
        return;
    ++QuadCount;
    DrawSurface(cell);
}

void TOverlayRenderEngine::AskAboutMissingFolder(const TProject& project)
{
    if (PathsQuestionAnswered || FolderExists(project.Overlays.Directory))
        return;
    // The prompt offers no "Ignore" button; "No" stands for it.
    const TAnswer answer = Prompt().Ask(kMissingFolderQuestion, {TAnswer::Yes, TAnswer::Ignore}, TMsgIcon::Warning);
    if (answer == TAnswer::Yes) {
        TAppMessage message;
        message.Msg = WM_RESETPATHS;
        SendToMainForm(message);
    } else {
        PathsQuestionAnswered = 1;
    }
}

void TOverlayRenderEngine::DrawOverlays(TProject& p)
{
    const TGLEntryPoints& gl = GL();
    // Every entry gets its texture, drawn or not. A list of an earlier render is removed first,
    // so a picture that fails to load is known (no list) and never shows an old picture.
    const size_t count = p.Overlays.Items.size();
    std::vector<bool> loaded(count, false);
    for (size_t i = 0; i < count; ++i) {
        const GLuint list = OverlayListBase + static_cast<GLuint>(i);
        SetSubStatusText("Loading Overlay " + std::to_string(i));
        StatusSink().ProcessMessages();
        gl.glDeleteLists(list, 1);
        // Looked up after the messages ran: an editor may have changed the list meanwhile.
        if (i >= p.Overlays.Items.size())
            break;
        const TOverlayImage& overlay = p.Overlays.Items[i];
        LoadBmpTexture(OverlayFileName(p.Overlays.Directory, overlay.FileName), list, overlay.TransparencyMode,
                       overlay.Transparency, static_cast<uint32_t>(overlay.TransparencyColor) & 0xFFFFFF, true);
        loaded[i] = gl.glIsList(list) == GL_TRUE;
    }

    gl.glDisable(GL_TEXTURE_1D);
    gl.glEnable(GL_COLOR_MATERIAL);
    SetOverallMaterial(gl);
    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.glEnable(GL_TEXTURE_2D);

    const std::vector<int32_t> rows = RowOrder(p);
    const int columns = Columns(p);
    const double total = (static_cast<double>(Columns(p)) - 1.0) * (static_cast<double>(Rows(p)) - 1.0);
    TSurfaceBatch batch;
    bool first = true;
    for (size_t i = 0; i < count && !Aborted; ++i) {
        // Indexes are re-read each time: the pumped messages may run an editor.
        if (i >= p.Overlays.Items.size())
            break;
        const TOverlayImage& overlay = p.Overlays.Items[i];
        if (!overlay.DrawOverlay || !loaded[i])
            continue;
        const std::string name = overlay.Name;
        gl.glCallList(OverlayListBase + static_cast<GLuint>(i));
        SetStatusText("Drawing Surface " + std::to_string(i));
        SetSubStatusText(name);
        DrawnOverlays.push_back(static_cast<int>(i));
        if (!first) {
            gl.glEnable(GL_BLEND);
            gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            gl.glDepthFunc(GL_LEQUAL);
            gl.glDepthMask(GL_FALSE);
        }
        first = false;
        SetSurfaceMaterial(gl); // what DrawSurface sets for every cell
        double done = 0;
        for (int32_t row : rows) {
            StatusSink().SetProgress(Percent(done, total));
            for (int32_t column = 0; column + 1 < columns; ++column) {
                if (!BatchCells) {
                    DrawCell(column, row);
                } else if (TCellGeometry cell; p.GetCellGeometry(column, row, cell)) {
                    ++QuadCount;
                    TFanVertex fan[6];
                    CellFan(p, cell, fan);
                    batch.Add(fan);
                }
                ++done;
                StatusSink().ProcessMessages();
                if (Aborted)
                    break;
            }
            batch.Draw(gl);
            if (Aborted)
                break;
        }
    }
}

void TOverlayRenderEngine::Render(TGLPanel& panel)
{
    bool crashed = false;
    std::optional<TGLAttribScope> enableBits;
    try {
        TProject& p = Project(); // no project: EInitError, reported as "crashed" below
        AskAboutMissingFolder(p);
        Aborted = 0;
        QuadCount = 0;
        DrawnOverlays.clear();
        SetStatusText("Drawing Landscape View");
        SetSubStatusText("Initialization");
        PrepareScene(panel.width(), panel.height());
        SetupCamera();
        SetupLights();
        DrawSky();
        enableBits.emplace(GL_ENABLE_BIT);
        const TGLEntryPoints& gl = GL();
        gl.glEnable(GL_LIGHTING);
        SetupFog(1.0);
        DrawOverlays(p);
        gl.glShadeModel(GL_SMOOTH);
    } catch (...) {
        crashed = true;
    }
    try {
        if (const TGLEntryPoints* gl = GLEntryPoints())
            gl->glDisable(GL_FOG);
        ClearFPUExceptions();
        enableBits.reset();
    } catch (...) {
        crashed = true;
    }
    // A render that failed is never reported as completed.
    LastError = crashed ? "crashed" : "";
    try {
        SetStatusText(crashed ? "Render failed: crashed"
                              : "Completed: " + std::to_string(static_cast<int64_t>(QuadCount) * 4) + " triangles");
    } catch (...) {
    }
    StatusSink().SetProgress(0);
    if (crashed)
        ShowError("crashed");
}
