#include "project/Dbf.h"

#include "project/SafeFile.h"

#include <QDate>

#include <algorithm>
#include <cstring>

namespace {

struct TDescriptor {
    char letter;
    int length;
    int decimals;
};

TDescriptor DescriptorOf(const TFieldDef& f)
{
    switch (f.Type) {
    case TFieldType::String: return {'C', std::clamp(f.Size, 0, 255), 0};
    case TFieldType::SmallInt: return {'N', 6, 0};
    case TFieldType::Integer: return {'N', 11, 0};
    case TFieldType::Boolean: return {'L', 1, 0};
    case TFieldType::Float: return {'N', 20, 4};
    case TFieldType::Date: return {'D', 8, 0};
    case TFieldType::Memo: return {'M', 10, 0};
    case TFieldType::LargeInt: return {'N', 20, 0};
    }
    return {'C', 0, 0};
}

void PutU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

std::vector<uint8_t> BuildEmptyDbf(const std::vector<TFieldDef>& fields, int year, int month, int day)
{
    const size_t n = fields.size();
    std::vector<uint8_t> out(34 + 32 * n, 0);
    out[0] = 0x03;
    out[1] = static_cast<uint8_t>(year - 1900);
    out[2] = static_cast<uint8_t>(month);
    out[3] = static_cast<uint8_t>(day);
    // Bytes 4-7: no records.
    PutU16(&out[8], static_cast<uint32_t>(32 + 32 * n + 1));
    uint32_t recordLength = 1; // the deletion mark
    for (size_t i = 0; i < n; ++i) {
        const TDescriptor d = DescriptorOf(fields[i]);
        uint8_t* p = &out[32 + 32 * i];
        std::memcpy(p, fields[i].Name.data(), std::min<size_t>(fields[i].Name.size(), 10));
        p[11] = static_cast<uint8_t>(d.letter);
        p[16] = static_cast<uint8_t>(d.length);
        p[17] = static_cast<uint8_t>(d.decimals);
        recordLength += static_cast<uint32_t>(d.length);
    }
    PutU16(&out[10], recordLength);
    out[29] = 0x58;
    out[32 + 32 * n] = 0x0D;
    out[33 + 32 * n] = 0x1A;
    return out;
}

bool TDbf::CreateTable(std::string* error) const
{
    const QDate today = QDate::currentDate();
    const std::vector<uint8_t> bytes = BuildEmptyDbf(FieldDefs, today.year(), today.month(), today.day());
    std::string reason;
    if (!WriteFileAtomically(FileName, bytes.data(), bytes.size(), reason)) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}
