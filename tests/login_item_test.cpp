#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>

#include "platform/system/LoginItem.h"

namespace {

using platform::LoginItem;

class LoginItemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }

    QByteArray entryText() const {
        QFile file(LoginItem::entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeEntry(const QByteArray& text) {
        ASSERT_FALSE(LoginItem("/usr/bin/spoutwise").registerApp());
        QFile file(LoginItem::entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    int argc = 1;
    char name[5] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};  // applicationFilePath() needs it
    QTemporaryDir config;
};

TEST_F(LoginItemTest, ExecQuotesAndEscapesTheProgramPath) {
    const std::pair<QString, QString> rows[] = {
        {"/usr/bin/spoutwise", R"("/usr/bin/spoutwise")"},
        {"/opt/My Apps/spoutwise", R"("/opt/My Apps/spoutwise")"},
        // Quoting escapes " ` $ \ with a backslash; the string escapes then double it.
        {R"(/opt/a"b/spoutwise)", R"("/opt/a\\"b/spoutwise")"},
        {"/opt/$HOME`x`/spoutwise", R"("/opt/\\$HOME\\`x\\`/spoutwise")"},
        {R"(/opt/back\slash)", R"("/opt/back\\\\slash")"},
        {"/opt/100%/spoutwise", R"("/opt/100%%/spoutwise")"},
        {"/opt/line\nbreak", R"("/opt/line\nbreak")"},
    };
    for (const auto& [program, exec] : rows) {
        EXPECT_EQ(LoginItem::execValue(program), exec) << program.toStdString();
    }
}

TEST_F(LoginItemTest, RegisterWritesOurEnabledEntryForTheRunningProgramAndUnregisterRemovesIt) {
    LoginItem item;
    EXPECT_EQ(item.status(), LoginItem::notRegistered);
    ASSERT_FALSE(item.registerApp());
    EXPECT_EQ(item.status(), LoginItem::enabled);
    const QByteArray text = entryText();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    const QString exec = LoginItem::execValue(QCoreApplication::applicationFilePath());
    EXPECT_TRUE(text.contains(("\nExec=" + exec + "\n").toUtf8()));

    ASSERT_FALSE(item.unregisterApp());
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_EQ(item.status(), LoginItem::notRegistered);
    EXPECT_FALSE(item.unregisterApp()) << "nothing to remove is no failure";
}

TEST_F(LoginItemTest, OnlyOurEnabledEntryCountsAsOnAndRegisterEnablesIt) {
    const QByteArray ours = "[Desktop Entry]\nExec=old\nX-Spoutwise-LoginItem=true\n";
    const std::pair<QByteArray, int> rows[] = {
        {ours, LoginItem::enabled},
        {ours + "Hidden=true\n", LoginItem::disabled},
        {ours + "X-GNOME-Autostart-enabled=false\n", LoginItem::disabled},
        {ours + "Hidden=false\nX-GNOME-Autostart-enabled=true\n", LoginItem::enabled},
        // Keys of another group do not switch the entry off.
        {ours + "[Desktop Action x]\nHidden=true\n", LoginItem::enabled},
        {"[Desktop Entry]\nType=Application\nExec=spoutwise\n", LoginItem::enabled},
    };
    for (const auto& [text, status] : rows) {
        writeEntry(text);
        EXPECT_EQ(LoginItem().status(), status) << text.toStdString();
    }
    writeEntry(ours + "Hidden=true\n");
    ASSERT_FALSE(LoginItem().registerApp());
    EXPECT_EQ(LoginItem().status(), LoginItem::enabled);
    EXPECT_FALSE(entryText().contains("Hidden"));
}

TEST_F(LoginItemTest, FailuresGiveTheSystemErrorAndChangeNothing) {
    QFile blocker(config.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("x");
    blocker.close();
    const auto blocked = LoginItem().registerApp();
    ASSERT_TRUE(blocked);
    EXPECT_EQ(blocked->localizedDescription, QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    EXPECT_EQ(LoginItem().status(), LoginItem::notRegistered);
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), "x");

    // A folder in the entry's place is neither read nor removed as a file would be.
    ASSERT_TRUE(blocker.remove());
    ASSERT_TRUE(QDir().mkpath(LoginItem::entryPath() + "/inside"));
    const auto stuck = LoginItem().unregisterApp();
    ASSERT_TRUE(stuck);
    EXPECT_FALSE(stuck->localizedDescription.isEmpty());
    EXPECT_TRUE(QFile::exists(LoginItem::entryPath()));
}

// A user's own entry under our name (their Exec, their keys) is switched off and on again, never
// replaced or removed.
TEST_F(LoginItemTest, UsersOwnEntryIsSwitchedKeepingEverythingElse) {
    const QByteArray own = "[Desktop Entry]\nExec=env LANG=C spoutwise\nX-Mine=1\n\n[X]\nA=b\n";
    writeEntry(own);
    ASSERT_FALSE(LoginItem().unregisterApp());
    EXPECT_EQ(LoginItem().status(), LoginItem::disabled);
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
    rlimit full = saved;
    full.rlim_cur = 0;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const auto enabling = LoginItem().registerApp();
    const QByteArray afterEnabling = entryText();
    QFile::remove(LoginItem::entryPath());
    const auto writing = LoginItem().registerApp();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    ASSERT_TRUE(enabling);
    EXPECT_EQ(enabling->localizedDescription, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(afterEnabling, own);
    EXPECT_TRUE(writing);
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
}

// mkdir calls a dangling link "File exists"; the user is told what is wrong with the folder.
TEST_F(LoginItemTest, DanglingLinkAsTheFolderIsCalledThat) {
    const QString target = config.path() + "/gone";
    ASSERT_TRUE(QFile::link(target, LoginItem::autostartFolder()));
    const auto error = LoginItem().registerApp();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription, "文件夹 " + LoginItem::autostartFolder() +
                                               " 是失效的符号链接：它指向的 " + target + " 不存在");
}

}  // namespace
