#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <map>
#include <string>

#include "WhaleSceneView.h"
#include "platform/tray/IconPixmaps.h"
#include "platform/tray/StatusItem.h"

// Run under `dbus-run-session --`: the item exports itself on the session bus.
namespace {

// Paints nothing: every pass gives new images with the same (transparent) pixels, wide and
// square, as many as the scene's.
class BlankView : public platform::View {
  public:
    explicit BlankView(Rect frame) : View(frame) {}
    void draw(Rect) override {}
    bool hasSquareVariant() const override { return true; }
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

// Benchmarks that export need a bus; the item registers on the session bus.
bool sessionBusReady(benchmark::State& state) {
    application();
    if (!platform::BusConnection::session()->isConnected()) {
        state.SkipWithError("no session bus; run under dbus-run-session");
        return false;
    }
    return true;
}

// One pass of the display loop for `view`, as the event loop runs it.
void displayPass(platform::View& view) {
    view.setNeedsDisplay(true);
    view.displayIfNeeded();
}

}  // namespace

// Converting one frame's 1x and 2x images into the IconPixmap the panel reads.
static void BM_IconPixmaps(benchmark::State& state) {
    const auto images = paintedFrame();
    for (auto _ : state) {
        platform::IconPixmapList pixmaps;
        benchmark::DoNotOptimize(platform::updateIconPixmaps(pixmaps, images));
    }
}
BENCHMARK(BM_IconPixmaps);

// The check every frame pays before anything is converted: two frames of equal pixels in
// different buffers compared to the last byte, the worst case.
static void BM_CompareEqualFrames(benchmark::State& state) {
    const auto last = paintedFrame();
    const auto next = paintedFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(next == last);
    }
}
BENCHMARK(BM_CompareEqualFrames);

// One display pass of an unchanged view through the item: painted anew, compared, not sent.
static void BM_ExportUnchangedFrame(benchmark::State& state) {
    if (!sessionBusReady(state)) {
        return;
    }
    platform::StatusItem item(44.0);
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    for (auto _ : state) {
        displayPass(view);
    }
}
BENCHMARK(BM_ExportUnchangedFrame);

// One display pass of a view that changed: painted, compared, converted and sent as NewIcon.
static void BM_ExportChangedFrame(benchmark::State& state) {
    if (!sessionBusReady(state)) {
        return;
    }
    platform::StatusItem item(44.0);
    BlankView view({0, 0, 44, 22});
    view.setFollowsButtonSize(true);
    item.button()->addSubview(view);
    bool wide = true;
    for (auto _ : state) {
        item.setLength((wide = !wide) ? 44.0 : 30.0);
        displayPass(view);
        QCoreApplication::processEvents();  // lets the signals out instead of queueing them
    }
}
BENCHMARK(BM_ExportChangedFrame);

// The real scene at a steady load (first argument: percent), the label on or off (second), 30
// frames a second for a simulated minute as the controller drives it: how many frames a second
// change each picture the item offers, the wide one and each square. A host that draws one
// picture is told of that one's changes only.
static void BM_PictureChanges(benchmark::State& state) {
    application();
    WhaleSceneView view({0, 0, state.range(1) ? 44.0 : 30.0, 22},
                        std::make_shared<platform::Appearance>(QDBusConnection(QString())),
                        std::make_shared<platform::Random>());
    view.usage = view.displayUsage = double(state.range(0)) / 100.0;
    view.showPercentage = state.range(1) != 0;
    constexpr int frames = 30 * 60;
    constexpr double step = 1.0 / 30.0;
    std::map<std::string, long> changes;
    platform::IconPixmapList pixmaps;
    for (auto _ : state) {
        for (int i = 0; i < frames; ++i) {
            view.phase += step;
            view.computePosition(view.bounds());
            view.emitSprays(step);
            view.advanceSprays(step);
            displayPass(view);
            for (const QSize size :
                 platform::updateIconPixmaps(pixmaps, view.images(), view.squareImages())) {
                ++changes[std::to_string(size.width()) + "x" + std::to_string(size.height())];
            }
        }
    }
    for (const auto& [size, count] : changes) {
        state.counters[size] = double(count) / (60.0 * double(state.iterations()));
    }
}
BENCHMARK(BM_PictureChanges)
    ->ArgsProduct({{2, 100}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
