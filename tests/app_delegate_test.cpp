#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <vector>

#include "AppDelegate.h"
#include "CPUMonitor.h"
#include "PrivateBus.h"
#include "TestApp.h"

using platform::WallTime;
using Level = platform::Logger::Level;
using namespace std::chrono_literals;

// Friend of AppDelegate: lets the tests read its fields and call its private operations.
struct AppDelegateProbe {
    AppDelegate& delegate;

    platform::StatusItem* statusItem() const { return delegate.statusItem.get(); }
    WhaleSceneView* sceneView() const { return delegate.sceneView.get(); }
    // The status menu's entries, as the user sees them.
    platform::MenuItem* entry(int index) const {
        return statusItem()->menu()->items()[index].get();
    }
    platform::MenuItem* cpuItem() const { return entry(0); }
    platform::MenuItem* stateItem() const { return entry(1); }
    platform::MenuItem* percentItem() const { return entry(3); }
    platform::MenuItem* launchItem() const { return entry(4); }
    void refreshUI() { delegate.refreshUI(); }
    void quit() { delegate.quit(); }
};

namespace {

struct RecordingLog : platform::Logger {
    RecordingLog() : Logger("app") {}
    mutable std::vector<std::pair<Level, std::string>> lines;
    void write(Level level, const std::string& text) const override {
        lines.emplace_back(level, text);
    }
};

// The desktop around the delegate: records what it is asked to do, on a clock the test sets.
struct FakeSystem : platform::Application,
                    platform::AlertPresenter,
                    platform::ProcessInfo,
                    platform::WallClock {
    WallTime time = WallTime(std::chrono::hours(24 * 365 * 50));
    int policies = 0;
    int terminations = 0;
    std::function<void()> onPolicy = [] {};
    std::vector<platform::Alert> alerts;

    WallTime now() const override { return time; }
    int activeProcessorCount() const override { return 8; }
    void runModal(const platform::Alert& alert) override { alerts.push_back(alert); }
    void terminate() override { ++terminations; }
    void setActivationPolicy(ActivationPolicy) override {
        ++policies;
        onPolicy();
    }
};

// Hands out timers that fire only when the test says so.
struct ManualTimers : platform::TimerFactory {
    struct Scheduled {
        double interval;
        platform::RunLoopMode mode;
        std::function<void()> callback;
    };
    struct Handle : platform::Timer {
        void invalidate() override {}
    };
    std::vector<Scheduled> scheduled;
    std::function<void()> onSchedule = [] {};

    std::unique_ptr<platform::Timer> schedule(double interval, platform::RunLoopMode mode, bool,
                                              std::function<void()> callback) override {
        onSchedule();
        scheduled.push_back({interval, mode, std::move(callback)});
        return std::make_unique<Handle>();
    }
};

struct UnversionedBundle : platform::Bundle {
    QString shortVersionString() const override { return {}; }
};

// Ticks whose every reading is a load of 0.29; runs a hook at each reading.
struct HookedTicks : platform::TickSource {
    std::function<void()> onRead = [] {};
    int reads = 0;
    std::optional<platform::Ticks> read() override {
        ++reads;
        onRead();
        return platform::Ticks{.user = 29, .system = 0, .idle = 71, .nice = 0};
    }
};

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        // Before anything asks QStandardPaths: settings and autostart land in the temp dir.
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qputenv("HOME", config.path().toUtf8());
        // The services that default to the session or system bus stay off the real ones.
        qputenv("DBUS_SESSION_BUS_ADDRESS", sessionBus.address().toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address().toUtf8());
    }

    std::shared_ptr<AppDelegate> makeDelegate(bool injectLoad = true) {
        AppDelegate::Services services;
        services.application = system;
        services.alerts = system;
        services.wallClock = system;
        services.processInfo = system;
        services.bus = sessionBus.itemBus();
        services.log = log;
        services.timers = timers;
        services.bundle = bundle;
        if (injectLoad) {
            services.averageUsage = [this] { return load; };
        }
        return std::make_shared<AppDelegate>(std::move(services));
    }

    std::shared_ptr<AppDelegate> launch() {
        auto delegate = makeDelegate();
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    // A regular file where a settings or autostart folder belongs.
    void blockFolder(const QString& name) {
        QFile blocker(config.path() + "/" + name);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    }

    void storePreference(const QByteArray& line) {
        QDir().mkpath(config.path() + "/spoutwise");
        QFile file(config.path() + "/spoutwise/spoutwise.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + line + "\n");
    }

    // The settings file's own text, so that only what reached the disk counts.
    QByteArray storedFile() const {
        QFile file(config.path() + "/spoutwise/spoutwise.conf");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestApp app;
    QTemporaryDir config;
    PrivateBus sessionBus;
    PrivateBus systemBus;
    std::shared_ptr<FakeSystem> system = std::make_shared<FakeSystem>();
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::shared_ptr<ManualTimers> timers = std::make_shared<ManualTimers>();
    std::shared_ptr<platform::Bundle> bundle = std::make_shared<platform::Bundle>();
    double load = 0.0;
};

using Lines = std::vector<std::pair<Level, std::string>>;

TEST_F(AppDelegateTest, LaunchBuildsItemThenMenuThenAnimationThenReadoutsAndLogsLast) {
    HookedTicks ticks;
    CPUMonitor::setTickSource(ticks);
    auto delegate = makeDelegate(false);
    AppDelegateProbe probe{*delegate};

    system->onPolicy = [&] { EXPECT_EQ(probe.statusItem(), nullptr); };
    // The controller's first sample: item, view and menu exist, the readouts are not yet filled.
    ticks.onRead = [&] {
        if (ticks.reads > 1) {
            return;
        }
        ASSERT_NE(probe.sceneView(), nullptr);
        ASSERT_NE(probe.statusItem()->menu(), nullptr);
        EXPECT_EQ(probe.statusItem()->toolTip(), "CPU: 0% · 8 核");
        EXPECT_EQ(probe.cpuItem()->title(), "CPU: --% · 峰值 --%");
        EXPECT_EQ(probe.stateItem()->title(), "状态: --");
        EXPECT_TRUE(log->lines.empty());
    };
    timers->onSchedule = [&] { EXPECT_EQ(ticks.reads, 1) << "controller not started first"; };
    delegate->applicationDidFinishLaunching();

    EXPECT_EQ(system->policies, 1);
    ASSERT_EQ(timers->scheduled.size(), 1u);
    EXPECT_EQ(timers->scheduled[0].interval, 1.0);
    EXPECT_EQ(timers->scheduled[0].mode, platform::RunLoopMode::Default);
    // Before any readout tick, the first refresh already shows the start-up sample of 0.29.
    EXPECT_EQ(probe.cpuItem()->title(), "CPU: 28% · 峰值 28%");
    EXPECT_EQ(probe.stateItem()->title(), "状态: 悠闲 🐳");
    EXPECT_EQ(probe.statusItem()->toolTip(), "CPU: 28% · 8 核");
    EXPECT_EQ(log->lines, (Lines{{Level::Info, "Spoutwise launched"}}));
}

TEST_F(AppDelegateTest, MenuHasTheEightEntries) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    struct Row {
        const char* title;  // none for a separator
        const char* key;
        bool enabled;
        bool action;
    };
    const Row rows[] = {
        {"CPU: 0% · 峰值 0%", "", false, false},
        {"状态: 悠闲 🐳", "", false, false},
        {nullptr, "", true, false},
        {"显示 CPU 百分比", "p", true, true},
        {"开机自启", "", true, true},
        {nullptr, "", true, false},
        {"关于 Spoutwise", "", true, true},
        {"退出 Spoutwise", "q", true, true},
    };
    ASSERT_EQ(probe.statusItem()->menu()->items().size(), std::size(rows));
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i + 1);
        const auto& entry = *probe.entry(i);
        EXPECT_EQ(entry.isSeparator(), rows[i].title == nullptr);
        if (rows[i].title) {
            EXPECT_EQ(entry.title(), rows[i].title);
            EXPECT_EQ(entry.keyEquivalent(), rows[i].key);
            EXPECT_EQ(entry.isEnabled(), rows[i].enabled);
            EXPECT_EQ(entry.hasAction(), rows[i].action);
        }
    }
    EXPECT_EQ(probe.percentItem()->state(), 1);
    EXPECT_EQ(probe.launchItem()->state(), 0);
}

TEST_F(AppDelegateTest, PreferenceAbsentFalseOrNotBoolean) {
    const std::pair<QByteArray, bool> rows[] = {{"", true},
                                                {"showPercentage=false", false},
                                                {"showPercentage=yes", true},
                                                {"showPercentage=true", true}};
    for (const auto& [stored, shown] : rows) {
        SCOPED_TRACE(stored.toStdString());
        storePreference(stored);
        auto delegate = launch();
        AppDelegateProbe probe{*delegate};
        EXPECT_EQ(probe.sceneView()->showPercentage, shown);
        EXPECT_EQ(probe.statusItem()->length(), shown ? 44.0 : 30.0);
        EXPECT_EQ(probe.sceneView()->frame(), (Rect{0, 0, shown ? 44.0 : 30.0, 22.0}));
        EXPECT_EQ(probe.percentItem()->state(), shown ? 1 : 0);
    }
}

TEST_F(AppDelegateTest, TogglePercentTwiceRestoresEverythingAndStoresEachStep) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    for (const bool shown : {false, true}) {
        SCOPED_TRACE(shown);
        probe.percentItem()->choose();
        EXPECT_EQ(probe.sceneView()->showPercentage, shown);
        EXPECT_EQ(probe.percentItem()->state(), shown ? 1 : 0);
        // On disk at once, as a fresh reader sees it.
        EXPECT_TRUE(storedFile().contains(shown ? "showPercentage=true" : "showPercentage=false"));
        EXPECT_EQ(probe.statusItem()->length(), shown ? 44.0 : 30.0);
        EXPECT_EQ(probe.sceneView()->frame().width, shown ? 44.0 : 30.0);
    }
    EXPECT_EQ(log->lines.size(), 1u) << "no error logged";
}

TEST_F(AppDelegateTest, TogglePercentLogsAPreferenceThatCannotBeStored) {
    auto delegate = launch();
    blockFolder("spoutwise");
    AppDelegateProbe probe{*delegate};
    probe.percentItem()->choose();
    EXPECT_EQ(probe.statusItem()->length(), 30.0);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[1].first, Level::Error);
    EXPECT_EQ(log->lines[1].second.rfind("showPercentage not saved: ", 0), 0u);
}

TEST_F(AppDelegateTest, ReadoutsCutPercentagesOffAndNameTheStateAtItsBoundaries) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    // Rising, so that the peak is the current load each time.
    const std::tuple<double, int, const char*> rows[] = {
        {0.0, 0, "悠闲 🐳"},    {0.29, 28, "悠闲 🐳"}, {0.2999, 29, "悠闲 🐳"}, {0.3, 30, "正常"},
        {0.6999, 69, "正常"},  {0.7, 70, "繁忙 ⚡"},  {0.8999, 89, "繁忙 ⚡"}, {0.9, 90, "疯狂 🔥"},
        {0.999, 99, "疯狂 🔥"}, {1.0, 100, "疯狂 🔥"},
    };
    for (const auto& [u, percent, state] : rows) {
        SCOPED_TRACE(u);
        load = u;
        timers->scheduled[0].callback();
        EXPECT_EQ(probe.cpuItem()->title(), QString("CPU: %1% · 峰值 %1%").arg(percent));
        EXPECT_EQ(probe.statusItem()->toolTip(), QString("CPU: %1% · 8 核").arg(percent));
        EXPECT_EQ(probe.stateItem()->title(), QString("状态: ") + state);
    }
}

TEST_F(AppDelegateTest, PeakCoversFixedSixtySecondWindowsFromConstructionOrASetBack) {
    const WallTime start = system->time;
    auto delegate = makeDelegate();
    system->time = start + 30s;  // launching took a while; the window still counts from start
    delegate->applicationDidFinishLaunching();
    AppDelegateProbe probe{*delegate};

    struct Step {
        std::chrono::milliseconds at;
        double u;
        int peak;
    };
    const Step steps[] = {
        {31s, 0.2, 20},       {32s, 0.5, 50},
        {33s, 0.3, 50},       {60s, 0.1, 50},  // exactly 60.0 s is still the first window
        {60001ms, 0.1, 10},                    // a new window starts here
        {120s, 0.05, 10},     {120002ms, 0.05, 5},
        {-2h, 0.03, 3},  // the clock was set back: a new window starts
        {-2h + 30s, 0.01, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.at.count());
        system->time = start + step.at;
        load = step.u;
        probe.refreshUI();
        EXPECT_TRUE(probe.cpuItem()->title().endsWith(QString("峰值 %1%").arg(step.peak)))
            << probe.cpuItem()->title().toStdString();
    }
}

TEST_F(AppDelegateTest, ReadoutTimerDoesNothingOnceTheDelegateIsGone) {
    auto delegate = launch();
    const auto callback = timers->scheduled[0].callback;
    delegate.reset();
    callback();
}

TEST_F(AppDelegateTest, LaunchEntryFollowsOnlyOurEnabledAutostartEntry) {
    platform::LoginItem().registerApp();
    const QString entry = platform::LoginItem::entryPath();
    ASSERT_TRUE(entry.startsWith(config.path()));
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    EXPECT_EQ(probe.launchItem()->state(), 1);

    for (const bool on : {false, true}) {
        probe.launchItem()->choose();
        EXPECT_EQ(QFile::exists(entry), on);
        EXPECT_EQ(probe.launchItem()->state(), on ? 1 : 0);
    }
    EXPECT_TRUE(system->alerts.empty());
    EXPECT_EQ(log->lines.size(), 1u);

    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_EQ(AppDelegateProbe{*launch()}.launchItem()->state(), 0);
}

TEST_F(AppDelegateTest, BlockedAutostartFolderLogsAlertsAndKeepsTheState) {
    blockFolder("autostart");
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    probe.launchItem()->choose();

    const QString description = QString::fromLocal8Bit(std::strerror(ENOTDIR));
    EXPECT_EQ(probe.launchItem()->state(), 0);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[1],
              (std::pair{Level::Error, "SMAppService failed: " + description.toStdString()}));
    ASSERT_EQ(system->alerts.size(), 1u);
    const auto& alert = system->alerts[0];
    EXPECT_EQ(alert.alertStyle, platform::Alert::Style::warning);
    EXPECT_EQ(alert.messageText, "开机自启设置失败");
    EXPECT_EQ(alert.informativeText, "请确认自启动文件夹 " + config.path() +
                                         "/autostart 可以写入，再重试。\n\n" + description);
    EXPECT_TRUE(alert.buttonTitles.isEmpty());
}

TEST_F(AppDelegateTest, AboutShowsDescriptionVersionAndOneCreditLine) {
    // Without a bundle version the about box falls back to 1.0.
    const std::pair<std::shared_ptr<platform::Bundle>, QString> rows[] = {
        {std::make_shared<UnversionedBundle>(), "1.0"}, {bundle, SPOUTWISE_VERSION}};
    for (const auto& [given, version] : rows) {
        SCOPED_TRACE(version.toStdString());
        bundle = given;
        system->alerts.clear();
        AppDelegateProbe{*launch()}.entry(6)->choose();
        ASSERT_EQ(system->alerts.size(), 1u);
        const auto& alert = system->alerts[0];
        EXPECT_EQ(alert.alertStyle, platform::Alert::Style::informational);
        EXPECT_EQ(alert.messageText, "Spoutwise · 鲸鱼 CPU 监测");
        const QString lead =
            "菜单栏 CPU 监控小工具：系统原生 🐳 鲸鱼，CPU 越忙喷水越高，扫一眼就知道电脑负载。\n"
            "完全本地运行，不联网、不收集任何数据。\n\n版本 " +
            version + "\n";
        ASSERT_TRUE(alert.informativeText.startsWith(lead));
        const QString credit = alert.informativeText.mid(lead.size());
        EXPECT_FALSE(credit.isEmpty());
        EXPECT_FALSE(credit.contains('\n'));
        EXPECT_EQ(alert.buttonTitles, QStringList{"好的"});
    }
}

TEST_F(AppDelegateTest, QuitLogsLastAndTerminatesWithOrWithoutAController) {
    auto delegate = launch();
    AppDelegateProbe{*delegate}.entry(7)->choose();
    EXPECT_EQ(system->terminations, 1);
    EXPECT_EQ(log->lines.back().second, "Spoutwise quit");

    log->lines.clear();
    AppDelegateProbe{*makeDelegate()}.quit();
    EXPECT_EQ(system->terminations, 2);
    EXPECT_EQ(log->lines, (Lines{{Level::Info, "Spoutwise quit"}}));
}

}  // namespace
