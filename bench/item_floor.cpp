// The least a 30 frames-per-second tray item can cost: the frame timer, a display pass that
// paints one moving dot at both scales and in the square variant, the NewIcon and the panel's
// GetAll, with none of the scene's work. Run it as the app under bench/overhead:
//
//   bench/overhead --binary build/release/bench/item_floor [--seconds N]
//
// NOPAINT=1 keeps only the timer; UNEXPORTED=1 paints without handing the frames to the item.
#include <QApplication>
#include <QTimer>

#include "platform/drawing/GraphicsContext.h"
#include "platform/tray/StatusItem.h"

namespace {

class DotView : public platform::View {
  public:
    explicit DotView(Rect frame) : View(frame) {}
    void draw(Rect) override {
        auto* context = platform::GraphicsContext::current();
        context->setFillColor(Qt::white);
        context->fillEllipseInRect({x, 8.0, 2.0, 2.0});
    }
    bool hasSquareVariant() const override { return true; }
    void drawSquare(Rect square) override { draw(square); }
    double x = 4.0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::StatusItem item(44.0);
    DotView view({0, 0, 44, 22});
    if (!qEnvironmentVariableIsSet("UNEXPORTED")) {
        item.button()->addSubview(view);
    }
    const bool paint = !qEnvironmentVariableIsSet("NOPAINT");
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        view.x = view.x > 30.0 ? 4.0 : view.x + 1.0;
        view.setNeedsDisplay(paint);
    });
    timer.start(1000 / 30);
    return app.exec();
}
