#include "heightgrid/data/HeightExport.h"

#include "heightgrid/data/NumberText.h"
#include "platform/vpdem32.h"
#include "project/Project.h"
#include "project/SafeFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Columns and rows that really exist (the descriptor and the cell array agree on these).
int Columns(const TGridBlock& g) { return std::max(0, std::min<int>(g.SizeX, g.Cells.Columns())); }
int Rows(const TGridBlock& g) { return std::max(0, std::min<int>(g.SizeY, g.Cells.Rows())); }
double HeightAt(const TGridBlock& g, int x, int y) { return g.Cells[x][y].Height; }
bool IsNull(double h) { return !(h > NullHeight); }

// Buffered output into a temporary file that replaces the target on Commit.
class TOutFile {
public:
    explicit TOutFile(const std::string& name)
    {
        std::string error;
        ok_ = file_.Open(name, error);
        buffer_.reserve(kChunk + 4096);
    }
    bool Opened() const { return ok_; }
    std::string& Buffer() { return buffer_; }
    void Put(std::string_view s)
    {
        buffer_.append(s);
        MaybeFlush();
    }
    void Line(std::string_view s)
    {
        buffer_.append(s);
        buffer_.append("\r\n");
        MaybeFlush();
    }
    void MaybeFlush()
    {
        if (buffer_.size() >= kChunk)
            Flush();
    }
    void Flush()
    {
        std::string error;
        if (ok_ && !buffer_.empty())
            ok_ = file_.Write(buffer_.data(), buffer_.size(), error);
        buffer_.clear();
    }
    // False (and the target untouched, unless only the final folder flush failed) on any error.
    bool Commit()
    {
        Flush();
        std::string error;
        return ok_ && file_.Commit(error);
    }

private:
    static constexpr size_t kChunk = 1 << 20;
    TAtomicFile file_;
    std::string buffer_;
    bool ok_ = false;
};

TExportResult Finish(TOutFile& out, const char* message = kMsgErrorWriting)
{
    TExportResult r;
    r.Ok = out.Commit();
    if (!r.Ok)
        r.Error = message;
    return r;
}

TExportResult Failed(const char* message, TMsgIcon icon = TMsgIcon::Error)
{
    TExportResult r;
    r.Error = message;
    r.ErrorIcon = icon;
    return r;
}

void WriteTextBody(const TGridBlock& grid, std::string& out, TOutFile* file)
{
    const int cols = Columns(grid), rows = Rows(grid);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            AppendDefaultReal(out, HeightAt(grid, x, y));
            out.push_back(' ');
        }
        if (file)
            file->MaybeFlush();
    }
}

} // namespace

std::string TextExportBytes(const TGridBlock& grid)
{
    std::string s;
    WriteTextBody(grid, s, nullptr);
    return s;
}

TExportResult ExportText(const TGridBlock& grid, const std::string& fileName)
{
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    WriteTextBody(grid, out.Buffer(), &out);
    return Finish(out);
}

TExportResult ExportXYZ(const TGridBlock& grid, const std::string& fileName)
{
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    const int cols = Columns(grid), rows = Rows(grid);
    std::string& b = out.Buffer();
    b += "m,0,0,";
    AppendReal(b, (grid.SizeX - 1) * grid.SpacingX, 12, 6);
    b += ',';
    AppendReal(b, (grid.SizeY - 1) * grid.SpacingY, 12, 6);
    b += ',';
    AppendReal(b, grid.SpacingX, 12, 6);
    b += ',';
    AppendReal(b, grid.SpacingY, 12, 6);
    b += ",noattr\r\nExported from Quarlex2\r\n0\r\n";
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const double h = HeightAt(grid, x, y);
            // Null cells carry no point; negative heights are real land below datum.
            if (IsNull(h))
                continue;
            AppendReal(b, x * grid.SpacingX, 12, 6);
            b += ',';
            AppendReal(b, (grid.SizeY - 1 - y) * grid.SpacingY, 12, 6);
            b += ',';
            AppendReal(b, h, 12, 6);
            b += "\r\n";
        }
        out.MaybeFlush();
    }
    return Finish(out);
}

TExportResult ExportPGM(const TGridBlock& grid, const std::string& fileName)
{
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    const int cols = Columns(grid), rows = Rows(grid);
    // A valid PGM has 1 <= maxval <= 65535 and every sample within 0..maxval; nulls become 0.
    const int32_t maxval = RoundClamped(grid.MaxHeight - grid.MinHeight + 1000.0, 1, 65535);
    std::string& b = out.Buffer();
    b += "P2\r\n";
    AppendInt(b, grid.SizeX);
    b += ' ';
    AppendInt(b, grid.SizeY);
    b += "\r\n";
    AppendInt(b, maxval);
    b += "\r\n";
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const double h = HeightAt(grid, x, y);
            AppendInt(b, IsNull(h) ? 0 : RoundClamped(h - grid.MinHeight, 0, maxval));
            b += ' ';
        }
        out.MaybeFlush();
    }
    b += " \r\n";
    return Finish(out);
}

TExportResult ExportBMP(const TGridBlock& grid, const std::string& fileName)
{
    const int cols = Columns(grid), rows = Rows(grid);
    QImage image(cols, rows, QImage::Format_RGB888);
    if (image.isNull())
        return Failed(kMsgErrorWriting);
    const double range = grid.MaxHeight - grid.MinHeight;
    for (int y = 0; y < rows; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < cols; ++x) {
            const double h = HeightAt(grid, x, y);
            int g = 255;
            if (!IsNull(h)) {
                // A flat range maps its one height to black rather than dividing by zero.
                const double t = range > 0 ? (h - grid.MinHeight) / range * 255.0 : (h == grid.MinHeight ? 0.0 : -1.0);
                // Trunc: a height just below MinHeight (t above -1) is still black.
                if (t > -1.0 && t < 256.0)
                    g = int(t);
            }
            line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = uchar(g);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "BMP"))
        return Failed(kMsgErrorWriting);
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    out.Put(std::string_view(bytes.constData(), size_t(bytes.size())));
    return Finish(out);
}

TExportResult ExportDXF(const TGridBlock& grid, const std::string& fileName)
{
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    const int cols = Columns(grid), rows = Rows(grid);
    const double w = grid.SizeX / 2.0 * grid.SpacingX;
    const double h = grid.SizeY / 2.0 * grid.SpacingY;
    std::string& b = out.Buffer();
    b += " 0\r\nSECTION\r\n 2\r\nENTITIES\r\n";
    b += " 0\r\nPOLYLINE\r\n 8\r\n0\r\n 66\r\n     1\r\n 10\r\n0\r\n 20\r\n0\r\n 30\r\n0\r\n 70\r\n     16\r\n";
    // The mesh's M count (71) is the outer loop of the vertices below, x; N (72) the inner, y.
    b += " 71\r\n    ";
    AppendInt(b, cols);
    b += "\r\n 72\r\n    ";
    AppendInt(b, rows);
    b += "\r\n";
    for (int x = 0; x < cols; ++x) {
        for (int y = 0; y < rows; ++y) {
            b += " 0\r\nVERTEX\r\n 8\r\n0\r\n 10\r\n";
            AppendReal(b, x * grid.SpacingX - w, 8, 2);
            b += "\r\n 20\r\n";
            AppendReal(b, (grid.SizeY - y) * grid.SpacingY - h, 8, 2);
            b += "\r\n 30\r\n";
            AppendReal(b, HeightAt(grid, x, y), 8, 2);
            b += "\r\n 70\r\n    64\r\n";
        }
        out.MaybeFlush();
    }
    b += " 0\r\nSEQEND\r\n 8\r\n0\r\n 0\r\nENDSEC\r\n 0\r\nEOF\r\n";
    return Finish(out);
}

namespace {

const char* const kNTFHeader[] = {
    "01ORDNANCE SURVEY                                       50200V \\0%",
    "02QUARLEX2            GENERATED           19960122                    000000001%",
    "00                    00000000                    00000000000%",
    "03GRID_ID   010I10  GRID IDENTITY\\          \\          \\          \\  0%",
    "03N_COLUMNS 004I4   NUMBER OF COLUMNS IN DTM\\    \\    \\    \\  0%",
    "03N_ROWS    004I4   NUMBER OF ROWS IN DTM\\    \\    \\    \\  0%",
    "03N_PLANES  004I4   NUMBER OF PLANES IN DTM\\    \\    \\    \\  0%",
    "03COL_START 004I4   FIRST COLUMN IN GRIDREC\\    \\    \\    \\  0%",
    "03COL_END   004I4   LAST COLUMN IN GRIDREC\\    \\    \\    \\  0%",
    "03ROW_START 004I4   FIRST ROW IN GRIDREC\\    \\    \\    \\  0%",
    "03ROW_END   004I4   LAST ROW IN GRIDREC\\    \\    \\    \\  0%",
    "03PLA_START 004I4   FIRST PLANE IN GRIDREC\\    \\    \\    \\  0%",
    "03PLA_END   004I4   LAST PLANE IN GRIDREC\\    \\    \\    \\  0%",
    "03COL_INV   001I1   COLUMN INVERSION (0 = FALSE)\\ \\ \\ \\010%",
    "03ROW_INV   001I1   ROW INVERSION (0 = FALSE)\\ \\ \\ \\010%",
    "03PLA_INV   001I1   PLANE INVERSION (0 = FALSE)\\ \\ \\ \\010%",
    "03ORDER     001I1   DATA ORDER (1 = COL,ROW,PLA)\\ \\ \\ \\170%",
    "03INTERPRET 001I1   GRID DATA TYPE (1 = NUMERIC)\\ \\ \\ \\120%",
    "03V_OFFSET  010I10  GRID VALUE OFFSET\\          \\          \\          \\  0%",
    "03V_SCALE   010R10,3GRID VAL SCALE FACTOR\\0000001000\\          \\          \\  0%",
    "03N_GRIDVAL 008I8   NUMBER OF VALUES IN GRIDREC\\        \\        \\        \\  0%",
    "03GRIDVAL   004I4   HEIGHT VALUE IN METRES\\    \\-100\\4000\\  0%",
    "03SURVEY    007A7   METHOD AND DATE OF SURVEY\\       \\       \\       \\  0%",
    "03CHANGE    007A7   TYPE AND DATE OF CHANGE\\       \\       \\       \\  0%",
    "03X_COORD   010I10  X CORNER VALUE\\          \\          \\          \\  0%",
    "03Y_COORD   010I10  Y CORNER VALUE\\          \\          \\          \\  0%",
    "03Z_COORD   006I6   Z CORNER VALUE\\      \\      \\      \\  0%",
    "0450GRIDHREC  29REC_DESCR cGRID_ID   cN_COLUMNS cN_ROWS    cN_PLANES  c1%",
    "00X_COORD   cY_COORD   cZ_COORD   oX_COORD   cY_COORD   cZ_COORD   o1%",
    "00X_COORD   cY_COORD   cZ_COORD   oX_COORD   cY_COORD   cZ_COORD   o1%",
    "00X_COORD   cY_COORD   cZ_COORD   oX_COORD   cY_COORD   cZ_COORD   o1%",
    "00X_COORD   cY_COORD   cZ_COORD   oX_COORD   cY_COORD   cZ_COORD   o0%",
    "0451GRIDREC   19REC_DESCR cGRID_ID   cSURVEY    cCHANGE    oCOL_START c1%",
    "00COL_END   cROW_START cROW_END   cPLA_START cPLA_END   cCOL_INV   c1%",
    "00ROW_INV   cPLA_INV   cORDER     cINTERPRET cV_OFFSET  oV_SCALE   o1%",
    "00N_GRIDVAL c(GRIDVAL   c)0%",
    "07          21000002000000100000000200000010000000000000000000000000000000001%",
    "00000000000000000000000000020000000002000000000005001996012219960122199601220%",
    "50000000000004010401000100000000000000000000000000000000000000000000000000001%",
    // The grid header record continues over these three; only the last ends it, so none of
    // them is left as a continuation without a record.
    "0000000000000000000000000000000000000000000000000000001%",
    "0000000000000000000000000000000000000000000000000000001%",
    "0000000000000000000000000000000000000000000000000000000%",
};

constexpr int kNTFSize = 401;

// Heights that a four-character field can hold; nulls are written as the lowest.
int NTFValue(double h)
{
    if (IsNull(h))
        return -999;
    return RoundClamped(h, -999, 9999);
}

} // namespace

TExportResult ExportNTF(const TGridBlock& grid, const std::string& fileName)
{
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting);
    const int cols = Columns(grid), rows = Rows(grid);
    for (const char* line : kNTFHeader)
        out.Line(line);
    std::string& b = out.Buffer();
    for (int c = 0; c < kNTFSize; ++c) {
        b += "51000000000000000000000000";
        AppendNTFField(b, c);
        AppendNTFField(b, c);
        b += "000104010001000100011000000000000000010001%\r\n";
        b += "00000004011%\r\n";
        int inRecord = 0;
        for (int r = kNTFSize - 1; r >= 0; --r) {
            if (inRecord == 0)
                b += "00";
            const double h = (c < cols && r < rows) ? HeightAt(grid, c, r) : 0.0;
            AppendNTFField(b, NTFValue(h));
            if (++inRecord == 19 && r > 0) {
                b += "1%\r\n";
                inRecord = 0;
            }
        }
        b += "0%\r\n";
        out.MaybeFlush();
    }
    out.Line("99End Of Transfer Set0%");
    return Finish(out);
}

namespace {

void Put16(std::string& b, int v)
{
    const auto u = static_cast<uint16_t>(v);
    b.push_back(char(u & 0xFF));
    b.push_back(char(u >> 8));
}

void PutFloat(std::string& b, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    for (int k = 0; k < 4; ++k)
        b.push_back(char((u >> (8 * k)) & 0xFF));
}

} // namespace

TExportResult ExportTerragen(const TGridBlock& grid, const std::string& fileName)
{
    const int cols = Columns(grid), rows = Rows(grid);
    if (cols < 2 || rows < 2 || cols > 65535 || rows > 65535)
        return Failed(kMsgErrorWriting, TMsgIcon::None);
    TOutFile out(fileName);
    if (!out.Opened())
        return Failed(kMsgErrorWriting, TMsgIcon::None);

    // Metres = scale x (BaseHeight + raw x HeightScale / 65536). One SCAL value for all three axes
    // (the grid spacing), since some readers take a single scale for ground and heights alike.
    const double zUnit = grid.SpacingX > 0 && std::isfinite(grid.SpacingX) ? grid.SpacingX : 30.0;
    double lo = 0, hi = 0;
    bool any = false;
    for (int x = 0; x < cols; ++x)
        for (int y = 0; y < rows; ++y) {
            const double h = HeightAt(grid, x, y);
            if (IsNull(h) || !std::isfinite(h))
                continue;
            if (!any || h < lo)
                lo = h;
            if (!any || h > hi)
                hi = h;
            any = true;
        }
    lo = std::clamp(lo / zUnit, -32767.0, 32767.0);
    hi = std::clamp(hi / zUnit, -32767.0, 32767.0);
    const int base = RoundClamped((lo + hi) / 2.0, -32767, 32767);
    const double half = std::max(hi - base, base - lo);
    // Smallest scale that keeps every raw value within the i16 range (a flat grid gets 1).
    const int heightScale = std::clamp(int(std::ceil(half * 65536.0 / 32767.0)), 1, 32767);

    std::string& b = out.Buffer();
    b += "TERRAGENTERRAIN ";
    b += "SIZE";
    Put16(b, std::min(cols, rows) - 1);
    b += "  ";
    if (cols != rows) {
        b += "XPTS";
        Put16(b, cols);
        b += "  ";
        b += "YPTS";
        Put16(b, rows);
        b += "  ";
    }
    b += "SCAL";
    PutFloat(b, float(zUnit));
    PutFloat(b, float(zUnit));
    PutFloat(b, float(zUnit));
    b += "ALTW";
    Put16(b, heightScale);
    Put16(b, base);
    for (int y = rows - 1; y >= 0; --y) {
        for (int x = 0; x < cols; ++x) {
            double h = HeightAt(grid, x, y);
            double u = (IsNull(h) || !std::isfinite(h)) ? lo : h / zUnit;
            Put16(b, RoundClamped((u - base) * 65536.0 / heightScale, -32768, 32767));
        }
        out.MaybeFlush();
    }
    if ((int64_t(cols) * rows) % 2 != 0)
        Put16(b, 0);
    b += "EOF ";
    TExportResult r = Finish(out);
    if (!r.Ok)
        r.ErrorIcon = TMsgIcon::None;
    return r;
}

namespace {

const uint32_t kVistaColours[77] = {
    0x000000, 0xB0B0B0, 0x202020, 0xA0A090, 0xA09070, 0x808060, 0x607040, 0x605040,
    0x505040, 0x507040, 0x304020, 0x304010, 0x002000, 0x606090, 0x606070, 0x102030,
    0x000000, 0xF7F7F7, 0x225300, 0x006300, 0x315221, 0xA57342, 0xA5A5A5, 0xA0A0A0,
    0xC0C0C0, 0x909090, 0x909090, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000,
    0x305020, 0x4060A0, 0x205020, 0x105030, 0x305010, 0x305030, 0x506038, 0x707040,
    0x807050, 0x80745C, 0x807868, 0x807C74, 0x808080, 0x808080, 0x505050, 0x565656,
    0x5B5B5B, 0x606060, 0x504C48, 0x204060, 0x445E78, 0x687C90, 0x8C9AA8, 0xB0B8C0,
    0x305020, 0x206030, 0x405F10, 0x406030, 0x305020, 0x206030, 0x405F10, 0x406030,
    0x503820, 0x807060, 0x504030, 0x807870, 0x808080, 0x808080, 0x808080, 0x808080,
    0x303030, 0x303030, 0x303030, 0x303030, 0xC0C0C0,
};

} // namespace

TExportResult ExportVistaDEM(const TGridBlock& grid, const std::string& fileName)
{
    TExportResult result;
    if (grid.SpacingX != 30.0 || grid.SpacingY != 30.0)
        result.Warning = kMsgNotVistaCompatible;
    const int cols = Columns(grid), rows = Rows(grid);
    constexpr int N = vpdem::kDEMSize;

    // Every value is checked before anything is written.
    std::vector<int16_t> values(size_t(N) * N, 0);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (x >= cols || y >= rows)
                continue;
            const auto v = RoundToInt(HeightAt(grid, x, y));
            if (!v || *v < -32768 || *v > 32767) {
                result.Error = "Height out of the Vistapro range (-32768 to 32767) at column " + std::to_string(x) +
                               ", row " + std::to_string(y);
                return result;
            }
            values[size_t(y) * N + x] = int16_t(*v);
        }

    TOutFile out(fileName);
    if (!out.Opened()) {
        result.Error = kMsgErrorSavingDem;
        result.ErrorIcon = TMsgIcon::None;
        return result;
    }
    std::string header(vpdem::kHeaderBytes, '\0');
    auto text = [&](size_t at, const char* s) { std::memcpy(&header[at], s, std::strlen(s)); };
    text(0, "Vista DEM File");
    text(32, "Generated by Quarlex2");
    text(64, "QuarlexII landscape designer");
    header[vpdem::kCompressionFlagOffset + 3] = 1; // 16777216 as stored: bytes 0, 0, 0, 1
    for (int k = 0; k < 77; ++k) {
        header[size_t(1024 + 4 * k + 1)] = char((kVistaColours[k] >> 16) & 0xFF);
        header[size_t(1024 + 4 * k + 2)] = char((kVistaColours[k] >> 8) & 0xFF);
        header[size_t(1024 + 4 * k + 3)] = char(kVistaColours[k] & 0xFF);
    }
    out.Put(header);

    std::vector<uint8_t> work(size_t(vpdem::PackedRowCapacity(N)));
    std::vector<uint8_t> row(size_t(vpdem::EncodedCapacity(int(work.size()))) + 2);
    // The file's first row is the southern edge, so the grid's bottom row goes first.
    for (int y = N - 1; y >= 0; --y) {
        const int n = vpdem::PackRow(N, work.data(), values.data() + size_t(y) * N);
        const int m = vpdem::EncodeRow(n, row.data() + 2, work.data());
        row[0] = uint8_t(m >> 8);
        row[1] = uint8_t(m & 0xFF);
        out.Put(std::string_view(reinterpret_cast<const char*>(row.data()), size_t(m) + 2));
    }
    TExportResult done = Finish(out, kMsgErrorSavingDem);
    if (!done.Ok)
        done.ErrorIcon = TMsgIcon::None;
    done.Warning = result.Warning;
    return done;
}

TExportResult ExportHeightData(TExportFormat format, const TGridBlock& grid, const std::string& fileName)
{
    THourglassScope hourglass;
    switch (format) {
    case TExportFormat::Text: return ExportText(grid, fileName);
    case TExportFormat::DXF: return ExportDXF(grid, fileName);
    case TExportFormat::BMP: return ExportBMP(grid, fileName);
    case TExportFormat::XYZ: return ExportXYZ(grid, fileName);
    case TExportFormat::PGM: return ExportPGM(grid, fileName);
    case TExportFormat::NTF: return ExportNTF(grid, fileName);
    case TExportFormat::Terragen: return ExportTerragen(grid, fileName);
    case TExportFormat::Vistapro: return ExportVistaDEM(grid, fileName);
    }
    return Failed(kMsgErrorWriting);
}

TExportResult ExportHeightData(TExportFormat format, const TProject& project, const std::string& fileName)
{
    return ExportHeightData(format, project.Grid, fileName);
}
