// Helpers shared by the tests of the data component and of the host-integration
// component: failures as they cross an interface, a library loaded by path, registry values, and Invoke with arguments in the
// order they are written.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ole/automation.h"
#include "ole/ole.hpp"
#include "win/registry.h"
#include "file_prova.h"

namespace prova {

// The HRESULT an error of number n travels as.
constexpr HRESULT Errore(int numero) { return MAKE_HRESULT(1, FACILITY_CONTROL, numero); }

// The description in the thread's error info, consuming it ("" when there is none).
inline std::string Descrizione() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    ole::Bstr d;
    info->GetDescription(d.put());
    info->Release();
    return d.utf8();
}

// The description carried by an EXCEPINFO, freeing its texts.
inline std::string DescrizioneEccezione(EXCEPINFO& ei) {
    std::string r = ole::Utf8DaBstr(ei.bstrDescription);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrHelpFile);
    ei = EXCEPINFO{};
    return r;
}

// GetIDsOfNames answers each name of the table with its dispatch id, whatever its case;
// a name with id DISPID_UNKNOWN is refused.
struct NomeDispatch {
    const char* nome;
    DISPID id;
};
template <std::size_t N>
void ControllaNomi(IDispatch* d, const NomeDispatch (&nomi)[N]) {
    for (const auto& n : nomi) {
        std::u16string s = ole::Utf8InUtf16(n.nome);
        LPOLESTR p = s.data();
        DISPID id = 0;
        EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &p, 1, 0, &id),
                  n.id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK)
            << n.nome;
        EXPECT_EQ(id, n.id) << n.nome;
    }
}

// A library loaded by path, its entry points called by name.
class Libreria {
public:
    explicit Libreria(const char* percorso) : h_(::dlopen(percorso, RTLD_NOW)) {
        if (!h_) throw std::runtime_error(::dlerror());
    }
    ~Libreria() { ::dlclose(h_); }
    Libreria(const Libreria&) = delete;
    Libreria& operator=(const Libreria&) = delete;
    void* Simbolo(const char* nome) const { return ::dlsym(h_, nome); }
    // E_FAIL when the entry point is missing.
    HRESULT Chiama(const char* nome) const {
        auto f = reinterpret_cast<HRESULT (*)()>(Simbolo(nome));
        return f ? f() : E_FAIL;
    }

private:
    void* h_;
};

// The text of a REG_SZ value (its terminating NUL dropped), or "<assente>".
inline std::string LeggiValore(HKEY radice, const std::string& chiave, const char* nome) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(radice, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<assente>";
    char dati[4096];
    DWORD dimensione = sizeof dati;
    DWORD tipo = 0;
    const LONG e =
        RegQueryValueExA(h, nome, nullptr, &tipo, reinterpret_cast<BYTE*>(dati), &dimensione);
    RegCloseKey(h);
    if (e != ERROR_SUCCESS || tipo != REG_SZ) return "<assente>";
    return std::string(dati,
                       dimensione > 0 && dati[dimensione - 1] == 0 ? dimensione - 1 : dimensione);
}

inline bool EsisteChiave(HKEY radice, const std::string& chiave) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(radice, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Writes a value (REG_SZ data carries its NUL unless `terminato` is false); false on failure.
inline bool ScriviValore(HKEY radice, const std::string& chiave, const char* nome,
                         const std::string& dato, DWORD tipo = REG_SZ, bool terminato = true) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(radice, chiave.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG e = RegSetValueExA(h, nome, 0, tipo, reinterpret_cast<const BYTE*>(dato.c_str()),
                                  static_cast<DWORD>(dato.size() + (terminato ? 1 : 0)));
    RegCloseKey(h);
    return e == ERROR_SUCCESS;
}

// The host "installed": its two folders recorded where it keeps them.
inline bool InstallaHost(const std::string& programma, const std::string& dati) {
    return ScriviValore(HKEY_CURRENT_USER, "Software\\Mirtesa\\Percorsi", "Programma", programma) &&
           ScriviValore(HKEY_CURRENT_USER, "Software\\Mirtesa\\Percorsi", "Dati", dati);
}

// IDispatch::Invoke with the arguments in the order they are written (DISPPARAMS takes
// them last first); a property put names its argument DISPID_PROPERTYPUT.
inline HRESULT Invoca(IDispatch* d, DISPID id, WORD flag,
                      std::initializer_list<const VARIANT*> argomenti, VARIANT* risultato = nullptr,
                      EXCEPINFO* eccezione = nullptr, UINT* errore_argomento = nullptr) {
    std::vector<VARIANT> rg;
    for (auto it = argomenti.end(); it != argomenti.begin();) rg.push_back(**--it);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p{rg.data(), nullptr, static_cast<UINT>(rg.size()), 0};
    if (flag & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        p.rgdispidNamedArgs = &put;
        p.cNamedArgs = 1;
    }
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flag, &p, risultato, eccezione,
                     errore_argomento);
}

// A variant that refers to `v` (VT_BYREF | VT_VARIANT).
inline VARIANT Riferimento(VARIANT* v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BYREF | VT_VARIANT;
    r.pvarVal = v;
    return r;
}

// The elements of a collection (1-based), each asked for interface `iid`.
template <class T>
std::vector<ole::ComPtr<T>> Elementi(_Collection* c, REFIID iid) {
    std::vector<ole::ComPtr<T>> r;
    LONG n = 0;
    if (!c || c->Count(&n) != S_OK) return r;
    for (LONG i = 1; i <= n; ++i) {
        ole::Variante indice = ole::Variante::I4(i), elemento;
        if (c->Item(indice.get(), elemento.put()) != S_OK || elemento.vt() != VT_DISPATCH)
            return {};
        r.push_back(ole::ComPtr<IDispatch>(elemento->pdispVal).template as<T>(iid));
    }
    return r;
}

// A suite of client tests of one component library: a registry of its own in a temporary
// folder, the library registered there and the runtime started, once for the suite. The
// suite names its folder and library as static members kCartella and kLibreria.
template <class Suite>
class SuiteComponente : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = std::make_unique<Cartella>(Suite::kCartella);
        cartella_->UsaPerIlRegistro();
        libreria_ = std::make_unique<Libreria>(Suite::kLibreria);
        ASSERT_EQ(libreria_->Chiama("DllRegisterServer"), S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        libreria_.reset();
        cartella_.reset();
    }

    static inline std::unique_ptr<Cartella> cartella_;
    static inline std::unique_ptr<Libreria> libreria_;
};

}  // namespace prova
