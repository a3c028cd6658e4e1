// Writes the sample content of data/ that the program itself can write: the environment templates
// (through the environment export) and the plant colour files (through the plant types editor's
// colour file writer). With --pictures it also renders each template on a seeded landscape and each
// plant file close up, so that a look can be checked by eye before it is committed.
// Needs a display for --pictures (run under xvfb-run).
//
//   make_samples DATA_FOLDER [--pictures FOLDER]
#include "editors/Actors.h"
#include "platform/GLEntryPoints.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"
#include "render/GLPlant.h"
#include "render/SyntheticLandscape.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

TFloatColor C(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f}; }
TFloatRGB RGB(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

void SetSurface(TTerrainSurface& s, TFloatColor primary, TFloatColor secondary, double roughness, double bumpiness)
{
    s.Material.PrimaryColor = primary;
    s.Material.SecondaryColor = secondary;
    s.Material.Roughness = roughness;
    s.Bumpiness = bumpiness;
}

struct TLook {
    const char* File;
    const char* Name;
    std::function<void(TProject&)> Set;
};

// The looks, each set up on a new project's defaults. The stored light altitude is the angle from
// the vertical: small is a high sun, near 90 a sun on the horizon.
const std::vector<TLook>& Looks()
{
    static const std::vector<TLook> looks = {
        {"clear_midday.ini", "Clear Midday",
         [](TProject& p) {
             TAtmosphereBlock& a = p.Atmosphere;
             a.SkyColor = C(70, 130, 235);
             a.HorizonColor = C(185, 215, 250);
             a.FogColor = C(225, 235, 250);
             a.DecayColor = C(60, 120, 255);
             a.FogDensity = 0.03;
             a.Ambient = 0.3;
             a.Diffuse = 1.0;
             a.Blueing = 0.35;
             a.Glowing = 0.2;
             a.ShadowDepth = 0.55;
             a.Distance = 400.0;
             p.Lighting.PrimaryLightColor = C(255, 252, 240);
             p.Lighting.AmbientLightColor = C(215, 225, 255);
             p.Lighting.LightAltitude = 25.0;
             p.Lighting.LightAzimuth = 160.0;
             p.Lighting.SunSize = 15.0;
             TCloud& c = p.Clouds.Items[0];
             c.Draw = 1, c.Height = 60.0, c.Cover = 20, c.Density = 15, c.Size = 250;
             c.CloudColor1 = C(255, 255, 255), c.CloudColor2 = C(215, 220, 230);
             SetSurface(p.Fractal.TerrainSurfaces[0], C(52, 110, 30), C(96, 140, 48), 5.0, 1.0);
             SetSurface(p.Fractal.TerrainSurfaces[1], C(100, 135, 60), C(128, 140, 70), 5.0, 1.0);
             p.Water.Surface.PrimaryColor = C(20, 70, 120);
             p.Water.Surface.SecondaryColor = C(40, 100, 150);
         }},
        {"hazy_evening.ini", "Hazy Evening",
         [](TProject& p) {
             TAtmosphereBlock& a = p.Atmosphere;
             a.SkyColor = C(95, 105, 170);
             a.HorizonColor = C(250, 170, 110);
             a.FogColor = C(235, 175, 130);
             a.DecayColor = C(220, 120, 90);
             a.FogDensity = 0.25;
             a.Ambient = 0.28;
             a.Diffuse = 0.85;
             a.Blueing = 0.7;
             a.Glowing = 0.8;
             a.ShadowDepth = 0.65;
             a.Distance = 180.0;
             a.MistHeight = 0.9;
             p.Lighting.PrimaryLightColor = C(255, 170, 100);
             p.Lighting.AmbientLightColor = C(170, 140, 190);
             p.Lighting.LightAltitude = 82.0;
             p.Lighting.LightAzimuth = 235.0;
             p.Lighting.SunSize = 30.0;
             TCloud& c = p.Clouds.Items[0];
             c.Draw = 1, c.Height = 50.0, c.Cover = 35, c.Density = 25, c.Size = 300;
             c.CloudColor1 = C(255, 190, 150), c.CloudColor2 = C(150, 110, 130);
             SetSurface(p.Fractal.TerrainSurfaces[0], C(60, 85, 30), C(110, 100, 40), 5.0, 1.0);
             SetSurface(p.Fractal.TerrainSurfaces[1], C(150, 120, 80), C(130, 95, 60), 5.0, 1.0);
             p.Water.Surface.PrimaryColor = C(70, 50, 60);
             p.Water.Surface.SecondaryColor = C(140, 90, 70);
         }},
        {"overcast.ini", "Overcast",
         [](TProject& p) {
             TAtmosphereBlock& a = p.Atmosphere;
             a.SkyColor = C(150, 155, 165);
             a.HorizonColor = C(195, 198, 205);
             a.FogColor = C(200, 202, 208);
             a.DecayColor = C(150, 160, 180);
             a.FogDensity = 0.25;
             a.Ambient = 0.55;
             a.Diffuse = 0.45;
             a.Blueing = 0.2;
             a.Glowing = 0.05;
             a.ShadowDepth = 0.15;
             a.Distance = 200.0;
             p.Lighting.PrimaryLightColor = C(215, 218, 225);
             p.Lighting.AmbientLightColor = C(200, 205, 215);
             p.Lighting.LightAltitude = 40.0;
             p.Lighting.LightAzimuth = 200.0;
             p.Lighting.SunSize = 5.0;
             TCloud& c = p.Clouds.Items[0];
             c.Draw = 1, c.Height = 35.0, c.Cover = 100, c.Density = 85, c.Size = 150;
             c.CloudColor1 = C(205, 205, 210), c.CloudColor2 = C(120, 122, 130);
             SetSurface(p.Fractal.TerrainSurfaces[0], C(45, 75, 35), C(70, 90, 50), 5.0, 1.0);
             SetSurface(p.Fractal.TerrainSurfaces[1], C(105, 105, 95), C(90, 88, 80), 5.0, 1.0);
             p.Water.Surface.PrimaryColor = C(60, 68, 75);
             p.Water.Surface.SecondaryColor = C(95, 100, 108);
         }},
        {"snowy_range.ini", "Snowy Range",
         [](TProject& p) {
             TAtmosphereBlock& a = p.Atmosphere;
             a.SkyColor = C(40, 95, 215);
             a.HorizonColor = C(170, 200, 240);
             a.FogColor = C(215, 228, 250);
             a.DecayColor = C(90, 140, 255);
             a.FogDensity = 0.08;
             a.Ambient = 0.35;
             a.Diffuse = 0.9;
             a.Blueing = 0.3;
             a.Glowing = 0.3;
             a.ShadowDepth = 0.6;
             p.Lighting.PrimaryLightColor = C(255, 250, 245);
             p.Lighting.AmbientLightColor = C(190, 205, 255);
             p.Lighting.LightAltitude = 50.0;
             p.Lighting.LightAzimuth = 140.0;
             TCloud& c = p.Clouds.Items[0];
             c.Draw = 1, c.Height = 80.0, c.Cover = 15, c.Density = 20, c.Size = 200;
             c.CloudColor1 = C(250, 250, 255), c.CloudColor2 = C(200, 210, 225);
             p.Fractal.TreeLine = 52;
             p.Fractal.SnowLine = 68;
             p.Fractal.BandEdgeFuzziness = 15;
             SetSurface(p.Fractal.TerrainSurfaces[0], C(35, 65, 40), C(60, 80, 45), 5.0, 1.0);
             SetSurface(p.Fractal.TerrainSurfaces[1], C(120, 116, 112), C(92, 88, 86), 5.0, 1.0);
             SetSurface(p.Fractal.TerrainSurfaces[2], C(250, 252, 255), C(215, 225, 240), 4.0, 1.0);
             p.Water.Surface.PrimaryColor = C(25, 55, 95);
             p.Water.Surface.SecondaryColor = C(70, 110, 150);
         }},
    };
    return looks;
}

struct TPlantColours {
    const char* File;
    std::vector<TFloatRGB> Colours; // from index 0; the rest keep the new plant type's defaults
};

// Palette index 0 is the wood; the L-system files step to 1 and 2 for foliage and to 3 and more
// further out.
const std::vector<TPlantColours>& PlantColours()
{
    static const std::vector<TPlantColours> colours = {
        {"conifer.ini", {RGB(80, 55, 35), RGB(25, 70, 35), RGB(35, 85, 45), RGB(30, 78, 40)}},
        {"broadleaf.ini", {RGB(95, 70, 45), RGB(60, 130, 40), RGB(90, 150, 45), RGB(70, 140, 45)}},
        {"bush.ini", {RGB(90, 75, 50), RGB(55, 115, 45), RGB(80, 135, 50), RGB(65, 125, 48)}},
    };
    return colours;
}

bool Render(TProject* project, const std::string& file)
{
    TFractalRenderEngine engine;
    engine.SetProject(&project);
    TGLPanel panel;
    panel.resize(480, 320);
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };
    panel.Redraw();
    std::printf("  %s: %s\n", file.c_str(), engine.LastError.empty() ? engine.CompletionText.c_str() : engine.LastError.c_str());
    return panel.SaveImageToFile(file);
}

// One plant file seen from the side and a little above, filling a 200 x 300 picture.
bool RenderPlant(TProject* project, const TActor& actor, const std::string& file, const std::string& out)
{
    project->Actors.Items = {actor};
    project->Actors.Count = 1;
    TPlant plant;
    plant.SetProject(&project);
    plant.FarFile = plant.MidFile = plant.NearFile = file;
    TGLPanel panel;
    panel.resize(200, 300);
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel&) {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, 200, 300);
        gl.glClearColor(0.75f, 0.85f, 1.0f, 1.0f);
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl.glEnable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.gluPerspective(30.0, 200.0 / 300.0, 1.0, 1000.0);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.gluLookAt(0, 70, 520, 0, 50, 0, 0, 1, 0);
        plant.VaryPlantColor(0, {0.3f, 0.6f, 0.2f});
        plant.DrawPlant({0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0, 100.0);
        gl.glFinish();
    };
    panel.Redraw();
    std::printf("  %s: %d triangles\n", out.c_str(), plant.CurrentShape() ? plant.CurrentShape()->Count() : 0);
    return panel.SaveImageToFile(out);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--pictures")) {
        std::fprintf(stderr, "usage: make_samples DATA_FOLDER [--pictures FOLDER]\n");
        return 2;
    }
    const std::string data = argv[1];
    const std::string templates = data + "/Templates/", plants = data + "/Plants/";
    QDir().mkpath(QString::fromStdString(templates));
    bool ok = true;
    for (const TLook& look : Looks()) {
        TProject project;
        look.Set(project);
        project.Header.Name = look.Name;
        const std::string file = templates + look.File;
        QFile::remove(QString::fromStdString(file)); // a fresh file: nothing left of an older one
        ok = project.ExportEnvironmentSettings(file) && ok;
        std::printf("%s\n", file.c_str());
    }
    for (const TPlantColours& c : PlantColours()) {
        TActorBlock block;
        TActor& actor = block.Items[AddPlantType(block)];
        for (size_t i = 0; i < c.Colours.size(); ++i) actor.Colors[i] = c.Colours[i];
        const std::string file = plants + c.File;
        QFile::remove(QString::fromStdString(file));
        std::string error;
        if (!SavePlantColors(actor, file, &error)) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
            ok = false;
        }
        std::printf("%s\n", file.c_str());
    }
    if (argc == 4) {
        const std::string pictures = std::string(argv[3]) + "/";
        QDir().mkpath(QString::fromStdString(pictures));
        std::string error;
        if (!LoadOpenGLLibraries("SGI", &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        TSyntheticLandscapeOptions options;
        options.Size = 98;
        options.FractalDepth = 3;
        options.Relief = 900;
        {
            std::unique_ptr<TProject> project = MakeSyntheticLandscape(options);
            ok = Render(project.get(), pictures + "default.bmp") && ok;
        }
        for (const TLook& look : Looks()) {
            std::unique_ptr<TProject> project = MakeSyntheticLandscape(options);
            ok = project->ImportEnvironmentSettings(templates + look.File) && ok;
            ok = Render(project.get(), pictures + QFileInfo(look.File).baseName().toStdString() + ".bmp") && ok;
        }
        TProject project;
        for (const TPlantColours& c : PlantColours()) {
            const std::string type = QFileInfo(c.File).baseName().toStdString();
            TActorBlock block;
            TActor actor = block.Items[AddPlantType(block)];
            std::string loadError;
            LoadPlantColors(actor, plants + c.File, &loadError);
            for (const char* view : {"_far", "_mid", "_near"})
                ok = RenderPlant(&project, actor, plants + type + view + ".ls", pictures + type + view + ".bmp") && ok;
        }
    }
    return ok ? 0 : 1;
}
