#include "platform/system/Logger.h"

#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return pattern;
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::snprintf(text.data(), text.size(), pattern, args...);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

}  // namespace

Logger::Logger(std::string category) : categoryName(std::move(category)) {}

void Logger::info(const char* message) const {
    write(Level::Info, message);
}

void Logger::info(const char* pattern, double value) const {
    write(Level::Info, format(pattern, value));
}

void Logger::error(const char* pattern, const std::string& value) const {
    write(Level::Error, format(pattern, value.c_str()));
}

void Logger::write(Level level, const std::string& text) const {
    const int priority = level == Level::Info ? LOG_INFO : LOG_ERR;
    // sd_journal_send reports success even when no journal runs, so look for its socket first.
    const bool sent =
        ::access("/run/systemd/journal/socket", W_OK) == 0 &&
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                        "SYSLOG_IDENTIFIER=spoutwise", "SUBSYSTEM=%s", SPOUTWISE_APP_ID,
                        "CATEGORY=%s", categoryName.c_str(), nullptr) >= 0;
    if (!sent) {
        writeToStderr(level, text);
    }
}

// Straight to the descriptor: a stream such as std::cerr stays failed after one failed write
// and drops every line after it.
void Logger::writeToStderr(Level level, const std::string& text) const {
    const std::string line = "spoutwise[" + categoryName + "] " +
                             (level == Level::Info ? "info" : "error") + ": " + text + "\n";
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t written = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace platform
