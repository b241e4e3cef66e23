#pragma once

#include <QImage>
#include <vector>

#include "platform/tray/DBusTypes.h"

namespace platform {

// Writes the images of one frame, `images` then `square`, into `pixmaps` as the panel takes
// them: non-premultiplied ARGB32 in network byte order, reusing the bytes already there.
// Returns whether any of them changed. The wide ones lead and the wide 2x stays the largest,
// for hosts that take the first or the largest.
bool updateIconPixmaps(IconPixmapList& pixmaps, const std::vector<QImage>& images,
                       const std::vector<QImage>& square = {});

}  // namespace platform
