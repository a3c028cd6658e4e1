#include "render/ML3DS.h"

#include "Model3DSFixture.h"
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/GLPanel.h"
#include "render/RendererEngine.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cfenv>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

using namespace fixture3ds;

namespace {

class TTestEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

using RecordingPrompt = qxtest::TMessageLog;

void SavePicture(const std::string& path, int width, int height, const std::function<QRgb(int, int)>& pixel)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, pixel(x, y));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP"));
}

class ML3DSTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousPrompt_ = SetPrompt(&prompt);
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(4, 4, 10.0, 10.0));
        project->WorldScale = 1.0;
        project->Camera.Eye = {0, 0, 50};
        project->Camera.Target = {0, 0, 0};
        // Shading that keeps a colour as it is: the pictures show the material colours.
        project->Atmosphere.Ambient = 1.0;
        project->Atmosphere.Diffuse = 0.0;
        project->Models.Directory = dir.file("project-models");
        AtmosphereParams = TAtmosphereParams{};
        engine.SetProject(&project);
        models.Project = &project;
    }
    void TearDown() override
    {
        SetPrompt(previousPrompt_);
        delete project;
        AtmosphereParams = TAtmosphereParams{};
        UnloadOpenGLLibraries();
    }
    std::string WriteModel(const std::string& name, const Bytes& bytes)
    {
        const std::string path = dir.file(name);
        Write(path, bytes);
        return path;
    }
    // Draws with an orthographic view of x and y from -16 to 16 onto 64 x 64 pixels (2 per unit,
    // looking down -z) on white; returns the picture.
    QImage Draw(const std::function<void()>& body)
    {
        std::string error;
        EXPECT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        TGLPanel panel;
        panel.resize(64, 64);
        panel.GLObjectLoaded = true;
        panel.OnGLDraw = [&](TGLPanel&) {
            const TGLEntryPoints& gl = GL();
            gl.glViewport(0, 0, 64, 64);
            gl.glClearColor(1, 1, 1, 1);
            gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            gl.glEnable(GL_DEPTH_TEST);
            gl.glDisable(GL_LIGHTING);
            gl.glMatrixMode(GL_PROJECTION);
            gl.glLoadIdentity();
            gl.glOrtho(-16, 16, -16, 16, -100, 100);
            gl.glMatrixMode(GL_MODELVIEW);
            gl.glLoadIdentity();
            body();
            EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        };
        panel.Redraw();
        return panel.Picture();
    }
    static GLint Get(GLenum name)
    {
        GLint value = -1;
        GL().glGetIntegerv(name, &value);
        return value;
    }
    // Rows and columns of the picture that are not white.
    struct Extent {
        int Left = 64, Right = -1, Top = 64, Bottom = -1;
    };
    static Extent Covered(const QImage& picture)
    {
        Extent e;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (picture.pixel(x, y) != qRgb(255, 255, 255)) {
                    e.Left = std::min(e.Left, x), e.Right = std::max(e.Right, x);
                    e.Top = std::min(e.Top, y), e.Bottom = std::max(e.Bottom, y);
                }
        return e;
    }

    qxtest::TempDir dir;
    RecordingPrompt prompt;
    TProject* project = nullptr;
    TTestEngine engine;
    TML3DS models;
    IPrompt* previousPrompt_ = nullptr;
};

// ---- Building ------------------------------------------------------------------------------------

TEST_F(ML3DSTest, SmoothingGroupsShareOrSplitVertices)
{
    struct Case {
        const char* what;
        std::vector<std::uint32_t> smoothing; // per face; empty: no smoothing chunk
        std::size_t vertices;
        bool axisNormals; // every normal is its side's outward normal (else averaged)
    };
    const std::vector<Case> cases = {
        {"no smoothing: every face its own corners", {}, 36, true},
        {"a group per side", {1, 1, 2, 2, 4, 4, 8, 8, 16, 16, 32, 32}, 24, true},
        // Only the lowest bit of a mask counts: 3 and 1 are the same group, 6 and 2 as well.
        {"lowest bits per side", {3, 1, 6, 2, 4, 4, 8, 8, 16, 16, 96, 32}, 24, true},
        {"all in group 1", std::vector<std::uint32_t>(12, 1), 8, false},
        {"group 0 counts as no group", std::vector<std::uint32_t>(12, 0), 36, true},
    };
    for (const Case& c : cases) {
        MeshDesc box = Box(-1, -1, -1, 1, 1, 1);
        box.Smoothing = c.smoothing;
        models.LoadFromFile(WriteModel("cube.3ds", Model({Mesh(box)})));
        models.Build();
        ASSERT_EQ(models.Meshes().size(), 1u) << c.what;
        const TML3DS::TMesh& mesh = models.Meshes()[0];
        EXPECT_EQ(mesh.VertexCount(), c.vertices) << c.what;
        ASSERT_EQ(mesh.Normals.size(), mesh.Vertices.size());
        for (const auto& group : mesh.FaceGroups)
            for (std::size_t t = 0; t + 2 < group.Indices.size(); t += 3)
                for (int k = 0; k < 3; ++k) {
                    const TVector3& v = mesh.Vertices[group.Indices[t + k]];
                    const TVector3& n = mesh.Normals[group.Indices[t + k]];
                    EXPECT_NEAR(std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z), 1.0, 1e-5) << c.what;
                    // Release 3 and counter-clockwise sides: normals point out of the cube.
                    EXPECT_GT(n.X * v.X + n.Y * v.Y + n.Z * v.Z, 0.5) << c.what;
                    const int axes = (std::fabs(n.X) > 0.999f) + (std::fabs(n.Y) > 0.999f) + (std::fabs(n.Z) > 0.999f);
                    if (c.axisNormals)
                        EXPECT_EQ(axes, 1) << c.what;
                    else
                        EXPECT_TRUE(std::fabs(n.X) > 0.1 && std::fabs(n.Y) > 0.1 && std::fabs(n.Z) > 0.1) << c.what;
                }
        prompt.shown.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // a new file time for the next case
    }
}

TEST_F(ML3DSTest, ReleaseDecidesTheSenseOfFaceNormals)
{
    struct Case {
        std::uint32_t version;
        float sense; // of the +z side's normal
    };
    // 1 and 2: edge products e1 x e2; 3 and an unknown release: e2 x e1.
    for (const Case& c : {Case{1, -1}, Case{2, -1}, Case{3, 1}, Case{9, 1}}) {
        models.LoadFromFile(WriteModel("r" + std::to_string(c.version) + ".3ds",
                                       Model({Mesh(Box(0, 0, 0, 1, 1, 1))}, c.version)));
        models.Build();
        const TML3DS::TMesh& mesh = models.Meshes().at(0);
        // Face 2 is the first triangle of the top side; its first corner is vertex 4.
        const TVector3& n = mesh.Normals[mesh.FaceGroups.at(0).Indices.at(6)];
        EXPECT_FLOAT_EQ(n.Z, c.sense) << "release " << c.version;
    }
}

TEST_F(ML3DSTest, MaterialsSortedDefaultAndMissing)
{
    // Without materials: the grey default.
    models.LoadFromFile(WriteModel("plain.3ds", Model({Mesh(Box(0, 0, 0, 1, 1, 1))})));
    models.Build();
    ASSERT_EQ(models.Materials().size(), 1u);
    EXPECT_EQ(models.Materials()[0].Name, "Default");
    EXPECT_FLOAT_EQ(models.Materials()[0].Material.Diffuse[0], 0.5f);
    EXPECT_EQ(models.Materials()[0].Material.Shininess, 128);

    // Named materials are sorted without regard to case; an unknown name takes the first one.
    MeshDesc box = Box(0, 0, 0, 1, 1, 1);
    box.Groups = {{"wood", {0, 1}}, {"Metal", {2, 3}}, {"glass", {4}}};
    models.LoadFromFile(WriteModel("named.3ds", Model({Material("wood", {200, 100, 0}, 0), Material("Metal", {10, 10, 10}),
                                                       Mesh(box)})));
    models.Build();
    ASSERT_EQ(models.Materials().size(), 2u);
    EXPECT_EQ(models.Materials()[0].Name, "Metal");
    EXPECT_EQ(models.Materials()[1].Name, "wood");
    EXPECT_EQ(models.MaterialIndexOf("WOOD"), 1);
    const TML3DS::TMaterial& wood = models.Materials()[1].Material;
    EXPECT_NEAR(wood.Diffuse[0], 200 / 255.0, 1e-6);
    EXPECT_EQ(wood.EnvMode, static_cast<GLenum>(GL_DECAL)); // shininess 0
    EXPECT_EQ(models.Materials()[0].Material.Shininess, 64);
    const auto& groups = models.Meshes().at(0).FaceGroups;
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].MaterialIndex, 1);
    EXPECT_EQ(groups[1].MaterialIndex, 0);
    EXPECT_EQ(groups[2].MaterialIndex, 0);
    EXPECT_EQ(groups[0].Indices.size(), 6u);
    EXPECT_EQ(prompt.shown, std::vector<std::string>{"Material 'glass' not found. Using default material."});
}

TEST_F(ML3DSTest, TexturePicturesFoundSizedOrRefused)
{
    struct Case {
        const char* what;
        std::string place; // folder below the model's, "" beside it, "-" nowhere, "project" the models folder
        int width, height;
        int texWidth, texHeight; // 0: not textured
        std::string message;
    };
    const std::vector<Case> cases = {
        {"beside the model", "", 8, 8, 8, 8, ""},
        {"stretched to powers of two", "", 640, 480, 512, 256, ""},
        {"in the maps folder", "maps", 16, 4, 16, 4, ""},
        {"in the textures folder", "Textures", 4, 16, 4, 16, ""},
        {"in the project's models folder", "project", 4, 4, 4, 4, ""},
        {"too narrow", "", 2, 64, 0, 0, "Texture object could not be created (SKIN.BMP)"},
        {"nowhere", "-", 8, 8, 0, 0, "Texture image not found (SKIN.BMP)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::filesystem::path folder = dir.path() / ("case" + std::to_string(n++));
        std::filesystem::create_directories(folder);
        std::filesystem::path pictureFolder = folder;
        if (c.place == "project")
            pictureFolder = project->Models.Directory;
        else if (!c.place.empty() && c.place != "-")
            pictureFolder = folder / c.place;
        std::filesystem::create_directories(pictureFolder);
        if (c.place != "-")
            SavePicture((pictureFolder / "skin.bmp").string(), c.width, c.height,
                        [](int x, int) { return x == 0 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); });
        MeshDesc box = Box(0, 0, 0, 1, 1, 1);
        box.Groups = {{"skin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}};
        const std::string file = (folder / "m.3ds").string();
        Write(file, Model({Material("skin", {0, 255, 0}, 50, "SKIN.BMP"), Mesh(box)}));
        prompt.shown.clear();
        models.LoadFromFile(file);
        models.Build();
        const TML3DS::TMaterial& m = models.Materials().at(0).Material;
        EXPECT_EQ(m.Textured, c.texWidth > 0) << c.what;
        EXPECT_EQ(m.TexWidth, c.texWidth) << c.what;
        EXPECT_EQ(m.TexHeight, c.texHeight) << c.what;
        if (c.message.empty()) {
            EXPECT_TRUE(prompt.shown.empty()) << c.what;
            ASSERT_TRUE(m.Texels) << c.what;
            EXPECT_EQ(m.Texels->size(), std::size_t(c.texWidth) * c.texHeight * 3) << c.what;
            EXPECT_FLOAT_EQ((*m.Texels)[0], 1.0f) << c.what; // the red first column
        } else {
            EXPECT_EQ(prompt.shown, std::vector<std::string>{c.message}) << c.what;
        }
        std::filesystem::remove_all(project->Models.Directory);
    }
}

// ---- Drawing -------------------------------------------------------------------------------------

TEST_F(ML3DSTest, DrawnScaledToHeightWithItsLowestPointOnThePosition)
{
    // File z from 1 to 3 (2 units tall), x from -2 to 2 and y from -1 to 1: height 10 gives scale 5.
    MeshDesc box = Box(-2, -1, 1, 2, 1, 3);
    box.Groups = {{"red", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}};
    models.LoadFromFile(WriteModel("box.3ds", Model({Material("red", {255, 0, 0}), Mesh(box)})));
    struct Case {
        double angle;
        Extent expected; // pixels: column = (X + 16) * 2, row = (16 - Y) * 2
    };
    // Unturned the box spans X -10..10 and Y -8..2; turned 90 degrees about the vertical its
    // file y side (X -5..5) faces the viewer; at 45 degrees X spans 10.6 either way.
    for (const Case& c : {Case{0, {12, 51, 28, 47}}, Case{90, {22, 41, 28, 47}}, Case{45, {11, 52, 28, 47}}}) {
        const QImage picture = Draw([&] {
            const GLint attrib = Get(GL_ATTRIB_STACK_DEPTH), matrix = Get(GL_MODELVIEW_STACK_DEPTH);
            std::feraiseexcept(FE_INVALID | FE_DIVBYZERO);
            models.RenderModelAt(engine, {0, -8, 0}, c.angle, 10.0, 1.0);
            EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO), 0); // the guard after glEnd
            EXPECT_EQ(Get(GL_ATTRIB_STACK_DEPTH), attrib);
            EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), matrix);
        });
        const Extent e = Covered(picture);
        EXPECT_NEAR(e.Left, c.expected.Left, 1) << c.angle;
        EXPECT_NEAR(e.Right, c.expected.Right, 1) << c.angle;
        EXPECT_NEAR(e.Top, c.expected.Top, 1) << c.angle;
        EXPECT_NEAR(e.Bottom, c.expected.Bottom, 1) << c.angle;
        EXPECT_EQ(picture.pixel(32, 40), qRgb(255, 0, 0)) << c.angle;
    }
    EXPECT_FLOAT_EQ(models.MinY, 1.0f);
    EXPECT_FLOAT_EQ(models.MaxY, 3.0f);

    // The sense of the turn: a box behind the foot (file y 1..2, GL Z 5..10) turned by a positive
    // angle comes round to the left of the foot (X -10..-5), by a negative one to its right.
    MeshDesc behind = Box(-2, 1, 1, 2, 2, 3);
    models.LoadFromFile(WriteModel("behind.3ds", Model({Mesh(behind)})));
    for (const Case& c : {Case{90, {12, 21, 28, 47}}, Case{-90, {42, 51, 28, 47}}}) {
        const Extent e = Covered(Draw([&] { models.RenderModelAt(engine, {0, -8, 0}, c.angle, 10.0, 1.0); }));
        EXPECT_NEAR(e.Left, c.expected.Left, 1) << c.angle;
        EXPECT_NEAR(e.Right, c.expected.Right, 1) << c.angle;
    }
}

TEST_F(ML3DSTest, ModelWithoutMaterialsIsGreyAndLitByTheEngine)
{
    models.LoadFromFile(WriteModel("grey.3ds", Model({Mesh(Box(-1, -1, 0, 1, 1, 2))})));
    struct Case {
        double ambient, lightFactor;
        int expected; // grey level
    };
    // Diffuse 0.5 shaded by the ambient term (the sun term is off): 0.5 x ambient.
    for (const Case& c : {Case{1.0, 1.0, 128}, Case{0.5, 0.2, 64}, Case{4.0, 1.0, 255}}) {
        project->Atmosphere.Ambient = c.ambient;
        const QImage picture = Draw([&] { models.RenderModelAt(engine, {0, -8, 0}, 0, 10.0, c.lightFactor); });
        EXPECT_NEAR(qRed(picture.pixel(32, 40)), c.expected, 1) << c.ambient;
        EXPECT_EQ(qRed(picture.pixel(32, 40)), qBlue(picture.pixel(32, 40)));
    }
}

TEST_F(ML3DSTest, TexturedFacesShowTheLitTextureTheSameWithEitherLighting)
{
    // A square facing the viewer (file y = 0 is the plane z = 0 in GL), mapped once with a
    // texture that is red on the left half and blue on the right.
    SavePicture(dir.file("rb.bmp"), 8, 8, [](int x, int) { return x < 4 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); });
    MeshDesc square;
    square.Vertices = {{-1, 0, 0}, {1, 0, 0}, {1, 0, 2}, {-1, 0, 2}};
    square.Faces = {{0, 1, 2}, {0, 2, 3}};
    square.UV = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    square.Groups = {{"rb", {0, 1}}};
    models.LoadFromFile(WriteModel("square.3ds", Model({Material("rb", {0, 255, 0}, 50, "rb.bmp"), Mesh(square)})));

    const QImage plain = Draw([&] { models.RenderModelAt(engine, {0, -8, 0}, 0, 10.0, 1.0); });
    EXPECT_EQ(plain.pixel(26, 40), qRgb(255, 0, 0));
    EXPECT_EQ(plain.pixel(38, 40), qRgb(0, 0, 255));

    // With haze and a dimmer light the per-triangle coefficients and the per-texel evaluation
    // give the same picture.
    project->Atmosphere.Ambient = 0.7;
    AtmosphereParams.Ceiling = 100;
    AtmosphereParams.Floor = -100;
    AtmosphereParams.FogDensity = 0.5;
    AtmosphereParams.FogDistance = 100;
    AtmosphereParams.MistHeight = 1;
    AtmosphereParams.FogColour = {0.2f, 0.9f, 0.4f};
    const QImage fast = Draw([&] { models.RenderModelAt(engine, {0, -8, 0}, 0, 10.0, 0.6); });
    models.FastTexelLighting = false;
    const QImage slow = Draw([&] { models.RenderModelAt(engine, {0, -8, 0}, 0, 10.0, 0.6); });
    EXPECT_NE(fast.pixel(26, 40), plain.pixel(26, 40)); // the haze did change the colours
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb a = fast.pixel(x, y), b = slow.pixel(x, y);
            ASSERT_LE(std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)), 1)
                << x << "," << y;
        }
    EXPECT_EQ(models.BuildCount, 1); // the unchanged file was built once for all three draws
}

TEST_F(ML3DSTest, DamagedOrUnscalableModelsSimplyDoNotAppear)
{
    const Bytes good = Model({Mesh(Box(-1, -1, 0, 1, 1, 2))});
    Bytes truncated(good.begin(), good.begin() + good.size() / 2);
    MeshDesc flat;
    flat.Vertices = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}};
    flat.Faces = {{0, 1, 2}};
    MeshDesc badFace = Box(-1, -1, 0, 1, 1, 2);
    badFace.Faces.push_back({0, 1, 40});
    MeshDesc badGroup = Box(-1, -1, 0, 1, 1, 2);
    badGroup.Groups = {{"a", {0, 99}}};
    struct Case {
        const char* what;
        Bytes bytes;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"truncated file", truncated, false},
        {"not a 3DS file (an unknown root chunk, nothing in it)", Bytes(100, 0x41), true},
        {"face past the vertices", Model({Mesh(badFace)}), true},
        {"material group past the faces", Model({Material("a", {1, 2, 3}), Mesh(badGroup)}), true},
        {"two materials of one name", Model({Material("a", {1, 2, 3}), Material("A", {4, 5, 6}), Mesh(Box(-1, -1, 0, 1, 1, 2))}), true},
        {"flat model (no height)", Model({Mesh(flat)}), true},
        {"no meshes", Model({Material("a", {1, 2, 3})}), true},
    };
    int n = 0;
    for (const Case& c : cases) {
        // A good model first, so that a failure cannot leave its drawing behind.
        models.LoadFromFile(WriteModel("good.3ds", good));
        const std::string path = WriteModel("bad" + std::to_string(n++) + ".3ds", c.bytes);
        if (c.loads)
            EXPECT_NO_THROW(models.LoadFromFile(path)) << c.what;
        else
            EXPECT_THROW(models.LoadFromFile(path), E3DSError) << c.what;
        const QImage picture = Draw([&] {
            const GLint attrib = Get(GL_ATTRIB_STACK_DEPTH), matrix = Get(GL_MODELVIEW_STACK_DEPTH);
            EXPECT_NO_THROW(models.RenderModelAt(engine, {0, -8, 0}, 30, 10.0, 1.0)) << c.what;
            EXPECT_EQ(Get(GL_ATTRIB_STACK_DEPTH), attrib) << c.what;
            EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), matrix) << c.what;
        });
        EXPECT_EQ(Covered(picture).Right, -1) << c.what;
    }
}

TEST_F(ML3DSTest, AnUnchangedFileIsBuiltOnceAndAChangedOneAgain)
{
    const std::string a = WriteModel("a.3ds", Model({Mesh(Box(0, 0, 0, 1, 1, 1))}));
    const std::string b = WriteModel("b.3ds", Model({Mesh(Box(0, 0, 0, 2, 2, 2))}));
    for (const std::string& file : {a, b, a, b}) {
        models.LoadFromFile(file);
        models.Build();
    }
    EXPECT_EQ(models.BuildCount, 2);
    // Rewriting a file with other contents builds it again, with the new contents.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Write(a, Model({Mesh(Box(0, 0, 0, 4, 1, 1))}));
    models.LoadFromFile(a);
    models.ComputeBoundingBox();
    EXPECT_FLOAT_EQ(models.MaxX, 4.0f);
    models.Build();
    EXPECT_EQ(models.BuildCount, 3);
    EXPECT_FLOAT_EQ(models.Meshes().at(0).Vertices.at(1).X, 4.0f);
    // The box over the raw vertices in GL axes: file z is up.
    Write(b, Model({Mesh(Box(-1, -2, -3, 4, 5, 6))}));
    models.LoadFromFile(b);
    models.ComputeBoundingBox();
    EXPECT_FLOAT_EQ(models.MinX, -1.0f);
    EXPECT_FLOAT_EQ(models.MinY, -3.0f);
    EXPECT_FLOAT_EQ(models.MinZ, -2.0f);
    EXPECT_FLOAT_EQ(models.MaxY, 6.0f);
    EXPECT_FLOAT_EQ(models.MaxZ, 5.0f);
}

} // namespace
