#include "platform/tray/DBusMenuObject.h"

#include <algorithm>

// Building a message fails only when memory runs out; sd-bus then marks the message and every
// later step on it fails too, so a builder returns the result of its last step.
namespace platform {

namespace {

DBusMenuObject::Source& exporterOf(void* object) {
    return *static_cast<DBusMenuObject::Source*>(object);
}

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

int appendStrings(BusMessage& message, const QStringList& strings) {
    message.open('a', "s");
    for (const QString& text : strings) {
        message.appendBasic('s', utf8(text).constData());
    }
    return message.close();
}

// The value types an entry's properties use: flags, numbers, shortcuts and text.
int appendVariant(BusMessage& message, const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return message.append("v", "b", int(value.toBool()));
    }
    if (value.typeId() == QMetaType::Int) {
        return message.append("v", "i", value.toInt());
    }
    if (value.metaType() != QMetaType::fromType<DBusMenuShortcut>()) {
        return message.append("v", "s", utf8(value.toString()).constData());
    }
    message.open('v', "aas");
    message.open('a', "as");
    for (const QStringList& keys : value.value<DBusMenuShortcut>()) {
        appendStrings(message, keys);
    }
    message.close();
    return message.close();
}

int appendProperties(BusMessage& message, const QVariantMap& properties) {
    message.open('a', "{sv}");
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        message.open('e', "sv");
        message.appendBasic('s', utf8(it.key()).constData());
        appendVariant(message, it.value());
        message.close();
    }
    return message.close();
}

// (ia{sv}av), each child wrapped in a variant.
int appendLayout(BusMessage& message, const DBusMenuLayoutItem& item) {
    message.open('r', "ia{sv}av");
    message.appendBasic('i', &item.id);
    appendProperties(message, item.properties);
    message.open('a', "v");
    for (const DBusMenuLayoutItem& child : item.children) {
        message.open('v', "(ia{sv}av)");
        appendLayout(message, child);
        message.close();
    }
    message.close();
    return message.close();
}

int appendItems(BusMessage& message, const DBusMenuItemList& items) {
    message.open('a', "(ia{sv})");
    for (const DBusMenuItem& item : items) {
        message.open('r', "ia{sv}");
        message.appendBasic('i', &item.id);
        appendProperties(message, item.properties);
        message.close();
    }
    return message.close();
}

int appendItemKeys(BusMessage& message, const DBusMenuItemKeysList& list) {
    message.open('a', "(ias)");
    for (const DBusMenuItemKeys& keys : list) {
        message.open('r', "ias");
        message.appendBasic('i', &keys.id);
        appendStrings(message, keys.properties);
        message.close();
    }
    return message.close();
}

int readStrings(BusMessage& message, QStringList& strings) {
    int result = message.enter('a', "s");
    const char* text = nullptr;
    while (result >= 0 && (result = message.readBasic('s', &text)) > 0) {
        strings.append(QString::fromUtf8(text));
    }
    return result < 0 ? result : message.exit();
}

int readIds(BusMessage& message, QList<int>& ids) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int result = message.readArray('i', &data, &size);
    if (result >= 0) {
        const auto* values = static_cast<const int*>(data);
        ids = QList<int>(values, values + size / sizeof(int));
    }
    return result;
}

int getLayout(BusMessage& call, BusMessage& reply, void* object) {
    int parent = 0;
    int depth = 0;
    QStringList names;
    int result = call.read("ii", &parent, &depth);
    if (result < 0 || (result = readStrings(call, names)) < 0) {
        return result;
    }
    const DBusMenuObject::Source& exporter = exporterOf(object);
    reply.append("u", exporter.revision());
    return appendLayout(reply, exporter.layout(parent, depth, names));
}

int getGroupProperties(BusMessage& call, BusMessage& reply, void* object) {
    QList<int> ids;
    QStringList names;
    int result = readIds(call, ids);
    if (result < 0 || (result = readStrings(call, names)) < 0) {
        return result;
    }
    // A client may name an entry any number of times; answering each once keeps the reply within
    // the size of the menu.
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    const DBusMenuItemList items = exporterOf(object).groupProperties(ids, names);
    return appendItems(reply, items);
}

int getProperty(BusMessage& call, BusMessage& reply, void* object) {
    int id = 0;
    const char* name = nullptr;
    const int result = call.read("is", &id, &name);
    if (result < 0) {
        return result;
    }
    const QVariant value = exporterOf(object).itemProperty(id, QString::fromUtf8(name));
    if (!value.isValid()) {
        return reply.invalidArguments(QString("no property %1 on entry %2").arg(name).arg(id));
    }
    return appendVariant(reply, value);
}

// One event: its id and name; the data and the timestamp are not used.
int readEvent(BusMessage& message, int& id, QString& eventId) {
    const char* name = nullptr;
    const int result = message.read("is", &id, &name);
    if (result < 0) {
        return result;
    }
    eventId = QString::fromUtf8(name);
    return message.skip("vu");
}

int event(BusMessage& call, BusMessage&, void* object) {
    int id = 0;
    QString eventId;
    const int result = readEvent(call, id, eventId);
    if (result < 0) {
        return result;
    }
    exporterOf(object).handleEvent(id, eventId);
    return 0;
}

int eventGroup(BusMessage& call, BusMessage& reply, void* object) {
    QList<int> idErrors;
    int result = call.enter('a', "(isvu)");
    while (result >= 0 && (result = call.enter('r', "isvu")) > 0) {
        int id = 0;
        QString eventId;
        if ((result = readEvent(call, id, eventId)) < 0 || (result = call.exit()) < 0) {
            return result;
        }
        if (!exporterOf(object).handleEvent(id, eventId)) {
            idErrors.append(id);
        }
    }
    if (result < 0) {
        return result;
    }
    return reply.appendArray('i', idErrors.constData(), std::size_t(idErrors.size()) * sizeof(int));
}

int aboutToShow(BusMessage& call, BusMessage& reply, void* object) {
    int id = 0;
    const int result = call.read("i", &id);
    if (result < 0) {
        return result;
    }
    return reply.append("b", int(exporterOf(object).aboutToShow(id)));
}

// Nothing needs fetching again and no id is unknown to the protocol here: both lists are empty.
int aboutToShowGroup(BusMessage& call, BusMessage& reply, void* object) {
    QList<int> ids;
    const int result = readIds(call, ids);
    if (result < 0) {
        return result;
    }
    for (int id : ids) {
        exporterOf(object).aboutToShow(id);
    }
    return reply.append("aiai", 0, 0);
}

int getVersion(BusMessage& reply, void*) {
    return reply.append("u", 3U);
}

int getTextDirection(BusMessage& reply, void*) {
    return reply.append("s", "ltr");
}

int getStatus(BusMessage& reply, void*) {
    return reply.append("s", "normal");
}

int getIconThemePath(BusMessage& reply, void*) {
    return appendStrings(reply, {});
}

const BusInterface busInterface{
    DBusMenuObject::interface,
    {
        {"Version", "u", getVersion},
        {"TextDirection", "s", getTextDirection},
        {"Status", "s", getStatus},
        {"IconThemePath", "as", getIconThemePath},
    },
    {
        {"GetLayout", "iias", "u(ia{sv}av)",
         "parentId\0recursionDepth\0propertyNames\0revision\0layout\0", getLayout},
        {"GetGroupProperties", "aias", "a(ia{sv})", "ids\0propertyNames\0properties\0",
         getGroupProperties},
        {"GetProperty", "is", "v", "id\0name\0value\0", getProperty},
        {"Event", "isvu", "", "id\0eventId\0data\0timestamp\0", event},
        {"EventGroup", "a(isvu)", "ai", "events\0idErrors\0", eventGroup},
        {"AboutToShow", "i", "b", "id\0needUpdate\0", aboutToShow},
        {"AboutToShowGroup", "ai", "aiai", "ids\0updatesNeeded\0idErrors\0", aboutToShowGroup},
    },
    {
        {"ItemsPropertiesUpdated", "a(ia{sv})a(ias)", "updatedProps\0removedProps\0"},
        {"LayoutUpdated", "ui", "revision\0parent\0"},
        {"ItemActivationRequested", "iu", "id\0timestamp\0"},
    },
};

}  // namespace

DBusMenuObject::DBusMenuObject(Source& exporter, BusConnection& bus, const char* path)
    : bus(bus), path(path), slot(bus.addObject(path, busInterface, &exporter)) {}

void DBusMenuObject::layoutUpdated(uint revision, int parent) {
    bus.sendSignal(path, interface, "LayoutUpdated",
                   [&](BusMessage& message) { return message.append("ui", revision, parent); });
}

void DBusMenuObject::itemsPropertiesUpdated(const DBusMenuItemList& updated,
                                            const DBusMenuItemKeysList& removed) {
    bus.sendSignal(path, interface, "ItemsPropertiesUpdated", [&](BusMessage& message) {
        appendItems(message, updated);
        return appendItemKeys(message, removed);
    });
}

}  // namespace platform
