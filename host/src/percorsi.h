// Where the host is installed and which add-ins it knows, read from and written to the
// registry store. Plain C++: every failure raises vq::Errore with the component's own
// number (see mirtesahost/mirtesahost.h) and an Italian description.
#pragma once

#include <string>
#include <string_view>

namespace mirtesahost {

inline constexpr const char* kChiavePercorsi = "Software\\Mirtesa\\Percorsi";
inline constexpr const char* kChiaveModuli = "Software\\Mirtesa\\ModuliAggiuntivi";
inline constexpr const char* kValoreProgramma = "Programma";
inline constexpr const char* kValoreDati = "Dati";
inline constexpr const char* kEseguibile = "Mirtesa.exe";

// The program folder and the data folder, each ending with "/".
std::string CartellaProgramma();
std::string CartellaDati();
// True exactly when both folders are recorded; registry faults other than a missing key
// or value still raise.
bool Installato();
// The file version of the host's program ("0.0.0.0" when it is missing or has none).
std::string VersioneProgramma();

// Records an add-in under its caption; false when the record already held these values.
bool RegistraModulo(const std::string& percorso, const std::string& titolo, const std::string& descrizione);

// Helpers, public for the tests of this folder.
// %NAME% replaced by the environment variable NAME; unknown names stay as written.
std::string Espandi(std::string_view testo);
// The folder with exactly one "/" added when it does not end with one.
std::string ConSeparatore(std::string cartella);
// The file `nome` in `cartella` (ending with "/"), found without regard to ASCII case
// when the exact name is not there; the exact path when there is no such file at all.
std::string TrovaFile(const std::string& cartella, std::string_view nome);

}  // namespace mirtesahost
