#include "render/FractalRendererEngine.h"

// No plant types or urban plans are drawn yet: the seams stay empty.
void TFractalRenderEngine::ResetVegetation() {}
void TFractalRenderEngine::PrepareVegetation() {}
void TFractalRenderEngine::DrawCellEcology(const TCellGeometry&) {}
void TFractalRenderEngine::DrawCellUrbanAt(const TCellGeometry&) {}
void TFractalRenderEngine::DrawCellPlants() {}
void TFractalRenderEngine::PlantShadowsOnTexel(double, double, double&) const {}
bool TFractalRenderEngine::HasPlantShadows() const { return false; }
