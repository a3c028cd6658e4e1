#pragma once
// What every environment editor window shares: each control writes its project field at once,
// RefreshFromProject fills the controls without feeding them back, no exception leaves a handler,
// and colours go through the prompt interface so tests can answer the colour dialog.
#include "project/TypeDefinition.h"
#include "shell/BaseUnit.h"

#include <QColor>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

class TFloatEdit;

// 24-bit colour value (red + 256 green + 65536 blue) of a project colour for a button face or a
// dialog's start. Unlike FloatToColorRef a channel outside 0..1 (or NaN) is limited instead of
// raising, so a damaged colour in a file never stops an editor from opening.
uint32_t FaceColorRef(const TFloatColor& colour);
QColor ColorRefToQColor(uint32_t colour);
uint32_t QColorToColorRef(const QColor& colour);

// The colour dialog, started on `start`; true with `chosen` set when the user pressed OK.
bool ChooseEditorColour(uint32_t start, uint32_t& chosen);

// Round into lo..hi (NaN gives lo): what a spin edit or track bar can show of a stored value.
int ClampedRound(double value, int lo, int hi);

// Shows a stored value in a number field, limited to the field's range, without the field's
// out-of-range message (the project keeps its value until the user edits the field).
void ShowFloatValue(TFloatEdit& edit, double value);

// Entries of a block list in use: its count, limited to the list.
template <class V>
int InUse(int32_t count, const V& items)
{
    return static_cast<int>(std::min<size_t>(size_t(std::max(count, 0)), items.size()));
}

// Puts `entry` right after the entries in use and makes the count include it. Entries past the
// count are not part of the project (the file leaves them out, and a new project's lists hold one
// unused entry), so they are dropped.
template <class V, class T>
int AppendInUse(int32_t& count, V& items, const T& entry)
{
    const int n = InUse(count, items);
    items.resize(size_t(n) + 1);
    items[size_t(n)] = entry;
    count = n + 1;
    return n;
}

// Set while RefreshFromProject fills the controls; handlers ignore changes meanwhile, and nothing
// done meanwhile marks the project modified.
class TRefreshScope {
public:
    explicit TRefreshScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TRefreshScope() { flag_ = old_; }
    TRefreshScope(const TRefreshScope&) = delete;
    TRefreshScope& operator=(const TRefreshScope&) = delete;

private:
    bool& flag_;
    bool old_;
    TProjectLoadScope loading_;
};

// Hourglass cursor through the status interface for the lifetime of the object.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Runs a control handler; a failure is shown as an error box instead of crossing the event loop.
void ReportHandlerError(const char* what);
template <class F>
void RunHandler(F&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ReportHandlerError(e.what());
    } catch (...) {
        ReportHandlerError("Unexpected error");
    }
}

// Runs a handler that changes the project (a button, a colour pick, a picker) as RunHandler does,
// then marks the project modified (nothing is marked while the controls are being filled).
template <class F>
void RunEdit(F&& handler)
{
    RunHandler(std::forward<F>(handler));
    ProjectChanged();
}
