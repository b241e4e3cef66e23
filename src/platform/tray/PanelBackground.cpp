#include "platform/tray/PanelBackground.h"

#include <algorithm>
#include <optional>

namespace platform {

namespace {

// The colour most pixels of `line` have outside the columns [skipFrom, skipTo); none without
// pixels there. `scratch` is kept from call to call.
std::optional<QRgb> dominant(const QRgb* line, int width, int skipFrom, int skipTo,
                             std::vector<QRgb>& scratch) {
    scratch.assign(line, line + std::clamp(skipFrom, 0, width));
    scratch.insert(scratch.end(), line + std::clamp(skipTo, 0, width), line + width);
    if (scratch.empty()) {
        return std::nullopt;
    }
    // The server leaves the unused byte of a pixel as it likes.
    for (QRgb& pixel : scratch) {
        pixel |= 0xff000000;
    }
    std::sort(scratch.begin(), scratch.end());
    QRgb best = scratch.front();
    std::ptrdiff_t bestCount = 0;
    for (auto run = scratch.begin(); run != scratch.end();) {
        const auto next = std::upper_bound(run, scratch.end(), *run);
        if (next - run > bestCount) {
            best = *run;
            bestCount = next - run;
        }
        run = next;
    }
    return best;
}

QColor meanOf(const std::vector<QRgb>& colours) {
    int red = 0;
    int green = 0;
    int blue = 0;
    for (const QRgb colour : colours) {
        red += qRed(colour);
        green += qGreen(colour);
        blue += qBlue(colour);
    }
    const int count = std::max(1, int(colours.size()));
    return QColor(red / count, green / count, blue / count);
}

}  // namespace

bool PanelBackground::follow(const QImage& panel, QRect icon, const QColor& fallback) {
    const QImage pixels = panel.convertToFormat(QImage::Format_RGB32);
    std::vector<QRgb> now(std::size_t(std::max(0, icon.height())), fallback.rgb());
    std::vector<QRgb> scratch;
    for (int y = 0; y < icon.height(); ++y) {
        if (icon.top() + y >= 0 && icon.top() + y < pixels.height()) {
            const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(icon.top() + y));
            now[std::size_t(y)] =
                dominant(line, pixels.width(), icon.left(), icon.right() + 1, scratch)
                    .value_or(now[std::size_t(y)]);
        }
    }
    if (now == rows && icon.size() == background.size()) {
        return false;
    }
    rows = std::move(now);
    background = QImage(icon.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < background.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(background.scanLine(y));
        std::fill(line, line + background.width(), rows[std::size_t(y)]);
    }
    mean = meanOf(rows);
    return true;
}

}  // namespace platform
