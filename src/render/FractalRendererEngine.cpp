#include "render/FractalRendererEngine.h"

#include "models/GraphicEx.h"
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/LinePlanner.h"
#include "render/ParallelFor.h"
#include "shell/BaseUnit.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

namespace FractalTables {
int SubdivisionCount(int level) { return level <= 0 ? 1 : (1 << level) + 1; }

int TextureSideFor(double extent, int fractalDepth)
{
    int side = 1;
    const double limit = std::trunc(extent);
    while (side * 2 <= limit && side < 32) side *= 2;
    side = std::max(side, 2);
    switch (fractalDepth) {
    case 1: return 2;
    case 2: return std::min(side, 4);
    case 3: return std::min(side, 16);
    default: return std::min(side, 32);
    }
}

int ClampFractalDepth(int depth) { return std::clamp(depth, 1, 4); }

double ShadowReach(double height, double altitude)
{
    constexpr double degrees = M_PI / 180.0;
    const double cap = std::fabs(height) / std::tan(LowestShadowSun * degrees);
    return std::clamp(height / std::tan((90.0 - altitude) * degrees), -cap, cap);
}

int LevelForDepth(const double (&thresholds)[6], int fractalDepth, double depth)
{
    // Nearer than the first threshold is the foreground the viewer looks at: the finest level.
    int level = fractalDepth;
    for (int k = 5; k >= 0; --k)
        if (depth > thresholds[k]) {
            level = (5 - k) - (4 - fractalDepth);
            break;
        }
    return std::clamp(level, 0, fractalDepth);
}

TTraversalOrder TraversalOrderFor(const TVector3& eye, const TVector3& target)
{
    const double dx = std::fabs(eye.X - target.X), dz = std::fabs(eye.Z - target.Z);
    if (dz >= dx) return {TTraversalAxis::Rows, eye.Z > target.Z};
    return {TTraversalAxis::Columns, eye.X > target.X};
}

bool SplitShoreCell(const TCellGeometry& cell, TCellGeometry& water, TCellGeometry& land)
{
    bool edge = false, flooded = false;
    double level = 2147483647.0;
    for (int k = 0; k < 4; ++k) {
        edge = edge || cell.CornerWaterEdge[k] == 2;
        if (cell.CornerFlooded[k] == 1) {
            flooded = true;
            level = std::min<double>(level, cell.Corners[k].Y);
        }
    }
    // A water-edge mark on a dry corner whose flooded neighbour lies outside this cell leaves
    // nothing to split against: without a flooded corner there is no water level.
    if (!edge || !flooded)
        return false;
    water = cell;
    land = cell;
    for (int k = 0; k < 4; ++k) {
        if (land.CornerFlooded[k] == 1) {
            land.CornerWaterEdge[k] = 1;
            land.Corners[k].Y = static_cast<float>(level);
        }
        land.CornerFlooded[k] = 0;
        water.CornerFlooded[k] = 1;
        water.Corners[k].Y = static_cast<float>(level - 0.2 * std::fabs(cell.Corners[k].Y - level));
    }
    land.LandPiece = 1;
    return true;
}

std::string CompletionText(int64_t quads, double seconds)
{
    const int64_t total = std::isfinite(seconds) && seconds > 0 ? static_cast<int64_t>(seconds) : 0;
    char time[48];
    std::snprintf(time, sizeof time, "%lld:%02d:%02d", static_cast<long long>(total / 3600),
                  static_cast<int>(total / 60 % 60), static_cast<int>(total % 60));
    return "Completed: " + std::to_string(4 * quads) + " triangles in " + time;
}
} // namespace FractalTables

namespace {

// Vertices both the grid descriptor and the cell array know (they agree for a sound project).
int Columns(const TProject& p) { return std::max(0, std::min(p.Grid.SizeX, p.Grid.Cells.Columns())); }
int Rows(const TProject& p) { return std::max(0, std::min(p.Grid.SizeY, p.Grid.Cells.Rows())); }

int Percent(double done, double total)
{
    if (!(total > 0))
        return 0;
    const double p = std::trunc(done * 100.0 / total);
    return p >= 100.0 ? 100 : (p > 0 ? static_cast<int>(p) : 0);
}

// A folder of the project plus a file name below it; stored paths may use '\'.
std::string InFolder(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    return path + name;
}

bool FolderExists(std::string folder)
{
    if (folder.empty())
        return false;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec);
}

// Every stage of a render (the sky dome, the cells, the buildings) sees the clamped fractal depth;
// the project's own value comes back when the render ends, unless the project was replaced.
std::string FailureText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return *e.what() ? e.what() : "unknown error";
    } catch (...) {
        return "unknown error";
    }
}

} // namespace

TFractalRenderEngine::TFractalRenderEngine()
{
    BuildDetailTiles();
    // On a thread of its own, ended by the first render (or the engine's end): an engine made for
    // a moment starts no helper pool. The limit as it is now: a caller may change it meanwhile.
    batchMemory_ = std::thread([this, limit = TexelBatchLimit] { PrepareBatchMemory(limit); });
}

TFractalRenderEngine::~TFractalRenderEngine()
{
    // Texels still being shaded write into the engine's batches.
    WaitForHandedBatch();
    BatchesReady();
}

void TFractalRenderEngine::BuildDetailTiles()
{
    MakeNoiseTile(123456, DetailTiles[0], 0.0);
    DetailMean = MakeNoiseTile(123456, DetailTiles[1], 0.0) / 2.0;
}

// ---- The pipeline ------------------------------------------------------------------------------

void TFractalRenderEngine::Render(TGLPanel& panel)
{
    const TClock::time_point start = TClock::now();
    LastError.clear();
    CompletionText.clear();
    StageTimes.clear();
    TexelsShaded = 0;
    PlantsDrawn = 0;
    TextureSides.clear();
    Aborted = 0;
    QuadCount = 0;
    stageStart_ = lastPump_ = start;
    previewRender_ = false;

    std::exception_ptr failure;
    try {
        RunPipeline(panel);
    } catch (...) {
        failure = std::current_exception();
    }
    CleanUp();
    StageDone("Clean-up");

    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    if (failure) {
        // A failed render is never reported as completed: the user is told once what went wrong.
        LastError = FailureText(failure);
        StatusSink().SetOperationText("Render failed: " + LastError);
        StatusSink().SetStepText("");
        Prompt().ShowMessage(LastError, TMsgIcon::Error);
    } else {
        CompletionText = FractalTables::CompletionText(QuadCount, seconds);
        StatusSink().SetOperationText(CompletionText);
        StatusSink().SetStepText("");
    }
    StatusSink().SetProgress(0);
}

void TFractalRenderEngine::RunPipeline(TGLPanel& panel)
{
    TProject& p = Project();
    AskAboutMissingPaths();

    // Arrays of the cell code are sized for depths 1 .. 4, whatever the file says.
    RenderDepth = FractalTables::ClampFractalDepth(p.Fractal.FractalDepth);
    previewRender_ = p.Fractal.PreviewMode != 0;
    const TGLEntryPoints& gl = GL();

    const TGridBlock& grid = p.Grid;
    p.TreeLineHeight = (grid.MaxHeight - grid.MinHeight) * (p.Fractal.TreeLine / 100.0) + grid.MinHeight;
    p.SnowLineHeight = (grid.MaxHeight - grid.MinHeight) * (p.Fractal.SnowLine / 100.0) + grid.MinHeight;

    SetStatusText("Drawing Landscape View");
    SetSubStatusText("Initialization");
    p.AnyFullOverlay = 0;
    if (!previewRender_)
        LoadOverlays();
    StageDone("Initialization");

    // Every setting changed below is restored when the render ends, on every path.
    TGLAttribScope keepState(GL_ALL_ATTRIB_BITS);
    PrepareScene(panel.width(), panel.height());
    StageDone("Normals and shadows");

    if (!previewRender_) {
        CalculateDisplacements();
        StageDone("Displacements");
    }

    Eye = p.GetCameraPosition();
    Target = p.GetCameraTarget();
    gl.gluLookAt(Eye.X, Eye.Y, Eye.Z, Target.X, Target.Y, Target.Z, 0.0, 1.0, 0.0);
    const double wind = p.Water.WindDirection * M_PI / 180.0;
    WaveOriginX = std::cos(wind) * 5000.0;
    WaveOriginZ = std::sin(wind) * 5000.0;
    SetupLights();

    if (!previewRender_) {
        SetSubStatusText("Pre-processing water");
        PreprocessWater();
        PrepareVertexData();
        StageDone("Water and vertices");
        ResetVegetation();
        SetSubStatusText("Precalculating visibility");
        CalculateVisibility();
        PrecalculateVisibility();
        StageDone("Visibility");
        PrepareVegetation();
        StageDone("Vegetation");
        if (!p.Fractal.DrawNoModels) {
            PrepareModels();
            StageDone("Models");
        }
        SetSubStatusText("Drawing sky");
        DrawSky();
        StageDone("Sky");
    } else {
        // The outlines are culled by the same depths as a full render, so the preview shows what
        // the current camera sees, not what the last full render saw.
        CalculateVisibility();
        StageDone("Visibility");
    }

    gl.glDisable(GL_LIGHTING);
    gl.glEnable(GL_COLOR_MATERIAL);
    SetStatusText("Drawing surface");
    SetSubStatusText("Drawing fractal surface");
    DrawSurface();
    FlushCellBatches();
    StageDone("Surface");

    if (!p.Fractal.DrawNoModels) {
        SetStatusText("Drawing models");
        DrawModels();
        StageDone("Placed models");
    }
}

void TFractalRenderEngine::AskAboutMissingPaths()
{
    const TProject& p = Project();
    if (PathsQuestionAsked || (FolderExists(p.Actors.Directory) && FolderExists(p.Models.Directory)))
        return;
    const TAnswer answer = Prompt().Ask(
        "At least one of the directory paths defined for this project does not exist.  Reset now?",
        {TAnswer::Yes, TAnswer::Ignore}, TMsgIcon::Warning);
    if (answer == TAnswer::Yes) {
        // The main window opens the project paths dialog; the question comes again next render
        // until the paths are right or the user declines.
        TAppMessage message;
        message.Msg = WM_RESETPATHS;
        SendToMainForm(message);
        return;
    }
    PathsQuestionAsked = 1;
}

void TFractalRenderEngine::LoadOverlays()
{
    TProject& p = Project();
    for (size_t i = 0; i < p.Overlays.Items.size(); ++i) {
        TOverlayImage& overlay = p.Overlays.Items[i];
        if (!overlay.Image)
            overlay.Image = std::make_shared<QImage>();
        if (overlay.DrawOverlay) {
            const std::string file = FindFileCaseInsensitive(InFolder(p.Overlays.Directory, overlay.FileName));
            if (!file.empty() && !overlay.FileName.empty()) {
                SetSubStatusText("Loading Overlay " + std::to_string(i));
                QImage picture;
                if (LoadPicture(file, picture))
                    *overlay.Image = picture;
                if (overlay.DrawFull)
                    p.AnyFullOverlay = 1;
            }
        }
        StatusSink().ProcessMessages();
    }
}

void TFractalRenderEngine::DrawSurface()
{
    TProject& p = Project();
    const int sx = Columns(p), sy = Rows(p);
    if (sx < 2 || sy < 2 || Aborted)
        return;
    BatchesReady();
    cameraGrid_ = p.WorldToGrid(p.GetCameraPosition());
    nearCameraRange_ = (p.Grid.SizeX + p.Grid.SizeY) / 20.0;

    const FractalTables::TTraversalOrder order = FractalTables::TraversalOrderFor(Eye, Target);
    const bool rowMajor = order.Outer == FractalTables::TTraversalAxis::Rows;
    // The inner loop ascends, so its stitch looks back at the cell drawn just before, on every
    // render: the flag never carries over from an earlier traversal in the other direction.
    if (rowMajor) {
        RowsAscending = order.OuterAscending ? 1 : 0;
        ColumnsAscending = 1;
    } else {
        ColumnsAscending = order.OuterAscending ? 1 : 0;
        RowsAscending = 1;
    }
    const int outerCount = rowMajor ? sy - 1 : sx - 1;
    const int innerCount = rowMajor ? sx - 1 : sy - 1;
    const double total = static_cast<double>(sx - 1) * (sy - 1);
    double counter = 0;
    const auto lineAt = [&](int step) { return order.OuterAscending ? step : outerCount - 1 - step; };
    if (ThreadCount == 1 || previewRender_) {
        for (int step = 0; step < outerCount && !Aborted; ++step) {
            const int outer = lineAt(step);
            StatusSink().SetProgress(Percent(counter, total));
            PumpMessages(true);
            for (int inner = 0; inner < innerCount && !Aborted; ++inner) {
                if (rowMajor)
                    DrawSurfaceCell(inner, outer);
                else
                    DrawSurfaceCell(outer, inner);
                ++counter;
                PumpWithinLine();
            }
        }
        return;
    }

    // With several threads, each line is planned first: the same calls in the same order, without
    // drawing, recording the cell pieces; they are then subdivided and sized on every thread and
    // drawn in their order. Lines are planned on helpers, a few ahead of the one being drawn, so
    // the drawing thread is left with drawing. Messages are pumped between lines and inside them
    // while the planning is held, so nothing changes the project under a plan being made.
    StatusSink().SetProgress(0);
    PumpMessages(true);
    if (Aborted)
        return;
    // Read here, on the drawing thread, with the matrices the surface is drawn with.
    if (!CellProjector)
        PrepareCellProjection();
    planProjector_.emplace();
    // A line's cells are read while the line before is being subdivided: their pieces need the
    // levels of both.
    PlanCells(lineAt(0), innerCount, rowMajor, lineSlots_[0]);
    TLinePlanner planner(outerCount, LinesPlannedAhead, [&](int step) {
        PlanLine(lineSlots_[step % 2], linePlans_[step % LinesPlannedAhead], [&] {
            if (step + 1 < outerCount)
                PlanCells(lineAt(step + 1), innerCount, rowMajor, lineSlots_[(step + 1) % 2]);
        });
    });
    // The pumps hold it for as long as it plans; it is forgotten before it ends.
    linePlanner_ = &planner;
    struct TForget {
        TLinePlanner*& Slot;
        ~TForget() { Slot = nullptr; }
    } forget{linePlanner_};
    for (int step = 0; step < outerCount && !Aborted; ++step) {
        planner.WaitFor(step);
        StatusSink().SetProgress(Percent(counter, total));
        PumpWithinLine();
        const TLinePlan& plan = linePlans_[step % LinesPlannedAhead];
        for (size_t k = 0; k < plan.Count && !Aborted; ++k) {
            const TPlannedCell& cell = plan.Cells[k];
            UrbanDrawn = 0;
            DrawCellFrom(cell.Jittered, cell.Plain, cell.Level, &cell);
            PumpWithinLine();
        }
        planner.Drawn(step);
        counter += innerCount;
    }
}

void TFractalRenderEngine::PlanCells(int outer, int innerCount, bool rowMajor, std::vector<TCellSlot>& line)
{
    line.resize(static_cast<size_t>(std::max(0, innerCount)));
    for (int inner = 0; inner < innerCount; ++inner) {
        TCellSlot& slot = line[static_cast<size_t>(inner)];
        slot.Drawn = DrawnCellGeometry(rowMajor ? inner : outer, rowMajor ? outer : inner, slot.Whole);
        if (!slot.Drawn)
            continue;
        SetCellLevel(slot.Whole, &*planProjector_);
        slot.Split = FractalTables::SplitShoreCell(slot.Whole, slot.Water, slot.Land);
    }
}

void TFractalRenderEngine::PlanLine(const std::vector<TCellSlot>& line, TLinePlan& plan,
                                    const std::function<void()>& meanwhile)
{
    // The pieces in drawing order, as DrawSurfaceCell would draw them: each cell at its levels
    // (the levels of this line and of the one before are set), whole or as its water and its land.
    plan.Count = 0;
    const auto add = [&](const TCellGeometry& piece, int level) {
        if (plan.Count == plan.Cells.size())
            plan.Cells.emplace_back();
        TPlannedCell& cell = plan.Cells[plan.Count++];
        cell.Source = &piece;
        cell.Level = level;
    };
    for (const TCellSlot& slot : line) {
        if (!slot.Drawn)
            continue;
        int levels[3];
        const int count = CellLevels(slot.Whole, levels);
        for (int l = 0; l < count; ++l) {
            if (slot.Split) {
                add(slot.Water, levels[l]);
                add(slot.Land, levels[l]);
            } else {
                add(slot.Whole, levels[l]);
            }
        }
    }
    // Made on every thread; one of them does what is to be done meanwhile.
    ParallelFor(ThreadCount, plan.Count + 1, [&](size_t k) {
        if (k == 0) {
            meanwhile();
            return;
        }
        TPlannedCell& cell = plan.Cells[k - 1];
        CellAtLevel(*cell.Source, cell.Plain, cell.Jittered);
        PrepareAhead(cell);
    });
}

void TFractalRenderEngine::CleanUp()
{
    // Each step on its own: a failure in one must not keep the others from running.
    try {
        ReleaseCellTextures();
    } catch (...) {
    }
    try {
        if (const TGLEntryPoints* gl = GLEntryPoints())
            SafeGLFlush(*gl);
    } catch (...) {
    }
}

bool TFractalRenderEngine::PumpDue() const { return TClock::now() - lastPump_ >= PumpInterval; }

void TFractalRenderEngine::PumpMessages(bool force)
{
    if (!force && !PumpDue())
        return;
    // A message may change the project (an editor, a dialog), so none runs while texels are
    // being shaded from it on other threads: the shading pauses after the sub-quads under way.
    const TWorkGate::TClosed paused(ShadingGate);
    lastPump_ = TClock::now();
    StatusSink().ProcessMessages();
}

void TFractalRenderEngine::PumpHoldingPlans()
{
    if (!linePlanner_) {
        PumpMessages(true);
        return;
    }
    TLinePlanner& planner = *linePlanner_;
    planner.Hold();
    struct TRelease {
        TLinePlanner& Planner;
        ~TRelease() { Planner.Release(); }
    } release{planner};
    PumpMessages(true);
}

void TFractalRenderEngine::PumpWithinLine()
{
    if (PumpDue())
        PumpHoldingPlans();
}

void TFractalRenderEngine::StageDone(const char* name)
{
    const TClock::time_point now = TClock::now();
    StageTimes.emplace_back(name, std::chrono::duration<double>(now - stageStart_).count());
    stageStart_ = now;
}

// ---- Pre-passes --------------------------------------------------------------------------------

void TFractalRenderEngine::CalculateDisplacements()
{
    TProject& p = Project();
    SetStatusText("Preprocessing");
    SetSubStatusText("Calculating displacements");
    try {
        SetRandSeed(static_cast<uint32_t>(p.Fractal.RPlaneSeed));
        const int sx = Columns(p), sy = Rows(p);
        const bool exact = p.AnyFullOverlay && p.TerrainLayers.Exact;
        for (int c = 0; c < sx; ++c)
            for (int r = 0; r < sy; ++r) {
                TGridCell& cell = p.Grid.Cells[c][r];
                if (exact) {
                    cell.JitterX = cell.JitterZ = 0;
                } else {
                    cell.JitterX = static_cast<float>((RandomReal() - 0.5) * 0.45);
                    cell.JitterZ = static_cast<float>((RandomReal() - 0.5) * 0.45);
                }
            }
    } catch (...) {
        // Jitter is decoration: a render goes on with what was set.
    }
}

void TFractalRenderEngine::PreprocessWater()
{
    TProject& p = Project();
    TCellArray& cells = p.Grid.Cells;
    const int sx = Columns(p), sy = Rows(p);
    StatusSink().SetProgress(0);
    const auto markRow = [&](int r) {
        for (int c = 1; c <= sx - 2; ++c) {
            const uint8_t own = cells[c][r].Flooded;
            uint8_t edge = 0;
            // Only the four diagonal neighbours decide; flood values other than 0 and 1 never do.
            for (int n : {c - 1, c + 1})
                for (int m : {r - 1, r + 1}) {
                    const uint8_t other = cells[n][m].Flooded;
                    if ((own == 0 && other == 1) || (own == 1 && other == 0))
                        edge = 2;
                }
            cells[c][r].WaterEdge = edge;
        }
    };
    // Marks read flood values only: rows 1 .. sy - 2 on every core, pumped between bands.
    ParallelForInBands(
        ThreadCount, static_cast<size_t>(std::max(0, sy - 2)), static_cast<size_t>(sx),
        [&](size_t first) {
            StatusSink().SetProgress(Percent(static_cast<double>(first) + 1, sy));
            StatusSink().ProcessMessages();
            return true;
        },
        [&](size_t k) { markRow(static_cast<int>(k) + 1); });
}

void TFractalRenderEngine::PrepareVertexData()
{
    TProject& p = Project();
    try {
        p.BuildLayerMap();
        const int sx = Columns(p), sy = Rows(p);
        ParallelFor(ThreadCount, static_cast<size_t>(std::max(0, sx)), [&](size_t k) {
            const int c = static_cast<int>(k);
            for (int r = 0; r < sy; ++r) {
                TGridCell& cell = p.Grid.Cells[c][r];
                cell.CachedRoughness = p.RoughnessAt(c, r);
                cell.Level = -1;
            }
        });
    } catch (...) {
        // A layer map that cannot be built leaves the surface without layers, not without a picture.
    }
}

void TFractalRenderEngine::PrecalculateVisibility()
{
    const TGLEntryPoints& gl = GL();
    const TProject& p = Project();
    for (double& t : LodThresholds)
        t = 2147483647.0;
    gl.glMatrixMode(GL_MODELVIEW);
    TGLMatrixScope keep;
    gl.glLoadIdentity();
    gl.gluLookAt(0.0, 0.0, 0.1, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    GLint viewport[4] = {};
    GLdouble model[16] = {}, projection[16] = {};
    gl.glGetIntegerv(GL_VIEWPORT, viewport);
    gl.glGetDoublev(GL_MODELVIEW_MATRIX, model);
    gl.glGetDoublev(GL_PROJECTION_MATRIX, projection);

    const double ws = p.WorldScale != 0 && std::isfinite(p.WorldScale) ? p.WorldScale : 1.0;
    const double step = p.Grid.SpacingX / ws;
    if (!(std::isfinite(step) && step > 0))
        return;
    double pix = 64.0, z = 0.0;
    int k = 0;
    for (int round = 0; pix > 1.0 && round < 10000; ++round) {
        GLdouble ax = 0, ay = 0, az = 0, bx = 0, by = 0, bz = 0;
        if (gl.gluProject(0.0, 0.0, z, model, projection, viewport, &ax, &ay, &az) == GL_FALSE ||
            gl.gluProject(step / 2, 0.0, z, model, projection, viewport, &bx, &by, &bz) == GL_FALSE)
            continue;
        if (bx - ax < pix) {
            LodThresholds[k] = az;
            pix /= 2;
            if (++k > 5)
                break;
        }
        z -= step;
    }
    ClearFPUExceptions();
}

int TFractalRenderEngine::LevelForDepth(double depth) const
{
    return FractalTables::LevelForDepth(LodThresholds, RenderDepth, depth);
}

// ---- Cells -------------------------------------------------------------------------------------

void TFractalRenderEngine::DrawSurfaceCell(int32_t column, int32_t row)
{
    TCellGeometry g;
    if (!DrawnCellGeometry(column, row, g))
        return;
    if (previewRender_) {
        DrawFlatQuad(g);
        return;
    }
    SetCellLevel(g, nullptr);
    int levels[3];
    const int count = CellLevels(g, levels);
    for (int k = 0; k < count; ++k)
        DrawCellPieces(g, levels[k]);
}

bool TFractalRenderEngine::DrawnCellGeometry(int32_t column, int32_t row, TCellGeometry& g)
{
    return Project().GetCellGeometry(column, row, g) && g.Depth >= 0.0 && !g.HasNull;
}

void TFractalRenderEngine::SetCellLevel(TCellGeometry& g, const TPointProjector* projector)
{
    TProject& p = Project();
    const int level = LevelForDepth(g.Depth);
    p.Grid.Cells[g.Column][g.Row].Level = static_cast<int8_t>(level);
    g.Level = level;
    // Only plants and buildings read the screen test; without them it is not worth a projection.
    if (!p.Fractal.DrawNoModels) {
        double size = 0;
        const bool visible = projector ? CellScreenSize(g, true, size, *projector) : CellScreenSize(g, true, size);
        g.Visible = visible ? 1 : 0;
    }
}

int TFractalRenderEngine::CellLevels(const TCellGeometry& g, int (&levels)[3]) const
{
    // Its own, then the level of each neighbour drawn earlier at another: the cell is drawn once
    // more at theirs, so the two meshes overlap along the shared edge.
    const TProject& p = Project();
    const TCellArray& cells = p.Grid.Cells;
    const int sx = Columns(p), sy = Rows(p);
    const int column = g.Column, row = g.Row, level = g.Level;
    int count = 0;
    levels[count++] = level;
    const int n = ColumnsAscending ? column - 1 : column + 1;
    if (n >= 0 && n < sx) {
        const int other = cells[n][row].Level;
        if (other >= 0 && other != level)
            levels[count++] = other;
    }
    const int m = RowsAscending ? row - 1 : row + 1;
    if (m >= 0 && m < sy) {
        const int other = cells[column][m].Level;
        if (other >= 0 && other != level)
            levels[count++] = other;
    }
    return count;
}

void TFractalRenderEngine::DrawCellPieces(const TCellGeometry& geometry, int level)
{
    TCellGeometry water, land;
    if (!FractalTables::SplitShoreCell(geometry, water, land)) {
        DrawCellAtLevel(geometry, level);
        return;
    }
    DrawCellAtLevel(water, level);
    DrawCellAtLevel(land, level);
}

void TFractalRenderEngine::CellAtLevel(const TCellGeometry& geometry, TCellGeometry& plain,
                                       TCellGeometry& jittered) const
{
    static constexpr TDoublePoint uv[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    plain = geometry;
    for (int k = 0; k < 4; ++k)
        plain.CornerUV[k] = uv[k];
    plain.NearCamera = std::fabs(geometry.Column - cameraGrid_.X) < nearCameraRange_ &&
                               std::fabs(geometry.Row - cameraGrid_.Z) < nearCameraRange_
                           ? 1
                           : 0;
    jittered = plain;
    for (int k = 0; k < 4; ++k) {
        jittered.Corners[k].X = static_cast<float>(jittered.Corners[k].X + geometry.CornerJitter[k].X);
        jittered.Corners[k].Z = static_cast<float>(jittered.Corners[k].Z + geometry.CornerJitter[k].Y);
    }
}

void TFractalRenderEngine::DrawCellAtLevel(const TCellGeometry& geometry, int level)
{
    TCellGeometry plain, jittered;
    CellAtLevel(geometry, plain, jittered);
    UrbanDrawn = 0;
    DrawFractalCell(jittered, plain, level);
}

void TFractalRenderEngine::DrawFlatQuad(const TCellGeometry& geometry)
{
    const TGLEntryPoints& gl = GL();
    gl.glEnable(GL_CULL_FACE);
    gl.glFrontFace(GL_CW);
    gl.glColor4f(0, 0, 0, 1);
    SafeGLBegin(gl, GL_LINE_LOOP);
    for (const TVector3& c : geometry.Corners)
        gl.glVertex3f(c.X, c.Y, c.Z);
    SafeGLEnd(gl);
    // One flush after the traversal makes the outlines visible; none is needed per quad.
    ++QuadCount;
}
