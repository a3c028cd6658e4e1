// Drawing a placed 3DS model: a textured and an untextured mesh of 800 triangles each, drawn
// repeatedly as many placements of one layer would be. Prints the time of the first draw (reading
// and building), of further draws of the unchanged file, and of textured triangles lit per texel
// against the per-triangle light coefficients. Needs a display (run under xvfb-run).
#include "platform/GLEntryPoints.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/ML3DS.h"
#include "render/RendererEngine.h"

#include <QApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

class TBenchEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

using Bytes = std::vector<unsigned char>;
void Put16(Bytes& b, unsigned v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); }
void Put32(Bytes& b, unsigned v) { for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF); }
void PutF(Bytes& b, float f) { unsigned u; std::memcpy(&u, &f, 4); Put32(b, u); }
Bytes Chunk(unsigned tag, const Bytes& body)
{
    Bytes out;
    Put16(out, tag);
    Put32(out, unsigned(body.size() + 6));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Str(const char* s) { Bytes b(s, s + std::strlen(s)); b.push_back(0); return b; }

// A wavy sheet of n x n quads standing upright, mapped once with the texture when given.
Bytes Sheet(int n, const char* texture)
{
    Bytes pts, uv, faces;
    Put16(pts, unsigned((n + 1) * (n + 1)));
    Put16(uv, unsigned((n + 1) * (n + 1)));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            PutF(pts, float(i) / n * 2 - 1), PutF(pts, 0.1f * float((i * 7 + j * 3) % 5)), PutF(pts, float(j) / n * 2);
            PutF(uv, float(i) / n), PutF(uv, float(j) / n);
        }
    Put16(faces, unsigned(n * n * 2));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const unsigned a = unsigned(j * (n + 1) + i), b = a + 1, c = a + unsigned(n) + 2, d = a + unsigned(n) + 1;
            Put16(faces, a), Put16(faces, b), Put16(faces, c), Put16(faces, 7);
            Put16(faces, a), Put16(faces, c), Put16(faces, d), Put16(faces, 7);
        }
    Bytes group = Str("skin");
    Put16(group, unsigned(n * n * 2));
    for (int f = 0; f < n * n * 2; ++f) Put16(group, unsigned(f));
    Bytes smooth;
    for (int f = 0; f < n * n * 2; ++f) Put32(smooth, 1);
    Bytes material = Chunk(0xAFFF, Cat({Chunk(0xA000, Str("skin")),
                                        Chunk(0xA020, Chunk(0x0011, Bytes{200, 180, 90})),
                                        texture ? Chunk(0xA200, Chunk(0xA300, Str(texture))) : Bytes{}}));
    Bytes tri = Chunk(0x4100, Cat({Chunk(0x4110, pts), Chunk(0x4140, uv),
                                   Chunk(0x4120, Cat({faces, Chunk(0x4130, group), Chunk(0x4150, smooth)}))}));
    Bytes version;
    Put32(version, 3);
    return Chunk(0x4D4D, Cat({Chunk(0x0002, version), Chunk(0x3D3D, Cat({material, Chunk(0x4000, Cat({Str("sheet"), tri}))}))}));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qx_bench_models3d";
    std::filesystem::create_directories(dir);
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgb(x * 4, y * 4, 128));
    picture.save(QString::fromStdString((dir / "skin.bmp").string()), "BMP");
    for (const auto& [name, texture] : {std::pair{"textured.3ds", "skin.bmp"}, std::pair{"plain.3ds", (const char*)nullptr}}) {
        const Bytes bytes = Sheet(20, texture);
        std::ofstream((dir / name).string(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    auto* project = new TProject();
    project->NewGrid(4, 4, 10.0, 10.0);
    project->ComputeWorldScale();
    project->Camera.Eye = {0, 5, 30};
    project->Atmosphere.Ambient = 0.3;
    project->Atmosphere.Diffuse = 0.8;
    TBenchEngine engine;
    engine.SetProject(&project);
    TML3DS models;
    models.Project = &project;
    TGLPanel panel;
    panel.resize(320, 240);
    panel.OnGLDraw = [&](TGLPanel&) {
        engine.PrepareScene(320, 240);
        engine.SetupCamera();
        engine.SetupLights();
        using clock = std::chrono::steady_clock;
        const auto ms = [](clock::time_point a, clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
        for (const char* name : {"plain.3ds", "textured.3ds"}) {
            models.LoadFromFile((dir / name).string());
            auto t0 = clock::now();
            models.RenderModelAt(engine, {0, 0, 0}, 30, 5, 1);
            auto t1 = clock::now();
            for (int i = 0; i < 10; ++i) {
                models.LoadFromFile((dir / name).string());
                models.RenderModelAt(engine, {float(i), 0, 0}, 30, 5, 1);
            }
            auto t2 = clock::now();
            std::printf("%-13s 800 triangles: first draw %.1f ms, further draws %.2f ms each\n", name, ms(t0, t1), ms(t1, t2) / 10);
        }
        for (bool fast : {true, false}) {
            models.FastTexelLighting = fast;
            auto t0 = clock::now();
            models.RenderModelAt(engine, {0, 0, 0}, 30, 5, 1);
            auto t1 = clock::now();
            std::printf("textured draw, texels lit %s: %.1f ms\n", fast ? "per triangle coefficients" : "one by one", ms(t0, t1));
        }
        std::printf("models built: %d\n", models.BuildCount);
    };
    panel.Redraw();
    delete project;
    std::filesystem::remove_all(dir);
    return 0;
}
