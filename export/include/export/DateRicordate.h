// The two remembered filter dates, in the per-user settings store: application
// NomeApplicazione() ("VQEsporta_XML"), section "Filtro", keys "Data_Iniziale" and
// "Data_Finale", each the date as 8 digits yyyymmdd. The store is the registry store,
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, REG_SZ.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vq/data.h"

namespace travasa {

inline constexpr std::int32_t kErrFormatoData = 10003;
inline constexpr const char* kSezioneFiltro = "Filtro";
inline constexpr const char* kChiaveDataIniziale = "Data_Iniziale";
inline constexpr const char* kChiaveDataFinale = "Data_Finale";

// The settings store. Both raise vq::Errore when the store cannot be used.
void SalvaImpostazione(const std::string& applicazione, const std::string& sezione,
                       const std::string& chiave, const std::string& valore);
// The stored text, or `predefinito` when there is none.
std::string LeggiImpostazione(const std::string& applicazione, const std::string& sezione,
                              const std::string& chiave, const std::string& predefinito = {});

// "VQ" + the program's title with every blank replaced by "_".
std::string NomeApplicazione();

// Stored as yyyymmdd; every failure swallowed.
void SalvaDataIniziale(vq::DATA d) noexcept;
void SalvaDataFinale(vq::DATA d) noexcept;
// 1 January of the current year; today (no time of day).
vq::DATA DataInizialeDefault();
vq::DATA DataFinaleDefault();
// The stored date, or the default when none is stored or it cannot be read.
vq::DATA LeggiDataIniziale() noexcept;
vq::DATA LeggiDataFinale() noexcept;
// yyyymmdd with the calendar's carry (20041301 is 1 January 2005). Error 10003
// "formato non valido." unless exactly 8 characters; error 13 for a part that is not a
// number.
vq::DATA ConvertiData(const std::string& testo);

}  // namespace travasa
