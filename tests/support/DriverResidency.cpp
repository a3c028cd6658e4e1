// Keeps Mesa's driver mapped until the process ends. Qt closes the X display (and Mesa unloads its
// driver) before the leak checker runs, which would leave the driver's own allocations with
// unreadable stacks that no suppression can name. Compiled into every program that draws with real
// OpenGL under the leak checker: the GL test programs and the benchmarks run as tests.
#include <dlfcn.h>

#include <cstdlib>
#include <initializer_list>

namespace {

[[maybe_unused]] const bool driverResident = [] {
    // One rendering thread per process: the tests run many processes at once on the same cores,
    // and the pictures do not depend on the rasteriser's thread count.
    setenv("LP_NUM_THREADS", "0", 0);
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
        if (dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
            return true;
    return false;
}();

} // namespace
