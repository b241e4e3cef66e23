#pragma once

#include <string>
#include <vector>

#include "platform/system/Logger.h"

// A logger that keeps each entry's text instead of sending it to the journal.
class RecordingLogger : public platform::Logger {
  public:
    using Logger::Logger;

    mutable std::vector<std::string> lines;

  protected:
    void write(Level, const std::string& text) const override { lines.push_back(text); }
};
