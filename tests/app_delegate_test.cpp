#include "AppDelegate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstring>

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

// The desktop around the delegate: keeps the alerts it is asked to show, on a clock the test sets.
struct FakeSystem : platform::Application, platform::AlertPresenter, platform::WallClock {
    platform::WallTime time = platform::WallTime(24h * 365 * 50);
    std::vector<platform::Alert> alerts;
    platform::WallTime now() const override { return time; }
    void runModal(const platform::Alert& alert) override { alerts.push_back(alert); }
};

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isRunning());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());  // settings and autostart land here
    }
    std::shared_ptr<AppDelegate> make() {
        AppDelegate::Services services;
        services.application = system;
        services.alerts = system;
        services.wallClock = system;
        services.bus = bus.itemBus();
        services.log = log;
        services.timers = timers;
        services.averageUsage = [this] { return load; };
        return std::make_shared<AppDelegate>(std::move(services));
    }
    AppDelegateProbe launch() {
        delegates.push_back(make());
        delegates.back()->applicationDidFinishLaunching();
        return {*delegates.back()};
    }
    // A regular file where the configuration folder `name` belongs.
    void blockFolder(const QString& name) {
        QDir(config.filePath(name)).removeRecursively();
        ASSERT_TRUE(QFile(config.filePath(name)).open(QIODevice::WriteOnly));
    }

    TestApp app;
    QTemporaryDir config;
    PrivateBus bus;
    std::shared_ptr<FakeSystem> system = std::make_shared<FakeSystem>();
    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    std::shared_ptr<HandTimers> timers = std::make_shared<HandTimers>();
    std::vector<std::shared_ptr<AppDelegate>> delegates;
    double load = 0.0;
};

}  // namespace

TEST_F(AppDelegateTest, LaunchBuildsTheEightEntryMenuAndLogsLast) {
    const auto probe = launch();
    const struct {
        const char* title;  // empty for a separator
        const char* key;
        bool enabled;
        int state;  // -1: no switch
    } rows[] = {
        {"CPU: 0% · 峰值 0%", "", false, -1}, {"状态: 悠闲 🐳", "", false, -1},   {"", "", true, -1},
        {"显示 CPU 百分比", "p", true, 1},    {"开机自启", "", true, 0},         {"", "", true, -1},
        {"关于 Spoutwise", "", true, -1},     {"退出 Spoutwise", "q", true, -1},
    };
    ASSERT_EQ(probe.item().menu()->items().size(), std::size(rows));
    for (const auto& row : rows) {
        const auto& entry = probe.entry(int(&row - rows));
        EXPECT_EQ(
            std::tuple(entry.isSeparator(), entry.title(), entry.keyEquivalent(), entry.isEnabled(),
                       entry.isToggle() ? entry.state() : -1),
            std::tuple(!*row.title, QString(row.title), QString(row.key), row.enabled, row.state))
            << row.title;
    }
    EXPECT_EQ(timers->scheduled.at(0)->mode, platform::RunLoopMode::Default);
    EXPECT_EQ(log->lines, std::vector<std::string>{"Spoutwise launched"});
    probe.entry(aboutEntry).choose();
    ASSERT_EQ(system->alerts.size(), 1u);
    EXPECT_EQ(system->alerts[0].messageText, "Spoutwise · 鲸鱼 CPU 监测");
    EXPECT_TRUE(system->alerts[0].informativeText.contains("\n\n版本 " SPOUTWISE_VERSION "\n"));
}

TEST_F(AppDelegateTest, PercentSwitchFollowsTheStoredPreferenceResizesAndStoresEachStep) {
    const QString file = config.filePath("spoutwise/spoutwise.conf");
    for (const auto& [stored, shown] : {std::pair{"", true}, {"false", false}, {"yes", true}}) {
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
            EXPECT_EQ(platform::Defaults(file).objectForKey("showPercentage"), QVariant(now));
        }
    }
    blockFolder("spoutwise");
    launch().entry(percentEntry).choose();
    EXPECT_EQ(log->lines.back(), "showPercentage not saved: " + file.toStdString());
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
        load = u;
        EXPECT_EQ(probe.readout(), shown + cores) << u;
    }
    const auto readout = timers->scheduled.at(0)->fire;  // holds the delegate weakly
    delegates.clear();
    readout();
}

TEST_F(AppDelegateTest, LaunchSwitchFollowsTheAutostartEntryAndAlertsWhenItCannotBeWritten) {
    ASSERT_FALSE(platform::LoginItem().registerApp());
    const auto probe = launch();
    EXPECT_EQ(probe.entry(launchEntry).state(), 1);
    for (const bool on : {false, true}) {
        probe.entry(launchEntry).choose();
        EXPECT_EQ(platform::LoginItem().status() == platform::LoginItem::enabled, on);
        EXPECT_EQ(probe.entry(launchEntry).state(), on ? 1 : 0);
    }
    EXPECT_TRUE(system->alerts.empty());
    blockFolder("autostart");
    probe.entry(launchEntry).choose();
    const std::string error = std::strerror(ENOTDIR);
    EXPECT_EQ(probe.entry(launchEntry).state(), 1);
    EXPECT_EQ(log->lines.back(), "SMAppService failed: " + error);
    ASSERT_EQ(system->alerts.size(), 1u);
    EXPECT_EQ(system->alerts[0].alertStyle, platform::Alert::Style::warning);
    EXPECT_EQ(system->alerts[0].messageText, "开机自启设置失败");
    EXPECT_EQ(system->alerts[0].informativeText, "请确认自启动文件夹 " + config.path() +
                                                     "/autostart 可以写入，再重试。\n\n" +
                                                     error.c_str());
}
