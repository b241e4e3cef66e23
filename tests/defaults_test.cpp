#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/system/Defaults.h"

namespace {

class DefaultsTest : public ::testing::Test {
  protected:
    QString path() const { return dir.path() + "/spoutwise/spoutwise.conf"; }

    void writeFile(const QByteArray& text) {
        QDir().mkpath(dir.path() + "/spoutwise");
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray readFile() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_F(DefaultsTest, ObjectForKeyTellsAbsentBooleanAndOther) {
    struct Row {
        QByteArray stored;
        QVariant expected;
    };
    const Row rows[] = {
        {"", QVariant()},
        {"showPercentage=true", QVariant(true)},
        {"showPercentage=false", QVariant(false)},
        {"showPercentage=yes", QVariant(QString("yes"))},
        {"showPercentage=1", QVariant(QString("1"))},
        {"showPercentage=False", QVariant(QString("False"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored.toStdString());
        writeFile("[General]\n" + row.stored + "\n");
        const QVariant value = platform::Defaults(path()).objectForKey("showPercentage");
        EXPECT_EQ(value.typeId(), row.expected.typeId());
        EXPECT_EQ(value, row.expected);
    }
}

TEST_F(DefaultsTest, SetBoolIsOnDiskAtOnce) {
    platform::Defaults defaults(path());
    ASSERT_TRUE(defaults.setBool(false, "showPercentage"));
    EXPECT_TRUE(readFile().contains("showPercentage=false"));
    EXPECT_EQ(defaults.objectForKey("showPercentage"), QVariant(false));
    ASSERT_TRUE(defaults.setBool(true, "showPercentage"));
    EXPECT_TRUE(readFile().contains("showPercentage=true"));
}

TEST_F(DefaultsTest, SetBoolReportsAFileThatCannotBeWrittenAndRecovers) {
    QFile blocker(dir.path() + "/spoutwise");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    platform::Defaults defaults(path());
    EXPECT_FALSE(defaults.setBool(false, "showPercentage"));

    // Once the folder can be made again, the next write goes through and says so.
    ASSERT_TRUE(blocker.remove());
    EXPECT_TRUE(defaults.setBool(true, "showPercentage"));
    EXPECT_TRUE(readFile().contains("showPercentage=true"));
}

// QSettings writes a file it could not parse back with only the lines it understood.
TEST_F(DefaultsTest, SetBoolLeavesAFileThatDoesNotParseAsItIs) {
    const QByteArray corrupt[] = {
        QByteArray("\x00\xff\x89garbage[[[\n=\n\xfe", 15),
        "[General\nshowPercentage=true\nother=1\n",
        "showPercentage=false\n\xff\xfe zz\n",
        "[General]\nshowPercentage=false\nnot a setting\n",
    };
    for (const QByteArray& text : corrupt) {
        SCOPED_TRACE(text.toHex().toStdString());
        writeFile(text);
        {
            platform::Defaults defaults(path());
            EXPECT_FALSE(defaults.objectForKey("showPercentage").isValid());
            EXPECT_FALSE(defaults.setBool(false, "showPercentage"));
            EXPECT_FALSE(defaults.setBool(true, "showPercentage"));
        }
        EXPECT_EQ(readFile(), text);
    }
}

// Where the file should be there is a folder: nothing to read, nothing can be written.
TEST_F(DefaultsTest, SetBoolReportsASettingsPathThatIsAFolder) {
    ASSERT_TRUE(QDir().mkpath(path()));
    platform::Defaults defaults(path());
    EXPECT_FALSE(defaults.objectForKey("showPercentage").isValid());
    EXPECT_FALSE(defaults.setBool(false, "showPercentage"));
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

}  // namespace
