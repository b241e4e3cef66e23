#include "platform/DBusMenuObject.h"

#include "dbusmenuadaptor.h"
#include "platform/DBusMenuExporter.h"

namespace platform {

DBusMenuObject::DBusMenuObject(DBusMenuExporter& exporter) : exporter(exporter) {
    new DBusMenuAdaptor(this);
    connect(&exporter, &DBusMenuExporter::layoutUpdated, this, &DBusMenuObject::LayoutUpdated);
    connect(&exporter, &DBusMenuExporter::itemsPropertiesUpdated, this,
            &DBusMenuObject::ItemsPropertiesUpdated);
}

uint DBusMenuObject::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                               DBusMenuLayoutItem& layout) {
    layout = exporter.layout(parentId, recursionDepth, propertyNames);
    return exporter.revision();
}

DBusMenuItemList DBusMenuObject::GetGroupProperties(const QList<int>& ids,
                                                    const QStringList& propertyNames) {
    return exporter.groupProperties(ids, propertyNames);
}

QDBusVariant DBusMenuObject::GetProperty(int id, const QString& name) {
    return QDBusVariant(exporter.itemProperty(id, name));
}

void DBusMenuObject::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    exporter.handleEvent(id, eventId);
}

QList<int> DBusMenuObject::EventGroup(const DBusMenuEventList& events) {
    QList<int> idErrors;
    for (const DBusMenuEvent& event : events) {
        if (!exporter.handleEvent(event.id, event.eventId)) {
            idErrors.append(event.id);
        }
    }
    return idErrors;
}

bool DBusMenuObject::AboutToShow(int id) {
    return exporter.aboutToShow(id);
}

QList<int> DBusMenuObject::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (int id : ids) {
        exporter.aboutToShow(id);
    }
    idErrors.clear();
    return {};
}

}  // namespace platform
