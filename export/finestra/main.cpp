// travasa: the export program with its window. The start-up checks run before anything
// is shown; a failure there is reported in a box and ends the program.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <ole/ole.hpp>

#include <exception>
#include <memory>

#include "ServiziQt.h"
#include "export/Avvio.h"
#include "frmMain.h"
#include "util/vqUtilita.h"
#include "vq/errore.h"

int main(int argc, char** argv) {
    QApplication applicazione(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("travasa"));
    QGuiApplication::setDesktopFileName(QStringLiteral("travasa"));
    // The program speaks Italian: so do the toolkit's own texts (the save dialog, the
    // buttons of the boxes), when their translation is installed.
    QTranslator traduzione;
    if (traduzione.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&traduzione);

    shell::SostituisciServizio(std::make_shared<travasa::finestra::MessageBoxQt>());
    // The automation runtime for this thread, for the life of the window.
    std::unique_ptr<ole::Inizializza> com;
    try {
        com = std::make_unique<ole::Inizializza>();
    } catch (...) {
        vq::ImpostaErroreDa(std::current_exception());
        vqUtilita::PrintErrore();
        return 1;
    }
    travasa::ControlliAvvio().Esegui();

    travasa::finestra::frmMain finestra;
    QApplication::setWindowIcon(finestra.windowIcon());
    finestra.Carica();
    finestra.show();
    return QApplication::exec();
}
