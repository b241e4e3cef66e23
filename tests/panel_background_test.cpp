#include "platform/tray/PanelBackground.h"

#include <gtest/gtest.h>

// Pixels only: no display and no application object.
using platform::PanelBackground;

// MATE's Menta, shaded from top to bottom: a 27-pixel panel with a border row below, the
// notification area's handle (dots) just left of the icon and a clock's digits right of it. The
// icon covers the 26 rows above the border and still shows the grey box it was painted in before.
// Only a new look beside the icon or a new size makes a new background; rows with nothing beside
// the icon, or no pixels at all, take the fallback.
TEST(PanelBackgroundTest, IsThePanelsColourRowByRowNotItsBorderNorWhatIsBesideTheIcon) {
    const auto shade = [](int y) { return qRgb(0xd4 - y, 0xd4 - y, 0xd4 - y); };
    QImage panel(80, 27, QImage::Format_RGB32);
    for (int i = 0; i < 80 * 27; ++i) {
        const int x = i % 80, y = i / 80;
        const bool dot = x >= 16 && x <= 18 && y % 7 >= 4 && y % 7 <= 5;
        const bool digit = x >= 66 && x <= 74 && (x + y) % 3 == 0;
        const bool grey = y == 26 || (x >= 20 && x < 64);
        panel.setPixel(x, y, grey ? 0xffa4a4a4 : dot ? 0xffc2c2c2 : digit ? 0xff333333 : shade(y));
    }
    PanelBackground background;
    ASSERT_TRUE(background.follow(panel, {20, 0, 44, 26}, Qt::white));
    ASSERT_EQ(background.image().size(), QSize(44, 26));
    for (int i = 0; i < 44 * 26; ++i) {
        ASSERT_EQ(background.image().pixel(i % 44, i / 44), shade(i / 44)) << i;
    }
    EXPECT_EQ(background.colour(), QColor(199, 199, 199));  // from 212 down to 187

    EXPECT_FALSE(background.follow(panel, {30, 0, 44, 26}, Qt::white));
    EXPECT_TRUE(background.follow(panel, {20, 0, 40, 26}, Qt::white));
    panel.setPixel(0, 3, 0xffffffff);  // one pixel more beside the icon changes nothing
    EXPECT_FALSE(background.follow(panel, {20, 0, 40, 26}, Qt::white));

    EXPECT_TRUE(background.follow(panel, {0, 0, 80, 2}, Qt::red));
    EXPECT_EQ(background.image().pixel(79, 1), 0xffff0000);
    EXPECT_TRUE(background.follow({}, {0, 0, 3, 3}, Qt::blue));
    EXPECT_EQ(background.image().pixel(2, 2), 0xff0000ff);
}
