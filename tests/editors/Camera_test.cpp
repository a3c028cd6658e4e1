#include "editors/Camera.h"

#include "controls/Flatimge.h"
#include "controls/FloatEdit.h"
#include "editors/EditorsTestSupport.h"
#include "project/Project.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QTest>

#include <cmath>

using editortest::EditorTest;

namespace {

// 64 x 32 cells 30 apart: the picture is 250 x 125 in a 260 x 260 paint box, 7.68 world units a pixel.
constexpr double kPixel = 7.68;

void Mouse(QWidget* w, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Drag(QWidget* w, QPoint from, QPoint to)
{
    Mouse(w, QEvent::MouseButtonPress, from);
    Mouse(w, QEvent::MouseMove, to);
    Mouse(w, QEvent::MouseButtonRelease, to);
}

QColor FontColour(QWidget* w) { return w->palette().color(QPalette::Text); }

} // namespace

TEST_F(EditorTest, MarkersMapOntoTheGridCentredInThePaintBox)
{
    const TPositioningMap map = MakePositioningMap(project->Grid, 250, 125, 260, 260);
    struct Case {
        TDoublePoint world, marker;
    } cases[] = {
        {{0, 0}, {130, 130}},
        {{960, 480}, {255, 192.5}},     // the picture's far corner: columns x spacing, not MapWidth
        {{-960, -480}, {5, 67.5}},
        {{-7.68, 15.36}, {129, 132}},
    };
    for (const Case& c : cases) {
        const TDoublePoint m = WorldToMarker(map, c.world);
        EXPECT_NEAR(m.X, c.marker.X, 1e-9) << c.world.X;
        EXPECT_NEAR(m.Y, c.marker.Y, 1e-9) << c.world.Y;
        const TDoublePoint w = MarkerToWorld(map, c.marker);
        EXPECT_NEAR(w.X, c.world.X, 1e-9);
        EXPECT_NEAR(w.Y, c.world.Y, 1e-9);
    }
    // A different spacing across the rows scales the rows on their own.
    project->Grid.SpacingY = 10;
    const TDoublePoint m = WorldToMarker(MakePositioningMap(project->Grid, 250, 125, 260, 260), {0, 160});
    EXPECT_NEAR(m.Y, 192.5, 1e-9);
}

TEST_F(EditorTest, PictureRoundsHeightsAndShowsNullCellsAsZero)
{
    project->Grid.Cells[0][0].Height = -1001.0; // no height
    project->Grid.Cells[1][0].Height = 50.5;    // ties go to the even neighbour
    project->Grid.Cells[2][0].Height = -3.0;
    project->Grid.MaxHeight = 99.6;
    project->Grid.MinHeight = -20.7;
    TFlatImage image;
    image.setGeometry(5, 5, 250, 250);
    FillPositioningMap(image, project->Grid);
    EXPECT_EQ(image.MaxHeight(), 100);
    EXPECT_EQ(image.MinHeight(), -20);
    EXPECT_EQ(image.size(), QSize(250, 125));
    EXPECT_EQ(image.pos(), QPoint(5, 68)); // centred where it was: 5 + 250 div 2 - 125 div 2
    ASSERT_EQ(image.Cells().size(), QSize(64, 32));
    EXPECT_EQ(image.Cells().pixel(0, 0), FlatImageColour(0, -20, 100));
    EXPECT_EQ(image.Cells().pixel(1, 0), FlatImageColour(50, -20, 100));
    EXPECT_EQ(image.Cells().pixel(2, 0), FlatImageColour(0, -20, 100));
    EXPECT_FALSE(image.Picture().isNull());
}

TEST(CameraConeTest, GeometryFollowsTheViewDirectionAndTheAngle)
{
    const TDoublePoint camera{100, 100};
    struct Case {
        TDoublePoint target;
        double perspective;
        TDoublePoint handle;
        QPoint edge0, edge1, chord0, chord1;
    } cases[] = {
        // d = 50 / tan(60) = 28.87 ahead; edges 100 pixels at +-30 degrees.
        {{200, 100}, 60, {125, 100}, {187, 50}, {187, 150}, {125, 86}, {125, 114}},
        // Above 90 degrees d is negative: the chord and the handle lie behind the camera.
        {{200, 100}, 120, {85.566, 100}, {150, 13}, {150, 187}, {86, 125}, {86, 75}},
        // Looking up the map.
        {{100, 0}, 60, {100, 75}, {50, 13}, {150, 13}, {86, 75}, {114, 75}},
    };
    for (const Case& c : cases) {
        const TViewCone cone = ComputeViewCone(camera, c.target, c.perspective);
        EXPECT_NEAR(cone.Handle.X, c.handle.X, 1e-3) << c.perspective;
        EXPECT_NEAR(cone.Handle.Y, c.handle.Y, 1e-3) << c.perspective;
        EXPECT_EQ(cone.Camera, QPoint(100, 100));
        EXPECT_EQ(cone.Target, QPoint(qRound(c.target.X), qRound(c.target.Y)));
        EXPECT_EQ(cone.EdgeEnd[0], c.edge0) << c.perspective;
        EXPECT_EQ(cone.EdgeEnd[1], c.edge1) << c.perspective;
        EXPECT_EQ(cone.ChordEnd[0], c.chord0) << c.perspective;
        EXPECT_EQ(cone.ChordEnd[1], c.chord1) << c.perspective;
    }
}

TEST(CameraConeTest, RightAngleAndDegenerateCones)
{
    // At 90 degrees the chord shrinks onto the camera, and a press there takes the camera.
    const TViewCone right = ComputeViewCone({100, 100}, {200, 100}, 90);
    EXPECT_NEAR(right.Handle.X, 100, 1e-9);
    EXPECT_NEAR(right.Handle.Y, 100, 1e-9);
    EXPECT_EQ(HitMarker({100, 100}, {200, 100}, right.Handle, 100, 100), TMarkerHit::Camera);
    // Camera on the target: no direction, everything collapses onto the camera.
    const TViewCone same = ComputeViewCone({50, 60}, {50, 60}, 60);
    EXPECT_EQ(same.EdgeEnd[0], QPoint(50, 60));
    EXPECT_EQ(same.ChordEnd[1], QPoint(50, 60));
    // An angle of 0 puts the chord at infinity: a range failure, not a wild drawing.
    EXPECT_THROW(ComputeViewCone({100, 100}, {200, 100}, 0), ERangeError);
}

TEST(CameraConeTest, DrawingInvertsThePixelsSoASecondDrawingErases)
{
    QImage picture(260, 260, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 10));
    const QImage before = picture;
    const TViewCone cone = ComputeViewCone({100, 100}, {200, 100}, 60);
    {
        QPainter p(&picture);
        PaintViewCone(p, cone);
    }
    EXPECT_EQ(picture.pixel(150, 100), qRgb(55, 215, 245)); // on the view line
    EXPECT_EQ(picture.pixel(96, 96), qRgb(55, 215, 245));   // the camera marker's corner
    EXPECT_EQ(picture.pixel(120, 120), before.pixel(120, 120));
    {
        QPainter p(&picture);
        PaintViewCone(p, cone);
    }
    EXPECT_EQ(picture, before);
}

TEST(CameraConeTest, HitTestReachesFourPixelsAndPrefersCameraThenTarget)
{
    const TDoublePoint camera{100, 100}, target{103, 100}, handle{150, 150};
    struct Case {
        double x, y;
        TMarkerHit hit;
    } cases[] = {
        {104, 96, TMarkerHit::Camera}, {105, 100, TMarkerHit::Target}, {108, 100, TMarkerHit::None},
        {154, 146, TMarkerHit::Cone},  {155, 150, TMarkerHit::None},   {100, 105, TMarkerHit::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitMarker(camera, target, handle, c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(CameraConeTest, HandleDistanceGivesThePerspective)
{
    EXPECT_NEAR(PerspectiveFromHandle({100, 100}, {150, 100}), 45.0, 1e-12);
    EXPECT_NEAR(PerspectiveFromHandle({100, 100}, {100, 100}), 90.0, 1e-12);
    EXPECT_NEAR(PerspectiveFromHandle({0, 0}, {30, 40}), 45.0, 1e-12);
}

TEST(CameraReadoutsTest, DirectionElevationAndDistance)
{
    struct Case {
        TVector3 target;
        double direction, elevation, distance;
    } cases[] = {
        {{100, 0, 0}, 90, 0, 100},    {{0, 0, 100}, 180, 0, 100},  {{-100, 0, 0}, 270, 0, 100},
        {{0, 0, -100}, 0, 0, 100},    {{100, 100, 0}, 90, 45, 141.421356},
        {{0, -50, 0}, 90, -90, 50},
        // Straight above: the horizontal part is a zero vector, whose azimuth is 0.
        {{0, 100, 0}, 90, 90, 100},
    };
    const TVector3 eye{10, 20, 30};
    for (const Case& c : cases) {
        const TVector3 target{eye.X + c.target.X, eye.Y + c.target.Y, eye.Z + c.target.Z};
        const TCameraReadouts r = CameraReadouts(eye, target);
        EXPECT_NEAR(r.Direction, c.direction, 1e-4) << c.target.X << "," << c.target.Y << "," << c.target.Z;
        EXPECT_NEAR(r.Elevation, c.elevation, 1e-4);
        EXPECT_NEAR(r.Distance, c.distance, 1e-4);
        EXPECT_GE(r.Direction, 0);
        EXPECT_LT(r.Direction, 360);
    }
    EXPECT_EQ(GeneralText(71.565051, 4), QStringLiteral("71.57"));
    EXPECT_EQ(GeneralText(960.46864, 8), QStringLiteral("960.46864"));
}

TEST_F(EditorTest, HeightCheckUsesTheRoundedCellAndTheRoughnessMargin)
{
    for (TTerrainSurface& s : project->Fractal.TerrainSurfaces)
        s.Material.Roughness = 0;
    ASSERT_FALSE(project->Fractal.TerrainSurfaces.empty());
    project->Fractal.TerrainSurfaces[0].Material.Roughness = 40; // margin 20: recommended is ground + 30
    project->Grid.Cells[0][16].Height = 500;
    struct Case {
        double x, y, altitude;
        THeightCheck camera, target;
    } cases[] = {
        {0, 0, 10, THeightCheck::Below, THeightCheck::Below},          // on the ground counts as below
        {0, 0, 9, THeightCheck::Below, THeightCheck::Below},
        {0, 0, 40, THeightCheck::BelowRecommended, THeightCheck::Clear},
        {0, 0, 40.5, THeightCheck::Clear, THeightCheck::Clear},
        {-975, 0, 100, THeightCheck::Below, THeightCheck::Below},      // Round(-32.5) = -32: column 0
        {-990, 0, 100, THeightCheck::Outside, THeightCheck::Outside},  // column -1
        {960, 0, 100, THeightCheck::Outside, THeightCheck::Outside},   // column 64 of 0..63
        {0, 500, 100, THeightCheck::Outside, THeightCheck::Outside},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckCameraHeight(*project, {c.x, c.y}, c.altitude), c.camera) << c.x << "," << c.y << "," << c.altitude;
        EXPECT_EQ(CheckTargetHeight(*project, {c.x, c.y}, c.altitude), c.target) << c.x << "," << c.y << "," << c.altitude;
    }
    project->Grid.SpacingX = 0; // no usable cell at all, and no failure either
    EXPECT_EQ(CheckCameraHeight(*project, {1, 0}, 100), THeightCheck::Outside);
}

class CameraEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        for (TTerrainSurface& s : project->Fractal.TerrainSurfaces)
            s.Material.Roughness = 0;
        project->Camera.Eye = {0, 200, 0};
        project->Camera.Target = {768, 50, 0};
        project->Camera.Perspective = 60;
        editor.SetProject(&current);
        editor.RefreshFromProject();
    }
    TFCamera editor;
};

TEST(CameraWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFCamera editor;
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
    TProject* none = nullptr;
    editor.SetProject(&none);
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(CameraEditorTest, RefreshPlacesMarkersAndShowsTheReadouts)
{
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Camera and Target Position Editor"));
    EXPECT_EQ(editor.FlatImage->size(), QSize(250, 125));
    EXPECT_NEAR(editor.CameraMarker().X, 130, 1e-9);
    EXPECT_NEAR(editor.TargetMarker().X, 230, 1e-9);
    EXPECT_NEAR(editor.ConeHandle().X, 155, 1e-3);
    EXPECT_EQ(editor.ViewAlt->value(), 200);
    EXPECT_EQ(editor.TargetAlt->value(), 50);
    EXPECT_EQ(editor.PerspectiveSpinEdit->value(), 60);
    // Georeferenced: the grid's left edge is 0 and the world origin its middle (MapWidth 1890).
    EXPECT_EQ(editor.CameraGeoRefXEdit->text(), QStringLiteral("945"));
    EXPECT_EQ(editor.CameraGeoRefYEdit->text(), QStringLiteral("465"));
    EXPECT_EQ(editor.TargetGeoRefXEdit->text(), QStringLiteral("1713"));
    EXPECT_EQ(editor.ViewDirectionEdit->text(), QStringLiteral("90"));
    EXPECT_NEAR(editor.ViewAzimuthEdit->text().toDouble(), -11.05, 0.01);
    EXPECT_NEAR(editor.ViewDistanceEdit->text().toDouble(), std::hypot(768.0, 150.0), 1e-3);
    // The refresh neither rounded nor moved anything of the camera.
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, 0);
    EXPECT_FLOAT_EQ(project->Camera.Target.X, 768);
    EXPECT_DOUBLE_EQ(project->Camera.Perspective, 60);
}

TEST_F(CameraEditorTest, AltitudesColourTheFieldsAndShowTheWarnings)
{
    project->Fractal.TerrainSurfaces[0].Material.Roughness = 40; // recommended: ground 10 + 30
    struct Case {
        int altitude;
        QRgb colour;
        bool below, recommended;
    } cases[] = {
        {10, kHeightBelowColour, true, false},
        {40, kHeightNearColour, false, true},
        {41, kHeightClearColour, false, false},
        {5, kHeightBelowColour, true, false},
    };
    for (const Case& c : cases) {
        editor.ViewAlt->setValue(c.altitude);
        EXPECT_FLOAT_EQ(project->Camera.Eye.Y, float(c.altitude));
        EXPECT_EQ(FontColour(editor.ViewAlt).rgba(), c.colour) << c.altitude;
        EXPECT_EQ(!editor.BelowLabel->isHidden(), c.below) << c.altitude;
        EXPECT_EQ(!editor.RecommendedLabel->isHidden(), c.recommended) << c.altitude;
    }
    editor.TargetAlt->setValue(10);
    EXPECT_EQ(FontColour(editor.TargetAlt).rgba(), kHeightBelowColour);
    EXPECT_FLOAT_EQ(project->Camera.Target.Y, 10);
    // A camera off the grid: blue, no warning.
    project->Camera.Eye.X = 5000;
    editor.RefreshFromProject();
    EXPECT_EQ(FontColour(editor.ViewAlt).rgba(), kHeightOutsideColour);
    EXPECT_TRUE(editor.BelowLabel->isHidden());
    EXPECT_TRUE(editor.RecommendedLabel->isHidden());
}

TEST_F(CameraEditorTest, DraggingMarkersWritesTheProjectAsTheyMove)
{
    Drag(editor.LocPaintBox, {130, 130}, {155, 130});
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, float(25 * kPixel));
    EXPECT_FLOAT_EQ(project->Camera.Eye.Z, 0);
    EXPECT_FLOAT_EQ(project->Camera.Eye.Y, 200); // the altitude is not the map's business
    EXPECT_EQ(editor.CameraGeoRefXEdit->text(), QStringLiteral("1137"));
    EXPECT_FALSE(editor.DraggingCamera());

    // The target, pulled beyond the paint box, stops at its edge.
    Mouse(editor.LocPaintBox, QEvent::MouseButtonPress, {230, 130});
    EXPECT_TRUE(editor.DraggingTarget());
    Mouse(editor.LocPaintBox, QEvent::MouseMove, {1000, -50});
    EXPECT_FLOAT_EQ(project->Camera.Target.X, float(130 * kPixel));
    EXPECT_FLOAT_EQ(project->Camera.Target.Z, float(-130 * kPixel));
    Mouse(editor.LocPaintBox, QEvent::MouseButtonRelease, {1000, -50});
    EXPECT_FALSE(editor.DraggingTarget());

    // A press on nothing drags nothing.
    const TVector3 eye = project->Camera.Eye;
    Drag(editor.LocPaintBox, {20, 240}, {60, 60});
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, eye.X);
    EXPECT_FLOAT_EQ(project->Camera.Eye.Z, eye.Z);
}

TEST_F(CameraEditorTest, DraggingTheHandleFiftyPixelsOutGivesFortyFiveDegrees)
{
    Mouse(editor.LocPaintBox, QEvent::MouseButtonPress, {155, 130});
    EXPECT_TRUE(editor.DraggingCone());
    Mouse(editor.LocPaintBox, QEvent::MouseMove, {180, 130});
    EXPECT_DOUBLE_EQ(project->Camera.Perspective, 45);
    EXPECT_EQ(editor.PerspectiveSpinEdit->value(), 45);
    Mouse(editor.LocPaintBox, QEvent::MouseButtonRelease, {180, 130});
    // The handle sits on the chord, 50 / tan(45) along the cone's edges.
    EXPECT_NEAR(editor.ConeHandle().X, 130 + 50 * std::cos(22.5 * M_PI / 180), 1e-3);

    editor.PerspectiveSpinEdit->setValue(90);
    EXPECT_DOUBLE_EQ(project->Camera.Perspective, 90);
    EXPECT_NEAR(editor.ConeHandle().X, 130, 1e-6);
    // Handle and camera coincide: the press takes the camera.
    Mouse(editor.LocPaintBox, QEvent::MouseButtonPress, {130, 130});
    EXPECT_TRUE(editor.DraggingCamera());
    EXPECT_FALSE(editor.DraggingCone());
    Mouse(editor.LocPaintBox, QEvent::MouseButtonRelease, {130, 130});
}

TEST_F(CameraEditorTest, TypingCoordinatesMovesTheMarkerButRefreshingDoesNot)
{
    editor.CameraGeoRefXEdit->selectAll();
    QTest::keyClicks(editor.CameraGeoRefXEdit, "1137");
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, 192);
    EXPECT_FLOAT_EQ(project->Camera.Eye.Y, 200);
    EXPECT_NEAR(editor.CameraMarker().X, 155, 1e-4);
    EXPECT_FALSE(editor.GeoKeyDown());
    // The read-outs and the warnings follow the typed position.
    EXPECT_NEAR(editor.ViewDistanceEdit->text().toDouble(), std::hypot(576.0, 150.0), 1e-3);

    editor.TargetGeoRefYEdit->selectAll();
    QTest::keyClicks(editor.TargetGeoRefYEdit, "565");
    EXPECT_FLOAT_EQ(project->Camera.Target.Z, 100);
    EXPECT_FLOAT_EQ(project->Camera.Target.Y, 50);

    // Text written by the program moves nothing.
    editor.CameraGeoRefXEdit->setText(QStringLiteral("0"));
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, 192);
    editor.RefreshFromProject();
    EXPECT_FLOAT_EQ(project->Camera.Eye.X, 192);
    EXPECT_NEAR(editor.CameraMarker().X, 155, 1e-4);
    EXPECT_EQ(editor.CameraGeoRefXEdit->text(), QStringLiteral("1137"));
}

TEST_F(CameraEditorTest, EditsReachTheProjectThroughItsVariable)
{
    TProject other;
    ASSERT_TRUE(other.NewGrid(16, 16, 10.0, 10.0));
    current = &other;
    editor.PerspectiveSpinEdit->setValue(35);
    EXPECT_DOUBLE_EQ(other.Camera.Perspective, 35);
    EXPECT_DOUBLE_EQ(project->Camera.Perspective, 60);
    editor.RefreshFromProject();
    EXPECT_EQ(editor.FlatImage->size(), QSize(250, 250));
}

TEST_F(CameraEditorTest, AConeOutsideThePixelRangeIsNotDrawn)
{
    project->Camera.Perspective = 0; // a damaged file; the spin edit cannot show it
    editor.RefreshFromProject();
    EXPECT_FALSE(editor.ConeValid());
    EXPECT_TRUE(prompt.errors.empty());
    editor.PerspectiveSpinEdit->setValue(30);
    EXPECT_TRUE(editor.ConeValid());
}
