#pragma once
// TPlant: one plant type of the project drawn as flat-shaded polygons. Its shape comes from three
// L-system files (far, middle and near views), chosen per plant by the plant's height on the screen;
// its colours are the plant type's sixteen, varied in hue and lightness per place.
//
// A file grows a few different plants per render (the parser's seed is drawn from the shared
// generator, folded onto VariantsPerFile shapes); each shape is expanded once and kept, so a forest
// costs one expansion per file and variant, not one per tree.
#include "project/TypeDefinition.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
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

class TPlant {
public:
    static constexpr int VariantsPerFile = 4;

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

    // Replaces the palette by the colours of plant type actorIndex, varied per point. An index that
    // names no plant type keeps the palette.
    void VaryPlantColor(int32_t actorIndex, const TVector3& point);
    // Draws one plant standing at position, height render units tall (GL context current).
    void DrawPlant(const TVector3& position, const TVector3& hazeColour, const TVector3& hazeAmount,
                   double lightFactor, double height);

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
    const TPlantShape* CurrentShape() const { return current_; }
    const std::string& CurrentFile() const { return currentFile_; }
    int ParserRuns() const { return parserRuns_; }

private:
    TProject& Project() const;
    // The shape of file for a drawn seed, parsed on first use; nullptr when the file is unusable.
    const TPlantShape* ShapeFor(const std::string& file, int32_t seed);

    TProject** projectVar_ = nullptr;
    std::unique_ptr<TLParserBuffer> buffer_;
    // Per file and variant: the shape grown (null: not yet), or a failed attempt.
    struct TFileShapes {
        std::array<bool, VariantsPerFile> Failed{};
        std::array<std::unique_ptr<TPlantShape>, VariantsPerFile> Shapes;
    };
    std::map<std::string, TFileShapes> shapes_;
    const TPlantShape* current_ = nullptr;
    std::string currentFile_;
    int parserRuns_ = 0;
};
