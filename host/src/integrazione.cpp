// Mirtesa.Integrazione: the dual interface over the registry look-ups of percorsi.cpp.
// Each method turns a failure into an HRESULT with its description in the error info;
// Invoke reaches the same methods by dispatch id.
#include "integrazione.h"

#include <iterator>
#include <string_view>

#include "ole/server.hpp"
#include "percorsi.h"

namespace mirtesahost {

namespace {

constexpr std::string_view kSorgente = "Mirtesa.Integrazione";

struct Membro {
    const char* nome;
    DISPID id;
    UINT argomenti;
};
constexpr Membro kMembri[] = {
    {"Versione", DISPID_MirtesaIntegrazione_Versione, 0},
    {"Installato", DISPID_MirtesaIntegrazione_Installato, 0},
    {"PercorsoProgramma", DISPID_MirtesaIntegrazione_PercorsoProgramma, 0},
    {"PercorsoDati", DISPID_MirtesaIntegrazione_PercorsoDati, 0},
    {"RegistraModulo", DISPID_MirtesaIntegrazione_RegistraModulo, 3},
};

class Integrazione final : public ole::Oggetto<IMirtesaIntegrazione, ISupportErrorInfo> {
public:
    Integrazione() noexcept : Oggetto(&Contatore()) {}

    // IDispatch: no type information is published; names and ids come from kMembri.
    STDMETHODIMP GetTypeInfoCount(UINT* quante) override { return ole::NessunaInfoTipoConteggio(quante); }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return ole::NessunaInfoTipo(info); }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* nomi, UINT quanti, LCID, DISPID* id) override {
        return ole::IdDaNomi(kMembri, riid, nomi, quanti, id);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flag, DISPPARAMS* parametri, VARIANT* risultato,
                        EXCEPINFO* eccezione, UINT* errore_argomento) override;

    // IMirtesaIntegrazione
    STDMETHODIMP Versione(BSTR* result) override {
        return Testo(result, [] { return VersioneProgramma(); });
    }
    STDMETHODIMP Installato(VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        *result = VARIANT_FALSE;
        return ole::Proteggi([&] { *result = mirtesahost::Installato() ? VARIANT_TRUE : VARIANT_FALSE; },
                             kSorgente);
    }
    STDMETHODIMP PercorsoProgramma(BSTR* result) override {
        return Testo(result, [] { return CartellaProgramma(); });
    }
    STDMETHODIMP PercorsoDati(BSTR* result) override {
        return Testo(result, [] { return CartellaDati(); });
    }
    STDMETHODIMP RegistraModulo(BSTR percorso, BSTR titolo, BSTR descrizione, VARIANT_BOOL* result) override {
        if (!result) return E_POINTER;
        *result = VARIANT_FALSE;
        return ole::Proteggi(
            [&] {
                const bool cambiato = mirtesahost::RegistraModulo(ole::Utf8DaBstr(percorso), ole::Utf8DaBstr(titolo),
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

STDMETHODIMP Integrazione::Invoke(DISPID id, REFIID riid, LCID, WORD flag, DISPPARAMS* parametri,
                                  VARIANT* risultato, EXCEPINFO* eccezione, UINT* errore_argomento) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS nessuno{};
    if (!parametri) parametri = &nessuno;
    if (parametri->cArgs > 0 && !parametri->rgvarg) return E_INVALIDARG;

    const Membro* membro = nullptr;
    for (const auto& m : kMembri)
        if (m.id == id) membro = &m;
    // Every member is a function: a call, or a read of its value as a property.
    if (!membro || !(flag & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (parametri->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
    if (parametri->cArgs != membro->argomenti) return DISP_E_BADPARAMCOUNT;

    ole::Variante valore;
    VARIANT* v = valore.get();
    HRESULT hr = S_OK;
    switch (id) {
        case DISPID_MirtesaIntegrazione_Versione:
            hr = Versione(&v->bstrVal);
            if (SUCCEEDED(hr)) v->vt = VT_BSTR;
            break;
        case DISPID_MirtesaIntegrazione_Installato:
            hr = Installato(&v->boolVal);
            if (SUCCEEDED(hr)) v->vt = VT_BOOL;
            break;
        case DISPID_MirtesaIntegrazione_PercorsoProgramma:
            hr = PercorsoProgramma(&v->bstrVal);
            if (SUCCEEDED(hr)) v->vt = VT_BSTR;
            break;
        case DISPID_MirtesaIntegrazione_PercorsoDati:
            hr = PercorsoDati(&v->bstrVal);
            if (SUCCEEDED(hr)) v->vt = VT_BSTR;
            break;
        case DISPID_MirtesaIntegrazione_RegistraModulo: {
            ole::Variante testi[3];
            for (UINT i = 0; i < std::size(testi); ++i) {
                const HRESULT a = ole::ArgomentoDispatch(parametri, i, VT_BSTR, testi[i].put(), errore_argomento);
                if (FAILED(a)) return a;
            }
            hr = RegistraModulo(testi[0]->bstrVal, testi[1]->bstrVal, testi[2]->bstrVal, &v->boolVal);
            if (SUCCEEDED(hr)) v->vt = VT_BOOL;
            break;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
    if (FAILED(hr)) return ole::EccezioneInvoke(hr, eccezione);
    if (risultato) {
        VariantInit(risultato);
        *risultato = valore.detach();
    }
    return S_OK;
}

}  // namespace

ole::ContatoreOggetti& Contatore() noexcept {
    static ole::ContatoreOggetti contatore;
    return contatore;
}

ole::ComPtr<IMirtesaIntegrazione> CreaIntegrazione() {
    return ole::CreaOggetto<Integrazione, IMirtesaIntegrazione>();
}

}  // namespace mirtesahost
