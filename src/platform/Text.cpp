#include "platform/Text.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QtMath>

#include "platform/GraphicsContext.h"

namespace platform {

namespace {

// Colour emoji are PNG strikes that FreeType decodes and scales on every measure and draw, some
// hundred microseconds each; like the desktop's own text stacks, keep the measured size and the
// rendered picture of texts drawn in their own colours, per font and pixel ratio. Few distinct
// texts are ever drawn, so the caches start over rather than evict.
constexpr qsizetype cacheLimit = 64;

QString cacheKey(const QString& text, const QFont& font, double ratio = 0.0) {
    return font.key() + QLatin1Char('\n') + QString::number(qRound(ratio * 1000.0)) +
           QLatin1Char('\n') + text;
}

template <typename Value>
Value& cached(QHash<QString, Value>& cache, const QString& key) {
    if (cache.size() >= cacheLimit && !cache.contains(key)) {
        cache.clear();
    }
    return cache[key];
}

void paintText(QPainter& painter, const QString& text, const QFont& font, const QColor& color,
               const QRectF& box) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

// `text` drawn on a transparent image of its natural `size` in points, at `ratio`.
QImage picture(const QString& text, const QFont& font, Size size, double ratio) {
    QImage image(qCeil(size.width * ratio), qCeil(size.height * ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintText(painter, text, font, Qt::black, {0.0, 0.0, size.width, size.height});
    return image;
}

}  // namespace

Size textSize(const QString& text, const QFont& font) {
    static QHash<QString, Size> sizes;
    Size& size = cached(sizes, cacheKey(text, font));
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
    paintText(context->painter(), text, font, color,
              context->flipped({x, y, size.width, size.height}));
}

void drawText(const QString& text, const QFont& font, Rect rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    static QHash<QString, QImage> pictures;
    const double ratio = context->pixelRatio();
    QImage& image = cached(pictures, cacheKey(text, font, ratio));
    if (image.isNull()) {
        image = picture(text, font, textSize(text, font), ratio);
    }
    // Whole device pixels, as the glyph itself would be placed: no resampling blur.
    const QPointF topLeft = context->flipped(rect).topLeft() * ratio;
    context->painter().drawImage(QPointF(std::round(topLeft.x()), std::round(topLeft.y())) / ratio,
                                 image);
}

}  // namespace platform
