// Keeps Mesa's driver mapped until the process ends. Qt closes the X display (and Mesa unloads its
// driver) before the leak checker runs, which would leave the driver's own allocations with
// unreadable stacks that no suppression can name.
#include <dlfcn.h>

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

class DriverResidency : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The software rasteriser's worker threads make the leak checker's thread walk crash at
        // exit; one rendering thread gives the same pictures.
        setenv("LP_NUM_THREADS", "0", 0);
        for (const char* path : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
            if (dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
                break;
    }
};

[[maybe_unused]] ::testing::Environment* const residency = ::testing::AddGlobalTestEnvironment(new DriverResidency);

} // namespace
