// Fuzz target: the Vistapro DEM importer and codec.
#include "FuzzImport.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    TImportResult r = ImportVistaDEMData(fuzzimport::View(data, size));
    (void)r;
    return 0;
}
