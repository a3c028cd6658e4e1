#include "render/FractalRendererEngine.h"

// Placed models are not drawn yet: the seams stay empty.
void TFractalRenderEngine::PrepareModels() {}
void TFractalRenderEngine::DrawModels() {}
void TFractalRenderEngine::DrawModelInstance(int) {}
void TFractalRenderEngine::ModelShadowsOnTexel(double, double, double&) const {}
bool TFractalRenderEngine::HasModelShadows() const { return false; }
