#include "platform/tray/DBusMenuObject.h"

#include <systemd/sd-bus.h>

#include <algorithm>

#include "platform/tray/BusConnection.h"
#include "platform/tray/DBusMenuExporter.h"

// Building a message fails only when memory runs out; sd-bus then marks the message and every
// later step on it fails too, so a builder returns the result of its last step.
namespace platform {

namespace {

DBusMenuExporter& exporterOf(void* userdata) {
    return static_cast<DBusMenuObject*>(userdata)->exporter;
}

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

int appendStrings(sd_bus_message* message, const QStringList& strings) {
    sd_bus_message_open_container(message, 'a', "s");
    for (const QString& text : strings) {
        sd_bus_message_append_basic(message, 's', utf8(text).constData());
    }
    return sd_bus_message_close_container(message);
}

// The value types an entry's properties use: flags, numbers, shortcuts and text.
int appendVariant(sd_bus_message* message, const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return sd_bus_message_append(message, "v", "b", int(value.toBool()));
    }
    if (value.typeId() == QMetaType::Int) {
        return sd_bus_message_append(message, "v", "i", value.toInt());
    }
    if (value.metaType() != QMetaType::fromType<DBusMenuShortcut>()) {
        return sd_bus_message_append(message, "v", "s", utf8(value.toString()).constData());
    }
    sd_bus_message_open_container(message, 'v', "aas");
    sd_bus_message_open_container(message, 'a', "as");
    for (const QStringList& keys : value.value<DBusMenuShortcut>()) {
        appendStrings(message, keys);
    }
    sd_bus_message_close_container(message);
    return sd_bus_message_close_container(message);
}

int appendProperties(sd_bus_message* message, const QVariantMap& properties) {
    sd_bus_message_open_container(message, 'a', "{sv}");
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        sd_bus_message_open_container(message, 'e', "sv");
        sd_bus_message_append_basic(message, 's', utf8(it.key()).constData());
        appendVariant(message, it.value());
        sd_bus_message_close_container(message);
    }
    return sd_bus_message_close_container(message);
}

// (ia{sv}av), each child wrapped in a variant.
int appendLayout(sd_bus_message* message, const DBusMenuLayoutItem& item) {
    sd_bus_message_open_container(message, 'r', "ia{sv}av");
    sd_bus_message_append_basic(message, 'i', &item.id);
    appendProperties(message, item.properties);
    sd_bus_message_open_container(message, 'a', "v");
    for (const DBusMenuLayoutItem& child : item.children) {
        sd_bus_message_open_container(message, 'v', "(ia{sv}av)");
        appendLayout(message, child);
        sd_bus_message_close_container(message);
    }
    sd_bus_message_close_container(message);
    return sd_bus_message_close_container(message);
}

int appendItems(sd_bus_message* message, const DBusMenuItemList& items) {
    sd_bus_message_open_container(message, 'a', "(ia{sv})");
    for (const DBusMenuItem& item : items) {
        sd_bus_message_open_container(message, 'r', "ia{sv}");
        sd_bus_message_append_basic(message, 'i', &item.id);
        appendProperties(message, item.properties);
        sd_bus_message_close_container(message);
    }
    return sd_bus_message_close_container(message);
}

int appendItemKeys(sd_bus_message* message, const DBusMenuItemKeysList& list) {
    sd_bus_message_open_container(message, 'a', "(ias)");
    for (const DBusMenuItemKeys& keys : list) {
        sd_bus_message_open_container(message, 'r', "ias");
        sd_bus_message_append_basic(message, 'i', &keys.id);
        appendStrings(message, keys.properties);
        sd_bus_message_close_container(message);
    }
    return sd_bus_message_close_container(message);
}

int readStrings(sd_bus_message* message, QStringList& strings) {
    int result = sd_bus_message_enter_container(message, 'a', "s");
    const char* text = nullptr;
    while (result >= 0 && (result = sd_bus_message_read_basic(message, 's', &text)) > 0) {
        strings.append(QString::fromUtf8(text));
    }
    return result < 0 ? result : sd_bus_message_exit_container(message);
}

int readIds(sd_bus_message* message, QList<int>& ids) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int result = sd_bus_message_read_array(message, 'i', &data, &size);
    if (result >= 0) {
        const auto* values = static_cast<const int*>(data);
        ids = QList<int>(values, values + size / sizeof(int));
    }
    return result;
}

// Builds the reply with `append` and sends it.
template <typename Append>
int reply(sd_bus_message* call, Append append) {
    sd_bus_message* message = nullptr;
    int result = sd_bus_message_new_method_return(call, &message);
    if (result >= 0 && (result = append(message)) >= 0) {
        result = sd_bus_send(nullptr, message, nullptr);
    }
    sd_bus_message_unref(message);
    return result;
}

int getLayout(sd_bus_message* call, void* userdata, sd_bus_error*) {
    int parent = 0;
    int depth = 0;
    QStringList names;
    int result = sd_bus_message_read(call, "ii", &parent, &depth);
    if (result < 0 || (result = readStrings(call, names)) < 0) {
        return result;
    }
    const DBusMenuExporter& exporter = exporterOf(userdata);
    return reply(call, [&](sd_bus_message* message) {
        sd_bus_message_append(message, "u", exporter.revision());
        return appendLayout(message, exporter.layout(parent, depth, names));
    });
}

int getGroupProperties(sd_bus_message* call, void* userdata, sd_bus_error*) {
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
    const DBusMenuItemList items = exporterOf(userdata).groupProperties(ids, names);
    return reply(call, [&](sd_bus_message* message) { return appendItems(message, items); });
}

int getProperty(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    int id = 0;
    const char* name = nullptr;
    const int result = sd_bus_message_read(call, "is", &id, &name);
    if (result < 0) {
        return result;
    }
    const QVariant value = exporterOf(userdata).itemProperty(id, QString::fromUtf8(name));
    if (!value.isValid()) {
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no property %s on entry %d",
                                 name, id);
    }
    return reply(call, [&](sd_bus_message* message) { return appendVariant(message, value); });
}

// One event: its id and name; the data and the timestamp are not used.
int readEvent(sd_bus_message* message, int& id, QString& eventId) {
    const char* name = nullptr;
    const int result = sd_bus_message_read(message, "is", &id, &name);
    if (result < 0) {
        return result;
    }
    eventId = QString::fromUtf8(name);
    return sd_bus_message_skip(message, "vu");
}

int event(sd_bus_message* call, void* userdata, sd_bus_error*) {
    int id = 0;
    QString eventId;
    const int result = readEvent(call, id, eventId);
    if (result < 0) {
        return result;
    }
    exporterOf(userdata).handleEvent(id, eventId);
    return sd_bus_reply_method_return(call, "");
}

int eventGroup(sd_bus_message* call, void* userdata, sd_bus_error*) {
    QList<int> idErrors;
    int result = sd_bus_message_enter_container(call, 'a', "(isvu)");
    while (result >= 0 && (result = sd_bus_message_enter_container(call, 'r', "isvu")) > 0) {
        int id = 0;
        QString eventId;
        if ((result = readEvent(call, id, eventId)) < 0 ||
            (result = sd_bus_message_exit_container(call)) < 0) {
            return result;
        }
        if (!exporterOf(userdata).handleEvent(id, eventId)) {
            idErrors.append(id);
        }
    }
    if (result < 0) {
        return result;
    }
    return reply(call, [&](sd_bus_message* message) {
        return sd_bus_message_append_array(message, 'i', idErrors.constData(),
                                           std::size_t(idErrors.size()) * sizeof(int));
    });
}

int aboutToShow(sd_bus_message* call, void* userdata, sd_bus_error*) {
    int id = 0;
    const int result = sd_bus_message_read(call, "i", &id);
    if (result < 0) {
        return result;
    }
    return sd_bus_reply_method_return(call, "b", int(exporterOf(userdata).aboutToShow(id)));
}

// Nothing needs fetching again and no id is unknown to the protocol here: both lists are empty.
int aboutToShowGroup(sd_bus_message* call, void* userdata, sd_bus_error*) {
    QList<int> ids;
    const int result = readIds(call, ids);
    if (result < 0) {
        return result;
    }
    for (int id : ids) {
        exporterOf(userdata).aboutToShow(id);
    }
    return sd_bus_reply_method_return(call, "aiai", 0, 0);
}

int getVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
    return sd_bus_message_append(reply, "u", 3U);
}

int getTextDirection(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                     sd_bus_error*) {
    return sd_bus_message_append(reply, "s", "ltr");
}

int getStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
              sd_bus_error*) {
    return sd_bus_message_append(reply, "s", "normal");
}

int getIconThemePath(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                     sd_bus_error*) {
    return appendStrings(reply, {});
}

const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", getVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", getTextDirection, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", getStatus, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", getIconThemePath, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_NAMES(
        "GetLayout", "iias",
        SD_BUS_PARAM(parentId) SD_BUS_PARAM(recursionDepth) SD_BUS_PARAM(propertyNames),
        "u(ia{sv}av)", SD_BUS_PARAM(revision) SD_BUS_PARAM(layout), getLayout, 0),
    SD_BUS_METHOD_WITH_NAMES("GetGroupProperties", "aias",
                             SD_BUS_PARAM(ids) SD_BUS_PARAM(propertyNames), "a(ia{sv})",
                             SD_BUS_PARAM(properties), getGroupProperties, 0),
    SD_BUS_METHOD_WITH_NAMES("GetProperty", "is", SD_BUS_PARAM(id) SD_BUS_PARAM(name), "v",
                             SD_BUS_PARAM(value), getProperty, 0),
    SD_BUS_METHOD_WITH_NAMES("Event", "isvu",
                             SD_BUS_PARAM(id) SD_BUS_PARAM(eventId) SD_BUS_PARAM(data)
                                 SD_BUS_PARAM(timestamp),
                             "", , event, 0),
    SD_BUS_METHOD_WITH_NAMES("EventGroup", "a(isvu)", SD_BUS_PARAM(events), "ai",
                             SD_BUS_PARAM(idErrors), eventGroup, 0),
    SD_BUS_METHOD_WITH_NAMES("AboutToShow", "i", SD_BUS_PARAM(id), "b", SD_BUS_PARAM(needUpdate),
                             aboutToShow, 0),
    SD_BUS_METHOD_WITH_NAMES("AboutToShowGroup", "ai", SD_BUS_PARAM(ids), "aiai",
                             SD_BUS_PARAM(updatesNeeded) SD_BUS_PARAM(idErrors), aboutToShowGroup,
                             0),
    SD_BUS_SIGNAL_WITH_NAMES("ItemsPropertiesUpdated", "a(ia{sv})a(ias)",
                             SD_BUS_PARAM(updatedProps) SD_BUS_PARAM(removedProps), 0),
    SD_BUS_SIGNAL_WITH_NAMES("LayoutUpdated", "ui", SD_BUS_PARAM(revision) SD_BUS_PARAM(parent), 0),
    SD_BUS_SIGNAL_WITH_NAMES("ItemActivationRequested", "iu",
                             SD_BUS_PARAM(id) SD_BUS_PARAM(timestamp), 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

DBusMenuObject::DBusMenuObject(DBusMenuExporter& exporter, BusConnection& bus, const char* path)
    : exporter(exporter),
      bus(bus),
      path(path),
      slot(bus.addObject(path, interface, vtable, this)) {}

DBusMenuObject::~DBusMenuObject() {
    sd_bus_slot_unref(slot);
}

void DBusMenuObject::layoutUpdated(uint revision, int parent) {
    if (sd_bus_message* message = bus.newSignal(path, interface, "LayoutUpdated")) {
        sd_bus_message_append(message, "ui", revision, parent);
        bus.send(message);
    }
}

void DBusMenuObject::itemsPropertiesUpdated(const DBusMenuItemList& updated,
                                            const DBusMenuItemKeysList& removed) {
    if (sd_bus_message* message = bus.newSignal(path, interface, "ItemsPropertiesUpdated")) {
        appendItems(message, updated);
        appendItemKeys(message, removed);
        bus.send(message);
    }
}

}  // namespace platform
