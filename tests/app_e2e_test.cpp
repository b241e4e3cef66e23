#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"

// The real spoutwise binary against a fake panel on a private session bus, with a private
// system bus and a home folder of its own.
namespace {

enum Entry { about = 6, quit = 7 };  // menu entries by position

class AppEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid() && sessionBus.isRunning() && systemBus.isRunning());
        ASSERT_TRUE(panel.start());
        env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus.address());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            env.insert(name, home.path());
        }
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
    }
    void TearDown() override { process.kill(); }

    static bool waitFor(const std::function<bool()>& condition) {
        return FakePanel::waitFor(condition, 20000);
    }
    static bool exits(QProcess& child) {
        return waitFor([&] { return child.state() == QProcess::NotRunning; });
    }
    void spawn(QProcess& child) {
        child.setProcessEnvironment(env);
        child.start(SPOUTWISE_BINARY, {});
        ASSERT_TRUE(child.waitForStarted());
    }
    // Starts the app and waits until it has registered with the panel and shown a frame.
    void startApp() {
        const int registered = int(panel.registeredItems().size());
        spawn(process);
        ASSERT_TRUE(waitFor([&] { return panel.registeredItems().size() > registered; }));
        ASSERT_TRUE(waitFor([&] { return !panel.iconPixmaps().isEmpty(); }));
    }
    void click(Entry entry) {
        ASSERT_TRUE(panel.click(panel.menuLayout().children.value(entry).id));
    }
    // The app ended as Quit ends it: status 0, and the last log line says so.
    void expectEndedLikeQuit() {
        ASSERT_TRUE(exits(process));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        if (!QFile::exists("/run/systemd/journal/socket")) {  // else the lines went there
            const QStringList lines = QString::fromUtf8(process.readAllStandardError())
                                          .split('\n')
                                          .filter(QRegularExpression("^spoutwise\\[\\w+\\] "));
            EXPECT_EQ(lines.value(lines.size() - 1), "spoutwise[app] info: Spoutwise quit");
        }
    }

    TestApp app;
    QTemporaryDir home;
    PrivateBus sessionBus;
    PrivateBus systemBus;
    FakePanel panel{sessionBus.connect()};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess process;
};

}  // namespace

// One whale per session: a second start leaves at once, and the name goes with the first. The
// About box is modal; the menu stays served from inside its loop, and Quit ends both loops.
// Logout sends SIGTERM, Ctrl-C SIGINT (also while the About box runs), and a session may end by
// taking its bus down: each ends the app as Quit does.
TEST_F(AppEndToEnd, OneWholeItemPerSessionEndedLikeQuitByQuitSignalsAndTheEndOfTheBus) {
    startApp();  // the icon, and the whole menu:
    EXPECT_EQ(panel.menuLayout().children.value(quit).properties.value("label"), "退出 Spoutwise");
    QProcess second;
    spawn(second);
    ASSERT_TRUE(exits(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardError(), "Spoutwise is already running\n");
    click(about);
    click(quit);
    expectEndedLikeQuit();
    startApp();
    ::kill(pid_t(process.processId()), SIGTERM);
    expectEndedLikeQuit();
    startApp();
    click(about);
    ::kill(pid_t(process.processId()), SIGINT);
    expectEndedLikeQuit();
    startApp();
    sessionBus.stop();
    expectEndedLikeQuit();
}
