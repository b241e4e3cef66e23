#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace platform {

// Turns SIGTERM and SIGINT (logout, Ctrl-C) into a call on the event loop, so the app can end as
// orderly as from its Quit entry; a signal handler itself may do next to nothing. After the first
// signal the default action is back, so a second one ends a process that hangs. One per process.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignals(std::function<void()> handler);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    void received();

    std::function<void()> handler;
    QSocketNotifier* notifier = nullptr;
};

}  // namespace platform
