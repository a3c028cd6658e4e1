#include "heightgrid/PlacementTools.h"

#include "project/Project.h"

#include <QBrush>
#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int PickDistance = 6; // pixels, in x and in y

template <class Block>
int used(const Block& block)
{
    return static_cast<int>(std::clamp<int64_t>(block.Count, 0, static_cast<int64_t>(block.Items.size())));
}

int vertexCount(const TTerrainPoly& poly)
{
    return static_cast<int>(std::clamp<int64_t>(poly.PointCount, 0, static_cast<int64_t>(poly.Points.size())));
}

bool near(QPoint a, QPoint b) { return std::abs(a.x() - b.x()) < PickDistance && std::abs(a.y() - b.y()) < PickDistance; }

const TTerrainLayer* layerByID(const TProject& project, int32_t id)
{
    for (int i = 0; i < used(project.TerrainLayers); ++i)
        if (project.TerrainLayers.Items[i].ID == id)
            return &project.TerrainLayers.Items[i];
    return nullptr;
}

int roundToInt(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::clamp(std::nearbyint(v), -1.0e9, 1.0e9));
}

} // namespace

QPoint TPlacementTools::PixelOf(double x, double y) const
{
    return QPoint(roundToInt(x * Width), roundToInt(y * Height));
}

TTerrainPoly* TPlacementTools::poly(bool line, int index) const
{
    TProject* p = Project();
    if (!p || index < 0)
        return nullptr;
    auto& items = line ? p->TerrainLines.Items : p->TerrainPolys.Items;
    const int count = line ? used(p->TerrainLines) : used(p->TerrainPolys);
    return index < count ? &items[index] : nullptr;
}

int TPlacementTools::appendPoly(bool line)
{
    TProject* p = Project();
    if (!p)
        return -1;
    auto append = [&](auto& block) -> int {
        const int count = used(block);
        if (count == INT32_MAX || block.NextID == INT32_MAX)
            return -1;
        block.Items.resize(static_cast<size_t>(count) + 1);
        TTerrainPoly& entry = block.Items[count];
        entry = TTerrainPoly{};
        entry.ID = block.NextID++;
        entry.TerrainLayerID = CurrentLayer;
        block.Count = count + 1;
        return count;
    };
    return line ? append(p->TerrainLines) : append(p->TerrainPolys);
}

void TPlacementTools::appendVertex(TTerrainPoly& poly, QPoint p) const
{
    const int count = vertexCount(poly);
    poly.Points.resize(static_cast<size_t>(count));
    poly.Points.push_back(TMapPoint{p.x() * 1.0 / std::max(Width, 1), p.y() * 1.0 / std::max(Height, 1)});
    poly.PointCount = count + 1;
}

// ---- Regions and lines -----------------------------------------------------------------------------

void TPlacementTools::PolyPress(bool line, QPoint p)
{
    int& open = line ? openLine_ : openRegion_;
    if (open >= 0 && poly(line, open))
        return; // the rubber line goes on from the last vertex
    open = appendPoly(line);
    if (TTerrainPoly* entry = poly(line, open))
        appendVertex(*entry, p);
}

void TPlacementTools::PolyRelease(bool line, QPoint p)
{
    if (TTerrainPoly* entry = poly(line, line ? openLine_ : openRegion_))
        appendVertex(*entry, p);
}

void TPlacementTools::PolyFinish(bool line)
{
    (line ? openLine_ : openRegion_) = -1;
    if (!line)
        ClearSelection();
}

void TPlacementTools::CancelOpen()
{
    for (bool line : {false, true}) {
        int& open = line ? openLine_ : openRegion_;
        if (TTerrainPoly* entry = poly(line, open))
            entry->Deleted = 1;
        open = -1;
    }
}

bool TPlacementTools::LastOpenVertex(QPoint& p) const
{
    for (bool line : {false, true}) {
        const TTerrainPoly* entry = poly(line, line ? openLine_ : openRegion_);
        if (entry && vertexCount(*entry) > 0) {
            const TMapPoint& last = entry->Points[vertexCount(*entry) - 1];
            p = PixelOf(last.X, last.Y);
            return true;
        }
    }
    return false;
}

// ---- Models ----------------------------------------------------------------------------------------

bool TPlacementTools::CurrentLayerModelDefaults(double& size, int& rotation) const
{
    const TProject* p = Project();
    const TTerrainLayer* layer = p ? layerByID(*p, CurrentLayer) : nullptr;
    if (!layer)
        return false;
    size = layer->ModelHeight;
    rotation = std::isfinite(layer->Rotation) ? static_cast<int>(std::clamp(std::trunc(layer->Rotation), -1.0e9, 1.0e9)) : 0;
    return true;
}

int TPlacementTools::PlaceModel(QPoint p, double size, double rotation)
{
    TProject* project = Project();
    if (!project)
        return -1;
    TModelBlock& models = project->Models;
    const int count = used(models);
    if (count == INT32_MAX || models.NextID == INT32_MAX)
        return -1;
    models.Items.resize(static_cast<size_t>(count) + 1);
    TModelPlacement& m = models.Items[count];
    m = TModelPlacement{};
    m.ID = models.NextID++;
    m.Position = TVector3{static_cast<float>(p.x() * 1.0 / std::max(Width, 1)), 0.0f,
                          static_cast<float>(p.y() * 1.0 / std::max(Height, 1))};
    m.Size = size;
    m.Rotation = rotation;
    m.TerrainLayerID = CurrentLayer;
    models.Count = count + 1;
    return count;
}

// ---- Selection -------------------------------------------------------------------------------------

void TPlacementTools::ClearSelection()
{
    SelectedRegion = SelectedLine = SelectedModel = SelectedVertex = -1;
}

std::vector<TPlacementNotice> TPlacementTools::DropSelection()
{
    std::vector<TPlacementNotice> notices;
    if (SelectedModel >= 0)
        notices.push_back({0, pkModel});
    if (SelectedRegion >= 0)
        notices.push_back({0, pkRegion});
    if (SelectedLine >= 0)
        notices.push_back({0, pkLine});
    ClearSelection();
    return notices;
}

std::vector<TPlacementNotice> TPlacementTools::SelectAt(QPoint at)
{
    Moved = false;
    std::vector<TPlacementNotice> notices = DropSelection();
    const TProject* p = Project();
    if (!p)
        return notices;

    for (int i = 0; i < used(p->Models); ++i) {
        const TModelPlacement& m = p->Models.Items[i];
        const QPoint pixel = PixelOf(m.Position.X, m.Position.Z);
        if (!m.Deleted && m.TerrainLayerID == CurrentLayer && near(pixel, at)) {
            SelectedModel = i;
            Marker = pixel;
        }
    }
    if (SelectedModel >= 0) {
        notices.push_back({1, pkModel});
        return notices;
    }
    // Vertices of lines, then of regions; the last one within reach wins.
    for (bool line : {true, false}) {
        const auto& items = line ? p->TerrainLines.Items : p->TerrainPolys.Items;
        const int count = line ? used(p->TerrainLines) : used(p->TerrainPolys);
        for (int i = 0; i < count; ++i) {
            const TTerrainPoly& poly = items[i];
            if (poly.Deleted || poly.TerrainLayerID != CurrentLayer)
                continue;
            for (int v = 0; v < vertexCount(poly); ++v) {
                const QPoint pixel = PixelOf(poly.Points[v].X, poly.Points[v].Y);
                if (near(pixel, at)) {
                    (line ? SelectedLine : SelectedRegion) = i;
                    SelectedVertex = v;
                    Marker = pixel;
                }
            }
        }
        if (SelectedVertex >= 0) {
            notices.push_back({1, line ? pkLine : pkRegion});
            return notices;
        }
    }
    return notices;
}

bool TPlacementTools::DragTo(QPoint p)
{
    TProject* project = Project();
    if (!project)
        return false;
    const double x = p.x() * 1.0 / std::max(Width, 1), y = p.y() * 1.0 / std::max(Height, 1);
    if (SelectedModel >= 0 && SelectedModel < used(project->Models)) {
        TModelPlacement& m = project->Models.Items[SelectedModel];
        m.Position.X = static_cast<float>(x);
        m.Position.Z = static_cast<float>(y);
    } else if (TTerrainPoly* entry = poly(SelectedLine >= 0, SelectedLine >= 0 ? SelectedLine : SelectedRegion);
               entry && SelectedVertex >= 0 && SelectedVertex < vertexCount(*entry)) {
        entry->Points[SelectedVertex] = TMapPoint{x, y};
    } else {
        return false;
    }
    Marker = p;
    Moved = true;
    return true;
}

// ---- Popup commands --------------------------------------------------------------------------------

void TPlacementTools::InsertPoint(bool line)
{
    TTerrainPoly* entry = poly(line, line ? SelectedLine : SelectedRegion);
    if (!entry || SelectedVertex < 0 || SelectedVertex >= vertexCount(*entry))
        return;
    entry->Points.resize(static_cast<size_t>(vertexCount(*entry)));
    entry->Points.insert(entry->Points.begin() + SelectedVertex, entry->Points[SelectedVertex]);
    entry->PointCount = static_cast<int32_t>(entry->Points.size());
}

void TPlacementTools::DeletePoint(bool line)
{
    int& selected = line ? SelectedLine : SelectedRegion;
    TTerrainPoly* entry = poly(line, selected);
    if (!entry || SelectedVertex < 0 || SelectedVertex >= vertexCount(*entry))
        return;
    if (vertexCount(*entry) <= 3) {
        entry->Deleted = 1;
        selected = -1;
    } else {
        entry->Points.resize(static_cast<size_t>(vertexCount(*entry)));
        entry->Points.erase(entry->Points.begin() + SelectedVertex);
        entry->PointCount = static_cast<int32_t>(entry->Points.size());
    }
    SelectedVertex = -1;
}

void TPlacementTools::DeleteSelectedRegion()
{
    if (TTerrainPoly* entry = poly(false, SelectedRegion))
        entry->Deleted = 1;
    SelectedRegion = -1;
    SelectedVertex = -1;
}

void TPlacementTools::DeleteSelectedLine()
{
    if (TTerrainPoly* entry = poly(true, SelectedLine))
        entry->Deleted = 1;
    SelectedLine = -1;
    SelectedVertex = -1;
}

void TPlacementTools::DeleteSelectedModel()
{
    TProject* p = Project();
    if (p && SelectedModel >= 0 && SelectedModel < used(p->Models))
        p->Models.Items[SelectedModel].Deleted = 1;
    SelectedModel = -1;
}

void TPlacementTools::DeleteLayerRegions()
{
    if (TProject* p = Project())
        p->DeleteLayerRegions(CurrentLayer);
    SelectedRegion = -1;
    SelectedVertex = -1;
}

void TPlacementTools::DeleteLayerLines()
{
    if (TProject* p = Project())
        p->DeleteLayerLines(CurrentLayer);
    SelectedLine = -1;
    SelectedVertex = -1;
}

void TPlacementTools::DeleteLayerModels()
{
    if (TProject* p = Project())
        p->DeleteLayerModels(CurrentLayer);
    SelectedModel = -1;
}

bool TPlacementTools::SelectedModelValues(double& size, int& rotation) const
{
    const TProject* p = Project();
    if (!p || SelectedModel < 0 || SelectedModel >= used(p->Models))
        return false;
    const TModelPlacement& m = p->Models.Items[SelectedModel];
    size = m.Size;
    rotation = std::isfinite(m.Rotation) ? static_cast<int>(std::clamp(std::trunc(m.Rotation), -1.0e9, 1.0e9)) : 0;
    return true;
}

void TPlacementTools::SetSelectedModelValues(double size, double rotation)
{
    TProject* p = Project();
    if (!p || SelectedModel < 0 || SelectedModel >= used(p->Models))
        return;
    p->Models.Items[SelectedModel].Size = size;
    p->Models.Items[SelectedModel].Rotation = rotation;
}

// ---- Drawing ---------------------------------------------------------------------------------------

void DrawPlacements(QPainter& painter, const TProject& project, int width, int height)
{
    TPlacementTools pixels;
    pixels.Width = width;
    pixels.Height = height;
    // The colour of an entry's layer; false when the layer hides it. A missing layer draws black.
    auto colourOf = [&](int32_t layerID, QColor& colour) {
        const TTerrainLayer* layer = layerByID(project, layerID);
        if (!layer) {
            colour = Qt::black;
            return true;
        }
        if (layer->Deleted || !layer->Visible)
            return false;
        auto channel = [](float v) { return std::isfinite(v) ? static_cast<int>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f) : 0; };
        colour = QColor(channel(layer->LandscapeColor.R), channel(layer->LandscapeColor.G), channel(layer->LandscapeColor.B));
        return true;
    };
    auto polygonOf = [&](const TTerrainPoly& poly) {
        QPolygon polygon;
        for (int v = 0; v < vertexCount(poly); ++v)
            polygon << pixels.PixelOf(poly.Points[v].X, poly.Points[v].Y);
        return polygon;
    };
    painter.save();
    QColor colour;
    for (int i = 0; i < used(project.TerrainPolys); ++i) {
        const TTerrainPoly& poly = project.TerrainPolys.Items[i];
        if (poly.Deleted || !colourOf(poly.TerrainLayerID, colour))
            continue;
        painter.setPen(QPen(colour));
        painter.setBrush(QBrush(colour, Qt::DiagCrossPattern));
        painter.drawPolygon(polygonOf(poly));
    }
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < used(project.TerrainLines); ++i) {
        const TTerrainPoly& line = project.TerrainLines.Items[i];
        if (line.Deleted || !colourOf(line.TerrainLayerID, colour))
            continue;
        painter.setPen(QPen(colour));
        painter.drawPolyline(polygonOf(line));
    }
    for (int i = 0; i < used(project.Models); ++i) {
        const TModelPlacement& m = project.Models.Items[i];
        if (m.Deleted || !colourOf(m.TerrainLayerID, colour))
            continue;
        const QPoint c = pixels.PixelOf(m.Position.X, m.Position.Z);
        painter.setPen(QPen(colour));
        painter.setBrush(QBrush(colour));
        painter.drawEllipse(QRect(QPoint(c.x() - 5, c.y() - 5), QPoint(c.x() + 5, c.y() + 5)));
    }
    painter.restore();
}
