#include "project/Dbf.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

std::vector<TFieldDef> ObjectFields()
{
    return {{"Type", TFieldType::Integer, 0, true},
            {"ID", TFieldType::Integer, 0, true},
            {"TerrainLayerID", TFieldType::Integer, 0, true},
            {"Deleted", TFieldType::Boolean, 0, true}};
}

TEST(Dbf, EmptyTablesAreLaidOutToTheByte)
{
    std::vector<TFieldDef> coord = {{"Type", TFieldType::Integer, 0, true},
                                    {"ID", TFieldType::Integer, 0, true},
                                    {"Coordinate", TFieldType::Integer, 0, true}};
    for (const char* name : {"X", "Y", "Z", "Size", "Rotation"})
        coord.push_back({name, TFieldType::Float, 0, true});
    struct Case {
        const char* name;
        std::vector<TFieldDef> fields;
        size_t size;
        uint16_t headerLength, recordLength;
    } cases[] = {
        {"object table", ObjectFields(), 162, 161, 35},
        {"coordinate table", coord, 34 + 32 * 8, 289, 134},
        {"no fields", {}, 34, 33, 1},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> b = BuildEmptyDbf(c.fields, 2026, 12, 9);
        ASSERT_EQ(b.size(), c.size) << c.name;
        EXPECT_EQ(b[0], 0x03) << c.name;
        EXPECT_EQ(b[1], 126) << c.name;
        EXPECT_EQ(b[2], 12) << c.name;
        EXPECT_EQ(b[3], 9) << c.name;
        for (size_t i = 4; i < 8; ++i)
            EXPECT_EQ(b[i], 0) << c.name;
        EXPECT_EQ(U16(b, 8), c.headerLength) << c.name;
        EXPECT_EQ(U16(b, 10), c.recordLength) << c.name;
        EXPECT_EQ(b[29], 0x58) << c.name;
        EXPECT_EQ(b[c.size - 2], 0x0D) << c.name;
        EXPECT_EQ(b[c.size - 1], 0x1A) << c.name;
    }
}

TEST(Dbf, DescriptorsCutNamesAndCarryTypeLengthAndDecimals)
{
    const std::vector<TFieldDef> fields = {
        {"TerrainLayerID", TFieldType::Integer, 0, true}, {"Name", TFieldType::String, 40, false},
        {"Small", TFieldType::SmallInt, 0, false},        {"Real", TFieldType::Float, 0, false},
        {"Day", TFieldType::Date, 0, false},              {"Notes", TFieldType::Memo, 0, false},
        {"Big", TFieldType::LargeInt, 0, false},          {"Flag", TFieldType::Boolean, 0, false},
    };
    struct Expect {
        const char* name;
        char letter;
        int length, decimals;
    } expect[] = {{"TerrainLay", 'N', 11, 0}, {"Name", 'C', 40, 0}, {"Small", 'N', 6, 0}, {"Real", 'N', 20, 4},
                  {"Day", 'D', 8, 0},         {"Notes", 'M', 10, 0}, {"Big", 'N', 20, 0},  {"Flag", 'L', 1, 0}};
    const std::vector<uint8_t> b = BuildEmptyDbf(fields, 2000, 1, 31);
    for (size_t i = 0; i < fields.size(); ++i) {
        const uint8_t* d = &b[32 + 32 * i];
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d)), expect[i].name);
        EXPECT_EQ(d[10], 0) << i; // the 11th name byte stays a terminator
        EXPECT_EQ(d[11], expect[i].letter) << i;
        EXPECT_EQ(d[16], expect[i].length) << i;
        EXPECT_EQ(d[17], expect[i].decimals) << i;
        for (int k = 18; k < 32; ++k)
            EXPECT_EQ(d[k], 0) << i;
    }
}

TEST(Dbf, CreateTableReplacesAFileAndReportsFailure)
{
    qxtest::TempDir dir;
    TDbf table;
    table.FileName = dir.file("t.dbf");
    table.FieldDefs = ObjectFields();
    qxtest::WriteFileText(table.FileName, std::string(1000, 'x'));
    ASSERT_TRUE(table.CreateTable());
    EXPECT_EQ(qxtest::ReadFileBytes(table.FileName).size(), 162u);

    table.FileName = dir.file("missing/t.dbf");
    std::string error;
    EXPECT_FALSE(table.CreateTable(&error));
    EXPECT_FALSE(error.empty());
}

} // namespace
