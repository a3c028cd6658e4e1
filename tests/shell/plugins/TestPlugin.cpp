// A plug-in library for the host's tests, built in several variants by compile definitions:
// PLUGIN_NAME, PLUGIN_VERSION, PLUGIN_MARK (the height its run writes), and NO_DESCRIBE, NO_INIT,
// NO_RUN to leave an entry point out. Init records the grid size it was told in cell (1, 0); each
// run adds PLUGIN_MARK to cell (0, 0); a name of "Thrower" throws from its run.
//
// Every variant also exports Call... entry points that reach one host service each through the
// copy of the table the plug-in kept from its InitPlugin, as a real plug-in with its own window
// would: the tests look them up and drive the services across the library boundary.
#include "shell/PluginServices.h"

#include <cstring>
#include <stdexcept>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
PluginHostTable kept{}; // all zero until InitPlugin

// Calls service slot with its entry's data pointer first; a plug-in that was never initialised
// has nothing to call and gets the failure value.
template <class Fn, class R, class... Args>
R Call(int slot, R failure, Args... args)
{
    const PluginHostEntry& entry = kept.Entries[slot];
    if (!entry.Code)
        return failure;
    return reinterpret_cast<Fn>(entry.Code)(entry.Data, args...);
}
template <class Fn, class... Args>
void CallVoid(int slot, Args... args)
{
    const PluginHostEntry& entry = kept.Entries[slot];
    if (entry.Code)
        reinterpret_cast<Fn>(entry.Code)(entry.Data, args...);
}
} // namespace

#ifndef NO_DESCRIBE
PLUGIN_EXPORT void DescribePlugin(char* name, int32_t* version)
{
    std::strncpy(name, PLUGIN_NAME, 79);
    *version = PLUGIN_VERSION;
}
#endif

#ifndef NO_INIT
PLUGIN_EXPORT void InitPlugin(const PluginHostTable* services)
{
    kept = *services; // the table is valid during this call only
    PluginProjectInfo info{};
    CallVoid<PluginGetProjectInfoFn>(psGetProjectInfo, &info);
    CallVoid<PluginSetHeightFn>(psSetHeight, 1, 0, info.Columns * 1000.0 + info.Rows);
}
#endif

#ifndef NO_RUN
PLUGIN_EXPORT void RunPlugin()
{
    if (std::strcmp(PLUGIN_NAME, "Thrower") == 0)
        throw std::runtime_error("plug-in failure");
    const double now = Call<PluginGetHeightFn>(psGetHeight, 0.0, 0, 0);
    CallVoid<PluginSetHeightFn>(psSetHeight, 0, 0, now + PLUGIN_MARK);
}
#endif

PLUGIN_EXPORT void CallGetProjectInfo(PluginProjectInfo* info) { CallVoid<PluginGetProjectInfoFn>(psGetProjectInfo, info); }
PLUGIN_EXPORT void CallSetProjectInfo(PluginProjectInfo* info) { CallVoid<PluginGetProjectInfoFn>(psSetProjectInfo, info); }
PLUGIN_EXPORT void CallGetCamera(PluginCamera* camera) { CallVoid<PluginGetCameraFn>(psGetCamera, camera); }
PLUGIN_EXPORT void CallSetCamera(PluginCamera* camera) { CallVoid<PluginGetCameraFn>(psSetCamera, camera); }
PLUGIN_EXPORT uint8_t CallNewHeightGrid(int32_t columns, int32_t rows, float spacingX, float spacingY)
{
    return Call<PluginNewHeightGridFn>(psNewHeightGrid, uint8_t{0}, columns, rows, spacingX, spacingY);
}
PLUGIN_EXPORT uint8_t CallGetCellFlag(int32_t x, int32_t y)
{
    return Call<PluginGetCellFlagFn>(psGetCellFlag, uint8_t{0}, x, y);
}
PLUGIN_EXPORT void CallSetCellFlag(int32_t x, int32_t y, uint8_t flag) { CallVoid<PluginSetCellFlagFn>(psSetCellFlag, x, y, flag); }
PLUGIN_EXPORT uint8_t CallGetLineInfo(int32_t index, PluginPolyInfo* info)
{
    return Call<PluginGetPolyFn>(psGetLineInfo, uint8_t{0}, index, info);
}
PLUGIN_EXPORT uint8_t CallGetLinePoints(int32_t index, PluginPolyInfo* info)
{
    return Call<PluginGetPolyFn>(psGetLinePoints, uint8_t{0}, index, info);
}
PLUGIN_EXPORT uint8_t CallAddLine(PluginPolyInfo* info) { return Call<PluginAddPolyFn>(psAddLine, uint8_t{0}, info); }
