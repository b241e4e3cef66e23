#include "platform/Text.h"

#include <QFontMetricsF>
#include <QPainter>

#include "platform/GraphicsContext.h"

namespace platform {

namespace {

void drawInBox(const QString& text, const QFont& font, const QColor& color, Rect box) {
    GraphicsContext* context = GraphicsContext::current();
    if (context == nullptr) {
        return;
    }
    QPainter& painter = context->painter();
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(context->flipped(box), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

}  // namespace

Size textSize(const QString& text, const QFont& font) {
    const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    return {size.width(), size.height()};
}

void drawText(const QString& text, const QFont& font, const QColor& color, double x, double y) {
    const Size size = textSize(text, font);
    drawInBox(text, font, color, {x, y, size.width, size.height});
}

void drawText(const QString& text, const QFont& font, Rect rect) {
    drawInBox(text, font, Qt::black, rect);
}

}  // namespace platform
