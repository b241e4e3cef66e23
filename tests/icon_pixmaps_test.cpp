#include "platform/tray/IconPixmaps.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <cmath>

using platform::IconPixmapList;
using platform::updateIconPixmaps;

namespace {

quint32 pixelAt(const IconPixmapList& pixmaps, int index, int x, int y) {
    const auto& pixmap = pixmaps[index];
    const auto* bytes = reinterpret_cast<const uchar*>(pixmap.bytes.constData());
    return qFromBigEndian<quint32>(bytes + (y * pixmap.width + x) * 4);
}

QImage filled(int width, int height, QRgb pixel) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(pixel);
    return image;
}

}  // namespace

// Every channel a premultiplied pixel can hold comes back as the nearest straight value (Qt's
// bulk conversion is a step off for some of them), in network byte order.
TEST(IconPixmaps, StraightAlphaToTheNearestValueInNetworkByteOrder) {
    QImage premultiplied(256, 256, QImage::Format_ARGB32_Premultiplied);
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            const int channel = std::min(value, alpha);
            premultiplied.setPixel(value, alpha, qRgba(channel, channel / 2, 0, alpha));
        }
    }
    IconPixmapList pixmaps;
    ASSERT_EQ(updateIconPixmaps(pixmaps, {filled(44, 22, 0x80402010), premultiplied}).size(), 2);
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(pixmaps[0].bytes.left(4), QByteArray("\x80\x40\x20\x10", 4));
    for (int alpha = 1; alpha < 256; ++alpha) {
        const auto nearest = [alpha](int c) { return int(std::floor(c * 255.0 / alpha + 0.5)); };
        for (int value = 0; value < 256; ++value) {
            const int channel = std::min(value, alpha);
            ASSERT_EQ(pixelAt(pixmaps, 1, value, alpha),
                      qRgba(nearest(channel), nearest(channel / 2), 0, alpha))
                << value << ", " << alpha;
        }
    }
    EXPECT_EQ(pixelAt(pixmaps, 1, 7, 0), 0u);
}

// Wide images first, square ones after; a picture is "changed" exactly when a byte or its size
// differs from what the list held, and every one is when their number does: a host that draws
// one picture is told of its changes alone.
TEST(IconPixmaps, ReportsThePicturesWithDifferentPixelsSizesOrCount) {
    const QImage wide = filled(44, 22, 0xff112233);
    QImage lastPixel = wide;
    lastPixel.setPixel(43, 21, 0xff112234);
    const QImage square = filled(22, 22, 0x80ff0000);
    IconPixmapList pixmaps;
    ASSERT_EQ(updateIconPixmaps(pixmaps, {wide}, {square}), (QList<QSize>{{44, 22}, {22, 22}}));
    EXPECT_EQ(pixelAt(pixmaps, 1, 21, 21), 0x80ff0000u);

    const struct {
        std::vector<QImage> images, square;
        QList<QSize> changed;
    } frames[] = {
        {{wide.copy()}, {square}, {}},
        {{lastPixel}, {square}, {{44, 22}}},
        {{lastPixel}, {lastPixel.copy(22, 0, 22, 22)}, {{22, 22}}},
        {{lastPixel}, {}, {{44, 22}}},
        {{lastPixel.copy(0, 0, 30, 22)}, {}, {{30, 22}}},
    };
    for (const auto& frame : frames) {
        EXPECT_EQ(updateIconPixmaps(pixmaps, frame.images, frame.square), frame.changed)
            << &frame - frames;
    }
    EXPECT_EQ(pixelAt(pixmaps, 0, 29, 21), 0xff112233u);
}
