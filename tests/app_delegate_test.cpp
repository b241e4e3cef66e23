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
using namespace std::chrono_literals;

// Friend of AppDelegate: lets the tests read its fields and call its private operations.
struct AppDelegateProbe {
    AppDelegate& delegate;

    platform::StatusItem* statusItem() const { return delegate.statusItem.get(); }
    WhaleSceneView* sceneView() const { return delegate.sceneView.get(); }
    platform::MenuItem* cpuItem() const { return delegate.cpuItem.get(); }
    platform::MenuItem* stateItem() const { return delegate.stateItem.get(); }
    platform::MenuItem* percentItem() const { return delegate.percentItem.get(); }
    platform::MenuItem* launchItem() const { return delegate.launchItem.get(); }
    bool hasController() const { return delegate.controller != nullptr; }
    void refreshUI() { delegate.refreshUI(); }
    void quit() { delegate.quit(); }
    static QString stateText(double u) { return AppDelegate::stateText(u); }
};

namespace {

struct LogLine {
    platform::Logger::Level level;
    std::string text;
};

class RecordingLog : public platform::Logger {
  public:
    RecordingLog() : Logger("app") {}
    mutable std::vector<LogLine> lines;

  protected:
    void write(Level level, const std::string& text) const override {
        lines.push_back({level, text});
    }
};

class SteppedClock : public platform::WallClock {
  public:
    WallTime time = WallTime(std::chrono::hours(24 * 365 * 50));
    WallTime now() const override { return time; }
};

class ManualTimer : public platform::Timer {
  public:
    void invalidate() override {}
};

// Hands out timers that fire only when the test says so.
class ManualTimers : public platform::TimerFactory {
  public:
    struct Scheduled {
        double interval;
        platform::RunLoopMode mode;
        bool precise;
        std::function<void()> callback;
    };
    std::vector<Scheduled> scheduled;
    std::function<void()> onSchedule = [] {};

    std::unique_ptr<platform::Timer> schedule(double interval, platform::RunLoopMode mode,
                                              bool precise,
                                              std::function<void()> callback) override {
        onSchedule();
        scheduled.push_back({interval, mode, precise, std::move(callback)});
        return std::make_unique<ManualTimer>();
    }
};

class RecordingAlerts : public platform::AlertPresenter {
  public:
    std::vector<platform::Alert> shown;
    void runModal(const platform::Alert& alert) override { shown.push_back(alert); }
};

class EightProcessors : public platform::ProcessInfo {
  public:
    int activeProcessorCount() const override { return 8; }
};

class RecordingApplication : public platform::Application {
  public:
    int policies = 0;
    int terminations = 0;
    std::function<void()> onPolicy = [] {};
    void setActivationPolicy(ActivationPolicy) override {
        ++policies;
        onPolicy();
    }
    void terminate() override { ++terminations; }
};

class UnversionedBundle : public platform::Bundle {
  public:
    QString shortVersionString() const override { return {}; }
};

// Ticks whose first reading is a load of 0.29; runs a hook at every reading.
class HookedTicks : public platform::TickSource {
  public:
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
        services.application = application;
        services.bus = sessionBus.connect();
        services.log = log;
        services.timers = timers;
        services.wallClock = clock;
        services.alerts = alerts;
        services.processInfo = std::make_shared<EightProcessors>();
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

    QString configFile(const QString& name) const { return config.path() + "/" + name; }

    void storePreference(const QByteArray& line) {
        QDir().mkpath(configFile("spoutwise"));
        QFile file(configFile("spoutwise/spoutwise.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + line + "\n");
    }

    // The settings file's own text, so that only what reached the disk counts.
    QByteArray storedFile() const {
        QFile file(configFile("spoutwise/spoutwise.conf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::vector<std::string> logTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : log->lines) {
            texts.push_back(line.text);
        }
        return texts;
    }

    TestApp app;
    QTemporaryDir config;
    PrivateBus sessionBus;
    PrivateBus systemBus;
    std::shared_ptr<RecordingApplication> application = std::make_shared<RecordingApplication>();
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::shared_ptr<ManualTimers> timers = std::make_shared<ManualTimers>();
    std::shared_ptr<SteppedClock> clock = std::make_shared<SteppedClock>();
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    std::shared_ptr<platform::Bundle> bundle = std::make_shared<platform::Bundle>();
    double load = 0.0;
};

TEST_F(AppDelegateTest, LaunchBuildsItemThenMenuThenAnimationThenReadoutsAndLogsLast) {
    HookedTicks ticks;
    CPUMonitor::setTickSource(ticks);
    auto delegate = makeDelegate(false);
    AppDelegateProbe probe{*delegate};

    application->onPolicy = [&] { EXPECT_EQ(probe.statusItem(), nullptr); };
    // The controller's first sample: item, view and menu exist, the readouts are not yet filled.
    ticks.onRead = [&] {
        if (ticks.reads > 1) {
            return;
        }
        ASSERT_NE(probe.statusItem(), nullptr);
        ASSERT_NE(probe.sceneView(), nullptr);
        ASSERT_NE(probe.cpuItem(), nullptr);
        EXPECT_EQ(probe.statusItem()->toolTip(), "CPU: 0% · 8 核");
        EXPECT_EQ(probe.cpuItem()->title(), "CPU: --% · 峰值 --%");
        EXPECT_EQ(probe.stateItem()->title(), "状态: --");
        EXPECT_TRUE(log->lines.empty());
    };
    timers->onSchedule = [&] { EXPECT_EQ(ticks.reads, 1) << "controller not started first"; };
    delegate->applicationDidFinishLaunching();

    EXPECT_EQ(application->policies, 1);
    ASSERT_EQ(timers->scheduled.size(), 1u);
    EXPECT_EQ(timers->scheduled[0].interval, 1.0);
    EXPECT_EQ(timers->scheduled[0].mode, platform::RunLoopMode::Default);
    EXPECT_TRUE(probe.hasController());
    // Before any readout tick, the first refresh already shows the start-up sample of 0.29.
    EXPECT_EQ(probe.cpuItem()->title(), "CPU: 28% · 峰值 28%");
    EXPECT_EQ(probe.stateItem()->title(), "状态: 悠闲 🐳");
    EXPECT_EQ(probe.statusItem()->toolTip(), "CPU: 28% · 8 核");
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Spoutwise launched"});
    EXPECT_EQ(log->lines.back().level, platform::Logger::Level::Info);
}

TEST_F(AppDelegateTest, MenuHasTheEightEntries) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    const auto& items = probe.statusItem()->menu()->items();
    ASSERT_EQ(items.size(), 8u);

    struct Row {
        const char* title;
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
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(items[i]->isSeparator(), rows[i].title == nullptr);
        if (rows[i].title) {
            EXPECT_EQ(items[i]->title(), rows[i].title);
            EXPECT_EQ(items[i]->keyEquivalent(), rows[i].key);
            EXPECT_EQ(items[i]->isEnabled(), rows[i].enabled);
            EXPECT_EQ(items[i]->hasAction(), rows[i].action);
        }
    }
    EXPECT_EQ(items[0].get(), probe.cpuItem());
    EXPECT_EQ(items[3]->state(), 1);
    EXPECT_EQ(items[4]->state(), 0);
    EXPECT_EQ(items[4].get(), probe.launchItem());
}

TEST_F(AppDelegateTest, PreferenceAbsentFalseOrNotBoolean) {
    struct Row {
        QByteArray stored;
        bool shown;
    };
    const Row rows[] = {{"", true},
                        {"showPercentage=false", false},
                        {"showPercentage=yes", true},
                        {"showPercentage=true", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored.toStdString());
        storePreference(row.stored);
        auto delegate = launch();
        AppDelegateProbe probe{*delegate};
        EXPECT_EQ(probe.sceneView()->showPercentage, row.shown);
        EXPECT_EQ(probe.statusItem()->length(), row.shown ? 44.0 : 30.0);
        EXPECT_EQ(probe.sceneView()->frame(), (Rect{0, 0, row.shown ? 44.0 : 30.0, 22.0}));
        EXPECT_EQ(probe.percentItem()->state(), row.shown ? 1 : 0);
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
    // A regular file where the settings folder belongs.
    QFile blocker(configFile("spoutwise"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AppDelegateProbe probe{*delegate};
    probe.percentItem()->choose();
    EXPECT_EQ(probe.statusItem()->length(), 30.0);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[1].level, platform::Logger::Level::Error);
    EXPECT_EQ(log->lines[1].text.rfind("showPercentage not saved: ", 0), 0u);
}

TEST_F(AppDelegateTest, PercentagesAreCutOffInMenuAndToolTip) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    // Rising, so that the peak is the current load each time.
    const std::pair<double, int> rows[] = {{0.0, 0}, {0.29, 28}, {0.999, 99}, {1.0, 100}};
    for (const auto& [u, percent] : rows) {
        SCOPED_TRACE(u);
        load = u;
        timers->scheduled[0].callback();
        EXPECT_EQ(probe.cpuItem()->title(), QString("CPU: %1% · 峰值 %1%").arg(percent));
        EXPECT_EQ(probe.statusItem()->toolTip(), QString("CPU: %1% · 8 核").arg(percent));
    }
}

TEST_F(AppDelegateTest, StateBoundaries) {
    const std::pair<double, const char*> rows[] = {
        {1.0, "状态: 疯狂 🔥"},    {0.9, "状态: 疯狂 🔥"},  {0.8999, "状态: 繁忙 ⚡"},
        {0.7, "状态: 繁忙 ⚡"},    {0.6999, "状态: 正常"}, {0.3, "状态: 正常"},
        {0.2999, "状态: 悠闲 🐳"}, {0.0, "状态: 悠闲 🐳"},  {-0.1, "状态: 悠闲 🐳"},
    };
    for (const auto& [u, text] : rows) {
        EXPECT_EQ(AppDelegateProbe::stateText(u), text) << u;
    }
}

TEST_F(AppDelegateTest, PeakCoversFixedSixtySecondWindowsFromConstruction) {
    const WallTime start = clock->time;
    auto delegate = makeDelegate();
    clock->time = start + 30s;  // launching took a while; the window still counts from start
    delegate->applicationDidFinishLaunching();
    AppDelegateProbe probe{*delegate};

    struct Step {
        std::chrono::milliseconds at;
        double u;
        int peak;
    };
    const Step steps[] = {
        {31s, 0.2, 20},     {32s, 0.5, 50},
        {33s, 0.3, 50},     {60s, 0.1, 50},  // exactly 60.0 s is still the first window
        {60001ms, 0.1, 10},                  // a new window starts here
        {120s, 0.05, 10},   {120002ms, 0.05, 5},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.at.count());
        clock->time = start + step.at;
        load = step.u;
        probe.refreshUI();
        EXPECT_TRUE(probe.cpuItem()->title().endsWith(QString("峰值 %1%").arg(step.peak)))
            << probe.cpuItem()->title().toStdString();
    }
}

TEST_F(AppDelegateTest, PeakWindowRestartsWhenTheClockIsSetBack) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    load = 0.8;
    probe.refreshUI();
    clock->time -= std::chrono::hours(2);
    load = 0.1;
    probe.refreshUI();
    EXPECT_EQ(probe.cpuItem()->title(), "CPU: 10% · 峰值 10%");
    clock->time += 30s;
    load = 0.05;
    probe.refreshUI();
    EXPECT_EQ(probe.cpuItem()->title(), "CPU: 5% · 峰值 10%");
}

TEST_F(AppDelegateTest, ReadoutTimerDoesNothingOnceTheDelegateIsGone) {
    auto delegate = launch();
    const auto callback = timers->scheduled[0].callback;
    delegate.reset();
    callback();
}

TEST_F(AppDelegateTest, ToggleLaunchWritesAndRemovesTheAutostartEntry) {
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};
    const QString entry = platform::LoginItem::entryPath();
    ASSERT_TRUE(entry.startsWith(config.path()));

    probe.launchItem()->choose();
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_EQ(probe.launchItem()->state(), 1);

    probe.launchItem()->choose();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(probe.launchItem()->state(), 0);
    EXPECT_TRUE(alerts->shown.empty());
    EXPECT_EQ(log->lines.size(), 1u);
}

TEST_F(AppDelegateTest, LaunchEntryStartsOnOnlyForOurEnabledEntry) {
    platform::LoginItem().registerApp();
    auto delegate = launch();
    EXPECT_EQ(AppDelegateProbe{*delegate}.launchItem()->state(), 1);

    QFile entry(platform::LoginItem::entryPath());
    ASSERT_TRUE(entry.open(QIODevice::Append));
    entry.write("Hidden=true\n");
    entry.close();
    auto again = launch();
    EXPECT_EQ(AppDelegateProbe{*again}.launchItem()->state(), 0);
}

TEST_F(AppDelegateTest, BlockedAutostartFolderLogsAlertsAndKeepsTheState) {
    QFile blocker(configFile("autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();
    auto delegate = launch();
    AppDelegateProbe probe{*delegate};

    probe.launchItem()->choose();

    const QString description = QString::fromLocal8Bit(std::strerror(ENOTDIR));
    EXPECT_EQ(probe.launchItem()->state(), 0);
    ASSERT_EQ(log->lines.size(), 2u);
    EXPECT_EQ(log->lines[1].level, platform::Logger::Level::Error);
    EXPECT_EQ(log->lines[1].text, "SMAppService failed: " + description.toStdString());
    ASSERT_EQ(alerts->shown.size(), 1u);
    const auto& alert = alerts->shown[0];
    EXPECT_EQ(alert.alertStyle, platform::Alert::Style::warning);
    EXPECT_EQ(alert.messageText, "开机自启设置失败");
    EXPECT_EQ(alert.informativeText,
              "请先把 Spoutwise.app 移到「应用程序」文件夹，再重试。\n\n" + description);
    EXPECT_TRUE(alert.buttonTitles.isEmpty());
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), "not a folder");
}

TEST_F(AppDelegateTest, AboutShowsDescriptionVersionAndOneCreditLine) {
    bundle = std::make_shared<UnversionedBundle>();
    auto delegate = launch();
    AppDelegateProbe{*delegate}.statusItem()->menu()->items()[6]->choose();

    ASSERT_EQ(alerts->shown.size(), 1u);
    const auto& alert = alerts->shown[0];
    EXPECT_EQ(alert.alertStyle, platform::Alert::Style::informational);
    EXPECT_EQ(alert.messageText, "Spoutwise · 鲸鱼 CPU 监测");
    const QString lead =
        "菜单栏 CPU 监控小工具：系统原生 🐳 鲸鱼，CPU 越忙喷水越高，扫一眼就知道电脑负载。\n"
        "完全本地运行，不联网、不收集任何数据。\n\n版本 1.0\n";
    ASSERT_TRUE(alert.informativeText.startsWith(lead));
    const QString credit = alert.informativeText.mid(lead.size());
    EXPECT_FALSE(credit.isEmpty());
    EXPECT_FALSE(credit.contains('\n'));
    EXPECT_EQ(alert.buttonTitles, QStringList{"好的"});
}

TEST_F(AppDelegateTest, AboutShowsTheBuiltVersion) {
    auto delegate = launch();
    AppDelegateProbe{*delegate}.statusItem()->menu()->items()[6]->choose();
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_TRUE(alerts->shown[0].informativeText.contains("\n\n版本 " SPOUTWISE_VERSION "\n"));
}

TEST_F(AppDelegateTest, QuitLogsLastAndTerminates) {
    auto delegate = launch();
    AppDelegateProbe{*delegate}.statusItem()->menu()->items()[7]->choose();
    EXPECT_EQ(application->terminations, 1);
    EXPECT_EQ(log->lines.back().text, "Spoutwise quit");
}

TEST_F(AppDelegateTest, QuitWithoutControllerStillLogsAndTerminates) {
    auto delegate = makeDelegate();
    AppDelegateProbe{*delegate}.quit();
    EXPECT_EQ(application->terminations, 1);
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Spoutwise quit"});
}

}  // namespace
