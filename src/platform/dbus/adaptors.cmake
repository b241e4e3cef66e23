# D-Bus adaptors generated from the interface XML beside this file. Each forwards to the object
# class named in the call, which only passes calls on to the platform logic.
set(SPOUTWISE_DBUS_XML ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/dbus)
qt_add_dbus_adaptor(SPOUTWISE_DBUS_ADAPTORS ${SPOUTWISE_DBUS_XML}/org.kde.StatusNotifierItem.xml
  platform/StatusNotifierItem.h platform::StatusNotifierItem
  statusnotifieritemadaptor StatusNotifierItemAdaptor)
qt_add_dbus_adaptor(SPOUTWISE_DBUS_ADAPTORS ${SPOUTWISE_DBUS_XML}/com.canonical.dbusmenu.xml
  platform/DBusMenuObject.h platform::DBusMenuObject
  dbusmenuadaptor DBusMenuAdaptor)
target_sources(spoutwise_core PRIVATE ${SPOUTWISE_DBUS_ADAPTORS})
target_include_directories(spoutwise_core PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
