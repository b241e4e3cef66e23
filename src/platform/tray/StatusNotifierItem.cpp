#include "platform/tray/StatusNotifierItem.h"

namespace platform {

namespace {

StatusNotifierItem::Source& itemOf(void* object) {
    return *static_cast<StatusNotifierItem::Source*>(object);
}

int appendString(BusMessage& reply, const char* text) {
    return reply.appendBasic('s', text);
}

constexpr char category[] = "ApplicationStatus";
constexpr char id[] = SPOUTWISE_APP_ID;
constexpr char title[] = "Spoutwise";
constexpr char status[] = "Active";
constexpr char none[] = "";

template <const char* text>
int getText(BusMessage& reply, void*) {
    return appendString(reply, text);
}

int getWindowId(BusMessage& reply, void*) {
    return reply.append("i", 0);
}

// A left click opens the menu, as a right click does. Hosts that ignore this call Activate.
int getItemIsMenu(BusMessage& reply, void*) {
    return reply.append("b", 1);
}

int getMenu(BusMessage& reply, void* object) {
    return reply.append("o", itemOf(object).menuPath().toUtf8().constData());
}

int appendPixmaps(BusMessage& reply, const IconPixmapList& pixmaps) {
    int result = reply.open('a', "(iiay)");
    for (const IconPixmap& pixmap : pixmaps) {
        if (result >= 0) {
            result = reply.open('r', "iiay");
        }
        if (result >= 0) {
            result = reply.append("ii", pixmap.width, pixmap.height);
        }
        if (result >= 0) {
            result =
                reply.appendArray('y', pixmap.bytes.constData(), std::size_t(pixmap.bytes.size()));
        }
        if (result >= 0) {
            result = reply.close();
        }
    }
    return result < 0 ? result : reply.close();
}

// The frame's pixels as converted once when it was painted; a read only copies them.
int getIconPixmap(BusMessage& reply, void* object) {
    return appendPixmaps(reply, itemOf(object).iconPixmaps());
}

int getNoPixmaps(BusMessage& reply, void*) {
    return appendPixmaps(reply, {});
}

// (sa(iiay)ss): no icon of its own, the text as the title, no description.
int getToolTip(BusMessage& reply, void* object) {
    int result = reply.open('r', "sa(iiay)ss");
    if (result >= 0) {
        result = appendString(reply, "");
    }
    if (result >= 0) {
        result = appendPixmaps(reply, {});
    }
    if (result >= 0) {
        result = reply.append("ss", itemOf(object).toolTip().toUtf8().constData(), "");
    }
    return result < 0 ? result : reply.close();
}

// The accessible description of the icon is the tooltip's text; GNOME's extension asks for it
// on every read and logs an error when it is missing.
int getIconAccessibleDesc(BusMessage& reply, void* object) {
    return reply.append("s", itemOf(object).toolTip().toUtf8().constData());
}

// Every click a host forwards opens the menu: some call Activate for a left click whatever
// ItemIsMenu says, some show no exported menu and call ContextMenu. Where the item cannot place
// a menu of its own, it answers as an item without the method: Plasma then shows the exported
// menu at the item, and GNOME's extension shows it on every left click from then on.
int openMenu(BusMessage& call, BusMessage& reply, void* object) {
    int x = 0;
    int y = 0;
    const int result = call.read("ii", &x, &y);
    if (result < 0) {
        return result;
    }
    if (!itemOf(object).popUpMenu({x, y})) {
        return reply.unknownMethod("no menu of its own here; show the exported menu");
    }
    return 0;
}

int scroll(BusMessage&, BusMessage&, void*) {
    return 0;
}

const BusInterface busInterface{
    StatusNotifierItem::interface,
    {
        {"Category", "s", getText<category>},
        {"Id", "s", getText<id>},
        {"Title", "s", getText<title>},
        {"Status", "s", getText<status>},
        {"WindowId", "i", getWindowId},
        {"ItemIsMenu", "b", getItemIsMenu},
        {"Menu", "o", getMenu},
        // Hosts read the rest of the protocol's properties whether or not an item uses them: LXQt
        // asks for IconThemePath on every update and for the overlay and attention icons once,
        // and GNOME's extension compares each refreshed value with the one GetAll gave it, which
        // fails for a property that was not there. So each is served, empty.
        {"IconThemePath", "s", getText<none>},
        {"IconName", "s", getText<none>},
        {"IconPixmap", "a(iiay)", getIconPixmap, false},
        {"OverlayIconName", "s", getText<none>},
        {"OverlayIconPixmap", "a(iiay)", getNoPixmaps},
        {"AttentionIconName", "s", getText<none>},
        {"AttentionIconPixmap", "a(iiay)", getNoPixmaps},
        {"AttentionMovieName", "s", getText<none>},
        {"ToolTip", "(sa(iiay)ss)", getToolTip, false},
        {"IconAccessibleDesc", "s", getIconAccessibleDesc, false},
        {"AttentionAccessibleDesc", "s", getText<none>},
    },
    {
        {"ContextMenu", "ii", "", "x\0y\0", openMenu},
        {"Activate", "ii", "", "x\0y\0", openMenu},
        {"SecondaryActivate", "ii", "", "x\0y\0", openMenu},
        {"Scroll", "is", "", "delta\0orientation\0", scroll},
    },
    {
        {"NewTitle", "", ""},
        {"NewIcon", "", ""},
        {"NewToolTip", "", ""},
        {"NewStatus", "s", "status\0"},
    },
};

}  // namespace

StatusNotifierItem::StatusNotifierItem(Source& item, BusConnection& bus, const char* path)
    : bus(bus), path(path), slot(bus.addObject(path, busInterface, &item)) {}

void StatusNotifierItem::emitSignal(const char* member) {
    bus.sendSignal(path, interface, member);
}

}  // namespace platform
