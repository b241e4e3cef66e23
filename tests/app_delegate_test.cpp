#include "AppDelegate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cmath>

#include "Fakes.h"
#include "PrivateBus.h"
#include "TestApp.h"

using namespace std::chrono_literals;

// Friend of AppDelegate: reads its parts and runs a readout refresh.
struct AppDelegateProbe {
    AppDelegate& delegate;
    platform::StatusItem& item() const { return *delegate.statusItem; }
    WhaleSceneView& view() const { return *delegate.sceneView; }
    platform::MenuItem& entry(int index) const { return *item().menu()->items().at(index); }
    QString readout() {
        delegate.refreshUI();
        return entry(0).title() + " " + entry(1).title() + " " + item().toolTip();
    }
};

namespace {

enum Entry { percentEntry = 3, launchEntry = 4, aboutEntry = 6 };
enum Timer { sampleTimer, renderTimer, readoutTimer };  // in the order they are made

// The desktop around the delegate: keeps the alerts it is asked to show, on clocks and processor
// counters the test sets.
struct FakeSystem : platform::AlertPresenter, platform::WallClock, platform::TickSource {
    platform::WallTime time = platform::WallTime(24h * 365 * 50);
    std::vector<platform::Alert> alerts;
    double load = 0.0;  // the busy share of each reading's 10000 ticks
    platform::Ticks ticks;
    platform::WallTime now() const override { return time; }
    void runModal(const platform::Alert& alert) override { alerts.push_back(alert); }
    std::optional<platform::Ticks> read() override {
        const auto busy = std::uint64_t(std::llround(load * 10000));
        return ticks = {ticks.user + busy, 0, ticks.idle + 10000 - busy, 0};
    }
};

struct StillClock : platform::MediaClock {
    double time = 0.0;
    double now() const override { return time; }
};

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isRunning());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());  // settings and autostart land here
    }
    // Sleep, the power profile and the portal are the real ones, on buses that do not exist.
    std::shared_ptr<AppDelegate> make() {
        AppDelegate::Services services;
        services.bus = bus.itemBus();
        services.log = log;
        services.timers = timers;
        services.wallClock = system;
        services.mediaClock = clock;
        services.tickSource = system;
        services.alerts = system;
        return std::make_shared<AppDelegate>(std::move(services));
    }
    AppDelegateProbe launch() {
        delegates.push_back(make());
        delegates.back()->applicationDidFinishLaunching();
        return {*delegates.back()};
    }

    TestApp app;
    QTemporaryDir config;
    PrivateBus bus;
    std::shared_ptr<FakeSystem> system = std::make_shared<FakeSystem>();
    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    std::shared_ptr<HandTimers> timers = std::make_shared<HandTimers>();
    std::shared_ptr<StillClock> clock = std::make_shared<StillClock>();
    std::vector<std::shared_ptr<AppDelegate>> delegates;
};

}  // namespace

// Launching also sets the controller going on the delegate's timers and media clock.
TEST_F(AppDelegateTest, LaunchBuildsTheEightEntryMenuStartsTheSceneAndLogsLast) {
    QApplication::setQuitOnLastWindowClosed(true);
    const auto probe = launch();
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());  // an alert closing ends nothing
    // Title (none: a separator), key, enabled, switch state (-1: no switch).
    const std::tuple<const char*, const char*, bool, int> rows[] = {
        {"CPU: 0% · 峰值 0%", "", false, -1}, {"状态: 悠闲 🐳", "", false, -1},   {"", "", true, -1},
        {"显示 CPU 百分比", "p", true, 1},    {"开机自启", "", true, 0},         {"", "", true, -1},
        {"关于 Spoutwise", "", true, -1},     {"退出 Spoutwise", "q", true, -1},
    };
    ASSERT_EQ(probe.item().menu()->items().size(), std::size(rows));
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const auto& entry = probe.entry(i);
        const auto& [title, key, enabled, state] = rows[i];
        EXPECT_EQ(std::tuple(entry.isSeparator(), entry.title(), entry.keyEquivalent(),
                             entry.isEnabled(), entry.isToggle() ? entry.state() : -1),
                  std::tuple(!*title, QString(title), QString(key), enabled, state))
            << title;
    }
    EXPECT_EQ(timers->scheduled.at(readoutTimer)->mode, platform::RunLoopMode::Default);
    EXPECT_EQ(log->lines, std::vector<std::string>{"Spoutwise launched"});
    clock->time = 0.05;
    timers->scheduled.at(renderTimer)->fire();
    EXPECT_DOUBLE_EQ(probe.view().phase, 0.05);
    probe.entry(aboutEntry).choose();
    ASSERT_EQ(system->alerts.size(), 1u);
    EXPECT_EQ(system->alerts[0].messageText, "Spoutwise · 鲸鱼 CPU 监测");
    EXPECT_TRUE(system->alerts[0].informativeText.contains("\n\n版本 " SPOUTWISE_VERSION "\n"));
}

TEST_F(AppDelegateTest, PercentSwitchFollowsTheStoredPreferenceResizesAndStoresEachStep) {
    const QString file = config.filePath("spoutwise/spoutwise.conf");
    // Only "true" and "false" are booleans in the file; absent or anything else means shown.
    for (const auto& [stored, shown] :
         {std::pair{"", true}, {"false", false}, {"False", true}, {"1", true}}) {
        QFile::remove(file);
        if (*stored) {
            QSettings(file, QSettings::IniFormat).setValue("showPercentage", stored);
        }
        const auto probe = launch();
        EXPECT_EQ(probe.view().frame(), (Rect{0, 0, shown ? 44.0 : 30.0, 22})) << stored;
        for (const bool now : {!shown, shown}) {
            probe.entry(percentEntry).choose();
            EXPECT_EQ(std::tuple(probe.view().showPercentage, probe.entry(percentEntry).state(),
                                 probe.item().length()),
                      std::tuple(now, now ? 1 : 0, now ? 44.0 : 30.0));
            EXPECT_EQ(platform::Defaults(file).boolValue("showPercentage"), now);
        }
    }
    // A write that fails is reported; the next, once the folder can be written, is not.
    QDir(config.filePath("spoutwise")).removeRecursively();
    QFile blocker(config.filePath("spoutwise"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const auto blocked = launch();
    blocked.entry(percentEntry).choose();
    EXPECT_EQ(log->lines.back(), "showPercentage not saved: " + file.toStdString());
    ASSERT_TRUE(blocker.remove());
    const std::size_t reported = log->lines.size();
    blocked.entry(percentEntry).choose();
    EXPECT_EQ(log->lines.size(), reported);
    QFile stored(file);
    EXPECT_TRUE(stored.open(QIODevice::ReadOnly) && stored.readAll().contains("=true"));
}

// The menu and tooltip cut percentages off; the peak is the highest load of a fixed 60-second
// window counted from construction, and a clock set back starts a new one.
TEST_F(AppDelegateTest, ReadoutsShowTheLoadItsStateAndThePeakOfTheMinute) {
    const platform::WallTime start = system->time;
    delegates.push_back(make());
    system->time = start + 30s;
    delegates.back()->applicationDidFinishLaunching();
    AppDelegateProbe probe{*delegates.back()};
    const QString cores = QString(" · %1 核").arg(sysconf(_SC_NPROCESSORS_ONLN));
    const std::tuple<std::chrono::milliseconds, double, QString> rows[] = {
        {30s, 0.2999, "CPU: 29% · 峰值 29% 状态: 悠闲 🐳 CPU: 29%"},
        {30s, 0.3, "CPU: 30% · 峰值 30% 状态: 正常 CPU: 30%"},
        {30s, 0.7, "CPU: 70% · 峰值 70% 状态: 繁忙 ⚡ CPU: 70%"},
        {30s, 0.9, "CPU: 90% · 峰值 90% 状态: 疯狂 🔥 CPU: 90%"},
        {60s, 0.1, "CPU: 10% · 峰值 90% 状态: 悠闲 🐳 CPU: 10%"},  // 60.0 s: the same window
        {60001ms, 0.05, "CPU: 5% · 峰值 5% 状态: 悠闲 🐳 CPU: 5%"},
        {120002ms, 0.03, "CPU: 3% · 峰值 3% 状态: 悠闲 🐳 CPU: 3%"},
        {-2h, 0.01, "CPU: 1% · 峰值 1% 状态: 悠闲 🐳 CPU: 1%"},
        {-2h + 30s, 0.999, "CPU: 99% · 峰值 99% 状态: 疯狂 🔥 CPU: 99%"},
    };
    for (const auto& [at, u, shown] : rows) {
        system->time = start + at;
        system->load = u;
        for (int reading = 0; reading < 4; ++reading) {  // the sampler's window, all at `u`
            timers->scheduled.at(sampleTimer)->fire();
        }
        EXPECT_EQ(probe.readout(), shown + cores) << u;
    }
    const auto readout = timers->scheduled.at(readoutTimer)->fire;  // holds the delegate weakly
    delegates.clear();
    readout();
}

TEST_F(AppDelegateTest, LaunchSwitchFollowsTheAutostartEntryAndAlertsWhenItCannotBeWritten) {
    ASSERT_FALSE(platform::LoginItem().registerApp());
    const auto probe = launch();
    EXPECT_EQ(probe.entry(launchEntry).state(), 1);
    for (const bool on : {false, true}) {
        probe.entry(launchEntry).choose();
        EXPECT_EQ(platform::LoginItem().isEnabled(), on);
        EXPECT_EQ(probe.entry(launchEntry).state(), on ? 1 : 0);
    }
    EXPECT_TRUE(system->alerts.empty());
    // mkdir calls a dangling link "File exists"; the user is told what is wrong with the folder.
    const QString folder = config.filePath("autostart"), target = config.filePath("gone");
    ASSERT_TRUE(QDir(folder).removeRecursively() && QFile::link(target, folder));
    probe.entry(launchEntry).choose();
    const QString error = "文件夹 " + folder + " 是失效的符号链接：它指向的 " + target + " 不存在";
    EXPECT_EQ(probe.entry(launchEntry).state(), 1);
    EXPECT_EQ(log->lines.back(), "SMAppService failed: " + error.toStdString());
    ASSERT_EQ(system->alerts.size(), 1u);
    EXPECT_EQ(system->alerts[0].alertStyle, platform::Alert::Style::warning);
    EXPECT_EQ(system->alerts[0].messageText, "开机自启设置失败");
    EXPECT_EQ(system->alerts[0].informativeText,
              "请确认自启动文件夹 " + folder + " 可以写入，再重试。\n\n" + error);
}
