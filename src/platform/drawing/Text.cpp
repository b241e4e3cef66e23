#include "platform/drawing/Text.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QtMath>
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
// Device pixels around a picture for glyphs that reach beyond their box.
constexpr int margin = 2;

struct Key {
    QString text;
    QFont font;
    QRgb color = 0;
    double ratio = 0.0;
    // Where the text starts within its first device pixel.
    double dx = 0.0;
    double dy = 0.0;

    bool operator==(const Key& other) const = default;
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

// `key.text` drawn on a transparent image of its natural `size` in points and a margin, at
// `key.ratio`. Glyphs start at (dx, dy) within a device pixel, so that a copy at a whole pixel
// is what drawing in place gives.
// Without a colour of their own, glyphs are black.
QImage picture(const Key& key, Size size) {
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
    return image;
}

// Copies the cached picture of `text` with its top-left corner at `rect`'s, in points.
void drawPicture(GraphicsContext& context, const QString& text, const QFont& font, QRgb color,
                 Rect rect, bool placeExactly) {
    const double ratio = context.pixelRatio();
    const QPointF exact = context.flipped(rect).topLeft() * ratio;
    // Emoji snap to whole device pixels, as the glyph itself would be placed: no resampling
    // blur. Other text keeps its exact place through the picture's offset.
    const QPointF whole = placeExactly ? QPointF(std::floor(exact.x()), std::floor(exact.y()))
                                       : QPointF(std::round(exact.x()), std::round(exact.y()));
    const QPointF offset = placeExactly ? exact - whole : QPointF();
    const Key key{text, font, color, ratio, offset.x(), offset.y()};
    static std::vector<std::pair<Key, QImage>> pictures;
    QImage& image = cached(pictures, key);
    if (image.isNull()) {
        image = picture(key, textSize(text, font));
    }
    context.painter().drawImage((whole - QPointF(margin, margin)) / ratio, image);
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

void drawText(const QString& text, const QFont& font, const QColor& color, double x, double y) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    const Size size = textSize(text, font);
    drawPicture(*context, text, font, color.rgba(), {x, y, size.width, size.height}, true);
}

void drawText(const QString& text, const QFont& font, Rect rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    drawPicture(*context, text, font, qRgb(0, 0, 0), rect, false);
}

}  // namespace platform
