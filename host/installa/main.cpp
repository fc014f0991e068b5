// mirtesa-installa-demo DIR [options]: a complete demo installation of the host under
// DIR, for running the export add-in without the real host.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "installa.h"
#include "vq/errore.h"
#include "win/registry.h"

namespace {

constexpr const char* kUso =
    "Uso: mirtesa-installa-demo CARTELLA [--operazioni N] [--formato jet3|jet4] [--seme S]\n"
    "                           [--versione V] [--password P] [--sostituisci-dati]\n"
    "Installa un Mirtesa dimostrativo in CARTELLA: programma/ (Mirtesa.exe 3.3.0.0 e il modello\n"
    "mirtesa.dat), dati/ (Mirtesa.mdb con una famiglia dimostrativa); scrive le due cartelle nel\n"
    "registro (HKEY_CURRENT_USER\\Software\\Mirtesa\\Percorsi) e registra i componenti\n"
    "libmirtesahost.so e libtessadati.so. Il registro segue XDG_CONFIG_HOME (o VQ_REGISTRO_DIR).\n"
    "  --operazioni N       operazioni della famiglia dimostrativa (predefinito 3000)\n"
    "  --formato F          jet3 (predefinito) o jet4\n"
    "  --seme S             seme del generatore: stesso seme, stessi dati (predefinito 1)\n"
    "  --versione V         versione del formato dei dati (predefinita 2)\n"
    "  --password P         password del database (predefinita quella di Mirtesa)\n"
    "  --sostituisci-dati   sostituisce un Mirtesa.mdb esistente (altrimenti lo conserva)\n";

// The folder of the component libraries: beside this program in a build tree, in the
// library folder of an installed tree.
std::filesystem::path CartellaLibrerie() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto accanto = ec ? std::filesystem::path(".") : exe.parent_path();
    const auto installata = (accanto / VQ_LIBRERIE_DA_PROGRAMMI).lexically_normal();
    if (!std::filesystem::exists(accanto / "libmirtesahost.so", ec) &&
        std::filesystem::exists(installata / "libmirtesahost.so", ec))
        return installata;
    return accanto;
}

}  // namespace

int main(int argc, char** argv) {
    mirtesahost::OpzioniInstallazione o;
    o.librerie = CartellaLibrerie();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valore = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "mirtesa-installa-demo: manca il valore di " << a << "\n" << kUso;
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUso;
            return 0;
        } else if (jetwriter::OpzioneMirtesa(a)) {
            const char* v = valore();
            try {
                jetwriter::ImpostaOpzioneMirtesa(a, v, o.famiglia);
            } catch (const vq::Errore& e) {
                std::cerr << "mirtesa-installa-demo: " << e.descrizione() << "\n";
                return 2;
            }
        } else if (a == "--sostituisci-dati") {
            o.sostituisci_dati = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::cerr << "mirtesa-installa-demo: opzione sconosciuta " << a << "\n" << kUso;
            return 2;
        } else if (o.cartella.empty() && !a.empty()) {
            o.cartella = a;
        } else {
            std::cerr << kUso;
            return 2;
        }
    }
    if (o.cartella.empty()) {
        std::cerr << kUso;
        return 2;
    }
    try {
        const auto esito = mirtesahost::Installa(o);
        std::cout << "Mirtesa dimostrativo installato.\n"
                  << "  programma: " << esito.programma.string()
                  << "/ (Mirtesa.exe 3.3.0.0, mirtesa.dat)\n"
                  << "  dati:      " << esito.database.string()
                  << (esito.database_mantenuto
                          ? " (esistente, conservato)"
                          : " (" + std::to_string(o.famiglia.operazioni) + " operazioni, " +
                                (o.famiglia.formato == jetwriter::Formato::Jet3 ? "jet3" : "jet4") +
                                ")")
                  << "\n"
                  << "  registro:  " << vq::CartellaRegistro() << "\n";
        for (const auto& l : esito.registrati) std::cout << "  registrato: " << l.string() << "\n";
    } catch (...) {
        const auto& e = vq::ImpostaErroreDa(std::current_exception());
        std::cerr << "mirtesa-installa-demo: errore " << e.numero << ": " << e.descrizione << "\n";
        return 1;
    }
    return 0;
}
