#pragma once

#include <QSize>
#include <QString>

namespace platform {

// What the panel that shows the item can show of it, known by the program that serves the
// StatusNotifierWatcher. Every NewIcon costs the panel a property read, a conversion and a
// redraw; one that changes nothing the user sees buys nothing.
struct TrayHost {
    // The frame timer's frames per NewIcon at most: 1 hands the panel every frame.
    int framesPerIcon = 1;
    // The picture the panel draws at its default icon size: a frame that leaves it as it was is
    // not announced. Empty, or a size not offered: a change of any picture is.
    QSize pictureDrawn;

    // The host served by the program `name` (as /proc/<pid>/comm gives it); one not known here
    // gets every frame of every picture.
    static TrayHost named(const QString& name);
    // The host served by the process `pid`; not known when it is 0 or gone.
    static TrayHost ofProcess(qint64 pid);
};

}  // namespace platform
