// clsConti and clsCassa: one account, one cash code. Plain data, no behaviour, except
// that the account of a cash code is created the first time it is read while none is set.
#include "oggetti.h"
#include "ole/server.hpp"

namespace tessadati {

namespace {

using ole::Argomenti;
using ole::Membro;

_clsConti* Conti(IDispatch* o) noexcept { return static_cast<_clsConti*>(o); }
_clsCassa* Cassa(IDispatch* o) noexcept { return static_cast<_clsCassa*>(o); }

const Membro kMembriConti[] = {
    {"IDConto", DISPID_clsConti_IDConto, DISPATCH_PROPERTYGET, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         r.vt = VT_I4;
         return Conti(o)->get_IDConto(&r.lVal);
     }},
    {"IDConto", DISPID_clsConti_IDConto, DISPATCH_PROPERTYPUT, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) {
         LONG* v;
         if (HRESULT hr = a.Valore(0, VT_I4, v); FAILED(hr)) return hr;
         return Conti(o)->put_IDConto(*v);
     }},
    {"Conto", DISPID_clsConti_Conto, DISPATCH_PROPERTYGET, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         r.vt = VT_BSTR;
         r.bstrVal = nullptr;
         return Conti(o)->get_Conto(&r.bstrVal);
     }},
    {"Conto", DISPID_clsConti_Conto, DISPATCH_PROPERTYPUT, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) {
         BSTR* v;
         if (HRESULT hr = a.Valore(0, VT_BSTR, v); FAILED(hr)) return hr;
         return Conti(o)->put_Conto(*v);
     }},
};

HRESULT ImpostaContoDaArgomento(IDispatch* o, Argomenti& a) {
    IDispatch** v;
    if (HRESULT hr = a.Indirizzo(0, VT_DISPATCH, v); FAILED(hr)) return hr;
    ole::ComPtr<_clsConti> conto;
    if (*v && FAILED((*v)->QueryInterface(IID__clsConti, conto.put_void())))
        return DISP_E_TYPEMISMATCH;
    _clsConti* p = conto.get();
    return Cassa(o)->putref_Conto(&p);
}

const Membro kMembriCassa[] = {
    {"Conto", DISPID_clsCassa_Conto, DISPATCH_PROPERTYGET, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         _clsConti* p = nullptr;
         const HRESULT hr = Cassa(o)->get_Conto(&p);
         if (SUCCEEDED(hr)) {
             r.vt = VT_DISPATCH;
             r.pdispVal = p;
         }
         return hr;
     }},
    // An object property is set by reference; a plain write of an object means the same.
    {"Conto", DISPID_clsCassa_Conto, DISPATCH_PROPERTYPUTREF | DISPATCH_PROPERTYPUT, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) { return ImpostaContoDaArgomento(o, a); }},
    {"IDCassa", DISPID_clsCassa_IDCassa, DISPATCH_PROPERTYGET, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         r.vt = VT_I4;
         return Cassa(o)->get_IDCassa(&r.lVal);
     }},
    {"IDCassa", DISPID_clsCassa_IDCassa, DISPATCH_PROPERTYPUT, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) {
         LONG* v;
         if (HRESULT hr = a.Valore(0, VT_I4, v); FAILED(hr)) return hr;
         return Cassa(o)->put_IDCassa(*v);
     }},
    {"Cassa", DISPID_clsCassa_Cassa, DISPATCH_PROPERTYGET, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) { return Cassa(o)->get_Cassa(&r); }},
    {"Cassa", DISPID_clsCassa_Cassa, DISPATCH_PROPERTYPUT, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) {
         VARIANT* v;
         if (HRESULT hr = a.Indirizzo(0, VT_VARIANT, v); FAILED(hr)) return hr;
         return Cassa(o)->put_Cassa(v);
     }},
    {"Cassa", DISPID_clsCassa_Cassa, DISPATCH_PROPERTYPUTREF, 1,
     [](IDispatch* o, Argomenti& a, VARIANT&) {
         VARIANT* v;
         if (HRESULT hr = a.Indirizzo(0, VT_VARIANT, v); FAILED(hr)) return hr;
         return Cassa(o)->putref_Cassa(v);
     }},
};

}  // namespace

// ---------------------------------------------------------------------------------------
// clsConti
// ---------------------------------------------------------------------------------------
void* ClsConti::trova(REFIID riid) noexcept {
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID__clsConti))
        return static_cast<_clsConti*>(this);
    if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

STDMETHODIMP ClsConti::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID__clsConti) ? S_OK : S_FALSE;
}
std::span<const ole::Membro> ClsConti::membri() const noexcept { return kMembriConti; }

STDMETHODIMP ClsConti::get_IDConto(LONG* result) {
    if (!result) return E_POINTER;
    *result = id_conto_;
    return S_OK;
}
STDMETHODIMP ClsConti::put_IDConto(LONG valore) {
    id_conto_ = valore;
    return S_OK;
}
STDMETHODIMP ClsConti::get_Conto(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi([&] { *result = conto_.copia(); }, "Tessadati.clsConti");
}
STDMETHODIMP ClsConti::put_Conto(BSTR valore) {
    return ole::Proteggi(
        [&] {
            conto_ = ole::Bstr(std::u16string_view(valore ? valore : u"", SysStringLen(valore)));
        },
        "Tessadati.clsConti");
}

// ---------------------------------------------------------------------------------------
// clsCassa
// ---------------------------------------------------------------------------------------
void* ClsCassa::trova(REFIID riid) noexcept {
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID__clsCassa))
        return static_cast<_clsCassa*>(this);
    if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

STDMETHODIMP ClsCassa::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID__clsCassa) ? S_OK : S_FALSE;
}
std::span<const ole::Membro> ClsCassa::membri() const noexcept { return kMembriCassa; }

STDMETHODIMP ClsCassa::get_Conto(_clsConti** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi(
        [&] {
            if (!conto_) conto_ = ole::CreaOggetto<ClsConti, _clsConti>();
            conto_->AddRef();
            *result = conto_.get();
        },
        "Tessadati.clsCassa");
}
STDMETHODIMP ClsCassa::SlotNonPubblicato() { return E_NOTIMPL; }
STDMETHODIMP ClsCassa::putref_Conto(_clsConti** valore) {
    if (!valore) return E_POINTER;
    conto_ = ole::ComPtr<_clsConti>(*valore);
    return S_OK;
}
STDMETHODIMP ClsCassa::get_IDCassa(LONG* result) {
    if (!result) return E_POINTER;
    *result = id_cassa_;
    return S_OK;
}
STDMETHODIMP ClsCassa::put_IDCassa(LONG valore) {
    id_cassa_ = valore;
    return S_OK;
}
STDMETHODIMP ClsCassa::get_Cassa(VARIANT* result) {
    if (!result) return E_POINTER;
    VariantInit(result);
    return VariantCopy(result, cassa_.get());
}
STDMETHODIMP ClsCassa::put_Cassa(VARIANT* valore) {
    if (!valore) return E_POINTER;
    ole::Variante nuovo;
    const HRESULT hr = VariantCopyInd(nuovo.get(), valore);
    if (SUCCEEDED(hr)) cassa_ = std::move(nuovo);
    return hr;
}
STDMETHODIMP ClsCassa::putref_Cassa(VARIANT* valore) { return put_Cassa(valore); }

}  // namespace tessadati
