#include "platform/drawing/Font.h"

#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

#include "GuiApplication.h"
#include "platform/drawing/Text.h"

namespace {

// The families that lay out `text` in `font`, one per glyph run.
QStringList familiesOf(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        families << run.rawFont().familyName();
    }
    return families;
}

}  // namespace

TEST(Font, LabelKeepsItsWidthAsTheDigitsChange) {
    ensureGuiApplication();
    const QFont font = platform::monospacedDigitSystemFont(9, QFont::DemiBold);
    const double width = platform::textSize("100%", font).width;
    EXPECT_GT(width, 0.0);
    for (const char* label : {"  0%", " 88%", " 13%", "  7%"}) {
        EXPECT_EQ(platform::textSize(label, font).width, width) << label;
    }
}

TEST(Font, SizesAreLogicalPixels) {
    ensureGuiApplication();
    EXPECT_EQ(platform::systemFont(15).pixelSize(), 15);
    const QFont label = platform::monospacedDigitSystemFont(9, QFont::DemiBold);
    EXPECT_EQ(label.pixelSize(), 9);
    EXPECT_EQ(label.weight(), QFont::DemiBold);
}

TEST(Font, AliasFamilyDoesNotFallThroughToEmojiDigits) {
    ensureGuiApplication();
    for (const QFont& font :
         {platform::systemFont(15), platform::monospacedDigitSystemFont(9, QFont::DemiBold)}) {
        EXPECT_FALSE(familiesOf("0123456789 %", font).contains("Noto Color Emoji"));
    }
}
