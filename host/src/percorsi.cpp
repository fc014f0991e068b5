#include "percorsi.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "mirtesahost/mirtesahost.h"
#include "vq/ascii.h"
#include "vq/errore.h"
#include "win/registry.h"
#include "win/version.h"

namespace mirtesahost {

namespace {

const std::string kRadice = "HKEY_CURRENT_USER\\";

[[noreturn]] void RegistroIlleggibile(LONG codice, const std::string& chiave) {
    if (codice == ERROR_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
    vq::Solleva(kErrMirtesaRegistroIlleggibile,
                "Impossibile leggere il registro di sistema (errore " + std::to_string(codice) +
                    ") alla chiave " + kRadice + chiave + ".");
}

[[noreturn]] void NonInstallato(const std::string& motivo) {
    vq::Solleva(kErrMirtesaNonInstallato, "Mirtesa non risulta installato su questo sistema: " +
                                              motivo + ". Reinstallare Mirtesa.");
}

struct Valore {
    DWORD tipo = REG_NONE;
    std::string dati;
};

// A value of an open key; nullopt when it does not exist.
std::optional<Valore> Leggi(HKEY h, const char* nome, const std::string& chiave) {
    Valore v;
    // The value may grow between asking its size and reading it: ask again.
    for (int tentativo = 0; tentativo < 4; ++tentativo) {
        DWORD dimensione = 0;
        LONG e = RegQueryValueExA(h, nome, nullptr, &v.tipo, nullptr, &dimensione);
        if (e == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (e != ERROR_SUCCESS) RegistroIlleggibile(e, chiave);
        v.dati.assign(dimensione, '\0');
        e = RegQueryValueExA(h, nome, nullptr, &v.tipo, reinterpret_cast<BYTE*>(v.dati.data()),
                             &dimensione);
        if (e == ERROR_MORE_DATA) continue;
        if (e == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (e != ERROR_SUCCESS) RegistroIlleggibile(e, chiave);
        v.dati.resize(dimensione);
        return v;
    }
    RegistroIlleggibile(ERROR_MORE_DATA, chiave);
}

bool Testuale(DWORD tipo) { return tipo == REG_SZ || tipo == REG_EXPAND_SZ; }

// The text of a string value: up to its first NUL (the terminator it normally carries).
std::string Testo(const Valore& v) {
    const auto fine = v.dati.find('\0');
    std::string t = fine == std::string::npos ? v.dati : v.dati.substr(0, fine);
    return v.tipo == REG_EXPAND_SZ ? vq::EspandiAmbiente(t) : t;
}

// The folder with exactly one "/" added when it does not end with one.
std::string ConSeparatore(std::string cartella) {
    if (cartella.empty() || cartella.back() != '/') cartella.push_back('/');
    return cartella;
}

// The file `nome` in `cartella` (ending with "/"), found without regard to ASCII case
// when the exact name is not there; the exact path when there is no such file at all.
std::string TrovaFile(const std::string& cartella, std::string_view nome) {
    std::string esatto = cartella + std::string(nome);
    struct stat st {};
    if (::stat(esatto.c_str(), &st) == 0) return esatto;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(cartella.c_str()), ::closedir);
    if (!d) return esatto;
    while (const dirent* voce = ::readdir(d.get())) {
        if (vq::UgualiSenzaMaiuscole(voce->d_name, nome)) return cartella + voce->d_name;
    }
    return esatto;
}

// One of the two folders, or the reason why the host counts as not installed.
struct Cartella {
    std::string percorso;
    std::string mancanza;  // empty when found
};

Cartella LeggiCartella(const char* nome) {
    vq::ChiaveAperta k;
    const LONG e = RegOpenKeyExA(HKEY_CURRENT_USER, kChiavePercorsi, 0, KEY_READ, k.put());
    if (e == ERROR_FILE_NOT_FOUND)
        return {{}, "manca la chiave " + kRadice + kChiavePercorsi + " del registro"};
    if (e != ERROR_SUCCESS) RegistroIlleggibile(e, kChiavePercorsi);

    const std::string dove = std::string(" della chiave ") + kRadice + kChiavePercorsi;
    const auto v = Leggi(k.get(), nome, kChiavePercorsi);
    if (!v) return {{}, std::string("manca il valore \"") + nome + "\"" + dove};
    if (!Testuale(v->tipo))
        return {{}, std::string("il valore \"") + nome + "\"" + dove + " non è un testo"};
    std::string t = Testo(*v);
    if (t.empty()) return {{}, std::string("il valore \"") + nome + "\"" + dove + " è vuoto"};
    return {ConSeparatore(std::move(t)), {}};
}

std::string CartellaObbligatoria(const char* nome) {
    Cartella c = LeggiCartella(nome);
    if (!c.mancanza.empty()) NonInstallato(c.mancanza);
    return c.percorso;
}

[[noreturn]] void ModuloNonValido(const std::string& motivo) {
    vq::Solleva(kErrMirtesaModuloNonValido, "Modulo aggiuntivo non valido: " + motivo + ".");
}

// A registry key name holds no "\" and no control character, and at most 255 bytes.
void ControllaTitolo(const std::string& titolo) {
    if (titolo.empty()) ModuloNonValido("manca il titolo");
    bool adatto = titolo.size() <= 255;
    for (char c : titolo)
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) adatto = false;
    if (!adatto)
        ModuloNonValido("il titolo \"" + titolo +
                        "\" non può dare il nome a una chiave del registro");
}

// What was recorded for an add-in, by value name; missing or non-text values are absent.
bool GiaRegistrato(const std::string& chiave,
                   const std::vector<std::pair<const char*, const std::string*>>& valori) {
    vq::ChiaveAperta k;
    const LONG e = RegOpenKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, KEY_READ, k.put());
    if (e == ERROR_FILE_NOT_FOUND) return false;
    if (e != ERROR_SUCCESS) RegistroIlleggibile(e, chiave);
    for (const auto& [nome, atteso] : valori) {
        const auto v = Leggi(k.get(), nome, chiave);
        if (!v || v->tipo != REG_SZ || Testo(*v) != *atteso) return false;
    }
    return true;
}

}  // namespace

std::string CartellaProgramma() { return CartellaObbligatoria(kValoreProgramma); }

std::string CartellaDati() { return CartellaObbligatoria(kValoreDati); }

bool Installato() {
    return LeggiCartella(kValoreProgramma).mancanza.empty() &&
           LeggiCartella(kValoreDati).mancanza.empty();
}

std::string VersioneProgramma() {
    const std::string file = TrovaFile(CartellaProgramma(), kEseguibile);
    DWORD maniglia = 0;
    const DWORD dimensione = GetFileVersionInfoSizeA(file.c_str(), &maniglia);
    if (dimensione == 0) return "0.0.0.0";
    std::vector<unsigned char> blocco(dimensione);
    void* dati = nullptr;
    UINT lunghezza = 0;
    if (!GetFileVersionInfoA(file.c_str(), 0, dimensione, blocco.data()) ||
        !VerQueryValueA(blocco.data(), "\\", &dati, &lunghezza) ||
        lunghezza < sizeof(VS_FIXEDFILEINFO))
        return "0.0.0.0";
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, dati, sizeof info);
    char testo[48];
    std::snprintf(testo, sizeof testo, "%u.%u.%u.%u", info.dwFileVersionMS >> 16,
                  info.dwFileVersionMS & 0xFFFFu, info.dwFileVersionLS >> 16,
                  info.dwFileVersionLS & 0xFFFFu);
    return testo;
}

bool RegistraModulo(const std::string& percorso, const std::string& titolo,
                    const std::string& descrizione) {
    if (percorso.empty()) ModuloNonValido("manca il percorso del programma");
    ControllaTitolo(titolo);
    for (const std::string* t : {&percorso, &titolo, &descrizione})
        if (t->find('\0') != std::string::npos)
            ModuloNonValido("un testo contiene il carattere nullo");

    const std::string chiave = std::string(kChiaveModuli) + "\\" + titolo;
    const std::vector<std::pair<const char*, const std::string*>> valori = {
        {"Titolo", &titolo}, {"Descrizione", &descrizione}, {"Percorso", &percorso}};
    if (GiaRegistrato(chiave, valori)) return false;

    auto fallito = [&](LONG e) {
        if (e == ERROR_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
        vq::Solleva(kErrMirtesaRegistroNonScrivibile,
                    "Impossibile registrare il modulo aggiuntivo \"" + titolo + "\": errore " +
                        std::to_string(e) + " del registro alla chiave " + kRadice + chiave + ".");
    };
    vq::ChiaveAperta k;
    LONG e = RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE, nullptr, k.put(), nullptr);
    if (e != ERROR_SUCCESS) fallito(e);
    for (const auto& [nome, testo] : valori) {
        e = RegSetValueExA(k.get(), nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(testo->c_str()),
                           static_cast<DWORD>(testo->size() + 1));
        if (e != ERROR_SUCCESS) fallito(e);
    }
    return true;
}

}  // namespace mirtesahost
