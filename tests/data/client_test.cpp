// Tessadati as a client sees it: the automation runtime and the component's public
// header. The library is registered into a temporary registry, created by class id and
// driven through its vtable and through Invoke by dispatch id.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "componenti_prova.h"
#include "tessadati/tessadati.h"

namespace {

using namespace prova;

const char* const kSenzaOggetto = "Variabile oggetto o variabile del blocco With non impostata";

class ClientTessadati : public SuiteComponente<ClientTessadati> {
public:
    static constexpr const char* kCartella = "tessadati-client";
    static constexpr const char* kLibreria = TESSADATI_LIB;

protected:
    static HRESULT CanUnloadNow() { return libreria_->Chiama("DllCanUnloadNow"); }

    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER,
                                   IID__ClsDatiMirtesa, reinterpret_cast<void**>(&dati_)),
                  S_OK);
    }
    void TearDown() override {
        if (dati_) {
            EXPECT_EQ(dati_->Release(), 0u);
        }
        EXPECT_EQ(CanUnloadNow(), S_OK);
    }

    HRESULT Invoca(DISPID id, WORD flag, std::initializer_list<const VARIANT*> argomenti,
                   VARIANT* risultato = nullptr, EXCEPINFO* eccezione = nullptr,
                   UINT* errore_argomento = nullptr) {
        return prova::Invoca(dati_, id, flag, argomenti, risultato, eccezione, errore_argomento);
    }
    std::string Lista(HRESULT (_ClsDatiMirtesa::*get)(BSTR*)) {
        ole::Bstr b;
        EXPECT_EQ((dati_->*get)(b.put()), S_OK);
        return b.utf8();
    }

    _ClsDatiMirtesa* dati_ = nullptr;
};

TEST_F(ClientTessadati, FiltroDallaVtable) {
    ole::Bstr lista("3;5");
    ASSERT_EQ(dati_->put_f_mult_conto(lista.get()), S_OK);
    EXPECT_EQ(Lista(&_ClsDatiMirtesa::get_f_mult_conto), "3;5");
    EXPECT_EQ(Lista(&_ClsDatiMirtesa::get_f_mult_cassa),
              "");  // a new object starts with empty lists

    // The 16-bit ids: the boundary passes, one beyond is error 6.
    const struct {
        HRESULT (_ClsDatiMirtesa::*put)(LONG*);
        LONG id;
        HRESULT atteso;
    } ids[] = {{&_ClsDatiMirtesa::put_ImpostaConto, 32767, S_OK},
               {&_ClsDatiMirtesa::put_ImpostaConto, 32768, Errore(6)},
               {&_ClsDatiMirtesa::put_ImpostaCassa, -32769, Errore(6)}};
    for (auto c : ids) {
        EXPECT_EQ((dati_->*c.put)(&c.id), c.atteso) << c.id;
        if (c.atteso != S_OK) {
            EXPECT_EQ(Descrizione(), "Overflow") << c.id;
        }
    }

    VARIANT_BOOL vero = VARIANT_TRUE;
    DATE data = 38047.5;
    EXPECT_EQ(dati_->put_FiltroBancomat(&vero), S_OK);
    EXPECT_EQ(dati_->put_FiltroDataIniziale(&data), S_OK);
    EXPECT_EQ(dati_->ClearFiltri(), S_OK);
    EXPECT_EQ(Lista(&_ClsDatiMirtesa::get_f_mult_conto), "");
}

TEST_F(ClientTessadati, FiltroDaInvoke) {
    ole::Variante testo = ole::Variante::Testo("4;7;");
    ASSERT_EQ(Invoca(DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYPUT, {testo.get()}),
              S_OK);
    ole::Variante letto;
    ASSERT_EQ(Invoca(DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {},
                     letto.put()),
              S_OK);
    ASSERT_EQ(letto.vt(), VT_BSTR);
    EXPECT_EQ(ole::Utf8DaBstr(letto->bstrVal), "4;7;");

    // Arguments of other types than declared are converted: an I2 where an I4 is
    // expected, by value and by reference, a double for a date, a boolean.
    LONG l = 9;
    VARIANT rif;
    VariantInit(&rif);
    rif.vt = VT_BYREF | VT_I4;
    rif.plVal = &l;
    ole::Variante i2 = ole::Variante::I2(12), r8 = ole::Variante::R8(38000),
                  vero = ole::Variante::Booleano(true);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {i2.get()}), S_OK);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaCassa, DISPATCH_PROPERTYPUT, {&rif}), S_OK);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_FiltroDataFinale, DISPATCH_PROPERTYPUT, {r8.get()}),
              S_OK);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_FiltroCarta, DISPATCH_PROPERTYPUT, {vero.get()}), S_OK);

    // Overflow of the 16-bit field: an exception with number and description.
    ole::Variante grande = ole::Variante::I4(40000);
    EXCEPINFO ei{};
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {grande.get()},
                     nullptr, &ei),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(6));
    EXPECT_EQ(DescrizioneEccezione(ei), "Overflow");

    // Text that is not a number cannot be coerced.
    ole::Variante parola = ole::Variante::Testo("abc");
    UINT errato = 99;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {parola.get()},
                     nullptr, nullptr, &errato),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(errato, 0u);
}

TEST_F(ClientTessadati, ErroriDiDispatch) {
    ole::Variante uno = ole::Variante::I4(1);
    EXPECT_EQ(Invoca(0x12345, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ClearFiltri, DISPATCH_METHOD, {uno.get()}),
              DISP_E_BADPARAMCOUNT);
    // ImpostaConto can only be written.
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYGET, {}),
              DISP_E_MEMBERNOTFOUND);
    DISPPARAMS vuoti{};
    EXPECT_EQ(dati_->Invoke(DISPID_ClsDatiMirtesa_ClearFiltri, IID__ClsDatiMirtesa, 0,
                            DISPATCH_METHOD, &vuoti, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    const NomeDispatch nomi[] = {{"gettotrecord", DISPID_ClsDatiMirtesa_GetTotRecord},
                                 {"F_MULT_CASSA", DISPID_ClsDatiMirtesa_f_mult_cassa},
                                 {"ImpostaConto", DISPID_ClsDatiMirtesa_ImpostaConto},
                                 {"FiltroDataFinale", DISPID_ClsDatiMirtesa_FiltroDataFinale},
                                 {"Inesistente", DISPID_UNKNOWN}};
    ControllaNomi(dati_, nomi);
}

TEST_F(ClientTessadati, InterrogazioniSenzaDatabaseFallisconoPulite) {
    LONG n = 123;
    EXPECT_EQ(dati_->GetTotRecord(&n), Errore(91));
    EXPECT_EQ(Descrizione(), kSenzaOggetto);
    DOUBLE euro = 0;
    EXPECT_EQ(dati_->GetImportoEuro(&euro), Errore(91));
    EXPECT_EQ(Descrizione(), kSenzaOggetto);
    _Collection* conti = nullptr;
    EXPECT_EQ(dati_->GetConti(&conti), Errore(91));
    EXPECT_EQ(conti, nullptr);
    SHORT idconto = -1;
    EXPECT_EQ(dati_->GetCodiciCassa(&idconto, &conti), Errore(91));
    Descrizione();

    // No host component registered in this registry: the data folder cannot be asked.
    EXPECT_EQ(dati_->ApriDataBase(), Errore(429));
    EXPECT_FALSE(Descrizione().empty());
    // Closing without a database does nothing, twice.
    EXPECT_EQ(dati_->ChiudiDataBase(), S_OK);
    EXPECT_EQ(dati_->ChiudiDataBase(), S_OK);

    // Through Invoke: the array argument by reference through a variant is left alone.
    ole::Variante interno, risultato;
    const VARIANT rif = Riferimento(interno.get());
    EXCEPINFO ei{};
    EXPECT_EQ(
        Invoca(DISPID_ClsDatiMirtesa_GetArrayDati, DISPATCH_METHOD, {&rif}, risultato.put(), &ei),
        DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(91));
    EXPECT_EQ(DescrizioneEccezione(ei), kSenzaOggetto);
    EXPECT_EQ(interno.vt(), VT_EMPTY);
    Descrizione();

    // The object is still usable.
    ole::Bstr lista("8");
    EXPECT_EQ(dati_->put_f_mult_cassa(lista.get()), S_OK);
    EXPECT_EQ(Lista(&_ClsDatiMirtesa::get_f_mult_cassa), "8");
}

TEST_F(ClientTessadati, StessoOggettoPerOgniInterfaccia) {
    IUnknown* identita = nullptr;
    ASSERT_EQ(dati_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identita)), S_OK);
    for (const IID& iid : {IID_IDispatch, IID__ClsDatiMirtesa, IID__ClsDatiMirtesa_Precedente,
                           IID_ISupportErrorInfo}) {
        auto p = ole::ComPtr<_ClsDatiMirtesa>(dati_).as<IUnknown>(iid);
        EXPECT_EQ(p.as<IUnknown>(IID_IUnknown).get(), identita);
    }
    void* nessuno = reinterpret_cast<void*>(1);
    EXPECT_EQ(dati_->QueryInterface(IID__clsConti, &nessuno), E_NOINTERFACE);
    EXPECT_EQ(nessuno, nullptr);
    EXPECT_EQ(identita->Release(), 1u);
}

TEST_F(ClientTessadati, CaricamentoELiberazione) {
    // While an object lives, or the server is locked, the library must stay.
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    IClassFactory* fabbrica = nullptr;
    auto fabbricaConti = [&] {
        return CoGetClassObject(CLSID_clsConti, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&fabbrica));
    };
    ASSERT_EQ(fabbricaConti(), S_OK);
    EXPECT_EQ(fabbrica->LockServer(TRUE), S_OK);
    EXPECT_EQ(fabbrica->Release(), 0u);
    EXPECT_EQ(dati_->Release(), 0u);
    dati_ = nullptr;
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(fabbricaConti(), S_OK);
    EXPECT_EQ(fabbrica->LockServer(FALSE), S_OK);
    void* p = nullptr;
    EXPECT_EQ(fabbrica->CreateInstance(reinterpret_cast<IUnknown*>(fabbrica), IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(fabbrica->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ClientTessadati, ClassiRecord) {
    _clsCassa* cassa = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_clsCassa, nullptr, CLSCTX_INPROC_SERVER, IID__clsCassa,
                               reinterpret_cast<void**>(&cassa)),
              S_OK);
    LONG id = 1;
    ASSERT_EQ(cassa->get_IDCassa(&id), S_OK);
    EXPECT_EQ(id, 0);
    ole::Variante vuota;
    ASSERT_EQ(cassa->get_Cassa(vuota.put()), S_OK);
    EXPECT_EQ(vuota.vt(), VT_EMPTY);

    // The account is created on the first read, and kept.
    _clsConti* primo = nullptr;
    _clsConti* secondo = nullptr;
    ASSERT_EQ(cassa->get_Conto(&primo), S_OK);
    ASSERT_NE(primo, nullptr);
    ASSERT_EQ(cassa->get_Conto(&secondo), S_OK);
    EXPECT_EQ(primo, secondo);
    secondo->Release();
    EXPECT_EQ(primo->put_IDConto(42), S_OK);

    // Replaced by another account: the first loses its last reference.
    _clsConti* altro = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_clsConti, nullptr, CLSCTX_INPROC_SERVER, IID__clsConti,
                               reinterpret_cast<void**>(&altro)),
              S_OK);
    EXPECT_EQ(cassa->putref_Conto(&altro), S_OK);
    ASSERT_EQ(cassa->get_Conto(&secondo), S_OK);
    EXPECT_EQ(secondo, altro);
    LONG idconto = 7;
    EXPECT_EQ(secondo->get_IDConto(&idconto), S_OK);
    EXPECT_EQ(idconto, 0);
    secondo->Release();
    EXPECT_EQ(altro->Release(), 1u);  // still held by the cash code
    EXPECT_EQ(primo->Release(), 0u);

    // Cassa by dispatch id: written with a text, read back; the account as an object.
    ole::Variante testo = ole::Variante::Testo("Spesa"), letto, oggetto;
    EXPECT_EQ(prova::Invoca(cassa, DISPID_clsCassa_Cassa, DISPATCH_PROPERTYPUT, {testo.get()}),
              S_OK);
    ASSERT_EQ(prova::Invoca(cassa, DISPID_clsCassa_Cassa, DISPATCH_PROPERTYGET, {}, letto.put()),
              S_OK);
    ASSERT_EQ(letto.vt(), VT_BSTR);
    EXPECT_EQ(ole::Utf8DaBstr(letto->bstrVal), "Spesa");
    ASSERT_EQ(prova::Invoca(cassa, DISPID_clsCassa_Conto, DISPATCH_PROPERTYGET, {}, oggetto.put()),
              S_OK);
    EXPECT_EQ(oggetto.vt(), VT_DISPATCH);
    oggetto = ole::Variante();
    EXPECT_EQ(cassa->SlotNonPubblicato(), E_NOTIMPL);
    EXPECT_EQ(cassa->Release(), 0u);
}

}  // namespace
