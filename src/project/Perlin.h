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

// The octave frequencies of one MaxFreq and their square roots, worked out once for the many sums
// of a frame that share it. The sums below give exactly the values of the functions above.
struct TOctaves {
    static constexpr int MaxCount = 64;
    double MaxFreq = 0;
    int Count = -1;        // -1: more octaves than fit; the sums then run the plain loop
    double Frequency[MaxCount] = {};
    double Root[MaxCount] = {};
};
void SetOctaves(TOctaves& octaves, double MaxFreq);
double Turbulence(const double* V, const TOctaves& octaves);
double TurbulenceSqrt(const double* V, const TOctaves& octaves);
// Turbulence at two points at once (in the two halves of the vector registers where the machine
// has them): out[k] gets exactly what Turbulence(V[k], octaves) gives.
void TurbulencePair(const double (&V)[2][2], const TOctaves& octaves, double (&out)[2]);
