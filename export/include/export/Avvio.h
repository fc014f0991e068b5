// The start-up checks: run once, before the main window loads, by every program of ours
// that reads the host's data (the window and the command line).
//
//   1-3  the host-integration component gives the host's data and program folders
//        (Globale: PathDati, PathProgramma, PathDataBase, PathEseguibile);
//   4-6  the host's program must exist, carry a version and be 3.3.0.0 or later;
//   7    a missing database is created from the host's empty template;
//   8-11 the program announces itself to the host as an add-in (failures ignored).
// Before step 1 the data component is registered for this user when the registry lacks
// its class (a fresh user of a per-machine installation).
//
// A failure of steps 1 to 7 is shown (vqUtilita::PrintErrore, or the stop box of an old
// host) and ends the program at once through TerminaProgramma(1).
#pragma once

#include <cstdint>
#include <string>

namespace travasa {

// Fixed values of the start-up.
inline constexpr const char* kVersioneMinimaHost = "3.3.0.0";
inline constexpr const char* kEseguibileHost = "Mirtesa.exe";
inline constexpr const char* kDataBaseHost = "mirtesa.mdb";
inline constexpr const char* kModelloDataBase = "mirtesa.dat";
inline constexpr std::int32_t kErrEseguibileAssente = 10005;
inline constexpr std::int32_t kErrEseguibileCorrotto = 10007;
inline constexpr const char* kTitoloProgramma = "Esporta XML";
inline constexpr const char* kDescrizioneModulo = "Esporta l'estratto in XML";
// The base name of the program's executable (the window program; the command line
// announces and documents the same program).
inline constexpr const char* kNomeEseguibile = "travasa";
// The data component's library, in the program's folder.
inline constexpr const char* kLibreriaComponente = "libtessadati.so";

// Where the program is: its folder (ending with "/") and its executable base name.
struct IdentitaProgramma {
    std::string cartella;
    std::string nome = kNomeEseguibile;
};
// The folder of the running executable, resolved through symbolic links, and
// kNomeEseguibile.
IdentitaProgramma IdentitaCorrente();

// The program's own folder passed through AggiungiSepDir + base name + `estensione`
// (the platform's executable suffix is empty: "" for the program, ".htm" for the help).
std::string FileProgramma(const IdentitaProgramma& identita, const std::string& estensione);

class ControlliAvvio {
public:
    explicit ControlliAvvio(IdentitaProgramma identita = IdentitaCorrente());

    // Steps 1 to 11. Returns normally when the window may load; otherwise the failure
    // has been shown and TerminaProgramma(1) called.
    void Esegui();

    // Registers the data component from the program's folder when the registry lacks
    // its class (or its registered library is gone). Failures are ignored: the load
    // sequence reports a component that cannot be created.
    void RegistraComponenteSeAssente() const;

private:
    IdentitaProgramma identita_;
};

}  // namespace travasa
