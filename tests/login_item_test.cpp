#include "platform/system/LoginItem.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>

#include "TestApp.h"

using platform::LoginItem;

// Quoting escapes " ` $ \ with a backslash and doubles a percent sign; the string escapes then
// double every backslash and write a line break as \n.
TEST(LoginItem, ExecQuotesAndEscapesTheProgramPath) {
    EXPECT_EQ(LoginItem::execValue("/opt/My Apps/a\"b$c`\\100%\nx"),
              R"("/opt/My Apps/a\\"b\\$c\\`\\\\100%%\nx")");
}

class LoginItemTest : public ::testing::Test {
  protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", config.path().toUtf8()); }
    QByteArray entryText() const {
        QFile file(LoginItem::entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeEntry(const QByteArray& text) {
        QDir().mkpath(LoginItem::autostartFolder());
        QFile file(LoginItem::entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    TestApp app;
    QTemporaryDir config;
};

// Only an entry written by the app counts as on, and only while the desktop has not switched it
// off; registering writes it for the running program, unregistering removes it.
TEST_F(LoginItemTest, RegistersOurEntryAndOnlyOurEnabledEntryCountsAsOn) {
    EXPECT_FALSE(LoginItem().isEnabled());
    ASSERT_FALSE(LoginItem().registerApp());
    const QByteArray ours = entryText();
    EXPECT_TRUE(ours.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(ours.contains(
        "\nExec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()).toUtf8() + "\n"));
    const std::pair<QByteArray, bool> rows[] = {
        {ours + "Hidden=true\n", false},
        {ours + "X-GNOME-Autostart-enabled=false\n", false},
        {ours + "[Desktop Action x]\nHidden=true\n", true},  // another group
        {"[Desktop Entry]\nExec=spoutwise\n", true},         // the user's own
        {ours, true},
    };
    for (const auto& [text, enabled] : rows) {
        writeEntry(text);
        EXPECT_EQ(LoginItem().isEnabled(), enabled) << text.toStdString();
    }
    ASSERT_FALSE(LoginItem().unregisterApp());
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_FALSE(LoginItem().unregisterApp()) << "nothing to remove is no failure";
}

// A user's own entry under our name (their Exec, their keys) is switched off and on again, never
// replaced or removed.
TEST_F(LoginItemTest, UsersOwnEntryIsSwitchedKeepingEverythingElse) {
    const QByteArray own = "[Desktop Entry]\nExec=env LANG=C spoutwise\nX-Mine=1\n\n[X]\nA=b\n";
    writeEntry(own);
    ASSERT_FALSE(LoginItem().unregisterApp());
    EXPECT_FALSE(LoginItem().isEnabled());
    EXPECT_EQ(entryText(),
              "[Desktop Entry]\nExec=env LANG=C spoutwise\nX-Mine=1\nHidden=true\n\n[X]\nA=b\n");
    ASSERT_FALSE(LoginItem().registerApp());
    EXPECT_EQ(entryText(), own);

    writeEntry("[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=false\n");
    ASSERT_FALSE(LoginItem().registerApp());
    EXPECT_EQ(entryText(), "[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=true\n");
}

// A full disk, without root: writes beyond a file size limit of 0 fail with EFBIG.
TEST_F(LoginItemTest, FailedWriteFailsTheChangeAndLeavesTheFileAsItWas) {
    const QByteArray own = "[Desktop Entry]\nExec=spoutwise\nHidden=true\n";
    writeEntry(own);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit full{0, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const auto enabling = LoginItem().registerApp();
    const QByteArray afterEnabling = entryText();
    QFile::remove(LoginItem::entryPath());
    const auto writing = LoginItem().registerApp();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    ASSERT_TRUE(enabling);
    EXPECT_EQ(enabling->message, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(afterEnabling, own);
    EXPECT_TRUE(writing);
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
}
