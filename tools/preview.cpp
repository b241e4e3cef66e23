// Renders the real scene for a fixed load to PNG frames, for review and the README.
//
//   spoutwise-preview --load 0.5 [--dark] [--frames 60] [--fps 30]
//                     [--scale 4 | --height PX [--width PX]] [--no-label]
//                     [--background '#rrggbb' [--panel]] [--square] --out DIR
//
// Frames are written as DIR/frame-0000.png and so on. The appearance comes from the application
// palette (no portal is asked), so --dark gives the dark scene. --height draws the picture that
// many pixels high, as the XEmbed icon draws it into a tray window of that height (and --width
// wide); --panel hands the background to the view as the panel's colour, as the XEmbed icon does.

#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QtMath>
#include <cstdio>
#include <memory>

#include "WhaleSceneView.h"

namespace {

struct Options {
    double load = 0.5;
    bool dark = false;
    int frames = 1;
    double fps = 30.0;
    int scale = 2;
    int height = 0;
    int width = 0;
    bool panel = false;
    bool label = true;
    bool square = false;
    QColor background = Qt::transparent;
    QString out;
};

bool parse(const QStringList& arguments, Options& options) {
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({{"load", "Load fraction, 0 to 1.", "fraction", "0.5"},
                       {"dark", "Dark appearance."},
                       {"frames", "Number of frames.", "count", "1"},
                       {"fps", "Frames per second.", "rate", "30"},
                       {"scale", "Device pixels per point.", "factor", "2"},
                       {"height", "Pixels high, as a tray window draws it.", "pixels", "0"},
                       {"width", "The tray window's width.", "pixels", "0"},
                       {"panel", "The background is the panel's colour, known to the view."},
                       {"no-label", "Hide the percentage label (30-point-wide item)."},
                       {"background", "Colour behind the scene.", "colour", "transparent"},
                       {"square", "The square picture that square-only panels show."},
                       {"out", "Output directory.", "dir"}});
    parser.process(arguments);
    options.load = parser.value("load").toDouble();
    options.dark = parser.isSet("dark");
    options.frames = parser.value("frames").toInt();
    options.fps = parser.value("fps").toDouble();
    options.scale = parser.value("scale").toInt();
    options.height = parser.value("height").toInt();
    options.width = parser.value("width").toInt();
    options.panel = parser.isSet("panel");
    options.label = !parser.isSet("no-label");
    options.square = parser.isSet("square");
    options.background = QColor(parser.value("background"));
    options.out = parser.value("out");
    return !options.out.isEmpty() && options.frames > 0 && options.fps > 0.0 && options.scale > 0 &&
           options.height >= 0 && options.width >= 0 && options.background.isValid();
}

void setAppearance(bool dark) {
    QPalette palette;
    palette.setColor(QPalette::Window, dark ? QColor(0x24, 0x24, 0x24) : QColor(0xf6, 0xf5, 0xf4));
    palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
    QGuiApplication::setPalette(palette);
}

QImage onBackground(const QImage& scene, const QColor& background) {
    QImage image(scene.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scene.devicePixelRatio());
    image.fill(background);
    QPainter painter(&image);
    painter.drawImage(0, 0, scene);
    return image;
}

// The view drawn `height` pixels high, as a square or into a tray window `width` wide (0: of
// the view's own aspect).
QImage paintAtHeight(WhaleSceneView& view, int height, int width, bool square) {
    const double ratio = height / view.bounds().height;
    if (square) {
        return view.paint(ratio, true);
    }
    QImage image(width > 0 ? width : qCeil(view.bounds().width * ratio), height,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    view.drawOnto(image);
    return image;
}

bool render(const Options& options) {
    // An unconnected bus and no desktop named: the palette decides the appearance.
    auto appearance = std::make_shared<platform::Appearance>(QDBusConnection(QString()), QString());
    WhaleSceneView view({0, 0, options.label ? 44.0 : 30.0, 22.0}, appearance,
                        std::make_shared<platform::Random>());
    view.showPercentage = options.label;
    view.usage = view.displayUsage = options.load;
    if (options.panel) {
        view.setPanelBackground(options.background);
    }
    const double dt = 1.0 / options.fps;
    for (int frame = 0; frame < options.frames; ++frame) {
        view.phase += dt;
        view.computePosition(view.bounds());
        view.emitSprays(dt);
        view.advanceSprays(dt);
        const QString path = QDir(options.out).filePath(QString::asprintf("frame-%04d.png", frame));
        const QImage scene =
            options.height > 0 ? paintAtHeight(view, options.height, options.width, options.square)
                               : view.paint(options.scale, options.square);
        if (!onBackground(scene, options.background).save(path)) {
            std::fprintf(stderr, "spoutwise-preview: cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), options)) {
        std::fprintf(stderr, "spoutwise-preview: need --out DIR and sensible values; see --help\n");
        return 2;
    }
    setAppearance(options.dark);
    if (!QDir().mkpath(options.out)) {
        std::fprintf(stderr, "spoutwise-preview: cannot create %s\n", qPrintable(options.out));
        return 1;
    }
    return render(options) ? 0 : 1;
}
