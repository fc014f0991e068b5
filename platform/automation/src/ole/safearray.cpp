// SAFEARRAY: descriptors, element storage and element access.
//
// A descriptor is allocated with 16 bytes in front of it; the last 4 of them hold the
// element VARTYPE when FADF_HAVEVARTYPE is set, as on Windows. The bounds in
// rgsabound[] are stored rightmost dimension first; index arrays from callers list the
// leftmost dimension first, and the leftmost index varies fastest in memory.
#include "interno.h"
#include "ole/allocazione.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kTesta = 16;

SAFEARRAYBOUND* Limiti(SAFEARRAY* psa) {
    // Address arithmetic rather than indexing the declared one-element member: the
    // descriptor really holds cDims bounds.
    return reinterpret_cast<SAFEARRAYBOUND*>(reinterpret_cast<unsigned char*>(psa) +
                                             offsetof(SAFEARRAY, rgsabound));
}

unsigned char* Testa(SAFEARRAY* psa) { return reinterpret_cast<unsigned char*>(psa) - kTesta; }

void ScriviVartype(SAFEARRAY* psa, VARTYPE vt) {
    DWORD v = vt;
    std::memcpy(Testa(psa) + kTesta - sizeof(DWORD), &v, sizeof v);
}

VARTYPE LeggiVartype(SAFEARRAY* psa) {
    DWORD v;
    std::memcpy(&v, Testa(psa) + kTesta - sizeof(DWORD), sizeof v);
    return static_cast<VARTYPE>(v);
}

// Size of one element of an array of `vt`, 0 when arrays of it are not supported: the
// size of a scalar value, and also decimals and variants, which an array holds whole.
ULONG DimensioneElemento(VARTYPE vt) {
    switch (vt) {
        case VT_DECIMAL: return 16;
        case VT_VARIANT: return sizeof(VARIANT);
        default: return ole::interno::DimensioneValore(vt);
    }
}

USHORT CaratteristichePer(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR: return FADF_BSTR;
        case VT_DISPATCH: return FADF_DISPATCH;
        case VT_UNKNOWN: return FADF_UNKNOWN;
        case VT_VARIANT: return FADF_VARIANT;
        default: return 0;
    }
}

constexpr USHORT kProprietaNonLibera = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

// Number of elements; false on overflow of size_t (counting the bytes as well).
bool NumeroElementi(SAFEARRAY* psa, std::size_t& n) {
    std::size_t totale = 1;
    SAFEARRAYBOUND* b = Limiti(psa);
    for (USHORT i = 0; i < psa->cDims; ++i)
        if (__builtin_mul_overflow(totale, static_cast<std::size_t>(b[i].cElements), &totale))
            return false;
    std::size_t byte;
    if (__builtin_mul_overflow(totale, static_cast<std::size_t>(psa->cbElements), &byte))
        return false;
    // A block larger than the address space can hold is out of memory anyway.
    if (byte > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) return false;
    n = totale;
    return true;
}

std::size_t ElementiNoti(SAFEARRAY* psa) {
    std::size_t n = 0;
    NumeroElementi(psa, n);
    return n;
}

// Releases what the elements [da, a) own and zeroes them.
void LiberaElementi(SAFEARRAY* psa, std::size_t da, std::size_t a) {
    if (!psa->pvData) return;
    auto* base = static_cast<unsigned char*>(psa->pvData);
    if (psa->fFeatures & FADF_BSTR) {
        auto* p = reinterpret_cast<BSTR*>(base);
        for (std::size_t i = da; i < a; ++i) SysFreeString(std::exchange(p[i], nullptr));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* p = reinterpret_cast<IUnknown**>(base);
        for (std::size_t i = da; i < a; ++i)
            if (IUnknown* u = std::exchange(p[i], nullptr)) u->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* p = reinterpret_cast<VARIANT*>(base);
        for (std::size_t i = da; i < a; ++i) VariantClear(&p[i]);
    } else {
        std::memset(base + da * psa->cbElements, 0, (a - da) * psa->cbElements);
    }
}

// Offset (in elements) of an index list, leftmost dimension first; false when out of
// bounds.
bool Posizione(SAFEARRAY* psa, const LONG* indici, std::size_t& pos) {
    SAFEARRAYBOUND* b = Limiti(psa);
    std::size_t passo = 1, r = 0;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& lim = b[psa->cDims - 1 - d];
        std::int64_t rel = static_cast<std::int64_t>(indici[d]) - lim.lLbound;
        if (rel < 0 || rel >= static_cast<std::int64_t>(lim.cElements)) return false;
        r += static_cast<std::size_t>(rel) * passo;
        passo *= lim.cElements;
    }
    pos = r;
    return true;
}

HRESULT AllocaDescrittore(UINT cDims, SAFEARRAY** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (cDims == 0 || cDims > 0xFFFF) return E_INVALIDARG;
    std::size_t byte = kTesta + offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
    byte = (byte + 15) & ~std::size_t{15};
    auto* blocco = static_cast<unsigned char*>(ole::AllocaMemoriaAzzerata(byte));
    if (!blocco) return E_OUTOFMEMORY;
    auto* psa = reinterpret_cast<SAFEARRAY*>(blocco + kTesta);
    psa->cDims = static_cast<USHORT>(cDims);
    *out = psa;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
    return AllocaDescrittore(cDims, ppsaOut);
}

HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut) {
    ULONG dim = DimensioneElemento(vt);
    if (dim == 0) {
        if (ppsaOut) *ppsaOut = nullptr;
        return DISP_E_BADVARTYPE;
    }
    HRESULT hr = AllocaDescrittore(cDims, ppsaOut);
    if (FAILED(hr)) return hr;
    (*ppsaOut)->cbElements = dim;
    (*ppsaOut)->fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | CaratteristichePer(vt));
    ScriviVartype(*ppsaOut, vt);
    return S_OK;
}

HRESULT SafeArrayAllocData(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->pvData) return E_INVALIDARG;
    std::size_t n;
    if (!NumeroElementi(psa, n)) return E_OUTOFMEMORY;
    std::size_t byte = n * psa->cbElements;
    psa->pvData = ole::AllocaMemoriaAzzerata(byte == 0 ? 1 : byte);
    return psa->pvData ? S_OK : E_OUTOFMEMORY;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (!rgsabound) return nullptr;
    SAFEARRAY* psa = nullptr;
    if (FAILED(SafeArrayAllocDescriptorEx(vt, cDims, &psa))) return nullptr;
    SAFEARRAYBOUND* b = Limiti(psa);
    for (UINT i = 0; i < cDims; ++i) b[cDims - 1 - i] = rgsabound[i];
    if (FAILED(SafeArrayAllocData(psa))) {
        SafeArrayDestroyDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND b{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroyData(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    LiberaElementi(psa, 0, ElementiNoti(psa));
    if (!(psa->fFeatures & kProprietaNonLibera)) {
        ole::LiberaMemoria(psa->pvData);
        psa->pvData = nullptr;
    }
    return S_OK;
}

HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & kProprietaNonLibera) return S_OK;
    ole::LiberaMemoria(Testa(psa));
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    HRESULT hr = SafeArrayDestroyData(psa);
    if (FAILED(hr)) return hr;
    return SafeArrayDestroyDescriptor(psa);
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    SAFEARRAY* copia = nullptr;
    HRESULT hr = (psa->fFeatures & FADF_HAVEVARTYPE)
                     ? SafeArrayAllocDescriptorEx(LeggiVartype(psa), psa->cDims, &copia)
                     : SafeArrayAllocDescriptor(psa->cDims, &copia);
    if (FAILED(hr)) return hr;
    copia->cbElements = psa->cbElements;
    copia->fFeatures = static_cast<USHORT>(psa->fFeatures & ~kProprietaNonLibera);
    std::memcpy(Limiti(copia), Limiti(psa), psa->cDims * sizeof(SAFEARRAYBOUND));
    if (!psa->pvData) {
        *ppsaOut = copia;
        return S_OK;
    }
    hr = SafeArrayAllocData(copia);
    if (FAILED(hr)) {
        SafeArrayDestroyDescriptor(copia);
        return hr;
    }
    const std::size_t n = ElementiNoti(psa);
    if (psa->fFeatures & FADF_BSTR) {
        auto* da = static_cast<BSTR*>(psa->pvData);
        auto* a = static_cast<BSTR*>(copia->pvData);
        for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
            if (!da[i]) continue;
            a[i] = SysAllocStringByteLen(reinterpret_cast<const char*>(da[i]),
                                         SysStringByteLen(da[i]));
            if (!a[i]) hr = E_OUTOFMEMORY;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* da = static_cast<IUnknown**>(psa->pvData);
        auto* a = static_cast<IUnknown**>(copia->pvData);
        for (std::size_t i = 0; i < n; ++i)
            if ((a[i] = da[i]) != nullptr) a[i]->AddRef();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* da = static_cast<VARIANT*>(psa->pvData);
        auto* a = static_cast<VARIANT*>(copia->pvData);
        for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) hr = VariantCopy(&a[i], &da[i]);
    } else {
        std::memcpy(copia->pvData, psa->pvData, n * psa->cbElements);
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(copia);
        return hr;
    }
    *ppsaOut = copia;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = Limiti(psa)[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = Limiti(psa)[psa->cDims - nDim];
    std::int64_t u = static_cast<std::int64_t>(b.lLbound) + b.cElements - 1;
    if (u > std::numeric_limits<LONG>::max()) return DISP_E_OVERFLOW;
    *plUbound = static_cast<LONG>(u);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        *pvt = LeggiVartype(psa);
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else {
        *pvt = VT_EMPTY;
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks >= 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
    *ppvData = nullptr;
    if (!psa->pvData) return E_UNEXPECTED;
    std::size_t pos;
    if (!Posizione(psa, rgIndices, pos)) return DISP_E_BADINDEX;
    *ppvData = static_cast<unsigned char*>(psa->pvData) + pos * psa->cbElements;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!pv) return E_INVALIDARG;
    void* elem;
    HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &elem);
    if (FAILED(hr)) return hr;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR s = *static_cast<BSTR*>(elem);
        BSTR c = s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s))
                   : nullptr;
        if (s && !c) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = c;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* u = *static_cast<IUnknown**>(elem);
        if (u) u->AddRef();
        *static_cast<IUnknown**>(pv) = u;
    } else if (psa->fFeatures & FADF_VARIANT) {
        // The destination is taken as uninitialised: it receives a copy the caller owns.
        auto* dest = static_cast<VARIANT*>(pv);
        VariantInit(dest);
        hr = VariantCopy(dest, static_cast<VARIANT*>(elem));
        if (FAILED(hr)) return hr;
    } else {
        std::memcpy(pv, elem, psa->cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    void* elem;
    HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &elem);
    if (FAILED(hr)) return hr;
    if (psa->fFeatures & FADF_BSTR) {
        // The argument is the BSTR itself.
        auto s = static_cast<BSTR>(pv);
        BSTR c = s ? SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s))
                   : nullptr;
        if (s && !c) return E_OUTOFMEMORY;
        SysFreeString(std::exchange(*static_cast<BSTR*>(elem), c));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        // The argument is the interface pointer itself.
        auto* u = static_cast<IUnknown*>(pv);
        if (u) u->AddRef();
        if (IUnknown* vecchio = std::exchange(*static_cast<IUnknown**>(elem), u))
            vecchio->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        if (!pv) return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT*>(elem), static_cast<VARIANT*>(pv));
    } else {
        if (!pv) return E_INVALIDARG;
        std::memcpy(elem, pv, psa->cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & (FADF_FIXEDSIZE | kProprietaNonLibera)) return E_INVALIDARG;
    const std::size_t prima = ElementiNoti(psa);
    SAFEARRAYBOUND vecchio = Limiti(psa)[0];
    Limiti(psa)[0] = *psaboundNew;
    std::size_t dopo;
    if (!NumeroElementi(psa, dopo)) {
        Limiti(psa)[0] = vecchio;
        return E_OUTOFMEMORY;
    }
    if (dopo < prima) LiberaElementi(psa, dopo, prima);
    std::size_t byte = dopo * psa->cbElements;
    void* nuovo = ole::RiallocaMemoria(psa->pvData, byte == 0 ? 1 : byte);
    if (!nuovo) {
        // Shrinking never fails in practice; when growing, the old data stays as it was.
        Limiti(psa)[0] = vecchio;
        return E_OUTOFMEMORY;
    }
    psa->pvData = nuovo;
    if (dopo > prima)
        std::memset(static_cast<unsigned char*>(nuovo) + prima * psa->cbElements, 0,
                    (dopo - prima) * psa->cbElements);
    return S_OK;
}

}  // extern "C"
