// Mirtesa.Integrazione: the dual interface over the registry look-ups of percorsi.cpp.
// Each method turns a failure into an HRESULT with its description in the error info;
// Invoke reaches the same methods through the runtime's member table.
#include "integrazione.h"

#include <string_view>

#include "ole/server.hpp"
#include "percorsi.h"

namespace mirtesahost {

namespace {

constexpr std::string_view kSorgente = "Mirtesa.Integrazione";
constexpr WORD kLettura = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

extern const ole::Membro kMembri[5];

class Integrazione final : public ole::OggettoDispatch<IMirtesaIntegrazione, ISupportErrorInfo> {
public:
    Integrazione() noexcept : OggettoDispatch(&Contatore()) {}

    // IMirtesaIntegrazione
    STDMETHODIMP Versione(BSTR* result) override {
        return Testo(result, [] { return VersioneProgramma(); });
    }
    STDMETHODIMP Installato(VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        *result = VARIANT_FALSE;
        return ole::Proteggi(
            [&] { *result = mirtesahost::Installato() ? VARIANT_TRUE : VARIANT_FALSE; }, kSorgente);
    }
    STDMETHODIMP PercorsoProgramma(BSTR* result) override {
        return Testo(result, [] { return CartellaProgramma(); });
    }
    STDMETHODIMP PercorsoDati(BSTR* result) override {
        return Testo(result, [] { return CartellaDati(); });
    }
    STDMETHODIMP RegistraModulo(BSTR percorso, BSTR titolo, BSTR descrizione,
                                VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        *result = VARIANT_FALSE;
        return ole::Proteggi(
            [&] {
                const bool cambiato =
                    mirtesahost::RegistraModulo(ole::Utf8DaBstr(percorso), ole::Utf8DaBstr(titolo),
                                                ole::Utf8DaBstr(descrizione));
                *result = cambiato ? VARIANT_TRUE : VARIANT_FALSE;
            },
            kSorgente);
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_IMirtesaIntegrazione) ? S_OK : S_FALSE;
    }

private:
    ~Integrazione() override = default;

    std::span<const ole::Membro> membri() const noexcept override { return kMembri; }
    void* trova(REFIID riid) noexcept override {
        if (IsEqualIID(riid, IID_IMirtesaIntegrazione) || IsEqualIID(riid, IID_IDispatch))
            return static_cast<IMirtesaIntegrazione*>(this);
        if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
        return nullptr;
    }

    template <class F>
    static HRESULT Testo(BSTR* result, F&& leggi) noexcept {
        if (!result) return E_POINTER;
        *result = nullptr;
        return ole::Proteggi([&] { *result = ole::BstrDaUtf8(leggi()); }, kSorgente);
    }
};

IMirtesaIntegrazione* Host(IDispatch* o) noexcept { return static_cast<IMirtesaIntegrazione*>(o); }

// A text query: the result as a VT_BSTR.
template <HRESULT (STDMETHODCALLTYPE IMirtesaIntegrazione::*Metodo)(BSTR*)>
HRESULT LeggiTesto(IDispatch* o, ole::Argomenti&, VARIANT& r) {
    r.vt = VT_BSTR;
    r.bstrVal = nullptr;
    return (Host(o)->*Metodo)(&r.bstrVal);
}

// Every member is a function: a call, or a read of its value as a property. The texts
// of RegistraModulo come by value.
const ole::Membro kMembri[5] = {
    {"Versione", DISPID_MirtesaIntegrazione_Versione, kLettura, 0,
     LeggiTesto<&IMirtesaIntegrazione::Versione>},
    {"Installato", DISPID_MirtesaIntegrazione_Installato, kLettura, 0,
     [](IDispatch* o, ole::Argomenti&, VARIANT& r) {
         r.vt = VT_BOOL;
         return Host(o)->Installato(&r.boolVal);
     }},
    {"PercorsoProgramma", DISPID_MirtesaIntegrazione_PercorsoProgramma, kLettura, 0,
     LeggiTesto<&IMirtesaIntegrazione::PercorsoProgramma>},
    {"PercorsoDati", DISPID_MirtesaIntegrazione_PercorsoDati, kLettura, 0,
     LeggiTesto<&IMirtesaIntegrazione::PercorsoDati>},
    {"RegistraModulo", DISPID_MirtesaIntegrazione_RegistraModulo, kLettura, 3,
     [](IDispatch* o, ole::Argomenti& a, VARIANT& r) {
         BSTR* testi[3];
         for (UINT i = 0; i < 3; ++i)
             if (HRESULT hr = a.Valore(i, VT_BSTR, testi[i]); FAILED(hr)) return hr;
         r.vt = VT_BOOL;
         return Host(o)->RegistraModulo(*testi[0], *testi[1], *testi[2], &r.boolVal);
     }},
};

}  // namespace

ole::ContatoreOggetti& Contatore() noexcept {
    static ole::ContatoreOggetti contatore;
    return contatore;
}

ole::ComPtr<IMirtesaIntegrazione> CreaIntegrazione() {
    return ole::CreaOggetto<Integrazione, IMirtesaIntegrazione>();
}

}  // namespace mirtesahost
