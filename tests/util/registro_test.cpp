// The registry reader of vqUtilita and the folders of registered programs, on a registry
// store in a temporary folder.
#include "file_prova.h"

#include "../../util/src/registro.h"

#include <util/vqUtilita.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class Registro : public ::testing::Test {
protected:
    prova::Cartella tmp;
    prova::Ambiente config{"XDG_CONFIG_HOME", tmp.str()};
    prova::Ambiente dir{"VQ_REGISTRO_DIR", std::nullopt};

    void Scrivi(HKEY radice, const std::string& subkey, const std::string& nome, DWORD tipo,
                const std::vector<BYTE>& dati) {
        HKEY h = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(radice, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(h, nome.c_str(), 0, tipo, dati.data(),
                                   static_cast<DWORD>(dati.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(h);
    }
    static std::vector<BYTE> Testo(const std::string& s, bool nul = true) {
        std::vector<BYTE> v(s.begin(), s.end());
        if (nul) v.push_back(0);
        return v;
    }
};

constexpr const char* kChiave = "Software\\VQ\\Prova";

TEST_F(Registro, LeggiValoreRegistroByType) {
    struct Caso {
        const char* nome;
        DWORD tipo;
        std::vector<BYTE> dati;
        bool esito;
        std::string risultato;  // the caller passes "prima"
    };
    const Caso casi[] = {
        {"testo", REG_SZ, Testo("/home/u/Documenti"), true, "/home/u/Documenti"},
        {"senza nul", REG_SZ, Testo("abc", false), true, "abc"},
        {"vuoto", REG_SZ, Testo(""), true, ""},
        {"utf8", REG_SZ, Testo("caff\xc3\xa8"), true, "caff\xc3\xa8"},
        {"", REG_SZ, Testo("predefinito"), true, "predefinito"},  // the key's default value
        {"numero", REG_DWORD, {42, 0, 0, 0}, true, "42"},
        {"zero", REG_DWORD, {0, 0, 0, 0}, true, "0"},
        {"negativo", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, true, "-1"},
        {"grande", REG_DWORD, {0x00, 0x01, 0x00, 0x00}, true, "256"},
        {"espandibile", REG_EXPAND_SZ, Testo("%HOME%"), true,
         "prima"},  // other types leave the text
        {"multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, true, "prima"},
        {"binario", REG_BINARY, {1, 2, 3}, true, "prima"},
        {"1024", REG_SZ, Testo(std::string(1023, 'x')), true, std::string(1023, 'x')},
        {"1025", REG_SZ, Testo(std::string(1024, 'x')), false, ""},  // longer than the buffer
    };
    for (const auto& c : casi) Scrivi(HKEY_CURRENT_USER, kChiave, c.nome, c.tipo, c.dati);
    for (const auto& c : casi) {
        std::string r = "prima";
        EXPECT_EQ(vq::utilita::LeggiValoreRegistro(HKEY_CURRENT_USER, kChiave, c.nome, r), c.esito)
            << c.nome;
        EXPECT_EQ(r, c.risultato) << c.nome;
    }
}

TEST_F(Registro, LeggiValoreRegistroMissing) {
    Scrivi(HKEY_CURRENT_USER, kChiave, "c'e", REG_SZ, Testo("x"));
    const std::pair<HKEY, std::pair<std::string, std::string>> casi[] = {
        {HKEY_CURRENT_USER, {kChiave, "manca"}},
        {HKEY_CURRENT_USER, {"Software\\VQ\\Manca", "c'e"}},
        {HKEY_LOCAL_MACHINE, {kChiave, "c'e"}},  // another hive
    };
    for (const auto& [radice, kv] : casi) {
        std::string r = "prima";
        EXPECT_FALSE(vq::utilita::LeggiValoreRegistro(radice, kv.first, kv.second, r))
            << kv.first << kv.second;
        EXPECT_EQ(r, "");
    }
}

TEST_F(Registro, CartellaApplicazione) {
    const std::string base = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    Scrivi(HKEY_LOCAL_MACHINE, base + "Mirtesa.exe", "", REG_SZ,
           Testo("/opt/mirtesa/bin/Mirtesa.exe"));
    Scrivi(HKEY_LOCAL_MACHINE, base + "solonome.exe", "", REG_SZ, Testo("solonome.exe"));
    Scrivi(HKEY_LOCAL_MACHINE, base + "espanso.exe", "", REG_EXPAND_SZ,
           Testo("/opt/x/espanso.exe"));
    Scrivi(HKEY_LOCAL_MACHINE, base + "lungo.exe", "", REG_SZ,
           Testo("/" + std::string(1000, 'd') + "/x"));
    struct Caso {
        std::string app, cartella;
    };
    const Caso casi[] = {
        {"Mirtesa.exe", "/opt/mirtesa/bin/"},
        {"mirtesa.EXE", "/opt/mirtesa/bin/"},  // key names ignore case
        {"solonome.exe", ""},
        {"espanso.exe", ""},
        {"lungo.exe", "/" + std::string(1000, 'd') + "/"},
        {"manca.exe", ""},
        {"", ""},
    };
    for (const auto& c : casi)
        EXPECT_EQ(vqUtilita::CartellaApplicazione(c.app), c.cartella) << c.app;
    EXPECT_EQ(vq::Err().numero, 0);
}

}  // namespace
