#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Logger.h"

namespace {

class CapturingLogger : public platform::Logger {
  public:
    using platform::Logger::Logger;
    mutable std::vector<std::pair<Level, std::string>> entries;

  protected:
    void write(Level level, const std::string& text) const override {
        entries.emplace_back(level, text);
    }
};

}  // namespace

TEST(Logger, FormatsTheArgumentsOfEveryMessage) {
    CapturingLogger log("animation");
    log.info("系统休眠，暂停动画");
    log.info("切换帧率: %f", 1.0 / 15.0);
    log.info("切换帧率: %f", 1.0 / 30.0);
    log.error("SMAppService failed: %s", "Permission denied");
    // A % inside the argument is text, not a format.
    log.error("SMAppService failed: %s", "100% %s");

    using L = platform::Logger::Level;
    const std::vector<std::pair<L, std::string>> expected = {
        {L::Info, "系统休眠，暂停动画"},
        {L::Info, "切换帧率: 0.066667"},
        {L::Info, "切换帧率: 0.033333"},
        {L::Error, "SMAppService failed: Permission denied"},
        {L::Error, "SMAppService failed: 100% %s"},
    };
    EXPECT_EQ(log.entries, expected);
}

TEST(Logger, StderrLineNamesCategoryAndLevel) {
    using L = platform::Logger::Level;
    EXPECT_EQ(platform::Logger::stderrLine("app", L::Info, "Spoutwise launched"),
              "spoutwise[app] info: Spoutwise launched");
    EXPECT_EQ(platform::Logger::stderrLine("app", L::Error, "SMAppService failed: x"),
              "spoutwise[app] error: SMAppService failed: x");
}

TEST(Logger, FallsBackToStderrWithoutAJournal) {
    if (std::filesystem::exists("/run/systemd/journal/socket")) {
        GTEST_SKIP() << "a journal is reachable here; entries go there";
    }
    platform::Logger log("app");
    testing::internal::CaptureStderr();
    log.info("Spoutwise launched");
    log.info("切换帧率: %f", 1.0 / 15.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "spoutwise[app] info: Spoutwise launched\n"
              "spoutwise[app] info: 切换帧率: 0.066667\n");
}
