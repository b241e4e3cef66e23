#pragma once

#include <string>

namespace platform {

// Writes log entries to the systemd journal under SYSLOG_IDENTIFIER=spoutwise, with the app id as
// SUBSYSTEM and the logger's CATEGORY as fields; falls back to one line on stderr when no journal
// is reachable.
class Logger {
  public:
    enum class Level { Info, Error };

    explicit Logger(std::string category);
    virtual ~Logger() = default;

    void info(const char* message) const;
    // `format` holds one %f, printed with six decimals.
    void info(const char* format, double value) const;
    // `format` holds one %s.
    void error(const char* format, const std::string& value) const;

  protected:
    // Where a formatted entry goes: the journal, or stderr where none runs. Tests derive to
    // capture entries.
    virtual void write(Level level, const std::string& text) const;
    // One line, "spoutwise[app] info: Spoutwise launched", in one write of its own: a line that
    // fails (a full disk) costs only itself, and the next has its own chance.
    void writeToStderr(Level level, const std::string& text) const;

  private:
    std::string categoryName;
};

}  // namespace platform
