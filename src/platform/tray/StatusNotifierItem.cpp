#include "platform/tray/StatusNotifierItem.h"

#include <systemd/sd-bus.h>

#include "platform/tray/BusConnection.h"
#include "platform/tray/StatusItem.h"

namespace platform {

namespace {

StatusItem& itemOf(void* userdata) {
    return static_cast<StatusNotifierItem*>(userdata)->item;
}

int appendString(sd_bus_message* reply, const char* text) {
    return sd_bus_message_append_basic(reply, 's', text);
}

constexpr char category[] = "ApplicationStatus";
constexpr char id[] = SPOUTWISE_APP_ID;
constexpr char title[] = "Spoutwise";
constexpr char status[] = "Active";
constexpr char noIconName[] = "";

template <const char* text>
int getText(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
            sd_bus_error*) {
    return appendString(reply, text);
}

int getWindowId(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                sd_bus_error*) {
    return sd_bus_message_append(reply, "i", 0);
}

// A left click opens the menu, as a right click does. Hosts that ignore this call Activate.
int getItemIsMenu(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                  sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 1);
}

int getMenu(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
            sd_bus_error*) {
    return sd_bus_message_append(reply, "o", itemOf(userdata).menuPath().toUtf8().constData());
}

int appendPixmaps(sd_bus_message* reply, const IconPixmapList& pixmaps) {
    int result = sd_bus_message_open_container(reply, 'a', "(iiay)");
    for (const IconPixmap& pixmap : pixmaps) {
        if (result >= 0) {
            result = sd_bus_message_open_container(reply, 'r', "iiay");
        }
        if (result >= 0) {
            result = sd_bus_message_append(reply, "ii", pixmap.width, pixmap.height);
        }
        if (result >= 0) {
            result = sd_bus_message_append_array(reply, 'y', pixmap.bytes.constData(),
                                                 std::size_t(pixmap.bytes.size()));
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(reply);
        }
    }
    return result < 0 ? result : sd_bus_message_close_container(reply);
}

// The frame's pixels as converted once when it was painted; a read only copies them.
int getIconPixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                  void* userdata, sd_bus_error*) {
    return appendPixmaps(reply, itemOf(userdata).iconPixmaps());
}

// (sa(iiay)ss): no icon of its own, the text as the title, no description.
int getToolTip(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
               void* userdata, sd_bus_error*) {
    int result = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
    if (result >= 0) {
        result = appendString(reply, "");
    }
    if (result >= 0) {
        result = appendPixmaps(reply, {});
    }
    if (result >= 0) {
        result =
            sd_bus_message_append(reply, "ss", itemOf(userdata).toolTip().toUtf8().constData(), "");
    }
    return result < 0 ? result : sd_bus_message_close_container(reply);
}

// Every click a host forwards opens the menu: some call Activate for a left click whatever
// ItemIsMenu says, some show no exported menu and call ContextMenu.
int openMenu(sd_bus_message* call, void* userdata, sd_bus_error*) {
    int x = 0;
    int y = 0;
    const int result = sd_bus_message_read(call, "ii", &x, &y);
    if (result < 0) {
        return result;
    }
    itemOf(userdata).popUpMenu({x, y});
    return sd_bus_reply_method_return(call, "");
}

int scroll(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", getText<category>, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", getText<id>, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", getText<title>, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", getText<status>, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("WindowId", "i", getWindowId, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ItemIsMenu", "b", getItemIsMenu, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", getMenu, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", getText<noIconName>, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", getIconPixmap, 0, 0),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", getToolTip, 0, 0),
    SD_BUS_METHOD_WITH_NAMES("ContextMenu", "ii", SD_BUS_PARAM(x) SD_BUS_PARAM(y), "", , openMenu,
                             0),
    SD_BUS_METHOD_WITH_NAMES("Activate", "ii", SD_BUS_PARAM(x) SD_BUS_PARAM(y), "", , openMenu, 0),
    SD_BUS_METHOD_WITH_NAMES("SecondaryActivate", "ii", SD_BUS_PARAM(x) SD_BUS_PARAM(y), "", ,
                             openMenu, 0),
    SD_BUS_METHOD_WITH_NAMES("Scroll", "is", SD_BUS_PARAM(delta) SD_BUS_PARAM(orientation), "", ,
                             scroll, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL_WITH_NAMES("NewStatus", "s", SD_BUS_PARAM(status), 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

StatusNotifierItem::StatusNotifierItem(StatusItem& item, BusConnection& bus, const char* path)
    : item(item), bus(bus), path(path), slot(bus.addObject(path, interface, vtable, this)) {}

StatusNotifierItem::~StatusNotifierItem() {
    sd_bus_slot_unref(slot);
}

void StatusNotifierItem::emitSignal(const char* member) {
    if (sd_bus_message* message = bus.newSignal(path, interface, member)) {
        bus.send(message);
    }
}

}  // namespace platform
