#include "heightgrid/MapParameters.h"

#include "project/TypeDefinition.h"

#include <cstdio>

namespace {
std::string oneDecimal(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}
} // namespace

std::string DisplayMapSize(double spacingX, double spacingY, int32_t columns, int32_t rows)
{
    return oneDecimal((columns - 1) * spacingX / 1000) + "km x " + oneDecimal((rows - 1) * spacingY / 1000) + "km";
}

void CheckMapPoints(int32_t columns, int32_t rows)
{
    const int64_t n = int64_t(columns) * rows;
    if (n >= kMaxMapPoints)
        throw EInvalidData(kTooManyPoints);
    if (n < kMinMapPoints || columns < 1 || rows < 1)
        throw EInvalidData(kTooFewPoints);
}

TGeoreference DefaultGeoreference(double spacingX, double spacingY, int32_t columns, int32_t rows)
{
    TGeoreference g;
    g.Right = (columns - 1) * spacingX;
    g.Bottom = (rows - 1) * spacingY;
    return g;
}
