// Saves a region of the X display (or the whole screen) as a PNG, so the
// screenshot script needs nothing but Qt to take pictures of the application.
// Usage: quorvia_screen_grab OUT.png [X Y WIDTH HEIGHT]
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: %s OUT.png [X Y WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "no screen\n");
        return 1;
    }
    int x = 0, y = 0, width = -1, height = -1;
    if (args.size() == 6) {
        x = args[2].toInt();
        y = args[3].toInt();
        width = args[4].toInt();
        height = args[5].toInt();
    }
    const QPixmap picture = screen->grabWindow(0, x, y, width, height);
    if (picture.isNull() || !picture.toImage().convertToFormat(QImage::Format_RGB32).save(args[1], "PNG")) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
