#include "GuiApplication.h"

#include <QGuiApplication>

// Fontconfig keeps the patterns behind Qt's font fallback until the process ends; LeakSanitizer
// would report them as leaks after every test that draws text.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

void ensureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "spoutwise-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}
