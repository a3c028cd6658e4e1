#pragma once
// TOverlayRenderEngine: the simpler landscape renderer. It drapes the project's overlay pictures
// over the height grid: the grid is drawn once per overlay as lit, textured, fogged triangle fans
// (one fan of four triangles around the centre of each cell), the first overlay opaque and every
// later one blended with its alpha over those before, all under the sky dome of TRenderEngine.
//
// Cells are collected a row at a time into vertex arrays and drawn with one call per row; the
// triangles, their order and every vertex value are those of one fan per cell (DrawSurface), so
// the picture is the same. Messages are still pumped after every cell, so Abort acts within one
// cell: the cells collected so far are drawn before the render stops.
#include "render/RendererEngine.h"

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

struct TCellGeometry;
class TGLPanel;
class TProject;

class TOverlayRenderEngine : public TRenderEngine {
public:
    // Overlay i is compiled into display list OverlayListBase + i.
    static constexpr GLuint OverlayListBase = 1500;

    TOverlayRenderEngine() = default;

    // The whole picture; never throws (a failure ends in the message "crashed").
    void Render(TGLPanel& panel) override;
    // Exponential fog in the atmosphere's fog colour, density FogDensity / (100 factor).
    void SetupFog(double factor);
    // Counts one quad and draws the cell whose corner 0 is (column, row) as one fan.
    void DrawCell(int32_t column, int32_t row);
    // One cell as a fan of six vertices: centre, corners 0, 1, 2, 3 and corner 0 again.
    void DrawSurface(const TCellGeometry& cell);

    // Texture coordinate of a render-frame point: u across the grid's width from corner 0,
    // v = 1 at corner 0's edge falling to 0 at the far edge. A grid of no width or depth gives 0
    // along that axis.
    static TDoublePoint TextureCoordinate(const TProject& project, double x, double z);
    // The overlay's picture file: the folder and the file name, with a separator between them
    // when the folder text does not end in one.
    static std::string OverlayFileName(const std::string& directory, const std::string& fileName);
    // Whether the folder exists (as written, or with '\' read as '/').
    static bool FolderExists(const std::string& directory);
    // Rows in the order they are drawn: ascending when the eye's third component is greater than
    // the target's, else descending.
    static std::vector<int32_t> RowOrder(const TProject& project);

    // Cells collected a row at a time and drawn with one call (the default), or drawn one fan at a
    // time through DrawCell; both give the same picture.
    bool BatchCells = true;
    // Set once the missing-folder question was answered with anything but Yes.
    uint8_t PathsQuestionAnswered = 0;
    // Indexes of the overlays the last render drew, in order (a picture that failed to load is
    // left out).
    std::vector<int> DrawnOverlays;
    // Empty after a render that ran to its end (aborted included); otherwise what went wrong.
    std::string LastError;

private:
    void AskAboutMissingFolder(const TProject& project);
    void DrawOverlays(TProject& project);
};
