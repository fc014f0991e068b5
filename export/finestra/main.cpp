// travasa: the export program with its window. The start-up checks run before anything
// is shown; a failure there is reported in a box and ends the program.
#include <QApplication>
#include <QIcon>

#include <memory>

#include "ServiziQt.h"
#include "export/Avvio.h"
#include "frmMain.h"

int main(int argc, char** argv) {
    QApplication applicazione(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("travasa"));
    QGuiApplication::setDesktopFileName(QStringLiteral("travasa"));

    shell::SostituisciServizio(std::make_shared<travasa::finestra::MessageBoxQt>());
    travasa::ControlliAvvio().Esegui();

    travasa::finestra::frmMain finestra;
    QApplication::setWindowIcon(finestra.windowIcon());
    finestra.Carica();
    finestra.show();
    return QApplication::exec();
}
