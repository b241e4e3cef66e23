#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <vector>

#include "platform/tray/DBusTypes.h"

namespace platform {

// Writes the images of one frame, `images` then `square`, into `pixmaps` as the panel takes
// them: non-premultiplied ARGB32 in network byte order, reusing the bytes already there. The
// wide ones lead and the wide 2x stays the largest, for hosts that take the first or the largest.
// Returns the sizes of the pictures that differ from what `pixmaps` held, every one of them when
// their number changed.
QList<QSize> updateIconPixmaps(IconPixmapList& pixmaps, const std::vector<QImage>& images,
                               const std::vector<QImage>& square = {});

}  // namespace platform
