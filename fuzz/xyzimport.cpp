// Fuzz target: the XYZ point file importer (first byte: options).
#include "FuzzImport.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    const TImportOptions o = fuzzimport::Options(data, size);
    TImportResult r = ImportXYZData(fuzzimport::View(data, size), o, fuzzimport::Current());
    (void)r;
    return 0;
}
