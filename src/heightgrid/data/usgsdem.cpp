#include "heightgrid/data/usgsdem.h"

#include "heightgrid/data/HeightImport.h"
#include "heightgrid/data/NumberText.h"
#include "project/Messages.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

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

int32_t CheckedInt(int64_t v, const char* what)
{
    if (v < -2147483647 || v > 2147483647)
        throw EUSGS(std::string("out of range: ") + what);
    return int32_t(v);
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
        ateBlank_ = false;
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
        ateBlank_ = p_ < d_.size();
        if (ateBlank_)
            ++p_;
        return t;
    }

    // One integer. Six-character fields filled to the brim run together ("  1234-32767", and a
    // run of voids is one token of "-32767"s), so a token is split before every sign that
    // follows a digit.
    int64_t Integer()
    {
        if (next_ == pending_.size()) {
            next_ = 0;
            pending_.clear();
            std::string_view t = Token();
            size_t start = 0;
            for (size_t k = 1; k <= t.size(); ++k) {
                if (k == t.size() || ((t[k] == '-' || t[k] == '+') && t[k - 1] >= '0' && t[k - 1] <= '9')) {
                    const auto v = ParseInt(t.substr(start, k - start));
                    if (!v)
                        throw EUSGS("not an integer: \"" + std::string(t.substr(0, 24)) + "\"");
                    pending_.push_back(*v);
                    start = k;
                }
            }
        }
        return pending_[next_++];
    }

    // Exactly 24 characters, blanks dropped. Integer fields are right-aligned, so the blank that
    // ended the integer before is this field's first character: counting it keeps the fields in
    // their columns, and the last one does not swallow the sign of a "-32767" after it.
    double Real24()
    {
        Expect();
        const size_t n = ateBlank_ ? 23 : 24;
        ateBlank_ = false;
        if (Remaining() < n)
            throw EUSGS("the file ends early");
        std::string_view f = d_.substr(p_, n);
        p_ += n;
        return USGSReal24(f);
    }

    // Twelve non-blank characters, blanks before each skipped. A field whose exponent was cut
    // after its first digit takes one more character.
    double Real12()
    {
        Expect();
        ateBlank_ = false;
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

    // m elevations into out. Most are plain integer tokens, read straight from the buffer; any
    // token of another shape goes through Integer(), so both read every token alike.
    void Elevations(int64_t m, int32_t* out)
    {
        int64_t k = 0;
        while (k < m && next_ != pending_.size())
            out[k++] = CheckedInt(pending_[next_++], "elevation");
        while (k < m) {
            while (p_ < d_.size() && static_cast<unsigned char>(d_[p_]) <= 32)
                ++p_;
            size_t end = p_;
            while (end < d_.size() && static_cast<unsigned char>(d_[end]) > 32)
                ++end;
            if (end == p_)
                throw EUSGS("the file ends early");
            const char* s = d_.data() + p_;
            const char* const e = d_.data() + end;
            // The usual token: one value, or values glued together that this profile takes.
            const int64_t before = k;
            while (s < e && k < m) {
                int64_t v;
                if (!PlainInteger(s, e, v))
                    break;
                out[k++] = CheckedInt(v, "elevation");
            }
            if (s == e) {
                ateBlank_ = end < d_.size();
                p_ = ateBlank_ ? end + 1 : end;
                continue;
            }
            // Another shape, or a token glued across the end of the profile: read it whole.
            k = before;
            while (k < m)
                out[k++] = CheckedInt(Integer(), "elevation");
        }
    }

    void Expect() const
    {
        if (next_ != pending_.size())
            throw EUSGS("fields run together");
    }

private:
    // One signed digit run from s, which moves past it; false when the text there has another
    // shape or what follows is neither the token's end nor the sign of the next value.
    static bool PlainInteger(const char*& s, const char* e, int64_t& value)
    {
        const char* p = s;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        const char* digits = p;
        int64_t v = 0;
        // More than 18 digits is another shape; stop before the value can overflow.
        while (p < e && static_cast<unsigned>(*p - '0') < 10 && p - digits < 18)
            v = v * 10 + (*p++ - '0');
        if (p == digits || p - digits > 18 || (p < e && *p != '-' && *p != '+'))
            return false;
        value = negative ? -v : v;
        s = p;
        return true;
    }

    std::string_view d_;
    size_t p_ = 0;
    // Values of one token still to be handed out.
    std::vector<int64_t> pending_;
    size_t next_ = 0;
    bool ateBlank_ = false; // the last token's ending blank was consumed
};

// One B record's place in the values read: profile (column) number c, m elevations.
struct TProfile {
    int64_t Column;
    int64_t Count;
    size_t First;
};

// The rows per profile: 1201 for a one-degree DEM (profiles - 1 a multiple of 300), else 463.
int32_t RuleRows(int64_t profiles)
{
    return (profiles - 1) % 300 == 0 ? 1201 : 463;
}

// A profile of m elevations that the rule's R rows hold (one may lack up to 3).
bool FitsRows(int64_t m, int64_t R)
{
    return m >= R - 3 && m <= R;
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

        // B records, all read before anything is placed: the rows per profile may have to come
        // from the longest profile.
        StatusSink().SetStepText("Reading data");
        std::vector<TProfile> profiles;
        std::vector<int32_t> values;
        in.Skip(81);
        in.Integer(); // row
        int64_t c = in.Integer();
        int64_t m = in.Integer();
        const int32_t ruleRows = RuleRows(n);
        int64_t longest = 0;
        bool anyFits = false;
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
            if (profiles.empty()) {
                // Profiles are mostly alike: room for n like the first saves regrowing.
                profiles.reserve(size_t(n));
                values.reserve(size_t(std::min<int64_t>(n * m, int64_t(in.Remaining()))));
            }
            profiles.push_back({c, m, values.size()});
            values.resize(values.size() + size_t(m));
            in.Elevations(m, values.data() + (values.size() - size_t(m)));
            longest = std::max(longest, m);
            anyFits = anyFits || FitsRows(m, ruleRows);
            if (c < n) {
                in.Integer(); // row
                c = in.Integer();
                m = in.Integer();
            } else {
                ++c;
            }
        }

        // When no profile fits the rule's rows (all too short would store nothing, all too long
        // would fold their southern ends into one row), the longest profile decides.
        if (!anyFits && longest > kMaxImportSide)
            throw EUSGS("profile length " + std::to_string(longest));
        const int32_t R = anyFits || longest < 1 ? ruleRows : int32_t(longest);
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

        bool noFullProfile = true;
        bool any = false;
        double largest = 0, smallest = 0;
        for (const TProfile& p : profiles) {
            c = p.Column;
            m = p.Count;
            int64_t o = 0;
            if (m == R)
                noFullProfile = false;
            if (!noFullProfile && m < R)
                o = R - m;
            if (R - m > 3 || c % s != 0 || opt.XOffset > c)
                continue;
            const int64_t x = c / s + opt.XOrigin - opt.XOffset;
            if (x < 0 || x >= g.SizeX)
                continue;
            TGridCell* column = g.Block.Cells[int32_t(x)];
            const int32_t* v = values.data() + p.First;
            for (int64_t k = 0; k < m; ++k) {
                const int64_t r = std::min<int64_t>(m - k + o, R);
                if (r % s != 0 || opt.YOffset > r)
                    continue;
                const int64_t y = r / s + opt.YOrigin - opt.YOffset;
                if (y < 0 || y >= g.SizeY)
                    continue;
                if (v[k] == kUSGSVoid) {
                    column[y].Height = NullHeight;
                } else {
                    column[y].Height = v[k];
                    if (!any || v[k] > largest)
                        largest = v[k];
                    if (!any || v[k] < smallest)
                        smallest = v[k];
                    any = true;
                }
            }
        }
        if (!any)
            throw EUSGS("no elevation could be placed in the grid (profiles: " + std::to_string(profiles.size()) +
                        ", longest: " + std::to_string(longest) + " elevations)");
        g.RangeSet = true;
        g.MaxHeight = largest == 0.0 ? 100.0 : largest;
        g.MinHeight = smallest;
        res.Ok = true;
    } catch (const EUSGS& e) {
        res = TImportResult();
        res.Error = std::string(kMsgInvalidUSGS) + ": " + e.what();
    } catch (const std::bad_alloc&) {
        res = TImportResult();
        res.Error = kMsgCreateMapFailed;
    } catch (const std::length_error&) {
        res = TImportResult();
        res.Error = kMsgCreateMapFailed;
    }
    return res;
}

TImportResult ReadUSGSDEM(const std::string& fileName, const TImportOptions& options, const TGridBlock& current)
{
    StatusSink().SetBusyCursor(true);
    StatusSink().SetOperationText("Importing USGS DEM");
    StatusSink().SetStepText("Initializing");
    TImportResult res;
    TFileView file;
    if (!file.Open(fileName))
        res.Error = kMsgCannotRead;
    else
        res = ReadUSGSDEMData(file.View(), options, current);
    StatusSink().SetProgress(0);
    StatusSink().SetOperationText("");
    StatusSink().SetStepText("");
    StatusSink().SetBusyCursor(false);
    return res;
}
