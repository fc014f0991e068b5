#include "export/DateRicordate.h"

#include <ctime>

#include "export/Avvio.h"
#include "vq/conversioni.h"
#include "vq/errore.h"
#include "win/registry.h"

namespace travasa {

namespace {

std::string Chiave(const std::string& applicazione, const std::string& sezione) {
    return "Software\\VB and VBA Program Settings\\" + applicazione + "\\" + sezione;
}

[[noreturn]] void ErroreRegistro(LONG codice) {
    // The store's failures as the runtime reports a settings failure: invalid call.
    vq::Solleva(vq::kErrChiamataNonValida, vq::DescrizioneRuntime(vq::kErrChiamataNonValida) +
                                               " (registro: " + std::to_string(codice) + ")");
}

std::string Otto(vq::DATA d) {
    const vq::DataOra p = vq::ScomponiData(d);
    char testo[16];
    std::snprintf(testo, sizeof testo, "%04d%02d%02d", p.anno, p.mese, p.giorno);
    return testo;
}

void Salva(const char* chiave, vq::DATA d) noexcept {
    try {
        SalvaImpostazione(NomeApplicazione(), kSezioneFiltro, chiave, Otto(d));
    } catch (...) {
        vq::CancellaErrore();
    }
}

vq::DATA Leggi(const char* chiave, vq::DATA (*predefinita)()) noexcept {
    try {
        std::string s = LeggiImpostazione(NomeApplicazione(), kSezioneFiltro, chiave);
        const auto inizio = s.find_first_not_of(' ');
        if (inizio == std::string::npos) return predefinita();
        s = s.substr(inizio, s.find_last_not_of(' ') - inizio + 1);
        return ConvertiData(s);
    } catch (...) {
        vq::CancellaErrore();
    }
    try {
        return predefinita();
    } catch (...) {
        vq::CancellaErrore();
        return 0;
    }
}

vq::DATA Oggi() {
    const std::time_t adesso = std::time(nullptr);
    std::tm t{};
    localtime_r(&adesso, &t);
    return vq::DateSerial(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

}  // namespace

void SalvaImpostazione(const std::string& applicazione, const std::string& sezione,
                       const std::string& chiave, const std::string& valore) {
    vq::ChiaveAperta k;
    LONG e = RegCreateKeyExA(HKEY_CURRENT_USER, Chiave(applicazione, sezione).c_str(), 0, nullptr,
                             0, KEY_WRITE, nullptr, k.put(), nullptr);
    if (e != ERROR_SUCCESS) ErroreRegistro(e);
    e = RegSetValueExA(k.get(), chiave.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(valore.c_str()),
                       static_cast<DWORD>(valore.size() + 1));
    if (e != ERROR_SUCCESS) ErroreRegistro(e);
}

std::string LeggiImpostazione(const std::string& applicazione, const std::string& sezione,
                              const std::string& chiave, const std::string& predefinito) {
    vq::ChiaveAperta k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Chiave(applicazione, sezione).c_str(), 0, KEY_READ,
                      k.put()) != ERROR_SUCCESS)
        return predefinito;
    DWORD tipo = 0, dimensione = 0;
    LONG e = RegQueryValueExA(k.get(), chiave.c_str(), nullptr, &tipo, nullptr, &dimensione);
    if (e != ERROR_SUCCESS || (tipo != REG_SZ && tipo != REG_EXPAND_SZ)) return predefinito;
    std::string dati(dimensione, '\0');
    e = RegQueryValueExA(k.get(), chiave.c_str(), nullptr, &tipo,
                         reinterpret_cast<BYTE*>(dati.data()), &dimensione);
    if (e != ERROR_SUCCESS) return predefinito;
    dati.resize(dimensione);
    // The text ends at its first NUL.
    if (const auto fine = dati.find('\0'); fine != std::string::npos) dati.resize(fine);
    return dati;
}

std::string NomeApplicazione() {
    std::string nome = std::string("VQ") + kTitoloProgramma;
    for (char& c : nome)
        if (c == ' ') c = '_';
    return nome;
}

void SalvaDataIniziale(vq::DATA d) noexcept { Salva(kChiaveDataIniziale, d); }
void SalvaDataFinale(vq::DATA d) noexcept { Salva(kChiaveDataFinale, d); }

vq::DATA DataInizialeDefault() { return vq::DateSerial(vq::ScomponiData(Oggi()).anno, 1, 1); }

vq::DATA DataFinaleDefault() { return Oggi(); }

vq::DATA LeggiDataIniziale() noexcept { return Leggi(kChiaveDataIniziale, DataInizialeDefault); }
vq::DATA LeggiDataFinale() noexcept { return Leggi(kChiaveDataFinale, DataFinaleDefault); }

vq::DATA ConvertiData(const std::string& testo) {
    if (testo.size() != 8) vq::Solleva(kErrFormatoData, "formato non valido.");
    const auto parte = [&](std::size_t da, std::size_t n) {
        return static_cast<int>(vq::CInt(vq::NumeroDaTesto(std::string_view(testo).substr(da, n))));
    };
    return vq::DateSerial(parte(0, 4), parte(4, 2), parte(6, 2));
}

}  // namespace travasa
