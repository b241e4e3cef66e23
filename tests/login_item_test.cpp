#include "platform/system/LoginItem.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "TestApp.h"

using platform::LoginItem;

TEST(LoginItem, ExecQuotesAndEscapesTheProgramPath) {
    const std::pair<QString, QString> rows[] = {
        {"/opt/My Apps/spoutwise", R"("/opt/My Apps/spoutwise")"},
        // Quoting escapes " ` $ \ with a backslash; the string escapes then double it.
        {R"(/opt/a"b/$HOME`x`)", R"("/opt/a\\"b/\\$HOME\\`x\\`")"},
        {R"(/opt/back\slash)", R"("/opt/back\\\\slash")"},
        {"/opt/100%/line\nbreak", R"("/opt/100%%/line\nbreak")"},
    };
    for (const auto& [program, exec] : rows) {
        EXPECT_EQ(LoginItem::execValue(program), exec) << program.toStdString();
    }
}

// Only an entry written by the app counts as on, and only while the desktop has not switched it
// off; registering writes it for the running program, unregistering removes it.
TEST(LoginItem, RegistersOurEntryAndOnlyOurEnabledEntryCountsAsOn) {
    TestApp app;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    EXPECT_EQ(LoginItem().status(), LoginItem::notRegistered);
    ASSERT_FALSE(LoginItem().registerApp());
    QFile file(LoginItem::entryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray ours = file.readAll();
    EXPECT_TRUE(ours.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(ours.contains(
        "\nExec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()).toUtf8() + "\n"));
    const std::pair<QByteArray, int> rows[] = {
        {ours, LoginItem::enabled},
        {ours + "Hidden=true\n", LoginItem::disabled},
        {ours + "X-GNOME-Autostart-enabled=false\n", LoginItem::disabled},
        {ours + "[Desktop Action x]\nHidden=true\n", LoginItem::enabled},  // another group
        {"[Desktop Entry]\nExec=spoutwise\n", LoginItem::foreign},
    };
    for (const auto& [text, status] : rows) {
        file.resize(0);
        file.seek(0);
        file.write(text);
        file.flush();
        EXPECT_EQ(LoginItem().status(), status) << text.toStdString();
    }
    ASSERT_FALSE(LoginItem().unregisterApp());
    EXPECT_EQ(LoginItem().status(), LoginItem::notRegistered);
    EXPECT_FALSE(LoginItem().unregisterApp()) << "nothing to remove is no failure";
}
