#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Cumulative processor ticks since boot, summed over all processors, in the four states the
// load arithmetic knows.
struct Ticks {
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    std::uint64_t idle = 0;
    std::uint64_t nice = 0;
    bool operator==(const Ticks&) const = default;
};

// Parses the aggregate "cpu" line at the start of /proc/stat's text. Empty when the text does not
// start with that line or the line has fewer than the seven counters up to softirq.
std::optional<Ticks> parseProcStat(std::string_view text);

// Reads the kernel's counters from a /proc/stat-formatted file.
class TickSource {
  public:
    explicit TickSource(std::string path = "/proc/stat");
    virtual ~TickSource();
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;

    // Empty when the file cannot be read or does not parse.
    virtual std::optional<Ticks> read();

  private:
    std::string path;
    int fd = -1;
};

}  // namespace platform
