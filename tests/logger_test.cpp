#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/Logger.h"

using L = platform::Logger::Level;

namespace {

struct CapturingLogger : platform::Logger {
    using platform::Logger::Logger;
    mutable std::vector<std::pair<Level, std::string>> entries;
    void write(Level level, const std::string& text) const override {
        entries.emplace_back(level, text);
    }
};

}  // namespace

TEST(Logger, FormatsTheArgumentsOfEveryMessage) {
    CapturingLogger log("animation");
    log.info("系统休眠，暂停动画");
    log.info("切换帧率: %f", 1.0 / 15.0);
    log.error("SMAppService failed: %s", "Permission denied");
    // A % inside the argument is text, not a format.
    log.error("SMAppService failed: %s", "100% %s");
    EXPECT_EQ(log.entries, (std::vector<std::pair<L, std::string>>{
                               {L::Info, "系统休眠，暂停动画"},
                               {L::Info, "切换帧率: 0.066667"},
                               {L::Error, "SMAppService failed: Permission denied"},
                               {L::Error, "SMAppService failed: 100% %s"},
                           }));
}

TEST(Logger, FallsBackToStderrLinesNamingCategoryAndLevel) {
    EXPECT_EQ(platform::Logger::stderrLine("app", L::Error, "SMAppService failed: x"),
              "spoutwise[app] error: SMAppService failed: x");
    if (std::filesystem::exists("/run/systemd/journal/socket")) {
        GTEST_SKIP() << "a journal is reachable here; entries go there";
    }
    testing::internal::CaptureStderr();
    platform::Logger("app").info("切换帧率: %f", 1.0 / 15.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "spoutwise[app] info: 切换帧率: 0.066667\n");
}
