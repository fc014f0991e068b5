// Late binding for the component's dual interfaces: Invoke driven by a table of members
// (name, dispatch id, kind, argument count, a thunk that calls the vtable method);
// GetIDsOfNames is ole::IdDaNomi over the same table. Arguments are coerced to the
// declared types as the runtime does (an I2 given where an I4 is expected, a number
// given as text, ...); by-reference arguments of the declared type are passed through,
// a VT_BYREF|VT_VARIANT is coerced and written back after the call. A failing method
// fills EXCEPINFO with its error.
#pragma once

#include <span>
#include <vector>

#include "ole/automation.h"
#include "ole/server.hpp"

namespace tessadati {

// The arguments of one Invoke, in declaration order (DISPPARAMS holds them reversed).
class Argomenti {
public:
    Argomenti(const DISPPARAMS& parametri, UINT* errore_argomento) noexcept;
    ~Argomenti();
    Argomenti(const Argomenti&) = delete;
    Argomenti& operator=(const Argomenti&) = delete;

    // Where the callee reads (and may write) argument `i` as type `vt`: the caller's own
    // storage for an exact by-reference match, else a coerced copy. VT_VARIANT gives the
    // VARIANT itself; VT_ARRAY|VT_VARIANT a SAFEARRAY* slot (an empty variant counts as
    // no array). On failure returns a DISP_E_* code and records the argument's position.
    HRESULT Indirizzo(UINT i, VARTYPE vt, void** indirizzo);
    // The same, typed for the member that reads it.
    template <class T>
    HRESULT Indirizzo(UINT i, VARTYPE vt, T*& p) {
        void* v = nullptr;
        const HRESULT hr = Indirizzo(i, vt, &v);
        p = static_cast<T*>(v);
        return hr;
    }

    // Coerced copies of by-reference VARIANTs go back to the caller.
    void Riscrivi() noexcept;
    // True once an argument could not be coerced.
    bool Fallito() const noexcept { return fallito_; }

private:
    struct Copia {
        VARIANT valore;
        VARIANT* destinazione;  // VT_BYREF|VT_VARIANT target, or null
        VARTYPE tipo;
    };
    VARIANT& Originale(UINT i) const noexcept;
    HRESULT Fallisce(UINT i, HRESULT hr) noexcept;

    const DISPPARAMS& parametri_;
    UINT* errore_argomento_;
    std::vector<Copia> copie_;
    bool fallito_ = false;
};

struct Membro {
    const char* nome;
    DISPID id;
    WORD tipo;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET, _PROPERTYPUT or _PROPERTYPUTREF
    UINT argomenti;
    // Calls the vtable method on `oggetto`; a result goes into `risultato` (VT_EMPTY
    // before the call).
    HRESULT (*chiama)(IDispatch* oggetto, Argomenti& argomenti, VARIANT& risultato);
};

HRESULT InvocaMembro(std::span<const Membro> membri, IDispatch* oggetto, DISPID id,
                     REFIID riid, WORD flag, DISPPARAMS* parametri, VARIANT* risultato,
                     EXCEPINFO* eccezione, UINT* errore_argomento) noexcept;

}  // namespace tessadati
