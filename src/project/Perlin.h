#pragma once
// Two-dimensional lattice gradient noise and its fractal sums, used to stir haze and clouds.
// The tables are drawn from the shared random sequence at start-up (InitRandomTables), so every
// value is the same on every run.
#include "project/MathUtils.h"

// Builds the permutation and gradient tables from the current random sequence (no reseeding).
// Part of InitRandomTables; call it directly only to rebuild the tables in a test.
void InitPerlinTables();

// Gradient noise at (V[0], V[1]); 0 at every lattice point; non-finite input gives 0.
double Noise2(const double* V);
// Octaves f = 1, 1.7, 1.7^2 ... up to MaxFreq: sum of Noise2(V f) / f. 0 when MaxFreq < 1.
double Turbulence(const double* V, double MaxFreq);
// The same sum with each octave divided by sqrt(f).
double TurbulenceSqrt(const double* V, double MaxFreq);
