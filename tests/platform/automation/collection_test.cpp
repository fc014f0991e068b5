// The standard Collection: positions, keys, enumeration, dispatch and life cycle.
#include "automazione_prova.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using prova::Contato;

std::string TestoDi(const ole::ComPtr<_Collection>& c, ole::Variante indice) {
    ole::Variante r;
    ole::Verifica(c->Item(indice.get(), r.put()));
    return ole::Utf8DaBstr(r->bstrVal);
}

void Aggiungi(const ole::ComPtr<_Collection>& c, ole::Variante v, const char* chiave = nullptr,
              ole::Variante prima = ole::Variante::Mancante(),
              ole::Variante dopo = ole::Variante::Mancante()) {
    ole::Variante k = chiave ? ole::Variante::Testo(chiave) : ole::Variante::Mancante();
    ole::Verifica(c->Add(v.get(), k.get(), prima.get(), dopo.get()));
}

std::vector<std::string> Testi(const ole::ComPtr<_Collection>& c) {
    ole::ComPtr<IUnknown> u;
    ole::Verifica(c->_NewEnum(u.put()));
    auto e = u.as<IEnumVARIANT>(IID_IEnumVARIANT);
    std::vector<std::string> r;
    ole::Variante v;
    ULONG presi = 0;
    while (e->Next(1, v.put(), &presi) == S_OK) r.push_back(ole::Utf8DaBstr(v->bstrVal));
    return r;
}

LONG Numero(const ole::ComPtr<_Collection>& c) {
    LONG n = -1;
    ole::Verifica(c->Count(&n));
    return n;
}

// The error number a failed call gives on the caller's side.
std::int32_t ErroreDi(HRESULT hr) {
    EXPECT_TRUE(FAILED(hr));
    return ole::ErroreDa(hr).numero();
}

TEST(Collection, PosizioniDaUnoConIndiciDiOgniTipoNumerico) {
    auto c = ole::NuovaCollection();
    EXPECT_EQ(Numero(c), 0);
    for (const char* t : {"Conti", "Cassa", "Operazioni"}) Aggiungi(c, ole::Variante::Testo(t));
    EXPECT_EQ(Numero(c), 3);
    EXPECT_EQ(TestoDi(c, ole::Variante::I2(1)), "Conti");
    EXPECT_EQ(TestoDi(c, ole::Variante::I4(3)), "Operazioni");
    EXPECT_EQ(TestoDi(c, ole::Variante::R8(2.0)), "Cassa");
    EXPECT_EQ(TestoDi(c, ole::Variante::R8(2.5)), "Cassa");  // half to even
    EXPECT_EQ(TestoDi(c, ole::Variante::Valuta(10000)), "Conti");
    LONG tre = 3;
    VARIANT rif;
    VariantInit(&rif);
    rif.vt = VT_I4 | VT_BYREF;
    rif.plVal = &tre;
    ole::Variante r;
    ASSERT_EQ(c->Item(&rif, r.put()), S_OK);
    EXPECT_EQ(ole::Utf8DaBstr(r->bstrVal), "Operazioni");

    struct {
        ole::Variante indice;
        std::int32_t errore;
    } casi[] = {{ole::Variante::I4(0), 9},
                {ole::Variante::I4(4), 9},
                {ole::Variante::I4(-1), 9},
                {ole::Variante::R8(1e12), 9},
                {ole::Variante::Testo("assente"), 9},
                {ole::Variante::Null(), 13},
                {ole::Variante::Mancante(), 5}};
    for (auto& k : casi) {
        ole::Variante x;
        EXPECT_EQ(ErroreDi(c->Item(k.indice.get(), x.put())), k.errore) << k.indice.vt();
    }
}

TEST(Collection, ChiaviSenzaDistinzioneDiMaiuscole) {
    auto c = ole::NuovaCollection();
    Aggiungi(c, ole::Variante::Testo("primo"), "Àlfa");
    Aggiungi(c, ole::Variante::Testo("secondo"), "beta");
    EXPECT_EQ(TestoDi(c, ole::Variante::Testo("àLFA")), "primo");
    HRESULT hr = [&] {
        ole::Variante v = ole::Variante::I4(1), k = ole::Variante::Testo("BETA");
        return c->Add(v.get(), k.get(), nullptr, nullptr);
    }();
    EXPECT_EQ(hr, MAKE_HRESULT(1, FACILITY_CONTROL, 457));
    const vq::Errore doppia = ole::ErroreDa(hr);
    EXPECT_EQ(doppia.numero(), 457);
    EXPECT_EQ(doppia.descrizione(), "Questa chiave è già associata ad un elemento dell'insieme");
    EXPECT_EQ(Numero(c), 2);
    ole::Variante chiave = ole::Variante::Testo("ALFA"), indice = ole::Variante::Testo("Àlfa");
    ASSERT_EQ(c->Remove(indice.get()), S_OK);
    EXPECT_EQ(Testi(c), std::vector<std::string>{"secondo"});
}

TEST(Collection, PrimaDopoEChiaviCheSeguonoInserimentiERimozioni) {
    auto c = ole::NuovaCollection();
    for (const char* k : {"a", "b", "c", "d"}) Aggiungi(c, ole::Variante::Testo(k), k);
    Aggiungi(c, ole::Variante::Testo("x"), "x", ole::Variante::Testo("b"));  // a x b c d
    Aggiungi(c, ole::Variante::Testo("y"), nullptr, ole::Variante::I4(1));   // y a x b c d
    Aggiungi(c, ole::Variante::Testo("z"), nullptr, ole::Variante::Mancante(),
             ole::Variante::I4(6));  // ... d z
    Aggiungi(c, ole::Variante::Testo("w"), nullptr, ole::Variante::Mancante(),
             ole::Variante::I4(2));  // y a w x ...
    ole::Variante v = ole::Variante::I4(0), uno = ole::Variante::I4(1);
    EXPECT_EQ(ErroreDi(c->Add(v.get(), nullptr, uno.get(), uno.get())),
              5);  // before and after at once
    EXPECT_EQ(ErroreDi(c->Add(v.get(), nullptr, ole::Variante::I4(9).get(), nullptr)), 9);
    ole::Variante via = ole::Variante::I4(3);
    ASSERT_EQ(c->Remove(via.get()), S_OK);  // y a x b c d z
    EXPECT_EQ(Testi(c), (std::vector<std::string>{"y", "a", "x", "b", "c", "d", "z"}));
    via = ole::Variante::Testo("C");
    ASSERT_EQ(c->Remove(via.get()), S_OK);  // y a x b d z
    via = ole::Variante::I4(2);
    ASSERT_EQ(c->Remove(via.get()), S_OK);  // y x b d z
    EXPECT_EQ(Testi(c), (std::vector<std::string>{"y", "x", "b", "d", "z"}));
    for (const char* k : {"x", "b", "d"}) EXPECT_EQ(TestoDi(c, ole::Variante::Testo(k)), k);
    for (const char* k : {"a", "c"}) {
        ole::Variante r;
        EXPECT_EQ(ErroreDi(c->Item(ole::Variante::Testo(k).get(), r.put())), 9) << k;
    }
    // A removed key is free again.
    Aggiungi(c, ole::Variante::Testo("a2"), "a", ole::Variante::Mancante(),
             ole::Variante::Testo("x"));
    EXPECT_EQ(Testi(c), (std::vector<std::string>{"y", "x", "a2", "b", "d", "z"}));
    EXPECT_EQ(TestoDi(c, ole::Variante::Testo("D")), "d");
}

TEST(Collection, EnumerazioneNextSkipResetClone) {
    auto c = ole::NuovaCollection();
    for (int i = 1; i <= 5; ++i) Aggiungi(c, ole::Variante::Testo(std::to_string(i)));
    ole::ComPtr<IUnknown> u;
    ASSERT_EQ(c->_NewEnum(u.put()), S_OK);
    auto e = u.as<IEnumVARIANT>(IID_IEnumVARIANT);
    VARIANT tre[3];
    ULONG presi = 0;
    ASSERT_EQ(e->Next(3, tre, &presi), S_OK);
    EXPECT_EQ(presi, 3u);
    EXPECT_EQ(ole::Utf8DaBstr(tre[2].bstrVal), "3");
    for (auto& v : tre) VariantClear(&v);
    ole::ComPtr<IEnumVARIANT> copia;
    ASSERT_EQ(e->Clone(copia.put()), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Next(3, tre, &presi), S_FALSE);
    EXPECT_EQ(presi, 1u);
    EXPECT_EQ(ole::Utf8DaBstr(tre[0].bstrVal), "5");
    VariantClear(&tre[0]);
    EXPECT_EQ(e->Skip(1), S_FALSE);
    EXPECT_EQ(e->Next(2, tre, nullptr), E_INVALIDARG);  // more than one needs the count
    ole::Variante v;
    ASSERT_EQ(copia->Next(1, v.put(), nullptr), S_OK);  // the clone went on from 3
    EXPECT_EQ(ole::Utf8DaBstr(v->bstrVal), "4");
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Next(1, v.put(), nullptr), S_OK);
    EXPECT_EQ(ole::Utf8DaBstr(v->bstrVal), "1");
}

TEST(Collection, OggettiRilasciatiConLaCollection) {
    ole::ComPtr<IEnumVARIANT> e;
    {
        auto c = ole::NuovaCollection();
        for (int i = 0; i < 3; ++i) {
            auto o = ole::CreaOggetto<Contato, IDispatch>(i);
            Aggiungi(c, ole::Variante::Oggetto(o.get()));
        }
        EXPECT_EQ(Contato::vivi, 3);
        ole::ComPtr<IUnknown> u;
        ASSERT_EQ(c->_NewEnum(u.put()), S_OK);
        e = u.as<IEnumVARIANT>(IID_IEnumVARIANT);
    }
    // The enumerator keeps the collection, and so its items, alive.
    EXPECT_EQ(Contato::vivi, 3);
    ole::Variante v;
    ASSERT_EQ(e->Next(1, v.put(), nullptr), S_OK);
    ASSERT_EQ(v.vt(), VT_DISPATCH);
    v.reset();
    e.reset();
    EXPECT_EQ(Contato::vivi, 0);
}

TEST(Collection, Dispatch) {
    auto c = ole::NuovaCollection();
    auto d = c.as<IDispatch>(IID_IDispatch);
    struct {
        const char16_t* nome;
        DISPID id;
    } nomi[] = {
        {u"Item", 0}, {u"ADD", 1}, {u"count", 2}, {u"Remove", 3}, {u"_NewEnum", DISPID_NEWENUM}};
    for (const auto& n : nomi) {
        LPOLESTR nome = const_cast<LPOLESTR>(n.nome);
        DISPID id = 99;
        ASSERT_EQ(d->GetIDsOfNames(IID_NULL, &nome, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, n.id);
    }
    LPOLESTR ignoto = const_cast<LPOLESTR>(u"Chiavi");
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &ignoto, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    // Add("x", "k") : arguments arrive last first.
    VARIANT arg[2];
    arg[1] = ole::Variante::Testo("x").detach();
    arg[0] = ole::Variante::Testo("k").detach();
    DISPPARAMS p{arg, nullptr, 2, 0};
    ASSERT_EQ(d->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), S_OK);
    for (auto& a : arg) VariantClear(&a);

    DISPPARAMS nessuno{nullptr, nullptr, 0, 0};
    ole::Variante r;
    ole::Variante chiave = ole::Variante::Testo("K");
    DISPPARAMS pk{chiave.get(), nullptr, 1, 0};
    ASSERT_EQ(
        d->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &pk, r.put(), nullptr, nullptr),
        S_OK);
    EXPECT_EQ(ole::Utf8DaBstr(r->bstrVal), "x");

    // A failure comes back in the EXCEPINFO, and the caller's side reads it.
    ole::Variante nove = ole::Variante::I4(9);
    DISPPARAMS p9{nove.get(), nullptr, 1, 0};
    EXCEPINFO ei{};
    HRESULT hr = d->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &p9, r.put(), &ei, nullptr);
    ASSERT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, MAKE_HRESULT(1, FACILITY_CONTROL, 9));
    const auto e = prova::ErroreDi([&] { ole::VerificaInvoke(hr, ei); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->numero(), 9);
    EXPECT_EQ(e->descrizione(), vq::DescrizioneRuntime(9));
    EXPECT_EQ(ei.bstrDescription, nullptr);  // freed by VerificaInvoke

    EXPECT_EQ(d->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &pk, r.put(), nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(d->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &nessuno, r.put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(d->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &nessuno, r.put(),
                        nullptr, nullptr),
              S_OK);
    EXPECT_EQ(r.vt(), VT_UNKNOWN);
}

TEST(Collection, InvocaEArgomentiDispatch) {
    auto c = ole::NuovaCollection();
    IDispatch* d = c.as<IDispatch>(IID_IDispatch).get();
    ole::Variante v = ole::Variante::Testo("valore"), k = ole::Variante::Testo("chiave");
    ole::Invoca(d, ole::IdDaNome(d, "Add"), DISPATCH_METHOD, {v.get(), k.get()});
    EXPECT_EQ(ole::Invoca(d, ole::IdDaNome(d, "Count"), DISPATCH_PROPERTYGET)->lVal, 1);
    EXPECT_EQ(
        ole::Utf8DaBstr(ole::Invoca(d, DISPID_VALUE, DISPATCH_PROPERTYGET, {k.get()})->bstrVal),
        "valore");
    ole::Variante cinque = ole::Variante::I4(5);
    EXPECT_EQ(
        prova::NumeroErrore([&] { ole::Invoca(d, DISPID_VALUE, DISPATCH_METHOD, {cinque.get()}); }),
        9);
    EXPECT_THROW(ole::IdDaNome(d, "Svuota"), vq::Errore);
}

TEST(Collection, PuntatoreAInterfacciaBase) {
    auto c = ole::NuovaCollection();
    ole::ComPtr<IDispatch> d = c;            // shares
    ole::ComPtr<IUnknown> u = std::move(c);  // takes over
    EXPECT_FALSE(c);
    EXPECT_EQ(static_cast<IUnknown*>(d.get()), u.get());
    EXPECT_EQ(d->AddRef(), 3u);
    EXPECT_EQ(d->Release(), 2u);
}

}  // namespace
