#include "platform/drawing/GraphicsContext.h"

#include <gtest/gtest.h>

#include "TestApp.h"

// The context covers an ellipse's pixels by their distance from its edge, taken as straight
// across each pixel; QPainter covers their area. The two differ most for circles a pixel or two
// wide and for outlines thinner than a pixel (QPainter's are thinner still): at most 40 255ths
// of a pixel for a fill, 64 for an outline at 2x and 115 at 1x.
TEST(GraphicsContext, EllipsesCoverThePixelsQPainterCoversWithinTheApproximation) {
    TestApp app;
    std::vector<Rect> rects{{2.3, 3.1, 12.4, 4.2}};  // an ellipse, then circles
    for (const double radius : {0.5, 0.9, 1.3, 3.7}) {
        for (const double offset : {0.0, 0.25, 0.37}) {
            rects.push_back(
                {10 + offset - radius, 8 + offset * 0.7 - radius, 2 * radius, 2 * radius});
        }
    }
    for (const auto& [scale, stroke, tolerance] :
         {std::tuple{1, false, 40}, {2, false, 40}, {1, true, 115}, {2, true, 64}}) {
        for (const Rect& rect : rects) {
            QImage ours(20 * scale, 16 * scale, QImage::Format_ARGB32_Premultiplied);
            ours.setDevicePixelRatio(scale);
            ours.fill(Qt::transparent);
            QImage theirs = ours.copy();
            platform::GraphicsContext context(ours, 16), reference(theirs, 16);
            context.setFillColor(Qt::white);
            context.setStrokeColor(Qt::white);
            context.setLineWidth(0.6);
            stroke ? context.strokeEllipseInRect(rect) : context.fillEllipseInRect(rect);
            reference.painter().setPen(stroke ? QPen(Qt::white, 0.6) : QPen(Qt::NoPen));
            reference.painter().setBrush(stroke ? QBrush() : QBrush(Qt::white));
            reference.painter().drawEllipse(reference.flipped(rect));
            reference.painter().end();
            int largest = 0;  // of any channel of any pixel
            for (qsizetype i = 0; i < ours.sizeInBytes(); ++i) {
                largest = std::max(largest, std::abs(ours.constBits()[i] - theirs.constBits()[i]));
            }
            EXPECT_LE(largest, tolerance) << rect.x << " " << rect.width << " at " << scale;
        }
    }
}
