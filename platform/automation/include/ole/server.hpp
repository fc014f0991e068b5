// The plumbing of an in-process server, shared by the component libraries: the class
// objects and the answer to "may the library be unloaded now" (DllGetClassObject,
// DllCanUnloadNow), self-registration in the classes root of the registry
// (DllRegisterServer, DllUnregisterServer), the text form of a GUID, and the one
// table-driven IDispatch of the components.
//
// A component describes itself once (DescrizioneServer), keeps one ServerInProcesso over
// that description and its live-object counter, and forwards its four exported entry
// points to it:
//
//   ole::ServerInProcesso& Server() {
//       static ole::ServerInProcesso server(kDescrizione, Contatore());
//       return server;
//   }
//   STDAPI DllGetClassObject(REFCLSID c, REFIID i, LPVOID* p) { return Server().OggettoClasse(c, i, p); }
//   STDAPI DllCanUnloadNow() { return Server().Scaricabile(); }
//   STDAPI DllRegisterServer() { return Server().Registra(); }
//   STDAPI DllUnregisterServer() { return Server().Deregistra(); }
#pragma once

#include <ole/automation.h>
#include <ole/ole.hpp>

#include <atomic>
#include <span>
#include <string>
#include <vector>

namespace ole {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case, as StringFromGUID2 writes it.
std::string TestoGuid(const GUID& g);

// ---------------------------------------------------------------------------------------
// Description of a server
// ---------------------------------------------------------------------------------------
// Makes a new object of a class with its single reference; may throw (the class object
// turns the exception into an HRESULT with error info).
using CreatoreOggetto = ComPtr<IUnknown> (*)();

// A creatable class. Registered as
//   CLSID\{clsid}                  = nome
//   CLSID\{clsid}\InprocServer32   = the library's full path, ThreadingModel = modello
//   CLSID\{clsid}\ProgID           = progid
//   <progid>                       = nome_progid
//   <progid>\CLSID                 = {clsid}
struct ClasseServer {
    const CLSID& clsid;
    const char* nome;
    const char* progid;
    const char* nome_progid;
    const char* modello;  // "Apartment", "Both", ...
    CreatoreOggetto crea;
};

// What an earlier release of a component registered and this one no longer does: its
// type library (this runtime loads none, so the key would point at something that cannot
// be loaded) and the interfaces marshalled through it. Registration and unregistration
// both remove these keys: TypeLib\{libid}\<maggiore>.<minore> (and the library's key once
// no other version is left below it), and each Interface\{iid} that still names this
// type library.
struct RegistrazioneRitirata {
    const GUID& libid;
    unsigned maggiore;
    unsigned minore;
    std::span<const IID> interfacce;
};

struct DescrizioneServer {
    std::span<const ClasseServer> classi;
    const RegistrazioneRitirata* ritirata = nullptr;
};

// ---------------------------------------------------------------------------------------
// The server
// ---------------------------------------------------------------------------------------
// The library whose path is registered is the one holding the classes' creators: the
// component's own.
class ServerInProcesso {
public:
    // `oggetti` counts the component's live objects, the class objects included.
    ServerInProcesso(const DescrizioneServer& descrizione, ContatoreOggetti& oggetti) noexcept
        : descrizione_(descrizione), oggetti_(oggetti) {}
    ServerInProcesso(const ServerInProcesso&) = delete;
    ServerInProcesso& operator=(const ServerInProcesso&) = delete;

    // DllGetClassObject: a class object (IClassFactory) for a class of the description;
    // E_POINTER without `ppv`, CLASS_E_CLASSNOTAVAILABLE for any other class.
    HRESULT OggettoClasse(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
    // DllCanUnloadNow: S_OK when no object lives and no client holds a server lock,
    // otherwise S_FALSE.
    HRESULT Scaricabile() const noexcept;
    // DllRegisterServer: writes every key of the description and removes what an earlier
    // release left (RegistrazioneRitirata). On a failure nothing of the registration is
    // left (half a registration is worse than none) and the failure comes back as
    // HRESULT_FROM_WIN32 of the registry's error.
    HRESULT Registra() noexcept;
    // DllUnregisterServer: removes exactly what Registra writes, and what an earlier
    // release left. A programmatic id goes only while it still names this class; what is
    // already missing is no failure.
    HRESULT Deregistra() noexcept;

    // IClassFactory::LockServer.
    void Blocca(bool blocca) noexcept;
    ContatoreOggetti& oggetti() const noexcept { return oggetti_; }

private:
    const DescrizioneServer& descrizione_;
    ContatoreOggetti& oggetti_;
    std::atomic<long> blocchi_{0};
};

// ---------------------------------------------------------------------------------------
// IDispatch by a table of members
// ---------------------------------------------------------------------------------------
// An object describes its members once, in a table (name, dispatch id, kind, argument
// count, a thunk that calls the vtable method), and answers GetIDsOfNames with IdDaNomi
// and Invoke with InvocaMembro over that table.
//
// Arguments are coerced to the declared types as the runtime does (an I2 given where an
// I4 is expected, a number given as text, ...). A by-reference argument of the declared
// type is passed through; a VT_BYREF|VT_VARIANT given for a by-reference parameter is
// coerced and written back after a successful call; a by-value parameter never changes
// the caller's variant.
//
// A failing member leaves its error in the thread's error info (ole::Proteggi). With an
// EXCEPINFO from the caller, Invoke moves that error into it (scode, description,
// source, help file and context; the runtime's text when there is no error info) and
// the error info is consumed: the caller reads the failure once, from EXCEPINFO.
// Without an EXCEPINFO the failure is the member's HRESULT and the error info stays for
// GetErrorInfo.

// The arguments of one Invoke, in declaration order (DISPPARAMS holds them reversed).
class Argomenti {
public:
    Argomenti(const DISPPARAMS& parametri, UINT* errore_argomento) noexcept;
    ~Argomenti();
    Argomenti(const Argomenti&) = delete;
    Argomenti& operator=(const Argomenti&) = delete;

    UINT quanti() const noexcept { return parametri_.cArgs; }

    // Where the callee reads (and may write) by-reference argument `i` as type `vt`: the
    // caller's own storage for an exact by-reference match, else a coerced copy, written
    // back into a VT_BYREF|VT_VARIANT after a successful call. VT_VARIANT gives the
    // VARIANT itself; VT_ARRAY|VT_VARIANT a SAFEARRAY* slot (an empty variant counts as
    // no array). On failure returns a DISP_E_* code and records the argument's position.
    HRESULT Indirizzo(UINT i, VARTYPE vt, void** indirizzo);
    template <class T>
    HRESULT Indirizzo(UINT i, VARTYPE vt, T*& p) {
        void* v = nullptr;
        const HRESULT hr = Indirizzo(i, vt, &v);
        p = static_cast<T*>(v);
        return hr;
    }
    // By-value argument `i` as type `vt`: the caller's value, or a coerced copy that
    // never goes back.
    template <class T>
    HRESULT Valore(UINT i, VARTYPE vt, T*& p) {
        void* v = nullptr;
        const HRESULT hr = Copia(i, vt, false, &v);
        p = static_cast<T*>(v);
        return hr;
    }
    // An optional VARIANT argument: null when the caller gave fewer arguments.
    VARIANT* Facoltativo(UINT i) noexcept {
        if (i >= parametri_.cArgs) return nullptr;
        VARIANT& a = Originale(i);
        return a.vt == (VT_BYREF | VT_VARIANT) && a.pvarVal ? a.pvarVal : &a;
    }

    // Coerced copies of by-reference VARIANTs go back to the caller.
    void Riscrivi() noexcept;
    // True once an argument could not be coerced.
    bool Fallito() const noexcept { return fallito_; }

private:
    struct Copiato {
        VARIANT valore;
        VARIANT* destinazione;  // VT_BYREF|VT_VARIANT target, or null
    };
    VARIANT& Originale(UINT i) const noexcept {
        return parametri_.rgvarg[parametri_.cArgs - 1 - i];
    }
    HRESULT Copia(UINT i, VARTYPE vt, bool per_riferimento, void** indirizzo);
    HRESULT Fallisce(UINT i, HRESULT hr) noexcept;

    const DISPPARAMS& parametri_;
    UINT* errore_argomento_;
    std::vector<Copiato> copie_;
    bool fallito_ = false;
};

struct Membro {
    const char* nome;
    DISPID id;
    WORD tipo;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET, _PROPERTYPUT, _PROPERTYPUTREF (or several)
    UINT argomenti;
    // Calls the vtable method on `oggetto`; a result goes into `risultato` (VT_EMPTY
    // before the call).
    HRESULT (*chiama)(IDispatch* oggetto, Argomenti& argomenti, VARIANT& risultato);
    UINT facoltativi = 0;  // optional arguments after the `argomenti` required ones
};

HRESULT InvocaMembro(std::span<const Membro> membri, IDispatch* oggetto, DISPID id, REFIID riid,
                     WORD flag, DISPPARAMS* parametri, VARIANT* risultato, EXCEPINFO* eccezione,
                     UINT* errore_argomento) noexcept;

// Member names are ASCII; they compare without regard to case, as the runtime's do.
bool StessoNomeMembro(const OLECHAR* nome, const char* membro) noexcept;

// IDispatch::GetTypeInfoCount and GetTypeInfo of an object that publishes no type
// information: names and ids come from its member table alone.
inline HRESULT NessunaInfoTipoConteggio(UINT* quante) noexcept {
    if (!quante) return E_POINTER;
    *quante = 0;
    return S_OK;
}
inline HRESULT NessunaInfoTipo(ITypeInfo** info) noexcept {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

// IDispatch::GetIDsOfNames over a table whose entries have `nome` (const char*) and `id`
// (DISPID). Only the member's own name is known: naming its arguments as well gives
// DISP_E_UNKNOWNNAME (with the member's id in id[0]).
template <class Tabella>
HRESULT IdDaNomi(const Tabella& membri, REFIID riid, LPOLESTR* nomi, UINT quanti,
                 DISPID* id) noexcept {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (quanti == 0) return S_OK;
    if (!nomi || !id || !nomi[0]) return E_INVALIDARG;
    for (UINT i = 0; i < quanti; ++i) id[i] = DISPID_UNKNOWN;
    for (const auto& m : membri) {
        if (StessoNomeMembro(nomi[0], m.nome)) {
            id[0] = m.id;
            return quanti == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

// An object whose IDispatch is its member table: the class gives the table (membri) and
// its other interfaces; IDispatch is answered here, with no type information published.
template <class Principale, class... Altre>
class OggettoDispatch : public Oggetto<Principale, Altre...> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* quante) override {
        return NessunaInfoTipoConteggio(quante);
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        return NessunaInfoTipo(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* nomi, UINT quanti, LCID,
                               DISPID* id) override {
        return IdDaNomi(membri(), riid, nomi, quanti, id);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flag, DISPPARAMS* parametri,
                        VARIANT* risultato, EXCEPINFO* eccezione, UINT* errore_argomento) override {
        return InvocaMembro(membri(), static_cast<Principale*>(this), id, riid, flag, parametri,
                            risultato, eccezione, errore_argomento);
    }

protected:
    using Oggetto<Principale, Altre...>::Oggetto;
    virtual std::span<const Membro> membri() const noexcept = 0;
};

}  // namespace ole
