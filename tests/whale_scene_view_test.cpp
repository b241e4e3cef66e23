#include "WhaleSceneView.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "FedRandom.h"
#include "GuiApplication.h"

namespace {

// An appearance the test sets by hand; its unconnected bus reaches no portal.
class FixedAppearance : public platform::Appearance {
  public:
    FixedAppearance() : Appearance(QDBusConnection(QString())) {}
    bool isDark() const override { return dark; }
    bool dark = false;
};

// The box, in points of the scene (origin bottom-left, y up), around the painted pixels that
// `wanted` picks; empty when none is.
struct Ink {
    double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9;
    bool empty() const { return left > right; }
    double centreX() const { return (left + right) * 0.5; }
    double centreY() const { return (bottom + top) * 0.5; }
};

Ink inkOf(const QImage& image, const std::function<bool(double x, QRgb)>& wanted) {
    const double scale = image.devicePixelRatio();
    const double height = image.height() / scale;
    Ink ink;
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            const QRgb pixel = image.pixel(column, row);
            if (qAlpha(pixel) == 0 || !wanted((column + 0.5) / scale, pixel)) {
                continue;
            }
            ink.left = std::min(ink.left, column / scale);
            ink.right = std::max(ink.right, (column + 1) / scale);
            ink.top = std::max(ink.top, height - row / scale);
            ink.bottom = std::min(ink.bottom, height - (row + 1) / scale);
        }
    }
    return ink;
}

Ink inkOf(const QImage& image) {
    return inkOf(image, [](double, QRgb) { return true; });
}

// The pixel under the scene's point (x, y), unpremultiplied.
QColor pixelAt(const QImage& image, double x, double y) {
    const double scale = image.devicePixelRatio();
    const QRgb pixel = image.pixel(int(x * scale), int((image.height() / scale - y) * scale));
    return QColor::fromRgba(qUnpremultiply(pixel));
}

class WhaleSceneViewTest : public testing::Test {
  protected:
    void SetUp() override { ensureGuiApplication(); }

    void resize(double width, double height, bool label) {
        view.setFrame({0, 0, width, height});
        view.showPercentage = label;
    }

    std::shared_ptr<FixedAppearance> appearance = std::make_shared<FixedAppearance>();
    std::shared_ptr<FedRandom> random = std::make_shared<FedRandom>(std::deque<std::uint64_t>{1});
    WhaleSceneView view{Rect{0, 0, 44, 22}, appearance, random};
};

constexpr double pi = std::numbers::pi;

}  // namespace

TEST_F(WhaleSceneViewTest, WhaleCentreLeavesRoomForTheLabel) {
    view.computePosition({0, 0, 44, 22});
    EXPECT_EQ(view.whaleX, 10.0);
    view.showPercentage = false;
    view.computePosition({5, 7, 30, 22});  // the origin plays no part
    EXPECT_EQ(view.whaleX, 15.0);
}

TEST_F(WhaleSceneViewTest, BobFollowsPhaseAndLoad) {
    for (double usage : {0.0, 0.3, 1.0}) {
        view.usage = usage;
        view.phase = 0.0;
        view.computePosition({0, 0, 44, 22});
        EXPECT_EQ(view.whaleY, 22 * 0.4) << usage;
    }
    // Full load: amplitude 1.2 at 2.4 radians per second; no load: 0.5 at 0.8.
    view.usage = 1.0;
    view.phase = pi / 2 / 2.4;
    view.computePosition({0, 0, 44, 22});
    EXPECT_NEAR(view.whaleY, 8.8 + 1.2, 1e-12);
    view.usage = 0.0;
    view.phase = pi / 2 / 0.8;
    view.computePosition({0, 0, 44, 22});
    EXPECT_NEAR(view.whaleY, 8.8 + 0.5, 1e-12);
    view.phase = 3 * pi / 2 / 0.8;
    view.computePosition({0, 0, 44, 22});
    EXPECT_NEAR(view.whaleY, 8.8 - 0.5, 1e-12);
}

TEST_F(WhaleSceneViewTest, LabelColourBandsAndAppearance) {
    struct Row {
        bool dark;
        double usage;
        QColor colour;
    };
    const QColor white = QColor::fromRgbF(1, 1, 1, 0.95f);
    const QColor blue = QColor::fromRgbF(0.18f, 0.3f, 0.5f);
    const Row rows[] = {
        {true, 0.0, white},
        {true, 0.4999, white},
        {true, 0.5, QColor::fromRgbF(1, 0.85f, 0.3f)},
        {true, 0.7999, QColor::fromRgbF(1, 0.85f, 0.3f)},
        {true, 0.8, QColor::fromRgbF(1, 0.45f, 0.2f)},
        {true, 1.0, QColor::fromRgbF(1, 0.45f, 0.2f)},
        {false, 0.0, blue},
        {false, 0.4999, blue},
        {false, 0.5, QColor::fromRgbF(0.85f, 0.55f, 0.05f)},
        {false, 0.7999, QColor::fromRgbF(0.85f, 0.55f, 0.05f)},
        {false, 0.8, QColor::fromRgbF(0.95f, 0.25f, 0.1f)},
        {false, 1.0, QColor::fromRgbF(0.95f, 0.25f, 0.1f)},
    };
    for (const Row& row : rows) {
        appearance->dark = row.dark;  // asked anew every time: no frame keeps an old answer
        view.usage = row.usage;
        EXPECT_EQ(view.percentColor(), row.colour) << row.dark << " " << row.usage;
    }
    appearance->dark = true;
    view.usage = 0.2;
    EXPECT_NEAR(view.percentColor().alphaF(), 0.95, 1e-4);  // 16-bit channels
}

TEST_F(WhaleSceneViewTest, LabelTextRoundsHalvesAwayFromZero) {
    EXPECT_EQ(WhaleSceneView::percentText(0.125), " 13%");
    EXPECT_EQ(WhaleSceneView::percentText(0.0625), "  6%");
    EXPECT_EQ(WhaleSceneView::percentText(0.0), "  0%");
    EXPECT_EQ(WhaleSceneView::percentText(0.9), " 90%");
    EXPECT_EQ(WhaleSceneView::percentText(1.0), "100%");
}

TEST_F(WhaleSceneViewTest, LabelValueOutsideFractionIsClamped) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(WhaleSceneView::percentText(std::nan("")), "  0%");
    EXPECT_EQ(WhaleSceneView::percentText(inf), "100%");
    EXPECT_EQ(WhaleSceneView::percentText(-inf), "  0%");
    EXPECT_EQ(WhaleSceneView::percentText(1e300), "100%");
    EXPECT_EQ(WhaleSceneView::percentText(-0.3), "  0%");
    EXPECT_EQ(WhaleSceneView::percentText(1.5), "100%");
}

TEST_F(WhaleSceneViewTest, EmissionCarriesTheRemainder) {
    view.emitSprays(0.1);  // 8 droplets a second at no load
    EXPECT_DOUBLE_EQ(view.sprayAccumulator, 0.8);
    EXPECT_TRUE(view.sprays.empty());
    view.emitSprays(0.1);
    EXPECT_NEAR(view.sprayAccumulator, 0.6, 1e-12);
    EXPECT_EQ(view.sprays.size(), 1u);

    view.emitSprays(0.0);
    EXPECT_NEAR(view.sprayAccumulator, 0.6, 1e-12);
    EXPECT_EQ(view.sprays.size(), 1u);

    WhaleSceneView busy{Rect{0, 0, 44, 22}, appearance, random};
    busy.usage = 1.0;  // 68 a second
    busy.emitSprays(0.1);
    EXPECT_EQ(busy.sprays.size(), 6u);
    EXPECT_NEAR(busy.sprayAccumulator, 0.8, 1e-12);
}

TEST_F(WhaleSceneViewTest, NewDropletTakesItsRandomValuesInOrder) {
    // Bits 1 give each range's lower end: ox -0.4, dir -1, sp 0.75.
    view.usage = 0.5;
    view.whaleX = 10.0;
    view.whaleY = 9.0;
    view.emitSprays(1.0 / 38.0 + 1e-9);
    ASSERT_EQ(view.sprays.size(), 1u);
    const Spray& spray = view.sprays[0];
    EXPECT_DOUBLE_EQ(spray.x, 9.6);
    EXPECT_DOUBLE_EQ(spray.y, 15.3);
    EXPECT_DOUBLE_EQ(spray.vx, -0.9);
    EXPECT_DOUBLE_EQ(spray.vy, 30.0 * 0.75);
    EXPECT_DOUBLE_EQ(spray.radius, 0.9);
    EXPECT_DOUBLE_EQ(spray.life, 0.425);
    EXPECT_EQ(spray.maxLife, 0.6);

    // The middle of each range: no offset, no drift.
    random->queue = {std::uint64_t{1} << 63};
    view.emitSprays(1.0 / 38.0);
    ASSERT_EQ(view.sprays.size(), 2u);
    EXPECT_DOUBLE_EQ(view.sprays[1].x, 10.0);
    EXPECT_DOUBLE_EQ(view.sprays[1].vx, 0.0);
}

TEST_F(WhaleSceneViewTest, FullListDropsItsOldestFirst) {
    for (int i = 0; i < 60; ++i) {
        view.sprays.push_back({double(i), 5, 0, 0, 1, 0.5, 0.6});
    }
    view.sprayAccumulator = 0.99;
    view.emitSprays(0.01);
    ASSERT_EQ(view.sprays.size(), 60u);
    EXPECT_EQ(view.sprays.front().x, 1.0);
    EXPECT_EQ(view.sprays[58].x, 59.0);
    EXPECT_DOUBLE_EQ(view.sprays.back().x, -0.4);  // the new one, at whaleX 0 + ox
}

TEST_F(WhaleSceneViewTest, DropletBouncesAboveTheCeiling) {
    view.sprays = {{10, 20, 1, 40, 1, 0.5, 0.6}, {20, 5, 1, 40, 1, 0.5, 0.6}};
    view.advanceSprays(0.1);
    const Spray& bounced = view.sprays[0];
    EXPECT_DOUBLE_EQ(bounced.x, 10.1);  // moved with the velocities from before the bounce
    EXPECT_DOUBLE_EQ(bounced.y, 24.0);
    EXPECT_DOUBLE_EQ(bounced.vx, 2.5);
    EXPECT_DOUBLE_EQ(bounced.vy, -14.0);
    EXPECT_DOUBLE_EQ(bounced.life, 0.4);
    EXPECT_EQ(view.sprays[1].vx, 1.0);  // below the ceiling nothing changes
    EXPECT_EQ(view.sprays[1].vy, 40.0);

    view.advanceSprays(0.0);  // still above: bounces again, though it does not move
    EXPECT_DOUBLE_EQ(view.sprays[0].y, 24.0);
    EXPECT_DOUBLE_EQ(view.sprays[0].vx, 6.25);
    EXPECT_DOUBLE_EQ(view.sprays[0].vy, -4.9);
    EXPECT_DOUBLE_EQ(view.sprays[0].life, 0.4);
}

TEST_F(WhaleSceneViewTest, DropletDiesWhenItsLifeRunsOut) {
    view.sprays = {{1, 5, 0, 0, 1, 0.05, 0.6},
                   {2, 5, 0, 0, 1, 0.06, 0.6},
                   {3, 5, 0, 0, 1, 0.04, 0.6},
                   {4, 5, 0, 0, 1, 0.5, 0.6}};
    view.advanceSprays(0.05);
    ASSERT_EQ(view.sprays.size(), 2u);
    EXPECT_EQ(view.sprays[0].x, 2.0);
    EXPECT_EQ(view.sprays[1].x, 4.0);
}

TEST_F(WhaleSceneViewTest, WhaleIsPaintedWhereTheGeometrySaysInItsOwnColours) {
    resize(30, 22, false);
    const QImage light = view.paint(4);
    appearance->dark = true;
    const QImage dark = view.paint(4);
    EXPECT_EQ(light, dark);  // the whale ignores the appearance

    const Ink ink = inkOf(light);
    ASSERT_FALSE(ink.empty());
    EXPECT_NEAR(ink.centreX(), 15.0, 1.0);
    EXPECT_NEAR(ink.centreY(), 8.8, 1.5);
    EXPECT_GT(ink.right - ink.left, 12.0);  // a 15-pixel glyph, not a tofu box or a dot
    EXPECT_LT(ink.right - ink.left, 20.0);
    const Ink blue = inkOf(light, [](double, QRgb p) { return qBlue(p) > qRed(p) + 40; });
    EXPECT_FALSE(blue.empty());

    view.usage = 1.0;
    view.phase = pi / 2 / 2.4;  // 1.2 points up
    const Ink raised = inkOf(view.paint(4));
    EXPECT_NEAR(raised.top - ink.top, 1.2, 0.3);
    EXPECT_NEAR(raised.bottom - ink.bottom, 1.2, 0.3);
}

TEST_F(WhaleSceneViewTest, DropletsArePaintedWhereTheGeometrySays) {
    resize(100, 22, false);  // the whale stays around x = 50
    view.sprays = {{10, 16, 0, 0, 1.3, 0.6, 0.6}, {20, 4, 0, 0, 0.5, 0.6, 0.6}};
    const QImage image = view.paint(4);
    const Ink high = inkOf(image, [](double x, QRgb) { return x < 15; });
    EXPECT_NEAR(high.centreX(), 10.0, 0.25);
    EXPECT_NEAR(high.centreY(), 16.0, 0.25);
    EXPECT_NEAR(high.right - high.left, 2.6 + 0.6, 0.5);
    const Ink low = inkOf(image, [](double x, QRgb) { return x > 15 && x < 25; });
    EXPECT_NEAR(low.centreX(), 20.0, 0.25);
    EXPECT_NEAR(low.centreY(), 4.0, 0.25);
    EXPECT_NEAR(low.top - low.bottom, 1.0 + 0.6, 0.5);
}

TEST_F(WhaleSceneViewTest, DropletFadesWithItsLife) {
    resize(100, 22, false);
    struct Row {
        double life, alpha;
    };
    for (const Row row : {Row{0.6, 0.9}, Row{0.3, 0.72}, Row{0.25, 0.6}}) {
        view.sprays = {{10, 11, 0, 0, 1.3, row.life, 0.6}};
        const QImage image = view.paint(8);
        const QColor fill = pixelAt(image, 10.0, 11.0);
        EXPECT_NEAR(fill.alphaF(), row.alpha, 0.01) << row.life;
        EXPECT_GE(fill.red(), 250);
        EXPECT_GE(fill.blue(), 250);
        // 1.45 points out: outside the fill, inside the 0.6-point outline.
        const QColor outline = pixelAt(image, 10.0 + 1.45, 11.0);
        EXPECT_NEAR(outline.alphaF(), row.alpha * 0.5, 0.01) << row.life;
        EXPECT_NEAR(outline.redF(), 0.35, 0.02);
        EXPECT_NEAR(outline.greenF(), 0.6, 0.02);
        EXPECT_NEAR(outline.blueF(), 0.9, 0.02);
    }
}

TEST_F(WhaleSceneViewTest, LabelIsPaintedAtTheRightEdgeInItsColour) {
    view.displayUsage = 0.88;
    for (bool dark : {false, true}) {
        appearance->dark = dark;
        for (double usage : {0.2, 0.6, 0.9}) {
            view.usage = usage;
            const QImage image = view.paint(4);
            const auto inLabel = [](double x, QRgb) { return x > 21.0; };
            const Ink ink = inkOf(image, inLabel);
            ASSERT_FALSE(ink.empty());
            EXPECT_LE(ink.right, 42.0);
            EXPECT_GT(ink.right, 40.5);
            EXPECT_NEAR(ink.centreY(), 11.0, 1.0);
            EXPECT_LT(ink.top - ink.bottom, 9.0);
            // The fully covered pixels carry the label's colour, alpha included.
            const QColor colour = view.percentColor();
            const Ink solid = inkOf(image, [&](double x, QRgb p) {
                const QColor c = QColor::fromRgba(qUnpremultiply(p));
                return x > 21.0 && std::abs(c.alphaF() - colour.alphaF()) < 0.01 &&
                       std::abs(c.redF() - colour.redF()) < 0.02 &&
                       std::abs(c.greenF() - colour.greenF()) < 0.02 &&
                       std::abs(c.blueF() - colour.blueF()) < 0.02;
            });
            EXPECT_FALSE(solid.empty()) << dark << " " << usage;
        }
    }
}

TEST_F(WhaleSceneViewTest, HiddenLabelLeavesTheRightSideEmpty) {
    resize(44, 22, false);
    const Ink ink = inkOf(view.paint(2), [](double x, QRgb) { return x > 32.0; });
    EXPECT_TRUE(ink.empty());
}

TEST_F(WhaleSceneViewTest, TinyBoundsDrawNothing) {
    for (const Rect frame : {Rect{0, 0, 2.0, 22}, Rect{0, 0, 30, 2.0}}) {
        resize(frame.width, frame.height, false);
        view.whaleX = -7.0;
        EXPECT_TRUE(inkOf(view.paint(2)).empty());
        EXPECT_EQ(view.whaleX, -7.0);  // not recomputed either
    }
    resize(2.0001, 22, false);
    EXPECT_FALSE(inkOf(view.paint(2)).empty());
    EXPECT_EQ(view.whaleX, 2.0001 * 0.5);
}

TEST_F(WhaleSceneViewTest, NoGraphicsContextDrawsNothing) {
    view.whaleX = -7.0;
    view.draw(view.bounds());
    EXPECT_EQ(view.whaleX, -7.0);
}

TEST_F(WhaleSceneViewTest, DefaultViewStartsEmptyAndPaints) {
    const auto plain = std::make_shared<WhaleSceneView>();  // session bus and system random
    EXPECT_EQ(plain->usage, 0.0);
    EXPECT_EQ(plain->displayUsage, 0.0);
    EXPECT_EQ(plain->phase, 0.0);
    EXPECT_TRUE(plain->showPercentage);
    EXPECT_TRUE(plain->sprays.empty());
    EXPECT_EQ(plain->sprayAccumulator, 0.0);
    EXPECT_EQ(plain->bounds(), (Rect{}));
    EXPECT_FALSE(plain->isOpaque());
    plain->setFrame({0, 0, 44, 22});
    plain->usage = 1.0;
    plain->emitSprays(0.1);
    EXPECT_EQ(plain->sprays.size(), 6u);
    EXPECT_FALSE(inkOf(plain->paint(2)).empty());
}

namespace {

// The square variant at 2x, painted by a display pass as the tray gets it.
QImage squareOf(WhaleSceneView& view) {
    view.setNeedsDisplay(true);
    view.displayIfNeeded();
    return view.squareImages().size() == 2 ? view.squareImages()[1] : QImage();
}

}  // namespace

TEST_F(WhaleSceneViewTest, SquareVariantIsTheFullSizeWhaleAloneOrTheNumberUnderAWhale) {
    view.usage = view.displayUsage = 1.0;
    view.showPercentage = false;
    const QImage square = squareOf(view);
    ASSERT_EQ(view.squareImages().size(), 2u);
    EXPECT_EQ(view.squareImages()[0].size(), QSize(22, 22));
    EXPECT_EQ(square.size(), QSize(44, 44));
    const Ink ink = inkOf(square);
    EXPECT_NEAR(ink.centreX(), 11.0, 1.0);
    EXPECT_NEAR(ink.centreY(), 11.0, 1.5);
    EXPECT_GT(ink.right - ink.left, 12.0);

    const QColor label = view.percentColor();
    const auto labelColoured = [&](double, QRgb p) {
        const QColor c = QColor::fromRgba(qUnpremultiply(p));
        return std::abs(c.redF() - label.redF()) < 0.1 &&
               std::abs(c.greenF() - label.greenF()) < 0.1 &&
               std::abs(c.blueF() - label.blueF()) < 0.1;
    };
    EXPECT_TRUE(inkOf(square, labelColoured).empty());
    // With the label, "100" in its colour across the lower half at both sizes, a whale above.
    view.showPercentage = true;
    for (const QImage& numbered : {squareOf(view), view.squareImages()[0]}) {
        const Ink number = inkOf(numbered, labelColoured);
        EXPECT_GT(number.right - number.left, 15.0);
        EXPECT_GT(number.top - number.bottom, 6.0);
        EXPECT_LT(number.top, 11.5);
        const auto blue = [](double, QRgb p) { return qBlue(p) > qRed(p) + 40; };
        EXPECT_GT(inkOf(numbered, blue).bottom, number.top - 1.0);
    }
    EXPECT_EQ(view.whaleX, 10.0);  // the wide scene keeps its own layout
}

TEST_F(WhaleSceneViewTest, SquareVariantFollowsTheSceneAndLeavesItsStateAlone) {
    resize(20, 22, false);  // the whale at x = 10; the numbered square leaves the droplets out
    // Beside the whale at (10, 8.8), and one far outside the square, which clips it.
    view.sprays = {{19, 8.8, 0, 0, 0.5, 0.6, 0.6}, {40, 8, 0, 0, 1.3, 0.6, 0.6}};
    const std::vector<Spray> before = view.sprays;
    const QImage square = squareOf(view);
    const Ink droplet = inkOf(square, [](double x, QRgb) { return x > 19.2; });
    EXPECT_NEAR(droplet.centreX(), 20.0, 0.25);
    EXPECT_NEAR(droplet.centreY(), 11.0, 0.25);
    EXPECT_EQ(view.sprays.size(), before.size());
    EXPECT_EQ(view.sprays[0].x, before[0].x);
    EXPECT_EQ(view.whaleY, 22 * 0.4);

    view.usage = 1.0;
    view.phase = pi / 2 / 2.4;  // 1.2 points up
    const auto whale = [](double x, QRgb) { return x < 19.0; };
    // Within a pixel of the 2x image.
    EXPECT_NEAR(inkOf(squareOf(view), whale).top - inkOf(square, whale).top, 1.2, 0.5);
}
