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

    const std::string& category() const { return categoryName; }

    // The stderr fallback's line, without the newline: "spoutwise[app] info: Spoutwise launched".
    static std::string stderrLine(const std::string& category, Level level,
                                  const std::string& text);

  protected:
    // Where a formatted entry goes; tests derive to capture entries.
    virtual void write(Level level, const std::string& text) const;

  private:
    std::string categoryName;
};

}  // namespace platform
