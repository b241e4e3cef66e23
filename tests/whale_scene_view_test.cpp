#include "WhaleSceneView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Fakes.h"
#include "TestApp.h"
#include "platform/drawing/Contrast.h"

namespace {

constexpr double pi = std::numbers::pi;

// Whether anything is painted in the column of scene points from x = `from` to `to`.
bool inkBetween(const QImage& image, double from, double to) {
    const double scale = image.devicePixelRatio();
    for (int x = int(from * scale); x < int(to * scale) && x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return true;
            }
        }
    }
    return false;
}

void expectSpray(const Spray& s, const std::vector<double>& expected) {
    const std::vector<double> actual{s.x, s.y, s.vx, s.vy, s.radius, s.life, s.maxLife};
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-12) << i;
    }
}

struct WhaleSceneViewTest : testing::Test {
    TestApp app;
    WhaleSceneView view{Rect{0, 0, 44, 22},
                        std::make_shared<platform::Appearance>(QDBusConnection(QString())),
                        std::make_shared<FedRandom>(std::deque<std::uint64_t>{1})};
};

}  // namespace

TEST_F(WhaleSceneViewTest, WhaleLeavesRoomForTheLabelAndBobsWithPhaseAndLoad) {
    // Full load bobs 1.2 points at 2.4 radians a second, no load 0.5 at 0.8.
    for (const auto& [label, usage, phase, x, y] : {std::tuple{true, 0.3, 0.0, 10.0, 8.8},
                                                    {false, 0.3, 0.0, 15.0, 8.8},
                                                    {true, 1.0, pi / 2 / 2.4, 10.0, 10.0},
                                                    {true, 0.0, 3 * pi / 2 / 0.8, 10.0, 8.3}}) {
        view.showPercentage = label;
        view.usage = usage;
        view.phase = phase;
        view.computePosition({5, 7, label ? 44.0 : 30.0, 22});  // the origin plays no part
        EXPECT_EQ(view.whaleX, x);
        EXPECT_NEAR(view.whaleY, y, 1e-12);
    }
}

TEST_F(WhaleSceneViewTest, LabelTextRoundsHalvesAwayFromZeroAndClampsToAFraction) {
    const std::pair<double, const char*> rows[] = {
        {0.125, " 13%"},     {0.0625, "  6%"}, {1.0, "100%"}, {std::nan(""), "  0%"},
        {-HUGE_VAL, "  0%"}, {-0.3, "  0%"},   {1.5, "100%"}, {1e300, "100%"}};
    for (const auto& [fraction, text] : rows) {
        EXPECT_EQ(WhaleSceneView::percentText(fraction), text) << fraction;
    }
}

TEST_F(WhaleSceneViewTest, EmissionCarriesTheRemainderTakesItsRandomValuesAndDropsTheOldest) {
    view.usage = 0.5;  // 38 droplets a second
    view.whaleX = 10.0;
    view.whaleY = 9.0;
    view.emitSprays(0.02);
    EXPECT_TRUE(view.sprays.empty());
    view.emitSprays(0.01);
    ASSERT_EQ(view.sprays.size(), 1u);
    EXPECT_NEAR(view.sprayAccumulator, 0.14, 1e-12);
    // Bits 1 give each range's lower end: offset -0.4, direction -1, speed 0.75.
    expectSpray(view.sprays[0], {9.6, 15.3, -0.9, 30.0 * 0.75, 0.9, 0.425, 0.6});
    view.sprays.assign(60, Spray{});
    view.sprays[1].x = 1.0;
    view.emitSprays(1.0 / 38);
    ASSERT_EQ(view.sprays.size(), 60u);
    EXPECT_EQ(view.sprays[0].x, 1.0);
    EXPECT_NEAR(view.sprays[59].x, 9.6, 1e-12);
}

TEST_F(WhaleSceneViewTest, DropletsMoveBounceBelowTheCeilingAndDieWithTheirLife) {
    view.sprays = {
        {10, 20, 1, 40, 1, 0.5, 0.6}, {20, 5, 1, 40, 1, 0.5, 0.6}, {1, 5, 0, 0, 1, 0.1, 0.6}};
    view.advanceSprays(0.1);
    ASSERT_EQ(view.sprays.size(), 2u);
    // Moved with the velocities from before the bounce.
    expectSpray(view.sprays[0], {10.1, 24.0, 2.5, -14.0, 1, 0.4, 0.6});
    expectSpray(view.sprays[1], {20.1, 9.0, 1, 40, 1, 0.4, 0.6});
}

TEST_F(WhaleSceneViewTest, PaintsTheWhaleItsDropletsAndTheLabelInTheirPlaces) {
    view.setFrame({0, 0, 64, 22});
    view.sprays = {{36, 16, 0, 0, 1.3, 0.6, 0.6}};
    const QImage image = view.paint(4);
    // The whale some 15 points wide around x = 20, the droplet around 36, the label up to 62.
    for (const auto& [from, to, painted] : {std::tuple{0.0, 9.0, false},
                                            {12.0, 28.0, true},
                                            {31.0, 34.0, false},
                                            {34.5, 37.5, true},
                                            {38.0, 40.0, false},
                                            {52.0, 62.0, true},
                                            {62.5, 64.0, false}}) {
        EXPECT_EQ(inkBetween(image, from, to), painted) << from;
    }
    view.showPercentage = false;
    view.sprays.clear();
    EXPECT_FALSE(inkBetween(view.paint(2), 52, 64));
    view.setFrame({0, 0, 30, 2});  // too small to draw in
    EXPECT_FALSE(inkBetween(view.paint(2), 0, 30));
}

// Square-only panels get the whole whale, or with the label the number in its colour under a
// smaller whale, at both sizes.
TEST_F(WhaleSceneViewTest, SquareVariantIsTheWholeWhaleOrTheNumberUnderIt) {
    view.usage = view.displayUsage = 1.0;
    const QColor label = view.percentColor();
    const auto inLabelColour = [&](QRgb pixel) {
        const QColor c = QColor::fromRgba(qUnpremultiply(pixel));
        return c.alpha() > 0 && std::abs(c.redF() - label.redF()) < 0.1 &&
               std::abs(c.greenF() - label.greenF()) < 0.1 &&
               std::abs(c.blueF() - label.blueF()) < 0.1;
    };
    for (const bool shown : {false, true}) {
        view.showPercentage = shown;
        view.setNeedsDisplay(true);
        view.displayIfNeeded();
        ASSERT_EQ(view.squareImages().size(), 2u);
        for (const QImage& square : view.squareImages()) {
            ASSERT_EQ(square.width(), square.height());
            int top = square.height(), bottom = -1;  // the rows in the label's colour
            for (int i = 0; i < square.width() * square.height(); ++i) {
                if (inLabelColour(square.pixel(i % square.width(), i / square.width()))) {
                    top = std::min(top, i / square.width());
                    bottom = i / square.width();
                }
            }
            EXPECT_EQ(bottom >= 0, shown) << square.height();
            EXPECT_TRUE(!shown ||
                        (top >= square.height() / 2 - 2 && bottom - top > square.height() / 5))
                << top << "-" << bottom;
        }
    }
}

// At 16 and 22 pixels, wide or square, the digits are 7 pixels high or more; over a background
// the item cannot know (GNOME's bar: white label) they have a black edge, over the panel's own
// colour none, and enough contrast: the label's white at 0.95 would give 4.3:1 on grey 0x76.
TEST_F(WhaleSceneViewTest, LabelReadsAt16And22PixelsOverAnyPanel) {
    WhaleSceneView view{Rect{0, 0, 44, 22},
                        std::make_shared<platform::Appearance>(QDBusConnection(QString()), "GNOME"),
                        std::make_shared<FedRandom>(std::deque<std::uint64_t>{1})};
    view.usage = view.displayUsage = 0.42;
    const QColor grey(0x76, 0x76, 0x76);
    for (const QColor& panel : {QColor(), grey}) {
        view.setPanelBackground(panel);
        for (const auto& [height, square] : {std::pair{16, false}, {22, false}, {16, true}}) {
            const QImage image = view.paint(height / 22.0, square);
            int top = height, bottom = -1, edge = 0;
            double contrast = 0.0;
            for (int y = square ? height / 2 : 0; y < height; ++y) {
                for (int x = square ? 0 : image.width() / 2; x < image.width(); ++x) {
                    const QColor c = QColor::fromRgba(qUnpremultiply(image.pixel(x, y)));
                    edge += c.alpha() > 128 && c.lightness() < 40;
                    if (c.alpha() > 200 && c.lightness() > 200) {  // the white label
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                        contrast = std::max(contrast, platform::contrastRatio(c, grey));
                    }
                }
            }
            SCOPED_TRACE(testing::Message() << height << (square ? " square" : " wide"));
            EXPECT_GE(bottom - top + 1, 7);
            EXPECT_EQ(edge > 0, !panel.isValid());
            EXPECT_TRUE(!panel.isValid() || contrast >= 4.5) << contrast;
        }
    }
}
