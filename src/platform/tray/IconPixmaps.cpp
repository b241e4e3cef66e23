#include "platform/tray/IconPixmaps.h"

#include <QtEndian>

namespace platform {

namespace {

// Writes `image` into `pixmap` as the panel takes it, reusing its bytes; returns whether any
// byte changed. One pass un-premultiplies, swaps to network order and compares.
bool updateIconPixmap(IconPixmap& pixmap, const QImage& image) {
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = premultiplied.width();
    const int height = premultiplied.height();
    bool changed = pixmap.width != width || pixmap.height != height;
    if (changed) {
        pixmap = {width, height, QByteArray(width * height * 4, '\0')};
    }
    auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
        for (int x = 0; x < width; ++x, ++out) {
            const quint32 value = qToBigEndian<quint32>(qUnpremultiply(in[x]));
            changed = changed || *out != value;
            *out = value;
        }
    }
    return changed;
}

}  // namespace

QList<QSize> updateIconPixmaps(IconPixmapList& pixmaps, const std::vector<QImage>& images,
                               const std::vector<QImage>& square) {
    const auto wide = qsizetype(images.size());
    const auto count = wide + qsizetype(square.size());
    const bool counted = pixmaps.size() == count;
    pixmaps.resize(count);
    QList<QSize> changed;
    for (qsizetype i = 0; i < count; ++i) {
        const QImage& image = i < wide ? images[std::size_t(i)] : square[std::size_t(i - wide)];
        if (updateIconPixmap(pixmaps[i], image) || !counted) {
            changed.append(image.size());
        }
    }
    return changed;
}

}  // namespace platform
