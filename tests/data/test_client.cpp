// Tessadati as a client sees it: only the automation runtime and the component's public
// header. The library is registered into a temporary registry, created by class id and
// driven through its vtable and through Invoke by dispatch id.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ole/automation.h"
#include "tessadati/tessadati.h"

namespace {

// A fresh folder for a temporary registry; in memory when the system offers it, as the
// registry store makes every change durable on disk.
std::string CartellaTemporanea(const char* nome) {
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string modello = std::string(base) + "/" + nome + "-XXXXXX";
        if (access(base, W_OK) == 0 && mkdtemp(modello.data())) return modello;
    }
    return {};
}

constexpr HRESULT Errore(int numero) { return MAKE_HRESULT(1, FACILITY_CONTROL, numero); }

std::u16string U16(const char* s) {
    std::u16string r;
    for (; *s; ++s) r.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return r;
}

std::string Ascii(BSTR b) {
    std::string r;
    for (UINT i = 0; i < SysStringLen(b); ++i) r.push_back(static_cast<char>(b[i]));
    return r;
}

// The description in the thread's error info, consuming it ("" when there is none).
std::string DescrizioneErrore() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR d = nullptr;
    info->GetDescription(&d);
    std::string r = Ascii(d);
    SysFreeString(d);
    info->Release();
    return r;
}

class Bstr {
public:
    explicit Bstr(const char* s) : b_(SysAllocString(U16(s).c_str())) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

struct Variante : VARIANT {
    Variante() { VariantInit(this); }
    ~Variante() { VariantClear(this); }
    Variante(const Variante&) = delete;
    Variante& operator=(const Variante&) = delete;
};

class ClientTessadati : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = new std::string(CartellaTemporanea("tessadati-client"));
        ASSERT_FALSE(cartella_->empty());
        setenv("XDG_CONFIG_HOME", cartella_->c_str(), 1);
        unsetenv("VQ_REGISTRO_DIR");

        libreria_ = dlopen(TESSADATI_LIB, RTLD_NOW);
        ASSERT_NE(libreria_, nullptr) << dlerror();
        auto registra = reinterpret_cast<HRESULT (*)()>(dlsym(libreria_, "DllRegisterServer"));
        ASSERT_NE(registra, nullptr);
        ASSERT_EQ(registra(), S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        if (libreria_) dlclose(libreria_);
        if (cartella_) std::filesystem::remove_all(*cartella_);
        delete cartella_;
        cartella_ = nullptr;
    }

    static HRESULT CanUnloadNow() {
        auto f = reinterpret_cast<HRESULT (*)()>(dlsym(libreria_, "DllCanUnloadNow"));
        return f ? f() : E_FAIL;
    }

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

    // Invoke with the arguments in declaration order (DISPPARAMS takes them reversed).
    HRESULT Invoca(DISPID id, WORD flag, std::initializer_list<VARIANT*> argomenti,
                   VARIANT* risultato = nullptr, EXCEPINFO* eccezione = nullptr,
                   UINT* errore_argomento = nullptr) {
        VARIANT rg[4];
        UINT n = 0;
        for (auto it = argomenti.end(); it != argomenti.begin();) rg[n++] = **--it;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS p{rg, nullptr, n, 0};
        if (flag & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            p.rgdispidNamedArgs = &put;
            p.cNamedArgs = 1;
        }
        return dati_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flag, &p, risultato, eccezione,
                             errore_argomento);
    }

    static std::string* cartella_;
    static void* libreria_;
    _ClsDatiMirtesa* dati_ = nullptr;
};

std::string* ClientTessadati::cartella_ = nullptr;
void* ClientTessadati::libreria_ = nullptr;

TEST_F(ClientTessadati, FiltroDallaVtable) {
    Bstr lista("3;5");
    ASSERT_EQ(dati_->put_f_mult_conto(lista.get()), S_OK);
    BSTR letto = nullptr;
    ASSERT_EQ(dati_->get_f_mult_conto(&letto), S_OK);
    EXPECT_EQ(Ascii(letto), "3;5");
    SysFreeString(letto);

    // A new object starts with empty lists.
    letto = nullptr;
    ASSERT_EQ(dati_->get_f_mult_cassa(&letto), S_OK);
    EXPECT_EQ(SysStringLen(letto), 0u);
    SysFreeString(letto);

    LONG id = 32767;
    EXPECT_EQ(dati_->put_ImpostaConto(&id), S_OK);
    id = 32768;
    EXPECT_EQ(dati_->put_ImpostaConto(&id), Errore(6));
    EXPECT_EQ(DescrizioneErrore(), "Overflow");
    id = -32769;
    EXPECT_EQ(dati_->put_ImpostaCassa(&id), Errore(6));
    EXPECT_EQ(DescrizioneErrore(), "Overflow");

    VARIANT_BOOL vero = VARIANT_TRUE;
    DATE data = 38047.5;
    EXPECT_EQ(dati_->put_FiltroBancomat(&vero), S_OK);
    EXPECT_EQ(dati_->put_FiltroDataIniziale(&data), S_OK);
    EXPECT_EQ(dati_->ClearFiltri(), S_OK);
    ASSERT_EQ(dati_->get_f_mult_conto(&letto), S_OK);
    EXPECT_EQ(SysStringLen(letto), 0u);
    SysFreeString(letto);
}

TEST_F(ClientTessadati, FiltroDaInvoke) {
    Variante testo;
    testo.vt = VT_BSTR;
    testo.bstrVal = SysAllocString(u"4;7;");
    ASSERT_EQ(Invoca(DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYPUT, {&testo}), S_OK);

    Variante letto;
    ASSERT_EQ(Invoca(DISPID_ClsDatiMirtesa_f_mult_conto, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                     {}, &letto),
              S_OK);
    ASSERT_EQ(letto.vt, VT_BSTR);
    EXPECT_EQ(Ascii(letto.bstrVal), "4;7;");

    // An I2 where an I4 is expected, by value and by reference through a variant.
    VARIANT i2;
    VariantInit(&i2);
    i2.vt = VT_I2;
    i2.iVal = 12;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {&i2}), S_OK);
    LONG l = 9;
    VARIANT rif;
    VariantInit(&rif);
    rif.vt = VT_BYREF | VT_I4;
    rif.plVal = &l;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaCassa, DISPATCH_PROPERTYPUT, {&rif}), S_OK);
    VARIANT data;
    VariantInit(&data);
    data.vt = VT_R8;
    data.dblVal = 38000;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_FiltroDataFinale, DISPATCH_PROPERTYPUT, {&data}), S_OK);
    VARIANT vero;
    VariantInit(&vero);
    vero.vt = VT_BOOL;
    vero.boolVal = VARIANT_TRUE;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_FiltroCarta, DISPATCH_PROPERTYPUT, {&vero}), S_OK);

    // Overflow of the 16-bit field: an exception with number and description.
    VARIANT grande;
    VariantInit(&grande);
    grande.vt = VT_I4;
    grande.lVal = 40000;
    EXCEPINFO ei{};
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {&grande}, nullptr, &ei),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(6));
    EXPECT_EQ(Ascii(ei.bstrDescription), "Overflow");
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrHelpFile);

    // Text that is not a number cannot be coerced.
    Variante parola;
    parola.vt = VT_BSTR;
    parola.bstrVal = SysAllocString(u"abc");
    UINT errato = 99;
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYPUT, {&parola}, nullptr,
                     nullptr, &errato),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(errato, 0u);
}

TEST_F(ClientTessadati, ErroriDiDispatch) {
    VARIANT uno;
    VariantInit(&uno);
    uno.vt = VT_I4;
    uno.lVal = 1;
    EXPECT_EQ(Invoca(0x12345, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ClearFiltri, DISPATCH_METHOD, {&uno}), DISP_E_BADPARAMCOUNT);
    // ImpostaConto can only be written.
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_ImpostaConto, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS vuoti{};
    EXPECT_EQ(dati_->Invoke(DISPID_ClsDatiMirtesa_ClearFiltri, IID__ClsDatiMirtesa, 0, DISPATCH_METHOD,
                            &vuoti, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    const struct {
        const char* nome;
        DISPID id;
    } nomi[] = {{"gettotrecord", DISPID_ClsDatiMirtesa_GetTotRecord},
                {"F_MULT_CASSA", DISPID_ClsDatiMirtesa_f_mult_cassa},
                {"ImpostaConto", DISPID_ClsDatiMirtesa_ImpostaConto},
                {"FiltroDataFinale", DISPID_ClsDatiMirtesa_FiltroDataFinale}};
    for (const auto& n : nomi) {
        std::u16string s = U16(n.nome);
        LPOLESTR p = s.data();
        DISPID id = 0;
        EXPECT_EQ(dati_->GetIDsOfNames(IID_NULL, &p, 1, 0, &id), S_OK) << n.nome;
        EXPECT_EQ(id, n.id) << n.nome;
    }
    std::u16string ignoto = u"Inesistente";
    LPOLESTR p = ignoto.data();
    DISPID id = 0;
    EXPECT_EQ(dati_->GetIDsOfNames(IID_NULL, &p, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(ClientTessadati, InterrogazioniSenzaDatabaseFallisconoPulite) {
    LONG n = 123;
    EXPECT_EQ(dati_->GetTotRecord(&n), Errore(91));
    EXPECT_EQ(DescrizioneErrore(), "Variabile oggetto o variabile del blocco With non impostata");

    DOUBLE euro = 0;
    EXPECT_EQ(dati_->GetImportoEuro(&euro), Errore(91));
    EXPECT_FALSE(DescrizioneErrore().empty());
    _Collection* conti = nullptr;
    EXPECT_EQ(dati_->GetConti(&conti), Errore(91));
    EXPECT_EQ(conti, nullptr);
    DescrizioneErrore();
    SHORT idconto = -1;
    EXPECT_EQ(dati_->GetCodiciCassa(&idconto, &conti), Errore(91));
    DescrizioneErrore();

    // No host component registered in this registry: the data folder cannot be asked.
    EXPECT_EQ(dati_->ApriDataBase(), Errore(429));
    EXPECT_FALSE(DescrizioneErrore().empty());
    // Closing without a database does nothing, twice.
    EXPECT_EQ(dati_->ChiudiDataBase(), S_OK);
    EXPECT_EQ(dati_->ChiudiDataBase(), S_OK);

    // Through Invoke: the array argument by reference through a variant is left alone.
    Variante interno;
    VARIANT dati;
    VariantInit(&dati);
    dati.vt = VT_BYREF | VT_VARIANT;
    dati.pvarVal = &interno;
    Variante risultato;
    EXCEPINFO ei{};
    EXPECT_EQ(Invoca(DISPID_ClsDatiMirtesa_GetArrayDati, DISPATCH_METHOD, {&dati}, &risultato, &ei),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(91));
    EXPECT_EQ(Ascii(ei.bstrDescription), "Variabile oggetto o variabile del blocco With non impostata");
    EXPECT_EQ(interno.vt, VT_EMPTY);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrHelpFile);
    DescrizioneErrore();

    // The object is still usable.
    Bstr lista("8");
    EXPECT_EQ(dati_->put_f_mult_cassa(lista.get()), S_OK);
    BSTR letto = nullptr;
    ASSERT_EQ(dati_->get_f_mult_cassa(&letto), S_OK);
    EXPECT_EQ(Ascii(letto), "8");
    SysFreeString(letto);
}

TEST_F(ClientTessadati, StessoOggettoPerOgniInterfaccia) {
    IUnknown* identita = nullptr;
    ASSERT_EQ(dati_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identita)), S_OK);
    for (const IID& iid : {IID_IDispatch, IID__ClsDatiMirtesa, IID__ClsDatiMirtesa_Precedente,
                           IID_ISupportErrorInfo}) {
        IUnknown* p = nullptr;
        ASSERT_EQ(dati_->QueryInterface(iid, reinterpret_cast<void**>(&p)), S_OK);
        IUnknown* u = nullptr;
        ASSERT_EQ(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u)), S_OK);
        EXPECT_EQ(u, identita);
        u->Release();
        p->Release();
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
    ASSERT_EQ(CoGetClassObject(CLSID_clsConti, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&fabbrica)),
              S_OK);
    EXPECT_EQ(fabbrica->LockServer(TRUE), S_OK);
    EXPECT_EQ(fabbrica->Release(), 0u);
    EXPECT_EQ(dati_->Release(), 0u);
    dati_ = nullptr;
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(CoGetClassObject(CLSID_clsConti, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&fabbrica)),
              S_OK);
    EXPECT_EQ(fabbrica->LockServer(FALSE), S_OK);
    IUnknown* esterno = reinterpret_cast<IUnknown*>(fabbrica);
    void* p = nullptr;
    EXPECT_EQ(fabbrica->CreateInstance(esterno, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
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
    Variante vuota;
    ASSERT_EQ(cassa->get_Cassa(&vuota), S_OK);
    EXPECT_EQ(vuota.vt, VT_EMPTY);

    // The account is created on the first read, and kept.
    _clsConti* primo = nullptr;
    _clsConti* secondo = nullptr;
    ASSERT_EQ(cassa->get_Conto(&primo), S_OK);
    ASSERT_NE(primo, nullptr);
    ASSERT_EQ(cassa->get_Conto(&secondo), S_OK);
    EXPECT_EQ(primo, secondo);
    secondo->Release();
    EXPECT_EQ(primo->put_IDConto(42), S_OK);
    Bstr nome("Banca");
    EXPECT_EQ(primo->put_Conto(nome.get()), S_OK);

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
    EXPECT_EQ(primo->Release(), 0u);  // replaced: its last reference

    // Cassa by dispatch id: written with a text, read back.
    Variante testo;
    testo.vt = VT_BSTR;
    testo.bstrVal = SysAllocString(u"Spesa");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p{&testo, &put, 1, 1};
    EXPECT_EQ(cassa->Invoke(DISPID_clsCassa_Cassa, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr,
                            nullptr, nullptr),
              S_OK);
    Variante letto;
    DISPPARAMS nessuno{};
    ASSERT_EQ(cassa->Invoke(DISPID_clsCassa_Cassa, IID_NULL, 0, DISPATCH_PROPERTYGET, &nessuno,
                            &letto, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(letto.vt, VT_BSTR);
    EXPECT_EQ(Ascii(letto.bstrVal), "Spesa");

    // The account by dispatch id as an object.
    Variante oggetto;
    ASSERT_EQ(cassa->Invoke(DISPID_clsCassa_Conto, IID_NULL, 0, DISPATCH_PROPERTYGET, &nessuno,
                            &oggetto, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(oggetto.vt, VT_DISPATCH);
    EXPECT_EQ(cassa->SlotNonPubblicato(), E_NOTIMPL);
    VariantClear(&oggetto);
    EXPECT_EQ(cassa->Release(), 0u);
}

}  // namespace
