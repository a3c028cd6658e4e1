// Fuzz target: the plain PGM importer.
#include "FuzzImport.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    TImportResult r = ImportPGMData(fuzzimport::View(data, size), TPGMImportOptions());
    (void)r;
    return 0;
}
