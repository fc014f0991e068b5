// The whole road as the export program walks it, with nothing but the published headers:
// Tessadati and the host-integration stand-in registered into a temporary registry, the
// host "installed" there with its data folder, ClsDatiMirtesa created by class id, the
// folder asked of the host by Tessadati through CoCreateInstance, the file read by the
// Jet engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "componenti_prova.h"
#include "jet_prova.h"
#include "jetwriter/jetwriter.h"
#include "mirtesahost/mirtesahost.h"
#include "tessadati/tessadati.h"

namespace fs = std::filesystem;

namespace {

using namespace prova;
using prova::LeggiFile;

class StradaTessadati : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = std::make_unique<Cartella>("tessadati-strada");
        cartella_->UsaPerIlRegistro("config");
        tessadati_ = std::make_unique<Libreria>(TESSADATI_LIB);
        host_ = std::make_unique<Libreria>(MIRTESAHOST_LIB);
        ASSERT_EQ(tessadati_->Chiama("DllRegisterServer"), S_OK);
        ASSERT_EQ(host_->Chiama("DllRegisterServer"), S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

        // The household, under the name the host's template gives it.
        jetwriter::OpzioniMirtesa o;
        o.operazioni = 1200;
        fs::create_directories(Dati() / "programma");
        jetwriter::ScriviDemoMirtesa(o, Dati() / "mirtesa.mdb");
        o.operazioni = 10;
        fs::create_directories(*cartella_ / "altri");
        jetwriter::ScriviDemoMirtesa(o, *cartella_ / "altri" / "Mirtesa.mdb");
        impronte_.Registra(cartella_->percorso());
    }
    static inline prova::Impronte impronte_;
    static void TearDownTestSuite() {
        CoUninitialize();
        tessadati_.reset();
        host_.reset();
        cartella_.reset();
    }
    static fs::path Dati() { return *cartella_ / "dati"; }
    static void Installa() {
        ASSERT_TRUE(InstallaHost((Dati() / "programma").string(), Dati().string()));
    }

    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        Installa();
        ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER,
                                   IID__ClsDatiMirtesa, reinterpret_cast<void**>(&dati_)),
                  S_OK);
    }
    void TearDown() override {
        if (dati_) {
            EXPECT_EQ(dati_->Release(), 0u);
        }
        EXPECT_EQ(tessadati_->Chiama("DllCanUnloadNow"), S_OK);
        EXPECT_EQ(impronte_.Cambiati(), "");
    }

    LONG Conteggio() {
        LONG n = -2;
        EXPECT_EQ(dati_->GetTotRecord(&n), S_OK) << Descrizione();
        return n;
    }

    static std::unique_ptr<Cartella> cartella_;
    static std::unique_ptr<Libreria> tessadati_;
    static std::unique_ptr<Libreria> host_;
    _ClsDatiMirtesa* dati_ = nullptr;
};

std::unique_ptr<Cartella> StradaTessadati::cartella_;
std::unique_ptr<Libreria> StradaTessadati::tessadati_;
std::unique_ptr<Libreria> StradaTessadati::host_;

TEST_F(StradaTessadati, ComeLoUsaIlProgrammaDiEsportazione) {
    const std::string prima = LeggiFile(Dati() / "mirtesa.mdb");
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    ole::ComPtr<_Collection> conti;
    ASSERT_EQ(dati_->GetConti(conti.put()), S_OK);
    EXPECT_EQ(Elementi<_clsConti>(conti.get(), IID__clsConti).size(), 6u);

    EXPECT_EQ(Conteggio(), 1200);
    ole::Bstr lista("1;2");
    ASSERT_EQ(dati_->put_f_mult_conto(lista.get()), S_OK);
    const LONG scelte = Conteggio();
    EXPECT_GT(scelte, 0);
    EXPECT_LT(scelte, 1200);
    SAFEARRAY* righe = nullptr;
    LONG r = 0;
    ASSERT_EQ(dati_->GetArrayDati(&righe, &r), S_OK) << Descrizione();
    EXPECT_EQ(r, scelte);
    LONG alto = -1;
    SafeArrayGetUBound(righe, 2, &alto);
    EXPECT_EQ(alto, scelte - 1);
    SafeArrayDestroy(righe);
    double euro = 0;
    EXPECT_EQ(dati_->GetImportoEuro(&euro), S_OK);
    EXPECT_NE(euro, 0);

    // The folder is the host's answer of the first opening: moving the data elsewhere
    // does not move this object.
    ASSERT_TRUE(InstallaHost((Dati() / "programma").string(), (*cartella_ / "altri").string()));
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    EXPECT_EQ(dati_->ClearFiltri(), S_OK);
    EXPECT_EQ(Conteggio(), 1200);
    // Released with the database open.
    EXPECT_EQ(dati_->Release(), 0u);
    dati_ = nullptr;
    EXPECT_EQ(LeggiFile(Dati() / "mirtesa.mdb"), prima);

    // A new object asks again.
    ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER,
                               IID__ClsDatiMirtesa, reinterpret_cast<void**>(&dati_)),
              S_OK);
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    EXPECT_EQ(Conteggio(), 10);
}

TEST_F(StradaTessadati, HostNonInstallato) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
    EXPECT_EQ(dati_->ApriDataBase(), Errore(kErrMirtesaNonInstallato));
    EXPECT_FALSE(Descrizione().empty());
    LONG n = 0;
    EXPECT_EQ(dati_->GetTotRecord(&n), Errore(91));
    // Installed afterwards: the same object finds it (a failed question leaves no answer).
    Installa();
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    EXPECT_EQ(Conteggio(), 1200);
}

TEST_F(StradaTessadati, ComponenteDelHostNonRegistrato) {
    ASSERT_EQ(host_->Chiama("DllUnregisterServer"), S_OK);
    EXPECT_EQ(dati_->ApriDataBase(), Errore(429));
    EXPECT_NE(Descrizione().find("ActiveX"), std::string::npos);
    ASSERT_EQ(host_->Chiama("DllRegisterServer"), S_OK);
    EXPECT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
}

TEST_F(StradaTessadati, DatabaseMancanteNellaCartellaDelHost) {
    ASSERT_TRUE(InstallaHost((Dati() / "programma").string(), (Dati() / "programma").string()));
    EXPECT_EQ(dati_->ApriDataBase(), Errore(3024));
    EXPECT_FALSE(Descrizione().empty());
}

}  // namespace
