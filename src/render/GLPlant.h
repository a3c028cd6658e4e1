#pragma once
// TPlant: one plant type of the project drawn as flat-shaded polygons. Its shape comes from three
// L-system files (far, middle and near views), chosen per plant by the plant's height on the screen;
// its colours are the plant type's sixteen, varied in hue and lightness per place.
//
// Every plant grows from its own seed, drawn from the shared generator when its file is chosen.
// Grown shapes are kept in a bounded cache by file and seed (a file whose rules leave nothing to
// chance grows one shape for every seed, so it is kept once); plants are gathered into batches of
// triangles and drawn as vertex arrays.
#include "project/TypeDefinition.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TProject;
struct TLParserBuffer;

// A grown plant ready to draw: triangles in the drawing axes (across, height, along) with the
// lowest point at height 0, each with its unit normal and palette index.
struct TPlantShape {
    float Extent = 0;               // highest minus lowest height of the file's vertices
    std::vector<float> Vertices;    // 9 per triangle
    std::vector<TVector3> Normals;  // 1 per triangle
    std::vector<int32_t> Colours;   // 1 per triangle
    int Count() const { return static_cast<int>(Colours.size()); }
};

// Grown shapes by file and seed, within a bound on the triangles kept (the oldest shape goes
// first). What it returns is exactly what the parser grows for that file and seed; a bound of 0
// keeps nothing and parses on every call.
class TPlantShapeCache {
public:
    static constexpr std::size_t DefaultMaxTriangles = std::size_t(1) << 19;
    static constexpr std::size_t MaxFiles = 64;

    explicit TPlantShapeCache(std::size_t maxTriangles = DefaultMaxTriangles);
    ~TPlantShapeCache();
    TPlantShapeCache(const TPlantShapeCache&) = delete;
    TPlantShapeCache& operator=(const TPlantShapeCache&) = delete;

    // The shape file (a path, found whatever its case, with or without ".ls") grows from seed;
    // nullptr when the file cannot be used. parsed is set when the parser ran for this call.
    std::shared_ptr<const TPlantShape> Shape(const std::string& file, int32_t seed, bool* parsed = nullptr);
    // Drops what came from files changed, added or removed on disk since they were read.
    void ForgetChangedFiles();
    std::size_t Triangles() const { return triangles_; }
    std::size_t Shapes() const { return shapes_.size(); }

private:
    struct TFileEntry;
    using TKey = std::pair<std::string, int32_t>;
    TFileEntry& FileEntry(const std::string& file);
    void Forget(const std::string& file);

    std::size_t maxTriangles_;
    std::map<std::string, std::unique_ptr<TFileEntry>> files_;
    std::map<TKey, std::shared_ptr<const TPlantShape>> shapes_;
    std::deque<TKey> order_; // insertion order, for eviction
    std::size_t triangles_ = 0;
    std::unique_ptr<TLParserBuffer> buffer_;
};

// Plants' triangles waiting to be drawn together: per vertex three position and three colour floats.
struct TPlantBatch {
    // A batch is drawn once it holds this many vertices, so its size stays bounded.
    static constexpr std::size_t FlushVertices = 3 * 65536;
    std::vector<float> Vertices, Colours;
    std::size_t VertexCount() const { return Vertices.size() / 3; }
    bool Full() const { return VertexCount() >= FlushVertices; }
    // Draws the triangles, both sides of each, as one vertex array and empties the batch (GL
    // context current). The caller's enables, current colour and client arrays are kept.
    void Draw();
};

class TPlant {
public:
    TPlant();
    ~TPlant();
    TPlant(const TPlant&) = delete;
    TPlant& operator=(const TPlant&) = delete;

    // The last haze passed to DrawPlant.
    float HazeColour[3] = {0, 0, 0};
    float HazeAmount[3] = {0, 0, 0};
    // Full paths of the three L-system files; an empty name keeps the shape drawn last.
    std::string FarFile, MidFile, NearFile;
    // The working palette.
    TFloatRGB Palette[16];
    uint8_t Flag = 0;

    void SetProject(TProject** projectVar) { projectVar_ = projectVar; }
    // The shapes cache to grow plants through (not owned; by default the plant's own).
    void SetShapeCache(TPlantShapeCache* cache) { cache_ = cache; }

    // Replaces the palette by the colours of plant type actorIndex, varied per point. An index that
    // names no plant type keeps the palette.
    void VaryPlantColor(int32_t actorIndex, const TVector3& point);
    // Draws one plant standing at position, height render units tall (GL context current).
    void DrawPlant(const TVector3& position, const TVector3& hazeColour, const TVector3& hazeAmount,
                   double lightFactor, double height);
    // The same plant added to batch instead of drawn: drawing the batch gives the same picture as
    // drawing its plants one by one in the order they were added.
    void AddPlant(TPlantBatch& batch, const TVector3& position, const TVector3& hazeColour,
                  const TVector3& hazeAmount, double lightFactor, double height);

    // Pixels between the projected foot and top: 256 when only one of them is in the view volume,
    // 0 when neither is. Uses the current matrices (the same transformation as feedback mode).
    double EstimateScreenSize(const TVector3& point, double height) const;
    // The file for a screen size, or nullptr to keep the shape drawn last.
    const std::string* FileForScreenSize(double size) const;
    void GetPlantColor(int32_t index, TFloatRGB& colour) const;
    TFloatRGB ShadePlantColour(const TFloatRGB& colour, const TVector3& normal, const TVector3& sun,
                               double lightFactor) const;
    TFloatRGB ApplyHaze(const TFloatRGB& colour) const;
    // normalise(sin Az, sin(90 - Alt), cos(Az + 180)) from the project's light angles (degrees).
    static TVector3 SunDirectionFor(double azimuth, double altitude);

    // The shape drawn last (nullptr when none or when its file failed), the file it came from and
    // the number of times the parser ran.
    const TPlantShape* CurrentShape() const { return current_.get(); }
    const std::string& CurrentFile() const { return currentFile_; }
    int ParserRuns() const { return parserRuns_; }

private:
    TProject& Project() const;
    TPlantShapeCache& Cache();

    TProject** projectVar_ = nullptr;
    TPlantShapeCache* cache_ = nullptr;
    std::unique_ptr<TPlantShapeCache> ownCache_;
    std::shared_ptr<const TPlantShape> current_;
    std::string currentFile_;
    int parserRuns_ = 0;
    TPlantBatch single_; // DrawPlant's batch of one
};
