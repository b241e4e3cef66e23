#include "platform/Font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>

namespace platform {

namespace {

const QString colourEmojiFamily = QStringLiteral("Noto Color Emoji");

QFont sized(QFont font, int pixelSize, QFont::Weight weight) {
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    // The desktop names aliases ("Sans Serif", "monospace") that a family list would skip, falling
    // through to the emoji font's keycap digits; name the family the alias resolves to instead.
    font.setFamilies(QStringList{QFontInfo(font).family(), colourEmojiFamily});
    return font;
}

bool hasEvenFigures(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char digit = '0'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != advance) {
            return false;
        }
    }
    return true;
}

}  // namespace

QFont systemFont(int pixelSize) {
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, QFont::Normal);
}

QFont monospacedDigitSystemFont(int pixelSize, QFont::Weight weight) {
    const QFont ui =
        sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, weight);
    if (hasEvenFigures(ui)) {
        return ui;
    }
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize, weight);
}

}  // namespace platform
