#include "platform/system/TickSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>

namespace platform {

namespace {

// Reads one unsigned decimal field, skipping the spaces before it.
bool nextField(std::string_view& rest, std::uint64_t& value) {
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return false;
    }
    rest.remove_prefix(start);
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc()) {
        return false;
    }
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    return rest.empty() || rest.front() == ' ' || rest.front() == '\n';
}

}  // namespace

std::optional<Ticks> parseProcStat(std::string_view text) {
    constexpr std::string_view prefix = "cpu ";
    if (!text.starts_with(prefix)) {
        return std::nullopt;
    }
    std::string_view line = text.substr(prefix.size());
    line = line.substr(0, line.find('\n'));
    // user nice system idle iowait irq softirq; steal and the guest fields are left out (guest
    // time is already inside user, guest_nice inside nice), so older kernels that lack them parse.
    std::array<std::uint64_t, 7> f{};
    for (auto& field : f) {
        if (!nextField(line, field)) {
            return std::nullopt;
        }
    }
    const auto [user, nice, system, idle, iowait, irq, softirq] = f;
    // Time spent serving interrupts is busy time; waiting for I/O is idle time.
    return Ticks{user, system + irq + softirq, idle + iowait, nice};
}

TickSource::TickSource(std::string path) : path(std::move(path)) {}

TickSource::~TickSource() {
    if (fd >= 0) {
        ::close(fd);
    }
}

std::optional<Ticks> TickSource::read() {
    if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return std::nullopt;
        }
    }
    // The kernel renders the file afresh on every read from offset 0, so one open descriptor serves
    // every sample. The aggregate line comes first and is far shorter than the buffer.
    std::array<char, 512> buffer;
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) {
        ::close(fd);
        fd = -1;
        return std::nullopt;
    }
    return parseProcStat(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

}  // namespace platform
