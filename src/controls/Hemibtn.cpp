#include "controls/Hemibtn.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Channel value from a real that may be out of range or not a number at all.
int ClampChannel(double v, int fallback)
{
    if (std::isnan(v))
        return fallback;
    return static_cast<int>(std::clamp(v, 0.0, 255.0));
}

double EllipseValue(double dx, double dy, double ra, double rb)
{
    return (dx / ra) * (dx / ra) + (dy / rb) * (dy / rb);
}

// Inside the ellipse inscribed in the control shrunk by `inset` on each side.
bool InsideInset(double dx, double dy, double halfW, double halfH, double inset)
{
    const double ra = halfW - inset;
    const double rb = halfH - inset;
    if (ra <= 0.0 || rb <= 0.0)
        return false;
    return EllipseValue(dx, dy, ra, rb) <= 1.0;
}

} // namespace

int HemiRingGrey(double dx, double dy, THemisphereBevel bevel)
{
    const double len = std::sqrt(dx * dx + dy * dy);
    double ux = 0.0, uy = 0.0;
    if (len > 0.0) {
        ux = dx / len;
        uy = dy / len;
    }
    const double sign = bevel == THemisphereBevel::hbRaised ? 1.0 : -1.0;
    const double s = std::numbers::sqrt2 / 2.0; // 45 degrees out of the screen
    const double nx = sign * ux * s, ny = sign * uy * s, nz = s;
    const double nl = (-nx - ny + nz) / std::numbers::sqrt3;
    return ClampChannel(std::nearbyint(128.0 * nl) + 128.0, 128);
}

double HemiDomeZ(double nx, double ny)
{
    return std::max(0.0, 1.0 - std::sqrt(nx * nx + ny * ny));
}

double HemiShadeFactor(double nx, double ny, double attenControl)
{
    return (-nx - ny + HemiDomeZ(nx, ny)) / std::numbers::sqrt3 * attenControl;
}

int HemiShadeChannel(int c, double k)
{
    return ClampChannel(c + std::nearbyint(c * k), c);
}

QRgb HemiShadeColor(QRgb c, double k)
{
    return qRgb(HemiShadeChannel(qRed(c), k), HemiShadeChannel(qGreen(c), k), HemiShadeChannel(qBlue(c), k));
}

bool HemiHitTest(int width, int height, int bevels, double x, double y)
{
    const double cx = width / 2.0, cy = height / 2.0;
    return InsideInset(x - cx, y - cy, cx, cy, bevels);
}

bool HemiGlyphFlatPos(int w, int h, double offsetX, double offsetY, int& col, int& row)
{
    const double c = std::floor(offsetX + w / 2.0);
    const double r = std::floor(offsetY + h / 2.0);
    if (!(c >= 0.0 && c < w && r >= 0.0 && r < h))
        return false;
    col = static_cast<int>(c);
    row = static_cast<int>(r);
    return true;
}

bool HemiGlyphMappedPos(int w, int h, double nx, double ny, int& col, int& row)
{
    const double z = HemiDomeZ(nx, ny);
    const double c = std::floor((w - 1) * std::atan2(z, -nx) / std::numbers::pi);
    const double r = std::floor((h - 1) * std::atan2(z, -ny) / std::numbers::pi);
    if (!(c >= 0.0 && c < w && r >= 0.0 && r < h))
        return false;
    col = static_cast<int>(c);
    row = static_cast<int>(r);
    return true;
}

THemiImages BuildHemisphereImages(const THemiLook& look, int width, int height)
{
    THemiImages out;
    if (width <= 1 || height <= 1)
        return out;
    out.ImageOut = QImage(width, height, QImage::Format_RGB32);
    out.ImageIn = QImage(width, height, QImage::Format_RGB32);
    out.ImageMask = QImage(width, height, QImage::Format_RGB32);
    out.ImageOut.fill(Qt::black);
    out.ImageIn.fill(Qt::black);
    out.ImageMask.fill(Qt::white);

    const int bw = std::max(1, look.BevelWidth);
    const bool hasOuter = look.BevelOuter != THemisphereBevel::hbNone;
    const bool hasInner = look.BevelInner != THemisphereBevel::hbNone;
    const int total = (hasOuter ? bw : 0) + (hasInner ? bw : 0);
    const double halfW = width / 2.0, halfH = height / 2.0;

    // The used glyph picture: one slice of a strip of equally wide pictures.
    QImage glyph;
    if (!look.Glyph.isNull()) {
        const int count = std::max(1, look.NumGlyphs);
        if (count == 1) {
            glyph = look.Glyph.convertToFormat(QImage::Format_RGB32);
        } else if (look.GlyphIndex >= 1 && look.GlyphIndex <= count) {
            const int sliceW = look.Glyph.width() / count;
            if (sliceW > 0)
                glyph = look.Glyph.copy((look.GlyphIndex - 1) * sliceW, 0, sliceW, look.Glyph.height())
                            .convertToFormat(QImage::Format_RGB32);
        }
    }
    const QRgb glyphKey = glyph.isNull() ? 0 : glyph.pixel(0, glyph.height() - 1);
    const QRgb face = look.FaceColor.rgb();

    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            const double dx = px + 0.5 - halfW, dy = py + 0.5 - halfH;
            if (!InsideInset(dx, dy, halfW, halfH, 0.0))
                continue;
            if (InsideInset(dx, dy, halfW, halfH, total)) {
                const double nx = dx / halfW, ny = dy / halfH;
                bool fromGlyph = false;
                QRgb c = face;
                if (!glyph.isNull()) {
                    int col = 0, row = 0;
                    const bool inside = look.GlyphMapped
                        ? HemiGlyphMappedPos(glyph.width(), glyph.height(), nx, ny, col, row)
                        : HemiGlyphFlatPos(glyph.width(), glyph.height(), dx, dy, col, row);
                    if (inside) {
                        const QRgb g = glyph.pixel(col, row);
                        if (!(look.GlyphTransparent && qRgb(qRed(g), qGreen(g), qBlue(g)) == qRgb(qRed(glyphKey), qGreen(glyphKey), qBlue(glyphKey)))) {
                            c = g;
                            fromGlyph = true;
                        }
                    }
                }
                if (!fromGlyph && look.FaceTransparent)
                    continue;
                const bool shaded = fromGlyph ? look.GlyphShaded : look.FaceShaded;
                if (shaded) {
                    const double k = HemiShadeFactor(nx, ny, look.AttenControl);
                    out.ImageOut.setPixel(px, py, HemiShadeColor(c, k));
                    out.ImageIn.setPixel(px, py, HemiShadeColor(c, -k));
                } else {
                    out.ImageOut.setPixel(px, py, c | 0xff000000u);
                    out.ImageIn.setPixel(px, py, c | 0xff000000u);
                }
                out.ImageMask.setPixel(px, py, qRgb(0, 0, 0));
                continue;
            }
            // A bevel ring pixel: the outer ring takes the outermost bw pixels, the inner the next.
            THemisphereBevel bevel = look.BevelInner;
            if (hasOuter && !InsideInset(dx, dy, halfW, halfH, bw))
                bevel = look.BevelOuter;
            const int g = HemiRingGrey(dx, dy, bevel);
            out.ImageOut.setPixel(px, py, qRgb(g, g, g));
            out.ImageIn.setPixel(px, py, qRgb(g, g, g));
            out.ImageMask.setPixel(px, py, qRgb(0, 0, 0));
        }
    }

    if (!look.Caption.isEmpty()) {
        const QFontMetrics fm(look.Font);
        const int tw = fm.horizontalAdvance(look.Caption), th = fm.height();
        const int x = static_cast<int>(std::nearbyint((width - 2 - tw) / 2.0));
        const int y = static_cast<int>(std::nearbyint((height - 2 - th) / 2.0));
        auto drawCaption = [&](QImage& img, const QColor& color) {
            QPainter p(&img);
            p.setFont(look.Font);
            p.setPen(color);
            p.drawText(QRect(x, y, tw, th), Qt::AlignLeft | Qt::AlignTop, look.Caption);
        };
        drawCaption(out.ImageOut, Qt::black);
        drawCaption(out.ImageIn, Qt::black);
        if (look.FaceTransparent)
            drawCaption(out.ImageMask, Qt::black);
    }

    if (look.BorderStyle == THemisphereBorder::bsSingle) {
        auto drawBorder = [&](QImage& img, const QColor& color) {
            QPainter p(&img);
            p.setPen(color);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRect(0, 0, width - 1, height - 1));
        };
        drawBorder(out.ImageOut, look.BorderColor);
        drawBorder(out.ImageIn, look.BorderColor);
        drawBorder(out.ImageMask, Qt::black);
    }
    return out;
}

QImage ComposeHemisphere(const QImage& face, const QImage& mask)
{
    if (face.isNull() || mask.size() != face.size())
        return {};
    QImage out(face.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            out.setPixel(x, y, qRed(mask.pixel(x, y)) < 128 ? (face.pixel(x, y) | 0xff000000u) : 0u);
    return out;
}

THemisphereButton::THemisphereButton(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    resize(25, 25);
    Rebuild();
}

int THemisphereButton::BevelsTotal() const
{
    const int bw = std::max(1, look_.BevelWidth);
    return (look_.BevelOuter != THemisphereBevel::hbNone ? bw : 0) +
           (look_.BevelInner != THemisphereBevel::hbNone ? bw : 0);
}

bool THemisphereButton::HitTest(int x, int y) const
{
    return HemiHitTest(width(), height(), BevelsTotal(), x, y);
}

void THemisphereButton::Rebuild()
{
    builtFor_ = QSize();
    update();
}

void THemisphereButton::EnsureImages() const
{
    if (builtFor_ == size())
        return;
    builtFor_ = size();
    images_ = BuildHemisphereImages(look_, width(), height());
    paintOut_ = ComposeHemisphere(images_.ImageOut, images_.ImageMask);
    paintIn_ = ComposeHemisphere(images_.ImageIn, images_.ImageMask);
}

void THemisphereButton::SetFaceColor(const QColor& color)
{
    look_.FaceColor = QColor(color.red(), color.green(), color.blue());
    Rebuild();
}

void THemisphereButton::SetFaceShaded(bool on) { look_.FaceShaded = on; Rebuild(); }
void THemisphereButton::SetFaceTransparent(bool on) { look_.FaceTransparent = on; Rebuild(); }
void THemisphereButton::SetAttenControl(double atten) { look_.AttenControl = atten; Rebuild(); }
void THemisphereButton::SetBevelOuter(THemisphereBevel bevel) { look_.BevelOuter = bevel; Rebuild(); }
void THemisphereButton::SetBevelInner(THemisphereBevel bevel) { look_.BevelInner = bevel; Rebuild(); }

void THemisphereButton::SetBevelWidth(int width)
{
    if (width <= 0)
        return;
    look_.BevelWidth = width;
    Rebuild();
}

void THemisphereButton::SetBorderColor(const QColor& color) { look_.BorderColor = color; Rebuild(); }
void THemisphereButton::SetBorderStyle(THemisphereBorder style) { look_.BorderStyle = style; Rebuild(); }
void THemisphereButton::SetCaption(const QString& caption) { look_.Caption = caption; Rebuild(); }
void THemisphereButton::SetFont(const QFont& font) { look_.Font = font; Rebuild(); }
void THemisphereButton::SetGlyph(const QImage& glyph) { look_.Glyph = glyph; Rebuild(); }
void THemisphereButton::SetNumGlyphs(int count) { look_.NumGlyphs = count; Rebuild(); }
void THemisphereButton::SetGlyphIndex(int index) { look_.GlyphIndex = index; Rebuild(); }
void THemisphereButton::SetGlyphShaded(bool on) { look_.GlyphShaded = on; Rebuild(); }
void THemisphereButton::SetGlyphMapped(bool on) { look_.GlyphMapped = on; Rebuild(); }
void THemisphereButton::SetGlyphTransparent(bool on) { look_.GlyphTransparent = on; Rebuild(); }

void THemisphereButton::SetDown(bool down)
{
    if (down_ == down)
        return;
    down_ = down;
    update();
}

void THemisphereButton::SetAllowAllUp(bool allow)
{
    allowAllUp_ = allow;
    if (!parentWidget())
        return;
    for (THemisphereButton* b : parentWidget()->findChildren<THemisphereButton*>(Qt::FindDirectChildrenOnly))
        if (b != this && b->groupIndex_ == groupIndex_)
            b->allowAllUp_ = allow;
}

void THemisphereButton::paintEvent(QPaintEvent*)
{
    EnsureImages();
    const QImage& img = down_ ? paintIn_ : paintOut_;
    if (img.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, img);
}

void THemisphereButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Rebuild();
}

void THemisphereButton::Press(QMouseEvent* event, bool doubleClick)
{
    const QPoint pos = event->position().toPoint();
    if (!isEnabled() || !HitTest(pos.x(), pos.y()))
        return;
    emit OnMouseDown(event->button(), event->modifiers(), pos.x(), pos.y());
    if (event->button() == Qt::LeftButton) {
        tracking_ = true;
        downAtPress_ = down_;
        SetDown(true);
        if (doubleClick)
            emit OnDblClick();
    }
}

void THemisphereButton::mousePressEvent(QMouseEvent* event) { Press(event, false); }
void THemisphereButton::mouseDoubleClickEvent(QMouseEvent* event) { Press(event, true); }

void THemisphereButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (tracking_ && !downAtPress_)
        SetDown(HitTest(pos.x(), pos.y()));
    emit OnMouseMove(event->modifiers(), pos.x(), pos.y());
}

void THemisphereButton::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (tracking_ && event->button() == Qt::LeftButton) {
        tracking_ = false;
        if (HitTest(pos.x(), pos.y())) {
            emit OnClick();
            if (groupIndex_ == 0) {
                SetDown(false);
            } else if (allowAllUp_ || !downAtPress_) {
                if (parentWidget())
                    for (THemisphereButton* b : parentWidget()->findChildren<THemisphereButton*>(Qt::FindDirectChildrenOnly))
                        if (b != this && b->groupIndex_ == groupIndex_)
                            b->SetDown(false);
                SetDown(!downAtPress_);
            }
        }
    }
    emit OnMouseUp(event->button(), event->modifiers(), pos.x(), pos.y());
}
