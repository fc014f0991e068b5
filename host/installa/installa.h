// The demo host installation: the host's program folder (its program "Mirtesa.exe" with
// version 3.3.0.0 and the empty-database template "mirtesa.dat"), its data folder with a
// demo household in "Mirtesa.mdb", the two folders in the registry as the host's
// installer leaves them, and the in-process components registered as regsvr32 does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jetwriter/jetwriter.h"

namespace mirtesahost {

struct OpzioniInstallazione {
    std::filesystem::path cartella;      // created when missing
    jetwriter::OpzioniMirtesa famiglia;  // the demo household (its template shares
                                         // the seed, format, version and password)
    bool sostituisci_dati = false;       // replace an existing household database
    std::filesystem::path librerie;      // folder of the component libraries
    std::vector<std::string> componenti = {"libmirtesahost.so", "libtessadati.so"};
};

struct EsitoInstallazione {
    std::filesystem::path programma;  // the program folder
    std::filesystem::path dati;       // the data folder
    std::filesystem::path database;   // the household database
    bool database_mantenuto = false;  // an existing database was kept
    std::vector<std::filesystem::path> registrati;
};

// Lays the installation out; raises vq::Errore with a number and an Italian description.
// Files are replaced atomically, so a failure leaves every file whole (old or new).
EsitoInstallazione Installa(const OpzioniInstallazione& opzioni);

// The program's bytes (Mirtesa.exe), built with the program.
extern const unsigned char kMirtesaExe[];
extern const std::size_t kMirtesaExeDimensione;

}  // namespace mirtesahost
