#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>
#include <memory>

class QTimer;

namespace platform {

// Holds the app id as a name on the session bus, so that a second start can tell one already
// runs. The bus frees the name when the process ends, however it ends.
class SingleInstance {
  public:
    enum class Claim { owned, taken, failed };

    explicit SingleInstance(QDBusConnection bus, QString name = SPOUTWISE_APP_ID);
    ~SingleInstance();

    // Asks for the name without queueing: owned, held by another process, or the bus refused
    // (errorMessage() says why).
    Claim claim();
    const QString& errorMessage() const { return error; }
    // Calls `ended` once the bus has gone away, as it does when the session ends without a
    // signal to its processes. Qt tells of a lost connection only through isConnected(), so it
    // is looked at every `intervalMs`.
    void whenBusEnds(std::function<void()> ended, int intervalMs = 1000);

  private:
    QDBusConnection bus;
    QString name;
    QString error;
    std::unique_ptr<QTimer> busCheck;
};

}  // namespace platform
