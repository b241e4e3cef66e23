#pragma once

#include <QDBusConnection>
#include <QString>

namespace platform {

// Holds the app id as a name on the session bus, so that a second start can tell one already
// runs. The bus frees the name when the process ends, however it ends.
class SingleInstance {
  public:
    enum class Claim { owned, taken, failed };

    explicit SingleInstance(QDBusConnection bus, QString name = SPOUTWISE_APP_ID);

    // Asks for the name without queueing: owned, held by another process, or the bus refused
    // (errorMessage() says why).
    Claim claim();
    const QString& errorMessage() const { return error; }

  private:
    QDBusConnection bus;
    QString name;
    QString error;
};

}  // namespace platform
