// Project file save and load times against the floor of one buffered write (flushed to disk, as
// a save is) and read of the same number of bytes.
//   project_io --grid N [--out FILE]   builds a project with an N x N grid, saves, loads, compares
//   project_io --in FILE [--out FILE2] times loading FILE (and saving what it loaded to FILE2)
#include "project/Messages.h"
#include "project/Project.h"
#include "project/projectio.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Messages go to standard error, and a refusal is remembered for the exit code.
class BenchPrompt : public IPrompt {
public:
    std::string last;
    void ShowMessage(const std::string& text, TMsgIcon) override
    {
        last = text;
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.front(); }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

bool Build(TProject& p, int n)
{
    if (!p.NewGrid(n, n, 30.0, 30.0))
        return false;
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            TGridCell& cell = p.Grid.Cells[c][r];
            cell.Height = 500.0 + 300.0 * std::sin(c * 0.05) * std::cos(r * 0.037) + ((c * 7919 + r * 104729) % 97) * 0.25;
            cell.Flooded = cell.Height < 300.0;
        }
    p.Grid.MaxHeight = 900;
    p.Header.Name = "Benchmark " + std::to_string(n);
    const int entries = 16;
    p.Overlays.Items.resize(entries);
    p.Overlays.Count = entries;
    p.Actors.Items.resize(entries);
    p.Actors.Count = entries;
    p.Ecology.Items.resize(entries);
    p.Ecology.Count = entries;
    p.TerrainLayers.Items.resize(entries);
    p.TerrainLayers.Count = entries;
    p.Urban.Items.resize(entries);
    p.Urban.Count = entries;
    for (int i = 0; i < entries; ++i) {
        p.Overlays.Items[i].FileName = "overlay" + std::to_string(i) + ".bmp";
        p.Actors.Items[i].ID = i;
        p.Actors.Items[i].Name = "Plant " + std::to_string(i);
        p.Ecology.Items[i].TerrainLayerID = i;
        p.TerrainLayers.Items[i].ID = i;
        p.TerrainLayers.Items[i].Name = "Layer " + std::to_string(i);
        p.Urban.Items[i].ID = i;
        p.Urban.Items[i].PlanName = "Plan " + std::to_string(i);
        p.AppendLayerModel(i);
        const int region = p.AppendLayerRegion(i);
        const int line = p.AppendLayerLine(i);
        p.TerrainPolys.Items[region].Points.assign(200, TMapPoint{0.25, 0.5});
        p.TerrainPolys.Items[region].PointCount = 200;
        p.TerrainLines.Items[line].Points.assign(50, TMapPoint{0.75, 0.125});
        p.TerrainLines.Items[line].PointCount = 50;
    }
    p.Fractal.TerrainSurfaces.resize(8, p.Fractal.TerrainSurfaces[0]);
    p.Fractal.TerrainSurfaceCount = 8;
    return true;
}

// One buffered write (flushed to disk) and read of the same number of bytes.
bool Floor(const std::string& file, size_t bytes, double& write, double& read)
{
    std::vector<char> data(bytes, 'q');
    auto t0 = Clock::now();
    FILE* f = std::fopen(file.c_str(), "wb");
    // Flushed to disk as a save is, so the floor is that of a write that survives a power loss.
    if (!f || std::fwrite(data.data(), 1, bytes, f) != bytes || std::fflush(f) != 0 || ::fsync(fileno(f)) != 0 ||
        std::fclose(f) != 0)
        return false;
    auto t1 = Clock::now();
    std::vector<char> back(bytes);
    f = std::fopen(file.c_str(), "rb");
    if (!f || std::fread(back.data(), 1, bytes, f) != bytes) {
        if (f)
            std::fclose(f);
        return false;
    }
    std::fclose(f);
    auto t2 = Clock::now();
    write = Seconds(t0, t1);
    read = Seconds(t1, t2);
    return true;
}

std::vector<uint8_t> Encode(TProject& p)
{
    std::vector<uint8_t> out;
    WriteProject(p, out);
    return out;
}

void Usage()
{
    std::fprintf(stderr, "usage: project_io --grid N [--out FILE]\n       project_io --in FILE [--out FILE2]\n");
}

} // namespace

int main(int argc, char** argv)
{
    int grid = 0;
    std::string in, out;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--grid" && i + 1 < argc)
            grid = std::atoi(argv[++i]);
        else if (a == "--in" && i + 1 < argc)
            in = argv[++i];
        else if (a == "--out" && i + 1 < argc)
            out = argv[++i];
        else {
            Usage();
            return 2;
        }
    }
    if ((grid <= 0) == in.empty()) {
        Usage();
        return 2;
    }
    BenchPrompt prompt;
    SetPrompt(&prompt);

    namespace fs = std::filesystem;
    const fs::path scratch = fs::temp_directory_path() / ("project_io-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    struct Cleanup {
        fs::path dir;
        ~Cleanup()
        {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{scratch};

    if (!in.empty()) {
        TProject loaded;
        auto t0 = Clock::now();
        if (!loaded.LoadFromFile(in)) {
            std::fprintf(stderr, "project_io: %s refused: %s\n", in.c_str(), prompt.last.c_str());
            return 1;
        }
        auto t1 = Clock::now();
        const auto bytes = static_cast<size_t>(fs::file_size(in));
        std::printf("file       %s\nbytes      %zu\ngrid       %d x %d\nload       %.4f s\n", in.c_str(), bytes,
                    loaded.Grid.SizeX, loaded.Grid.SizeY, Seconds(t0, t1));
        if (!out.empty()) {
            auto t2 = Clock::now();
            if (!loaded.SaveToFile(out)) {
                std::fprintf(stderr, "project_io: cannot save %s: %s\n", out.c_str(), prompt.last.c_str());
                return 1;
            }
            std::printf("save       %.4f s (%s)\n", Seconds(t2, Clock::now()), out.c_str());
        }
        return 0;
    }

    const std::string file = out.empty() ? (scratch / "bench.qx2").string() : out;
    TProject original;
    if (!Build(original, grid)) {
        std::fprintf(stderr, "project_io: cannot make a %d x %d grid\n", grid, grid);
        return 1;
    }
    auto t0 = Clock::now();
    if (!original.SaveToFile(file)) {
        std::fprintf(stderr, "project_io: cannot save %s: %s\n", file.c_str(), prompt.last.c_str());
        return 1;
    }
    auto t1 = Clock::now();
    TProject loaded;
    if (!loaded.LoadFromFile(file)) {
        std::fprintf(stderr, "project_io: cannot load %s: %s\n", file.c_str(), prompt.last.c_str());
        return 1;
    }
    auto t2 = Clock::now();
    if (Encode(loaded) != Encode(original)) {
        std::fprintf(stderr, "project_io: the loaded project differs from the saved one\n");
        return 1;
    }
    const auto bytes = static_cast<size_t>(fs::file_size(file));
    double floorWrite = 0, floorRead = 0;
    if (!Floor((scratch / "floor.bin").string(), bytes, floorWrite, floorRead)) {
        std::fprintf(stderr, "project_io: the floor measurement failed\n");
        return 1;
    }
    const double save = Seconds(t0, t1), load = Seconds(t1, t2);
    std::printf("grid       %d x %d\nbytes      %zu\nsave       %.4f s\nload       %.4f s\n", grid, grid, bytes, save, load);
    // The load has to make the in-memory cell array, which is several times the file's size.
    auto t3 = Clock::now();
    {
        TCellArray cells;
        cells.Resize(grid, grid);
    }
    const double cellArray = Seconds(t3, Clock::now());
    std::printf("cell array %.4f s (%zu bytes in memory, made once per load)\n", cellArray,
                static_cast<size_t>(grid) * grid * sizeof(TGridCell));
    std::printf("floor      %.4f s (write and fsync %.4f s, read %.4f s)\n", floorWrite + floorRead, floorWrite, floorRead);
    std::printf("ratio      %.2f (save + load over the floor; goal 1.5)\n", (save + load) / (floorWrite + floorRead));
    return 0;
}
