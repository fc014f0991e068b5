// Thread initialisation and class activation: CoInitialize, CoGetClassObject,
// CoCreateInstance, CLSIDFromProgID.
//
// A class is found in the registry store under the key
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, whose default value is the path of its
// library. Each library is loaded once per process and stays loaded; the table of loaded
// libraries is shared by all threads.
#include "interno.h"

#include <ole/server.hpp>
#include <win/registry.h>

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace {

struct StatoThread {
    unsigned conteggio = 0;
    DWORD modo = COINIT_APARTMENTTHREADED;
};
thread_local StatoThread tStato;

// ---------------------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------------------
enum class Esito { Trovato, Assente, Errore };

// The default value (text) of HKEY_CLASSES_ROOT\<chiave>.
Esito LeggiPredefinito(const std::string& chiave, std::string& valore, LONG& codice) {
    vq::ChiaveAperta k;
    codice = RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, k.put());
    if (codice == ERROR_FILE_NOT_FOUND) return Esito::Assente;
    if (codice != ERROR_SUCCESS) return Esito::Errore;
    DWORD tipo = 0, byte = 0;
    codice = RegQueryValueExA(k.get(), "", nullptr, &tipo, nullptr, &byte);
    std::string dati;
    if (codice == ERROR_SUCCESS) {
        dati.resize(byte);
        codice = RegQueryValueExA(k.get(), "", nullptr, &tipo,
                                  reinterpret_cast<LPBYTE>(dati.data()), &byte);
        dati.resize(byte);
    }
    if (codice == ERROR_FILE_NOT_FOUND) return Esito::Assente;
    if (codice != ERROR_SUCCESS) return Esito::Errore;
    if (tipo != REG_SZ && tipo != REG_EXPAND_SZ) return Esito::Assente;
    if (auto z = dati.find('\0'); z != std::string::npos) dati.resize(z);
    valore = tipo == REG_EXPAND_SZ ? vq::EspandiAmbiente(dati) : dati;
    return Esito::Trovato;
}

// ---------------------------------------------------------------------------------------
// Loaded libraries
// ---------------------------------------------------------------------------------------
struct Libreria {
    void* handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

std::mutex gMutex;
std::map<std::string, Libreria>& Librerie() {
    // Never destroyed: libraries stay loaded until the process ends, and objects of
    // theirs may be released by other static destructors.
    static auto* tabella = new std::map<std::string, Libreria>();
    return *tabella;
}

// Loads (once) the library at `percorso`; on failure returns the HRESULT and a text.
HRESULT CaricaLibreria(const std::string& percorso, Libreria& out, std::string& errore) {
    std::lock_guard lock(gMutex);
    auto& tabella = Librerie();
    if (auto it = tabella.find(percorso); it != tabella.end()) {
        out = it->second;
        return S_OK;
    }
    void* h = dlopen(percorso.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = dlerror();
        errore = "Impossibile caricare la libreria della classe \"" + percorso + "\"" +
                 (e ? std::string(": ") + e : "");
        return CO_E_DLLNOTFOUND;
    }
    Libreria lib;
    lib.handle = h;
    lib.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(h, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(h, "DllCanUnloadNow"));
    if (!lib.getClassObject) {
        dlclose(h);
        errore = "La libreria \"" + percorso + "\" non esporta DllGetClassObject";
        return CO_E_ERRORINDLL;
    }
    tabella.emplace(percorso, lib);
    out = lib;
    return S_OK;
}

// The class factory of the standard Collection.
class FabbricaCollection final : public ole::Oggetto<IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        _Collection* c = nullptr;
        HRESULT hr = VqCreateCollection(&c);
        if (FAILED(hr)) return hr;
        hr = c->QueryInterface(riid, ppv);
        c->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }
};

}  // namespace

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    const DWORD modo = dwCoInit & COINIT_APARTMENTTHREADED;
    if (tStato.conteggio > 0) {
        if (tStato.modo != modo) return RPC_E_CHANGED_MODE;
        ++tStato.conteggio;
        return S_FALSE;
    }
    tStato.conteggio = 1;
    tStato.modo = modo;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (tStato.conteggio > 0) --tStato.conteggio;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (tStato.conteggio == 0) return CO_E_NOTINITIALIZED;
    if (IsEqualCLSID(rclsid, CLSID_Collection)) {
        try {
            auto f = ole::CreaOggetto<FabbricaCollection, IClassFactory>();
            return f->QueryInterface(riid, ppv);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    try {
        const std::string testo = ole::TestoGuid(rclsid);
        if (!(dwClsContext & CLSCTX_INPROC_SERVER))
            return ole::HresultConDescrizione(
                REGDB_E_CLASSNOTREG, "La classe " + testo + " è disponibile solo in-process");
        std::string percorso;
        LONG codice = 0;
        switch (LeggiPredefinito("CLSID\\" + testo + "\\InprocServer32", percorso, codice)) {
            case Esito::Assente:
                return ole::HresultConDescrizione(REGDB_E_CLASSNOTREG,
                                                  "Classe non registrata: " + testo);
            case Esito::Errore:
                return ole::HresultConDescrizione(
                    REGDB_E_READREGDB, "Impossibile leggere il registro per la classe " + testo +
                                           " (codice " + std::to_string(codice) + ")");
            case Esito::Trovato: break;
        }
        if (percorso.empty())
            return ole::HresultConDescrizione(REGDB_E_CLASSNOTREG,
                                              "Classe senza libreria nel registro: " + testo);
        Libreria lib;
        std::string errore;
        HRESULT hr = CaricaLibreria(percorso, lib, errore);
        if (FAILED(hr)) return ole::HresultConDescrizione(hr, errore);
        hr = lib.getClassObject(rclsid, riid, ppv);
        if (hr == CLASS_E_CLASSNOTAVAILABLE)
            return ole::HresultConDescrizione(
                hr, "La libreria \"" + percorso + "\" non fornisce la classe " + testo);
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    IClassFactory* fabbrica = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&fabbrica));
    if (FAILED(hr)) return hr;
    if (!fabbrica) return E_UNEXPECTED;
    hr = fabbrica->CreateInstance(nullptr, riid, ppv);
    fabbrica->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries() {}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    *lpclsid = CLSID_NULL;
    try {
        std::string testo;
        LONG codice = 0;
        Esito e = LeggiPredefinito(ole::Utf16InUtf8(lpszProgID) + "\\CLSID", testo, codice);
        if (e == Esito::Errore) return REGDB_E_READREGDB;
        if (e == Esito::Assente) return CO_E_CLASSSTRING;
        std::u16string t = ole::Utf8InUtf16(testo);
        return FAILED(CLSIDFromString(t.c_str(), lpclsid)) ? CO_E_CLASSSTRING : S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // extern "C"
