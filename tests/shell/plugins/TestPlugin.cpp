// A plug-in library for the host's tests, built in several variants by compile definitions:
// PLUGIN_NAME, PLUGIN_VERSION, PLUGIN_MARK (the height its run writes), and NO_DESCRIBE, NO_INIT,
// NO_RUN to leave an entry point out. Init records the grid size it was told in cell (1, 0); each
// run adds PLUGIN_MARK to cell (0, 0); a name of "Thrower" throws from its run.
#include "shell/PluginServices.h"

#include <cstring>
#include <stdexcept>

namespace {
PluginGetHeightFn getHeight = nullptr;
PluginSetHeightFn setHeight = nullptr;
void* data = nullptr;
} // namespace

extern "C" {
#ifndef NO_DESCRIBE
__attribute__((visibility("default"))) void DescribePlugin(char* name, int32_t* version)
{
    std::strncpy(name, PLUGIN_NAME, 79);
    *version = PLUGIN_VERSION;
}
#endif

#ifndef NO_INIT
__attribute__((visibility("default"))) void InitPlugin(const PluginHostTable* services)
{
    // The table is valid during this call only: keep what is needed.
    getHeight = reinterpret_cast<PluginGetHeightFn>(services->Entries[psGetHeight].Code);
    setHeight = reinterpret_cast<PluginSetHeightFn>(services->Entries[psSetHeight].Code);
    data = services->Entries[psGetHeight].Data;
    PluginProjectInfo info{};
    reinterpret_cast<PluginGetProjectInfoFn>(services->Entries[psGetProjectInfo].Code)(services->Entries[0].Data, &info);
    setHeight(data, 1, 0, info.Columns * 1000.0 + info.Rows);
}
#endif

#ifndef NO_RUN
__attribute__((visibility("default"))) void RunPlugin()
{
    if (std::strcmp(PLUGIN_NAME, "Thrower") == 0)
        throw std::runtime_error("plug-in failure");
    if (setHeight)
        setHeight(data, 0, 0, getHeight(data, 0, 0) + PLUGIN_MARK);
}
#endif
}
