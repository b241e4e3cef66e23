#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <vector>

#include "platform/drawing/Geometry.h"

namespace platform {

// The platform's view: a rectangle in its superview that draws itself into a backing store when
// marked for display. Redisplay requests are coalesced: one paint per pass of the event loop,
// however many came in. The backing store holds the scene painted at 1x and 2x as transparent
// ARGB32 images, and its square variant at both when it has one, which the status item hands to
// the panel.
class View : public QObject {
    Q_OBJECT

  public:
    View();
    explicit View(Rect frame);
    ~View() override;

    Rect frame() const;
    // The frame's size at origin (0, 0).
    Rect bounds() const;
    void setFrame(Rect frame);
    // Whether the view takes on the size of the status item's button as the item's length
    // changes; off by default.
    bool followsButtonSize() const { return followsButton; }
    void setFollowsButtonSize(bool follows) { followsButton = follows; }

    void setNeedsDisplay(bool needed);
    // Called by the display pass with the current graphics context set.
    virtual void draw(Rect dirty) = 0;

    // A view that can also be shown as a square, for hosts that show only square icons, says so
    // here; the display pass then calls drawSquare, after draw, with a square as high as the view.
    virtual bool hasSquareVariant() const;
    virtual void drawSquare(Rect square);

    // The colour the item's surface paints under the view's images, where it paints the panel's
    // background itself; a view whose colours must read against it follows. Invalid: unknown.
    virtual void setPanelBackground(const QColor& background);
    // Whether the view draws for a dark panel; what opens from the item follows it.
    virtual bool isDark() const;

    // The images of the last display pass, one per scale in scales(), in that order: 1 device
    // pixel per point, and 2 on a high-density screen only, since hosts that take the largest
    // picture and scale it down shrink its text.
    static const std::vector<double>& scales();
    const std::vector<QImage>& images() const;
    // The square variant's images of the last display pass: one 16 pixels high, the size that
    // panels showing small icons (GNOME's top bar) pick exactly, then one per scale in scales();
    // empty without one.
    const std::vector<QImage>& squareImages() const;

    // Whether the display pass paints images() and squareImages(), on by default; a surface
    // that draws the view itself when it is displayed turns them off.
    void setPaintsImages(bool paints);

    // Runs the display pass now when one is pending; the event loop calls it once per pass.
    void displayIfNeeded();
    // The view, or its square variant, drawn at `scale` device pixels per point, for tools.
    QImage paint(double scale, bool square = false);
    // Draws the view, or its square variant, over what `image` (premultiplied ARGB32) holds, at
    // the image's device pixel ratio, for surfaces that put it into pixels of their own.
    void drawOnto(QImage& image, bool square = false);

  signals:
    // A display pass painted new images.
    void displayed();

  private:
    void paintInto(QImage& image, double scale, Rect area, bool square);
    Rect squareBounds() const;

    Rect frameRect;
    bool followsButton = false;
    bool needsDisplay = false;
    bool displayQueued = false;
    bool paintsImages = true;
    std::vector<QImage> backing;
    std::vector<QImage> squareBacking;
};

}  // namespace platform
