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

// A ring around every glyph, `width` points wide, in `color`; none while the width is 0.
struct Edge {
    QColor color;
    double width = 0.0;
};

// Draws `text` with its box's bottom-left corner at (x, y).
void drawText(const QString& text, const QFont& font, const QColor& color, double x, double y,
              const Edge& edge = {});

// Draws `text` into `rect` from its top-left corner, in the glyphs' own colours where they have
// them (colour emoji), else in black.
void drawText(const QString& text, const QFont& font, Rect rect);

}  // namespace platform
