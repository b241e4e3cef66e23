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
void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : handledSignals) {
        struct sigaction current {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(number, &action, nullptr);
        }
    }
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> handler)
    : handler(std::move(handler)) {
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::received);
    setHandler(onSignal);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier) {
        return;
    }
    setHandler(SIG_DFL);
    delete notifier;
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::received() {
    std::array<char, 16> bytes{};
    while (read(pipeEnds[0], bytes.data(), bytes.size()) > 0) {
    }
    setHandler(SIG_DFL);
    handler();
}

}  // namespace platform
