#include "platform/system/Alert.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "TestApp.h"
#include "platform/system/Translations.h"

// Twenty About clicks must not stack twenty modal loops: while one alert is open, another
// returns at once and leaves only the open one up.
TEST(AlertPresenter, SecondAlertWhileOneIsOpenOpensNoOther) {
    TestApp app;
    platform::AlertPresenter alerts;
    QStringList shown;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    shown.append(box->text());
                    box->reject();
                }
            }
        });
        alerts.runModal({platform::Alert::Style::informational, "second", "", {}});
    });
    alerts.runModal({platform::Alert::Style::informational, "first", "", {}});
    EXPECT_EQ(shown, QStringList{"first"});
}

TEST(AlertPresenter, DefaultButtonReadsChineseWhateverTheLocale) {
    qputenv("LANG", "C");
    TestApp app;
    ASSERT_TRUE(platform::installChineseTranslations());
    QStringList buttons;
    QTimer::singleShot(0, [&buttons] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (const QAbstractButton* button : box->buttons()) {
                buttons << button->text();
            }
            box->close();
        }
    });
    platform::AlertPresenter().runModal(platform::Alert{});
    EXPECT_EQ(buttons, QStringList{"确定"});
}
