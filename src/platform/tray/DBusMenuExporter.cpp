#include "platform/tray/DBusMenuExporter.h"

#include <utility>

namespace platform {

namespace {

// DBusMenu labels mark mnemonics with "_"; a literal one is doubled.
QString label(const QString& title) {
    return QString(title).replace('_', "__");
}

QVariantMap filtered(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap result;
    for (const QString& name : names) {
        if (properties.contains(name)) {
            result.insert(name, properties.value(name));
        }
    }
    return result;
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(Menu& menu, std::shared_ptr<BusConnection> bus, QString path)
    : bus(std::move(bus)), menu(menu), objectPath(path.toUtf8()), menuSession(menu) {
    for (int id = 1; id <= int(menu.items().size()); ++id) {
        watch(id);
    }
    mergeTimer.setSingleShot(true);
    mergeTimer.setInterval(0);
    connect(&mergeTimer, &QTimer::timeout, this, &DBusMenuExporter::flush);
    connect(&menu, &Menu::itemAdded, this, &DBusMenuExporter::itemAdded);
    object = std::make_unique<DBusMenuObject>(*this, *this->bus, objectPath.constData());
}

DBusMenuExporter::~DBusMenuExporter() = default;

QString DBusMenuExporter::path() const {
    return QString::fromUtf8(objectPath);
}

MenuSession& DBusMenuExporter::session() {
    return menuSession;
}

uint DBusMenuExporter::revision() const {
    return layoutRevision;
}

DBusMenuLayoutItem DBusMenuExporter::layout(int parentId, int depth,
                                            const QStringList& names) const {
    if (parentId != 0) {
        const auto item = itemAt(parentId);
        return {parentId, item ? filtered(properties(*item), names) : QVariantMap(), {}};
    }
    DBusMenuLayoutItem root{0, filtered({{"children-display", "submenu"}}, names), {}};
    if (depth != 0) {
        for (int id = 1; id <= int(menu.items().size()); ++id) {
            root.children.append(layout(id, 0, names));
        }
    }
    return root;
}

DBusMenuItemList DBusMenuExporter::groupProperties(const QList<int>& ids,
                                                   const QStringList& names) const {
    DBusMenuItemList result;
    for (int id : ids) {
        if (const auto item = itemAt(id)) {
            result.append({id, filtered(properties(*item), names)});
        }
    }
    return result;
}

QVariant DBusMenuExporter::itemProperty(int id, const QString& name) const {
    const auto item = itemAt(id);
    return item ? properties(*item).value(name) : QVariant();
}

bool DBusMenuExporter::handleEvent(int id, const QString& eventId) {
    if (id != 0 && !itemAt(id)) {
        return false;
    }
    if (eventId == "opened" && id == 0) {
        menuSession.opened();
    } else if (eventId == "closed" && id == 0) {
        menuSession.closed();
    } else if (eventId == "clicked" && id != 0) {
        // Choosing an entry closes the menu. The command runs from the event loop, not inside
        // the D-Bus call, because it may open a modal alert.
        menuSession.closed();
        QTimer::singleShot(0, this, [item = std::weak_ptr<MenuItem>(itemAt(id))] {
            if (const auto chosen = item.lock()) {
                chosen->choose();
            }
        });
    }
    return true;
}

bool DBusMenuExporter::aboutToShow(int id) {
    if (id == 0) {
        menuSession.opened();
    }
    // The layout is always current; the panel never needs to fetch it again here.
    return false;
}

QVariantMap DBusMenuExporter::properties(const MenuItem& item) {
    if (item.isSeparator()) {
        return {{"type", "separator"}};
    }
    QVariantMap result{{"label", label(item.title())}};
    if (!item.isEnabled()) {
        result.insert("enabled", false);
    }
    if (item.isToggle()) {
        result.insert("toggle-type", "checkmark");
        result.insert("toggle-state", item.state() ? 1 : 0);
    }
    if (!item.keyEquivalent().isEmpty()) {
        const DBusMenuShortcut shortcut{{"Control", item.keyEquivalent()}};
        result.insert("shortcut", QVariant::fromValue(shortcut));
    }
    return result;
}

std::shared_ptr<MenuItem> DBusMenuExporter::itemAt(int id) const {
    const auto& items = menu.items();
    return id >= 1 && id <= int(items.size()) ? items[id - 1] : nullptr;
}

void DBusMenuExporter::watch(int id) {
    const auto item = itemAt(id);
    sent[id] = properties(*item);
    connect(item.get(), &MenuItem::changed, this, [this, id] {
        dirty.insert(id);
        mergeTimer.start();
    });
}

void DBusMenuExporter::itemAdded() {
    watch(int(menu.items().size()));
    object->layoutUpdated(++layoutRevision, 0);
}

void DBusMenuExporter::flush() {
    DBusMenuItemList updated;
    DBusMenuItemKeysList removed;
    for (int id : std::exchange(dirty, {})) {
        sendUpdates(id, updated, removed);
    }
    if (!updated.isEmpty() || !removed.isEmpty()) {
        object->itemsPropertiesUpdated(updated, removed);
    }
}

// Adds to the lists what differs between the entry's properties and what was last sent.
void DBusMenuExporter::sendUpdates(int id, DBusMenuItemList& updated,
                                   DBusMenuItemKeysList& removed) {
    const QVariantMap current = properties(*itemAt(id));
    QVariantMap& last = sent[id];
    DBusMenuItem changes{id, {}};
    DBusMenuItemKeys gone{id, {}};
    for (auto it = current.begin(); it != current.end(); ++it) {
        if (last.value(it.key()) != it.value()) {
            changes.properties.insert(it.key(), it.value());
        }
    }
    for (auto it = last.begin(); it != last.end(); ++it) {
        if (!current.contains(it.key())) {
            gone.properties.append(it.key());
        }
    }
    last = current;
    if (!changes.properties.isEmpty()) {
        updated.append(changes);
    }
    if (!gone.properties.isEmpty()) {
        removed.append(gone);
    }
}

}  // namespace platform
