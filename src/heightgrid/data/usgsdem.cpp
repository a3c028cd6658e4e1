#include "heightgrid/data/usgsdem.h"

#include "heightgrid/data/HeightImport.h"
#include "heightgrid/data/NumberText.h"
#include "project/Messages.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct EUSGS : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Keeps at most `keep` characters of the exponent part (letter, sign, digits) of a real text.
std::string Fortran(std::string s, size_t keep)
{
    for (char& c : s)
        if (c == 'D' || c == 'd')
            c = 'E';
    const size_t e = s.find_first_of("Ee");
    if (e != std::string::npos && s.size() - e > keep)
        s.resize(e + keep);
    return s;
}

class TUSGSStream {
public:
    explicit TUSGSStream(std::string_view data) : d_(data) {}

    size_t Remaining() const { return d_.size() - p_; }

    void Skip(size_t n)
    {
        if (Remaining() < n)
            throw EUSGS("the file ends early");
        p_ += n;
    }

    // Characters up to the next blank (the blank is consumed); blanks before are skipped.
    std::string_view Token()
    {
        while (p_ < d_.size() && IsBlankChar(d_[p_]))
            ++p_;
        if (p_ >= d_.size())
            throw EUSGS("the file ends early");
        const size_t start = p_;
        while (p_ < d_.size() && !IsBlankChar(d_[p_]))
            ++p_;
        std::string_view t = d_.substr(start, p_ - start);
        if (p_ < d_.size())
            ++p_;
        return t;
    }

    // One integer. Six-character fields filled to the brim run together ("  1234-32767"), so a
    // token is split before every sign that follows a digit.
    int64_t Integer()
    {
        if (next_ == count_) {
            next_ = count_ = 0;
            std::string_view t = Token();
            size_t start = 0;
            for (size_t k = 1; k <= t.size(); ++k) {
                if (k == t.size() || ((t[k] == '-' || t[k] == '+') && t[k - 1] >= '0' && t[k - 1] <= '9')) {
                    const auto v = ParseInt(t.substr(start, k - start));
                    if (!v)
                        throw EUSGS("not an integer: \"" + std::string(t.substr(0, 24)) + "\"");
                    if (count_ == kMaxPending)
                        throw EUSGS("fields run together: \"" + std::string(t.substr(0, 24)) + "\"");
                    pending_[count_++] = *v;
                    start = k;
                }
            }
        }
        return pending_[next_++];
    }

    // Exactly 24 characters, blanks dropped.
    double Real24()
    {
        Expect();
        if (Remaining() < 24)
            throw EUSGS("the file ends early");
        std::string_view f = d_.substr(p_, 24);
        p_ += 24;
        return USGSReal24(f);
    }

    // Twelve non-blank characters, blanks before each skipped. A field whose exponent was cut
    // after its first digit takes one more character.
    double Real12()
    {
        Expect();
        std::string s;
        while (s.size() < 12) {
            if (p_ >= d_.size())
                throw EUSGS("the file ends early");
            const char c = d_[p_++];
            if (!IsBlankChar(c))
                s.push_back(c);
        }
        const size_t e = s.find_first_of("EeDd");
        if (e != std::string::npos && s.size() - e == 3 && p_ < d_.size())
            s.push_back(d_[p_++]);
        const auto v = ParseReal(Fortran(s, 4));
        return v ? *v : 0.0;
    }

    void Expect() const
    {
        if (next_ != count_)
            throw EUSGS("fields run together");
    }

private:
    std::string_view d_;
    size_t p_ = 0;
    // Values of one token still to be handed out.
    static constexpr int kMaxPending = 16;
    int64_t pending_[kMaxPending] = {};
    int next_ = 0, count_ = 0;
};

int32_t CheckedInt(int64_t v, const char* what)
{
    if (v < -2147483647 || v > 2147483647)
        throw EUSGS(std::string("out of range: ") + what);
    return int32_t(v);
}

} // namespace

double USGSReal24(std::string_view field)
{
    std::string s;
    for (char c : field)
        if (!IsBlankChar(c))
            s.push_back(c);
    const auto v = ParseReal(Fortran(s, 5));
    return v ? *v : 0.0;
}

TImportResult ReadUSGSDEMData(std::string_view data, const TImportOptions& opt, const TGridBlock& current)
{
    TImportResult res;
    THeightImport& g = res.Grid;
    try {
        TUSGSStream in(data);
        // A record.
        in.Skip(144); // title
        for (int k = 0; k < 4; ++k)
            in.Integer(); // level, pattern, reference system, zone
        for (int k = 0; k < 15; ++k)
            in.Real24(); // projection parameters
        const int64_t groundUnits = in.Integer();
        in.Integer(); // elevation units
        in.Integer(); // number of sides
        double meanSecond = 0;
        for (int k = 0; k < 4; ++k) {
            in.Real24();
            meanSecond += in.Real24() / 4.0;
        }
        in.Real24(); // minimum elevation
        in.Real24(); // maximum elevation
        in.Real24(); // rotation
        const double xRes = in.Real12();
        const double yRes = in.Real12();
        in.Real12(); // z resolution
        in.Skip(1);
        in.Integer(); // rows of profiles (always 1)
        const int64_t n = in.Integer();
        // Every profile needs at least its header (four integers, five 24-character reals).
        if (n < 1 || n > kMaxImportSide || n > int64_t(in.Remaining() / 128) + 1)
            throw EUSGS("profile count " + std::to_string(n));

        const int32_t R = (n - 1) % 300 == 0 ? 1201 : 463;
        double sx = 30.0, sy = 30.0;
        if (R == 1201) {
            sx = 92.76;
            sy = 92.6;
        }
        if (xRes > 0 && yRes > 0 && std::isfinite(xRes) && std::isfinite(yRes)) {
            if (groundUnits == 3) {
                // Arc-seconds: 92.6 m per 3 seconds of latitude; longitude shrinks with cos(latitude).
                const double latitude = meanSecond / 3600.0 * kPi / 180.0;
                sy = yRes / 3.0 * 92.6;
                sx = xRes / 3.0 * 92.76 * std::cos(latitude);
                if (!(sx > 0.01))
                    sx = sy;
            } else if (groundUnits == 2) {
                sx = xRes;
                sy = yRes;
            } else if (groundUnits == 1) {
                sx = xRes * 0.3048;
                sy = yRes * 0.3048;
            }
        }

        const int32_t s = std::clamp(opt.Sample, 1, kImportSampleMax);
        if (opt.AutoSize) {
            if (!StartNewGrid(g, (n + 1) / s, (R + 1) / s, s * sx, s * sy))
                throw EUSGS("grid size");
            g.NewGridError = kMsgCreateMapFailed;
        } else if (!StartLoadInto(g, current)) {
            throw EUSGS("grid size");
        }
        const double d = opt.UseNull ? NullHeight : opt.DefaultHeight;
        if (opt.Overwrite && !(g.MakeNewGrid && d == NullHeight)) // a new grid is null already
            g.FillHeights(d);

        StatusSink().SetStepText("Reading data");
        // B records.
        in.Skip(81);
        in.Integer(); // row
        int64_t c = in.Integer();
        int64_t m = in.Integer();
        bool noFullProfile = true;
        bool any = false;
        double largest = 0, smallest = 0;
        int lastPercent = -1;
        while (c <= n) {
            StatusSink().ProcessMessages();
            const int percent = int(std::clamp(double(c) / double(n) * 100.0, 0.0, 100.0));
            if (percent != lastPercent) {
                StatusSink().SetProgress(percent);
                lastPercent = percent;
            }
            in.Integer(); // columns in this profile (1)
            for (int k = 0; k < 5; ++k)
                in.Real24(); // start x, start y, local datum, minimum, maximum
            if (m < 0 || m > int64_t(in.Remaining()))
                throw EUSGS("elevation count " + std::to_string(m));
            int64_t o = 0;
            if (m == R)
                noFullProfile = false;
            if (!noFullProfile && m < R)
                o = R - m;
            for (int64_t k = 0; k < m; ++k) {
                const int32_t v = CheckedInt(in.Integer(), "elevation");
                const int64_t r = std::min<int64_t>(m - k + o, R);
                if (R - m <= 3 && c % s == 0 && r % s == 0 && opt.XOffset <= c && opt.YOffset <= r) {
                    const int64_t x = c / s + opt.XOrigin - opt.XOffset;
                    const int64_t y = r / s + opt.YOrigin - opt.YOffset;
                    if (0 <= x && x < g.SizeX && 0 <= y && y < g.SizeY) {
                        if (v == kUSGSVoid) {
                            g.At(int32_t(x), int32_t(y)) = NullHeight;
                        } else {
                            g.At(int32_t(x), int32_t(y)) = v;
                            if (!any || v > largest)
                                largest = v;
                            if (!any || v < smallest)
                                smallest = v;
                            any = true;
                        }
                    }
                }
            }
            if (c < n) {
                in.Integer(); // row
                c = in.Integer();
                m = in.Integer();
            } else {
                ++c;
            }
        }
        if (any) {
            g.RangeSet = true;
            g.MaxHeight = largest == 0.0 ? 100.0 : largest;
            g.MinHeight = smallest;
        }
        res.Ok = true;
    } catch (const EUSGS& e) {
        res = TImportResult();
        res.Error = std::string(kMsgInvalidUSGS) + ": " + e.what();
    }
    return res;
}

TImportResult ReadUSGSDEM(const std::string& fileName, const TImportOptions& options, const TGridBlock& current)
{
    StatusSink().SetBusyCursor(true);
    StatusSink().SetOperationText("Importing USGS DEM");
    StatusSink().SetStepText("Initializing");
    TImportResult res;
    std::string data;
    if (!ReadWholeFile(fileName, data))
        res.Error = kMsgCannotRead;
    else
        res = ReadUSGSDEMData(data, options, current);
    StatusSink().SetProgress(0);
    StatusSink().SetOperationText("");
    StatusSink().SetStepText("");
    StatusSink().SetBusyCursor(false);
    return res;
}
