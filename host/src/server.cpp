// The in-process server's entry points: the class object of Mirtesa.Integrazione, the
// answer to "may the library be unloaded now", and self-registration in the classes root
// of the registry (class id, programmatic id, the library's full path and its threading
// model).
#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "integrazione.h"
#include "win/registry.h"

namespace mirtesahost {

namespace {

std::atomic<long> g_blocchi{0};

class Fabbrica final : public ole::Oggetto<IClassFactory> {
public:
    Fabbrica() noexcept : Oggetto(&Contatore()) {}

    STDMETHODIMP CreateInstance(IUnknown* esterno, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (esterno) return CLASS_E_NOAGGREGATION;
        return ole::Proteggi([&] { return CreaIntegrazione()->QueryInterface(riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL blocca) override {
        if (blocca)
            g_blocchi.fetch_add(1);
        else
            g_blocchi.fetch_sub(1);
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }
};

const char* const kDescrizioneClasse = "Integrazione con Mirtesa";

std::string Testo(const GUID& g) {
    OLECHAR s[40];
    StringFromGUID2(g, s, 40);
    return ole::Utf16InUtf8(s);
}

// The full path of this library, as the loader found it.
std::string PercorsoLibreria() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&PercorsoLibreria), &info) || !info.dli_fname) return {};
    char assoluto[PATH_MAX];
    if (realpath(info.dli_fname, assoluto)) return assoluto;
    return info.dli_fname;
}

LONG ScriviChiave(const std::string& chiave, const std::vector<std::pair<const char*, std::string>>& valori) {
    HKEY h = nullptr;
    LONG e = RegCreateKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                             nullptr, &h, nullptr);
    if (e != ERROR_SUCCESS) return e;
    for (const auto& [nome, dato] : valori) {
        e = RegSetValueExA(h, nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(dato.c_str()),
                           static_cast<DWORD>(dato.size() + 1));
        if (e != ERROR_SUCCESS) break;
    }
    RegCloseKey(h);
    return e;
}

// The default value of a key of the classes root ("" when missing).
std::string Predefinito(const std::string& chiave) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
    char dati[64] = {};
    DWORD dimensione = sizeof dati - 1;
    DWORD tipo = REG_NONE;
    const LONG e = RegQueryValueExA(h, nullptr, nullptr, &tipo, reinterpret_cast<BYTE*>(dati), &dimensione);
    RegCloseKey(h);
    return e == ERROR_SUCCESS && tipo == REG_SZ ? std::string(dati) : std::string();
}

LONG Cancella() {
    const std::string clsid = Testo(CLSID_MirtesaIntegrazione);
    LONG primo = RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
    if (primo == ERROR_FILE_NOT_FOUND) primo = ERROR_SUCCESS;
    // The programmatic id goes only while it still names this class.
    const std::string progid = kMirtesaIntegrazioneProgId;
    if (Predefinito(progid + "\\CLSID") == clsid) {
        const LONG e = RegDeleteTreeA(HKEY_CLASSES_ROOT, progid.c_str());
        if (primo == ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) primo = e;
    }
    return primo;
}

LONG Registra() {
    const std::string percorso = PercorsoLibreria();
    if (percorso.empty()) return ERROR_FILE_NOT_FOUND;
    const std::string clsid = Testo(CLSID_MirtesaIntegrazione);
    const std::string progid = kMirtesaIntegrazioneProgId;
    const std::string chiave = "CLSID\\" + clsid;
    for (const auto& [k, valori] : std::vector<std::pair<std::string, std::vector<std::pair<const char*, std::string>>>>{
             {chiave, {{nullptr, kDescrizioneClasse}}},
             {chiave + "\\InprocServer32", {{nullptr, percorso}, {"ThreadingModel", "Apartment"}}},
             {chiave + "\\ProgID", {{nullptr, progid}}},
             {progid, {{nullptr, kDescrizioneClasse}}},
             {progid + "\\CLSID", {{nullptr, clsid}}},
         }) {
        const LONG e = ScriviChiave(k, valori);
        if (e != ERROR_SUCCESS) return e;
    }
    return ERROR_SUCCESS;
}

HRESULT Esito(LONG errore) noexcept {
    return errore == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<ULONG>(errore));
}

}  // namespace

}  // namespace mirtesahost

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_MirtesaIntegrazione)) return CLASS_E_CLASSNOTAVAILABLE;
    return ole::Proteggi([&] {
        auto fabbrica = ole::CreaOggetto<mirtesahost::Fabbrica, IClassFactory>();
        return fabbrica->QueryInterface(riid, ppv);
    });
}

STDAPI DllCanUnloadNow() {
    return mirtesahost::Contatore().vivi() == 0 && mirtesahost::g_blocchi.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    try {
        const LONG e = mirtesahost::Registra();
        // Half a registration is worse than none.
        if (e != ERROR_SUCCESS) mirtesahost::Cancella();
        return mirtesahost::Esito(e);
    } catch (...) {
        mirtesahost::Cancella();
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return mirtesahost::Esito(mirtesahost::Cancella());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
