#include "dispatch.h"

#include "ole/ole.hpp"
#include "vq/invariante.h"

namespace tessadati {

namespace {

constexpr VARTYPE kArrayVarianti = VT_ARRAY | VT_VARIANT;

}  // namespace

Argomenti::Argomenti(const DISPPARAMS& parametri, UINT* errore_argomento) noexcept
    : parametri_(parametri), errore_argomento_(errore_argomento) {
    // Addresses handed out stay valid: at most one copy per argument.
    copie_.reserve(parametri.cArgs);
}

Argomenti::~Argomenti() {
    for (auto& c : copie_) {
        if (c.valore.vt == kArrayVarianti && !c.valore.parray) c.valore.vt = VT_EMPTY;
        VariantClear(&c.valore);
    }
}

VARIANT& Argomenti::Originale(UINT i) const noexcept {
    return parametri_.rgvarg[parametri_.cArgs - 1 - i];
}

HRESULT Argomenti::Fallisce(UINT i, HRESULT hr) noexcept {
    fallito_ = true;
    if (errore_argomento_) *errore_argomento_ = parametri_.cArgs - 1 - i;
    return hr;
}

HRESULT Argomenti::Indirizzo(UINT i, VARTYPE vt, void** indirizzo) {
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

    Copia c{};
    VariantInit(&c.valore);
    c.destinazione = variante_per_rif ? a.pvarVal : nullptr;
    c.tipo = vt;
    if (vt == kArrayVarianti) {
        // An array of variants: an existing one is passed in place, an empty variant
        // counts as no array yet.
        if (sorgente.vt == kArrayVarianti && variante_per_rif) {
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
    VQ_INVARIANTE(copie_.size() < copie_.capacity());  // no reallocation: earlier addresses stay valid
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

HRESULT InvocaMembro(std::span<const Membro> membri, IDispatch* oggetto, DISPID id,
                     REFIID riid, WORD flag, DISPPARAMS* parametri, VARIANT* risultato,
                     EXCEPINFO* eccezione, UINT* errore_argomento) noexcept {
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
    if (parametri->cArgs != membro->argomenti) return DISP_E_BADPARAMCOUNT;

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
    if (SUCCEEDED(hr)) {
        if (risultato)
            *risultato = valore;
        else
            VariantClear(&valore);
        return S_OK;
    }
    VariantClear(&valore);
    if (!eccezione) return hr;

    // The method left its error in the thread's error info; the caller of Invoke gets it
    // in EXCEPINFO as well, and the error info stays for GetErrorInfo.
    *eccezione = EXCEPINFO{};
    eccezione->scode = hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->GetDescription(&eccezione->bstrDescription);
        info->GetSource(&eccezione->bstrSource);
        SetErrorInfo(0, info);
        info->Release();
    } else {
        try {
            eccezione->bstrDescription = ole::BstrDaUtf8(ole::DescrizioneHresult(hr));
        } catch (...) {
            eccezione->bstrDescription = nullptr;
        }
    }
    return DISP_E_EXCEPTION;
}

}  // namespace tessadati
