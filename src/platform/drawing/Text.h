#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "platform/drawing/Geometry.h"

namespace platform {

// Measuring and drawing text in the scene's coordinates. Drawing goes to the current graphics
// context and does nothing outside a display pass.

// The natural size of `text` in `font`: its advance and the line's height.
Size textSize(const QString& text, const QFont& font);

// Draws `text` with its box's bottom-left corner at (x, y).
void drawText(const QString& text, const QFont& font, const QColor& color, double x, double y);

// Draws `text` into `rect` from its top-left corner, in the glyphs' own colours where they have
// them (colour emoji), else in black.
void drawText(const QString& text, const QFont& font, Rect rect);

}  // namespace platform
