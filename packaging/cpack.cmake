# A Debian package of the installed files; its dependencies bring the Qt 6 runtime, the platform
# plugins, the fonts that the whale and the Chinese menu need and Qt's Chinese translations for
# the buttons of its message boxes. The shared-library scan adds the Qt libraries (the X11 plugin
# comes with libqt6gui6) and libsystemd; the Wayland plugin is a package of its own, needed where
# there is no X server at all.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME spoutwise)
set(CPACK_PACKAGE_VENDOR "The Spoutwise developers")
set(CPACK_PACKAGE_CONTACT "The Spoutwise developers <dev@spoutwise.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Processor load in the system tray, as a spouting whale")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-wayland, fonts-noto-color-emoji, fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
