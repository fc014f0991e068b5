// icone SVG SIZE... : draws the SVG image at each of the square sizes given and saves
// each beside it as NAME-SIZE.png. The window shows these pictures: a picture needs no
// image plugin, so the window comes up without loading the SVG renderer. Run by
// scripts/icone.sh whenever an image under assets/immagini changes.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: icone FILE.svg LATO...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication applicazione(argc, argv);
    const QString sorgente = QString::fromLocal8Bit(argv[1]);
    const QIcon icona(sorgente);
    QString base = sorgente;
    base.chop(4);  // ".svg"
    for (int a = 2; a < argc; ++a) {
        const int lato = std::atoi(argv[a]);
        if (lato <= 0) return 2;
        QImage immagine(lato, lato, QImage::Format_ARGB32_Premultiplied);
        immagine.fill(Qt::transparent);
        QPainter pittore(&immagine);
        icona.paint(&pittore, 0, 0, lato, lato);
        pittore.end();
        const QString destinazione = base + QStringLiteral("-%1.png").arg(lato);
        if (icona.isNull() || !immagine.save(destinazione)) {
            std::fprintf(stderr, "icone: impossibile scrivere %s\n", qPrintable(destinazione));
            return 1;
        }
    }
    return 0;
}
