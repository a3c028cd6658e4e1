#pragma once
// What every render needs once per process, prepared ahead so that the first render a user waits
// for is as quick as the next: the helper threads started, and the memory of the layer map and of
// the texel atlases touched through (memory touched for the first time costs far more than memory
// used again). Nothing prepared here depends on a project, a grid or a window size, so nothing of
// it can go stale.
//
// The program starts the preparation once its main window shows; it runs in the background and
// never holds up the user. A render that starts before it is done simply makes what it lacks.

// Starts the preparation in the background (again only after ReleaseRenderPreparation).
void PrepareRenderingAhead();
// Until the preparation started by PrepareRenderingAhead has ended.
void WaitForRenderPreparation();
// Forgets the memory prepared or kept (the next render makes its own, as in a fresh process).
void ReleaseRenderPreparation();
