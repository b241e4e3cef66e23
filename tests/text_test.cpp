#include "platform/drawing/Text.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>

#include "GuiApplication.h"
#include "platform/drawing/Font.h"
#include "platform/drawing/GraphicsContext.h"

namespace {

QImage blank(int scale) {
    QImage image(44 * scale, 22 * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

// The largest difference of any channel of any pixel.
int largestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (int shift : {0, 8, 16, 24}) {
                largest = std::max(largest,
                                   std::abs(int((p >> shift) & 0xff) - int((q >> shift) & 0xff)));
            }
        }
    }
    return largest;
}

// Draws `text` as the display pass did before pictures were cached: shaped in place.
QImage drawnInPlace(const QString& text, const QFont& font, const QColor& color, double x, double y,
                    int scale) {
    const Size size = platform::textSize(text, font);
    QImage image = blank(scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, 22 - y - size.height, size.width, size.height),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    return image;
}

}  // namespace

// The label comes from a cached picture; it must look as the same text drawn in place would,
// wherever it lands within a pixel, at either scale, when made and when reused.
TEST(Text, CachedLabelMatchesTextDrawnInPlace) {
    ensureGuiApplication();
    const QFont font = platform::monospacedDigitSystemFont(9, QFont::DemiBold);
    const QColor color = QColor::fromRgbF(0.95f, 0.25f, 0.1f, 1.0f);
    for (int scale : {1, 2}) {
        for (double x : {18.0, 17.3, 16.75}) {
            for (const char* text : {"100%", " 42%"}) {
                const QImage direct = drawnInPlace(text, font, color, x, 6.4, scale);
                for (int pass = 0; pass < 2; ++pass) {
                    QImage cached = blank(scale);
                    {
                        platform::GraphicsContext context(cached, 22);
                        const platform::GraphicsContext::Scope scope(context);
                        platform::drawText(text, font, color, x, 6.4);
                    }
                    EXPECT_LE(largestDifference(cached, direct), 1)
                        << text << " at " << x << ", scale " << scale << ", pass " << pass;
                }
            }
        }
    }
}
