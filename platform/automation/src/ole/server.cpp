// The in-process server's plumbing: class objects, unloading, self-registration.
#include <ole/server.hpp>

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "win/registry.h"
#include "vq/ascii.h"

namespace ole {

namespace {

// Interfaces described by a type library are marshalled by the standard type-library
// marshaler.
constexpr CLSID kMarshalerTypeLib = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---------------------------------------------------------------------------------------
// Class object
// ---------------------------------------------------------------------------------------
class FabbricaClasse final : public Oggetto<IClassFactory> {
public:
    FabbricaClasse(ServerInProcesso& server, CreatoreOggetto crea) noexcept
        : Oggetto(&server.oggetti()), server_(server), crea_(crea) {}

    STDMETHODIMP CreateInstance(IUnknown* esterno, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (esterno) return CLASS_E_NOAGGREGATION;
        return Proteggi([&] { return crea_()->QueryInterface(riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL blocca) override {
        server_.Blocca(blocca != FALSE);
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }

    ServerInProcesso& server_;
    CreatoreOggetto crea_;
};

// ---------------------------------------------------------------------------------------
// Registration
// ---------------------------------------------------------------------------------------
// The full path of the library holding `indirizzo`, as the loader found it; "" when the
// address belongs to no loaded library.
std::string PercorsoLibreria(const void* indirizzo) {
    Dl_info info{};
    if (!indirizzo || !dladdr(indirizzo, &info) || !info.dli_fname) return {};
    char assoluto[PATH_MAX];
    if (realpath(info.dli_fname, assoluto)) return assoluto;
    return info.dli_fname;
}

std::string Cartella(const std::string& percorso) {
    const auto pos = percorso.find_last_of('/');
    return pos == std::string::npos ? std::string() : percorso.substr(0, pos);
}

std::string Versione(const LibreriaTipiServer& l) {
    return std::to_string(l.maggiore) + "." + std::to_string(l.minore);
}

using Valori = std::vector<std::pair<const char*, std::string>>;

// Keys of the classes root with their values, each written in one go; after the first
// failure nothing more is written. Keeps the keys it created, for a rollback.
class Scrittore {
public:
    LONG errore = ERROR_SUCCESS;
    std::vector<std::string> create;

    void Chiave(const std::string& chiave, const Valori& valori) {
        if (errore != ERROR_SUCCESS) return;
        vq::ChiaveAperta h;
        DWORD esito = 0;
        errore = RegCreateKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                 nullptr, h.put(), &esito);
        if (errore != ERROR_SUCCESS) return;
        if (esito == REG_CREATED_NEW_KEY) create.push_back(chiave);
        for (const auto& [nome, dato] : valori) {
            errore = RegSetValueExA(h.get(), nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(dato.c_str()),
                                    static_cast<DWORD>(dato.size() + 1));
            if (errore != ERROR_SUCCESS) break;
        }
    }
};

// Removes a key and everything below it; a key that is not there is no failure.
LONG Elimina(const std::string& chiave) {
    const LONG e = RegDeleteTreeA(HKEY_CLASSES_ROOT, chiave.c_str());
    return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : e;
}

// Removes a key only when nothing is left below it (other versions of a type library
// belong to others).
void EliminaSeVuota(const std::string& chiave) {
    DWORD sottochiavi = 0, valori = 0;
    LONG e = ERROR_SUCCESS;
    {
        vq::ChiaveAperta h;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) return;
        e = RegQueryInfoKeyA(h.get(), nullptr, nullptr, nullptr, &sottochiavi, nullptr, nullptr, &valori, nullptr,
                             nullptr, nullptr, nullptr);
    }
    if (e == ERROR_SUCCESS && sottochiavi == 0 && valori == 0) RegDeleteKeyA(HKEY_CLASSES_ROOT, chiave.c_str());
}

// The default value of a key of the classes root ("" when missing, not text or longer
// than any GUID's text).
std::string Predefinito(const std::string& chiave) {
    vq::ChiaveAperta h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) return {};
    char dati[64] = {};
    DWORD dimensione = sizeof dati - 1;
    DWORD tipo = REG_NONE;
    const LONG e = RegQueryValueExA(h.get(), nullptr, nullptr, &tipo, reinterpret_cast<BYTE*>(dati), &dimensione);
    return e == ERROR_SUCCESS && tipo == REG_SZ ? std::string(dati) : std::string();
}

LONG Scrivi(const DescrizioneServer& d, Scrittore& w) {
    if (d.classi.empty()) return ERROR_FILE_NOT_FOUND;
    const std::string percorso = PercorsoLibreria(reinterpret_cast<const void*>(d.classi.front().crea));
    if (percorso.empty()) return ERROR_FILE_NOT_FOUND;
    const LibreriaTipiServer* tipi = d.libreria_tipi;
    const std::string libid = tipi ? TestoGuid(tipi->libid) : std::string();
    const std::string versione = tipi ? Versione(*tipi) : std::string();

    for (const auto& c : d.classi) {
        const std::string clsid = TestoGuid(c.clsid);
        const std::string chiave = "CLSID\\" + clsid;
        w.Chiave(chiave, {{nullptr, c.nome}});
        w.Chiave(chiave + "\\InprocServer32", {{nullptr, percorso}, {"ThreadingModel", c.modello}});
        w.Chiave(chiave + "\\ProgID", {{nullptr, c.progid}});
        if (tipi) {
            w.Chiave(chiave + "\\TypeLib", {{nullptr, libid}});
            w.Chiave(chiave + "\\VERSION", {{nullptr, versione}});
        }
        const std::string progid = c.progid;
        w.Chiave(progid, {{nullptr, c.nome_progid}});
        w.Chiave(progid + "\\CLSID", {{nullptr, clsid}});
    }
    if (!tipi) return w.errore;

    const std::string marshaler = TestoGuid(kMarshalerTypeLib);
    for (const auto& i : d.interfacce) {
        const std::string chiave = "Interface\\" + TestoGuid(i.iid);
        w.Chiave(chiave, {{nullptr, i.nome}});
        w.Chiave(chiave + "\\ProxyStubClsid", {{nullptr, marshaler}});
        w.Chiave(chiave + "\\ProxyStubClsid32", {{nullptr, marshaler}});
        w.Chiave(chiave + "\\TypeLib", {{nullptr, libid}, {"Version", versione}});
    }
    const std::string chiave = "TypeLib\\" + libid + "\\" + versione;
    w.Chiave(chiave, {{nullptr, tipi->nome}});
    w.Chiave(chiave + "\\0\\" + std::string(sizeof(void*) == 8 ? "win64" : "win32"), {{nullptr, percorso}});
    w.Chiave(chiave + "\\FLAGS", {{nullptr, "0"}});
    w.Chiave(chiave + "\\HELPDIR", {{nullptr, Cartella(percorso)}});
    return w.errore;
}

// Removes every key of the description; the first failure is the result, but the
// removal goes on past it.
LONG Cancella(const DescrizioneServer& d) {
    LONG primo = ERROR_SUCCESS;
    auto annota = [&](LONG e) {
        if (primo == ERROR_SUCCESS) primo = e;
    };
    for (const auto& c : d.classi) {
        const std::string clsid = TestoGuid(c.clsid);
        annota(Elimina("CLSID\\" + clsid));
        // The programmatic id goes only while it still names this class.
        const std::string progid = c.progid;
        if (Predefinito(progid + "\\CLSID") == clsid) annota(Elimina(progid));
    }
    if (const LibreriaTipiServer* tipi = d.libreria_tipi) {
        for (const auto& i : d.interfacce) annota(Elimina("Interface\\" + TestoGuid(i.iid)));
        const std::string libreria = "TypeLib\\" + TestoGuid(tipi->libid);
        annota(Elimina(libreria + "\\" + Versione(*tipi)));
        EliminaSeVuota(libreria);
    }
    return primo;
}

HRESULT Esito(LONG errore) noexcept {
    return errore == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<ULONG>(errore));
}

}  // namespace

HRESULT ServerInProcesso::OggettoClasse(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const auto& c : descrizione_.classi) {
        if (!IsEqualCLSID(rclsid, c.clsid)) continue;
        return Proteggi([&] {
            auto fabbrica = CreaOggetto<FabbricaClasse, IClassFactory>(*this, c.crea);
            return fabbrica->QueryInterface(riid, ppv);
        });
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerInProcesso::Scaricabile() const noexcept {
    return oggetti_.vivi() == 0 && blocchi_.load() == 0 ? S_OK : S_FALSE;
}

void ServerInProcesso::Blocca(bool blocca) noexcept {
    if (blocca)
        blocchi_.fetch_add(1);
    else
        blocchi_.fetch_sub(1);
}

HRESULT ServerInProcesso::Registra() noexcept {
    Scrittore w;
    LONG e = ERROR_SUCCESS;
    HRESULT hr = S_OK;
    try {
        e = Scrivi(descrizione_, w);
        hr = Esito(e);
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) return hr;
    // Half a registration is worse than none: what names this server goes, and so does
    // every key this attempt created (a programmatic id whose class id could not be
    // written yet, for one).
    try {
        Cancella(descrizione_);
        for (auto k = w.create.rbegin(); k != w.create.rend(); ++k) Elimina(*k);
    } catch (...) {
    }
    return hr;
}

HRESULT ServerInProcesso::Deregistra() noexcept {
    try {
        return Esito(Cancella(descrizione_));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

bool StessoNomeMembro(const OLECHAR* nome, const char* membro) noexcept {
    for (; *membro; ++nome, ++membro)
        if (*nome == 0 || vq::MinuscolaAscii(*nome) != vq::MinuscolaAscii(static_cast<char16_t>(*membro))) return false;
    return *nome == 0;
}

}  // namespace ole
