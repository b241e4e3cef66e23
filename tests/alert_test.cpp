#include "platform/system/Alert.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/system/Translations.h"

TEST(AlertTest, DefaultButtonReadsChineseWhateverTheLocale) {
    qputenv("LANG", "C");
    int argc = 1;
    char name[] = "alert-test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
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
