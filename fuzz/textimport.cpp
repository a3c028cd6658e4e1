// Fuzz target: the text height importer.
#include "FuzzImport.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    TImportResult r = ImportTextData(fuzzimport::View(data, size), fuzzimport::Current());
    (void)r;
    return 0;
}
