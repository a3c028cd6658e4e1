#pragma once
// THemisphereButton: a round button drawn as a dome lit from the upper left. Used as a colour
// swatch by the environment editors and as an ornament in the about box. Push button, or a toggle
// among the buttons of the same parent that share a GroupIndex; only clicks on the face count.
//
// The shading and hit-test mathematics are free functions so they can be checked without a window;
// BuildHemisphereImages renders the two face images and the mask exactly as the widget paints them.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

enum class THemisphereBevel { hbNone, hbLowered, hbRaised };
enum class THemisphereBorder { bsNone, bsSingle };

// Grey of a bevel ring pixel at offset (dx, dy) from the centre: the ring surface is tilted 45
// degrees out of the screen, outward for raised and inward for lowered, lit from (-1, -1, 1).
int HemiRingGrey(double dx, double dy, THemisphereBevel bevel);

// Shading factor of a face pixel; nx, ny are offsets divided by the control's half sizes.
// The dome is cone-like: z = 1 - |(nx, ny)|.
double HemiDomeZ(double nx, double ny);
double HemiShadeFactor(double nx, double ny, double attenControl);

// One channel shaded by factor k: c + Round(c * k), clamped to 0..255 (so black stays black).
int HemiShadeChannel(int c, double k);
QRgb HemiShadeColor(QRgb c, double k);

// Inside the face ellipse (bevel rings excluded) of a width x height control whose bevels take
// `bevels` pixels on each side. A face that has no room left is never hit.
bool HemiHitTest(int width, int height, int bevels, double x, double y);

// Glyph picture positions for a face pixel; false when the position lies outside the picture.
// Flat: the picture is centred on the face (offset from the face centre). Mapped: wrapped over the
// dome from rim to rim.
bool HemiGlyphFlatPos(int w, int h, double offsetX, double offsetY, int& col, int& row);
bool HemiGlyphMappedPos(int w, int h, double nx, double ny, int& col, int& row);

// Everything that decides the look of the button.
struct THemiLook {
    QColor FaceColor{0x80, 0x80, 0x80};
    bool FaceShaded = true;
    bool FaceTransparent = false;
    double AttenControl = 1.0;
    THemisphereBevel BevelOuter = THemisphereBevel::hbLowered;
    THemisphereBevel BevelInner = THemisphereBevel::hbNone;
    int BevelWidth = 2;
    QColor BorderColor{0x80, 0x80, 0x80};
    THemisphereBorder BorderStyle = THemisphereBorder::bsNone;
    QString Caption;
    QFont Font;
    QImage Glyph; // null when no glyph is present
    int NumGlyphs = 1;
    int GlyphIndex = 1;
    bool GlyphShaded = true;
    bool GlyphMapped = false;
    bool GlyphTransparent = true;
};

struct THemiImages {
    QImage ImageOut;  // face when up
    QImage ImageIn;   // face when down (inverse lighting)
    QImage ImageMask; // black where the button is drawn, white where the parent shows through
};

// The images of a width x height button (both above 1, else null images are returned).
THemiImages BuildHemisphereImages(const THemiLook& look, int width, int height);

// ImageIn or ImageOut cut out by the mask: transparent where the mask is white.
QImage ComposeHemisphere(const QImage& face, const QImage& mask);

class THemisphereButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor FaceColor READ FaceColor WRITE SetFaceColor)
    Q_PROPERTY(bool FaceShaded READ FaceShaded WRITE SetFaceShaded)
    Q_PROPERTY(bool FaceTransparent READ FaceTransparent WRITE SetFaceTransparent)
    Q_PROPERTY(double AttenControl READ AttenControl WRITE SetAttenControl)
    Q_PROPERTY(THemisphereBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(THemisphereBevel BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(QColor BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(THemisphereBorder BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(bool Down READ Down WRITE SetDown)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE SetAllowAllUp)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(bool GlyphShaded READ GlyphShaded WRITE SetGlyphShaded)
    Q_PROPERTY(bool GlyphMapped READ GlyphMapped WRITE SetGlyphMapped)
    Q_PROPERTY(bool GlyphTransparent READ GlyphTransparent WRITE SetGlyphTransparent)

public:
    explicit THemisphereButton(QWidget* parent = nullptr);

    QColor FaceColor() const { return look_.FaceColor; }
    void SetFaceColor(const QColor& color);
    // The face colour's channels as integers.
    int FaceRed() const { return look_.FaceColor.red(); }
    int FaceGreen() const { return look_.FaceColor.green(); }
    int FaceBlue() const { return look_.FaceColor.blue(); }
    bool FaceShaded() const { return look_.FaceShaded; }
    void SetFaceShaded(bool on);
    bool FaceTransparent() const { return look_.FaceTransparent; }
    void SetFaceTransparent(bool on);
    double AttenControl() const { return look_.AttenControl; }
    void SetAttenControl(double atten);
    THemisphereBevel BevelOuter() const { return look_.BevelOuter; }
    void SetBevelOuter(THemisphereBevel bevel);
    THemisphereBevel BevelInner() const { return look_.BevelInner; }
    void SetBevelInner(THemisphereBevel bevel);
    int BevelWidth() const { return look_.BevelWidth; }
    void SetBevelWidth(int width); // values of 0 and below are ignored
    QColor BorderColor() const { return look_.BorderColor; }
    void SetBorderColor(const QColor& color);
    THemisphereBorder BorderStyle() const { return look_.BorderStyle; }
    void SetBorderStyle(THemisphereBorder style);
    QString Caption() const { return look_.Caption; }
    void SetCaption(const QString& caption);
    QFont Font() const { return look_.Font; }
    void SetFont(const QFont& font);
    bool Down() const { return down_; }
    void SetDown(bool down);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool allow); // applies to the whole group under the same parent
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int index) { groupIndex_ = index; }
    QImage Glyph() const { return look_.Glyph; }
    void SetGlyph(const QImage& glyph);
    bool GlyphValid() const { return !look_.Glyph.isNull(); }
    int NumGlyphs() const { return look_.NumGlyphs; }
    void SetNumGlyphs(int count);
    int GlyphIndex() const { return look_.GlyphIndex; }
    void SetGlyphIndex(int index);
    bool GlyphShaded() const { return look_.GlyphShaded; }
    void SetGlyphShaded(bool on);
    bool GlyphMapped() const { return look_.GlyphMapped; }
    void SetGlyphMapped(bool on);
    bool GlyphTransparent() const { return look_.GlyphTransparent; }
    void SetGlyphTransparent(bool on);

    // The rendered images (kept up to date after every change).
    const QImage& ImageOut() const { EnsureImages(); return images_.ImageOut; }
    const QImage& ImageIn() const { EnsureImages(); return images_.ImageIn; }
    const QImage& ImageMask() const { EnsureImages(); return images_.ImageMask; }

    // Total width of the bevel rings on each side.
    int BevelsTotal() const;
    bool HitTest(int x, int y) const;

    QSize sizeHint() const override { return {25, 25}; }

signals:
    void OnClick();
    void OnDblClick();
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Rebuild();
    // A hidden widget gets its resize event only when shown: images follow the size lazily.
    void EnsureImages() const;
    void Press(QMouseEvent* event, bool doubleClick);

    THemiLook look_;
    mutable THemiImages images_;
    mutable QImage paintOut_, paintIn_;
    mutable QSize builtFor_; // faces cut out by the mask, ready to paint
    bool down_ = false;
    bool allowAllUp_ = false;
    int groupIndex_ = 0;
    bool tracking_ = false;
    bool downAtPress_ = false;
};
