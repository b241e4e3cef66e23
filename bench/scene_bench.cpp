#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QGuiApplication>
#include <memory>

#include "WhaleSceneView.h"

namespace {

constexpr double frameStep = 1.0 / 30.0;

void ensureApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "scene_bench";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

// A busy scene with the label: full load, a full list of droplets spread over the item.
std::unique_ptr<WhaleSceneView> busyScene() {
    ensureApplication();
    // An unconnected bus: the palette decides, as when no portal runs.
    auto view = std::make_unique<WhaleSceneView>(
        Rect{0, 0, 44, 22}, std::make_shared<platform::Appearance>(QDBusConnection(QString())),
        std::make_shared<platform::Random>());
    view->usage = view->displayUsage = 1.0;
    for (int i = 0; i < 60; ++i) {
        view->sprays.push_back({4.0 + i * 0.3, 8.0 + i % 12, 1.0, 40.0, 1.3, 0.5, 0.6});
    }
    return view;
}

// What the controller asks of the scene in one frame; the list is topped up to 60 first, since
// droplets at full load live shorter than 60 emissions take.
void advanceFrame(WhaleSceneView& view, const std::vector<Spray>& full) {
    view.sprays = full;
    view.phase += frameStep;
    view.computePosition(view.bounds());
    view.emitSprays(frameStep);
    view.advanceSprays(frameStep);
}

}  // namespace

// One frame: emission and motion, then the scene painted at 2x with 60 droplets and the label.
static void BM_Frame(benchmark::State& state) {
    const auto view = busyScene();
    const std::vector<Spray> full = view->sprays;
    for (auto _ : state) {
        advanceFrame(*view, full);
        const QImage image = view->paint(2);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Frame);

// One frame with the whole display pass the tray sees: the scene painted at 1x and at 2x, and
// its square variant at both.
static void BM_FrameDisplayPass(benchmark::State& state) {
    const auto view = busyScene();
    const std::vector<Spray> full = view->sprays;
    for (auto _ : state) {
        advanceFrame(*view, full);
        view->setNeedsDisplay(true);
        view->displayIfNeeded();
        benchmark::DoNotOptimize(view->images().data());
    }
}
BENCHMARK(BM_FrameDisplayPass);
