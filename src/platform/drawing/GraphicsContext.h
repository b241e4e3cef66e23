#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include "platform/drawing/Geometry.h"

namespace platform {

// The 2-D context a view draws into during its display pass: a transparent image of the view's
// size times its pixel ratio. Callers speak in the scene's own coordinates (origin bottom-left,
// y up); only this class flips them to the image's top-left rows.
// Makes `painter` map points to pixels by `ratio` even below 1 (an icon drawn smaller than the
// scene), which QPainter does not take from an image's device pixel ratio by itself.
void scaleToRatio(QPainter& painter, double ratio);

class GraphicsContext {
  public:
    // Draws onto `image` (premultiplied ARGB32), whose device pixel ratio maps points to
    // pixels; `height` in points.
    GraphicsContext(QImage& image, double height);
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    // The context of the draw in progress; null outside a display pass.
    static GraphicsContext* current();

    // Makes a context current for its lifetime, restoring the previous one after.
    class Scope {
      public:
        explicit Scope(GraphicsContext& context);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        GraphicsContext* previous;
    };

    void setFillColor(const QColor& color);
    void fillEllipseInRect(Rect rect);
    void setStrokeColor(const QColor& color);
    void setLineWidth(double width);
    // The outline straddles the ellipse's edge, half the line width to each side.
    void strokeEllipseInRect(Rect rect);

    // `rect` in the image's top-left coordinates, in points.
    QRectF flipped(Rect rect) const;
    double pixelRatio() const { return image.devicePixelRatio(); }
    QPainter& painter() { return qtPainter; }

  private:
    // Blends `color` over the pixels near the ellipse in `rect`, each by the share of it that
    // lies between `inner` and `outer` points of signed distance from the edge (negative inside).
    void paintEllipseBand(Rect rect, const QColor& color, double inner, double outer);

    QImage& image;
    QPainter qtPainter;
    double height;
    QColor fillColor = Qt::black;
    QColor strokeColor = Qt::black;
    double lineWidth = 1.0;
};

}  // namespace platform
