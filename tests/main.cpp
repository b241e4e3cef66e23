#include <gtest/gtest.h>

// Qt's and fontconfig's caches stay until the process ends; they are no leaks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

int main(int argc, char** argv) {
    // Windowless, and never on the user's own buses: Qt connects to each default bus once per
    // process and keeps it, so a test that needs a bus starts a private one and passes it in.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    unsetenv("XDG_CURRENT_DESKTOP");  // the panel rules of a test name their desktop
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/session-bus", 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system-bus", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
