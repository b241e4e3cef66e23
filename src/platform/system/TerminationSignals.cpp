#include "platform/system/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {

constexpr std::array<int, 2> handledSignals{SIGTERM, SIGINT};
// The self-pipe: the handler writes a byte, the event loop reads it.
int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

// Leaves a signal that was ignored when the process started ignored: a shell starts background
// jobs with SIGINT ignored so that Ctrl-C reaches only the foreground, and nohup does the same
// with SIGHUP.
void setHandler(int number) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

}  // namespace

void TerminationSignals::install() {
    std::signal(SIGPIPE, SIG_IGN);
    if (pipeEnds[0] >= 0 || pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    for (const int number : handledSignals) {
        setHandler(number);
    }
}

TerminationSignals::TerminationSignals(std::function<void()> handler)
    : handler(std::move(handler)) {
    install();
    if (pipeEnds[0] < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::received);
}

void TerminationSignals::received() {
    std::array<char, 16> bytes{};
    while (read(pipeEnds[0], bytes.data(), bytes.size()) > 0) {
    }
    if (!handled) {
        handled = true;
        handler();
    }
}

}  // namespace platform
