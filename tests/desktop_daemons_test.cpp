#include <gtest/gtest.h>

#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

#include "PrivateBus.h"
#include "TestApp.h"
#include "platform/drawing/Appearance.h"
#include "platform/system/PowerMode.h"

// The services that follow a desktop daemon over D-Bus, each against a stand-in for the daemon
// on a private bus.
namespace {

// A daemon's object: owns `service` and answers every call at `path` with `answer(member)`, or
// with an unknown-method error for an invalid value; sends the signals the test asks for.
struct Daemon : QDBusVirtualObject {
    Daemon(QDBusConnection bus, const QString& service, const QString& path,
           std::function<QVariant(const QString& member)> answer)
        : bus(bus), path(path), answer(std::move(answer)) {
        registered = bus.registerVirtualObject(path, this) && bus.registerService(service);
    }
    ~Daemon() override { QDBusConnection::disconnectFromBus(bus.name()); }
    void signal(const QString& interface, const QString& member, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createSignal(path, interface, member);
        message.setArguments(arguments);
        bus.send(message);
    }
    QString introspect(const QString&) const override { return {}; }
    // QtDBus calls this on a thread of its own.
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        ++calls;
        const QVariant value = answer(call.member());
        connection.send(value.isValid() ? call.createReply(value)
                                        : call.createErrorReply(QDBusError::UnknownMethod, ""));
        return true;
    }

    QDBusConnection bus;
    QString path;
    std::function<QVariant(const QString&)> answer;
    std::atomic<int> calls = 0;
    bool registered = false;
};

QVariant variant(const QVariant& value) {
    return QVariant::fromValue(QDBusVariant(value));
}

struct DesktopDaemonsTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(bus.isRunning()); }
    TestApp app;
    PrivateBus bus;
};

}  // namespace

TEST_F(DesktopDaemonsTest, PowerModeFollowsTheProfileUnderEitherNameAndTheDaemonComingAndGoing) {
    for (const QString service :
         {"org.freedesktop.UPower.PowerProfiles", "net.hadess.PowerProfiles"}) {
        platform::PowerMode mode(bus.connect());
        QSignalSpy changes(&mode, &platform::PowerMode::lowPowerModeChanged);
        const QString path = "/" + QString(service).replace('.', '/');
        auto daemon = std::make_unique<Daemon>(
            bus.connect(), service, path, [](const QString&) { return variant("power-saver"); });
        ASSERT_TRUE(daemon->registered);
        ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }))
            << service.toStdString();
        const auto announce = [&](const QVariantMap& changed, const QStringList& invalidated) {
            daemon->signal("org.freedesktop.DBus.Properties", "PropertiesChanged",
                           {service, changed, invalidated});
        };
        announce({{"ActiveProfile", "balanced"}}, {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
        EXPECT_EQ(daemon->calls.load(), 1);  // the new value came with the signal
        announce({}, {"ActiveProfile"});     // to be asked for again
        ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
        daemon.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
        EXPECT_EQ(changes.count(), 4);
    }
}

// The portal's colour scheme outranks the palette; only its own setting changes it. Portals
// before version 2 have Read only, whose answer is wrapped in one more variant.
TEST_F(DesktopDaemonsTest, AppearanceFollowsThePortalsSchemeAndElseThePalette) {
    QGuiApplication::setPalette(QPalette(Qt::white));
    for (const bool hasReadOne : {true, false}) {
        Daemon portal(bus.connect(), "org.freedesktop.portal.Desktop",
                      "/org/freedesktop/portal/desktop", [hasReadOne](const QString& member) {
                          return member == "Read" ? variant(variant(1u))
                                 : hasReadOne     ? variant(1u)
                                                  : QVariant();
                      });
        platform::Appearance appearance(bus.connect());
        QSignalSpy changed(&appearance, &platform::Appearance::changed);
        ASSERT_TRUE(changed.wait(5000));
        EXPECT_TRUE(appearance.isDark());
        const auto setting = [&](const char* group, const char* key, uint value) {
            portal.signal("org.freedesktop.portal.Settings", "SettingChanged",
                          {group, key, variant(value)});
        };
        setting("org.freedesktop.appearance", "accent-color", 2);
        setting("org.gnome.desktop.interface", "color-scheme", 2);
        for (const uint scheme : {2, 1, 0}) {  // prefer light, prefer dark, no preference
            setting("org.freedesktop.appearance", "color-scheme", scheme);
            ASSERT_TRUE(changed.wait(5000));
            EXPECT_EQ(appearance.isDark(), scheme == 1);
        }
    }
    platform::Appearance withoutPortal(bus.connect());
    EXPECT_FALSE(withoutPortal.isDark());
    QGuiApplication::setPalette(QPalette(QColor(0x24, 0x24, 0x24)));
    EXPECT_TRUE(withoutPortal.isDark());
}

// Panels that are dark whatever the scheme, and a background the item paints itself, outrank the
// portal; grey 0xa0 is the darkest on which the dark blue label reads better than white.
TEST_F(DesktopDaemonsTest, PanelsThatStayDarkAndThePaintedBackgroundOutrankThePortal) {
    Daemon portal(bus.connect(), "org.freedesktop.portal.Desktop",
                  "/org/freedesktop/portal/desktop", [](const QString& member) {
                      return member == "Read" ? variant(variant(2u)) : variant(2u);
                  });
    for (const auto& [names, dark] : {std::pair{"GNOME", true},
                                      {"ubuntu:GNOME", true},
                                      {"GNOME-Classic:GNOME", false},
                                      {"XFCE", true},
                                      {"X-Cinnamon", true},
                                      {"sway", true}}) {
        platform::Appearance appearance(bus.connect(), names);
        QSignalSpy changed(&appearance, &platform::Appearance::changed);
        ASSERT_TRUE(changed.wait(5000));
        EXPECT_EQ(appearance.isDark(), dark) << names;
        for (const auto& [background, darkOver] : {std::pair{QColor(0xa0, 0xa0, 0xa0), false},
                                                   {QColor(0x80, 0x80, 0x80), true},
                                                   {QColor(), dark}}) {  // forgotten
            appearance.setPanelBackground(background);
            EXPECT_EQ(appearance.isDark(), darkOver) << names;
        }
    }
}
