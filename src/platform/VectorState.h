#pragma once
// Code of the window system (its painting above all) may return with the upper halves of the wide
// vector registers still in use. Until they are cleared, every scalar floating-point instruction
// of ours pays for merging them: a render that updated the status bar now and then ran several
// times slower than the same render without a window. Call this after handing control to such
// code; it costs a few cycles, and nothing on processors without wide vector registers.
void ClearUpperVectorState();
