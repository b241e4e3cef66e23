#pragma once

#include <QFont>

namespace platform {

// Fonts sized in logical pixels of the scene, so the 72-versus-96 dpi point conversion never
// changes them. Every font falls back to the colour emoji font for characters it lacks.

// The desktop's UI font.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// A font whose digits and space share one advance, so a padded number keeps its width as the
// digits change: the UI font when it already has such figures, else the fixed-pitch font.
// `stretch` in percent of the normal width: narrower glyphs let taller digits fit.
QFont monospacedDigitSystemFont(int pixelSize, QFont::Weight weight, int stretch = 100);

}  // namespace platform
