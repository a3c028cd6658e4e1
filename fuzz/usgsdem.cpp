// Fuzz target: the USGS DEM reader (first byte: options).
#include "FuzzImport.h"
#include "heightgrid/data/usgsdem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzimport::Setup();
    const TImportOptions o = fuzzimport::Options(data, size);
    TImportResult r = ReadUSGSDEMData(fuzzimport::View(data, size), o, fuzzimport::Current());
    if (r.Ok && (r.Grid.Block.Cells.Columns() != r.Grid.SizeX || r.Grid.Block.Cells.Rows() != r.Grid.SizeY))
        __builtin_trap();
    return 0;
}
