#include "platform/tray/PanelBackground.h"

#include <QtMath>
#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// How far a pixel of the snapshot may be from the panel's pixel next to it, per channel.
constexpr int snapshotTolerance = 32;

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= snapshotTolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= snapshotTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= snapshotTolerance;
}

// Whether `row` of `image` is close to the one-pixel-high `neighbour`; a missing one says nothing.
bool rowMatches(const QImage& image, int row, const QImage& neighbour) {
    if (neighbour.isNull()) {
        return true;
    }
    const auto* mine = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    const auto* theirs = reinterpret_cast<const QRgb*>(neighbour.constScanLine(0));
    return std::equal(mine, mine + image.width(), theirs, near);
}

bool hasRows(const PanelBackground::Strips& strips) {
    return !strips.above.isNull() || !strips.below.isNull();
}

// The columns beside the icon count only for an icon as high as the panel.
PanelBackground::Strips normalised(PanelBackground::Strips strips) {
    if (hasRows(strips)) {
        strips.left = strips.right = QImage();
    }
    return strips;
}

// A blend from the row above to the one below in each column, or from the column left to the
// one right in each row. That is exact for a plain colour and close for the gradients panels draw.
QImage rebuilt(const PanelBackground::Strips& strips, QSize size, const QColor& fallback) {
    QImage image(size, QImage::Format_RGB32);
    const bool rows = hasRows(strips);
    const QImage& first = rows ? strips.above : strips.left;
    const QImage& second = rows ? strips.below : strips.right;
    if (first.isNull() && second.isNull()) {
        image.fill(fallback);
        return image;
    }
    const QImage& from = first.isNull() ? second : first;
    const QImage& to = second.isNull() ? first : second;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double t = rows ? (y + 0.5) / image.height() : (x + 0.5) / image.width();
            const QRgb a = rows ? from.pixel(x, 0) : from.pixel(0, y);
            const QRgb b = rows ? to.pixel(x, 0) : to.pixel(0, y);
            const auto mix = [t](int p, int q) { return qRound(p + (q - p) * t); };
            line[x] =
                qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
        }
    }
    return image;
}

QColor meanOf(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    qint64 red = 0;
    qint64 green = 0;
    qint64 blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            red += qRed(line[x]);
            green += qGreen(line[x]);
            blue += qBlue(line[x]);
        }
    }
    const qint64 count = qint64(image.width()) * image.height();
    return QColor(int(red / count), int(green / count), int(blue / count));
}

}  // namespace

void PanelBackground::take(const QImage& snapshot, Strips around, QSize size,
                           const QColor& fallback) {
    strips = normalised(std::move(around));
    const bool joins = !snapshot.isNull() && hasRows(strips) &&
                       rowMatches(snapshot, 0, strips.above) &&
                       rowMatches(snapshot, snapshot.height() - 1, strips.below);
    set(joins ? snapshot : rebuilt(strips, size, fallback));
}

bool PanelBackground::follow(Strips around, QSize size, const QColor& fallback) {
    around = normalised(std::move(around));
    if (around == strips && size == background.size()) {
        return false;
    }
    strips = std::move(around);
    set(rebuilt(strips, size, fallback));
    return true;
}

void PanelBackground::set(const QImage& image) {
    background = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    mean = meanOf(background);
}

}  // namespace platform
