#pragma once

#include <QColor>

namespace platform {

// Legibility of coloured text as the web's accessibility guidelines measure it: relative
// luminance and the contrast ratio between two colours, 1 (none) to 21 (black on white).

// 0 for black to 1 for white.
double luminance(const QColor& colour);

// `foreground` composited over the opaque `background`, against it.
double contrastRatio(const QColor& foreground, const QColor& background);

// `colour` as it looks over `background`, taken toward white where it is lighter than the
// background, else toward black, by as little as brings its contrast with the background to
// `ratio`; unchanged where it already has that much.
QColor withContrast(const QColor& colour, const QColor& background, double ratio);

// Black or white, whichever contrasts more with `colour`: an edge that makes it read on any
// background.
QColor edgeFor(const QColor& colour);

}  // namespace platform
