// Project files from untrusted bytes: reading must either refuse the file or give a project that
// writes and reads back to the same file.
#include "project/MathUtils.h"
#include "project/projectio.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        InitRandomTables();
        return true;
    }();
    (void)ready;
    TProject project;
    try {
        ReadProject(data, size, project);
    } catch (const EInvalidData&) {
        return 0;
    }
    std::vector<uint8_t> first;
    WriteProject(project, first);
    TProject again;
    ReadProject(first.data(), first.size(), again); // a written file must always be readable
    std::vector<uint8_t> second;
    WriteProject(again, second);
    if (second != first)
        std::abort();
    return 0;
}
