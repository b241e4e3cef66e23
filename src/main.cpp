#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // No window: the tray item is the only surface, so closing windows never ends the app.
    app.setQuitOnLastWindowClosed(false);
    app.exec();
    return 0;
}
