#include "platform/system/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QTimer>

namespace platform {

SingleInstance::SingleInstance(QDBusConnection bus, QString name)
    : bus(std::move(bus)), name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim() {
    auto* interface = bus.interface();
    if (!interface) {
        error = "not connected to the bus";
        return Claim::failed;
    }
    const auto reply = interface->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        error = reply.error().message();
        return Claim::failed;
    }
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::owned
                                                                        : Claim::taken;
}

void SingleInstance::whenBusEnds(std::function<void()> ended, int intervalMs) {
    busCheck = std::make_unique<QTimer>();
    QObject::connect(busCheck.get(), &QTimer::timeout, [this, ended = std::move(ended)] {
        if (!bus.isConnected()) {
            busCheck->stop();
            ended();
        }
    });
    busCheck->start(intervalMs);
}

}  // namespace platform
