#include "platform/SingleInstance.h"

#include <QDBusConnectionInterface>

namespace platform {

SingleInstance::SingleInstance(QDBusConnection bus, QString name)
    : bus(std::move(bus)), name(std::move(name)) {}

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

}  // namespace platform
