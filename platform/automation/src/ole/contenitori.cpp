// The C++ holders (Bstr, Variante), thread initialisation and the dispatch error helpers.
#include "interno.h"

#include <cstring>
#include <vector>

namespace ole {

// ---------------------------------------------------------------------------------------
// Bstr
// ---------------------------------------------------------------------------------------
namespace {
BSTR Duplica(BSTR b) {
    if (!b) return nullptr;
    BSTR c = SysAllocStringByteLen(reinterpret_cast<const char*>(b), SysStringByteLen(b));
    if (!c) throw std::bad_alloc();
    return c;
}
}  // namespace

Bstr::Bstr(std::u16string_view utf16) {
    if (utf16.size() > 0x7FFFFFF0u) throw std::bad_alloc();
    b_ = SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()));
    if (!b_) throw std::bad_alloc();
}

Bstr::Bstr(const Bstr& o) : b_(Duplica(o.b_)) {}

Bstr& Bstr::operator=(const Bstr& o) {
    if (this != &o) attach(Duplica(o.b_));
    return *this;
}

Bstr& Bstr::operator=(Bstr&& o) noexcept {
    if (this != &o) attach(o.detach());
    return *this;
}

BSTR Bstr::copia() const {
    BSTR c = b_ ? Duplica(b_) : SysAllocStringLen(nullptr, 0);
    if (!c) throw std::bad_alloc();
    return c;
}

// ---------------------------------------------------------------------------------------
// Variante
// ---------------------------------------------------------------------------------------
Variante::Variante(const VARIANT& v) {
    VariantInit(&v_);
    Verifica(VariantCopy(&v_, &v));
}

Variante& Variante::operator=(const Variante& o) {
    if (this != &o) Verifica(VariantCopy(&v_, &o.v_));
    return *this;
}

Variante& Variante::operator=(Variante&& o) noexcept {
    if (this != &o) {
        VariantClear(&v_);
        v_ = o.v_;
        VariantInit(&o.v_);
    }
    return *this;
}

Variante Variante::Null() noexcept {
    Variante r;
    r.v_.vt = VT_NULL;
    return r;
}

Variante Variante::Mancante() noexcept {
    Variante r;
    r.v_.vt = VT_ERROR;
    r.v_.scode = DISP_E_PARAMNOTFOUND;
    return r;
}

Variante Variante::I2(SHORT x) noexcept {
    Variante r;
    r.v_.vt = VT_I2;
    r.v_.iVal = x;
    return r;
}

Variante Variante::I4(LONG x) noexcept {
    Variante r;
    r.v_.vt = VT_I4;
    r.v_.lVal = x;
    return r;
}

Variante Variante::R8(double x) noexcept {
    Variante r;
    r.v_.vt = VT_R8;
    r.v_.dblVal = x;
    return r;
}

Variante Variante::Data(DATE x) noexcept {
    Variante r;
    r.v_.vt = VT_DATE;
    r.v_.date = x;
    return r;
}

Variante Variante::Booleano(bool x) noexcept {
    Variante r;
    r.v_.vt = VT_BOOL;
    r.v_.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

Variante Variante::Valuta(std::int64_t scalato) noexcept {
    Variante r;
    r.v_.vt = VT_CY;
    r.v_.cyVal.int64 = scalato;
    return r;
}

Variante Variante::Testo(std::string_view utf8) {
    Variante r;
    r.v_.bstrVal = BstrDaUtf8(utf8);
    r.v_.vt = VT_BSTR;
    return r;
}

Variante Variante::Oggetto(IDispatch* p) noexcept {
    Variante r;
    if (p) p->AddRef();
    r.v_.vt = VT_DISPATCH;
    r.v_.pdispVal = p;
    return r;
}

Variante Variante::Oggetto(IUnknown* p) noexcept {
    Variante r;
    if (p) p->AddRef();
    r.v_.vt = VT_UNKNOWN;
    r.v_.punkVal = p;
    return r;
}

Variante Variante::Array(SAFEARRAY* psa) noexcept {
    Variante r;
    VARTYPE vt = VT_VARIANT;
    if (!psa || FAILED(SafeArrayGetVartype(psa, &vt))) vt = VT_VARIANT;
    r.v_.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    r.v_.parray = psa;
    return r;
}

// ---------------------------------------------------------------------------------------
// Inizializza, Collection
// ---------------------------------------------------------------------------------------
Inizializza::Inizializza() { Verifica(CoInitialize(nullptr)); }

ComPtr<_Collection> NuovaCollection() {
    ComPtr<_Collection> c;
    Verifica(VqCreateCollection(c.put()));
    return c;
}

// ---------------------------------------------------------------------------------------
// Dispatch errors
// ---------------------------------------------------------------------------------------
HRESULT EccezioneInvoke(HRESULT hr, EXCEPINFO* ei) noexcept {
    if (SUCCEEDED(hr) || !ei) return hr;
    std::memset(ei, 0, sizeof *ei);
    ei->scode = hr;
    ComPtr<IErrorInfo> info;
    GetErrorInfo(0, info.put());
    if (info) {
        info->GetDescription(&ei->bstrDescription);
        info->GetSource(&ei->bstrSource);
        info->GetHelpFile(&ei->bstrHelpFile);
        info->GetHelpContext(&ei->dwHelpContext);
    } else {
        try {
            ei->bstrDescription = BstrDaUtf8(DescrizioneHresult(hr));
        } catch (...) {
            ei->bstrDescription = nullptr;
        }
    }
    return DISP_E_EXCEPTION;
}

HRESULT VerificaInvoke(HRESULT hr, EXCEPINFO& ei) {
    if (hr != DISP_E_EXCEPTION) return Verifica(hr);
    if (ei.pfnDeferredFillIn) {
        ei.pfnDeferredFillIn(&ei);
        ei.pfnDeferredFillIn = nullptr;
    }
    Bstr descrizione = Bstr::Adotta(std::exchange(ei.bstrDescription, nullptr));
    Bstr sorgente = Bstr::Adotta(std::exchange(ei.bstrSource, nullptr));
    Bstr guida = Bstr::Adotta(std::exchange(ei.bstrHelpFile, nullptr));
    // wCode carries a number of the caller's own when scode is 0.
    const HRESULT origine =
        ei.scode != 0 ? ei.scode
                      : (ei.wCode != 0 ? MAKE_HRESULT(1, FACILITY_CONTROL, ei.wCode) : E_FAIL);
    std::int32_t numero = HRESULT_FACILITY(origine) == FACILITY_CONTROL
                              ? static_cast<std::int32_t>(HRESULT_CODE(origine))
                              : origine;
    std::string testo = descrizione.utf8();
    if (testo.empty()) testo = DescrizioneHresult(origine);
    vq::Solleva(numero, std::move(testo));
}

Variante Invoca(IDispatch* d, DISPID id, WORD flags,
                std::initializer_list<const VARIANT*> argomenti) {
    if (!d) Verifica(E_POINTER);
    // rgvarg holds the arguments last first; they are shallow copies, owned by the caller.
    std::vector<VARIANT> rg(argomenti.size());
    std::size_t k = argomenti.size();
    for (const VARIANT* a : argomenti) {
        if (!a) Verifica(E_POINTER);
        rg[--k] = *a;
    }
    DISPID put = DISPID_PROPERTYPUT;
    const bool scrittura = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS p{rg.empty() ? nullptr : rg.data(), scrittura ? &put : nullptr,
                 static_cast<UINT>(rg.size()), scrittura ? 1u : 0u};
    Variante r;
    EXCEPINFO ei{};
    UINT errArg = 0;
    VerificaInvoke(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &p,
                             scrittura ? nullptr : r.put(), &ei, &errArg),
                   ei);
    return r;
}

DISPID IdDaNome(IDispatch* d, std::string_view nome) {
    if (!d) Verifica(E_POINTER);
    std::u16string n = Utf8InUtf16(nome);
    LPOLESTR nomi[1] = {n.data()};
    DISPID id = DISPID_UNKNOWN;
    Verifica(d->GetIDsOfNames(IID_NULL, nomi, 1, LOCALE_USER_DEFAULT, &id));
    return id;
}

}  // namespace ole
