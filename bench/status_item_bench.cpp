#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>

#include "platform/StatusItem.h"

// Run under `dbus-run-session --`: the item exports itself on the session bus.
namespace {

class BlankView : public platform::View {
  public:
    explicit BlankView(Rect frame) : View(frame) {}
    void draw(Rect) override {}
};

QGuiApplication& application() {
    static int argc = 1;
    static char name[] = "status_item_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static QGuiApplication app(argc, argv);
    return app;
}

// A painted 44-point frame, as the panel would be sent it.
std::vector<QImage> paintedFrame() {
    std::vector<QImage> images;
    for (int scale : {1, 2}) {
        QImage image(44 * scale, 22 * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(40, 120, 200, 180));
        images.push_back(image);
    }
    return images;
}

}  // namespace

// Converting one frame's 1x and 2x images into the IconPixmap the panel reads.
static void BM_IconPixmaps(benchmark::State& state) {
    const auto images = paintedFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::StatusItem::toIconPixmaps(images));
    }
}
BENCHMARK(BM_IconPixmaps);

// One exported frame: the view reports a display pass, the item builds IconPixmap from the
// view's images and sends NewIcon.
static void BM_ExportFrame(benchmark::State& state) {
    application();
    if (!QDBusConnection::sessionBus().isConnected()) {
        state.SkipWithError("no session bus; run under dbus-run-session");
        return;
    }
    platform::StatusItem item(44.0, QDBusConnection::sessionBus());
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    view.setNeedsDisplay(true);
    while (view.images().empty()) {
        QCoreApplication::processEvents();
    }
    for (auto _ : state) {
        emit view.displayed();
    }
    benchmark::DoNotOptimize(item.iconPixmaps());
}
BENCHMARK(BM_ExportFrame);
