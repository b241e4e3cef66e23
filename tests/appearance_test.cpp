#include "platform/drawing/Appearance.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>

#include "FakePortal.h"
#include "GuiApplication.h"
#include "PrivateBus.h"

namespace {

class AppearanceTest : public testing::Test {
  protected:
    void SetUp() override {
        qunsetenv("XDG_CURRENT_DESKTOP");  // the tests below name the desktop where it matters
        ensureGuiApplication();
        ASSERT_TRUE(bus.isRunning());
    }

    PrivateBus bus;
};

void setPalette(QColor window, QColor text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    QGuiApplication::setPalette(palette);
}

}  // namespace

TEST_F(AppearanceTest, PortalColourSchemeDecidesAndFollowsChanges) {
    FakePortal portal(bus.connect(), 1);
    ASSERT_TRUE(portal.isServing());
    setPalette(Qt::white, Qt::black);  // the portal outranks a light palette
    platform::Appearance appearance(bus.connect());
    QSignalSpy changed(&appearance, &platform::Appearance::changed);

    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(appearance.isDark());

    portal.setColorScheme(2);  // prefer light
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(appearance.isDark());

    portal.setColorScheme(1);
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(appearance.isDark());

    portal.setColorScheme(0);  // no preference reads as light
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(appearance.isDark());
}

TEST_F(AppearanceTest, OtherSettingsAreIgnored) {
    FakePortal portal(bus.connect(), 0);
    platform::Appearance appearance(bus.connect());
    QSignalSpy changed(&appearance, &platform::Appearance::changed);
    ASSERT_TRUE(changed.wait(5000));

    emit portal.SettingChanged("org.freedesktop.appearance", "accent-color", QDBusVariant(1u));
    emit portal.SettingChanged("org.gnome.desktop.interface", "color-scheme", QDBusVariant(1u));
    portal.setColorScheme(2);  // signals arrive in order: once this one is in, so are the others
    ASSERT_TRUE(changed.wait(5000));

    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(appearance.isDark());
}

TEST_F(AppearanceTest, PortalWithoutReadOneIsAskedWithRead) {
    FakePortal portal(bus.connect(), 1, false);
    platform::Appearance appearance(bus.connect());
    QSignalSpy changed(&appearance, &platform::Appearance::changed);

    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(appearance.isDark());
}

TEST_F(AppearanceTest, WithoutPortalThePaletteDecides) {
    platform::Appearance appearance(bus.connect());

    setPalette(QColor(0x24, 0x24, 0x24), Qt::white);
    EXPECT_TRUE(appearance.isDark());
    setPalette(QColor(0xf6, 0xf5, 0xf4), Qt::black);
    EXPECT_FALSE(appearance.isDark());
}

TEST_F(AppearanceTest, PanelsThatStayDarkAndThePaintedBackgroundOutrankThePortal) {
    FakePortal portal(bus.connect(), 2);  // prefer light
    const std::pair<QString, bool> desktops[] = {
        {"GNOME", true}, {"ubuntu:GNOME", true}, {"GNOME-Classic:GNOME", false}, {"XFCE", true}};
    for (const auto& [names, dark] : desktops) {
        platform::Appearance appearance(bus.connect(), names);
        QSignalSpy changed(&appearance, &platform::Appearance::changed);
        ASSERT_TRUE(changed.wait(5000));
        EXPECT_EQ(appearance.isDark(), dark) << names.toStdString();
    }

    // Where the item paints the panel's background, that colour decides, either way: grey 0xa0
    // is the darkest on which the dark blue label reads better than white. Invalid: forgotten.
    platform::Appearance appearance(bus.connect(), "GNOME");
    QSignalSpy changed(&appearance, &platform::Appearance::changed);
    ASSERT_TRUE(changed.wait(5000));
    for (const auto& [background, dark] : {std::pair{QColor(0xf6, 0xf5, 0xf4), false},
                                           {QColor(0xa0, 0xa0, 0xa0), false},
                                           {QColor(0x80, 0x80, 0x80), true},
                                           {QColor(0x3c, 0x3c, 0x3c), true},
                                           {QColor(), true}}) {
        appearance.setPanelBackground(background);
        EXPECT_EQ(appearance.isDark(), dark) << background.name().toStdString();
    }
    EXPECT_EQ(changed.count(), 3);  // first answer, to light, back to dark
}
