// Objects for the automation runtime tests.
#pragma once

#include <ole/ole.hpp>

#include "errore_prova.h"

#include <string>

namespace prova {

// An object that counts how many of its kind are alive, and answers its default value
// (DISPID_VALUE) with `valore` through IDispatch.
class Contato final : public ole::Oggetto<IDispatch> {
public:
    static inline int vivi = 0;
    explicit Contato(LONG valore = 7) : valore_(valore) { ++vivi; }
    ~Contato() override { --vivi; }

    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*,
                        UINT*) override {
        if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
        if (r) {
            VariantInit(r);
            r->vt = VT_I4;
            r->lVal = valore_;
        }
        return S_OK;
    }

    // The current reference count (AddRef and Release give the new count).
    ULONG riferimenti() {
        AddRef();
        return Release();
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
    }
    LONG valore_;
};

inline std::u16string U16(BSTR b) {
    return b ? std::u16string(b, SysStringLen(b)) : std::u16string();
}

}  // namespace prova
