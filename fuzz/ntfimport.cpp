// Fuzz target: the NTF Panorama importer (first byte: options).
#include "FuzzImport.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    TImportOptions o = fuzzimport::Options(data, size);
    // A full 401 x 401 tile per input is slow; coarse samples keep auto-sized grids small.
    if (o.Sample < 3)
        o.AutoSize = false;
    TImportResult r = ImportNTFData(fuzzimport::View(data, size), o, fuzzimport::Current());
    (void)r;
    return 0;
}
