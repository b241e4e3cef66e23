#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <vector>

namespace platform {

// The panel as it shows behind the XEmbed icon, which has no usable transparent background and
// so paints this under its scene. Each of its rows is the colour the panel shows most in that row
// beside the icon: a border row above or below the icon (MATE's Menta), an applet's handle,
// another icon or a clock's digits beside it all give way to the panel's own colour, and a
// panel's gradient from top to bottom is kept. Pixels in, an image and its mean colour out; the
// icon fetches the pixels.
class PanelBackground {
  public:
    // `panel`: the panel's pixels, in the icon's rows at least; `icon`: where the icon is in it.
    // The background is made anew when the colours beside the icon or its size changed (a new
    // panel theme, a resized icon); whether it was. Rows with no panel beside the icon (a null
    // `panel`, an icon as wide as it) take `fallback`.
    bool follow(const QImage& panel, QRect icon, const QColor& fallback);

    // Premultiplied 32-bit ARGB at the icon's size; null before the first.
    const QImage& image() const { return background; }
    // The mean colour of image(); invalid before the first.
    const QColor& colour() const { return mean; }

  private:
    std::vector<QRgb> rows;
    QImage background;
    QColor mean;
};

}  // namespace platform
