// The host's integration component as a client sees it: the automation runtime and the
// component's published header. The library is registered into a temporary registry,
// created by class id and called through its vtable and through Invoke by dispatch id.
// The registry functions only prepare the host's installation and read back what the
// component recorded.
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "componenti_prova.h"
#include "mirtesahost/mirtesahost.h"

namespace {

namespace fs = std::filesystem;
using namespace prova;

const char* const kPercorsi = "Software\\Mirtesa\\Percorsi";
const char* const kModuli = "Software\\Mirtesa\\ModuliAggiuntivi";
const std::string kNonInstallato = "Mirtesa non risulta installato su questo sistema: ";
const std::string kDove = " della chiave HKEY_CURRENT_USER\\Software\\Mirtesa\\Percorsi";
const std::string kReinstallare = ". Reinstallare Mirtesa.";

void Imposta(const char* nome, const std::string& dato, DWORD tipo = REG_SZ,
             bool terminato = true) {
    ASSERT_TRUE(ScriviValore(HKEY_CURRENT_USER, kPercorsi, nome, dato, tipo, terminato));
}

DWORD Sottochiavi(const char* chiave) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, chiave, 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
    DWORD n = 0;
    RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(h);
    return n;
}

class ClientMirtesaHost : public SuiteComponente<ClientMirtesaHost> {
public:
    static constexpr const char* kCartella = "mirtesahost-client";
    static constexpr const char* kLibreria = MIRTESAHOST_LIB;

protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        ASSERT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMirtesaIntegrazione, reinterpret_cast<void**>(&host_)),
                  S_OK);
    }
    void TearDown() override {
        if (host_) {
            EXPECT_EQ(host_->Release(), 0u);
        }
        EXPECT_EQ(libreria_->Chiama("DllCanUnloadNow"), S_OK);
    }

    // A text query through the vtable: the text, or the failure's HRESULT in `hr`.
    std::string Testo(HRESULT (IMirtesaIntegrazione::*query)(BSTR*), HRESULT& hr) {
        ole::Bstr b;
        hr = (host_->*query)(b.put());
        return b.utf8();
    }
    HRESULT Registra(const std::u16string& percorso, const std::u16string& titolo,
                     const std::u16string& descrizione, VARIANT_BOOL& cambiato) {
        ole::Bstr p(percorso), t(titolo), d(descrizione);
        cambiato = 7;
        return host_->RegistraModulo(p.get(), t.get(), d.get(), &cambiato);
    }
    HRESULT Invoca(DISPID id, WORD flag, std::initializer_list<const VARIANT*> argomenti,
                   VARIANT* risultato = nullptr, EXCEPINFO* eccezione = nullptr,
                   UINT* errore_argomento = nullptr) {
        return prova::Invoca(host_, id, flag, argomenti, risultato, eccezione, errore_argomento);
    }
    static fs::path Hive() { return *cartella_ / "vq/registro/HKCU.reg"; }

    IMirtesaIntegrazione* host_ = nullptr;
};

TEST_F(ClientMirtesaHost, CartelleFinisconoConIlSeparatore) {
    setenv("MH_BASE", "/base prova", 1);
    unsetenv("MH_IGNOTA");
    const struct {
        const char* registrato;
        DWORD tipo;
        bool terminato;
        std::string atteso;
    } casi[] = {
        {"/opt/mirtesa/programma", REG_SZ, true, "/opt/mirtesa/programma/"},
        {"/opt/mirtesa/", REG_SZ, true, "/opt/mirtesa/"},
        {"/", REG_SZ, true, "/"},
        {"relativa", REG_SZ, true, "relativa/"},
        {"/senza/terminatore", REG_SZ, false, "/senza/terminatore/"},
        {"/opt/città €/dati", REG_SZ, true, "/opt/città €/dati/"},
        {"%MH_BASE%/dati", REG_EXPAND_SZ, true, "/base prova/dati/"},
        {"%MH_IGNOTA%/x%MH_BASE%", REG_EXPAND_SZ, true, "%MH_IGNOTA%/x/base prova/"},
        {"/%MH_BASE%", REG_SZ, true, "/%MH_BASE%/"},  // plain text is not expanded
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.registrato);
        // The same rule for both folders, each read from its own value.
        Imposta("Programma", c.registrato, c.tipo, c.terminato);
        Imposta("Dati", std::string(c.registrato) + "/d", c.tipo, c.terminato);
        HRESULT hr = E_FAIL, hr_dati = E_FAIL;
        EXPECT_EQ(Testo(&IMirtesaIntegrazione::PercorsoProgramma, hr), c.atteso);
        EXPECT_EQ(hr, S_OK);
        const std::string dati = Testo(&IMirtesaIntegrazione::PercorsoDati, hr_dati);
        EXPECT_EQ(hr_dati, S_OK);
        EXPECT_TRUE(dati.ends_with("/d/")) << dati;
    }
    unsetenv("MH_BASE");
}

TEST_F(ClientMirtesaHost, HostNonInstallato) {
    const struct {
        const char* caso;
        void (*prepara)();
        std::string motivo;  // for the data folder
    } casi[] = {
        {"nessuna chiave", [] {},
         "manca la chiave HKEY_CURRENT_USER\\Software\\Mirtesa\\Percorsi del registro"},
        {"valore assente", [] { Imposta("Programma", "/p"); }, "manca il valore \"Dati\"" + kDove},
        {"valore vuoto", [] { Imposta("Dati", ""); }, "il valore \"Dati\"" + kDove + " è vuoto"},
        {"vuoto senza terminatore", [] { Imposta("Dati", "", REG_SZ, false); },
         "il valore \"Dati\"" + kDove + " è vuoto"},
        {"espanso a vuoto",
         [] {
             setenv("MH_VUOTA", "", 1);
             Imposta("Dati", "%MH_VUOTA%", REG_EXPAND_SZ);
         },
         "il valore \"Dati\"" + kDove + " è vuoto"},
        {"non testo", [] { Imposta("Dati", "abcd", REG_DWORD, false); },
         "il valore \"Dati\"" + kDove + " non è un testo"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        c.prepara();
        HRESULT hr = S_OK;
        EXPECT_EQ(Testo(&IMirtesaIntegrazione::PercorsoDati, hr), "");
        EXPECT_EQ(hr, static_cast<HRESULT>(0x800A2AF9u));  // error kErrMirtesaNonInstallato
        EXPECT_EQ(Descrizione(), kNonInstallato + c.motivo + kReinstallare);
        VARIANT_BOOL installato = VARIANT_TRUE;
        EXPECT_EQ(host_->Installato(&installato), S_OK);
        EXPECT_EQ(installato, VARIANT_FALSE);
    }
    // One folder recorded, the other not: each query answers for its own; the version is
    // the program's, so without its folder there is none to read.
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
    Imposta("Dati", "/d");
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Testo(&IMirtesaIntegrazione::PercorsoDati, hr), "/d/");
    EXPECT_EQ(hr, S_OK);
    const std::string manca_programma =
        kNonInstallato + "manca il valore \"Programma\"" + kDove + kReinstallare;
    for (auto query : {&IMirtesaIntegrazione::PercorsoProgramma, &IMirtesaIntegrazione::Versione}) {
        BSTR b = nullptr;
        EXPECT_EQ((host_->*query)(&b), Errore(kErrMirtesaNonInstallato));
        EXPECT_EQ(b, nullptr);
        EXPECT_EQ(Descrizione(), manca_programma);
    }
    Imposta("Programma", "/p");
    VARIANT_BOOL installato = VARIANT_FALSE;
    EXPECT_EQ(host_->Installato(&installato), S_OK);
    EXPECT_EQ(installato, VARIANT_TRUE);

    // The error info is there for a caller that asks the object first.
    auto supporto =
        ole::ComPtr<IMirtesaIntegrazione>(host_).as<ISupportErrorInfo>(IID_ISupportErrorInfo);
    EXPECT_EQ(supporto->InterfaceSupportsErrorInfo(IID_IMirtesaIntegrazione), S_OK);
}

TEST_F(ClientMirtesaHost, RegistroDanneggiatoNonEHostMancante) {
    ASSERT_TRUE(InstallaHost("/p", "/d"));
    ASSERT_TRUE(fs::exists(Hive()));
    std::ofstream(Hive(), std::ios::trunc) << "questo non è un archivio del registro\n[[[\n";
    HRESULT hr = S_OK;
    Testo(&IMirtesaIntegrazione::PercorsoDati, hr);
    EXPECT_EQ(hr, Errore(kErrMirtesaRegistroIlleggibile));
    EXPECT_TRUE(Descrizione().starts_with("Impossibile leggere il registro di sistema (errore "));
    VARIANT_BOOL installato = VARIANT_TRUE;
    EXPECT_EQ(host_->Installato(&installato), Errore(kErrMirtesaRegistroIlleggibile));
    // Nothing is recorded over a hive that cannot be read.
    VARIANT_BOOL cambiato;
    EXPECT_EQ(Registra(u"/x", u"T", u"D", cambiato), Errore(kErrMirtesaRegistroIlleggibile));
    Descrizione();
    fs::remove(Hive());
}

TEST_F(ClientMirtesaHost, VersioneDelProgramma) {
    const fs::path programma = *cartella_ / "programma";
    fs::remove_all(programma);
    fs::create_directories(programma);
    ASSERT_TRUE(InstallaHost(programma.string(), "/d"));
    auto versione = [&] {
        HRESULT hr = E_FAIL;
        std::string r = Testo(&IMirtesaIntegrazione::Versione, hr);
        EXPECT_EQ(hr, S_OK);
        return r;
    };
    EXPECT_EQ(versione(), "0.0.0.0");  // no program
    std::ofstream(programma / "Mirtesa.exe", std::ios::binary) << "MZ non un programma";
    EXPECT_EQ(versione(), "0.0.0.0");  // not a PE file
    if (std::string(MIRTESA_EXE).empty())
        GTEST_SKIP() << "Mirtesa.exe not built (LLVM tools missing)";
    fs::remove(programma / "Mirtesa.exe");
    // The host's file system ignores case.
    fs::copy_file(MIRTESA_EXE, programma / "MIRTESA.EXE");
    EXPECT_EQ(versione(), "3.3.0.0");
    fs::rename(programma / "MIRTESA.EXE", programma / "Mirtesa.exe");
    EXPECT_EQ(versione(), "3.3.0.0");
}

TEST_F(ClientMirtesaHost, RegistrazioneDelModulo) {
    const std::string chiave = std::string(kModuli) + "\\Esporta XML";
    // The add-in's record as path | caption | description.
    auto record = [&] {
        return LeggiValore(HKEY_CURRENT_USER, chiave, "Percorso") + " | " +
               LeggiValore(HKEY_CURRENT_USER, chiave, "Titolo") + " | " +
               LeggiValore(HKEY_CURRENT_USER, chiave, "Descrizione");
    };
    VARIANT_BOOL cambiato = 0;
    // The host need not be installed to accept an add-in.
    ASSERT_EQ(Registra(u"/opt/travasa/Travasa.exe", u"Esporta XML", u"Esporta l'estratto in XML",
                       cambiato),
              S_OK);
    EXPECT_EQ(cambiato, VARIANT_TRUE);
    EXPECT_EQ(record(), "/opt/travasa/Travasa.exe | Esporta XML | Esporta l'estratto in XML");

    // Registering again with the same texts writes nothing.
    struct stat prima {
    }, dopo{};
    ASSERT_EQ(stat(Hive().c_str(), &prima), 0);
    ASSERT_EQ(Registra(u"/opt/travasa/Travasa.exe", u"Esporta XML", u"Esporta l'estratto in XML",
                       cambiato),
              S_OK);
    EXPECT_EQ(cambiato, VARIANT_FALSE);
    ASSERT_EQ(stat(Hive().c_str(), &dopo), 0);
    EXPECT_EQ(dopo.st_ino, prima.st_ino);
    EXPECT_EQ(dopo.st_mtim.tv_sec, prima.st_mtim.tv_sec);
    EXPECT_EQ(dopo.st_mtim.tv_nsec, prima.st_mtim.tv_nsec);

    // The program moved: the record is updated, under the same key whatever the case of
    // the caption.
    ASSERT_EQ(Registra(u"/srv/nuovo/Travasa.exe", u"esporta xml",
                       u"Esporta l'estratto in XML — città", cambiato),
              S_OK);
    EXPECT_EQ(cambiato, VARIANT_TRUE);
    EXPECT_EQ(Sottochiavi(kModuli), 1u);
    EXPECT_EQ(record(), "/srv/nuovo/Travasa.exe | esporta xml | Esporta l'estratto in XML — città");

    // A second add-in gets its own record; an empty description is allowed.
    ASSERT_EQ(Registra(u"/opt/altro/Altro.exe", u"Altro modulo", u"", cambiato), S_OK);
    EXPECT_EQ(Sottochiavi(kModuli), 2u);
    EXPECT_EQ(
        LeggiValore(HKEY_CURRENT_USER, std::string(kModuli) + "\\Altro modulo", "Descrizione"), "");
}

TEST_F(ClientMirtesaHost, RegistrazioneRifiutata) {
    const std::string non_valido = "Modulo aggiuntivo non valido: ";
    const std::string lungo(256, 'a');
    const struct {
        const char* caso;
        std::u16string percorso, titolo;
        std::string descrizione;
    } casi[] = {
        {"percorso vuoto", u"", u"Esporta XML", "manca il percorso del programma."},
        {"titolo vuoto", u"/x", u"", "manca il titolo."},
        {"barra inversa", u"/x", u"Esporta\\XML",
         "il titolo \"Esporta\\XML\" non può dare il nome a una chiave del registro."},
        {"a capo", u"/x", u"Esporta\nXML",
         "il titolo \"Esporta\nXML\" non può dare il nome a una chiave del registro."},
        {"troppo lungo", u"/x", std::u16string(256, u'a'),
         "il titolo \"" + lungo + "\" non può dare il nome a una chiave del registro."},
        {"carattere nullo", std::u16string(u"con\0nullo", 9), u"T",
         "un testo contiene il carattere nullo."},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        VARIANT_BOOL cambiato;
        EXPECT_EQ(Registra(c.percorso, c.titolo, u"descrizione", cambiato),
                  Errore(kErrMirtesaModuloNonValido));
        EXPECT_EQ(cambiato, VARIANT_FALSE);
        EXPECT_EQ(Descrizione(), non_valido + c.descrizione);
    }
    EXPECT_EQ(Sottochiavi(kModuli), 0u);
    // A null BSTR is the empty text.
    VARIANT_BOOL cambiato = VARIANT_TRUE;
    EXPECT_EQ(host_->RegistraModulo(nullptr, nullptr, nullptr, &cambiato),
              Errore(kErrMirtesaModuloNonValido));
    Descrizione();
}

TEST_F(ClientMirtesaHost, InvokePerIdentificativo) {
    ASSERT_TRUE(InstallaHost("/opt/m/programma", "/opt/m/dati"));
    const NomeDispatch nomi[] = {
        {"Versione", DISPID_MirtesaIntegrazione_Versione},
        {"installato", DISPID_MirtesaIntegrazione_Installato},
        {"PERCORSOPROGRAMMA", DISPID_MirtesaIntegrazione_PercorsoProgramma},
        {"PercorsoDati", DISPID_MirtesaIntegrazione_PercorsoDati},
        {"RegistraModulo", DISPID_MirtesaIntegrazione_RegistraModulo},
        {"PercorsoDat", DISPID_UNKNOWN}};
    ControllaNomi(host_, nomi);

    // Every query called as a function, the data folder also read as a property.
    const struct {
        DISPID id;
        WORD flag;
        ole::Variante atteso;
    } chiamate[] = {
        {DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD,
         ole::Variante::Testo("/opt/m/dati/")},
        {DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_PROPERTYGET,
         ole::Variante::Testo("/opt/m/dati/")},
        {DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
         ole::Variante::Testo("/opt/m/dati/")},
        {DISPID_MirtesaIntegrazione_PercorsoProgramma, DISPATCH_METHOD,
         ole::Variante::Testo("/opt/m/programma/")},
        {DISPID_MirtesaIntegrazione_Installato, DISPATCH_METHOD, ole::Variante::Booleano(true)},
        {DISPID_MirtesaIntegrazione_Versione, DISPATCH_METHOD, ole::Variante::Testo("0.0.0.0")},
    };
    for (const auto& c : chiamate) {
        ole::Variante r;
        ASSERT_EQ(Invoca(c.id, c.flag, {}, r.put()), S_OK) << c.id;
        ASSERT_EQ(r.vt(), c.atteso.vt()) << c.id;
        if (r.vt() == VT_BOOL) {
            EXPECT_EQ(r->boolVal, c.atteso->boolVal) << c.id;
        } else {
            EXPECT_EQ(ole::Utf8DaBstr(r->bstrVal), ole::Utf8DaBstr(c.atteso->bstrVal)) << c.id;
        }
    }
    // A caller that wants no result.
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}), S_OK);

    // The registration: a text by value, one by reference, one inside a variant by
    // reference.
    ole::Variante percorso = ole::Variante::Testo("/opt/travasa/Travasa.exe");
    ole::Bstr titolo("Esporta XML");
    BSTR titolo_grezzo = titolo.get();
    VARIANT rif_titolo;
    VariantInit(&rif_titolo);
    rif_titolo.vt = VT_BYREF | VT_BSTR;
    rif_titolo.pbstrVal = &titolo_grezzo;
    ole::Variante descrizione = ole::Variante::Testo("Esporta l'estratto in XML");
    const VARIANT rif_descrizione = Riferimento(descrizione.get());
    ole::Variante esito;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD,
                     {percorso.get(), &rif_titolo, &rif_descrizione}, esito.put()),
              S_OK);
    ASSERT_EQ(esito.vt(), VT_BOOL);
    EXPECT_EQ(esito->boolVal, VARIANT_TRUE);
    EXPECT_EQ(LeggiValore(HKEY_CURRENT_USER, std::string(kModuli) + "\\Esporta XML", "Percorso"),
              "/opt/travasa/Travasa.exe");
    EXPECT_EQ(titolo_grezzo, titolo.get());  // by-reference arguments come back untouched
    EXPECT_EQ(titolo.utf8(), "Esporta XML");

    // A number where a text is expected converts; an object does not.
    ole::Variante numero = ole::Variante::I4(42);
    ole::Variante oggetto = ole::Variante::Oggetto(static_cast<IUnknown*>(nullptr));
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD,
                     {percorso.get(), numero.get(), descrizione.get()}, esito.put()),
              S_OK);
    EXPECT_EQ(LeggiValore(HKEY_CURRENT_USER, std::string(kModuli) + "\\42", "Titolo"), "42");
    UINT errato = 99;
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD,
                     {percorso.get(), descrizione.get(), oggetto.get()}, nullptr, nullptr, &errato),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(errato, 0u);  // the last argument sits first in rgvarg
}

TEST_F(ClientMirtesaHost, InvokeErrori) {
    // A failing member: its number and description come back in EXCEPINFO.
    EXCEPINFO ei{};
    ole::Variante r;
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}, r.put(), &ei),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(kErrMirtesaNonInstallato));
    EXPECT_TRUE(DescrizioneEccezione(ei).starts_with(kNonInstallato));
    EXPECT_EQ(r.vt(), VT_EMPTY);
    // Without EXCEPINFO the failure is the HRESULT itself, with the error info.
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}),
              Errore(kErrMirtesaNonInstallato));
    EXPECT_NE(Descrizione(), "");

    ole::Variante uno = ole::Variante::I4(1);
    EXPECT_EQ(Invoca(0x12345, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {uno.get()}),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD, {uno.get(), uno.get()}),
        DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_PROPERTYPUT, {uno.get()}),
              DISP_E_MEMBERNOTFOUND);
    DISPID nome = 0;
    DISPPARAMS con_nome{uno.get(), &nome, 1, 1};
    EXPECT_EQ(host_->Invoke(DISPID_MirtesaIntegrazione_PercorsoDati, IID_NULL, 0, DISPATCH_METHOD,
                            &con_nome, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS vuoti{};
    EXPECT_EQ(host_->Invoke(DISPID_MirtesaIntegrazione_PercorsoDati, IID_IMirtesaIntegrazione, 0,
                            DISPATCH_METHOD, &vuoti, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ClientMirtesaHost, RegistrazioneDellaClasse) {
    // The programmatic id leads to the class; IDispatch is the same interface.
    CLSID c{};
    ASSERT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_TRUE(IsEqualCLSID(c, CLSID_MirtesaIntegrazione));
    auto d = ole::ComPtr<IMirtesaIntegrazione>(host_).as<IDispatch>(IID_IDispatch);
    EXPECT_EQ(static_cast<IUnknown*>(d.get()), static_cast<IUnknown*>(host_));
    d = nullptr;

    // Unregistered, the class cannot be created; registered again, it can.
    ASSERT_EQ(libreria_->Chiama("DllUnregisterServer"), S_OK);
    IMirtesaIntegrazione* altro = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMirtesaIntegrazione, reinterpret_cast<void**>(&altro)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), CO_E_CLASSSTRING);
    ASSERT_EQ(libreria_->Chiama("DllRegisterServer"), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMirtesaIntegrazione, reinterpret_cast<void**>(&altro)),
              S_OK);
    // While an object lives the library must stay.
    EXPECT_EQ(libreria_->Chiama("DllCanUnloadNow"), S_FALSE);
    EXPECT_EQ(altro->Release(), 0u);

    // A programmatic id taken over by another class is not ours to remove.
    ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, "Mirtesa.Integrazione\\CLSID", nullptr,
                             "{00000000-1111-2222-3333-444444444444}"));
    ASSERT_EQ(libreria_->Chiama("DllUnregisterServer"), S_OK);
    EXPECT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_EQ(c.Data1, 0u);
    ASSERT_EQ(libreria_->Chiama("DllRegisterServer"), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_TRUE(IsEqualCLSID(c, CLSID_MirtesaIntegrazione));
}

}  // namespace
