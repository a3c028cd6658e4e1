#include "render/FractalRendererEngine.h"

void TFractalRenderEngine::DrawFractalCell(const TCellGeometry&, const TCellGeometry&, int) {}
double TFractalRenderEngine::DisplacementAt(const TCellGeometry&, double, double, bool, double& roughness) const
{
    roughness = 0;
    return 0;
}
double TFractalRenderEngine::WaveOffset(double, double, double) const { return 0; }
void TFractalRenderEngine::FlushCellBatches() {}
void TFractalRenderEngine::ReleaseCellTextures() {}
