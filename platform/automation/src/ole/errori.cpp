// Error info (one per thread) and the bridge between vq::Errore and HRESULT.
#include "interno.h"

#include <cstdio>
#include <string>

namespace {

class InfoErrore final : public ole::Oggetto<IErrorInfo, ICreateErrorInfo> {
public:
    InfoErrore() = default;

    // IErrorInfo
    STDMETHODIMP GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = guid_;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* p) override { return Dai(sorgente_, p); }
    STDMETHODIMP GetDescription(BSTR* p) override { return Dai(descrizione_, p); }
    STDMETHODIMP GetHelpFile(BSTR* p) override { return Dai(guida_, p); }
    STDMETHODIMP GetHelpContext(DWORD* p) override {
        if (!p) return E_INVALIDARG;
        *p = contesto_;
        return S_OK;
    }

    // ICreateErrorInfo
    STDMETHODIMP SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR s) override { return Prendi(sorgente_, s); }
    STDMETHODIMP SetDescription(LPOLESTR s) override { return Prendi(descrizione_, s); }
    STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Prendi(guida_, s); }
    STDMETHODIMP SetHelpContext(DWORD c) override {
        contesto_ = c;
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        if (IsEqualIID(riid, IID_IErrorInfo)) return static_cast<IErrorInfo*>(this);
        if (IsEqualIID(riid, IID_ICreateErrorInfo)) return static_cast<ICreateErrorInfo*>(this);
        return nullptr;
    }

    static HRESULT Dai(const std::u16string& s, BSTR* p) {
        if (!p) return E_INVALIDARG;
        *p = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Prendi(std::u16string& campo, LPOLESTR s) {
        try {
            campo = s ? std::u16string(s) : std::u16string();
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    GUID guid_ = IID_NULL;
    std::u16string sorgente_, descrizione_, guida_;
    DWORD contesto_ = 0;
};

// The error info of this thread, released when the thread ends.
thread_local ole::ComPtr<IErrorInfo> tInfo;
// The HRESULT the error info was set for by this library's own helpers (0 when it was
// set through SetErrorInfo by someone else). A failure of another HRESULT then does not
// take a description left over from an earlier failure that nobody read.
thread_local HRESULT tHrInfo = 0;

}  // namespace

extern "C" {

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    // Take the new reference before dropping the old one: they may be the same object.
    ole::ComPtr<IErrorInfo> nuova(perrinfo);
    tInfo = std::move(nuova);
    tHrInfo = 0;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = tInfo.detach();
    tHrInfo = 0;
    return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    try {
        *pperrinfo = new InfoErrore();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // extern "C"

namespace ole {

namespace interno {

const char* TestoHresult(HRESULT hr) noexcept {
    switch (hr) {
        case E_UNEXPECTED: return "Errore irreversibile";
        case E_NOTIMPL: return "Funzione non implementata";
        case E_NOINTERFACE: return "Interfaccia non supportata";
        case E_POINTER: return "Puntatore non valido";
        case E_ABORT: return "Operazione interrotta";
        case E_FAIL: return "Errore non specificato";
        case E_ACCESSDENIED: return "Accesso negato";
        case E_HANDLE: return "Handle non valido";
        case E_OUTOFMEMORY: return "Memoria esaurita";
        case E_INVALIDARG: return "Argomento non valido";
        case DISP_E_UNKNOWNINTERFACE: return "Interfaccia sconosciuta";
        case DISP_E_MEMBERNOTFOUND: return "Membro non trovato";
        case DISP_E_PARAMNOTFOUND: return "Parametro non trovato";
        case DISP_E_TYPEMISMATCH: return "Tipo non corrispondente";
        case DISP_E_UNKNOWNNAME: return "Nome sconosciuto";
        case DISP_E_NONAMEDARGS: return "Argomenti denominati non supportati";
        case DISP_E_BADVARTYPE: return "Tipo di variabile non valido";
        case DISP_E_EXCEPTION: return "Eccezione";
        case DISP_E_OVERFLOW: return "Overflow";
        case DISP_E_BADINDEX: return "Indice non valido";
        case DISP_E_ARRAYISLOCKED: return "Matrice bloccata";
        case DISP_E_BADPARAMCOUNT: return "Numero di parametri non valido";
        case DISP_E_PARAMNOTOPTIONAL: return "Parametro obbligatorio";
        case DISP_E_NOTACOLLECTION: return "Non è un insieme";
        case CLASS_E_NOAGGREGATION: return "La classe non supporta l'aggregazione";
        case CLASS_E_CLASSNOTAVAILABLE: return "La libreria non fornisce la classe richiesta";
        case REGDB_E_READREGDB: return "Impossibile leggere il registro";
        case REGDB_E_CLASSNOTREG: return "Classe non registrata";
        case CO_E_NOTINITIALIZED: return "CoInitialize non è stato chiamato";
        case CO_E_CLASSSTRING: return "Stringa della classe non valida";
        case CO_E_DLLNOTFOUND: return "Impossibile caricare la libreria della classe";
        case CO_E_ERRORINDLL: return "La libreria della classe non è valida";
        case RPC_E_CHANGED_MODE: return "Modello di thread già impostato in modo diverso";
        default: return nullptr;
    }
}

}  // namespace interno

std::string DescrizioneHresult(HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL)
        return vq::DescrizioneRuntime(static_cast<std::int32_t>(HRESULT_CODE(hr)));
    if (const char* t = interno::TestoHresult(hr)) return t;
    char buf[64];
    std::snprintf(buf, sizeof buf, "Errore di automazione (0x%08X)", static_cast<unsigned>(hr));
    return buf;
}

vq::Errore ErroreDa(HRESULT hr) {
    const HRESULT perChi = tHrInfo;
    ComPtr<IErrorInfo> info;
    GetErrorInfo(0, info.put());
    if (perChi != 0 && perChi != hr) info.reset();
    std::string descrizione;
    if (info) {
        Bstr b;
        if (SUCCEEDED(info->GetDescription(b.put()))) descrizione = b.utf8();
    }
    const std::int32_t numero =
        HRESULT_FACILITY(hr) == FACILITY_CONTROL ? static_cast<std::int32_t>(HRESULT_CODE(hr)) : hr;
    if (descrizione.empty()) descrizione = DescrizioneHresult(hr);
    return vq::Errore(numero, std::move(descrizione));
}

HRESULT Verifica(HRESULT hr) {
    if (SUCCEEDED(hr)) return hr;
    vq::Errore e = ErroreDa(hr);
    vq::Solleva(e.numero(), e.descrizione());
}

void SollevaNonCreabile(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) Verifica(hr);
    constexpr std::int32_t kNonCreabile = 429;
    vq::Solleva(kNonCreabile,
                vq::DescrizioneRuntime(kNonCreabile) + ": " + ErroreDa(hr).descrizione());
}

HRESULT HresultPerNumero(std::int32_t numero) noexcept {
    if (numero < 0) return numero;
    if (numero >= 1 && numero <= 0xFFFF) return MAKE_HRESULT(1, FACILITY_CONTROL, numero);
    return E_FAIL;
}

HRESULT HresultConDescrizione(HRESULT hr, std::string_view descrizione,
                              std::string_view sorgente) noexcept {
    try {
        ComPtr<ICreateErrorInfo> crea;
        if (FAILED(CreateErrorInfo(crea.put()))) return hr;
        std::u16string d = Utf8InUtf16(descrizione), s = Utf8InUtf16(sorgente);
        crea->SetGUID(IID_NULL);
        crea->SetDescription(d.data());
        crea->SetSource(s.data());
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(crea->QueryInterface(IID_IErrorInfo, info.put_void()))) {
            SetErrorInfo(0, info.get());
            tHrInfo = hr;
        }
    } catch (...) {
        // Out of memory while describing the error: the HRESULT still travels.
        SetErrorInfo(0, nullptr);
    }
    return hr;
}

HRESULT HresultDaErrore(const vq::Errore& e, std::string_view sorgente) noexcept {
    return HresultConDescrizione(HresultPerNumero(e.numero()), e.descrizione(), sorgente);
}

namespace detail {

HRESULT HresultDaEccezione(std::exception_ptr e, std::string_view sorgente) noexcept {
    try {
        try {
            std::rethrow_exception(e);
        } catch (const vq::Errore& err) {
            return HresultDaErrore(err, sorgente);
        } catch (const std::bad_alloc&) {
            return HresultConDescrizione(E_OUTOFMEMORY, vq::DescrizioneRuntime(vq::kErrMemoria),
                                         sorgente);
        } catch (const std::exception& err) {
            return HresultDaErrore(vq::Errore(vq::kErrChiamataNonValida, err.what()), sorgente);
        } catch (...) {
            return HresultDaErrore(vq::Errore(vq::kErrChiamataNonValida,
                                              vq::DescrizioneRuntime(vq::kErrChiamataNonValida)),
                                   sorgente);
        }
    } catch (...) {
        // Describing the error failed (out of memory): no description, but a failure.
        SetErrorInfo(0, nullptr);
        return E_OUTOFMEMORY;
    }
}

}  // namespace detail

}  // namespace ole
