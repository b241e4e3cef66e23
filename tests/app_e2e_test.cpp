#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include <QDBusArgument>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "platform/DBusTypes.h"

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

    // Starts the app and waits until it has registered with the panel and shown a frame.
    void startApp() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus.address());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address());
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", configHome());
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        process.setProcessEnvironment(env);
        process.start(SPOUTWISE_BINARY, {});
        ASSERT_TRUE(process.waitForStarted());
        const int registered = int(panel.registeredItems().size());
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

    // Waits until every icon pixmap is `width` points wide (at 1x and 2x).
    bool iconWidthBecomes(int width) {
        return FakePanel::waitFor([&] {
            const auto pixmaps = panel.iconPixmaps();
            return pixmaps.size() == 2 && pixmaps[0].width == width &&
                   pixmaps[1].width == 2 * width;
        });
    }

    bool fileContains(const QString& path, const QByteArray& text) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
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
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(pixmaps[0].width, 44);
    EXPECT_EQ(pixmaps[0].height, 22);
    EXPECT_EQ(pixmaps[1].width, 88);
    EXPECT_EQ(pixmaps[1].height, 44);
    EXPECT_EQ(pixmaps[1].bytes.size(), 88 * 44 * 4);

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
    // Only our log lines; Qt may add warnings of its own.
    const QStringList lines =
        stderrText().split('\n').filter(QRegularExpression("^spoutwise\\[\\w+\\] "));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.contains("spoutwise[app] info: Spoutwise launched")) << errors.toStdString();
    EXPECT_EQ(lines.last(), "spoutwise[app] info: Spoutwise quit") << errors.toStdString();
}

}  // namespace
