#include "platform/drawing/GraphicsContext.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

GraphicsContext* currentContext = nullptr;

// How much of the pixel [d - 0.5, d + 0.5] lies in the band [inner, outer], d being the signed
// distance of the pixel's centre from the edge, all in pixels.
double coverage(double d, double inner, double outer) {
    return std::clamp(std::min(outer, d + 0.5) - std::max(inner, d - 0.5), 0.0, 1.0);
}

// The band of an ellipse in device pixels: centre, radii and the distances from the edge that
// it covers.
class Band {
  public:
    Band(QPointF centre, double rx, double ry, double inner, double outer)
        : cx(centre.x()), cy(centre.y()), ix(1.0 / rx), iy(1.0 / ry), inner(inner), outer(outer) {
        // Most pixels of a circle are settled by their squared distance from the centre alone.
        beyond = square(rx + outer + 0.5);
        const double hole = rx + inner - 0.5;
        holeTo = hole > 0.0 ? hole * hole : -1.0;
        solidFrom = square(std::max(0.0, rx + inner + 0.5));
        const double solid = rx + outer - 0.5;
        solidTo = solid > 0.0 ? solid * solid : -1.0;
    }

    double cx, cy;

    // How much of the pixel whose centre lies (dx, dy) from the ellipse's centre is covered.
    double share(double dx, double dy) const {
        if (ix != iy) {
            return coverage(ellipseDistance(dx, dy), inner, outer);
        }
        const double squared = dx * dx + dy * dy;
        if (squared >= beyond || squared <= holeTo) {
            return 0.0;
        }
        if (squared <= solidTo && squared >= solidFrom) {
            return 1.0;
        }
        return coverage(std::sqrt(squared) - 1.0 / ix, inner, outer);
    }

  private:
    static double square(double x) { return x * x; }

    // Signed distance from the edge (negative inside): first-order in the ellipse's equation.
    double ellipseDistance(double dx, double dy) const {
        const double u = dx * ix;
        const double v = dy * iy;
        const double gradient = std::sqrt(u * u * ix * ix + v * v * iy * iy);
        if (gradient == 0.0) {
            return -1.0 / std::max(ix, iy);  // the centre
        }
        const double s = std::sqrt(u * u + v * v);  // 1 on the edge
        return (s - 1.0) * s / gradient;
    }

    double ix, iy, inner, outer;
    double beyond, holeTo, solidFrom, solidTo;
};

// x * a / 255 for each 8-bit channel of x at once, rounded as Qt's raster engine rounds.
QRgb byteMul(QRgb x, uint a) {
    uint t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return x | t;
}

// Source over onto a premultiplied pixel: `source` premultiplied, weighted by `share`.
void blendOnto(QRgb& pixel, QRgb source, double share) {
    const QRgb weighted = byteMul(source, uint(share * 255.0 + 0.5));
    pixel = weighted + byteMul(pixel, 255 - qAlpha(weighted));
}

}  // namespace

void scaleToRatio(QPainter& painter, double ratio) {
    if (ratio < 1.0) {
        painter.scale(ratio, ratio);
    }
}

GraphicsContext::GraphicsContext(QImage& image, double height)
    : image(image), qtPainter(&image), height(height) {
    qtPainter.setRenderHint(QPainter::Antialiasing);
    qtPainter.setRenderHint(QPainter::TextAntialiasing);
    qtPainter.setRenderHint(QPainter::SmoothPixmapTransform);
    scaleToRatio(qtPainter, image.devicePixelRatio());
}

GraphicsContext* GraphicsContext::current() {
    return currentContext;
}

GraphicsContext::Scope::Scope(GraphicsContext& context) : previous(currentContext) {
    currentContext = &context;
}

GraphicsContext::Scope::~Scope() {
    currentContext = previous;
}

void GraphicsContext::setFillColor(const QColor& color) {
    fillColor = color;
}

void GraphicsContext::fillEllipseInRect(Rect rect) {
    paintEllipseBand(rect, fillColor, -rect.width - rect.height, 0.0);
}

void GraphicsContext::setStrokeColor(const QColor& color) {
    strokeColor = color;
}

void GraphicsContext::setLineWidth(double width) {
    lineWidth = width;
}

void GraphicsContext::strokeEllipseInRect(Rect rect) {
    paintEllipseBand(rect, strokeColor, -lineWidth * 0.5, lineWidth * 0.5);
}

QRectF GraphicsContext::flipped(Rect rect) const {
    return {rect.x, height - rect.y - rect.height, rect.width, rect.height};
}

// QPainter flattens every tiny ellipse's curves anew, some microseconds each, and a frame has
// over a hundred of them; the droplets' circles are cheap to cover pixel by pixel instead.
void GraphicsContext::paintEllipseBand(Rect rect, const QColor& color, double inner, double outer) {
    const double scale = pixelRatio();
    const QRectF box = flipped(rect);
    const double rx = box.width() * 0.5 * scale;
    const double ry = box.height() * 0.5 * scale;
    if (!(rx > 0.0 && ry > 0.0)) {
        return;
    }
    const double bandOuter = outer * scale;
    const Band band(box.center() * scale, rx, ry, inner * scale, bandOuter);
    const QRgb source = qPremultiply(color.rgba());
    // Pixels whose centre lies more than half a pixel beyond the band stay untouched: each row
    // spans only as wide as the ellipse grown by that much is at that row (exact for circles, a
    // pixel to spare for other ellipses).
    const double margin = rx == ry ? 0.0 : 1.0;
    const double grownX = rx + bandOuter + 0.5;
    const double grownY = ry + bandOuter + 0.5;
    const int top = std::max(0, int(std::floor(band.cy - grownY)));
    const int bottom = std::min(image.height() - 1, int(std::ceil(band.cy + grownY)));
    uchar* bits = image.bits();
    for (int row = top; row <= bottom; ++row) {
        const double dy = row + 0.5 - band.cy;
        const double across = std::max(0.0, 1.0 - dy * dy / (grownY * grownY));
        const double halfSpan = grownX * std::sqrt(across) + margin;
        const int left = std::max(0, int(std::ceil(band.cx - halfSpan - 0.5)));
        const int right = std::min(image.width() - 1, int(std::floor(band.cx + halfSpan - 0.5)));
        auto* line = reinterpret_cast<QRgb*>(bits + row * image.bytesPerLine());
        for (int column = left; column <= right; ++column) {
            const double share = band.share(column + 0.5 - band.cx, dy);
            if (share > 0.0) {
                blendOnto(line[column], source, share);
            }
        }
    }
}

}  // namespace platform
