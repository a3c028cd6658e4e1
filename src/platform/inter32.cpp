#include "platform/inter32.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TPoint {
    double X = 0, Y = 0, Z = 0;
    double GX = 0, GY = 0;
};

// Buckets of points over a rectangle, for the nearest-point searches.
class TBuckets {
public:
    void Build(const std::vector<TPoint>& points, double x0, double y0, double x1, double y1)
    {
        x0_ = x0;
        y0_ = y0;
        const double w = std::max(x1 - x0, 1e-9), h = std::max(y1 - y0, 1e-9);
        // About two points per bucket, never more than 1024 buckets a side.
        const double n = double(std::max<size_t>(points.size(), 1));
        double size = std::sqrt(w * h * 2.0 / n);
        size = std::max({size, w / 1024.0, h / 1024.0, 1e-9});
        size_ = size;
        nx_ = std::clamp(int(w / size) + 1, 1, 1025);
        ny_ = std::clamp(int(h / size) + 1, 1, 1025);
        start_.assign(size_t(nx_) * ny_ + 1, 0);
        std::vector<int> bucketOf(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            bucketOf[i] = index(points[i].X, points[i].Y);
            ++start_[size_t(bucketOf[i]) + 1];
        }
        for (size_t b = 1; b < start_.size(); ++b)
            start_[b] += start_[b - 1];
        items_.assign(points.size(), 0);
        std::vector<int> fill(start_.begin(), start_.end() - 1);
        for (size_t i = 0; i < points.size(); ++i)
            items_[size_t(fill[size_t(bucketOf[i])]++)] = int(i);
    }

    // The k nearest points to (x, y), and any others as near as the k-th, as (squared distance,
    // index), nearest first.
    void Nearest(const std::vector<TPoint>& points, double x, double y, size_t k,
                 std::vector<std::pair<double, int>>& out) const
    {
        out.clear();
        k = std::min(k, points.size());
        if (k == 0)
            return;
        const int cx = cellX(x), cy = cellY(y);
        const int maxRing = std::max(nx_, ny_);
        auto consider = [&](int bx, int by) {
            const size_t b = size_t(by) * nx_ + bx;
            for (int j = start_[b]; j < start_[b + 1]; ++j) {
                const TPoint& p = points[size_t(items_[size_t(j)])];
                const double d = (p.X - x) * (p.X - x) + (p.Y - y) * (p.Y - y);
                if (out.size() < k) {
                    out.emplace_back(d, items_[size_t(j)]);
                    std::push_heap(out.begin(), out.end());
                } else if (d < out.front().first) {
                    std::pop_heap(out.begin(), out.end());
                    out.back() = {d, items_[size_t(j)]};
                    std::push_heap(out.begin(), out.end());
                }
            }
        };
        for (int ring = 0; ring <= maxRing; ++ring) {
            const int bx0 = cx - ring, bx1 = cx + ring, by0 = cy - ring, by1 = cy + ring;
            for (int by = std::max(by0, 0); by <= std::min(by1, ny_ - 1); ++by) {
                if (by == by0 || by == by1) {
                    for (int bx = std::max(bx0, 0); bx <= std::min(bx1, nx_ - 1); ++bx)
                        consider(bx, by);
                } else {
                    if (bx0 >= 0)
                        consider(bx0, by);
                    if (bx1 < nx_ && bx1 != bx0)
                        consider(bx1, by);
                }
            }
            if (out.size() == k) {
                // Every point not yet seen lies outside the buckets searched so far.
                const double left = x - (x0_ + (cx - ring) * size_), right = x0_ + (cx + ring + 1) * size_ - x;
                const double top = y - (y0_ + (cy - ring) * size_), bottom = y0_ + (cy + ring + 1) * size_ - y;
                const double margin = std::min({left, right, top, bottom});
                if (margin > 0 && margin * margin >= out.front().first)
                    break;
            }
        }
        // Points as far as the k-th are all taken, so that ties never depend on the search order
        // (on a regular grid many points lie at the same distance).
        const double reach = out.front().first;
        const double r = std::sqrt(reach) * (1 + 1e-12);
        out.clear();
        for (int by = cellY(y - r); by <= cellY(y + r); ++by)
            for (int bx = cellX(x - r); bx <= cellX(x + r); ++bx) {
                const size_t b = size_t(by) * nx_ + bx;
                for (int j = start_[b]; j < start_[b + 1]; ++j) {
                    const TPoint& p = points[size_t(items_[size_t(j)])];
                    const double d = (p.X - x) * (p.X - x) + (p.Y - y) * (p.Y - y);
                    if (d <= reach)
                        out.emplace_back(d, items_[size_t(j)]);
                }
            }
        std::sort(out.begin(), out.end());
    }

private:
    int cellX(double x) const { return std::clamp(int(std::floor((x - x0_) / size_)), 0, nx_ - 1); }
    int cellY(double y) const { return std::clamp(int(std::floor((y - y0_) / size_)), 0, ny_ - 1); }
    int index(double x, double y) const { return cellY(y) * nx_ + cellX(x); }

    double x0_ = 0, y0_ = 0, size_ = 1;
    int nx_ = 1, ny_ = 1;
    std::vector<int> start_, items_;
};

double cross(const TPoint& o, const TPoint& a, const TPoint& b)
{
    return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}

struct TRun {
    bool Initialised = false;
    bool HasOptions = false;
    bool HasData = false;
    bool HasGradients = false;
    TInterOptions Options{};
    std::vector<TPoint> Points;
    std::vector<TPoint> Hull; // counter-clockwise, no repeated end point
    TBuckets Buckets;
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

TRun run;

void setError(char* error, const std::string& text)
{
    if (!error)
        return;
    const size_t n = std::min(text.size(), size_t(kInterErrorSize - 1));
    std::memcpy(error, text.data(), n);
    error[n] = '\0';
}

std::string pathOf(const char (&field)[256])
{
    return std::string(field, strnlen(field, sizeof field));
}

size_t neighbourCount()
{
    return run.Options.SpeedFlag ? 8 : 16;
}

// Reads the next real of a line; false at the end of the line or on anything else.
bool nextReal(const char*& p, double& value)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == ',')
        ++p;
    if (!*p || *p == '\n')
        return false;
    char* end = nullptr;
    value = std::strtod(p, &end);
    if (end == p)
        return false;
    p = end;
    return std::isfinite(value);
}

void buildHull()
{
    std::vector<TPoint> pts = run.Points;
    std::sort(pts.begin(), pts.end(), [](const TPoint& a, const TPoint& b) { return a.X < b.X || (a.X == b.X && a.Y < b.Y); });
    run.Hull.clear();
    if (pts.size() < 3) {
        run.Hull = pts;
        return;
    }
    std::vector<TPoint> h(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0)
            --k;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i - 1]) <= 0)
            --k;
        h[k++] = pts[i - 1];
    }
    h.resize(k - 1);
    run.Hull = std::move(h);
}

// Inside the convex hull of the points, its edges included.
bool insideHull(double x, double y)
{
    const double scale = std::max({run.MaxX - run.MinX, run.MaxY - run.MinY, 1.0});
    const double eps = 1e-9 * scale;
    const std::vector<TPoint>& h = run.Hull;
    const TPoint q{x, y};
    if (h.size() == 1)
        return std::hypot(x - h[0].X, y - h[0].Y) <= eps;
    if (h.size() == 2) {
        // A segment (all points on one line, sorted): on it within eps.
        const double len = std::hypot(h[1].X - h[0].X, h[1].Y - h[0].Y);
        if (len <= eps)
            return std::hypot(x - h[0].X, y - h[0].Y) <= eps;
        const double t = ((x - h[0].X) * (h[1].X - h[0].X) + (y - h[0].Y) * (h[1].Y - h[0].Y)) / (len * len);
        return t >= -eps && t <= 1 + eps && std::fabs(cross(h[0], h[1], q)) / len <= eps;
    }
    for (size_t i = 0; i < h.size(); ++i) {
        const TPoint& a = h[i];
        const TPoint& b = h[(i + 1) % h.size()];
        const double len = std::hypot(b.X - a.X, b.Y - a.Y);
        if (cross(a, b, q) < -eps * len)
            return false;
    }
    return true;
}

double valueAt(double x, double y, std::vector<std::pair<double, int>>& near)
{
    run.Buckets.Nearest(run.Points, x, y, neighbourCount(), near);
    if (near.empty())
        return double(run.Options.NullValue);
    const TPoint& first = run.Points[size_t(near.front().second)];
    if (near.front().first <= 0.0)
        return first.Z; // on a data point: its height exactly
    const double t1 = std::max(1, run.Options.Tautness1);
    const double t2 = std::max(1, run.Options.Tautness2);
    double sum = 0, weights = 0, lo = first.Z, hi = first.Z;
    for (const auto& [d2, i] : near) {
        const TPoint& p = run.Points[size_t(i)];
        const double w = 1.0 / d2;
        double v = p.Z;
        if (run.HasGradients)
            v += (p.GX * (x - p.X) + p.GY * (y - p.Y)) / t1;
        sum += w * v;
        weights += w;
        lo = std::min(lo, p.Z);
        hi = std::max(hi, p.Z);
    }
    double value = sum / weights;
    if (run.HasGradients) {
        const double slack = (hi - lo) / t2;
        value = std::clamp(value, lo - slack, hi + slack);
    }
    return std::isfinite(value) ? value : first.Z;
}

void formatNumber(std::string& out, double v)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, result.ptr);
}

} // namespace

void InitGrid()
{
    run = TRun{};
    run.Initialised = true;
}

void SetOptions(const TInterOptions* options)
{
    if (!run.Initialised || !options)
        return;
    run.Options = *options;
    // The paths and formats are read as zero-terminated strings: make sure they are.
    run.Options.InputPath[sizeof run.Options.InputPath - 1] = '\0';
    run.Options.OutputPath[sizeof run.Options.OutputPath - 1] = '\0';
    run.HasOptions = true;
    run.HasData = run.HasGradients = false;
}

void ReadData(char* error)
{
    setError(error, "");
    if (!run.Initialised || !run.HasOptions) {
        setError(error, "Gridding options not set");
        return;
    }
    const TInterOptions& o = run.Options;
    if (o.Columns < 1 || o.Rows < 1 || int64_t(o.Columns) * o.Rows > kInterMaxNodes) {
        setError(error, "Invalid grid size");
        return;
    }
    FILE* f = std::fopen(pathOf(o.InputPath).c_str(), "rb");
    if (!f) {
        setError(error, "Cannot open the data file");
        return;
    }
    // Coincident points are merged into one at their mean height.
    std::map<std::pair<double, double>, std::pair<double, int64_t>> merged;
    std::string line;
    int64_t lineNo = 0, count = 0;
    bool bad = false;
    char buf[4096];
    while (!bad && std::fgets(buf, sizeof buf, f)) {
        line.assign(buf);
        while (!line.empty() && line.back() != '\n' && std::fgets(buf, sizeof buf, f))
            line.append(buf);
        ++lineNo;
        const char* p = line.c_str();
        double x = 0, y = 0, z = 0;
        if (!nextReal(p, x)) {
            // Blank lines are allowed; anything else is not.
            while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
                ++p;
            if (*p) {
                bad = true;
                setError(error, "Invalid data in line " + std::to_string(lineNo));
            }
            continue;
        }
        if (!nextReal(p, y) || !nextReal(p, z)) {
            bad = true;
            setError(error, "Invalid data in line " + std::to_string(lineNo));
            continue;
        }
        if (++count > kInterMaxPoints) {
            bad = true;
            setError(error, "Too many data points");
            continue;
        }
        auto& slot = merged[{x, y}];
        slot.first += z;
        ++slot.second;
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (bad)
        return;
    if (readError) {
        setError(error, "Cannot read the data file");
        return;
    }
    if (merged.empty()) {
        setError(error, "No data points");
        return;
    }
    run.Points.clear();
    run.Points.reserve(merged.size());
    for (const auto& [xy, zs] : merged)
        run.Points.push_back(TPoint{xy.first, xy.second, zs.first / double(zs.second)});
    run.MinX = run.MaxX = run.Points[0].X;
    run.MinY = run.MaxY = run.Points[0].Y;
    for (const TPoint& p : run.Points) {
        run.MinX = std::min(run.MinX, p.X);
        run.MaxX = std::max(run.MaxX, p.X);
        run.MinY = std::min(run.MinY, p.Y);
        run.MaxY = std::max(run.MaxY, p.Y);
    }
    // The buckets cover the points and the grid, so every search starts inside them.
    const double gx0 = std::min({run.MinX, double(o.Left), double(o.Right)});
    const double gx1 = std::max({run.MaxX, double(o.Left), double(o.Right)});
    const double gy0 = std::min({run.MinY, double(o.Top), double(o.Bottom)});
    const double gy1 = std::max({run.MaxY, double(o.Top), double(o.Bottom)});
    run.Buckets.Build(run.Points, gx0, gy0, gx1, gy1);
    buildHull();
    run.HasData = true;
}

void Gradient(char* error, TInterContinue keepGoing)
{
    setError(error, "");
    if (!run.HasData) {
        setError(error, "No data read");
        return;
    }
    std::vector<std::pair<double, int>> near;
    for (size_t i = 0; i < run.Points.size(); ++i) {
        if (i % 256 == 0 && keepGoing && !keepGoing())
            return;
        TPoint& p = run.Points[i];
        // Weighted least-squares plane through the point and its neighbours.
        run.Buckets.Nearest(run.Points, p.X, p.Y, neighbourCount() + 1, near);
        double a = 0, b = 0, c = 0, u = 0, v = 0;
        for (const auto& [d2, j] : near) {
            if (size_t(j) == i || d2 <= 0)
                continue;
            const TPoint& q = run.Points[size_t(j)];
            const double w = 1.0 / d2, dx = q.X - p.X, dy = q.Y - p.Y, dz = q.Z - p.Z;
            a += w * dx * dx;
            b += w * dx * dy;
            c += w * dy * dy;
            u += w * dx * dz;
            v += w * dy * dz;
        }
        const double det = a * c - b * b;
        // Neighbours on one line (or none) give no slope.
        if (det > 1e-9 * a * c && a > 0 && c > 0) {
            p.GX = (u * c - v * b) / det;
            p.GY = (v * a - u * b) / det;
        } else {
            p.GX = p.GY = 0;
        }
        if (!std::isfinite(p.GX) || !std::isfinite(p.GY))
            p.GX = p.GY = 0;
    }
    run.HasGradients = true;
}

void MakeGrid(char* error, TInterContinue keepGoing)
{
    setError(error, "");
    if (!run.HasData) {
        setError(error, "No data read");
        return;
    }
    const TInterOptions& o = run.Options;
    FILE* f = std::fopen(pathOf(o.OutputPath).c_str(), "wb");
    if (!f) {
        setError(error, "Cannot create the grid file");
        return;
    }
    const double stepX = o.Columns > 1 ? (double(o.Right) - o.Left) / (o.Columns - 1) : 0.0;
    const double stepY = o.Rows > 1 ? (double(o.Top) - o.Bottom) / (o.Rows - 1) : 0.0;
    std::vector<std::pair<double, int>> near;
    std::string line;
    bool ok = true;
    // The bottom row first, each row from left to right.
    for (int32_t j = 0; j < o.Rows && ok; ++j) {
        if (keepGoing && !keepGoing())
            break;
        const double y = o.Bottom + stepY * j;
        line.clear();
        for (int32_t i = 0; i < o.Columns; ++i) {
            const double x = o.Left + stepX * i;
            const double value =
                o.ExtrapolateFlag || insideHull(x, y) ? valueAt(x, y, near) : double(o.NullValue);
            if (i)
                line.push_back(' ');
            formatNumber(line, value);
        }
        line.push_back('\n');
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        setError(error, "Cannot write the grid file");
}

void DoneGrid()
{
    run = TRun{};
}
