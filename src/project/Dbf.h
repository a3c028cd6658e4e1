#pragma once
// Empty dBase III tables with given fields (the project's side tables).
#include <cstdint>
#include <string>
#include <vector>

enum class TFieldType { String, SmallInt, Integer, Boolean, Float, Date, Memo, LargeInt };

struct TFieldDef {
    std::string Name; // at most 10 characters reach the file
    TFieldType Type = TFieldType::Integer;
    int Size = 0; // strings only
    bool Required = false;
};

// The file image of an empty table created on the given date.
std::vector<uint8_t> BuildEmptyDbf(const std::vector<TFieldDef>& fields, int year, int month, int day);

class TDbf {
public:
    std::string FileName;
    std::vector<TFieldDef> FieldDefs;
    void AddFieldDef(const std::string& name, TFieldType type, int size, bool required)
    {
        FieldDefs.push_back({name, type, size, required});
    }
    // Writes the empty table dated from the local clock, replacing any file of that name.
    bool CreateTable(std::string* error = nullptr) const;
};
