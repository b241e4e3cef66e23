#include "platform/drawing/GraphicsContext.h"

#include <gtest/gtest.h>

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
