#pragma once

#include <QRect>

class QScreen;

namespace platform {

// The part of `screen` that panels leave free, in Qt's coordinates: its available geometry (the
// window manager's _NET_WORKAREA) less the struts that mapped top-level windows reserve
// (_NET_WM_STRUT_PARTIAL or _NET_WM_STRUT), which panels set on themselves even where no window
// manager runs to make a work area of them.
QRect workArea(const QScreen& screen);

}  // namespace platform
