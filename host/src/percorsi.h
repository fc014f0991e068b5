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
bool RegistraModulo(const std::string& percorso, const std::string& titolo,
                    const std::string& descrizione);

}  // namespace mirtesahost
