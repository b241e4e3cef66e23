#include "platform/tray/TrayHost.h"

#include <QFile>
#include <utility>

namespace platform {

namespace {

// Measured on each desktop at its defaults (README, "What the desktop spends").
const std::pair<const char*, TrayHost> knownHosts[] = {
    // Plasma's watcher lives in kded; plasmashell draws the 22-pixel square, and cross-fades
    // every change over a quarter of a second, so it never stops redrawing above 4 a second.
    {"kded5", {6, {22, 22}}},
    {"kded6", {6, {22, 22}}},
    // GNOME's extension draws the smallest picture at least 16 pixels high and wide, and
    // redraws at most about 4 times a second.
    {"gnome-shell", {6, {16, 16}}},
    // LXQt's panel draws the 22-pixel square too; 15 a second show every change it makes.
    {"lxqt-panel", {2, {22, 22}}},
    // Cinnamon's applet gets each change as a PNG file that xapp-sn-watcher writes and it loads:
    // about 0.6 % of a core for each update a second.
    {"xapp-sn-watcher", {4, {}}},
    // Waybar draws the wide picture 16 pixels high, where an idle droplet moves less than a
    // pixel in a fifth of a second.
    {"waybar", {4, {}}},
};

}  // namespace

TrayHost TrayHost::named(const QString& name) {
    for (const auto& [program, host] : knownHosts) {
        if (name == QLatin1String(program)) {
            return host;
        }
    }
    return {};
}

TrayHost TrayHost::ofProcess(qint64 pid) {
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (pid <= 0 || !comm.open(QIODevice::ReadOnly)) {
        return {};
    }
    return named(QString::fromUtf8(comm.readAll()).trimmed());
}

}  // namespace platform
