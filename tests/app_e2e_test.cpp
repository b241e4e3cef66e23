#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <cstring>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"

// The real spoutwise binary against a fake panel on a private session bus, with a private
// system bus and a home folder of its own.
namespace {

constexpr int startTimeoutMs = 20000;

// Menu entries by position; the ids are the exporter's business.
enum Entry { cpu = 0, state = 1, percent = 3, launch = 4, about = 6, quit = 7 };

class AppEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(sessionBus.isRunning());
        ASSERT_TRUE(systemBus.isRunning());
        ASSERT_TRUE(panel.start());
    }

    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    QString configHome() const { return home.path() + "/.config"; }
    QString settingsFile() const { return configHome() + "/spoutwise/spoutwise.conf"; }
    QString autostartEntry() const {
        return configHome() + "/autostart/" SPOUTWISE_APP_ID ".desktop";
    }

    // What the app runs in: the private buses, the home folder, no display.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus.address());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address());
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", configHome());
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    static void spawn(QProcess& child, const QProcessEnvironment& env,
                      const QString& binary = SPOUTWISE_BINARY) {
        child.setProcessEnvironment(env);
        child.start(binary, {});
        ASSERT_TRUE(child.waitForStarted());
    }

    // Starts the app and waits until it has registered with the panel and shown a frame.
    void startApp(const QString& binary = SPOUTWISE_BINARY) {
        const int registered = int(panel.registeredItems().size());
        spawn(process, environment(), binary);
        ASSERT_TRUE(panel.waitForItem(registered + 1, startTimeoutMs))
            << stderrText().toStdString();
        ASSERT_TRUE(
            FakePanel::waitFor([&] { return !panel.iconPixmaps().isEmpty(); }, startTimeoutMs));
    }

    // Clicks Quit and waits for the process to end.
    void quitApp() {
        ASSERT_TRUE(panel.click(entryId(quit)));
        ASSERT_TRUE(FakePanel::waitFor([&] { return process.state() == QProcess::NotRunning; },
                                       startTimeoutMs));
    }

    // With a journal, the log lines go there instead of to stderr.
    static bool journalRunning() { return QFile::exists("/run/systemd/journal/socket"); }

    QString stderrText() {
        errors += QString::fromUtf8(process.readAllStandardError());
        return errors;
    }

    QList<platform::DBusMenuLayoutItem> entries() { return panel.menuLayout().children; }
    int entryId(Entry entry) { return entries().value(entry).id; }
    QVariantMap entryProperties(Entry entry) { return entries().value(entry).properties; }

    // Waits until the wide icon pixmaps are `width` points wide (at 1x and 2x); the square ones
    // follow them.
    bool iconWidthBecomes(int width) {
        return FakePanel::waitFor([&] {
            const auto pixmaps = panel.iconPixmaps();
            return pixmaps.size() == 4 && pixmaps[0].width == width &&
                   pixmaps[1].width == 2 * width;
        });
    }

    bool fileContains(const QString& path, const QByteArray& text) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
    }

    QByteArray fileBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Only our log lines; Qt may add warnings of its own.
    QStringList logLines() {
        return stderrText().split('\n').filter(QRegularExpression("^spoutwise\\[\\w+\\] "));
    }

    bool exits(QProcess& child) {
        return FakePanel::waitFor([&] { return child.state() == QProcess::NotRunning; },
                                  startTimeoutMs);
    }

    // What a panel that just found the item shows: icon, tooltip and the whole menu.
    void expectTheWholeItem() {
        EXPECT_FALSE(panel.iconPixmaps().isEmpty());
        EXPECT_TRUE(panel.toolTip().title.startsWith("CPU: "))
            << panel.toolTip().title.toStdString();
        const auto items = entries();
        ASSERT_EQ(items.size(), 8);
        EXPECT_EQ(items[quit].properties.value("label"), "退出 Spoutwise");
    }

    TestApp app;
    QTemporaryDir home;
    PrivateBus sessionBus;
    PrivateBus systemBus;
    FakePanel panel{sessionBus.connect()};
    QProcess process;
    QString errors;
};

TEST_F(AppEndToEnd, RegistersAndExportsIconToolTipAndMenu) {
    startApp();
    EXPECT_EQ(panel.registeredItems().last(),
              QString("org.kde.StatusNotifierItem-%1-1").arg(process.processId()));
    EXPECT_TRUE(panel.itemIsMenu());

    const auto pixmaps = panel.iconPixmaps();
    ASSERT_EQ(pixmaps.size(), 4);
    const QList<QSize> sizes{{44, 22}, {88, 44}, {22, 22}, {44, 44}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(QSize(pixmaps[i].width, pixmaps[i].height), sizes[i]) << i;
        EXPECT_EQ(pixmaps[i].bytes.size(), sizes[i].width() * sizes[i].height() * 4) << i;
    }

    const QRegularExpression toolTip(
        QString("^CPU: \\d{1,3}% · %1 核$").arg(sysconf(_SC_NPROCESSORS_ONLN)));
    EXPECT_TRUE(toolTip.match(panel.toolTip().title).hasMatch())
        << panel.toolTip().title.toStdString();

    const auto items = entries();
    ASSERT_EQ(items.size(), 8);
    EXPECT_TRUE(QRegularExpression("^CPU: \\d{1,3}% · 峰值 \\d{1,3}%$")
                    .match(items[cpu].properties.value("label").toString())
                    .hasMatch());
    EXPECT_TRUE(items[state].properties.value("label").toString().startsWith("状态: "));
    for (const Entry disabled : {cpu, state}) {
        EXPECT_EQ(items[disabled].properties.value("enabled"), QVariant(false));
    }
    EXPECT_EQ(items[2].properties.value("type"), "separator");
    EXPECT_EQ(items[5].properties.value("type"), "separator");
    EXPECT_EQ(items[percent].properties.value("label"), "显示 CPU 百分比");
    EXPECT_EQ(items[percent].properties.value("toggle-type"), "checkmark");
    EXPECT_EQ(items[percent].properties.value("toggle-state"), 1);
    EXPECT_EQ(qdbus_cast<platform::DBusMenuShortcut>(items[percent].properties.value("shortcut")),
              (platform::DBusMenuShortcut{{"Control", "p"}}));
    EXPECT_EQ(items[launch].properties.value("label"), "开机自启");
    EXPECT_EQ(items[launch].properties.value("toggle-type"), "checkmark");
    EXPECT_EQ(items[launch].properties.value("toggle-state"), 0);
    EXPECT_FALSE(items[launch].properties.contains("shortcut"));
    EXPECT_EQ(items[about].properties.value("label"), "关于 Spoutwise");
    EXPECT_FALSE(items[about].properties.contains("toggle-type"));
    EXPECT_EQ(items[quit].properties.value("label"), "退出 Spoutwise");
    EXPECT_EQ(qdbus_cast<platform::DBusMenuShortcut>(items[quit].properties.value("shortcut")),
              (platform::DBusMenuShortcut{{"Control", "q"}}));
}

TEST_F(AppEndToEnd, PercentageSwitchNarrowsTheItemAndIsRememberedAcrossARestart) {
    startApp();
    ASSERT_TRUE(panel.click(entryId(percent)));
    EXPECT_TRUE(iconWidthBecomes(30));
    EXPECT_EQ(entryProperties(percent).value("toggle-state"), 0);
    EXPECT_TRUE(fileContains(settingsFile(), "showPercentage=false"));
    quitApp();

    startApp();
    EXPECT_TRUE(iconWidthBecomes(30));
    EXPECT_EQ(entryProperties(percent).value("toggle-state"), 0);
    ASSERT_TRUE(panel.click(entryId(percent)));
    EXPECT_TRUE(iconWidthBecomes(44));
    EXPECT_TRUE(fileContains(settingsFile(), "showPercentage=true"));
}

TEST_F(AppEndToEnd, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    startApp();
    ASSERT_TRUE(panel.click(entryId(launch)));
    EXPECT_TRUE(FakePanel::waitFor([&] { return QFile::exists(autostartEntry()); }));
    EXPECT_TRUE(
        FakePanel::waitFor([&] { return entryProperties(launch).value("toggle-state") == 1; }));
    EXPECT_TRUE(
        fileContains(autostartEntry(), "\nExec=\"" + QByteArray(SPOUTWISE_BINARY) + "\"\n"));

    ASSERT_TRUE(panel.click(entryId(launch)));
    EXPECT_TRUE(FakePanel::waitFor([&] { return !QFile::exists(autostartEntry()); }));
    EXPECT_TRUE(
        FakePanel::waitFor([&] { return entryProperties(launch).value("toggle-state") == 0; }));
}

// The failure alert is modal, but the menu stays served from inside its loop, and Quit ends that
// loop along with the main one.
TEST_F(AppEndToEnd, BlockedAutostartFolderKeepsTheSwitchOffAndQuitStillWorks) {
    QDir().mkpath(configHome());
    QFile blocker(configHome() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startApp();
    ASSERT_TRUE(panel.click(entryId(launch)));
    if (!journalRunning()) {
        const QString line = "spoutwise[app] error: SMAppService failed: " +
                             QString::fromLocal8Bit(std::strerror(ENOTDIR));
        EXPECT_TRUE(FakePanel::waitFor([&] { return stderrText().contains(line); }))
            << errors.toStdString();
    }
    EXPECT_EQ(entryProperties(launch).value("toggle-state"), 0);
    EXPECT_TRUE(QFileInfo(configHome() + "/autostart").isFile());
    quitApp();
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(AppEndToEnd, QuitEndsWithStatusZeroAndLogsLast) {
    startApp();
    quitApp();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    if (journalRunning()) {
        GTEST_SKIP() << "the log lines went to the journal";
    }
    const QStringList lines = logLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.contains("spoutwise[app] info: Spoutwise launched")) << errors.toStdString();
    EXPECT_EQ(lines.last(), "spoutwise[app] info: Spoutwise quit") << errors.toStdString();
}

// Login autostart may start the app before the panel; the item waits and registers at once.
TEST_F(AppEndToEnd, PanelStartedLaterFindsTheItemWithinTwoSeconds) {
    panel.stop();
    spawn(process, environment());
    QDBusConnection observer = sessionBus.connect();
    const QString itemName = QString("org.kde.StatusNotifierItem-%1-1").arg(process.processId());
    ASSERT_TRUE(FakePanel::waitFor(
        [&] { return observer.interface()->isServiceRegistered(itemName).value(); },
        startTimeoutMs))
        << stderrText().toStdString();
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(panel.waitForItem(1, 2000));
    EXPECT_EQ(panel.registeredItems().first(), itemName);
    expectTheWholeItem();
}

TEST_F(AppEndToEnd, RestartedPanelGetsTheItemBackWithinTwoSeconds) {
    startApp();
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        panel.stop();
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem(1, 2000));
        expectTheWholeItem();
    }
    quitApp();
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(AppEndToEnd, SecondStartLeavesAtOnceAndKeepsOneItem) {
    startApp();
    QProcess second;
    spawn(second, environment());
    ASSERT_TRUE(exits(second));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(second.readAllStandardError()), "Spoutwise is already running\n");
    EXPECT_EQ(panel.registeredItems().size(), 1);
    EXPECT_EQ(process.state(), QProcess::Running);

    // The name goes with the first process, and a new start is the one whale again.
    quitApp();
    startApp();
    EXPECT_EQ(panel.registeredItems().size(), 2);
}

TEST_F(AppEndToEnd, NoSessionBusIsOneLineAndStatusOne) {
    QProcessEnvironment unset = environment();
    unset.remove("DBUS_SESSION_BUS_ADDRESS");
    QProcessEnvironment dead = environment();
    dead.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-bus");
    for (const auto& env : {unset, dead}) {
        QProcess child;
        spawn(child, env);
        ASSERT_TRUE(exits(child));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(child.readAllStandardError()),
                  "spoutwise: no D-Bus session bus, so there is no panel to show the item in\n");
    }
}

// Logout sends SIGTERM, Ctrl-C SIGINT; either ends the app as Quit does, also from inside the
// About box's modal loop.
TEST_F(AppEndToEnd, TerminationSignalsEndLikeQuitAndKeepThePreference) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        errors.clear();
        startApp();
        ASSERT_TRUE(panel.click(entryId(percent)));
        ASSERT_TRUE(iconWidthBecomes(30));
        const QByteArray stored = fileBytes(settingsFile());
        ASSERT_TRUE(stored.contains("showPercentage=false"));
        if (signal == SIGINT) {
            ASSERT_TRUE(panel.click(entryId(about)));
        }
        ASSERT_EQ(::kill(pid_t(process.processId()), signal), 0);
        ASSERT_TRUE(exits(process));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(fileBytes(settingsFile()), stored);
        if (!journalRunning()) {
            EXPECT_EQ(logLines().value(logLines().size() - 1),
                      "spoutwise[app] info: Spoutwise quit")
                << errors.toStdString();
        }
        ASSERT_TRUE(QFile::remove(settingsFile()));
    }
}

// A shell starts background jobs with SIGINT ignored, so that Ctrl-C in the terminal is not for
// them; the app keeps it that way.
TEST_F(AppEndToEnd, SigintIgnoredAtStartStaysIgnored) {
    process.setChildProcessModifier([] { std::signal(SIGINT, SIG_IGN); });
    startApp();
    ASSERT_EQ(::kill(pid_t(process.processId()), SIGINT), 0);
    // One round trip through the app's event loop, where a caught signal would take effect.
    EXPECT_EQ(entries().size(), 8);
    EXPECT_EQ(process.state(), QProcess::Running);
    quitApp();
    EXPECT_EQ(process.exitCode(), 0);
}

// A session that ends by taking its bus down, with no signal to its processes, takes the app
// along instead of leaving it behind.
TEST_F(AppEndToEnd, EndOfTheSessionBusEndsTheAppLikeQuit) {
    startApp();
    sessionBus.stop();
    ASSERT_TRUE(exits(process));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    if (!journalRunning()) {
        EXPECT_EQ(logLines().value(logLines().size() - 1), "spoutwise[app] info: Spoutwise quit")
            << errors.toStdString();
    }
}

// The preference cannot be read or stored: the label shows as if nothing were stored, the switch
// works for this run, each failed store says so once, and the file stays as it was.
TEST_F(AppEndToEnd, UnusableSettingsFileShowsTheDefaultAndTheSwitchStillWorks) {
    const QByteArray corrupt("\x00\xff[General\nshowPercentage=false\n\xfe", 33);
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"corrupt",
         [&] {
             QDir().mkpath(QFileInfo(settingsFile()).path());
             QFile file(settingsFile());
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(corrupt);
         }},
        {"folder in its place", [&] { ASSERT_TRUE(QDir().mkpath(settingsFile())); }},
        {"file in its folder's place",
         [&] {
             QDir().mkpath(configHome());
             QFile blocker(configHome() + "/spoutwise");
             ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
         }},
    };
    for (const auto& [name, prepare] : cases) {
        SCOPED_TRACE(name);
        QDir(configHome()).removeRecursively();
        prepare();
        const QByteArray before = fileBytes(settingsFile());
        errors.clear();
        startApp();
        EXPECT_TRUE(iconWidthBecomes(44));
        EXPECT_EQ(entryProperties(percent).value("toggle-state"), 1);
        for (const int width : {30, 44}) {
            ASSERT_TRUE(panel.click(entryId(percent)));
            EXPECT_TRUE(iconWidthBecomes(width));
        }
        EXPECT_EQ(entryProperties(percent).value("toggle-state"), 1);
        quitApp();
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(fileBytes(settingsFile()), before);
        if (!journalRunning()) {
            const QString line =
                "spoutwise[app] error: showPercentage not saved: " + settingsFile();
            EXPECT_EQ(logLines().filter("error:"), QStringList({line, line}))
                << errors.toStdString();
        }
    }
}

// Installs the package that scripts/package built (SPOUTWISE_PACKAGE names it) with apt and runs
// the installed program. Installing software is no business of an ordinary test run, so this
// runs only with SPOUTWISE_PACKAGE_TEST=1; scripts/package-test does both.
TEST_F(AppEndToEnd, InstalledPackageRunsAgainstThePanel) {
    if (qEnvironmentVariable("SPOUTWISE_PACKAGE_TEST") != "1") {
        GTEST_SKIP() << "installs a package: set SPOUTWISE_PACKAGE_TEST=1 and SPOUTWISE_PACKAGE";
    }
    const QFileInfo package(qEnvironmentVariable("SPOUTWISE_PACKAGE"));
    ASSERT_TRUE(package.isFile()) << "SPOUTWISE_PACKAGE names no file";
    QProcess apt;
    apt.setProcessChannelMode(QProcess::MergedChannels);
    apt.start("apt-get", {"install", "-y", "-q", "--reinstall", package.absoluteFilePath()});
    ASSERT_TRUE(apt.waitForFinished(100000));
    ASSERT_EQ(apt.exitCode(), 0) << apt.readAll().toStdString();
    for (const char* installed : {
             "/usr/bin/spoutwise",
             "/usr/share/applications/" SPOUTWISE_APP_ID ".desktop",
             "/usr/share/metainfo/" SPOUTWISE_APP_ID ".metainfo.xml",
             "/usr/share/icons/hicolor/scalable/apps/" SPOUTWISE_APP_ID ".svg",
         }) {
        EXPECT_TRUE(QFile::exists(installed)) << installed;
    }

    startApp("/usr/bin/spoutwise");
    expectTheWholeItem();
    quitApp();
    EXPECT_EQ(process.exitCode(), 0);
}

}  // namespace
