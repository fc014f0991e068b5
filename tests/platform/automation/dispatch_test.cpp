// The table-driven IDispatch of the runtime: member look-up, argument coercion and the
// one rule for a failing member's error info.
#include <gtest/gtest.h>

#include <ole/ole.hpp>
#include <ole/server.hpp>

#include <string>
#include <vector>

namespace {

constexpr DISPID kSomma = 1, kRaddoppia = 2, kFallisci = 3, kValore = 4, kOpzionale = 5;

// Fails with an error info that carries every field, or (numero = 0) with none at all.
HRESULT Fallisci(LONG numero) {
    SetErrorInfo(0, nullptr);
    if (numero == 0) return E_FAIL;
    ole::ComPtr<ICreateErrorInfo> crea;
    ole::Verifica(CreateErrorInfo(crea.put()));
    crea->SetDescription(const_cast<LPOLESTR>(u"Errore di prova"));
    crea->SetSource(const_cast<LPOLESTR>(u"Prova.Dispatch"));
    crea->SetHelpFile(const_cast<LPOLESTR>(u"prova.hlp"));
    crea->SetHelpContext(42);
    SetErrorInfo(0, crea.as<IErrorInfo>(IID_IErrorInfo).get());
    return MAKE_HRESULT(1, FACILITY_CONTROL, numero);
}

LONG gValore = 0;  // the property of the test object

const ole::Membro kMembri[] = {
    {"Somma", kSomma, DISPATCH_METHOD, 2,
     [](IDispatch*, ole::Argomenti& a, VARIANT& r) {
         LONG *x, *y;
         if (HRESULT hr = a.Valore(0, VT_I4, x); FAILED(hr)) return hr;
         if (HRESULT hr = a.Valore(1, VT_I4, y); FAILED(hr)) return hr;
         r.vt = VT_I4;
         r.lVal = *x + *y;
         return S_OK;
     }},
    {"Raddoppia", kRaddoppia, DISPATCH_METHOD, 1,
     [](IDispatch*, ole::Argomenti& a, VARIANT&) {
         LONG* x;
         if (HRESULT hr = a.Indirizzo(0, VT_I4, x); FAILED(hr)) return hr;
         *x *= 2;
         return S_OK;
     }},
    {"Fallisci", kFallisci, DISPATCH_METHOD, 1,
     [](IDispatch*, ole::Argomenti& a, VARIANT&) {
         LONG* n;
         if (HRESULT hr = a.Valore(0, VT_I4, n); FAILED(hr)) return hr;
         return Fallisci(*n);
     }},
    {"Valore", kValore, DISPATCH_PROPERTYGET, 0,
     [](IDispatch*, ole::Argomenti&, VARIANT& r) {
         r.vt = VT_I4;
         r.lVal = gValore;
         return S_OK;
     }},
    {"Valore", kValore, DISPATCH_PROPERTYPUT, 1,
     [](IDispatch*, ole::Argomenti& a, VARIANT&) {
         LONG* x;
         if (HRESULT hr = a.Valore(0, VT_I4, x); FAILED(hr)) return hr;
         gValore = *x;
         return S_OK;
     }},
    {"Opzionale", kOpzionale, DISPATCH_METHOD, 1,
     [](IDispatch*, ole::Argomenti& a, VARIANT& r) {
         r.vt = VT_I4;
         r.lVal = static_cast<LONG>(a.quanti()) + (a.Facoltativo(1) ? 10 : 0);
         return S_OK;
     },
     1},
};

class Oggetto final : public ole::OggettoDispatch<IDispatch> {
private:
    std::span<const ole::Membro> membri() const noexcept override { return kMembri; }
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
    }
};

ole::Variante I4(LONG x) { return ole::Variante::I4(x); }

// Invoke with the arguments in written order (rgvarg holds them reversed).
HRESULT Chiama(IDispatch* d, DISPID id, WORD flag, std::vector<VARIANT> argomenti,
               VARIANT* r = nullptr, EXCEPINFO* ei = nullptr, UINT* errato = nullptr,
               bool con_nome = false) {
    std::vector<VARIANT> rg(argomenti.rbegin(), argomenti.rend());
    DISPID nome = DISPID_PROPERTYPUT;
    DISPPARAMS p{rg.data(), con_nome ? &nome : nullptr, static_cast<UINT>(rg.size()),
                 con_nome ? 1u : 0u};
    return d->Invoke(id, IID_NULL, 0, flag, &p, r, ei, errato);
}

TEST(Dispatch, ChiamateNonValide) {
    auto o = ole::CreaOggetto<Oggetto, IDispatch>();
    const VARIANT uno = *I4(1).get();
    const struct {
        DISPID id;
        WORD flag;
        std::vector<VARIANT> argomenti;
        bool con_nome;
        HRESULT atteso;
    } casi[] = {
        {0x77, DISPATCH_METHOD, {}, false, DISP_E_MEMBERNOTFOUND},
        {kValore, DISPATCH_METHOD, {}, false, DISP_E_MEMBERNOTFOUND},  // a property, not a method
        {kSomma, DISPATCH_METHOD, {uno}, false, DISP_E_BADPARAMCOUNT},
        {kSomma, DISPATCH_METHOD, {uno, uno, uno}, false, DISP_E_BADPARAMCOUNT},
        {kOpzionale, DISPATCH_METHOD, {uno, uno, uno}, false, DISP_E_BADPARAMCOUNT},
        {kSomma, DISPATCH_METHOD, {uno, uno}, true, DISP_E_NONAMEDARGS},
        {kValore, DISPATCH_PROPERTYPUT, {uno}, true, S_OK},  // the value of a write may be named
    };
    for (const auto& c : casi)
        EXPECT_EQ(Chiama(o.get(), c.id, c.flag, c.argomenti, nullptr, nullptr, nullptr, c.con_nome),
                  c.atteso)
            << c.id;
    DISPPARAMS vuoti{};
    EXPECT_EQ(o->Invoke(kValore, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &vuoti, nullptr, nullptr,
                        nullptr),
              DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS senza_array{nullptr, nullptr, 1, 0};
    EXPECT_EQ(o->Invoke(kValore, IID_NULL, 0, DISPATCH_PROPERTYPUT, &senza_array, nullptr, nullptr,
                        nullptr),
              E_INVALIDARG);
    ole::Variante r;
    ASSERT_EQ(Chiama(o.get(), kOpzionale, DISPATCH_METHOD, {uno}, r.put()), S_OK);
    EXPECT_EQ(r->lVal, 1);
    ASSERT_EQ(Chiama(o.get(), kOpzionale, DISPATCH_METHOD, {uno, uno}, r.put()), S_OK);
    EXPECT_EQ(r->lVal, 12);
}

TEST(Dispatch, ArgomentiConvertitiComeIlRuntime) {
    auto o = ole::CreaOggetto<Oggetto, IDispatch>();
    SHORT dodici = 12;
    VARIANT i2_rif{};
    i2_rif.vt = VT_I2 | VT_BYREF;
    i2_rif.piVal = &dodici;
    ole::Variante testo = ole::Variante::Testo("3.5"), parola = ole::Variante::Testo("abc");
    ole::Variante oggetto = ole::Variante::Oggetto(static_cast<IDispatch*>(nullptr));
    const struct {
        VARIANT secondo;  // the first is 1
        HRESULT atteso;
        LONG somma;
        UINT errato;  // position in rgvarg (the last argument is 0)
    } casi[] = {
        {*I4(2).get(), S_OK, 3, 99},
        {*testo.get(), S_OK, 5, 99},  // "3.5" rounds half to even
        {i2_rif, S_OK, 13, 99},
        {*ole::Variante::R8(3e10).get(), DISP_E_OVERFLOW, 0, 0},
        {*parola.get(), DISP_E_TYPEMISMATCH, 0, 0},
        {*oggetto.get(), DISP_E_TYPEMISMATCH, 0, 0},
        {*ole::Variante::Mancante().get(), DISP_E_PARAMNOTFOUND, 0, 0},
    };
    for (const auto& c : casi) {
        ole::Variante r;
        UINT errato = 99;
        EXPECT_EQ(Chiama(o.get(), kSomma, DISPATCH_METHOD, {*I4(1).get(), c.secondo}, r.put(),
                         nullptr, &errato),
                  c.atteso);
        EXPECT_EQ(errato, c.errato);
        if (c.atteso == S_OK) {
            EXPECT_EQ(r->lVal, c.somma);
        }
    }

    // By reference: the caller's own LONG, or a variant holding another type, converted
    // and written back; a by-value argument never changes the caller's variant.
    LONG sette = 7;
    VARIANT i4_rif{};
    i4_rif.vt = VT_I4 | VT_BYREF;
    i4_rif.plVal = &sette;
    ASSERT_EQ(Chiama(o.get(), kRaddoppia, DISPATCH_METHOD, {i4_rif}), S_OK);
    EXPECT_EQ(sette, 14);
    ole::Variante interno = ole::Variante::I2(5);
    VARIANT variante_rif{};
    variante_rif.vt = VT_VARIANT | VT_BYREF;
    variante_rif.pvarVal = interno.get();
    ASSERT_EQ(Chiama(o.get(), kRaddoppia, DISPATCH_METHOD, {variante_rif}), S_OK);
    EXPECT_EQ(interno.vt(), VT_I4);
    EXPECT_EQ(interno->lVal, 10);
    interno = ole::Variante::I2(5);
    ASSERT_EQ(Chiama(o.get(), kSomma, DISPATCH_METHOD, {variante_rif, variante_rif}), S_OK);
    EXPECT_EQ(interno.vt(), VT_I2);
}

// The one rule: with an EXCEPINFO the error moves into it, every field, and the error info
// is consumed; without one the HRESULT comes back and the error info stays.
TEST(Dispatch, ErroreDelMembro) {
    auto o = ole::CreaOggetto<Oggetto, IDispatch>();
    const struct {
        LONG numero;
        bool eccezione;
        const char* descrizione;
        const char* sorgente;
        const char* guida;
        DWORD contesto;
    } casi[] = {
        {9, true, "Errore di prova", "Prova.Dispatch", "prova.hlp", 42},
        {9, false, "Errore di prova", nullptr, nullptr, 0},
        {0, true, nullptr, "", "", 0},  // no error info: the runtime's text for the HRESULT
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.numero);
        const HRESULT atteso = c.numero ? MAKE_HRESULT(1, FACILITY_CONTROL, c.numero) : E_FAIL;
        EXCEPINFO ei{};
        const HRESULT hr = Chiama(o.get(), kFallisci, DISPATCH_METHOD, {*I4(c.numero).get()},
                                  nullptr, c.eccezione ? &ei : nullptr);
        ole::ComPtr<IErrorInfo> rimasta;
        GetErrorInfo(0, rimasta.put());
        if (!c.eccezione) {
            EXPECT_EQ(hr, atteso);
            ASSERT_TRUE(rimasta);
            ole::Bstr d;
            rimasta->GetDescription(d.put());
            EXPECT_EQ(d.utf8(), c.descrizione);
            continue;
        }
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_FALSE(rimasta);
        EXPECT_EQ(ei.scode, atteso);
        const std::string descrizione = ole::Utf8DaBstr(ei.bstrDescription);
        EXPECT_EQ(descrizione, c.descrizione ? c.descrizione : ole::DescrizioneHresult(E_FAIL));
        EXPECT_EQ(ole::Utf8DaBstr(ei.bstrSource), c.sorgente);
        EXPECT_EQ(ole::Utf8DaBstr(ei.bstrHelpFile), c.guida);
        EXPECT_EQ(ei.dwHelpContext, c.contesto);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrHelpFile);
    }
}

}  // namespace
