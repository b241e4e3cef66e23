#include "platform/drawing/Contrast.h"

#include <cmath>

namespace platform {

namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double ratioOf(double a, double b) {
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor composited(const QColor& foreground, const QColor& background) {
    const QColor over = foreground.toRgb();
    const QColor under = background.toRgb();
    const double a = over.alphaF();
    const auto mix = [a](double f, double b) { return f * a + b * (1.0 - a); };
    return QColor::fromRgbF(float(mix(over.redF(), under.redF())),
                            float(mix(over.greenF(), under.greenF())),
                            float(mix(over.blueF(), under.blueF())));
}

QColor mixed(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](double f, double t) { return float(f + (t - f) * share); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()));
}

}  // namespace

double luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& foreground, const QColor& background) {
    return ratioOf(luminance(composited(foreground, background)), luminance(background));
}

// Away from the background's luminance, the way the colour already lies from it; where even
// black or white that way falls short (a mid grey), the other extreme. Halving the step twelve
// times finds the least mix to within a 4096th.
QColor withContrast(const QColor& colour, const QColor& background, double ratio) {
    const QColor seen = composited(colour, background);
    const double behind = luminance(background);
    if (ratioOf(luminance(seen), behind) >= ratio) {
        return seen;
    }
    const bool lighter = luminance(seen) >= behind;
    if (ratioOf(lighter ? 1.0 : 0.0, behind) < ratio) {
        return lighter ? Qt::black : Qt::white;
    }
    const QColor target = lighter ? Qt::white : Qt::black;
    double low = 0.0;
    double high = 1.0;
    for (int step = 0; step < 12; ++step) {
        const double middle = (low + high) * 0.5;
        (ratioOf(luminance(mixed(seen, target, middle)), behind) >= ratio ? high : low) = middle;
    }
    return mixed(seen, target, high);
}

QColor edgeFor(const QColor& colour) {
    const double l = luminance(colour);
    return ratioOf(l, 0.0) > ratioOf(l, 1.0) ? Qt::black : Qt::white;
}

}  // namespace platform
