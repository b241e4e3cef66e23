#include "platform/drawing/Font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {

namespace {

const QString colourEmojiFamily = QStringLiteral("Noto Color Emoji");

QFont resolved(QFont font, int pixelSize, QFont::Weight weight, int stretch) {
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setStretch(stretch);
    // The desktop names aliases ("Sans Serif", "monospace") that a family list would skip, falling
    // through to the emoji font's keycap digits; name the family the alias resolves to instead.
    font.setFamilies(QStringList{QFontInfo(font).family(), colourEmojiFamily});
    return font;
}

// Resolving an alias asks fontconfig and measuring figures shapes text, tens of microseconds,
// and the scene asks for its fonts on every frame: keep each answer. The desktop's font is part
// of every key, so a changed setting is followed; the few answers start over rather than evict.
// They are compared in turn, which costs less than hashing a font: the fonts asked about are
// copies of the desktop's one, which compare equal at once.
template <typename Key, typename Value, typename Make>
Value remembered(std::vector<std::pair<Key, Value>>& answers, const Key& key, Make make) {
    for (const auto& [known, answer] : answers) {
        if (known == key) {
            return answer;
        }
    }
    if (answers.size() >= 16) {
        answers.clear();
    }
    return answers.emplace_back(key, make()).second;
}

QFont sized(const QFont& font, int pixelSize, QFont::Weight weight, int stretch = 100) {
    static std::vector<std::pair<std::tuple<int, int, int, QFont>, QFont>> fonts;
    return remembered(fonts, std::tuple{pixelSize, int(weight), stretch, font},
                      [&] { return resolved(font, pixelSize, weight, stretch); });
}

bool measureEvenFigures(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char digit = '0'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != advance) {
            return false;
        }
    }
    return true;
}

bool hasEvenFigures(const QFont& font) {
    static std::vector<std::pair<QFont, bool>> answers;
    return remembered(answers, font, [&] { return measureEvenFigures(font); });
}

}  // namespace

QFont systemFont(int pixelSize, QFont::Weight weight) {
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, weight);
}

QFont monospacedDigitSystemFont(int pixelSize, QFont::Weight weight, int stretch) {
    const QFont ui =
        sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixelSize, weight, stretch);
    if (hasEvenFigures(ui)) {
        return ui;
    }
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize, weight, stretch);
}

}  // namespace platform
