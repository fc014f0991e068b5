// The demo host installation, as a user gets it from mirtesa-installa-demo: the files it
// lays out (the program's version read back through the version-resource reader, the
// template and the household compared with what the Jet writer gives for the same
// options), the registry values, and the two components registered and creatable.
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "componenti_prova.h"
#include "jet_prova.h"
#include "jetwriter/jetwriter.h"
#include "mirtesahost/mirtesahost.h"
#include "ole/automation.h"
#include "tessadati/tessadati.h"
#include "win/registry.h"
#include "win/version.h"

namespace {

namespace fs = std::filesystem;

using prova::LeggiFile;

struct Esecuzione {
    int uscita = -1;
    std::string errore;  // standard error
};

// Runs the installer with `argomenti`; its standard output is dropped.
Esecuzione Installa(const std::vector<std::string>& argomenti) {
    std::string comando = prova::Quota(INSTALLA_EXE);
    for (const auto& a : argomenti) comando += " " + prova::Quota(a);
    Esecuzione r;
    r.errore = prova::Esegui(comando + " 2>&1 >/dev/null", r.uscita);
    return r;
}

std::string LeggiRegistro(const char* nome) {
    return prova::LeggiValore(HKEY_CURRENT_USER, "Software\\Mirtesa\\Percorsi", nome);
}

// What the Jet writer gives for these options, to compare byte for byte.
std::string DemoAtteso(const fs::path& cartella, std::int64_t operazioni, std::uint64_t seme,
                       jetwriter::Formato f) {
    jetwriter::OpzioniMirtesa o;
    o.operazioni = operazioni;
    o.seme = seme;
    o.formato = f;
    const fs::path file = cartella / "atteso.mdb";
    jetwriter::ScriviDemoMirtesa(o, file);
    std::string r = LeggiFile(file);
    fs::remove(file);
    return r;
}

class InstallazioneDemo : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    static void TearDownTestSuite() { CoUninitialize(); }

    void SetUp() override { prova_.UsaPerIlRegistro("config"); }

    prova::Cartella prova_{"mirtesa-installa", prova::kInMemoria};
    const fs::path& cartella_ = prova_.percorso();
};

TEST_F(InstallazioneDemo, InstallazioneCompleta) {
    const fs::path radice = cartella_ / "mirtesa demo";
    const auto e =
        Installa({radice.string(), "--operazioni", "40", "--formato", "jet4", "--seme", "7"});
    ASSERT_EQ(e.uscita, 0) << e.errore;
    EXPECT_EQ(e.errore, "");

    // The program and its version, read as Travasa's start-up reads it.
    const std::string exe = (radice / "programma" / "Mirtesa.exe").string();
    DWORD maniglia = 1;
    const DWORD dimensione = GetFileVersionInfoSizeA(exe.c_str(), &maniglia);
    ASSERT_GT(dimensione, 0u);
    std::vector<unsigned char> blocco(dimensione);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, dimensione, blocco.data()));
    void* dato = nullptr;
    UINT lunghezza = 0;
    ASSERT_TRUE(VerQueryValueA(blocco.data(), "\\", &dato, &lunghezza));
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, dato, sizeof info);
    EXPECT_EQ(info.dwFileVersionMS, 0x00030003u);
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    ASSERT_TRUE(VerQueryValueA(blocco.data(), "\\StringFileInfo\\041004b0\\FileVersion", &dato,
                               &lunghezza));
    EXPECT_STREQ(static_cast<const char*>(dato), "3.3.0.0");
    EXPECT_EQ(fs::status(exe).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

    // The template and the household, as the writer makes them for the same options.
    EXPECT_EQ(LeggiFile(radice / "programma" / "mirtesa.dat"),
              DemoAtteso(cartella_, 0, 7, jetwriter::Formato::Jet4));
    EXPECT_EQ(LeggiFile(radice / "dati" / "Mirtesa.mdb"),
              DemoAtteso(cartella_, 40, 7, jetwriter::Formato::Jet4));
    // Nothing else is left behind (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(radice / "programma"), fs::directory_iterator()),
              2);
    EXPECT_EQ(std::distance(fs::directory_iterator(radice / "dati"), fs::directory_iterator()), 1);

    EXPECT_EQ(LeggiRegistro("Programma"), (radice / "programma").string());
    EXPECT_EQ(LeggiRegistro("Dati"), (radice / "dati").string());

    // Both components are registered: the host's answers where the installation is.
    IMirtesaIntegrazione* host = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMirtesaIntegrazione, reinterpret_cast<void**>(&host)),
              S_OK);
    const struct {
        HRESULT (IMirtesaIntegrazione::*query)(BSTR*);
        std::string atteso;
    } risposte[] = {
        {&IMirtesaIntegrazione::PercorsoDati, (radice / "dati").string() + "/"},
        {&IMirtesaIntegrazione::PercorsoProgramma, (radice / "programma").string() + "/"},
        {&IMirtesaIntegrazione::Versione, "3.3.0.0"}};
    for (const auto& r : risposte) {
        ole::Bstr b;
        ASSERT_EQ((host->*r.query)(b.put()), S_OK);
        EXPECT_EQ(b.utf8(), r.atteso);
    }
    host->Release();

    // The data component finds the household through the host and reads it.
    _ClsDatiMirtesa* dati = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER,
                               IID__ClsDatiMirtesa, reinterpret_cast<void**>(&dati)),
              S_OK);
    EXPECT_EQ(dati->ApriDataBase(), S_OK);
    LONG righe = -1;
    EXPECT_EQ(dati->GetTotRecord(&righe), S_OK);
    EXPECT_EQ(righe, 40);
    EXPECT_EQ(dati->ChiudiDataBase(), S_OK);
    dati->Release();
}

TEST_F(InstallazioneDemo, UnDatabaseEsistenteSiConserva) {
    const fs::path radice = cartella_ / "m";
    ASSERT_EQ(Installa({radice.string(), "--operazioni", "5"}).uscita, 0);
    const std::string primo = LeggiFile(radice / "dati" / "Mirtesa.mdb");
    ASSERT_EQ(primo, DemoAtteso(cartella_, 5, 1, jetwriter::Formato::Jet3));

    // A second installation keeps the household, whatever it is asked to generate.
    auto e = Installa({radice.string(), "--operazioni", "9", "--seme", "3"});
    ASSERT_EQ(e.uscita, 0) << e.errore;
    EXPECT_EQ(LeggiFile(radice / "dati" / "Mirtesa.mdb"), primo);

    // ... under any case of its name, without adding a second file beside it.
    fs::rename(radice / "dati" / "Mirtesa.mdb", radice / "dati" / "mirtesa.mdb");
    ASSERT_EQ(Installa({radice.string(), "--operazioni", "9"}).uscita, 0);
    EXPECT_EQ(LeggiFile(radice / "dati" / "mirtesa.mdb"), primo);
    EXPECT_FALSE(fs::exists(radice / "dati" / "Mirtesa.mdb"));

    // Asked to, it replaces it (keeping the name it found).
    e = Installa({radice.string(), "--operazioni", "9", "--seme", "3", "--sostituisci-dati"});
    ASSERT_EQ(e.uscita, 0) << e.errore;
    EXPECT_EQ(LeggiFile(radice / "dati" / "mirtesa.mdb"),
              DemoAtteso(cartella_, 9, 3, jetwriter::Formato::Jet3));
    EXPECT_EQ(std::distance(fs::directory_iterator(radice / "dati"), fs::directory_iterator()), 1);
}

TEST_F(InstallazioneDemo, UsoSbagliato) {
    const std::string dir = (cartella_ / "x").string();
    const std::vector<std::vector<std::string>> casi = {
        {},
        {dir, "--operazioni"},
        {dir, "--operazioni", "-1"},
        {dir, "--operazioni", "12a"},
        {dir, "--formato", "jet5"},
        {dir, "--seme", ""},
        {dir, "--sconosciuta"},
        {dir, (cartella_ / "y").string()},
    };
    for (const auto& argomenti : casi) {
        std::string riga;
        for (const auto& a : argomenti) riga += "[" + a + "] ";
        const auto e = Installa(argomenti);
        EXPECT_EQ(e.uscita, 2) << riga;
        EXPECT_NE(e.errore, "") << riga;
    }
    // Nothing was created, in the file system or the registry.
    EXPECT_FALSE(fs::exists(cartella_ / "x"));
    EXPECT_FALSE(fs::exists(cartella_ / "config"));
}

TEST_F(InstallazioneDemo, FallimentoSenzaDanni) {
    // The installation folder is a file: a numbered error, nothing recorded anywhere.
    const fs::path file = cartella_ / "un file";
    std::ofstream(file) << "contenuto";
    auto e = Installa({file.string()});
    EXPECT_EQ(e.uscita, 1);
    EXPECT_EQ(e.errore.rfind("mirtesa-installa-demo: errore 75: ", 0), 0u) << e.errore;
    EXPECT_EQ(LeggiFile(file), "contenuto");
    EXPECT_FALSE(fs::exists(cartella_ / "config"));

    // A folder name that is not UTF-8 could not travel through the component as text.
    const std::string non_utf8 = (cartella_ / "dati\xff").string();
    e = Installa({non_utf8});
    EXPECT_EQ(e.uscita, 1);
    EXPECT_EQ(e.errore.rfind("mirtesa-installa-demo: errore 5: ", 0), 0u) << e.errore;
    EXPECT_FALSE(fs::exists(non_utf8));
    EXPECT_FALSE(fs::exists(cartella_ / "config"));

    // A data folder that cannot be written: the program folder is done, the registry
    // untouched, and a second run after the fix completes.
    const fs::path radice = cartella_ / "r";
    fs::create_directories(radice / "dati");
    fs::permissions(radice / "dati", fs::perms::owner_read | fs::perms::owner_exec);
    const bool scrivibile = access((radice / "dati").c_str(), W_OK) == 0;  // root writes anyway
    if (!scrivibile) {
        e = Installa({radice.string(), "--operazioni", "3"});
        EXPECT_EQ(e.uscita, 1);
        EXPECT_NE(e.errore.find("errore "), std::string::npos);
        EXPECT_EQ(LeggiRegistro("Dati"), "<assente>");
    }
    fs::permissions(radice / "dati", fs::perms::owner_all);
    e = Installa({radice.string(), "--operazioni", "3"});
    EXPECT_EQ(e.uscita, 0) << e.errore;
    EXPECT_EQ(LeggiRegistro("Dati"), (radice / "dati").string());
}

}  // namespace
