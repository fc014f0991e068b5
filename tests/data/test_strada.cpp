// The whole road as the export program walks it, with nothing but the published headers:
// Tessadati and the host-integration stand-in registered into a temporary registry, the
// host "installed" there with its data folder, ClsDatiMirtesa created by class id, the
// folder asked of the host by Tessadati through CoCreateInstance, the file read by the
// Jet engine.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "jetwriter/jetwriter.h"
#include "mirtesahost/mirtesahost.h"
#include "ole/automation.h"
#include "tessadati/tessadati.h"
#include "win/registry.h"

namespace fs = std::filesystem;

namespace {

constexpr HRESULT Errore(int numero) { return MAKE_HRESULT(1, FACILITY_CONTROL, numero); }

std::string Descrizione() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR d = nullptr;
    info->GetDescription(&d);
    std::string r;
    for (UINT i = 0; i < SysStringLen(d); ++i) r.push_back(static_cast<char>(d[i] < 128 ? d[i] : '?'));
    SysFreeString(d);
    info->Release();
    return r;
}

std::string Contenuto(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void Imposta(const char* nome, const std::string& dato) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Mirtesa\\Percorsi", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &h, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(dato.c_str()),
                             static_cast<DWORD>(dato.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

class StradaTessadati : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string modello = std::string(base) + "/tessadati-strada-XXXXXX";
            if (access(base, W_OK) == 0 && mkdtemp(modello.data())) {
                cartella_ = new fs::path(modello);
                break;
            }
        }
        ASSERT_NE(cartella_, nullptr);
        setenv("XDG_CONFIG_HOME", (*cartella_ / "config").c_str(), 1);
        unsetenv("VQ_REGISTRO_DIR");
        tessadati_ = dlopen(TESSADATI_LIB, RTLD_NOW);
        host_ = dlopen(MIRTESAHOST_LIB, RTLD_NOW);
        ASSERT_NE(tessadati_, nullptr) << dlerror();
        ASSERT_NE(host_, nullptr) << dlerror();
        ASSERT_EQ(Chiama(tessadati_, "DllRegisterServer"), S_OK);
        ASSERT_EQ(Chiama(host_, "DllRegisterServer"), S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

        // The household, under the name the host's template gives it.
        jetwriter::OpzioniMirtesa o;
        o.operazioni = 1200;
        fs::create_directories(*cartella_ / "dati" / "programma");
        jetwriter::ScriviDemoMirtesa(o, *cartella_ / "dati" / "mirtesa.mdb");
        o.operazioni = 10;
        fs::create_directories(*cartella_ / "altri");
        jetwriter::ScriviDemoMirtesa(o, *cartella_ / "altri" / "Mirtesa.mdb");
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        if (tessadati_) dlclose(tessadati_);
        if (host_) dlclose(host_);
        if (cartella_) fs::remove_all(*cartella_);
        delete cartella_;
    }
    static HRESULT Chiama(void* libreria, const char* nome) {
        auto f = reinterpret_cast<HRESULT (*)()>(dlsym(libreria, nome));
        return f ? f() : E_FAIL;
    }

    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Mirtesa");
        Imposta("Programma", (*cartella_ / "dati" / "programma").string());
        Imposta("Dati", (*cartella_ / "dati").string());
        ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER, IID__ClsDatiMirtesa,
                                   reinterpret_cast<void**>(&dati_)),
                  S_OK);
    }
    void TearDown() override {
        if (dati_) {
            EXPECT_EQ(dati_->Release(), 0u);
        }
        EXPECT_EQ(Chiama(tessadati_, "DllCanUnloadNow"), S_OK);
    }

    LONG Conteggio() {
        LONG n = -2;
        EXPECT_EQ(dati_->GetTotRecord(&n), S_OK) << Descrizione();
        return n;
    }

    static fs::path* cartella_;
    static void* tessadati_;
    static void* host_;
    _ClsDatiMirtesa* dati_ = nullptr;
};

fs::path* StradaTessadati::cartella_ = nullptr;
void* StradaTessadati::tessadati_ = nullptr;
void* StradaTessadati::host_ = nullptr;

TEST_F(StradaTessadati, ComeLoUsaIlProgrammaDiEsportazione) {
    const std::string prima = Contenuto(*cartella_ / "dati" / "mirtesa.mdb");
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    _Collection* conti = nullptr;
    ASSERT_EQ(dati_->GetConti(&conti), S_OK);
    LONG n = 0;
    conti->Count(&n);
    EXPECT_EQ(n, 6);
    conti->Release();

    EXPECT_EQ(Conteggio(), 1200);
    BSTR lista = SysAllocString(u"1;2");
    ASSERT_EQ(dati_->put_f_mult_conto(lista), S_OK);
    SysFreeString(lista);
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
    Imposta("Dati", (*cartella_ / "altri").string());
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    EXPECT_EQ(dati_->ClearFiltri(), S_OK);
    EXPECT_EQ(Conteggio(), 1200);
    // Released with the database open.
    EXPECT_EQ(dati_->Release(), 0u);
    dati_ = nullptr;
    EXPECT_EQ(Contenuto(*cartella_ / "dati" / "mirtesa.mdb"), prima);

    // A new object asks again.
    ASSERT_EQ(CoCreateInstance(CLSID_ClsDatiMirtesa, nullptr, CLSCTX_INPROC_SERVER, IID__ClsDatiMirtesa,
                               reinterpret_cast<void**>(&dati_)),
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
    Imposta("Programma", (*cartella_ / "dati" / "programma").string());
    Imposta("Dati", (*cartella_ / "dati").string());
    ASSERT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
    EXPECT_EQ(Conteggio(), 1200);
}

TEST_F(StradaTessadati, ComponenteDelHostNonRegistrato) {
    ASSERT_EQ(Chiama(host_, "DllUnregisterServer"), S_OK);
    EXPECT_EQ(dati_->ApriDataBase(), Errore(429));
    EXPECT_NE(Descrizione().find("ActiveX"), std::string::npos);
    ASSERT_EQ(Chiama(host_, "DllRegisterServer"), S_OK);
    EXPECT_EQ(dati_->ApriDataBase(), S_OK) << Descrizione();
}

TEST_F(StradaTessadati, DatabaseMancanteNellaCartellaDelHost) {
    Imposta("Dati", (*cartella_ / "dati" / "programma").string());
    EXPECT_EQ(dati_->ApriDataBase(), Errore(3024));
    EXPECT_FALSE(Descrizione().empty());
}

}  // namespace
