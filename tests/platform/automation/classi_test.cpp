// Class activation through the registry store: a small class in a library of its own,
// registered into a temporary registry.
#include "automazione_prova.h"
#include "file_prova.h"
#include "prova.h"

#include <gtest/gtest.h>
#include <win/registry.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace {

std::string Testo(REFGUID g) {
    OLECHAR buf[39];
    StringFromGUID2(g, buf, 39);
    return ole::Utf16InUtf8(buf);
}

void ScriviPredefinito(const std::string& chiave, const std::string& valore, DWORD tipo = REG_SZ) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, "", 0, tipo, reinterpret_cast<const BYTE*>(valore.c_str()),
                             static_cast<DWORD>(valore.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(k);
}

void Registra(REFCLSID clsid, const std::string& libreria, DWORD tipo = REG_SZ) {
    ScriviPredefinito("CLSID\\" + Testo(clsid) + "\\InprocServer32", libreria, tipo);
}

class Classi : public ::testing::Test {
protected:
    void SetUp() override {
        temporanea_ = std::make_unique<prova::Cartella>("vq-ole");
        cartella_ = temporanea_->percorso();
        ::setenv("XDG_CONFIG_HOME", cartella_.c_str(), 1);
        ::unsetenv("VQ_REGISTRO_DIR");
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        temporanea_.reset();
    }
    std::unique_ptr<prova::Cartella> temporanea_;
    std::filesystem::path cartella_;
};

HRESULT PuoScaricare() {
    void* h = dlopen(VQ_CLASSE_PROVA, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return E_FAIL;
    auto f = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(h, "DllCanUnloadNow"));
    HRESULT hr = f ? f() : E_FAIL;
    dlclose(h);
    return hr;
}

TEST_F(Classi, CreaUsaERilascia) {
    Registra(CLSID_Prova, VQ_CLASSE_PROVA);
    {
        auto p = ole::Crea<IProva>(CLSID_Prova, IID_IProva);
        LONG r = 0;
        ASSERT_EQ(p->Somma(2, 40, &r), S_OK);
        EXPECT_EQ(r, 42);
        // A failure inside the library reaches the caller with its number and text.
        const vq::Errore e = ole::ErroreDa(p->Fallisci(4567));
        EXPECT_EQ(e.numero(), 4567);
        EXPECT_EQ(e.descrizione(), "Errore di prova 4567");
        // A Collection the library made outlives the library's object.
        ole::ComPtr<_Collection> c;
        ASSERT_EQ(p->Elenco(3, c.put()), S_OK);
        EXPECT_EQ(PuoScaricare(), S_FALSE);
        auto q = p;  // a second reference
        p.reset();
        EXPECT_EQ(PuoScaricare(), S_FALSE);
        ole::Variante i = ole::Variante::I4(3), v;
        ASSERT_EQ(c->Item(i.get(), v.put()), S_OK);
        EXPECT_EQ(ole::Utf8DaBstr(v->bstrVal), "elemento 3");
        EXPECT_EQ(q->AddRef(), 2u);
        EXPECT_EQ(q->Release(), 1u);
        // Asking for an interface the class lacks.
        ole::ComPtr<IDispatch> d;
        EXPECT_EQ(q->QueryInterface(IID_IDispatch, d.put_void()), E_NOINTERFACE);
        EXPECT_FALSE(d);
        EXPECT_TRUE(q.as<IUnknown>(IID_IUnknown));
    }
    // Every reference released: the library has no live object left.
    EXPECT_EQ(PuoScaricare(), S_OK);
    // A second creation uses the library already loaded.
    auto p2 = ole::Crea<IProva>(CLSID_Prova, IID_IProva);
    EXPECT_TRUE(p2);
}

TEST_F(Classi, GuastiDiRegistrazione) {
    const std::string assente = (cartella_ / "manca.so").string();
    struct {
        const char* caso;
        CLSID clsid;
        const char* libreria;  // nullptr: not registered
        HRESULT atteso;
        std::string nominato;  // what the description must name
    } casi[] = {
        {"non registrata", CLSID_Prova, nullptr, REGDB_E_CLASSNOTREG, Testo(CLSID_Prova)},
        {"libreria assente", CLSID_Prova, assente.c_str(), CO_E_DLLNOTFOUND, "manca.so"},
        {"libreria senza DllGetClassObject", CLSID_Prova, VQ_LIBRERIA_SENZA_CLASSI, CO_E_ERRORINDLL,
         ""},
        {"classe ignota alla libreria", CLSID_ProvaIgnota, VQ_CLASSE_PROVA,
         CLASS_E_CLASSNOTAVAILABLE, ""},
        {"percorso vuoto", CLSID_Prova, "", REGDB_E_CLASSNOTREG, ""},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        if (c.libreria) Registra(c.clsid, c.libreria);
        ole::ComPtr<IUnknown> u;
        HRESULT hr =
            CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, u.put_void());
        EXPECT_EQ(hr, c.atteso);
        EXPECT_FALSE(u);
        const std::string descrizione = ole::ErroreDa(hr).descrizione();
        EXPECT_FALSE(descrizione.empty());
        EXPECT_NE(descrizione.find(c.nominato), std::string::npos) << descrizione;
        // Created from C++ as the runtime's New does: error 429 with the same reason.
        const auto e = prova::ErroreDi([&] { ole::Crea<IUnknown>(c.clsid, IID_IUnknown); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->numero(), 429);
        EXPECT_NE(e->descrizione().find(descrizione), std::string::npos) << e->descrizione();
    }
}

TEST_F(Classi, RegistroDanneggiato) {
    const auto cartella = cartella_ / "vq" / "registro";
    std::filesystem::create_directories(cartella);
    {
        std::FILE* f = std::fopen((cartella / "HKCR.reg").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("questo non \xe8 un registro\n[HKEY_CLASSES_ROOT\\CLSID\n\"x\"=dword:zz\n", f);
        std::fclose(f);
    }
    ole::ComPtr<IUnknown> u;
    HRESULT hr =
        CoCreateInstance(CLSID_Prova, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, u.put_void());
    EXPECT_EQ(hr, REGDB_E_READREGDB);
    EXPECT_NE(ole::ErroreDa(hr).descrizione().find(Testo(CLSID_Prova)), std::string::npos);
    // The built-in Collection does not need the registry.
    EXPECT_EQ(CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               u.put_void()),
              S_OK);
}

TEST_F(Classi, PercorsoConVariabiliDAmbiente) {
    const std::filesystem::path lib(VQ_CLASSE_PROVA);
    ::setenv("VQ_PROVA_CARTELLA", lib.parent_path().c_str(), 1);
    Registra(CLSID_Prova, "%VQ_PROVA_CARTELLA%/" + lib.filename().string(), REG_EXPAND_SZ);
    EXPECT_TRUE(ole::Crea<IProva>(CLSID_Prova, IID_IProva));
}

TEST_F(Classi, ProgIdEInizializzazione) {
    ScriviPredefinito("Prova.Classe\\CLSID", Testo(CLSID_Prova));
    CLSID g{};
    ASSERT_EQ(CLSIDFromProgID(u"Prova.Classe", &g), S_OK);
    EXPECT_TRUE(IsEqualCLSID(g, CLSID_Prova));
    EXPECT_EQ(CLSIDFromProgID(u"Prova.Assente", &g), CO_E_CLASSSTRING);

    // Counted per thread, in one threading model.
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    HRESULT altro = S_OK;
    std::thread t([&] {
        ole::ComPtr<IUnknown> u;
        altro = CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 u.put_void());
    });
    t.join();
    EXPECT_EQ(altro, CO_E_NOTINITIALIZED);
}

}  // namespace
