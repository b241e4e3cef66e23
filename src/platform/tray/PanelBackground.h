#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

namespace platform {

// The panel as it shows behind the XEmbed icon, which has no usable transparent background and
// so paints this under its scene. Made from the panel's pixels around the icon: what the window
// showed right after docking where it joins them, else a blend of the panel's rows above and
// below the icon or, for an icon as high as the panel (MATE's), of its columns left and right of
// it. Pixels in, an image and its mean colour out; the icon fetches the pixels.
class PanelBackground {
  public:
    // The panel's one-pixel strips along the icon's edges; null where the icon touches the
    // panel's edge.
    struct Strips {
        QImage above;
        QImage below;
        QImage left;
        QImage right;
        bool operator==(const Strips&) const = default;
    };

    // Right after docking the window still shows what the panel drew there, its own background.
    // A tray that was still moving its icons may have left something else: `snapshot` is trusted
    // only where it joins the rows around it. An icon as high as the panel has no such rows, and
    // what it shows may be a drawing the tray made there before (MATE's applet handle at the
    // notification area's end): its background is always rebuilt from the columns. `fallback`
    // fills an icon with no strips at all.
    void take(const QImage& snapshot, Strips around, QSize size, const QColor& fallback);
    // The strips around the icon of `size` now: the background is rebuilt from them when they or
    // the size changed (a new panel theme, a resized icon). Whether it was.
    bool follow(Strips around, QSize size, const QColor& fallback);

    // Premultiplied 32-bit ARGB at the icon's size; null before the first.
    const QImage& image() const { return background; }
    // The mean colour of image(); invalid before the first.
    const QColor& colour() const { return mean; }

  private:
    void set(const QImage& image);

    Strips strips;
    QImage background;
    QColor mean;
};

}  // namespace platform
