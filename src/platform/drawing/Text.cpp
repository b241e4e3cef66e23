#include "platform/drawing/Text.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/drawing/GraphicsContext.h"

namespace platform {

namespace {

// Colour emoji are PNG strikes that FreeType decodes and scales on every measure and draw, some
// hundred microseconds each, and shaping even a short label costs tens of microseconds; like the
// desktop's own text stacks, keep the measured size and the rendered picture of each text per
// font, colour, pixel ratio and sub-pixel offset. Few distinct texts are ever drawn, so the
// caches start over rather than evict.
constexpr std::size_t cacheLimit = 64;

struct Key {
    QString text;
    QFont font;
    QRgb color = 0;
    double ratio = 0.0;
    // Where the text starts within its first device pixel.
    double dx = 0.0;
    double dy = 0.0;
    QRgb edge = 0;
    double edgeWidth = 0.0;

    bool operator==(const Key& other) const = default;

    // The edge's reach in device pixels: at least one whole pixel around the glyphs.
    double edgeRadius() const { return std::max(1.0, edgeWidth * ratio) + 0.5; }
    // Device pixels around a picture for glyphs that reach beyond their box, and the edge.
    int margin() const { return 2 + (edgeWidth > 0.0 ? qCeil(edgeRadius()) : 0); }
};

// Looked up in turn, which costs less than hashing a font on every frame.
template <typename Value>
Value& cached(std::vector<std::pair<Key, Value>>& cache, const Key& key) {
    for (auto& [known, value] : cache) {
        if (known == key) {
            return value;
        }
    }
    if (cache.size() >= cacheLimit) {
        cache.clear();
    }
    return cache.emplace_back(key, Value()).second;
}

// How much of the pixel (dx, dy) pixels from a glyph's pixel a ring `radius` pixels wide covers.
double ringShare(int dx, int dy, double radius) {
    return std::clamp(radius + 0.5 - std::hypot(dx, dy), 0.0, 1.0);
}

// Puts the edge under the glyphs of `image`: each pixel takes the most that any glyph pixel
// within the edge's width lends it, in the edge's colour, with the glyphs drawn over it.
void addEdge(QImage& image, QRgb colour, double radius) {
    const QImage glyphs = image.copy();
    const int reach = qCeil(radius);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            double cover = 0.0;
            for (int v = std::max(0, y - reach); v <= std::min(image.height() - 1, y + reach);
                 ++v) {
                const auto* row = reinterpret_cast<const QRgb*>(glyphs.constScanLine(v));
                for (int u = std::max(0, x - reach); u <= std::min(image.width() - 1, x + reach);
                     ++u) {
                    cover =
                        std::max(cover, qAlpha(row[u]) / 255.0 * ringShare(u - x, v - y, radius));
                }
            }
            const QRgb ring = qPremultiply(
                qRgba(qRed(colour), qGreen(colour), qBlue(colour), qRound(cover * qAlpha(colour))));
            const QRgb glyph = line[x];
            const auto over = [&](int g, int r) { return g + r * (255 - qAlpha(glyph)) / 255; };
            line[x] = qRgba(over(qRed(glyph), qRed(ring)), over(qGreen(glyph), qGreen(ring)),
                            over(qBlue(glyph), qBlue(ring)), over(qAlpha(glyph), qAlpha(ring)));
        }
    }
}

// `key.text` drawn on a transparent image of its natural `size` in points and a margin, at
// `key.ratio`. Glyphs start at (dx, dy) within a device pixel, so that a copy at a whole pixel
// is what drawing in place gives.
// Without a colour of their own, glyphs are black.
QImage picture(const Key& key, Size size) {
    const int margin = key.margin();
    QImage image(qCeil(size.width * key.ratio + key.dx) + 2 * margin,
                 qCeil(size.height * key.ratio + key.dy) + 2 * margin,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(key.ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    scaleToRatio(painter, key.ratio);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(key.font);
    painter.setPen(QColor::fromRgba(key.color));
    const QPointF topLeft = QPointF(key.dx + margin, key.dy + margin) / key.ratio;
    painter.drawText(QRectF(topLeft, QSizeF(size.width, size.height)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, key.text);
    painter.end();
    if (key.edgeWidth > 0.0) {
        addEdge(image, key.edge, key.edgeRadius());
    }
    return image;
}

// Copies the cached picture of `text` with its top-left corner at `rect`'s, in points.
void drawPicture(GraphicsContext& context, const QString& text, const QFont& font, QRgb color,
                 Rect rect, bool placeExactly, const Edge& edge = {}) {
    const double ratio = context.pixelRatio();
    const QPointF exact = context.flipped(rect).topLeft() * ratio;
    // Emoji snap to whole device pixels, as the glyph itself would be placed: no resampling
    // blur. Other text keeps its exact place through the picture's offset.
    const QPointF whole = placeExactly ? QPointF(std::floor(exact.x()), std::floor(exact.y()))
                                       : QPointF(std::round(exact.x()), std::round(exact.y()));
    const QPointF offset = placeExactly ? exact - whole : QPointF();
    const Key key{text, font, color, ratio, offset.x(), offset.y(), edge.color.rgba(), edge.width};
    static std::vector<std::pair<Key, QImage>> pictures;
    QImage& image = cached(pictures, key);
    if (image.isNull()) {
        image = picture(key, textSize(text, font));
    }
    context.painter().drawImage((whole - QPointF(key.margin(), key.margin())) / ratio, image);
}

}  // namespace

Size textSize(const QString& text, const QFont& font) {
    static std::vector<std::pair<Key, Size>> sizes;
    Size& size = cached(sizes, Key{text, font});
    if (size == Size{}) {
        const QSizeF measured = QFontMetricsF(font).size(Qt::TextSingleLine, text);
        size = {measured.width(), measured.height()};
    }
    return size;
}

void drawText(const QString& text, const QFont& font, const QColor& color, double x, double y,
              const Edge& edge) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    const Size size = textSize(text, font);
    drawPicture(*context, text, font, color.rgba(), {x, y, size.width, size.height}, true, edge);
}

void drawText(const QString& text, const QFont& font, Rect rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    drawPicture(*context, text, font, qRgb(0, 0, 0), rect, false);
}

}  // namespace platform
