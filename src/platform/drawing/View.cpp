#include "platform/drawing/View.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QThread>
#include <QtMath>
#include <algorithm>

#include "platform/drawing/GraphicsContext.h"

namespace platform {

namespace {

// Pixels: the icon size of GNOME's top bar and of Waybar's tray.
constexpr double smallIcon = 16.0;

}  // namespace

View::View() = default;

View::View(Rect frame) : frameRect(frame) {}

View::~View() = default;

Rect View::frame() const {
    return frameRect;
}

Rect View::bounds() const {
    return {0.0, 0.0, frameRect.width, frameRect.height};
}

void View::setFrame(Rect frame) {
    const bool resized = frame.width != frameRect.width || frame.height != frameRect.height;
    frameRect = frame;
    if (resized) {
        setNeedsDisplay(true);  // the images must follow the new size
    }
}

// In a running event loop the pass runs when the loop is about to wait, at the end of the pass
// that asked for it: a queued call would wake the loop once more for every frame. Events pumped
// by hand never wait, so there it is a queued call.
void View::setNeedsDisplay(bool needed) {
    needsDisplay = needed;
    if (!needed || displayQueued) {
        return;
    }
    displayQueued = true;
    QThread* thread = QThread::currentThread();
    if (QAbstractEventDispatcher* loop = thread->eventDispatcher();
        loop && thread->loopLevel() > 0) {
        connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, &View::displayIfNeeded,
                Qt::SingleShotConnection);
    } else {
        QMetaObject::invokeMethod(this, &View::displayIfNeeded, Qt::QueuedConnection);
    }
}

bool View::hasSquareVariant() const {
    return false;
}

void View::drawSquare(Rect /*square*/) {}

void View::setPanelBackground(const QColor& /*background*/) {}

bool View::isDark() const {
    return false;
}

const std::vector<double>& View::scales() {
    static const std::vector<double> all =
        QGuiApplication::instance() && qGuiApp->devicePixelRatio() > 1.0 ? std::vector{1.0, 2.0}
                                                                         : std::vector{1.0};
    return all;
}

const std::vector<QImage>& View::images() const {
    return backing;
}

const std::vector<QImage>& View::squareImages() const {
    return squareBacking;
}

void View::setPaintsImages(bool paints) {
    paintsImages = paints;
}

void View::displayIfNeeded() {
    displayQueued = false;
    if (!needsDisplay) {
        return;
    }
    needsDisplay = false;
    if (!paintsImages) {
        emit displayed();
        return;
    }
    const Rect square = squareBounds();
    backing.resize(scales().size());
    squareBacking.resize(hasSquareVariant() ? scales().size() + 1 : 0);
    for (std::size_t i = 0; i < backing.size(); ++i) {
        paintInto(backing[i], scales()[i], bounds(), false);
    }
    for (std::size_t i = 0; i < squareBacking.size(); ++i) {
        paintInto(squareBacking[i], i == 0 ? smallIcon / square.height : scales()[i - 1], square,
                  true);
    }
    emit displayed();
}

QImage View::paint(double scale, bool square) {
    QImage image;
    paintInto(image, scale, square ? squareBounds() : bounds(), square);
    return image;
}

Rect View::squareBounds() const {
    return {0.0, 0.0, frameRect.height, frameRect.height};
}

// A pass paints over the last pass's images when no one else holds them, so that it allocates
// nothing and their paint engine is made once.
void View::paintInto(QImage& image, double scale, Rect area, bool square) {
    const QSize size(qRound(area.width * scale), qRound(area.height * scale));
    if (image.size() != size || !image.isDetached()) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            return;
        }
        image.setDevicePixelRatio(scale);
    }
    image.fill(Qt::transparent);
    drawOnto(image, square);
}

// An image narrower than the view at its pixel ratio (a tray window higher than the view's
// aspect) gets the whole view, smaller and centred, rather than a cut one.
void View::drawOnto(QImage& image, bool square) {
    const Rect area = square ? squareBounds() : bounds();
    const double fit = std::min(image.devicePixelRatio(), image.width() / area.width);
    const int rows = std::min(image.height(), qCeil(area.height * fit));
    QImage part;
    if (fit < image.devicePixelRatio() && rows > 0) {
        part = QImage(image.bits() + (image.height() - rows) / 2 * image.bytesPerLine(),
                      image.width(), rows, image.bytesPerLine(), image.format());
        part.setDevicePixelRatio(fit);
    }
    GraphicsContext context(part.isNull() ? image : part, area.height);
    const GraphicsContext::Scope scope(context);
    square ? drawSquare(area) : draw(area);
}

}  // namespace platform

#include "moc_View.cpp"
