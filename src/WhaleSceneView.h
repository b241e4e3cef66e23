#pragma once

#include <QColor>
#include <QString>
#include <memory>
#include <vector>

#include "platform/drawing/Appearance.h"
#include "platform/drawing/Geometry.h"
#include "platform/drawing/GraphicsContext.h"
#include "platform/drawing/Text.h"
#include "platform/drawing/View.h"
#include "platform/system/Random.h"

// One water droplet.
struct Spray {
    double x = 0.0;
    double y = 0.0;
    double vx = 0.0;
    double vy = 0.0;
    double radius = 0.0;
    double life = 0.0;
    double maxLife = 0.0;
};

// The tray item's picture: a bobbing whale, its spray and the optional percentage label. Holds the
// scene state; the animation controller drives it frame by frame.
class WhaleSceneView : public platform::View {
    Q_OBJECT

  public:
    WhaleSceneView();
    explicit WhaleSceneView(Rect frame);
    // The appearance defaults to the session bus's portal, the random source to the system's.
    WhaleSceneView(Rect frame, std::shared_ptr<platform::Appearance> appearance,
                   std::shared_ptr<platform::Random> random);

    bool isOpaque() const override;
    void draw(Rect dirty) override;
    // For square-only hosts: with the label, the number under a smaller whale; without, the
    // whale centred in `square` at its full size with its droplets. Draws the state the last
    // draw placed.
    bool hasSquareVariant() const override;
    void drawSquare(Rect square) override;
    // The label's colour follows the panel's background where the item paints it.
    void setPanelBackground(const QColor& background) override;

    // Places the whale within `rect` from `phase` and `usage`.
    void computePosition(Rect rect);
    void emitSprays(double dt);
    void advanceSprays(double dt);

    bool isDark() const override;
    // The label's colour for the current `usage` and appearance.
    QColor percentColor() const;
    // The label for a load fraction: the nearest whole percent, right-aligned in three places.
    static QString percentText(double fraction);

    double usage = 0.0;
    double displayUsage = 0.0;
    double phase = 0.0;
    bool showPercentage = true;
    std::vector<Spray> sprays;
    double sprayAccumulator = 0.0;
    double whaleX = 0.0;
    double whaleY = 0.0;

  private:
    struct LabelInk {
        QColor color;
        platform::Edge edge;
    };

    static QFont labelFont();
    LabelInk labelInk() const;
    // The whale and droplets are drawn moved by (dx, dy) from their place in the scene.
    void drawEmojiWhale(double dx, double dy, int pixelSize);
    void drawNumberedSquare(Rect square, double bob);
    void drawPercentage(platform::GraphicsContext& context, Rect rect);
    void drawSprays(platform::GraphicsContext& context, double dx, double dy);

    std::shared_ptr<platform::Appearance> appearance;
    std::shared_ptr<platform::Random> random;
};
