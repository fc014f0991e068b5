// The in-process server's plumbing: class objects, unloading, self-registration.
#include <ole/server.hpp>

#include <dlfcn.h>

#include <cassert>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "win/registry.h"
#include "vq/ascii.h"
#include "vq/invariante.h"

namespace ole {

namespace {

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

std::string Versione(const RegistrazioneRitirata& r) {
    return std::to_string(r.maggiore) + "." + std::to_string(r.minore);
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
        errore = RegCreateKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, h.put(), &esito);
        if (errore != ERROR_SUCCESS) return;
        if (esito == REG_CREATED_NEW_KEY) create.push_back(chiave);
        for (const auto& [nome, dato] : valori) {
            errore = RegSetValueExA(h.get(), nome, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(dato.c_str()),
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
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS)
            return;
        e = RegQueryInfoKeyA(h.get(), nullptr, nullptr, nullptr, &sottochiavi, nullptr, nullptr,
                             &valori, nullptr, nullptr, nullptr, nullptr);
    }
    if (e == ERROR_SUCCESS && sottochiavi == 0 && valori == 0)
        RegDeleteKeyA(HKEY_CLASSES_ROOT, chiave.c_str());
}

// The default value of a key of the classes root ("" when missing, not text or longer
// than any GUID's text).
std::string Predefinito(const std::string& chiave) {
    vq::ChiaveAperta h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS)
        return {};
    char dati[64] = {};
    DWORD dimensione = sizeof dati - 1;
    DWORD tipo = REG_NONE;
    const LONG e = RegQueryValueExA(h.get(), nullptr, nullptr, &tipo, reinterpret_cast<BYTE*>(dati),
                                    &dimensione);
    return e == ERROR_SUCCESS && tipo == REG_SZ ? std::string(dati) : std::string();
}

LONG Scrivi(const DescrizioneServer& d, Scrittore& w) {
    if (d.classi.empty()) return ERROR_FILE_NOT_FOUND;
    const std::string percorso =
        PercorsoLibreria(reinterpret_cast<const void*>(d.classi.front().crea));
    if (percorso.empty()) return ERROR_FILE_NOT_FOUND;
    for (const auto& c : d.classi) {
        const std::string clsid = TestoGuid(c.clsid);
        const std::string chiave = "CLSID\\" + clsid;
        w.Chiave(chiave, {{nullptr, c.nome}});
        w.Chiave(chiave + "\\InprocServer32", {{nullptr, percorso}, {"ThreadingModel", c.modello}});
        w.Chiave(chiave + "\\ProgID", {{nullptr, c.progid}});
        const std::string progid = c.progid;
        w.Chiave(progid, {{nullptr, c.nome_progid}});
        w.Chiave(progid + "\\CLSID", {{nullptr, clsid}});
    }
    return w.errore;
}

// Removes what an earlier release registered and this one no longer writes.
LONG CancellaRitirata(const RegistrazioneRitirata* r) {
    if (!r) return ERROR_SUCCESS;
    LONG primo = ERROR_SUCCESS;
    const std::string libid = TestoGuid(r->libid);
    for (const IID& iid : r->interfacce) {
        const std::string chiave = "Interface\\" + TestoGuid(iid);
        // An interface key that names another type library is someone else's.
        if (Predefinito(chiave + "\\TypeLib") != libid) continue;
        const LONG e = Elimina(chiave);
        if (primo == ERROR_SUCCESS) primo = e;
    }
    const std::string libreria = "TypeLib\\" + libid;
    const LONG e = Elimina(libreria + "\\" + Versione(*r));
    if (primo == ERROR_SUCCESS) primo = e;
    EliminaSeVuota(libreria);
    return primo;
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
    annota(CancellaRitirata(d.ritirata));
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
    if (blocca) blocchi_.fetch_add(1);
    else blocchi_.fetch_sub(1);
}

HRESULT ServerInProcesso::Registra() noexcept {
    Scrittore w;
    LONG e = ERROR_SUCCESS;
    HRESULT hr = S_OK;
    try {
        e = Scrivi(descrizione_, w);
        if (e == ERROR_SUCCESS) e = CancellaRitirata(descrizione_.ritirata);
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
    } catch (...) {}
    return hr;
}

HRESULT ServerInProcesso::Deregistra() noexcept {
    try {
        return Esito(Cancella(descrizione_));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// ---------------------------------------------------------------------------------------
// IDispatch by a table of members
// ---------------------------------------------------------------------------------------
namespace {

constexpr VARTYPE kArrayVarianti = VT_ARRAY | VT_VARIANT;

bool Mancante(const VARIANT& v) noexcept {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

}  // namespace

Argomenti::Argomenti(const DISPPARAMS& parametri, UINT* errore_argomento) noexcept
    : parametri_(parametri), errore_argomento_(errore_argomento) {
    // Addresses handed out stay valid: at most one copy per argument (an object reads
    // each of its arguments once).
    copie_.reserve(parametri.cArgs);
}

Argomenti::~Argomenti() {
    for (auto& c : copie_) {
        if (c.valore.vt == kArrayVarianti && !c.valore.parray) c.valore.vt = VT_EMPTY;
        VariantClear(&c.valore);
    }
}

HRESULT Argomenti::Fallisce(UINT i, HRESULT hr) noexcept {
    fallito_ = true;
    if (errore_argomento_) *errore_argomento_ = parametri_.cArgs - 1 - i;
    return hr;
}

HRESULT Argomenti::Indirizzo(UINT i, VARTYPE vt, void** indirizzo) {
    return Copia(i, vt, true, indirizzo);
}

HRESULT Argomenti::Copia(UINT i, VARTYPE vt, bool per_riferimento, void** indirizzo) {
    *indirizzo = nullptr;
    if (i >= parametri_.cArgs) {  // a table that asks for more than its count allows
        fallito_ = true;
        return DISP_E_PARAMNOTFOUND;
    }
    VARIANT& a = Originale(i);
    const bool variante_per_rif = a.vt == (VT_BYREF | VT_VARIANT) && a.pvarVal;

    if (vt == VT_VARIANT) {
        *indirizzo = variante_per_rif ? a.pvarVal : &a;
        return S_OK;
    }
    if (a.vt == (VT_BYREF | vt)) {
        if (!a.byref) return Fallisce(i, DISP_E_TYPEMISMATCH);
        *indirizzo = a.byref;
        return S_OK;
    }
    const VARIANT& sorgente = variante_per_rif ? *a.pvarVal : a;
    if (Mancante(sorgente)) return Fallisce(i, DISP_E_PARAMNOTFOUND);
    assert(copie_.size() < copie_.capacity() &&
           "one copy per argument: the addresses must stay valid");
    if (copie_.size() == copie_.capacity()) return Fallisce(i, E_UNEXPECTED);

    Copiato c{};
    VariantInit(&c.valore);
    c.destinazione = variante_per_rif && per_riferimento ? a.pvarVal : nullptr;
    if (vt == kArrayVarianti) {
        // An array of variants: an existing one by reference is passed in place, an
        // empty variant counts as no array yet.
        if (sorgente.vt == kArrayVarianti && variante_per_rif && per_riferimento) {
            *indirizzo = &a.pvarVal->parray;
            return S_OK;
        }
        if (sorgente.vt == kArrayVarianti) {
            const HRESULT hr = VariantCopy(&c.valore, &sorgente);
            if (FAILED(hr)) return Fallisce(i, hr);
        } else if (sorgente.vt == VT_EMPTY) {
            c.valore.vt = kArrayVarianti;
            c.valore.parray = nullptr;
        } else {
            return Fallisce(i, DISP_E_TYPEMISMATCH);
        }
    } else {
        VARIANT valore;
        VariantInit(&valore);
        HRESULT hr = VariantCopyInd(&valore, &sorgente);
        if (SUCCEEDED(hr)) hr = VariantChangeType(&c.valore, &valore, 0, vt);
        VariantClear(&valore);
        if (FAILED(hr)) {
            VariantClear(&c.valore);
            return Fallisce(i, hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH);
        }
    }
    VQ_INVARIANTE(copie_.size() <
                  copie_.capacity());  // no reallocation: earlier addresses stay valid
    copie_.push_back(c);
    *indirizzo = &copie_.back().valore.llVal;
    return S_OK;
}

void Argomenti::Riscrivi() noexcept {
    for (auto& c : copie_) {
        if (!c.destinazione) continue;
        // No array came back: the caller's variant stays as it was.
        if (c.valore.vt == kArrayVarianti && !c.valore.parray) continue;
        VariantClear(c.destinazione);
        *c.destinazione = c.valore;
        VariantInit(&c.valore);
    }
}

HRESULT InvocaMembro(std::span<const Membro> membri, IDispatch* oggetto, DISPID id, REFIID riid,
                     WORD flag, DISPPARAMS* parametri, VARIANT* risultato, EXCEPINFO* eccezione,
                     UINT* errore_argomento) noexcept {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS nessuno{};
    if (!parametri) parametri = &nessuno;
    if (parametri->cArgs > 0 && !parametri->rgvarg) return E_INVALIDARG;

    const Membro* membro = nullptr;
    for (const auto& m : membri) {
        if (m.id == id && (m.tipo & flag)) {
            membro = &m;
            break;
        }
    }
    if (!membro) return DISP_E_MEMBERNOTFOUND;

    const bool scrittura = membro->tipo & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    if (parametri->cNamedArgs > 0) {
        // The only named argument understood is the value of a property write.
        const bool valore_proprieta = scrittura && parametri->cNamedArgs == 1 &&
                                      parametri->rgdispidNamedArgs &&
                                      parametri->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (!valore_proprieta) return DISP_E_NONAMEDARGS;
    }
    if (parametri->cArgs < membro->argomenti ||
        parametri->cArgs > membro->argomenti + membro->facoltativi)
        return DISP_E_BADPARAMCOUNT;

    VARIANT valore;
    VariantInit(&valore);
    HRESULT hr;
    {
        Argomenti argomenti(*parametri, errore_argomento);
        try {
            hr = membro->chiama(oggetto, argomenti, valore);
        } catch (...) {
            hr = E_OUTOFMEMORY;  // only the argument copies allocate here
        }
        if (argomenti.Fallito()) {
            VariantClear(&valore);
            return hr;
        }
        if (SUCCEEDED(hr)) argomenti.Riscrivi();
    }
    if (FAILED(hr)) {
        VariantClear(&valore);
        return EccezioneInvoke(hr, eccezione);
    }
    if (risultato) *risultato = valore;
    else VariantClear(&valore);
    return S_OK;
}

bool StessoNomeMembro(const OLECHAR* nome, const char* membro) noexcept {
    for (; *membro; ++nome, ++membro)
        if (*nome == 0 ||
            vq::MinuscolaAscii(*nome) != vq::MinuscolaAscii(static_cast<char16_t>(*membro)))
            return false;
    return *nome == 0;
}

}  // namespace ole
