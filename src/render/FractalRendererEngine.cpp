#include "render/FractalRendererEngine.h"

#include "render/GLPanel.h"

#include <algorithm>
#include <cmath>

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
} // namespace FractalTables

TFractalRenderEngine::TFractalRenderEngine() { BuildDetailTiles(); }
TFractalRenderEngine::~TFractalRenderEngine() = default;

void TFractalRenderEngine::Render(TGLPanel& panel)
{
    // Placeholder until the pipeline lands: the sky only.
    LastError.clear();
    Aborted = 0;
    QuadCount = 0;
    PrepareScene(panel.width(), panel.height());
    SetupCamera();
    SetupLights();
    DrawSky();
    CompletionText = "Completed: 0 triangles";
}

void TFractalRenderEngine::BuildDetailTiles() {}
void TFractalRenderEngine::CalculateDisplacements() {}
void TFractalRenderEngine::PreprocessWater() {}
void TFractalRenderEngine::PrepareVertexData() {}
void TFractalRenderEngine::PrecalculateVisibility() {}
int TFractalRenderEngine::LevelForDepth(double depth) const
{
    return FractalTables::LevelForDepth(LodThresholds, RenderDepth, depth);
}
void TFractalRenderEngine::DrawSurfaceCell(int32_t, int32_t) {}
void TFractalRenderEngine::DrawCellPieces(const TCellGeometry&, int) {}
void TFractalRenderEngine::DrawCellAtLevel(const TCellGeometry&, int) {}
void TFractalRenderEngine::DrawFlatQuad(const TCellGeometry&) {}
