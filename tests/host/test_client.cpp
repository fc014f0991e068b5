// The host's integration component as a client sees it: only the automation runtime and
// the component's published header. The library is registered into a temporary registry,
// created by class id and called through its vtable and through Invoke by dispatch id.
// The registry functions only prepare the host's installation and read back what the
// component recorded.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "mirtesahost/mirtesahost.h"
#include "ole/automation.h"
#include "win/registry.h"

namespace {

namespace fs = std::filesystem;

constexpr HRESULT Errore(int numero) { return MAKE_HRESULT(1, FACILITY_CONTROL, numero); }

const char* const kPercorsi = "Software\\Mirtesa\\Percorsi";
const char* const kModuli = "Software\\Mirtesa\\ModuliAggiuntivi";

std::u16string Testo(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : std::u16string(); }

// The description in the thread's error info, consuming it ("" when there is none).
std::u16string DescrizioneErrore() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR d = nullptr;
    info->GetDescription(&d);
    std::u16string r = Testo(d);
    SysFreeString(d);
    info->Release();
    return r;
}

class Bstr {
public:
    explicit Bstr(const char16_t* s) : b_(SysAllocString(s)) {}
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

// A value under HKCU (REG_SZ data carries its NUL unless told otherwise).
void Imposta(const char* chiave, const char* nome, const std::string& dato, DWORD tipo = REG_SZ,
             bool terminato = true) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, chiave, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, nome, 0, tipo, reinterpret_cast<const BYTE*>(dato.c_str()),
                             static_cast<DWORD>(dato.size() + (terminato ? 1 : 0))),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// The text of a value under HKCU, or "<assente>".
std::string Leggi(const std::string& chiave, const char* nome) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<assente>";
    char dati[4096];
    DWORD dimensione = sizeof dati;
    DWORD tipo = 0;
    const LONG e = RegQueryValueExA(h, nome, nullptr, &tipo, reinterpret_cast<BYTE*>(dati), &dimensione);
    RegCloseKey(h);
    if (e != ERROR_SUCCESS || tipo != REG_SZ) return "<assente>";
    return std::string(dati, dimensione > 0 && dati[dimensione - 1] == 0 ? dimensione - 1 : dimensione);
}

DWORD Sottochiavi(const char* chiave) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, chiave, 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
    DWORD n = 0;
    RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(h);
    return n;
}

// A fresh folder; in memory when the system offers it, as the registry store makes every
// change durable on disk.
std::string CartellaTemporanea(const char* nome) {
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string modello = std::string(base) + "/" + nome + "-XXXXXX";
        if (access(base, W_OK) == 0 && mkdtemp(modello.data())) return modello;
    }
    return {};
}

class ClientMirtesaHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = new std::string(CartellaTemporanea("mirtesahost-client"));
        ASSERT_FALSE(cartella_->empty());
        setenv("XDG_CONFIG_HOME", cartella_->c_str(), 1);
        unsetenv("VQ_REGISTRO_DIR");

        libreria_ = dlopen(MIRTESAHOST_LIB, RTLD_NOW);
        ASSERT_NE(libreria_, nullptr) << dlerror();
        ASSERT_EQ(Chiama("DllRegisterServer"), S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        if (libreria_) dlclose(libreria_);
        if (cartella_) fs::remove_all(*cartella_);
        delete cartella_;
        cartella_ = nullptr;
    }

    static HRESULT Chiama(const char* punto_ingresso) {
        auto f = reinterpret_cast<HRESULT (*)()>(dlsym(libreria_, punto_ingresso));
        return f ? f() : E_FAIL;
    }

    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        ASSERT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER, IID_IMirtesaIntegrazione,
                                   reinterpret_cast<void**>(&host_)),
                  S_OK);
    }
    void TearDown() override {
        if (host_) {
            EXPECT_EQ(host_->Release(), 0u);
        }
        EXPECT_EQ(Chiama("DllCanUnloadNow"), S_OK);
    }

    void Installa(const std::string& programma, const std::string& dati) {
        Imposta(kPercorsi, "Programma", programma);
        Imposta(kPercorsi, "Dati", dati);
    }

    // A folder query through the vtable: the text, or the failure's HRESULT in `hr`.
    std::u16string Cartella(HRESULT (IMirtesaIntegrazione::*query)(BSTR*), HRESULT& hr) {
        BSTR b = nullptr;
        hr = (host_->*query)(&b);
        std::u16string r = Testo(b);
        SysFreeString(b);
        return r;
    }

    HRESULT Invoca(DISPID id, WORD flag, std::initializer_list<VARIANT*> argomenti, VARIANT* risultato = nullptr,
                   EXCEPINFO* eccezione = nullptr, UINT* errore_argomento = nullptr) {
        VARIANT rg[4];
        UINT n = 0;
        for (auto it = argomenti.end(); it != argomenti.begin();) rg[n++] = **--it;
        DISPPARAMS p{rg, nullptr, n, 0};
        return host_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flag, &p, risultato, eccezione, errore_argomento);
    }

    static std::string* cartella_;
    static void* libreria_;
    IMirtesaIntegrazione* host_ = nullptr;
};

std::string* ClientMirtesaHost::cartella_ = nullptr;
void* ClientMirtesaHost::libreria_ = nullptr;

TEST_F(ClientMirtesaHost, CartelleFinisconoConIlSeparatore) {
    setenv("MH_BASE", "/base prova", 1);
    unsetenv("MH_IGNOTA");
    const struct {
        const char* registrato;
        DWORD tipo;
        bool terminato;
        std::u16string atteso;
    } casi[] = {
        {"/opt/mirtesa/programma", REG_SZ, true, u"/opt/mirtesa/programma/"},
        {"/opt/mirtesa/", REG_SZ, true, u"/opt/mirtesa/"},
        {"/", REG_SZ, true, u"/"},
        {"relativa", REG_SZ, true, u"relativa/"},
        {"/senza/terminatore", REG_SZ, false, u"/senza/terminatore/"},
        {"/opt/città €/dati", REG_SZ, true, u"/opt/città €/dati/"},
        {"%MH_BASE%/dati", REG_EXPAND_SZ, true, u"/base prova/dati/"},
        {"%MH_IGNOTA%/x%MH_BASE%", REG_EXPAND_SZ, true, u"%MH_IGNOTA%/x/base prova/"},
        {"/%MH_BASE%", REG_SZ, true, u"/%MH_BASE%/"},  // plain text is not expanded
    };
    for (const auto& c : casi) {
        // The same rule for both folders, each read from its own value.
        Imposta(kPercorsi, "Programma", c.registrato, c.tipo, c.terminato);
        Imposta(kPercorsi, "Dati", std::string(c.registrato) + "/d", c.tipo, c.terminato);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(Cartella(&IMirtesaIntegrazione::PercorsoProgramma, hr), c.atteso) << c.registrato;
        EXPECT_EQ(hr, S_OK) << c.registrato;
        std::u16string dati = Cartella(&IMirtesaIntegrazione::PercorsoDati, hr);
        EXPECT_EQ(hr, S_OK) << c.registrato;
        EXPECT_EQ(dati.back(), u'/') << c.registrato;
        EXPECT_EQ(dati.find(u"/d/") + 3, dati.size()) << c.registrato;
    }
    unsetenv("MH_BASE");
}

TEST_F(ClientMirtesaHost, HostNonInstallato) {
    const std::u16string dove = u" della chiave HKEY_CURRENT_USER\\Software\\Mirtesa\\Percorsi";
    const std::u16string inizio = u"Mirtesa non risulta installato su questo sistema: ";
    const std::u16string fine = u". Reinstallare Mirtesa.";
    const struct {
        const char* caso;
        void (*prepara)();
        std::u16string motivo;  // for the data folder
    } casi[] = {
        {"nessuna chiave", [] {}, u"manca la chiave HKEY_CURRENT_USER\\Software\\Mirtesa\\Percorsi del registro"},
        {"valore assente", [] { Imposta(kPercorsi, "Programma", "/p"); }, u"manca il valore \"Dati\"" + dove},
        {"valore vuoto", [] { Imposta(kPercorsi, "Dati", ""); }, u"il valore \"Dati\"" + dove + u" è vuoto"},
        {"vuoto senza terminatore", [] { Imposta(kPercorsi, "Dati", "", REG_SZ, false); },
         u"il valore \"Dati\"" + dove + u" è vuoto"},
        {"espanso a vuoto",
         [] {
             setenv("MH_VUOTA", "", 1);
             Imposta(kPercorsi, "Dati", "%MH_VUOTA%", REG_EXPAND_SZ);
         },
         u"il valore \"Dati\"" + dove + u" è vuoto"},
        {"non testo", [] { Imposta(kPercorsi, "Dati", "abcd", REG_DWORD, false); },
         u"il valore \"Dati\"" + dove + u" non è un testo"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        c.prepara();
        HRESULT hr = S_OK;
        EXPECT_EQ(Cartella(&IMirtesaIntegrazione::PercorsoDati, hr), u"");
        EXPECT_EQ(hr, Errore(kErrMirtesaNonInstallato));
        EXPECT_EQ(hr, static_cast<HRESULT>(0x800A2AF9u));
        EXPECT_EQ(DescrizioneErrore(), inizio + c.motivo + fine);

        VARIANT_BOOL installato = VARIANT_TRUE;
        EXPECT_EQ(host_->Installato(&installato), S_OK);
        EXPECT_EQ(installato, VARIANT_FALSE);
    }
    // One folder recorded, the other not: each query answers for its own.
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
    Imposta(kPercorsi, "Dati", "/d");
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Cartella(&IMirtesaIntegrazione::PercorsoDati, hr), u"/d/");
    EXPECT_EQ(hr, S_OK);
    Cartella(&IMirtesaIntegrazione::PercorsoProgramma, hr);
    EXPECT_EQ(hr, Errore(kErrMirtesaNonInstallato));
    EXPECT_EQ(DescrizioneErrore(), inizio + u"manca il valore \"Programma\"" + dove + fine);
    // The version is the program's: without its folder there is none to read.
    BSTR versione = nullptr;
    EXPECT_EQ(host_->Versione(&versione), Errore(kErrMirtesaNonInstallato));
    EXPECT_EQ(versione, nullptr);
    EXPECT_EQ(DescrizioneErrore(), inizio + u"manca il valore \"Programma\"" + dove + fine);

    Imposta(kPercorsi, "Programma", "/p");
    VARIANT_BOOL installato = VARIANT_FALSE;
    EXPECT_EQ(host_->Installato(&installato), S_OK);
    EXPECT_EQ(installato, VARIANT_TRUE);

    // The error info is there for a caller that asks the object first.
    ISupportErrorInfo* supporto = nullptr;
    ASSERT_EQ(host_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supporto)), S_OK);
    EXPECT_EQ(supporto->InterfaceSupportsErrorInfo(IID_IMirtesaIntegrazione), S_OK);
    supporto->Release();
}

TEST_F(ClientMirtesaHost, RegistroDanneggiatoNonEHostMancante) {
    const fs::path hive = fs::path(*cartella_) / "vq" / "registro" / "HKCU.reg";
    Installa("/p", "/d");
    ASSERT_TRUE(fs::exists(hive));
    {
        std::ofstream f(hive, std::ios::trunc);
        f << "questo non è un archivio del registro\n[[[\n";
    }
    HRESULT hr = S_OK;
    Cartella(&IMirtesaIntegrazione::PercorsoDati, hr);
    EXPECT_EQ(hr, Errore(kErrMirtesaRegistroIlleggibile));
    EXPECT_EQ(DescrizioneErrore().rfind(u"Impossibile leggere il registro di sistema (errore ", 0), 0u);
    VARIANT_BOOL installato = VARIANT_TRUE;
    EXPECT_EQ(host_->Installato(&installato), Errore(kErrMirtesaRegistroIlleggibile));
    DescrizioneErrore();
    // Nothing is recorded over a hive that cannot be read.
    Bstr p(u"/x"), t(u"T"), d(u"D");
    VARIANT_BOOL cambiato = VARIANT_TRUE;
    EXPECT_EQ(host_->RegistraModulo(p.get(), t.get(), d.get(), &cambiato), Errore(kErrMirtesaRegistroIlleggibile));
    DescrizioneErrore();
    fs::remove(hive);
}

TEST_F(ClientMirtesaHost, VersioneDelProgramma) {
    const fs::path programma = fs::path(*cartella_) / "programma";
    fs::remove_all(programma);
    fs::create_directories(programma);
    Installa(programma.string(), "/d");

    auto versione = [&] {
        BSTR b = nullptr;
        EXPECT_EQ(host_->Versione(&b), S_OK);
        std::u16string r = Testo(b);
        SysFreeString(b);
        return r;
    };
    EXPECT_EQ(versione(), u"0.0.0.0");  // no program
    {
        std::ofstream f(programma / "Mirtesa.exe", std::ios::binary);
        f << "MZ non un programma";
    }
    EXPECT_EQ(versione(), u"0.0.0.0");  // not a PE file
    if (std::string(MIRTESA_EXE).empty()) GTEST_SKIP() << "Mirtesa.exe not built (LLVM tools missing)";
    fs::remove(programma / "Mirtesa.exe");
    // The host's file system ignores case.
    fs::copy_file(MIRTESA_EXE, programma / "MIRTESA.EXE");
    EXPECT_EQ(versione(), u"3.3.0.0");
    fs::rename(programma / "MIRTESA.EXE", programma / "Mirtesa.exe");
    EXPECT_EQ(versione(), u"3.3.0.0");
}

TEST_F(ClientMirtesaHost, RegistrazioneDelModulo) {
    const std::string chiave = std::string(kModuli) + "\\Esporta XML";
    const fs::path hive = fs::path(*cartella_) / "vq" / "registro" / "HKCU.reg";
    auto registra = [&](const char16_t* percorso, const char16_t* titolo, const char16_t* descrizione,
                        VARIANT_BOOL& cambiato) {
        Bstr p(percorso), t(titolo), d(descrizione);
        cambiato = 7;
        return host_->RegistraModulo(p.get(), t.get(), d.get(), &cambiato);
    };
    VARIANT_BOOL cambiato = 0;
    // The host need not be installed to accept an add-in.
    ASSERT_EQ(registra(u"/opt/travasa/Travasa.exe", u"Esporta XML", u"Esporta l'estratto in XML", cambiato), S_OK);
    EXPECT_EQ(cambiato, VARIANT_TRUE);
    EXPECT_EQ(Leggi(chiave, "Percorso"), "/opt/travasa/Travasa.exe");
    EXPECT_EQ(Leggi(chiave, "Titolo"), "Esporta XML");
    EXPECT_EQ(Leggi(chiave, "Descrizione"), "Esporta l'estratto in XML");

    // Registering again with the same texts writes nothing.
    const auto prima = fs::last_write_time(hive);
    struct stat st_prima {};
    ASSERT_EQ(stat(hive.c_str(), &st_prima), 0);
    ASSERT_EQ(registra(u"/opt/travasa/Travasa.exe", u"Esporta XML", u"Esporta l'estratto in XML", cambiato), S_OK);
    EXPECT_EQ(cambiato, VARIANT_FALSE);
    struct stat st_dopo {};
    ASSERT_EQ(stat(hive.c_str(), &st_dopo), 0);
    EXPECT_EQ(st_dopo.st_ino, st_prima.st_ino);
    EXPECT_EQ(fs::last_write_time(hive), prima);

    // The program moved: the record is updated, under the same key whatever the case of
    // the caption.
    ASSERT_EQ(registra(u"/srv/nuovo/Travasa.exe", u"esporta xml", u"Esporta l'estratto in XML — città", cambiato),
              S_OK);
    EXPECT_EQ(cambiato, VARIANT_TRUE);
    EXPECT_EQ(Sottochiavi(kModuli), 1u);
    EXPECT_EQ(Leggi(chiave, "Percorso"), "/srv/nuovo/Travasa.exe");
    EXPECT_EQ(Leggi(chiave, "Titolo"), "esporta xml");
    EXPECT_EQ(Leggi(chiave, "Descrizione"), "Esporta l'estratto in XML — città");

    // A second add-in gets its own record; an empty description is allowed.
    ASSERT_EQ(registra(u"/opt/altro/Altro.exe", u"Altro modulo", u"", cambiato), S_OK);
    EXPECT_EQ(Sottochiavi(kModuli), 2u);
    EXPECT_EQ(Leggi(std::string(kModuli) + "\\Altro modulo", "Descrizione"), "");
}

TEST_F(ClientMirtesaHost, RegistrazioneRifiutata) {
    const std::u16string nul_nel_testo(u"con\0nullo", 9);
    const struct {
        const char* caso;
        std::u16string percorso, titolo, descrizione;
    } casi[] = {
        {"percorso vuoto", u"", u"Esporta XML", u"Modulo aggiuntivo non valido: manca il percorso del programma."},
        {"titolo vuoto", u"/x", u"", u"Modulo aggiuntivo non valido: manca il titolo."},
        {"barra inversa", u"/x", u"Esporta\\XML",
         u"Modulo aggiuntivo non valido: il titolo \"Esporta\\XML\" non può dare il nome a una chiave del registro."},
        {"a capo", u"/x", u"Esporta\nXML",
         u"Modulo aggiuntivo non valido: il titolo \"Esporta\nXML\" non può dare il nome a una chiave del registro."},
        {"troppo lungo", u"/x", std::u16string(256, u'a'),
         u"Modulo aggiuntivo non valido: il titolo \"" + std::u16string(256, u'a') +
             u"\" non può dare il nome a una chiave del registro."},
        {"carattere nullo", nul_nel_testo, u"T", u"Modulo aggiuntivo non valido: un testo contiene il carattere nullo."},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        BSTR p = SysAllocStringLen(c.percorso.data(), static_cast<UINT>(c.percorso.size()));
        BSTR t = SysAllocStringLen(c.titolo.data(), static_cast<UINT>(c.titolo.size()));
        Bstr d(u"descrizione");
        VARIANT_BOOL cambiato = VARIANT_TRUE;
        EXPECT_EQ(host_->RegistraModulo(p, t, d.get(), &cambiato), Errore(kErrMirtesaModuloNonValido));
        EXPECT_EQ(cambiato, VARIANT_FALSE);
        EXPECT_EQ(DescrizioneErrore(), c.descrizione);
        SysFreeString(p);
        SysFreeString(t);
    }
    EXPECT_EQ(Sottochiavi(kModuli), 0u);
    // A null BSTR is the empty text.
    VARIANT_BOOL cambiato = VARIANT_TRUE;
    EXPECT_EQ(host_->RegistraModulo(nullptr, nullptr, nullptr, &cambiato), Errore(kErrMirtesaModuloNonValido));
    DescrizioneErrore();
}

TEST_F(ClientMirtesaHost, InvokePerIdentificativo) {
    Installa("/opt/m/programma", "/opt/m/dati");

    const struct {
        const char16_t* nome;
        DISPID id;
    } nomi[] = {{u"Versione", DISPID_MirtesaIntegrazione_Versione},
                {u"installato", DISPID_MirtesaIntegrazione_Installato},
                {u"PERCORSOPROGRAMMA", DISPID_MirtesaIntegrazione_PercorsoProgramma},
                {u"PercorsoDati", DISPID_MirtesaIntegrazione_PercorsoDati},
                {u"RegistraModulo", DISPID_MirtesaIntegrazione_RegistraModulo}};
    for (const auto& n : nomi) {
        std::u16string s = n.nome;
        LPOLESTR p = s.data();
        DISPID id = 0;
        EXPECT_EQ(host_->GetIDsOfNames(IID_NULL, &p, 1, 0, &id), S_OK) << n.id;
        EXPECT_EQ(id, n.id);
    }
    std::u16string ignoto = u"PercorsoDat";
    LPOLESTR pi = ignoto.data();
    DISPID id = 0;
    EXPECT_EQ(host_->GetIDsOfNames(IID_NULL, &pi, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    // The folders, called as functions and read as properties.
    for (WORD flag : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, static_cast<WORD>(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
        Variante r;
        ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, flag, {}, &r), S_OK);
        ASSERT_EQ(r.vt, VT_BSTR);
        EXPECT_EQ(Testo(r.bstrVal), u"/opt/m/dati/");
    }
    Variante programma;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoProgramma, DISPATCH_METHOD, {}, &programma), S_OK);
    EXPECT_EQ(Testo(programma.bstrVal), u"/opt/m/programma/");
    Variante installato;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_Installato, DISPATCH_METHOD, {}, &installato), S_OK);
    ASSERT_EQ(installato.vt, VT_BOOL);
    EXPECT_EQ(installato.boolVal, VARIANT_TRUE);
    Variante versione;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_Versione, DISPATCH_METHOD, {}, &versione), S_OK);
    EXPECT_EQ(Testo(versione.bstrVal), u"0.0.0.0");
    // A caller that wants no result.
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}), S_OK);

    // The registration: a text by value, one by reference, one inside a variant by
    // reference.
    Variante percorso;
    percorso.vt = VT_BSTR;
    percorso.bstrVal = SysAllocString(u"/opt/travasa/Travasa.exe");
    BSTR titolo = SysAllocString(u"Esporta XML");
    VARIANT rif_titolo;
    VariantInit(&rif_titolo);
    rif_titolo.vt = VT_BYREF | VT_BSTR;
    rif_titolo.pbstrVal = &titolo;
    Variante descrizione;
    descrizione.vt = VT_BSTR;
    descrizione.bstrVal = SysAllocString(u"Esporta l'estratto in XML");
    VARIANT rif_descrizione;
    VariantInit(&rif_descrizione);
    rif_descrizione.vt = VT_BYREF | VT_VARIANT;
    rif_descrizione.pvarVal = &descrizione;
    Variante esito;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD,
                     {&percorso, &rif_titolo, &rif_descrizione}, &esito),
              S_OK);
    ASSERT_EQ(esito.vt, VT_BOOL);
    EXPECT_EQ(esito.boolVal, VARIANT_TRUE);
    EXPECT_EQ(Leggi(std::string(kModuli) + "\\Esporta XML", "Percorso"), "/opt/travasa/Travasa.exe");
    EXPECT_EQ(Testo(titolo), u"Esporta XML");  // by-reference arguments come back untouched
    SysFreeString(titolo);

    // A number where a text is expected converts; an object does not.
    Variante numero;
    numero.vt = VT_I4;
    numero.lVal = 42;
    Variante oggetto;
    oggetto.vt = VT_UNKNOWN;
    oggetto.punkVal = nullptr;
    Variante r;
    ASSERT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD, {&percorso, &numero, &descrizione}, &r),
              S_OK);
    EXPECT_EQ(Leggi(std::string(kModuli) + "\\42", "Titolo"), "42");
    UINT errato = 99;
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD, {&percorso, &descrizione, &oggetto},
                     nullptr, nullptr, &errato),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(errato, 0u);  // the last argument sits first in rgvarg
}

TEST_F(ClientMirtesaHost, InvokeErrori) {
    // A failing member: its number and description come back in EXCEPINFO.
    EXCEPINFO ei{};
    Variante r;
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}, &r, &ei), DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, Errore(kErrMirtesaNonInstallato));
    EXPECT_EQ(Testo(ei.bstrDescription).rfind(u"Mirtesa non risulta installato su questo sistema: ", 0), 0u);
    EXPECT_EQ(r.vt, VT_EMPTY);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrHelpFile);
    // Without EXCEPINFO the failure is the HRESULT itself, with the error info.
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {}), Errore(kErrMirtesaNonInstallato));
    EXPECT_NE(DescrizioneErrore(), u"");

    Variante uno;
    uno.vt = VT_I4;
    uno.lVal = 1;
    EXPECT_EQ(Invoca(0x12345, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_METHOD, {&uno}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_RegistraModulo, DISPATCH_METHOD, {&uno, &uno}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoca(DISPID_MirtesaIntegrazione_PercorsoDati, DISPATCH_PROPERTYPUT, {&uno}), DISP_E_MEMBERNOTFOUND);
    DISPID nome = 0;
    DISPPARAMS con_nome{&uno, &nome, 1, 1};
    EXPECT_EQ(host_->Invoke(DISPID_MirtesaIntegrazione_PercorsoDati, IID_NULL, 0, DISPATCH_METHOD, &con_nome, nullptr,
                            nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS vuoti{};
    EXPECT_EQ(host_->Invoke(DISPID_MirtesaIntegrazione_PercorsoDati, IID_IMirtesaIntegrazione, 0, DISPATCH_METHOD,
                            &vuoti, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ClientMirtesaHost, RegistrazioneDellaClasse) {
    // The programmatic id leads to the class.
    CLSID c{};
    ASSERT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_TRUE(IsEqualCLSID(c, CLSID_MirtesaIntegrazione));

    // The object answers its interfaces, and IDispatch is the same interface.
    IDispatch* d = nullptr;
    ASSERT_EQ(host_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(d), static_cast<IUnknown*>(host_));
    d->Release();

    // Unregistered, the class cannot be created; registered again, it can.
    ASSERT_EQ(Chiama("DllUnregisterServer"), S_OK);
    IMirtesaIntegrazione* altro = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER, IID_IMirtesaIntegrazione,
                               reinterpret_cast<void**>(&altro)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), CO_E_CLASSSTRING);
    ASSERT_EQ(Chiama("DllRegisterServer"), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER, IID_IMirtesaIntegrazione,
                               reinterpret_cast<void**>(&altro)),
              S_OK);
    // While an object lives the library must stay.
    EXPECT_EQ(Chiama("DllCanUnloadNow"), S_FALSE);
    EXPECT_EQ(altro->Release(), 0u);

    // A programmatic id taken over by another class is not ours to remove.
    HKEY h = nullptr;
    const char altra[] = "{00000000-1111-2222-3333-444444444444}";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Mirtesa.Integrazione\\CLSID", 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(altra), sizeof altra), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(Chiama("DllUnregisterServer"), S_OK);
    EXPECT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_EQ(c.Data1, 0u);
    ASSERT_EQ(Chiama("DllRegisterServer"), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Mirtesa.Integrazione", &c), S_OK);
    EXPECT_TRUE(IsEqualCLSID(c, CLSID_MirtesaIntegrazione));
}

}  // namespace
