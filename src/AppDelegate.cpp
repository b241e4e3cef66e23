#include "AppDelegate.h"

#include <array>
#include <utility>

#include "CPUMonitor.h"
#include "platform/system/ProcessInfo.h"

namespace {

const QString showPercentageKey = "showPercentage";

// The given service, or the real one made from `args` when none was given.
template <typename T, typename... Args>
std::shared_ptr<T> orReal(std::shared_ptr<T> given, Args&&... args) {
    if (given) {
        return given;
    }
    return std::make_shared<std::remove_const_t<T>>(std::forward<Args>(args)...);
}

// The menu and the tooltip cut the fraction off: 0.999 shows 99.
int wholePercent(double u) {
    return static_cast<int>(u * 100.0);
}

double itemLength(bool showPercentage) {
    return showPercentage ? AppDelegate::lengthWithPercentage
                          : AppDelegate::lengthWithoutPercentage;
}

AppDelegate::Services withRealServices(AppDelegate::Services services) {
    services.application = orReal(std::move(services.application));
    services.bus = services.bus ? std::move(services.bus) : platform::BusConnection::session();
    services.log = orReal(std::move(services.log), "app");
    services.animationLog = orReal(std::move(services.animationLog), "animation");
    services.timers = orReal(std::move(services.timers));
    services.wallClock = orReal(std::move(services.wallClock));
    services.mediaClock = orReal(std::move(services.mediaClock));
    services.tickSource = orReal(std::move(services.tickSource));
    services.sleepNotifier = orReal(std::move(services.sleepNotifier));
    services.powerMode = orReal(std::move(services.powerMode));
    services.appearance = orReal(std::move(services.appearance));
    services.random = orReal(std::move(services.random));
    services.alerts = orReal(std::move(services.alerts));
    return services;
}

}  // namespace

AppDelegate::AppDelegate(Services given) : services(withRealServices(std::move(given))) {
    log = services.log;
    // The first peak window counts from process start, not from the end of launching.
    peakWindowStart = services.wallClock->now();
    CPUMonitor::setTickSource(services.tickSource);
}

void AppDelegate::applicationDidFinishLaunching() {
    services.application->setQuitOnLastWindowClosed(false);
    setupStatusItem();
    buildMenu();
    startAnimations();
    log->info("Spoutwise launched");
}

void AppDelegate::startAnimations() {
    controller = std::make_shared<AnimationController>(AnimationController::Services{
        services.animationLog, services.timers, services.sleepNotifier, services.powerMode,
        services.mediaClock});
    controller->start(sceneView);
    uiTimer = services.timers->schedule(readoutInterval, platform::RunLoopMode::Default, false,
                                        [weak = weak_from_this()] {
                                            if (const auto self = weak.lock()) {
                                                self->refreshUI();
                                            }
                                        });
    refreshUI();
}

// Tray item and menu

bool AppDelegate::storedShowPercentage() {
    // Absent, or anything but a boolean, means the label is shown.
    return defaults.boolValue(showPercentageKey).value_or(true);
}

void AppDelegate::setupStatusItem() {
    const bool showPercentage = storedShowPercentage();
    if (!services.bus->isConnected()) {
        log->error("no session bus for the tray item: %s",
                   qPrintable(services.bus->errorMessage()));
    }
    statusItem = std::make_shared<platform::StatusItem>(itemLength(showPercentage), services.bus);
    sceneView = std::make_shared<WhaleSceneView>(Rect{}, services.appearance, services.random);
    sceneView->showPercentage = showPercentage;
    if (auto* button = statusItem->button()) {
        button->addSubview(*sceneView);
        sceneView->setFrame(button->bounds());
        sceneView->setFollowsButtonSize(true);
    }
    updateToolTip();
}

platform::MenuItem::Action AppDelegate::weakAction(
    std::function<void(AppDelegate&, platform::MenuItem&)> command) {
    return [weak = weak_from_this(), command](platform::MenuItem& sender) {
        if (const auto self = weak.lock()) {
            command(*self, sender);
        }
    };
}

void AppDelegate::buildMenu() {
    using platform::MenuItem;
    auto menu = std::make_unique<platform::Menu>();
    cpuItem = std::make_shared<MenuItem>("CPU: --% · 峰值 --%", nullptr, "");
    cpuItem->setEnabled(false);
    menu->addItem(cpuItem);
    stateItem = std::make_shared<MenuItem>("状态: --", nullptr, "");
    stateItem->setEnabled(false);
    menu->addItem(stateItem);
    menu->addItem(MenuItem::separatorItem());
    percentItem = std::make_shared<MenuItem>(
        "显示 CPU 百分比",
        weakAction([](AppDelegate& self, MenuItem& item) { self.togglePercent(&item); }), "p");
    percentItem->setState(sceneView->showPercentage ? 1 : 0);
    menu->addItem(percentItem);
    launchItem = std::make_shared<MenuItem>(
        "开机自启", weakAction([](AppDelegate& self, MenuItem& item) { self.toggleLaunch(item); }),
        "");
    launchItem->setState(loginItem.isEnabled() ? 1 : 0);
    menu->addItem(launchItem);
    menu->addItem(MenuItem::separatorItem());
    menu->addItem(std::make_shared<MenuItem>(
        "关于 Spoutwise",
        weakAction([](AppDelegate& self, MenuItem& item) { self.showAbout(&item); }), ""));
    menu->addItem(std::make_shared<MenuItem>(
        "退出 Spoutwise", weakAction([](AppDelegate& self, MenuItem& item) { self.quit(&item); }),
        "q"));
    statusItem->setMenu(std::move(menu));
}

// Readouts

void AppDelegate::refreshUI() {
    const double u = CPUMonitor::averageUsage();
    refreshPeak(u);
    cpuItem->setTitle(
        QString("CPU: %1% · 峰值 %2%").arg(wholePercent(u)).arg(wholePercent(peakValue)));
    stateItem->setTitle(stateText(u));
    updateToolTip();
}

void AppDelegate::refreshPeak(double u) {
    const double elapsed = platform::secondsBetween(peakWindowStart, services.wallClock->now());
    // A clock set back would otherwise hold the old peak for as long as it was set back.
    if (elapsed > peakWindow || elapsed < 0.0) {
        peakWindowStart = services.wallClock->now();
        peakValue = 0.0;
    }
    if (peakValue <= u) {
        peakValue = u;
    }
}

QString AppDelegate::stateText(double u) {
    static const std::array<std::pair<double, const char*>, 3> states{{
        {0.9, "状态: 疯狂 🔥"},
        {0.7, "状态: 繁忙 ⚡"},
        {0.3, "状态: 正常"},
    }};
    for (const auto& [threshold, text] : states) {
        if (threshold <= u) {
            return text;
        }
    }
    return "状态: 悠闲 🐳";
}

void AppDelegate::updateToolTip() {
    const int percent = wholePercent(CPUMonitor::averageUsage());
    if (auto* button = statusItem->button()) {
        button->setToolTip(QString("CPU: %1% · %2 核")
                               .arg(percent)
                               .arg(platform::ProcessInfo::activeProcessorCount()));
    }
}

// Menu commands

void AppDelegate::togglePercent(const QObject*) {
    const bool showPercentage = !sceneView->showPercentage;
    sceneView->showPercentage = showPercentage;
    percentItem->setState(showPercentage ? 1 : 0);
    if (!defaults.setValue(showPercentageKey, showPercentage)) {
        log->error("showPercentage not saved: %s", defaults.fileName().toStdString());
    }
    statusItem->setLength(itemLength(showPercentage));
    if (auto* button = statusItem->button()) {
        sceneView->setFrame(button->bounds());
    }
    sceneView->setNeedsDisplay(true);
}

void AppDelegate::toggleLaunch(platform::MenuItem& sender) {
    const auto error = loginItem.isEnabled() ? loginItem.unregisterApp() : loginItem.registerApp();
    if (!error) {
        sender.setState(loginItem.isEnabled() ? 1 : 0);
        return;
    }
    log->error("SMAppService failed: %s", error->message.toStdString());
    platform::Alert alert;
    alert.alertStyle = platform::Alert::Style::warning;
    alert.messageText = "开机自启设置失败";
    alert.informativeText = "请确认自启动文件夹 " + platform::LoginItem::autostartFolder() +
                            " 可以写入，再重试。\n\n" + error->message;
    services.alerts->runModal(alert);
}

void AppDelegate::showAbout(const QObject*) {
    platform::Alert alert;
    alert.alertStyle = platform::Alert::Style::informational;
    alert.messageText = "Spoutwise · 鲸鱼 CPU 监测";
    alert.informativeText =
        "菜单栏 CPU 监控小工具：系统原生 🐳 鲸鱼，CPU 越忙喷水越高，扫一眼就知道电脑负载。\n"
        "完全本地运行，不联网、不收集任何数据。\n\n版本 " +
        versionString() + "\n由 Spoutwise 开发者用 Qt 和一捧海水做成。";
    alert.buttonTitles = {"好的"};
    services.alerts->runModal(alert);
}

QString AppDelegate::versionString() const {
    // The project's version, compiled in.
    const QString version = SPOUTWISE_VERSION;
    return version.isEmpty() ? "1.0" : version;
}

void AppDelegate::quit(const QObject*) {
    if (controller) {
        controller->stop();
    }
    log->info("Spoutwise quit");
    services.application->terminate();
}
