// jet-writer SPEC.json OUT.mdb: writes a Jet 3 or Jet 4 database from a JSON description.
#include "jetwriter/jetwriter.h"

#include <vq/errore.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "Uso: jet-writer SPEC.json OUT.mdb\n"
                     "Scrive un database Jet 3 o Jet 4 descritto in JSON (\"-\" legge lo standard "
                     "input).\n";
        return 0;
    }
    if (argc != 3) {
        std::cerr << "Uso: jet-writer SPEC.json OUT.mdb\n";
        return 2;
    }
    try {
        jetwriter::Specifica s;
        if (std::strcmp(argv[1], "-") == 0) {
            std::string testo;
            char buf[65536];
            while (const std::size_t n = std::fread(buf, 1, sizeof buf, stdin))
                testo.append(buf, n);
            s = jetwriter::SpecificaDaJson(testo);
        } else {
            s = jetwriter::SpecificaDaFileJson(argv[1]);
        }
        jetwriter::Scrivi(s, argv[2]);
    } catch (...) {
        // Every failure as a numbered error (out of memory is 7, as everywhere).
        const vq::ErroreCorrente& e = vq::ImpostaErroreDa(std::current_exception());
        std::cerr << "jet-writer: errore " << e.numero << ": " << e.descrizione << "\n";
        return 1;
    }
    return 0;
}
