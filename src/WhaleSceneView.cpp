#include "WhaleSceneView.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/drawing/Contrast.h"
#include "platform/drawing/Font.h"

namespace {

constexpr double labelReserve = 24.0;
constexpr std::size_t maxSprays = 60;
constexpr double spawnAbove = 6.3;
constexpr double ceilingBelowTop = 1.5;
constexpr double restHeight = 0.4;  // of the view's height: the whale's centre at rest
constexpr int whaleFontSize = 15;
// Tall enough that its digits stay 7 pixels high where a panel shows the item 16 high, and
// narrowed so that "100%" still fits beside the whale.
constexpr int labelFontSize = 14;
constexpr int labelStretch = 75;
// The edge that makes the label read on a background the item does not know.
constexpr double labelEdgeWidth = 1.0;
// The numbered square, in shares of its side.
constexpr double numberBottom = -0.1;
constexpr double squareWhaleSize = 0.55;
constexpr double squareWhaleHeight = 0.72;

bool drawable(Rect rect) {
    return rect.width > 2.0 && rect.height > 2.0;
}

}  // namespace

WhaleSceneView::WhaleSceneView() : WhaleSceneView(Rect{}) {}

WhaleSceneView::WhaleSceneView(Rect frame)
    : WhaleSceneView(frame, std::make_shared<platform::Appearance>(),
                     std::make_shared<platform::Random>()) {}

WhaleSceneView::WhaleSceneView(Rect frame, std::shared_ptr<platform::Appearance> appearance,
                               std::shared_ptr<platform::Random> random)
    : platform::View(frame), appearance(std::move(appearance)), random(std::move(random)) {}

bool WhaleSceneView::isOpaque() const {
    return false;
}

void WhaleSceneView::draw(Rect /*dirty*/) {
    platform::GraphicsContext* context = platform::GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    const Rect rect = bounds();
    if (!drawable(rect)) {
        return;
    }
    computePosition(rect);
    drawEmojiWhale(0.0, 0.0, whaleFontSize);
    drawSprays(*context, 0.0, 0.0);
    if (showPercentage) {
        drawPercentage(*context, rect);
    }
}

bool WhaleSceneView::hasSquareVariant() const {
    return true;
}

// Without the label: the same picture moved, not placed anew. The whale keeps its bob around the
// square's centre and the droplets keep where the wide view's motion put them; the square's edges
// clip them.
void WhaleSceneView::drawSquare(Rect square) {
    platform::GraphicsContext* context = platform::GraphicsContext::current();
    const Rect rect = bounds();
    if (context == nullptr || !drawable(rect) || !drawable(square)) {
        return;
    }
    const double bob = whaleY - rect.height * restHeight;
    if (showPercentage) {
        drawNumberedSquare(square, bob);
        return;
    }
    const double dx = square.width * 0.5 - whaleX;
    const double dy = square.height * 0.5 - rect.height * restHeight;
    drawEmojiWhale(dx, dy, whaleFontSize);
    drawSprays(*context, dx, dy);
}

// The label beside the whale would be too small to read in a square: the number alone, as large
// as beside the whale, under a smaller whale that still bobs. The number says the load, so the
// droplets, which would leave through the top, are left out.
void WhaleSceneView::drawNumberedSquare(Rect square, double bob) {
    const double side = square.height;
    const QString number = percentText(displayUsage).trimmed().chopped(1);
    const QFont font = labelFont();
    const Size size = platform::textSize(number, font);
    const LabelInk ink = labelInk();
    platform::drawText(number, font, ink.color, (side - size.width) * 0.5, numberBottom * side,
                       ink.edge);
    drawEmojiWhale(side * 0.5 - whaleX, side * squareWhaleHeight + bob - whaleY,
                   qRound(side * squareWhaleSize));
}

void WhaleSceneView::setPanelBackground(const QColor& background) {
    appearance->setPanelBackground(background);
}

void WhaleSceneView::computePosition(Rect rect) {
    const double reserve = showPercentage ? labelReserve : 0.0;
    whaleX = (rect.width - reserve) * 0.5;
    const double bob = (usage * 0.7 + 0.5) * std::sin(phase * (usage * 1.6 + 0.8));
    whaleY = rect.height * restHeight + bob;
}

bool WhaleSceneView::isDark() const {
    return appearance->isDark();
}

QColor WhaleSceneView::percentColor() const {
    if (isDark()) {
        if (usage < 0.5) {
            return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.95f);
        }
        return usage < 0.8 ? QColor::fromRgbF(1.0f, 0.85f, 0.3f, 1.0f)
                           : QColor::fromRgbF(1.0f, 0.45f, 0.2f, 1.0f);
    }
    if (usage < 0.5) {
        return QColor::fromRgbF(0.18f, 0.3f, 0.5f, 1.0f);
    }
    return usage < 0.8 ? QColor::fromRgbF(0.85f, 0.55f, 0.05f, 1.0f)
                       : QColor::fromRgbF(0.95f, 0.25f, 0.1f, 1.0f);
}

QString WhaleSceneView::percentText(double fraction) {
    // Formatted once: the label is asked for on every frame.
    static const std::array<QString, 101> texts = [] {
        std::array<QString, 101> all;
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = QString::asprintf("%3zu%%", i);
        }
        return all;
    }();
    double percent = std::round(fraction * 100.0);  // halves away from zero
    // Loads are fractions from 0 to 1; anything else is clamped so the label never overflows.
    percent = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
    return texts[static_cast<std::size_t>(percent)];
}

void WhaleSceneView::drawEmojiWhale(double dx, double dy, int pixelSize) {
    const QFont font = platform::systemFont(pixelSize);
    const QString whale = QStringLiteral("\U0001F433");
    const Size size = platform::textSize(whale, font);
    platform::drawText(
        whale, font,
        {whaleX + dx - size.width * 0.5, whaleY + dy - size.height * 0.5, size.width, size.height});
}

void WhaleSceneView::drawPercentage(platform::GraphicsContext& /*context*/, Rect rect) {
    const QString text = percentText(displayUsage);
    const QFont font = labelFont();
    const Size size = platform::textSize(text, font);
    const LabelInk ink = labelInk();
    platform::drawText(text, font, ink.color, rect.width - size.width - 2.0,
                       (rect.height - size.height) * 0.5, ink.edge);
}

QFont WhaleSceneView::labelFont() {
    return platform::monospacedDigitSystemFont(labelFontSize, QFont::DemiBold, labelStretch);
}

// Over the panel's own colour, which the item paints, the label's colour made to contrast with
// it enough (4.5:1 idle, 3:1 under load); over a background it cannot know, its colour ringed
// by black or white.
WhaleSceneView::LabelInk WhaleSceneView::labelInk() const {
    const QColor colour = percentColor();
    const QColor panel = appearance->panelBackground();
    if (panel.isValid()) {
        return {platform::withContrast(colour, panel, usage < 0.5 ? 4.5 : 3.0), {}};
    }
    return {colour, {platform::edgeFor(colour), labelEdgeWidth}};
}

void WhaleSceneView::emitSprays(double dt) {
    const double rate = usage * 60.0 + 8.0;
    sprayAccumulator += dt * rate;
    const double originX = whaleX;
    const double originY = whaleY + spawnAbove;
    while (sprayAccumulator >= 1.0) {
        sprayAccumulator -= 1.0;
        if (sprays.size() >= maxSprays) {
            sprays.erase(sprays.begin());
        }
        const double ox = random->uniform(-0.4, 0.4);
        const double dir = random->uniform(-1.0, 1.0);
        const double sp = random->uniform(0.75, 1.1);
        sprays.push_back({originX + ox, originY, (usage + 0.4) * dir, (usage * 40.0 + 10.0) * sp,
                          usage * 0.8 + 0.5, usage * 0.35 + 0.25, 0.6});
    }
}

void WhaleSceneView::advanceSprays(double dt) {
    const double ceiling = bounds().height - ceilingBelowTop;
    for (Spray& spray : sprays) {
        spray.x += dt * spray.vx;
        spray.y += dt * spray.vy;
        if (spray.y > ceiling) {
            spray.vx *= 2.5;
            spray.vy = -0.35 * std::abs(spray.vy);
        }
        spray.life -= dt;
    }
    std::erase_if(sprays, [](const Spray& spray) { return !(spray.life > 0.0); });
}

void WhaleSceneView::drawSprays(platform::GraphicsContext& context, double dx, double dy) {
    for (const Spray& spray : sprays) {
        const double alpha = std::min(spray.life / spray.maxLife * 1.6, 1.0) * 0.9;
        const Rect rect{spray.x + dx - spray.radius, spray.y + dy - spray.radius,
                        spray.radius * 2.0, spray.radius * 2.0};
        context.setFillColor(QColor::fromRgbF(1.0f, 1.0f, 1.0f, static_cast<float>(alpha)));
        context.fillEllipseInRect(rect);
        context.setStrokeColor(
            QColor::fromRgbF(0.35f, 0.6f, 0.9f, static_cast<float>(alpha * 0.5)));
        context.setLineWidth(0.6);
        context.strokeEllipseInRect(rect);
    }
}

#include "moc_WhaleSceneView.cpp"
