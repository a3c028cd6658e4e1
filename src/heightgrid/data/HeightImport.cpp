#include "heightgrid/data/HeightImport.h"

#include "heightgrid/data/NumberText.h"
#include "platform/vpdem32.h"
#include "project/Messages.h"
#include "project/StrStuff.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <fstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <limits>

namespace {

constexpr int32_t kTrackStartMax = -2147483647;
constexpr int32_t kTrackStartMin = 2147483647;

// Hourglass for the duration of one import.
using TBusy = THourglassScope;

TImportResult Fail(std::string message)
{
    TImportResult r;
    r.Error = std::move(message);
    return r;
}

// Splits text into lines; a trailing carriage return is dropped.
class TLineReader {
public:
    explicit TLineReader(std::string_view data) : data_(data) {}
    bool Next(std::string_view& line)
    {
        if (pos_ >= data_.size())
            return false;
        size_t end = data_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = data_.size();
        line = data_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        return true;
    }
    bool AtEnd() const { return pos_ >= data_.size(); }

private:
    std::string_view data_;
    size_t pos_ = 0;
};

// White-space separated tokens.
class TTokenReader {
public:
    explicit TTokenReader(std::string_view data, bool comments = false) : data_(data), comments_(comments) {}
    bool Next(std::string_view& token)
    {
        for (;;) {
            while (pos_ < data_.size() && IsBlankChar(data_[pos_]))
                ++pos_;
            if (comments_ && pos_ < data_.size() && data_[pos_] == '#') {
                while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r')
                    ++pos_;
                continue;
            }
            break;
        }
        if (pos_ >= data_.size())
            return false;
        size_t start = pos_;
        while (pos_ < data_.size() && !IsBlankChar(data_[pos_]) && !(comments_ && data_[pos_] == '#'))
            ++pos_;
        token = data_.substr(start, pos_ - start);
        return true;
    }
    size_t Remaining() const { return data_.size() - std::min(pos_, data_.size()); }

private:
    std::string_view data_;
    size_t pos_ = 0;
    bool comments_;
};

struct TIntRange {
    int32_t Largest = kTrackStartMax, Smallest = kTrackStartMin;
    bool Any = false;
    void Add(int32_t v)
    {
        Any = true;
        Largest = std::max(Largest, v);
        Smallest = std::min(Smallest, v);
    }
};

// A field of an XYZ line: cut to 14 characters, then a real number.
std::optional<double> XYZField(std::string_view text)
{
    return ParseReal(text.substr(0, 14));
}

int32_t RoundForRange(double v)
{
    return RoundClamped(v, -2147483647, 2147483647);
}

} // namespace

bool ReadWholeFile(const std::string& fileName, std::string& data)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > std::streamoff(1) << 31)
        return false;
    in.seekg(0, std::ios::beg);
    data.resize(size_t(size));
    in.read(data.data(), size);
    return bool(in) || in.gcount() == size;
}

TFileView::~TFileView()
{
    if (map_)
        ::munmap(map_, mapped_);
}

bool TFileView::Open(const std::string& fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (regular && info.st_size > 0 && info.st_size <= off_t(1) << 31) {
        void* p = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            ::close(fd);
            map_ = p;
            mapped_ = size_t(info.st_size);
            view_ = std::string_view(static_cast<const char*>(p), mapped_);
            return true;
        }
    }
    ::close(fd);
    if (!ReadWholeFile(fileName, copy_))
        return false;
    view_ = copy_;
    return true;
}

TImportOptions DefaultImportOptions(TImportFormat format)
{
    TImportOptions o;
    o.Sample = 1;
    // The USGS importer offers loading into the current map first; the others a new map.
    o.AutoSize = format != TImportFormat::USGS;
    return o;
}

// ---- Text ------------------------------------------------------------------------------------

TImportResult ImportTextData(std::string_view data, const TGridBlock& current)
{
    TImportResult res;
    THeightImport& g = res.Grid;
    if (!StartLoadInto(g, current))
        return Fail(kMsgCreateMapFailed);
    g.FillHeights(NullHeight);
    TTokenReader tokens(data);
    std::string_view tok;
    double largest = kTrackStartMax, smallest = kTrackStartMin;
    bool any = false;
    const size_t total = size_t(g.SizeX) * size_t(g.SizeY);
    size_t k = 0;
    while (k < total && tokens.Next(tok)) {
        const auto v = ParseReal(tok, true);
        if (!v)
            return Fail(std::string(kMsgInvalidText) + ": \"" + std::string(tok.substr(0, 40)) + "\"");
        const double h = std::max(*v, NullHeight);
        const int32_t x = int32_t(k % size_t(g.SizeX));
        const int32_t y = int32_t(k / size_t(g.SizeX));
        g.At(x, y) = h;
        largest = std::max(largest, h);
        smallest = std::min(smallest, h);
        any = true;
        ++k;
    }
    if (any) {
        g.RangeSet = true;
        g.MaxHeight = largest;
        g.MinHeight = std::max(smallest, MinEditHeight);
    }
    res.Ok = true;
    return res;
}

TImportResult ImportText(const std::string& fileName, const TGridBlock& current)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportTextData(data, current);
}

// ---- XYZ -------------------------------------------------------------------------------------

namespace {

struct TStatusScope {
    TStatusScope(const char* operation, const char* step)
    {
        StatusSink().SetOperationText(operation);
        StatusSink().SetStepText(step);
        StatusSink().SetProgress(0);
    }
    ~TStatusScope()
    {
        StatusSink().SetProgress(0);
        StatusSink().SetOperationText("");
        StatusSink().SetStepText("");
    }
};

} // namespace

TImportResult ImportXYZData(std::string_view data, const TImportOptions& opt, const TGridBlock& current)
{
    TLineReader lines(data);
    std::string_view line;
    if (!lines.Next(line) || line.empty())
        return Fail(kMsgInvalidXYZ);
    const char unit = line[0];
    if (unit != 'M' && unit != 'm' && unit != 'I' && unit != 'i' && unit != 'U' && unit != 'u')
        return Fail(kMsgInvalidXYZ);
    // Six comma-separated reals from the third character on, then the attribute word.
    double head[6];
    std::string_view rest = line.size() > 2 ? line.substr(2) : std::string_view();
    for (double& field : head) {
        const size_t comma = rest.find(',');
        if (comma == std::string_view::npos)
            return Fail(kMsgInvalidXYZ);
        const auto v = XYZField(rest.substr(0, comma));
        if (!v)
            return Fail(kMsgInvalidXYZ);
        field = *v;
        rest = rest.substr(comma + 1);
    }
    const double x0 = head[0], y0 = head[1], x1 = head[2], y1 = head[3], dx = head[4], dy = head[5];
    if (dx == 0.0 || dy == 0.0)
        return Fail(kMsgInvalidXYZ);
    const int32_t s = std::clamp(opt.Sample, 1, kImportSampleMax);

    TImportResult res;
    THeightImport& g = res.Grid;
    if (opt.AutoSize) {
        const auto cols = RoundToInt((x1 - x0) / (s * dx) - opt.XOffset);
        const auto rows = RoundToInt((y1 - y0) / (s * dy) - opt.YOffset);
        if (!cols || !rows || !StartNewGrid(g, int64_t(*cols) + 1, int64_t(*rows) + 1, s * dx, s * dy))
            return Fail(kMsgInvalidMapSize);
        g.NewGridError = kMsgInvalidMapSize;
    } else if (!StartLoadInto(g, current)) {
        return Fail(kMsgInvalidMapSize);
    }

    // Line 2 is free text; line 3 the number of attribute lines that follow it.
    if (!lines.Next(line) || !lines.Next(line))
        return Fail(kMsgInvalidXYZ);
    const auto attributes = ParseInt(line);
    if (!attributes)
        return Fail(kMsgInvalidXYZ);
    for (int64_t k = 0; k < *attributes; ++k) {
        if (!lines.Next(line))
            return Fail(kMsgInvalidXYZ);
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos || !ParseInt(line.substr(0, std::min<size_t>(comma, 14))))
            return Fail(kMsgInvalidXYZ);
    }

    const double d = opt.UseNull ? NullHeight : opt.DefaultHeight;
    if (opt.Overwrite && !(g.MakeNewGrid && d == NullHeight)) // a new grid is null already
        g.FillHeights(d);

    TStatusScope status("Importing XYZ", "Initializing");
    double total = std::nearbyint(((x1 - x0) / dx) * ((y1 - y0) / dy));
    if (!(total >= 1.0))
        total = 1.0;
    const bool tenfold = unit == 'U' || unit == 'u';
    const double cellX = g.SpacingX / s, cellY = g.SpacingY / s;
    TIntRange range;
    int64_t count = 0;
    int lastPercent = -1;
    while (lines.Next(line)) {
        if (TrimBlanks(line).empty())
            continue;
        ++count;
        const int percent = int(std::min(100.0, double(count) * 100.0 / total));
        if (percent != lastPercent) {
            StatusSink().SetProgress(percent);
            lastPercent = percent;
        }
        // Words between commas; the first three are X, Y and Z.
        const auto words = SplitWords(std::string(line), ",");
        if (!words || words->size() < 3)
            return Fail(kMsgInvalidXYZ);
        const auto px = XYZField((*words)[0]), py = XYZField((*words)[1]), pz = XYZField((*words)[2]);
        if (!px || !py || !pz)
            return Fail(kMsgInvalidXYZ);
        double z = *pz;
        if (z == NullHeight)
            continue;
        if (tenfold)
            z *= 10.0;
        const auto cr = RoundToInt((*px - x0) / cellX);
        const auto rr = RoundToInt((*py - y0) / cellY);
        if (!cr || !rr)
            continue;
        int64_t c = int64_t(*cr) - opt.XOffset;
        int64_t r = int64_t(*rr) - opt.YOffset;
        if (c % s != 0 || r % s != 0)
            continue;
        c /= s;
        r /= s;
        const int64_t x = int64_t(opt.XOrigin) + c;
        const int64_t y = int64_t(g.SizeY) - 1 - r - opt.YOrigin;
        // A negative origin moves points past the grid's edges: those are dropped too.
        if (x < g.SizeX && y < int64_t(g.SizeY) - opt.YOrigin && x >= opt.XOrigin && x >= 0 && y >= 0 && y < g.SizeY) {
            g.At(int32_t(x), int32_t(y)) = z;
            range.Add(RoundForRange(z));
        }
    }
    if (range.Any) {
        g.RangeSet = true;
        g.MaxHeight = range.Largest == 0 ? 100 : range.Largest;
        g.MinHeight = range.Smallest;
    }
    res.Ok = true;
    return res;
}

TImportResult ImportXYZ(const std::string& fileName, const TImportOptions& options, const TGridBlock& current)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportXYZData(data, options, current);
}

// ---- PGM -------------------------------------------------------------------------------------

TImportResult ImportPGMData(std::string_view data, const TPGMImportOptions& opt)
{
    // Comments may stand anywhere between tokens; the header may share one line.
    TTokenReader tokens(data, true);
    std::string_view tok;
    if (!tokens.Next(tok) || tok != "P2")
        return Fail(kMsgInvalidMapSize);
    std::optional<int64_t> width, height, maxval;
    if (tokens.Next(tok))
        width = ParseInt(tok);
    if (width && tokens.Next(tok))
        height = ParseInt(tok);
    if (!width || !height)
        return Fail(kMsgInvalidMapSize);
    // Each sample takes at least two bytes (a digit and a separator), the last one at least one.
    if (*width < 1 || *height < 1 || *width > kMaxImportSide || *height > kMaxImportSide ||
        double(*width) * double(*height) > double(tokens.Remaining()) / 2.0 + 1.0)
        return Fail(kMsgInvalidMapSize);
    TImportResult res;
    THeightImport& g = res.Grid;
    if (!StartNewGrid(g, *width, *height, opt.XSpacing, opt.YSpacing))
        return Fail(kMsgInvalidMapSize);
    g.NewGridError = kMsgInvalidMapSize;
    if (tokens.Next(tok))
        maxval = ParseInt(tok);
    if (!maxval)
        return Fail(kMsgInvalidMapSize);
    TIntRange range;
    for (int32_t y = 0; y < g.SizeY; ++y)
        for (int32_t x = 0; x < g.SizeX; ++x) {
            if (!tokens.Next(tok))
                return Fail(kMsgInvalidMapSize);
            const auto v = ParseInt(tok);
            if (!v || *v > 2147483647 || *v < -2147483647)
                return Fail(kMsgInvalidMapSize);
            const int32_t h = int32_t(std::max<int64_t>(*v, -1000));
            g.At(x, y) = h;
            range.Add(h);
        }
    g.RangeSet = true;
    g.MaxHeight = range.Largest;
    g.MinHeight = std::max<double>(range.Smallest, MinEditHeight);
    res.Ok = true;
    return res;
}

TImportResult ImportPGM(const std::string& fileName, const TPGMImportOptions& options)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportPGMData(data, options);
}

// ---- BMP -------------------------------------------------------------------------------------

namespace {

bool DecodePicture(std::string_view data, QImage& picture)
{
    return data.size() <= size_t(std::numeric_limits<int>::max())
           && picture.loadFromData(reinterpret_cast<const uchar*>(data.data()), int(data.size()));
}

} // namespace

TImportResult ImportBMPData(std::string_view data, const TBMPImportOptions& opt)
{
    QImage picture;
    if (!DecodePicture(data, picture))
        return Fail(kMsgCannotRead);
    return ImportBMPPicture(picture, opt);
}

bool LoadBMPPicture(const std::string& fileName, QImage& picture)
{
    TBusy busy;
    std::string data;
    return ReadWholeFile(fileName, data) && DecodePicture(data, picture);
}

TImportResult ImportBMPPicture(const QImage& source, const TBMPImportOptions& opt)
{
    if (source.isNull())
        return Fail(kMsgCannotRead);
    QImage picture = source;
    TImportResult res;
    THeightImport& g = res.Grid;
    if (!StartNewGrid(g, picture.width(), picture.height(), opt.XSpacing, opt.YSpacing))
        return Fail(kMsgCreateMapFailed);
    g.NewGridError = kMsgCreateMapFailed;
    picture = picture.convertToFormat(QImage::Format_RGB32);
    if (picture.isNull())
        return Fail(kMsgCreateMapFailed);
    const double m = opt.MaxHeight;
    TIntRange range;
    for (int32_t y = 0; y < g.SizeY; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int32_t x = 0; x < g.SizeX; ++x) {
            const uint32_t r = uint32_t(qRed(line[x])), gr = uint32_t(qGreen(line[x])), b = uint32_t(qBlue(line[x]));
            uint32_t v = 0;
            switch (opt.Order) {
            case TChannelOrder::RGB: v = r << 16 | gr << 8 | b; break;
            case TChannelOrder::RBG: v = r << 16 | b << 8 | gr; break;
            case TChannelOrder::GBR: v = gr << 16 | b << 8 | r; break;
            case TChannelOrder::GRB: v = gr << 16 | r << 8 | b; break;
            case TChannelOrder::BRG: v = b << 16 | r << 8 | gr; break;
            case TChannelOrder::BGR: v = b << 16 | gr << 8 | r; break;
            case TChannelOrder::None: v = 0; break;
            }
            const int32_t h = opt.MaxHeight - RoundClamped(m * (double(v) / 16777215.0), -2147483647, 2147483647);
            g.At(x, y) = h;
            range.Add(h);
        }
    }
    g.RangeSet = true;
    g.MaxHeight = range.Largest;
    g.MinHeight = std::max<double>(range.Smallest, MinEditHeight);
    res.Ok = true;
    return res;
}

TImportResult ImportBMP(const std::string& fileName, const TBMPImportOptions& options)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportBMPData(data, options);
}

// ---- NTF Panorama ----------------------------------------------------------------------------

namespace {

constexpr int kNTFSize = 401;

// Field k (1-based) of an NTF record: four characters after the two-character descriptor.
std::optional<int64_t> NTFField(std::string_view record, int k)
{
    const size_t at = 2 + 4 * size_t(k - 1);
    if (record.size() < at + 4)
        return std::nullopt;
    return ParseInt(record.substr(at, 4));
}

} // namespace

TImportResult ImportNTFData(std::string_view data, const TImportOptions& opt, const TGridBlock& current)
{
    const int32_t s = std::clamp(opt.Sample, 1, kImportSampleMax);
    TImportResult res;
    THeightImport& g = res.Grid;
    if (opt.AutoSize) {
        const int32_t side = s == 1 ? kNTFSize : kNTFSize / s + 1;
        if (!StartNewGrid(g, side, side, s * 50.0, s * 50.0))
            return Fail(kMsgCreateMapFailed);
        g.NewGridError = kMsgCreateMapFailed;
    } else if (!StartLoadInto(g, current)) {
        return Fail(kMsgCreateMapFailed);
    }
    if (opt.Overwrite)
        g.FillHeights(opt.DefaultHeight);

    TLineReader lines(data);
    std::string_view rec;
    // A record is at most 81 characters of its line.
    auto next = [&](std::string_view& r) {
        if (!lines.Next(r))
            return false;
        r = r.substr(0, 81);
        return true;
    };
    bool found = false;
    while (next(rec))
        if (rec.substr(0, 2) == "51") {
            found = true;
            break;
        }
    if (!found)
        return Fail(std::string(kMsgInvalidNTF) + ": no grid records");

    TIntRange range;
    int32_t n = 1;
    bool ended = false;
    for (int32_t j = 1; j <= kNTFSize && !ended; ++j) {
        if (!next(rec))
            break; // the file ends: keep what was read
        int32_t i = 1, r = 1;
        for (int32_t record = 0; record < 22 && !ended; ++record) {
            if (!next(rec)) {
                ended = true;
                break;
            }
            const int fields = record < 21 ? 19 : 2;
            for (int k = 1; k <= fields; ++k) {
                if (opt.YOffset < i && opt.XOffset < j && (i - 1) % s == 0 && (j - 1) % s == 0 && n <= g.SizeX &&
                    r <= g.SizeY) {
                    const auto v = NTFField(rec, k);
                    if (!v || *v < -99999 || *v > 99999)
                        return Fail(std::string(kMsgInvalidNTF) + ": height field in profile " + std::to_string(j));
                    const int32_t h = *v < -1000 ? -1001 : int32_t(*v);
                    const int64_t x = int64_t(opt.XOrigin) + n - 1;
                    const int64_t y = int64_t(g.SizeY) - r - opt.YOrigin;
                    if (opt.XOrigin <= x && x < g.SizeX && x >= 0 && 0 <= y && y < int64_t(g.SizeY) - opt.YOrigin &&
                        y < g.SizeY) {
                        g.At(int32_t(x), int32_t(y)) = h;
                        range.Add(h);
                    }
                    ++r;
                }
                ++i;
            }
        }
        if (j % s == 0 && opt.XOffset < j)
            ++n;
        if (!ended && !next(rec))
            ended = true; // the next profile's header record
    }
    if (range.Any) {
        g.RangeSet = true;
        g.MaxHeight = range.Largest == 0 ? 100 : range.Largest;
        g.MinHeight = range.Smallest;
    }
    res.Ok = true;
    return res;
}

TImportResult ImportNTF(const std::string& fileName, const TImportOptions& options, const TGridBlock& current)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportNTFData(data, options, current);
}

// ---- Vistapro --------------------------------------------------------------------------------

TImportResult ImportVistaDEMData(std::string_view data)
{
    std::vector<uint8_t> bytes(data.begin(), data.end());
    std::vector<int16_t> values;
    std::string why;
    constexpr int N = vpdem::kDEMSize;
    if (!vpdem::DecodeDEM(bytes, N, N, values, why))
        return Fail(std::string(kMsgInvalidVista) + ": " + why);
    TImportResult res;
    THeightImport& g = res.Grid;
    if (!StartNewGrid(g, N, N, 30.0, 30.0))
        return Fail(kMsgInvalidMapSize);
    g.NewGridError = kMsgInvalidMapSize;
    TIntRange range;
    for (size_t k = 0; k < values.size(); ++k) {
        const int32_t v = values[k] < -1000 ? -1001 : values[k];
        // The file's first row is the grid's bottom row.
        g.At(int32_t(k % N), int32_t(N - 1 - int32_t(k / N))) = v;
        range.Add(v);
    }
    g.RangeSet = true;
    g.MaxHeight = range.Largest == 0 ? 100 : range.Largest;
    g.MinHeight = range.Smallest;
    res.Ok = true;
    return res;
}

TImportResult ImportVistaDEM(const std::string& fileName)
{
    TBusy busy;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        return Fail(kMsgCannotRead);
    return ImportVistaDEMData(data);
}
