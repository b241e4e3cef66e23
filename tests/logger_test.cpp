#include "platform/system/Logger.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryFile>

// Where no journal runs every entry goes to stderr: a full disk loses a line, not the rest.
TEST(Logger, LineLostToAFullDiskLeavesTheNextItsChance) {
    struct NoJournal : platform::Logger {
        using Logger::Logger;
        void write(Level level, const std::string& text) const override {
            writeToStderr(level, text);
        }
    } const log("app");
    QTemporaryFile file;
    const int full = ::open("/dev/full", O_WRONLY), saved = ::dup(STDERR_FILENO);
    ASSERT_TRUE(file.open() && full >= 0);
    ::dup2(full, STDERR_FILENO);
    log.error("SMAppService failed: %s", "lost");
    ::dup2(file.handle(), STDERR_FILENO);
    log.info("Spoutwise quit");
    ::dup2(saved, STDERR_FILENO);
    ::close(full);
    ::close(saved);
    file.seek(0);
    EXPECT_EQ(file.readAll(), "spoutwise[app] info: Spoutwise quit\n");
}
