#include "platform/GraphicsContext.h"

#include <QPen>

namespace platform {

namespace {
GraphicsContext* currentContext = nullptr;
}

GraphicsContext::GraphicsContext(QPainter& painter, double height)
    : qtPainter(painter), height(height) {
    qtPainter.setRenderHint(QPainter::Antialiasing);
    qtPainter.setRenderHint(QPainter::TextAntialiasing);
    qtPainter.setRenderHint(QPainter::SmoothPixmapTransform);
}

GraphicsContext* GraphicsContext::current() {
    return currentContext;
}

GraphicsContext::Scope::Scope(GraphicsContext& context) : previous(currentContext) {
    currentContext = &context;
}

GraphicsContext::Scope::~Scope() {
    currentContext = previous;
}

void GraphicsContext::setFillColor(const QColor& color) {
    fillColor = color;
}

void GraphicsContext::fillEllipseInRect(Rect rect) {
    qtPainter.setPen(Qt::NoPen);
    qtPainter.setBrush(fillColor);
    qtPainter.drawEllipse(flipped(rect));
}

void GraphicsContext::setStrokeColor(const QColor& color) {
    strokeColor = color;
}

void GraphicsContext::setLineWidth(double width) {
    lineWidth = width;
}

void GraphicsContext::strokeEllipseInRect(Rect rect) {
    qtPainter.setPen(QPen(strokeColor, lineWidth));
    qtPainter.setBrush(Qt::NoBrush);
    qtPainter.drawEllipse(flipped(rect));
}

QRectF GraphicsContext::flipped(Rect rect) const {
    return {rect.x, height - rect.y - rect.height, rect.width, rect.height};
}

}  // namespace platform
