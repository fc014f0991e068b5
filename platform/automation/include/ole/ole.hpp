// C++ side of the automation runtime: RAII holders for interface pointers, BSTRs and
// VARIANTs, UTF-8 <-> UTF-16 conversion, and the error bridge between vq::Errore and
// HRESULT + error info.
//
// The bridge: an error of number n (1..65535) crosses an interface as
// MAKE_HRESULT(1, FACILITY_CONTROL, n) with its description in the thread's error info;
// a negative number is an HRESULT already and crosses as itself. On the caller's side
// ole::Verifica turns a failed HRESULT back into the same number and description.
// No C++ exception ever crosses an interface: a server method wraps its body in
// ole::Proteggi.
#pragma once

#include <ole/automation.h>
#include <vq/errore.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace ole {

// ---------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------
// Invalid UTF-8 sequences become U+FFFD one by one, as the system's code-page conversion
// does; embedded NULs are kept.
std::u16string Utf8InUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD; embedded NULs are kept.
std::string Utf16InUtf8(std::u16string_view utf16);
// A new BSTR (the caller frees it with SysFreeString); throws std::bad_alloc when out of
// memory. The empty text gives an allocated empty BSTR, not a null one.
BSTR BstrDaUtf8(std::string_view utf8);
// A null BSTR reads as the empty text.
std::string Utf8DaBstr(BSTR b);

// ---------------------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------------------
// The error a failed HRESULT stands for, reading (and consuming) the thread's error info:
// number = the low 16 bits for FACILITY_CONTROL errors, else the HRESULT itself as a
// signed 32-bit number; description from the error info, else the runtime's text for
// that HRESULT.
vq::Errore ErroreDa(HRESULT hr);
// The runtime's Italian text for an HRESULT without error info.
std::string DescrizioneHresult(HRESULT hr);
// Returns hr when it succeeded (S_FALSE included); otherwise sets the thread's current
// error and throws it as vq::Errore (as vq::Solleva does).
HRESULT Verifica(HRESULT hr);
// As the runtime reports an object it cannot create: error 429 with the reason (the
// HRESULT's own description) after its text; out of memory stays error 7.
[[noreturn]] void SollevaNonCreabile(HRESULT hr);
// The HRESULT an error travels as: MAKE_HRESULT(1, FACILITY_CONTROL, n) for
// 1 <= n <= 65535, n itself for a negative n (already an HRESULT), else E_FAIL.
HRESULT HresultPerNumero(std::int32_t numero) noexcept;
// Server side: sets the thread's error info (description and source) and returns the
// HRESULT the error travels as. Never throws.
HRESULT HresultDaErrore(const vq::Errore& e, std::string_view sorgente = {}) noexcept;
// Sets the error info and returns `hr` (for failures that are HRESULTs, not numbers).
HRESULT HresultConDescrizione(HRESULT hr, std::string_view descrizione,
                              std::string_view sorgente = {}) noexcept;

// IDispatch::Invoke, server side: for a failed `hr` with an EXCEPINFO from the caller,
// moves the thread's error info into it (scode = hr, description, source, help file and
// context; without error info the runtime's text for `hr`), consuming it, and returns
// DISP_E_EXCEPTION; otherwise returns `hr` and leaves the error info in place.
HRESULT EccezioneInvoke(HRESULT hr, EXCEPINFO* ei) noexcept;
// IDispatch::Invoke, caller side: for DISP_E_EXCEPTION takes the error from `ei` (and
// frees its texts), otherwise as Verifica.
HRESULT VerificaInvoke(HRESULT hr, EXCEPINFO& ei);

// Runs `f` and turns any exception into an HRESULT with error info: vq::Errore keeps its
// number and description; std::bad_alloc gives E_OUTOFMEMORY with error 7's text; any
// other std::exception error 5 with its what(); anything else error 5. On success the
// thread's error info is cleared and S_OK returned (or the HRESULT that `f` returns, when
// it returns one).
template <class F>
HRESULT Proteggi(F&& f, std::string_view sorgente = {}) noexcept;

// ---------------------------------------------------------------------------------------
// Smart interface pointer
// ---------------------------------------------------------------------------------------
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Shares `p`: AddRef's it. Use attach() to take over a reference instead.
    explicit ComPtr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    // From a pointer to a derived interface (ComPtr<_Collection> to ComPtr<IDispatch>).
    template <class U,
              class = std::enable_if_t<std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>>>
    ComPtr(const ComPtr<U>& o) noexcept : ComPtr(static_cast<T*>(o.get())) {}
    template <class U,
              class = std::enable_if_t<std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>>>
    ComPtr(ComPtr<U>&& o) noexcept : p_(o.detach()) {}
    ComPtr& operator=(const ComPtr& o) noexcept {
        if (o.p_) o.p_->AddRef();
        reset();
        p_ = o.p_;
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For an out parameter: releases the current pointer and gives its address.
    T** put() noexcept {
        reset();
        return &p_;
    }
    // The same for functions that take void** (QueryInterface, CoCreateInstance).
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // Gives the reference to the caller (for [out, retval] results).
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    // Takes over a reference without AddRef.
    void attach(T* p) noexcept {
        reset();
        p_ = p;
    }
    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // QueryInterface; throws vq::Errore when the object does not answer `iid`.
    template <class U>
    ComPtr<U> as(REFIID iid) const {
        ComPtr<U> r;
        if (!p_) Verifica(E_POINTER);
        Verifica(p_->QueryInterface(iid, r.put_void()));
        return r;
    }
    // QueryInterface; an empty pointer when the object does not answer `iid`.
    template <class U>
    ComPtr<U> prova(REFIID iid) const noexcept {
        ComPtr<U> r;
        if (p_ && FAILED(p_->QueryInterface(iid, r.put_void()))) r.reset();
        return r;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Creates an object of a registered class (CoCreateInstance); a failure is error 429
// (SollevaNonCreabile).
template <class T>
ComPtr<T> Crea(REFCLSID clsid, REFIID iid) {
    ComPtr<T> r;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, r.put_void());
    if (FAILED(hr)) SollevaNonCreabile(hr);
    return r;
}

// Calls a member through IDispatch::Invoke with the arguments in written order (a
// property put passes its value last, as DISPID_PROPERTYPUT); throws vq::Errore with the
// member's error number and description.
class Variante;
Variante Invoca(IDispatch* d, DISPID id, WORD flags,
                std::initializer_list<const VARIANT*> argomenti = {});
// The dispatch id of a member name (GetIDsOfNames); throws vq::Errore.
DISPID IdDaNome(IDispatch* d, std::string_view nome);

// A new, empty standard Collection; throws vq::Errore.
ComPtr<_Collection> NuovaCollection();

// ---------------------------------------------------------------------------------------
// BSTR holder
// ---------------------------------------------------------------------------------------
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::string_view utf8) : b_(BstrDaUtf8(utf8)) {}
    explicit Bstr(std::u16string_view utf16);
    Bstr(const Bstr& o);
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(const Bstr& o);
    Bstr& operator=(Bstr&& o) noexcept;
    ~Bstr() { SysFreeString(b_); }

    // Takes over `b` (which the holder then frees).
    static Bstr Adotta(BSTR b) noexcept {
        Bstr r;
        r.b_ = b;
        return r;
    }

    BSTR get() const noexcept { return b_; }
    // For an out parameter: frees the current text and gives the address.
    BSTR* put() noexcept {
        reset();
        return &b_;
    }
    BSTR detach() noexcept { return std::exchange(b_, nullptr); }
    void attach(BSTR b) noexcept {
        reset();
        b_ = b;
    }
    void reset() noexcept { SysFreeString(std::exchange(b_, nullptr)); }
    // A new copy for the caller (an [out] BSTR); throws std::bad_alloc.
    BSTR copia() const;

    UINT len() const noexcept { return SysStringLen(b_); }
    bool vuota() const noexcept { return len() == 0; }
    std::string utf8() const { return Utf8DaBstr(b_); }
    std::u16string_view u16() const noexcept {
        return b_ ? std::u16string_view(b_, len()) : std::u16string_view();
    }

private:
    BSTR b_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// VARIANT holder
// ---------------------------------------------------------------------------------------
class Variante {
public:
    Variante() noexcept { VariantInit(&v_); }
    // Deep copy (VariantCopy); throws vq::Errore on failure.
    explicit Variante(const VARIANT& v);
    Variante(const Variante& o) : Variante(o.v_) {}
    Variante(Variante&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    Variante& operator=(const Variante& o);
    Variante& operator=(Variante&& o) noexcept;
    ~Variante() { VariantClear(&v_); }

    static Variante Null() noexcept;
    // An optional argument that is not given (VT_ERROR, DISP_E_PARAMNOTFOUND).
    static Variante Mancante() noexcept;
    static Variante I2(SHORT x) noexcept;
    static Variante I4(LONG x) noexcept;
    static Variante R8(double x) noexcept;
    static Variante Data(DATE x) noexcept;
    static Variante Booleano(bool x) noexcept;
    static Variante Valuta(std::int64_t scalato) noexcept;  // amount * 10,000
    static Variante Testo(std::string_view utf8);
    // Shares the object (AddRef); a null pointer gives a VT_DISPATCH / VT_UNKNOWN nothing.
    static Variante Oggetto(IDispatch* p) noexcept;
    static Variante Oggetto(IUnknown* p) noexcept;
    // Takes over the array (VT_ARRAY | vt of its elements).
    static Variante Array(SAFEARRAY* psa) noexcept;
    // Takes over a VARIANT (which the holder then clears).
    static Variante Adotta(const VARIANT& v) noexcept {
        Variante r;
        r.v_ = v;
        return r;
    }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* operator->() noexcept { return &v_; }
    const VARIANT* operator->() const noexcept { return &v_; }
    // For an out parameter: clears and gives the address.
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }
    // Gives the contents to the caller (an [out] VARIANT); the holder is left empty.
    VARIANT detach() noexcept {
        VARIANT r = v_;
        VariantInit(&v_);
        return r;
    }
    void reset() noexcept { VariantClear(&v_); }
    VARTYPE vt() const noexcept { return v_.vt; }
    bool mancante() const noexcept { return v_.vt == VT_ERROR && v_.scode == DISP_E_PARAMNOTFOUND; }

private:
    VARIANT v_;
};

// ---------------------------------------------------------------------------------------
// Thread initialisation
// ---------------------------------------------------------------------------------------
// CoInitialize for the life of the object; throws vq::Errore when it fails.
class Inizializza {
public:
    Inizializza();
    ~Inizializza() { CoUninitialize(); }
    Inizializza(const Inizializza&) = delete;
    Inizializza& operator=(const Inizializza&) = delete;
};

// ---------------------------------------------------------------------------------------
// Base of an in-process object
// ---------------------------------------------------------------------------------------
// The live objects of one component library, for its DllCanUnloadNow. Each library keeps
// its own (a static object of its own), and passes it to its objects.
class ContatoreOggetti {
public:
    void aggiungi() noexcept { n_.fetch_add(1, std::memory_order_relaxed); }
    void togli() noexcept { n_.fetch_sub(1, std::memory_order_acq_rel); }
    long vivi() const noexcept { return n_.load(std::memory_order_acquire); }

private:
    std::atomic<long> n_{0};
};

// Reference counting and QueryInterface for an object implementing `Interfacce...`
// (each deriving from IUnknown). The first interface answers IID_IUnknown. The derived
// class answers its own interface ids in trova(): `return static_cast<I*>(this)` for
// each it knows, nullptr otherwise. The object is deleted at its last Release.
template <class Principale, class... Altre>
class Oggetto : public Principale, public Altre... {
public:
    Oggetto(const Oggetto&) = delete;
    Oggetto& operator=(const Oggetto&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        void* p = IsEqualIID(riid, IID_IUnknown)
                      ? static_cast<IUnknown*>(static_cast<Principale*>(this))
                      : trova(riid);
        if (!p) return E_NOINTERFACE;
        AddRef();
        *ppv = p;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n == 0) delete this;
        return n;
    }

protected:
    // Starts with one reference, which the creator owns.
    explicit Oggetto(ContatoreOggetti* contatore = nullptr) noexcept : contatore_(contatore) {
        if (contatore_) contatore_->aggiungi();
    }
    virtual ~Oggetto() {
        if (contatore_) contatore_->togli();
    }
    virtual void* trova(REFIID riid) noexcept = 0;

private:
    std::atomic<ULONG> refs_{1};
    ContatoreOggetti* contatore_;
};

// Creates an object with `new` and hands its single reference to a ComPtr.
template <class T, class I = T, class... Args>
ComPtr<I> CreaOggetto(Args&&... args) {
    ComPtr<I> r;
    r.attach(static_cast<I*>(new T(std::forward<Args>(args)...)));
    return r;
}

// ---------------------------------------------------------------------------------------
// Proteggi
// ---------------------------------------------------------------------------------------
namespace detail {
HRESULT HresultDaEccezione(std::exception_ptr e, std::string_view sorgente) noexcept;
}

template <class F>
HRESULT Proteggi(F&& f, std::string_view sorgente) noexcept {
    try {
        if constexpr (std::is_same_v<std::invoke_result_t<F>, HRESULT>) {
            HRESULT hr = std::forward<F>(f)();
            if (SUCCEEDED(hr)) SetErrorInfo(0, nullptr);
            return hr;
        } else {
            std::forward<F>(f)();
            SetErrorInfo(0, nullptr);
            return S_OK;
        }
    } catch (...) {
        return detail::HresultDaEccezione(std::current_exception(), sorgente);
    }
}

}  // namespace ole
