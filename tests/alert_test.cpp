#include "platform/system/Alert.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "TestApp.h"
#include "platform/system/Translations.h"

// Twenty About clicks must not stack twenty modal loops: while one alert is open, another
// returns at once and leaves only the open one up. Its button reads Chinese whatever the locale.
TEST(AlertPresenter, OneAlertAtATimeWithChineseButtonsWhateverTheLocale) {
    qputenv("LANG", "C");
    TestApp app;
    ASSERT_TRUE(platform::installChineseTranslations());
    platform::AlertPresenter alerts;
    QStringList shown;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    shown.append(box->text());
                    for (const QAbstractButton* button : box->buttons()) {
                        shown.append(button->text());
                    }
                    box->reject();
                }
            }
        });
        alerts.runModal({platform::Alert::Style::informational, "second", "", {}});
    });
    alerts.runModal({platform::Alert::Style::informational, "first", "", {}});
    EXPECT_EQ(shown, (QStringList{"first", "确定"}));
}
