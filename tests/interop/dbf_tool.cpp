// Writes the dBase tables the interop check reads back: the two side tables of a project file,
// and one table with a field of every type.
#include "project/Dbf.h"
#include "project/projectio.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dbf_tool PROJECT.qx2 ALLTYPES.dbf\n");
        return 2;
    }
    if (!CreateSideTables(argv[1]))
        return 1;
    TDbf table;
    table.FileName = argv[2];
    table.AddFieldDef("Title", TFieldType::String, 20, true);
    table.AddFieldDef("Small", TFieldType::SmallInt, 0, false);
    table.AddFieldDef("Whole", TFieldType::Integer, 0, false);
    table.AddFieldDef("Flag", TFieldType::Boolean, 0, false);
    table.AddFieldDef("Real", TFieldType::Float, 0, false);
    table.AddFieldDef("Day", TFieldType::Date, 0, false);
    table.AddFieldDef("Notes", TFieldType::Memo, 0, false);
    table.AddFieldDef("Big", TFieldType::LargeInt, 0, false);
    table.AddFieldDef("AVeryLongFieldName", TFieldType::Integer, 0, false);
    std::string error;
    if (!table.CreateTable(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
