#include "editors/EditorPattern.h"

#include "controls/FloatEdit.h"
#include "project/Messages.h"

#include <algorithm>
#include <cmath>

namespace {

uint32_t Channel(float component)
{
    const double v = std::trunc(double(component) * 255.0);
    if (std::isnan(v))
        return 0;
    return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0));
}

} // namespace

uint32_t FaceColorRef(const TFloatColor& c) { return Channel(c.R) | (Channel(c.G) << 8) | (Channel(c.B) << 16); }

QColor ColorRefToQColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

uint32_t QColorToColorRef(const QColor& c)
{
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

bool ChooseEditorColour(uint32_t start, uint32_t& chosen)
{
    int colour = static_cast<int>(start & 0xFFFFFF);
    if (!Prompt().ChooseColor(colour))
        return false;
    chosen = static_cast<uint32_t>(colour) & 0xFFFFFF;
    return true;
}

int ClampedRound(double value, int lo, int hi)
{
    if (std::isnan(value))
        return lo;
    const double r = std::nearbyint(std::clamp(value, double(lo), double(hi)));
    return static_cast<int>(r);
}

void ShowFloatValue(TFloatEdit& edit, double value)
{
    if (std::isnan(value))
        value = 0.0;
    value = std::clamp(value, edit.Min(), edit.Max());
    edit.setText(FloatEditFormat(value, edit.Digits(), edit.DecimalSeparator()));
}

TBusyCursor::TBusyCursor() { StatusSink().SetBusyCursor(true); }
TBusyCursor::~TBusyCursor() { StatusSink().SetBusyCursor(false); }

void ReportHandlerError(const char* what) { ShowError(what ? what : "Unexpected error"); }
