#pragma once
// Our noise library: the three-dimensional noise function the fractal displacement and the noise
// tiles sample. Deterministic and frozen: stored landscapes look the same on every run and
// release, so the definition below must never change (tests pin values).

// Smooth gradient noise at point (x, y, z); `param` selects an independent noise field (callers
// pass a seed). Results lie in 0..1 and cluster around 0.5; non-finite input gives 0.5.
double NoiseAt(double x, double y, double z, double param);
