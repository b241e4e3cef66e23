#include "platform/system/Defaults.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

struct DefaultsTest : ::testing::Test {
    QByteArray write(const QByteArray& text) {
        QDir().mkpath(dir.filePath("spoutwise"));
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? text : "";
    }
    QByteArray read() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("spoutwise/spoutwise.conf");
};

}  // namespace

// QSettings reads past what it cannot parse and writes the file back without it; the user's file
// is left as it is instead, and reads as if nothing were stored.
TEST_F(DefaultsTest, LeavesAnUnusableFileAsItIs) {
    for (const QByteArray& text : {QByteArray("\x00\xff\x89garbage[[[\n=\n\xfe", 15),
                                   QByteArray("[General\nshowPercentage=true\n"),
                                   QByteArray("showPercentage=false\n\xff\xfe zz\n"),
                                   QByteArray("[General]\nshowPercentage=false\nnot a setting\n"),
                                   QByteArray("[General]\n=false\n")}) {
        ASSERT_EQ(write(text), text);
        EXPECT_FALSE(platform::Defaults(path).boolValue("showPercentage"));
        EXPECT_FALSE(platform::Defaults(path).setValue("showPercentage", true));
        EXPECT_EQ(read(), text);
    }
}
