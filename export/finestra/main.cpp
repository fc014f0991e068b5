// travasa: the export program with its window. The start-up checks run before anything
// is shown; a failure there is reported in a box and ends the program.
#include <QApplication>
#include <QIcon>

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
