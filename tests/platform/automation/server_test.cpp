// The in-process server plumbing shared by the components: class objects, unloading,
// and a registration that leaves nothing behind when it fails half-way.
#include "file_prova.h"

#include <gtest/gtest.h>
#include <ole/automation.h>
#include <ole/ole.hpp>
#include <ole/server.hpp>
#include <unistd.h>
#include <win/registry.h>

#include <array>
#include <filesystem>
#include <string>

namespace {

// {5E0D7C11-2B9A-4F43-9C35-6A1B2C3D4E5F} and {5E0D7C12-...}: classes of this test only.
const CLSID kPrima = {0x5E0D7C11, 0x2B9A, 0x4F43, {0x9C, 0x35, 0x6A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};
const CLSID kSeconda = {
    0x5E0D7C12, 0x2B9A, 0x4F43, {0x9C, 0x35, 0x6A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};

ole::ContatoreOggetti& Contatore() {
    static ole::ContatoreOggetti c;
    return c;
}
ole::ComPtr<IUnknown> CreaCollection() { return ole::NuovaCollection().as<IUnknown>(IID_IUnknown); }

bool Esiste(const std::string& chiave) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

class ServerInProcesso : public ::testing::Test {
protected:
    void SetUp() override {
        temporanea_ = std::make_unique<prova::Cartella>("vq-server");
        cartella_ = temporanea_->percorso();
        ::setenv("VQ_REGISTRO_DIR", cartella_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("VQ_REGISTRO_DIR");
        temporanea_.reset();
    }
    std::unique_ptr<prova::Cartella> temporanea_;
    std::filesystem::path cartella_;
};

TEST_F(ServerInProcesso, UnaRegistrazioneFallitaNonLasciaNulla) {
    // The second class's programmatic id is no valid key name: the registration fails
    // after the first class's keys were written, and must take them away again.
    const std::array<ole::ClasseServer, 2> classi{{
        {kPrima, "Prima", "Prova.Prima", "Prima", "Apartment", CreaCollection},
        {kSeconda, "Seconda", "Prova\\\\Rotta", "Seconda", "Apartment", CreaCollection},
    }};
    const ole::DescrizioneServer descrizione{classi};
    ole::ServerInProcesso server(descrizione, Contatore());

    ASSERT_TRUE(FAILED(server.Registra()));
    const std::string prima = "CLSID\\" + ole::TestoGuid(kPrima);
    EXPECT_FALSE(Esiste(prima));
    EXPECT_FALSE(Esiste("Prova.Prima"));
    EXPECT_FALSE(Esiste("CLSID\\" + ole::TestoGuid(kSeconda)));

    // A sound description registers, and unregisters to nothing of its own.
    const std::array<ole::ClasseServer, 1> buona{{classi[0]}};
    const ole::DescrizioneServer descrizioneBuona{buona};
    ole::ServerInProcesso valido(descrizioneBuona, Contatore());
    ASSERT_EQ(valido.Registra(), S_OK);
    EXPECT_TRUE(Esiste(prima + "\\InprocServer32"));
    EXPECT_TRUE(Esiste("Prova.Prima\\CLSID"));
    ASSERT_EQ(valido.Deregistra(), S_OK);
    EXPECT_FALSE(Esiste(prima));
    EXPECT_FALSE(Esiste("Prova.Prima"));
}

TEST_F(ServerInProcesso, OggettiDiClasseEScaricamento) {
    const std::array<ole::ClasseServer, 1> classi{{
        {kPrima, "Prima", "Prova.Prima", "Prima", "Apartment", CreaCollection},
    }};
    const ole::DescrizioneServer descrizione{classi};
    ole::ServerInProcesso server(descrizione, Contatore());

    void* p = nullptr;
    EXPECT_EQ(server.OggettoClasse(kSeconda, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(server.OggettoClasse(kPrima, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(server.Scaricabile(), S_OK);

    ASSERT_EQ(server.OggettoClasse(kPrima, IID_IClassFactory, &p), S_OK);
    ole::ComPtr<IClassFactory> fabbrica;
    fabbrica.attach(static_cast<IClassFactory*>(p));
    EXPECT_EQ(server.Scaricabile(), S_FALSE);  // a class object lives
    {
        ole::ComPtr<IUnknown> oggetto;
        ASSERT_EQ(fabbrica->CreateInstance(nullptr, IID_IUnknown, oggetto.put_void()), S_OK);
        EXPECT_TRUE(oggetto.prova<_Collection>(IID__Collection) != nullptr);
    }
    ASSERT_EQ(fabbrica->LockServer(TRUE), S_OK);
    fabbrica.reset();
    EXPECT_EQ(server.Scaricabile(), S_FALSE);  // a client holds the server
    server.Blocca(false);
    EXPECT_EQ(server.Scaricabile(), S_OK);
}

}  // namespace
