// cattura-schermo FILE.png [ATTESA_MS]: saves the screen of the current display as a PNG,
// cut to the rectangle that holds every pixel differing from the background colour (the
// colour of the top-left corner). With a lone window on a bare X server (Xvfb) this is
// the window with its frame: how the README's picture of the window is made.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: cattura-schermo FILE.png [ATTESA_MS]\n");
        return 2;
    }
    QGuiApplication applicazione(argc, argv);
    if (argc > 2) QThread::msleep(static_cast<unsigned long>(std::strtoul(argv[2], nullptr, 10)));
    QScreen* schermo = QGuiApplication::primaryScreen();
    if (!schermo) {
        std::fprintf(stderr, "cattura-schermo: nessuno schermo\n");
        return 1;
    }
    const QImage immagine = schermo->grabWindow(0).toImage();
    const QRgb fondo = immagine.pixel(0, 0);
    int x0 = immagine.width(), y0 = immagine.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < immagine.height(); ++y)
        for (int x = 0; x < immagine.width(); ++x)
            if (immagine.pixel(x, y) != fondo) {
                if (x < x0) x0 = x;
                if (x > x1) x1 = x;
                if (y < y0) y0 = y;
                if (y > y1) y1 = y;
            }
    const QImage ritaglio = x1 < 0 ? immagine : immagine.copy(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    if (!ritaglio.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cattura-schermo: impossibile scrivere %s\n", argv[1]);
        return 1;
    }
    return 0;
}
