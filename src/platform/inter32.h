#pragma once
// Our gridding library: scattered heights in, a regular grid of heights out. One run goes
// InitGrid, SetOptions, ReadData, Gradient (optional), MakeGrid, DoneGrid. Errors are written as
// text into the caller's buffer (at most 120 characters and the terminator); an empty buffer
// means success. The library calls the continue callback while it works and stops early, without
// an error, when the callback returns 0.
//
// Method: each grid node takes a weighted mean of its nearest data points (weights 1 / d^2, exact
// at a data point). With gradients, each point contributes its height carried along its own
// estimated slope instead of a flat value; the first tautness divides the slope's influence, the
// second keeps the result within the span of the neighbours' heights widened by span / tautness.
// Without extrapolation, nodes outside the convex hull of the points get the null value.
#include <cstdint>

struct TInterOptions {
    char InputPath[256];
    char OutputPath[256];
    int32_t GradientFlag;
    int32_t Reserved1[3];
    int32_t Columns;
    int32_t Rows;
    int32_t Reserved2;
    int32_t Reserved3; // 1
    int32_t Reserved4[2];
    int32_t SpeedFlag;
    int32_t Reserved5; // -1
    int32_t Tautness1;
    int32_t Tautness2;
    int32_t Reserved6[3]; // 1, 1, 1
    int32_t Left, Top, Right, Bottom; // node coordinates of the area's corners
    int32_t Reserved7[2];
    int32_t NullValue;
    int32_t ExtrapolateFlag;
    int32_t Reserved8;
    char InputLineFormat[32];
    char InputPointFormat[32];
    char OutputValueFormat[32];
    char OutputValueGradientFormat[48];
    char OutputPointFormat[48];
    char OutputPointGradientFormat[48];
};
static_assert(sizeof(TInterOptions) == 856, "the options record has a fixed layout");

// Size of the error buffer the caller hands in (120 characters and the terminator).
inline constexpr int kInterErrorSize = 121;

using TInterContinue = int32_t (*)();

void InitGrid();
void SetOptions(const TInterOptions* options);
void ReadData(char* error);
void Gradient(char* error, TInterContinue keepGoing);
void MakeGrid(char* error, TInterContinue keepGoing);
void DoneGrid();

// Largest grid one run makes (nodes), and most points it reads.
inline constexpr int64_t kInterMaxNodes = int64_t(1) << 26;
inline constexpr int64_t kInterMaxPoints = int64_t(1) << 24;
