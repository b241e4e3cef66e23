#include "platform/GraphicsContext.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>

#include "GuiApplication.h"

namespace {

QImage blank(int width, int height, int scale) {
    QImage image(width * scale, height * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

TEST(GraphicsContext, SceneOriginIsTheBottomLeftCorner) {
    ensureGuiApplication();
    QImage image = blank(20, 10, 2);
    {
        platform::GraphicsContext context(image, 10);
        context.setFillColor(Qt::red);
        context.fillEllipseInRect({0, 0, 4, 4});
    }
    EXPECT_EQ(image.pixel(4, 16), qRgba(255, 0, 0, 255));  // the centre (2, 2), near the bottom
    EXPECT_EQ(qAlpha(image.pixel(4, 4)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 19)), 0);  // the rectangle's corner lies outside the circle
}

TEST(GraphicsContext, EllipseStaysInsideItsRectangle) {
    ensureGuiApplication();
    QImage image = blank(20, 10, 4);
    {
        platform::GraphicsContext context(image, 10);
        context.setFillColor(Qt::white);
        context.fillEllipseInRect({2, 3, 12, 4});  // wide: 2..14 across, 3..7 up
    }
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            const double x = (column + 0.5) / 4.0;
            const double y = 10.0 - (row + 0.5) / 4.0;
            const double u = (x - 8.0) / 6.0;
            const double v = (y - 5.0) / 2.0;
            const int alpha = qAlpha(image.pixel(column, row));
            if (u * u + v * v < 0.8) {
                ASSERT_EQ(alpha, 255) << x << " " << y;
            } else if (u * u + v * v > 1.25) {
                ASSERT_EQ(alpha, 0) << x << " " << y;
            }
        }
    }
}

TEST(GraphicsContext, OutlineStraddlesTheEdge) {
    ensureGuiApplication();
    QImage image = blank(20, 20, 8);
    {
        platform::GraphicsContext context(image, 20);
        context.setStrokeColor(Qt::blue);
        context.setLineWidth(1.0);
        context.strokeEllipseInRect({5, 5, 10, 10});  // radius 5 around (10, 10)
    }
    const auto alphaAt = [&](double x) { return qAlpha(image.pixel(int(x * 8), 80)); };
    EXPECT_EQ(alphaAt(10.0), 0);    // the centre stays empty
    EXPECT_EQ(alphaAt(15.0), 255);  // on the edge
    EXPECT_EQ(alphaAt(15.3), 255);
    EXPECT_EQ(alphaAt(14.7), 255);
    EXPECT_EQ(alphaAt(15.7), 0);
    EXPECT_EQ(alphaAt(14.3), 0);
}

// The blit that replaced QPainter::drawImage for the cached text pictures must give what the
// painter gave: partly transparent pictures over partly transparent images, at either scale,
// wherever they land, the edges of the image clipping them.
TEST(GraphicsContext, ImageBlitMatchesThePainter) {
    ensureGuiApplication();
    QImage picture(9, 7, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int alpha = (x * 37 + y * 71) % 256;  // from transparent to opaque
            picture.setPixel(x, y, qPremultiply(qRgba(200, 40 + 20 * y, 255 - 25 * x, alpha)));
        }
    }
    for (int scale : {1, 2}) {
        picture.setDevicePixelRatio(scale);
        for (const QPoint at :
             {QPoint(3, 2), QPoint(-4, -3), QPoint(10 * scale - 5, 6 * scale - 4)}) {
            QImage background = blank(10, 6, scale);
            background.fill(qPremultiply(qRgba(30, 90, 160, 120)));
            QImage painted = background;
            {
                QPainter painter(&painted);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(QPointF(at) / scale, picture);
            }
            QImage blitted = background;
            {
                platform::GraphicsContext context(blitted, 6);
                context.drawImage(picture, at);
            }
            int largest = 0;
            for (int y = 0; y < painted.height(); ++y) {
                for (int x = 0; x < painted.width(); ++x) {
                    for (int shift : {0, 8, 16, 24}) {
                        const int p = int((painted.pixel(x, y) >> shift) & 0xff);
                        const int q = int((blitted.pixel(x, y) >> shift) & 0xff);
                        largest = std::max(largest, std::abs(p - q));
                    }
                }
            }
            EXPECT_LE(largest, 1) << "scale " << scale << " at " << at.x() << ", " << at.y();
            EXPECT_NE(blitted, background);
        }
    }
}
