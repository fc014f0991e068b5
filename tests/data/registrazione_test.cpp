// Self-registration of the library: the keys Windows would hold for it, and their exact
// removal (what belongs to others stays).
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "componenti_prova.h"
#include "tessadati/tessadati.h"

namespace {

using namespace prova;

std::string Valore(const std::string& chiave, const char* nome = nullptr) {
    return LeggiValore(HKEY_CLASSES_ROOT, chiave, nome);
}
bool Esiste(const std::string& chiave) { return EsisteChiave(HKEY_CLASSES_ROOT, chiave); }

class TessadatiRegistrazione : public ::testing::Test {
protected:
    void SetUp() override {
        cartella_.UsaPerIlRegistro();
        lib_ = std::make_unique<Libreria>(TESSADATI_LIB);
    }
    HRESULT Registra() { return lib_->Chiama("DllRegisterServer"); }
    HRESULT Cancella() { return lib_->Chiama("DllUnregisterServer"); }

    Cartella cartella_{"tessadati-registro", prova::kInMemoria};
    std::unique_ptr<Libreria> lib_;
};

const char* const kClsDati = "CLSID\\{4A8F27C2-B7E5-4E12-BE1E-0E0E48F9F177}";
const char* const kLibreria = "TypeLib\\{AFC86911-033F-498D-87FD-F899D440DF18}";
const char* const kInterfacce[] = {
    "{6EF3DB62-9534-4211-B115-D1B09E0190B9}", "{4A7BAB9D-DA03-4037-8617-F99E8C01E4B6}",
    "{AA0890F9-EE09-46FF-B1A4-81406D923F61}", "{068FAA94-DC62-457A-B608-06491380F0D4}"};

TEST_F(TessadatiRegistrazione, ChiaviDelServer) {
    ASSERT_EQ(Registra(), S_OK);
    char assoluto[PATH_MAX];
    ASSERT_NE(realpath(TESSADATI_LIB, assoluto), nullptr);
    const std::string cls = kClsDati;

    EXPECT_EQ(Valore(cls), "ClsDatiMirtesa");
    EXPECT_EQ(Valore(cls + "\\InprocServer32"), assoluto);
    EXPECT_EQ(Valore(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Valore(cls + "\\ProgID"), "Tessadati.ClsDatiMirtesa");
    EXPECT_EQ(Valore("Tessadati.ClsDatiMirtesa\\CLSID"), "{4A8F27C2-B7E5-4E12-BE1E-0E0E48F9F177}");
    EXPECT_EQ(Valore("Tessadati.clsConti\\CLSID"), "{DFF216EF-9A81-450E-B2B9-7C4959CFDA88}");
    EXPECT_EQ(Valore("Tessadati.clsCassa\\CLSID"), "{92D94912-F0EF-4678-AA9F-D980405DAD66}");
    EXPECT_EQ(
        Valore("CLSID\\{92D94912-F0EF-4678-AA9F-D980405DAD66}\\InprocServer32", "ThreadingModel"),
        "Apartment");
    // No type library is registered: the library carries none that could be loaded, and
    // its objects say so (GetTypeInfoCount answers 0).
    EXPECT_FALSE(Esiste(cls + "\\TypeLib"));
    EXPECT_FALSE(Esiste(kLibreria));
    for (const char* iid : kInterfacce) {
        EXPECT_FALSE(Esiste(std::string("Interface\\") + iid)) << iid;
    }

    // The runtime finds the class through these keys.
    CLSID c{};
    EXPECT_EQ(CLSIDFromProgID(u"Tessadati.clsConti", &c), S_OK);
    EXPECT_TRUE(IsEqualCLSID(c, CLSID_clsConti));
}

TEST_F(TessadatiRegistrazione, CancellazioneTogliePropriQuanto) {
    // What belongs to others: another class, another version of the type library.
    ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, "CLSID\\{00000000-1111-2222-3333-444444444444}",
                             nullptr, "Altro"));
    ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, std::string(kLibreria) + "\\1.0", nullptr,
                             "Tessadati vecchia"));

    ASSERT_EQ(Registra(), S_OK);
    ASSERT_EQ(Registra(), S_OK);  // twice: the same keys
    // A programmatic id that another class has taken over since is no longer ours.
    ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, "Tessadati.clsConti\\CLSID", nullptr,
                             "{00000000-1111-2222-3333-444444444444}"));
    ASSERT_EQ(Cancella(), S_OK);

    EXPECT_FALSE(Esiste(kClsDati));
    EXPECT_FALSE(Esiste("CLSID\\{DFF216EF-9A81-450E-B2B9-7C4959CFDA88}"));
    EXPECT_FALSE(Esiste("Tessadati.ClsDatiMirtesa"));
    EXPECT_FALSE(Esiste("Tessadati.clsCassa"));
    EXPECT_FALSE(Esiste("Interface\\{6EF3DB62-9534-4211-B115-D1B09E0190B9}"));
    EXPECT_FALSE(Esiste(std::string(kLibreria) + "\\1.1"));
    EXPECT_EQ(Valore("CLSID\\{00000000-1111-2222-3333-444444444444}"), "Altro");
    EXPECT_EQ(Valore("Tessadati.clsConti\\CLSID"), "{00000000-1111-2222-3333-444444444444}");
    EXPECT_EQ(Valore(std::string(kLibreria) + "\\1.0"), "Tessadati vecchia");

    EXPECT_EQ(Cancella(), S_OK);  // nothing left to remove is no failure
}

// The type library and interface keys of an earlier release go at registration and at
// unregistration; another version of the library and an interface of someone else stay.
TEST_F(TessadatiRegistrazione, ChiaviDiUnaVersionePrecedenteTolte) {
    const std::string altrui = "Interface\\{AA0890F9-EE09-46FF-B1A4-81406D923F61}";
    const struct {
        bool altra_versione;
        bool registra;  // else unregister
    } casi[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    for (const auto& c : casi) {
        SCOPED_TRACE(std::to_string(c.altra_versione) + (c.registra ? " registra" : " cancella"));
        ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, std::string(kLibreria) + "\\1.1\\0\\win64",
                                 nullptr, TESSADATI_LIB));
        if (c.altra_versione) {
            ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, std::string(kLibreria) + "\\1.0", nullptr,
                                     "Tessadati vecchia"));
        }
        for (const char* iid : kInterfacce) {
            ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT,
                                     std::string("Interface\\") + iid + "\\TypeLib", nullptr,
                                     "{AFC86911-033F-498D-87FD-F899D440DF18}"));
        }
        ASSERT_TRUE(ScriviValore(HKEY_CLASSES_ROOT, altrui + "\\TypeLib", nullptr,
                                 "{00000000-1111-2222-3333-444444444444}"));
        ASSERT_EQ(c.registra ? Registra() : Cancella(), S_OK);
        EXPECT_FALSE(Esiste(std::string(kLibreria) + "\\1.1"));
        EXPECT_EQ(Esiste(kLibreria), c.altra_versione);
        for (const char* iid : {kInterfacce[0], kInterfacce[1], kInterfacce[3]}) {
            EXPECT_FALSE(Esiste(std::string("Interface\\") + iid)) << iid;
        }
        EXPECT_TRUE(Esiste(altrui));
        ASSERT_EQ(Cancella(), S_OK);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kLibreria);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, altrui.c_str());
    }
}

TEST_F(TessadatiRegistrazione, EsportaSoloIPuntiDiIngresso) {
    for (const char* nome :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(lib_->Simbolo(nome), nullptr) << nome;
    for (const char* nome : {"_ZN9tessadati15CostruisciQueryERKNS_6FiltroEi",
                             "_ZN9tessadati9ContatoreEv", "_ZN9tessadati17MotorePredefinitoEv"})
        EXPECT_EQ(lib_->Simbolo(nome), nullptr) << nome;
}

TEST_F(TessadatiRegistrazione, ComandoRegsvr) {
    auto esegui = [](const std::string& argomenti) {
        const int stato =
            std::system((std::string(REGSVR) + " -s " + argomenti + " 2>/dev/null").c_str());
        return WIFEXITED(stato) ? WEXITSTATUS(stato) : -1;
    };
    ASSERT_EQ(esegui(TESSADATI_LIB), 0);
    EXPECT_EQ(Valore(std::string(kClsDati) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(esegui(std::string("-u ") + TESSADATI_LIB), 0);
    EXPECT_FALSE(Esiste(kClsDati));
    EXPECT_EQ(esegui((cartella_ / "manca.so").string()), 3);
    EXPECT_EQ(esegui(SENZA_PUNTI_DI_INGRESSO), 4);  // a library that is no server
}

}  // namespace
