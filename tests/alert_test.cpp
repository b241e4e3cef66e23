#include "platform/system/Alert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/system/Translations.h"

TEST(AlertTest, DefaultButtonReadsChineseWhateverTheLocale) {
    qputenv("LANG", "C");
    static int argc = 1;
    static char name[] = "alert-test";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ASSERT_TRUE(platform::installChineseTranslations());

    QStringList buttons;
    QTimer::singleShot(0, [&buttons] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        box->done(0);
    });
    platform::Alert alert;
    alert.messageText = "开机自启设置失败";
    platform::AlertPresenter().runModal(alert);
    EXPECT_EQ(buttons, QStringList{"确定"});
}
