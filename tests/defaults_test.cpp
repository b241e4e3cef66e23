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

TEST_F(DefaultsTest, ReadsBooleansAsBooleansAndAnythingElseAsItsText) {
    const std::pair<QByteArray, QVariant> rows[] = {{"", QVariant()},
                                                    {"showPercentage=true", true},
                                                    {"showPercentage=false", false},
                                                    {"showPercentage=False", "False"},
                                                    {"showPercentage=1", "1"}};
    // A file per row: QSettings knows a file it read by its name, size and time, which the same
    // file rewritten with the other case of "false" within one clock tick keeps.
    for (const auto& [stored, value] : rows) {
        QFile file(dir.filePath(stored + ".conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("[General]\n" + stored + "\n"));
        file.close();
        EXPECT_EQ(platform::Defaults(file.fileName()).objectForKey("showPercentage"), value)
            << stored.data();
    }
}

// QSettings keeps reporting its first error for good; each write is checked afresh.
TEST_F(DefaultsTest, ReportsAWriteThatFailsAndTheNextThatWorks) {
    QFile blocker(dir.filePath("spoutwise"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    platform::Defaults defaults(path);
    EXPECT_FALSE(defaults.setBool(false, "showPercentage"));
    ASSERT_TRUE(blocker.remove());
    EXPECT_TRUE(defaults.setBool(false, "showPercentage"));
    EXPECT_TRUE(read().contains("showPercentage=false"));
}

// QSettings reads past what it cannot parse and writes the file back without it; the user's file
// is left as it is instead, and reads as if nothing were stored.
TEST_F(DefaultsTest, LeavesAnUnusableFileAsItIs) {
    for (const QByteArray& text : {QByteArray("\x00\xff\x89garbage[[[\n=\n\xfe", 15),
                                   QByteArray("[General\nshowPercentage=true\n"),
                                   QByteArray("showPercentage=false\n\xff\xfe zz\n"),
                                   QByteArray("[General]\nshowPercentage=false\nnot a setting\n"),
                                   QByteArray("[General]\n=false\n")}) {
        ASSERT_EQ(write(text), text);
        EXPECT_FALSE(platform::Defaults(path).objectForKey("showPercentage").isValid());
        EXPECT_FALSE(platform::Defaults(path).setBool(true, "showPercentage"));
        EXPECT_EQ(read(), text);
    }
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));  // a folder in the file's place
    EXPECT_FALSE(platform::Defaults(path).setBool(false, "showPercentage"));
}
