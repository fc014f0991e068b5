// bench_finestra [--vuota]: starts as travasa starts (the message box service, the
// automation runtime, the start-up checks, the window with its load sequence) and, once
// the window has been painted for the first time, prints the wall-clock time in
// nanoseconds ("mostrata_ns N") and ends. With --vuota it shows an empty window of the
// same toolkit instead: the floor any window start pays. run.sh takes the time before it
// starts the process, so the difference is process start to window shown.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <ole/ole.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ServiziQt.h"
#include "export/Avvio.h"
#include "frmMain.h"

namespace {

// Ends the program once the watched window has been painted and the paint is done.
class PrimoDisegno : public QObject {
public:
    bool eventFilter(QObject* oggetto, QEvent* evento) override {
        if (evento->type() == QEvent::Paint && !visto_) {
            visto_ = true;
            QTimer::singleShot(0, [] {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
                std::printf("mostrata_ns %lld\n", static_cast<long long>(ns));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(oggetto, evento);
    }

private:
    bool visto_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    const bool vuota = argc > 1 && std::strcmp(argv[1], "--vuota") == 0;
    QApplication applicazione(argc, argv);
    PrimoDisegno filtro;
    if (vuota) {
        QWidget finestra;
        finestra.resize(531, 455);
        finestra.installEventFilter(&filtro);
        finestra.show();
        return QApplication::exec();
    }
    shell::SostituisciServizio(std::make_shared<travasa::finestra::MessageBoxQt>());
    ole::Inizializza com;
    travasa::ControlliAvvio().Esegui();
    travasa::finestra::frmMain finestra;
    finestra.installEventFilter(&filtro);
    finestra.Carica();
    finestra.show();
    return QApplication::exec();
}
