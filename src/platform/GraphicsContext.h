#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

#include "platform/Geometry.h"

namespace platform {

// The 2-D context a view draws into during its display pass. Callers speak in the scene's own
// coordinates (origin bottom-left, y up); only this class flips them to Qt's top-left system.
class GraphicsContext {
  public:
    // Draws with `painter` onto a surface `height` points high.
    GraphicsContext(QPainter& painter, double height);
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
    void strokeEllipseInRect(Rect rect);

    // `rect` in Qt's top-left coordinates of this surface.
    QRectF flipped(Rect rect) const;
    QPainter& painter() { return qtPainter; }

  private:
    QPainter& qtPainter;
    double height;
    QColor fillColor = Qt::black;
    QColor strokeColor = Qt::black;
    double lineWidth = 1.0;
};

}  // namespace platform
