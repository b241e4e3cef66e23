#include "platform/tray/PanelBackground.h"

#include <gtest/gtest.h>

// Pixels only: no display and no application object.
using platform::PanelBackground;

namespace {

// A strip along the icon's top or bottom (one pixel high) or its side: `colour`, with `green`
// more green at each next pixel.
QImage strip(QSize size, QRgb colour, int green = 0) {
    QImage image(size, QImage::Format_RGB32);
    for (int i = 0; i < size.width() * size.height(); ++i) {
        image.setPixel(size.height() == 1 ? i : 0, size.height() == 1 ? 0 : i,
                       colour + green * i * 256);
    }
    return image;
}

// An icon 8 pixels wide between the panel's rows in grey 0x40 above and 0x80 below.
PanelBackground::Strips rows() {
    return {strip({8, 1}, 0xff404040), strip({8, 1}, 0xff808080), {}, {}};
}

}  // namespace

// What the window showed is kept where its first and last rows are within 32 per channel of the
// panel's rows; one pixel further off in any channel, at either end, and it is rebuilt.
TEST(PanelBackgroundTest, KeepsTheSnapshotOnlyWhereItJoinsThePanelsRowsThenFollowsTheirChanges) {
    QImage snapshot(8, 4, QImage::Format_RGB32);
    snapshot.fill(0xff123456);  // no blend of the rows gives this
    for (int x = 0; x < 8; ++x) {
        snapshot.setPixel(x, 0, qRgb(0x40 + 32, 0x40 - 32, 0x40));
        snapshot.setPixel(x, 3, qRgb(0x80, 0x80 + 32, 0x80 - 32));
    }
    PanelBackground background;
    const PanelBackground::Strips joined[] = {rows(), {rows().above, {}, {}, {}}};
    for (const auto& around : joined) {  // without a row below, the one above decides
        background.take(snapshot, around, {8, 4}, Qt::white);
        EXPECT_EQ(background.image().pixel(4, 1), 0xff123456);
    }
    const std::pair<QPoint, QRgb> offPixels[] = {{{0, 0}, qRgb(0x40 + 33, 0x40, 0x40)},
                                                 {{7, 3}, qRgb(0x80, 0x80 - 33, 0x80)},
                                                 {{3, 3}, qRgb(0x80, 0x80, 0x80 + 33)}};
    for (const auto& [at, pixel] : offPixels) {
        QImage marked = snapshot;
        marked.setPixel(at, pixel);
        background.take(marked, rows(), {8, 4}, Qt::white);
        EXPECT_EQ(background.image().pixel(4, 1), 0xff585858) << at.x() << "," << at.y();
    }
    // An icon as high as the panel: the columns beside it rebuild it, however well it joins.
    const QImage column = strip({1, 4}, 0xff404040);
    background.take(snapshot, {{}, {}, column, column}, {8, 4}, Qt::white);
    EXPECT_EQ(background.image().pixel(4, 1), 0xff404040);

    // Then the icon hands the strips in twice a second: only a new look of the panel or a new
    // size of the icon makes a new background, and its mean colour is the one the icon tells.
    background.take({}, rows(), {8, 4}, {});
    EXPECT_EQ(background.colour(), QColor(0x60, 0x60, 0x60));  // 0x48, 0x58, 0x68, 0x78
    EXPECT_FALSE(background.follow(rows(), {8, 4}, {}));
    EXPECT_FALSE(background.follow({rows().above, rows().below, column, {}}, {8, 4}, {}));
    EXPECT_TRUE(background.follow(rows(), {8, 6}, {}));
    EXPECT_TRUE(background.follow({rows().above, rows().above, {}, {}}, {8, 6}, {}));
    EXPECT_EQ(background.colour(), QColor(0x40, 0x40, 0x40));
}

// A blend from the row above to the one below in each column, or without rows from the column
// left to the one right in each row; one strip alone fills it, none leaves the fallback.
TEST(PanelBackgroundTest, RebuildsDownTheColumnsFromTheRowsOrAcrossFromTheColumns) {
    const QImage white = strip({1, 4}, 0xffffffff);
    const QRgb to = qRgb(200, 0, 0);
    PanelBackground background;
    background.take({}, {strip({4, 1}, 0xff000000, 10), strip({4, 1}, to, 10), white, white},
                    {4, 4}, {});
    for (int i = 0; i < 4; ++i) {  // from the icon's bottom left to its top right
        EXPECT_EQ(background.image().pixel(i, 3 - i), qRgb(25 + 50 * (3 - i), 10 * i, 0)) << i;
    }
    background.take({}, {{}, {}, strip({1, 4}, 0xff000000, 10), strip({1, 4}, to, 10)}, {4, 4}, {});
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(background.image().pixel(3 - i, i), qRgb(25 + 50 * (3 - i), 10 * i, 0)) << i;
    }
    background.take({}, {{}, strip({4, 1}, to, 10), {}, {}}, {4, 4}, {});
    EXPECT_EQ(background.image().pixel(2, 0), qRgb(200, 20, 0));
    background.take({}, {{}, {}, strip({1, 4}, 0xff000000, 10), {}}, {4, 4}, {});
    EXPECT_EQ(background.image().pixel(0, 2), qRgb(0, 20, 0));
    background.take({}, {}, {4, 4}, Qt::red);
    EXPECT_EQ(background.image().pixel(1, 1), 0xffff0000);
}
