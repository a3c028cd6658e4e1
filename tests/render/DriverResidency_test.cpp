// Keeps Mesa's driver mapped until the process ends. Qt closes the X display (and Mesa unloads its
// driver) before the leak checker runs, which would leave the driver's own allocations with
// unreadable stacks that no suppression can name.
#include <dlfcn.h>

#include <gtest/gtest.h>

namespace {

class DriverResidency : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char* path : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
            if (dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
                break;
    }
};

[[maybe_unused]] ::testing::Environment* const residency = ::testing::AddGlobalTestEnvironment(new DriverResidency);

} // namespace
