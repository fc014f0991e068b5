// ClsDatiMirtesa: the transaction filter, the connection to the host database with its
// version gate, and the queries. The filter works with or without an open database; the
// queries need one and otherwise fail as using an unset object does, leaving the object
// usable.
#include "oggetti.h"
#include "ole/server.hpp"
#include "vq/conversioni.h"
#include "vq/errore.h"

namespace tessadati {

namespace {

using ole::Argomenti;
using ole::Membro;

constexpr std::string_view kSorgente = "Tessadati.ClsDatiMirtesa";
constexpr std::int32_t kErrNullNonValido = 94;
constexpr std::int32_t kErrMatriceBloccata = 10;

_ClsDatiMirtesa* Dati(IDispatch* o) noexcept { return static_cast<_ClsDatiMirtesa*>(o); }

// A write-only property whose value comes by reference.
template <class T, VARTYPE Vt, HRESULT (STDMETHODCALLTYPE _ClsDatiMirtesa::*Metodo)(T*)>
HRESULT Scrivi(IDispatch* o, Argomenti& a, VARIANT&) {
    T* v;
    if (HRESULT hr = a.Indirizzo(0, Vt, v); FAILED(hr)) return hr;
    return (Dati(o)->*Metodo)(v);
}

template <HRESULT (STDMETHODCALLTYPE _ClsDatiMirtesa::*Metodo)()>
HRESULT Chiama(IDispatch* o, Argomenti&, VARIANT&) {
    return (Dati(o)->*Metodo)();
}

template <HRESULT (STDMETHODCALLTYPE _ClsDatiMirtesa::*Metodo)(DOUBLE*)>
HRESULT Importo(IDispatch* o, Argomenti&, VARIANT& r) {
    r.vt = VT_R8;
    return (Dati(o)->*Metodo)(&r.dblVal);
}

template <HRESULT (STDMETHODCALLTYPE _ClsDatiMirtesa::*Metodo)(BSTR*)>
HRESULT LeggiTesto(IDispatch* o, Argomenti&, VARIANT& r) {
    r.vt = VT_BSTR;
    r.bstrVal = nullptr;
    return (Dati(o)->*Metodo)(&r.bstrVal);
}

template <HRESULT (STDMETHODCALLTYPE _ClsDatiMirtesa::*Metodo)(BSTR)>
HRESULT ScriviTesto(IDispatch* o, Argomenti& a, VARIANT&) {
    BSTR* v;
    if (HRESULT hr = a.Valore(0, VT_BSTR, v); FAILED(hr)) return hr;
    return (Dati(o)->*Metodo)(*v);
}

HRESULT Collezione(HRESULT hr, _Collection* c, VARIANT& r) {
    if (SUCCEEDED(hr)) {
        r.vt = VT_DISPATCH;
        r.pdispVal = c;
    }
    return hr;
}

const Membro kMembri[] = {
    {"ClearFiltri", DISPID_ClsDatiMirtesa_ClearFiltri, DISPATCH_METHOD, 0,
     Chiama<&_ClsDatiMirtesa::ClearFiltri>},
    {"ImpostaConto", DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, 1,
     Scrivi<LONG, VT_I4, &_ClsDatiMirtesa::put_ImpostaConto>},
    {"ImpostaCassa", DISPID_ClsDatiMirtesa_ImpostaCassa, DISPATCH_PROPERTYPUT, 1,
     Scrivi<LONG, VT_I4, &_ClsDatiMirtesa::put_ImpostaCassa>},
    {"FiltroBancomat", DISPID_ClsDatiMirtesa_FiltroBancomat, DISPATCH_PROPERTYPUT, 1,
     Scrivi<VARIANT_BOOL, VT_BOOL, &_ClsDatiMirtesa::put_FiltroBancomat>},
    {"FiltroContoCorrente", DISPID_ClsDatiMirtesa_FiltroContoCorrente, DISPATCH_PROPERTYPUT, 1,
     Scrivi<VARIANT_BOOL, VT_BOOL, &_ClsDatiMirtesa::put_FiltroContoCorrente>},
    {"FiltroCarta", DISPID_ClsDatiMirtesa_FiltroCarta, DISPATCH_PROPERTYPUT, 1,
     Scrivi<VARIANT_BOOL, VT_BOOL, &_ClsDatiMirtesa::put_FiltroCarta>},
    {"FiltroNoStat", DISPID_ClsDatiMirtesa_FiltroNoStat, DISPATCH_PROPERTYPUT, 1,
     Scrivi<VARIANT_BOOL, VT_BOOL, &_ClsDatiMirtesa::put_FiltroNoStat>},
    {"FiltroDataIniziale", DISPID_ClsDatiMirtesa_FiltroDataIniziale, DISPATCH_PROPERTYPUT, 1,
     Scrivi<DATE, VT_DATE, &_ClsDatiMirtesa::put_FiltroDataIniziale>},
    {"FiltroDataFinale", DISPID_ClsDatiMirtesa_FiltroDataFinale, DISPATCH_PROPERTYPUT, 1,
     Scrivi<DATE, VT_DATE, &_ClsDatiMirtesa::put_FiltroDataFinale>},
    {"ApriDataBase", DISPID_ClsDatiMirtesa_ApriDataBase, DISPATCH_METHOD, 0,
     Chiama<&_ClsDatiMirtesa::ApriDataBase>},
    {"ChiudiDataBase", DISPID_ClsDatiMirtesa_ChiudiDataBase, DISPATCH_METHOD, 0,
     Chiama<&_ClsDatiMirtesa::ChiudiDataBase>},
    {"GetImportoEuro", DISPID_ClsDatiMirtesa_GetImportoEuro, DISPATCH_METHOD, 0,
     Importo<&_ClsDatiMirtesa::GetImportoEuro>},
    {"GetImportoLire", DISPID_ClsDatiMirtesa_GetImportoLire, DISPATCH_METHOD, 0,
     Importo<&_ClsDatiMirtesa::GetImportoLire>},
    {"GetTotRecord", DISPID_ClsDatiMirtesa_GetTotRecord, DISPATCH_METHOD, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         r.vt = VT_I4;
         return Dati(o)->GetTotRecord(&r.lVal);
     }},
    {"GetArrayDati", DISPID_ClsDatiMirtesa_GetArrayDati, DISPATCH_METHOD, 1,
     [](IDispatch* o, Argomenti& a, VARIANT& r) {
         SAFEARRAY** dati;
         if (HRESULT hr = a.Indirizzo(0, VT_ARRAY | VT_VARIANT, dati); FAILED(hr)) return hr;
         r.vt = VT_I4;
         return Dati(o)->GetArrayDati(dati, &r.lVal);
     }},
    {"GetConti", DISPID_ClsDatiMirtesa_GetConti, DISPATCH_METHOD, 0,
     [](IDispatch* o, Argomenti&, VARIANT& r) {
         _Collection* c = nullptr;
         const HRESULT hr = Dati(o)->GetConti(&c);
         return Collezione(hr, c, r);
     }},
    {"GetCodiciCassa", DISPID_ClsDatiMirtesa_GetCodiciCassa, DISPATCH_METHOD, 1,
     [](IDispatch* o, Argomenti& a, VARIANT& r) {
         SHORT* id;
         if (HRESULT hr = a.Indirizzo(0, VT_I2, id); FAILED(hr)) return hr;
         _Collection* c = nullptr;
         const HRESULT hr = Dati(o)->GetCodiciCassa(id, &c);
         return Collezione(hr, c, r);
     }},
    {"f_mult_conto", DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYGET, 0,
     LeggiTesto<&_ClsDatiMirtesa::get_f_mult_conto>},
    {"f_mult_conto", DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYPUT, 1,
     ScriviTesto<&_ClsDatiMirtesa::put_f_mult_conto>},
    {"f_mult_cassa", DISPID_ClsDatiMirtesa_f_mult_cassa, DISPATCH_PROPERTYGET, 0,
     LeggiTesto<&_ClsDatiMirtesa::get_f_mult_cassa>},
    {"f_mult_cassa", DISPID_ClsDatiMirtesa_f_mult_cassa, DISPATCH_PROPERTYPUT, 1,
     ScriviTesto<&_ClsDatiMirtesa::put_f_mult_cassa>},
};

// Field values as the queries convert them.
LONG ComeLong(const VARIANT& v) {
    if (v.vt == VT_NULL) vq::Solleva(kErrNullNonValido);
    ole::Variante r;
    const HRESULT hr = VariantChangeType(r.get(), &v, 0, VT_I4);
    if (FAILED(hr)) vq::Solleva(hr == DISP_E_OVERFLOW ? vq::kErrOverflow : vq::kErrTipo);
    return r->lVal;
}

double ComeDouble(const VARIANT& v) {
    ole::Variante r;
    const HRESULT hr = VariantChangeType(r.get(), &v, 0, VT_R8);
    if (FAILED(hr)) vq::Solleva(hr == DISP_E_OVERFLOW ? vq::kErrOverflow : vq::kErrTipo);
    return r->dblVal;
}

// Text of a field, Null giving the empty text.
ole::Bstr ComeTesto(const VARIANT& v) {
    if (v.vt == VT_NULL || v.vt == VT_EMPTY) return ole::Bstr(std::string_view());
    ole::Variante r;
    const HRESULT hr = VariantChangeType(r.get(), &v, 0, VT_BSTR);
    if (FAILED(hr)) vq::Solleva(vq::kErrTipo);
    return ole::Bstr::Adotta(r.detach().bstrVal);
}

void Aggiungi(_Collection& c, IDispatch* elemento) {
    ole::Variante v = ole::Variante::Oggetto(elemento);
    ole::Verifica(c.Add(v.get(), nullptr, nullptr, nullptr));
}

}  // namespace

ole::ContatoreOggetti& Contatore() noexcept {
    static ole::ContatoreOggetti contatore;
    return contatore;
}

ole::ComPtr<_ClsDatiMirtesa> ClsDatiMirtesa::Crea(Motore& motore) {
    auto oggetto = ole::CreaOggetto<ClsDatiMirtesa, _ClsDatiMirtesa>(motore);
    ole::Verifica(oggetto->ClearFiltri());
    return oggetto;
}

ClsDatiMirtesa::~ClsDatiMirtesa() {
    // Closing goes through the object's own interface; a failure there cannot reach
    // anyone and must not disturb the error the caller may be reading.
    IErrorInfo* info = nullptr;
    const bool aveva_info = GetErrorInfo(0, &info) == S_OK;
    // The object is still whole here (its own overrides are in place), so the call
    // through the interface reaches this class's ChiudiDataBase.
    _ClsDatiMirtesa* interfaccia = this;
    interfaccia->ChiudiDataBase();
    SetErrorInfo(0, aveva_info ? info : nullptr);
    if (info) info->Release();
}

void* ClsDatiMirtesa::trova(REFIID riid) noexcept {
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID__ClsDatiMirtesa) ||
        IsEqualIID(riid, IID__ClsDatiMirtesa_Precedente))
        return static_cast<_ClsDatiMirtesa*>(this);
    if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

STDMETHODIMP ClsDatiMirtesa::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID__ClsDatiMirtesa) || IsEqualIID(riid, IID__ClsDatiMirtesa_Precedente)
               ? S_OK
               : S_FALSE;
}
std::span<const ole::Membro> ClsDatiMirtesa::membri() const noexcept { return kMembri; }

// ---------------------------------------------------------------------------------------
// Filter
// ---------------------------------------------------------------------------------------
STDMETHODIMP ClsDatiMirtesa::ClearFiltri() {
    return ole::Proteggi(
        [&] {
            filtro_.Pulisci();
            elenco_conti_.reset();
            elenco_casse_.reset();
        },
        kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::put_ImpostaConto(LONG* IDConto) {
    if (!IDConto) return E_POINTER;
    return ole::Proteggi([&] { filtro_.ImpostaConto(*IDConto); }, kSorgente);
}
STDMETHODIMP ClsDatiMirtesa::put_ImpostaCassa(LONG* IDCassa) {
    if (!IDCassa) return E_POINTER;
    return ole::Proteggi([&] { filtro_.ImpostaCassa(*IDCassa); }, kSorgente);
}

#define VQ_FLAG(Metodo, campo)                                  \
    STDMETHODIMP ClsDatiMirtesa::Metodo(VARIANT_BOOL* valore) { \
        if (!valore) return E_POINTER;                          \
        filtro_.campo = Filtro::Flag(*valore != 0);             \
        SetErrorInfo(0, nullptr);                               \
        return S_OK;                                            \
    }
VQ_FLAG(put_FiltroBancomat, f_bancomat)
VQ_FLAG(put_FiltroContoCorrente, f_conto_corrente)
VQ_FLAG(put_FiltroCarta, f_carta)
VQ_FLAG(put_FiltroNoStat, f_no_stat)
#undef VQ_FLAG

STDMETHODIMP ClsDatiMirtesa::put_FiltroDataIniziale(DATE* data) {
    if (!data) return E_POINTER;
    filtro_.f_data_iniziale = *data;
    SetErrorInfo(0, nullptr);
    return S_OK;
}
STDMETHODIMP ClsDatiMirtesa::put_FiltroDataFinale(DATE* data) {
    if (!data) return E_POINTER;
    filtro_.f_data_finale = *data;
    SetErrorInfo(0, nullptr);
    return S_OK;
}

STDMETHODIMP ClsDatiMirtesa::get_f_mult_conto(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi([&] { *result = elenco_conti_.copia(); }, kSorgente);
}
STDMETHODIMP ClsDatiMirtesa::put_f_mult_conto(BSTR valore) {
    return ole::Proteggi(
        [&] {
            ole::Bstr testo(std::u16string_view(valore ? valore : u"", SysStringLen(valore)));
            std::string utf8 = testo.utf8();
            elenco_conti_ = std::move(testo);
            filtro_.f_mult_conto = std::move(utf8);
        },
        kSorgente);
}
STDMETHODIMP ClsDatiMirtesa::get_f_mult_cassa(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi([&] { *result = elenco_casse_.copia(); }, kSorgente);
}
STDMETHODIMP ClsDatiMirtesa::put_f_mult_cassa(BSTR valore) {
    return ole::Proteggi(
        [&] {
            ole::Bstr testo(std::u16string_view(valore ? valore : u"", SysStringLen(valore)));
            std::string utf8 = testo.utf8();
            elenco_casse_ = std::move(testo);
            filtro_.f_mult_cassa = std::move(utf8);
        },
        kSorgente);
}

// ---------------------------------------------------------------------------------------
// Connection
// ---------------------------------------------------------------------------------------
Database& ClsDatiMirtesa::Db() {
    if (!db_) vq::Solleva(vq::kErrOggettoNonImpostato);
    return *db_;
}

std::string ClsDatiMirtesa::PercorsoDataBase() {
    // The host is asked once; an empty answer is asked again next time.
    if (percorso_.empty()) percorso_ = motore_.CartellaDati();
    // The folder text ends with its separator.
    return percorso_ + kNomeDatabase;
}

bool ClsDatiMirtesa::VersioneValida() {
    auto rs = Db().ApriRecordset("Select versione from Versione");
    std::int32_t versione = 0;
    if (!rs->Fine()) {
        ole::Variante v;
        rs->Campo(0, *v.put());
        if (v.vt() != VT_NULL) versione = ComeLong(*v.get());
    }
    rs->Chiudi();
    return versione >= 2;
}

STDMETHODIMP ClsDatiMirtesa::ApriDataBase() {
    return ole::Proteggi(
        [&] {
            const std::string percorso = PercorsoDataBase();
            // A database held before is let go by the replacement.
            db_ = motore_.Apri(percorso, kConnessione);
            // The database stays open after a failed gate; closing or releasing the
            // object closes it.
            if (!VersioneValida()) vq::Solleva(kErrVersioneObsoleta, kDescrVersioneObsoleta);
        },
        kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::ChiudiDataBase() {
    return ole::Proteggi(
        [&] {
            if (!db_) return;
            // Even when closing fails the handle is of no further use.
            auto db = std::move(db_);
            db->Chiudi();
        },
        kSorgente);
}

// ---------------------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------------------
double ClsDatiMirtesa::Somma(const char* campo, int decimali) {
    const std::string sql = CostruisciQuery(filtro_, kQueryTotali);
    auto rs = Db().ApriRecordset(sql);
    double x = 0;
    if (!rs->Fine()) {
        ole::Variante v;
        rs->Campo(campo, *v.put());
        // With no transactions the sum is Null: the total is 0.
        if (v.vt() != VT_NULL) x = ComeDouble(*v.get());
    }
    rs->Chiudi();
    return vq::ArrotondaPari(x, decimali);
}

STDMETHODIMP ClsDatiMirtesa::GetImportoEuro(DOUBLE* result) {
    if (!result) return E_POINTER;
    return ole::Proteggi([&] { *result = Somma("Euro", 2); }, kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::GetImportoLire(DOUBLE* result) {
    if (!result) return E_POINTER;
    return ole::Proteggi([&] { *result = Somma("Lire", 0); }, kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::GetTotRecord(LONG* result) {
    if (!result) return E_POINTER;
    return ole::Proteggi(
        [&] {
            const std::string sql = CostruisciQuery(filtro_, kQueryConteggio);
            auto rs = Db().ApriRecordset(sql);
            LONG n = -1;
            if (!rs->Fine()) {
                ole::Variante v;
                rs->Campo(0, *v.put());
                n = ComeLong(*v.get());
            }
            rs->Chiudi();
            *result = n;
        },
        kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::GetArrayDati(SAFEARRAY** dati, LONG* result) {
    if (!dati || !result) return E_POINTER;
    return ole::Proteggi(
        [&] {
            LONG totale = 0;
            ole::Verifica(static_cast<_ClsDatiMirtesa*>(this)->GetTotRecord(&totale));
            // The row count is kept in 16 bits: more than 32767 rows is an overflow.
            const std::int16_t n = vq::CInt(static_cast<std::int64_t>(totale));
            if (n == 0) {
                *result = -1;
                return;
            }
            if (*dati) {
                // An array that its owner still holds locked cannot be emptied: it stays
                // the caller's, as it was.
                const HRESULT hr = SafeArrayDestroy(*dati);
                if (hr == DISP_E_ARRAYISLOCKED) vq::Solleva(kErrMatriceBloccata);
                ole::Verifica(hr);
                *dati = nullptr;
            }
            std::string sql = CostruisciQuery(filtro_, kQueryRighe);
            sql += kOrdinamentoRighe;
            auto rs = Db().ApriRecordset(sql);
            if (!rs->Fine()) *dati = rs->GetRows(n);
            rs->Chiudi();
            *result = n;
        },
        kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::GetConti(_Collection** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi(
        [&] {
            auto conti = ole::NuovaCollection();
            auto rs =
                Db().ApriRecordset("Select IdConto, Descrizione from Conti order by Descrizione ");
            while (!rs->Fine()) {
                auto conto = ole::CreaOggetto<ClsConti, _clsConti>();
                ole::Variante v;
                rs->Campo("IdConto", *v.put());
                ole::Verifica(conto->put_IDConto(ComeLong(*v.get())));
                rs->Campo("Descrizione", *v.put());
                ole::Verifica(conto->put_Conto(ComeTesto(*v.get()).get()));
                Aggiungi(*conti, conto.get());
                rs->Successivo();
            }
            rs->Chiudi();
            *result = conti.detach();
        },
        kSorgente);
}

STDMETHODIMP ClsDatiMirtesa::GetCodiciCassa(SHORT* IDConto, _Collection** result) {
    if (!IDConto || !result) return E_POINTER;
    *result = nullptr;
    return ole::Proteggi(
        [&] {
            const std::string sql =
                "Select IdCassa, Cassa, TabellaCassa.IdConto, Descrizione from TabellaCassa, "
                "Conti where TabellaCassa.IdConto=Conti.IdConto and TabellaCassa.IdConto=" +
                std::to_string(*IDConto) + " order by cassa ";
            auto casse = ole::NuovaCollection();
            auto rs = Db().ApriRecordset(sql);
            while (!rs->Fine()) {
                auto cassa = ole::CreaOggetto<ClsCassa, _clsCassa>();
                // Every cash code gets an account object of its own.
                ole::ComPtr<_clsConti> conto;
                ole::Verifica(cassa->get_Conto(conto.put()));
                ole::Variante v;
                rs->Campo("IdConto", *v.put());
                ole::Verifica(conto->put_IDConto(ComeLong(*v.get())));
                rs->Campo("Descrizione", *v.put());
                ole::Verifica(conto->put_Conto(ComeTesto(*v.get()).get()));
                rs->Campo("IdCassa", *v.put());
                ole::Verifica(cassa->put_IDCassa(ComeLong(*v.get())));
                rs->Campo("Cassa", *v.put());
                ole::Variante testo;
                testo->vt = VT_BSTR;
                testo->bstrVal = ComeTesto(*v.get()).detach();
                ole::Verifica(cassa->put_Cassa(testo.get()));
                Aggiungi(*casse, cassa.get());
                rs->Successivo();
            }
            rs->Chiudi();
            *result = casse.detach();
        },
        kSorgente);
}

}  // namespace tessadati
