#pragma once

#include <QObject>
#include <functional>

namespace platform {

// Turns SIGTERM and SIGINT (logout, Ctrl-C) into one call on the event loop, so the app ends as
// orderly as from its Quit entry; a signal handler itself may do next to nothing.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    // First thing in main, before the window in which a signal would kill the app: from then on
    // until the process ends a termination signal waits for the TerminationSignals that handles
    // it, and SIGPIPE is ignored, so a log line to a closed pipe fails instead of killing the app.
    static void install();

    // Calls `handler` at the first termination signal since install(), also one that came before
    // this object existed; a second signal while the app is ending does nothing more.
    explicit TerminationSignals(std::function<void()> handler);
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    void received();

    std::function<void()> handler;
    bool handled = false;
};

}  // namespace platform
