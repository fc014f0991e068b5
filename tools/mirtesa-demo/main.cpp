// mirtesa-demo [options] OUT: writes a Mirtesa household database (or, with
// --operazioni 0, the empty template the host ships as "mirtesa.dat").
#include "jetwriter/jetwriter.h"

#include <vq/errore.h>

#include <exception>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUso =
    "Uso: mirtesa-demo [--operazioni N] [--seme S] [--versione V] [--formato jet3|jet4]\n"
    "                  [--password P] OUT\n"
    "Scrive un database Mirtesa dimostrativo (Conti, TabellaCassa, Operazioni, Versione).\n"
    "  --operazioni N   numero di operazioni (predefinito 3000; 0 = modello vuoto)\n"
    "  --seme S         seme del generatore: stesso seme, stesso file (predefinito 1)\n"
    "  --versione V     versione del formato dei dati (predefinita 2)\n"
    "  --formato F      jet3 (predefinito) o jet4\n"
    "  --password P     password del database (predefinita quella di Mirtesa; \"\" = nessuna)\n";

}  // namespace

int main(int argc, char** argv) {
    jetwriter::OpzioniMirtesa o;
    std::string uscita;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valore = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "mirtesa-demo: manca il valore di " << a << "\n" << kUso;
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
                jetwriter::ImpostaOpzioneMirtesa(a, v, o);
            } catch (const vq::Errore& e) {
                std::cerr << "mirtesa-demo: " << e.descrizione() << "\n";
                return 2;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::cerr << "mirtesa-demo: opzione sconosciuta " << a << "\n" << kUso;
            return 2;
        } else if (uscita.empty()) {
            uscita = a;
        } else {
            std::cerr << kUso;
            return 2;
        }
    }
    if (uscita.empty()) {
        std::cerr << kUso;
        return 2;
    }
    try {
        jetwriter::ScriviDemoMirtesa(o, uscita);
    } catch (...) {
        // Every failure as a numbered error (out of memory is 7, as everywhere).
        const vq::ErroreCorrente& e = vq::ImpostaErroreDa(std::current_exception());
        std::cerr << "mirtesa-demo: errore " << e.numero << ": " << e.descrizione << "\n";
        return 1;
    }
    return 0;
}
