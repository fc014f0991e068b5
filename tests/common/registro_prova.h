// The registry store tests' fixture: a temporary configuration folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "file_prova.h"
#include "win/registry.h"

namespace fs = std::filesystem;

namespace prova {

inline std::vector<BYTE> Byte(std::string_view s) { return {s.begin(), s.end()}; }
inline std::vector<BYTE> Testo(std::string_view s) {
    auto b = Byte(s);
    b.push_back(0);
    return b;
}

class Registro : public testing::Test {
protected:
    void SetUp() override {
        temporanea_ = std::make_unique<Cartella>("vq-registro");
        base_ = temporanea_->percorso();
        cartella_ = base_ / "vq" / "registro";
        setenv("XDG_CONFIG_HOME", base_.c_str(), 1);
        unsetenv("VQ_REGISTRO_DIR");
    }
    void TearDown() override {
        for (HKEY h : aperte_) RegCloseKey(h);
        temporanea_.reset();
    }

    HKEY Crea(HKEY radice, const char* percorso, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY h = nullptr;
        DWORD disp = 0;
        EXPECT_EQ(RegCreateKeyExA(radice, percorso, 0, nullptr, REG_OPTION_NON_VOLATILE, sam,
                                  nullptr, &h, &disp),
                  ERROR_SUCCESS)
            << percorso;
        aperte_.push_back(h);
        return h;
    }
    LONG Apri(HKEY radice, const char* percorso, HKEY& h, REGSAM sam = KEY_READ) {
        h = nullptr;
        const LONG r = RegOpenKeyExA(radice, percorso, 0, sam, &h);
        if (r == ERROR_SUCCESS) aperte_.push_back(h);
        return r;
    }
    LONG Imposta(HKEY h, const char* nome, DWORD tipo, const std::vector<BYTE>& dati) {
        return RegSetValueExA(h, nome, 0, tipo, dati.data(), static_cast<DWORD>(dati.size()));
    }
    // Reads a value with a buffer of exactly the size asked first.
    LONG Leggi(HKEY h, const char* nome, DWORD& tipo, std::vector<BYTE>& dati) {
        DWORD n = 0;
        LONG r = RegQueryValueExA(h, nome, nullptr, &tipo, nullptr, &n);
        if (r != ERROR_SUCCESS) return r;
        dati.assign(n, 0xCC);
        r = RegQueryValueExA(h, nome, nullptr, &tipo, dati.data(), &n);
        dati.resize(n);
        return r;
    }
    std::string File(const char* nome) const {
        std::ifstream in(cartella_ / nome, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void ScriviFile(const char* nome, const std::string& testo) const {
        fs::create_directories(cartella_);
        const auto tmp = cartella_ / (std::string(nome) + ".scritto");
        std::ofstream(tmp, std::ios::binary) << testo;
        fs::rename(tmp, cartella_ / nome);  // a new file, as an editor saving it
    }

    // What a size query of value `nome` answers (ERROR_SUCCESS when it exists and may be read).
    static LONG Interroga(HKEY h, const char* nome) {
        DWORD n = 0;
        return RegQueryValueExA(h, nome, nullptr, nullptr, nullptr, &n);
    }
    DWORD NumeroValori(HKEY h) {
        DWORD valori = 0;
        EXPECT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valori,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        return valori;
    }
    // Files of the store folder other than the current user's hive, its lock and `ammessi`:
    // what a write left behind.
    std::vector<std::string> Residui(std::initializer_list<std::string> ammessi = {}) const {
        std::vector<std::string> r;
        for (const auto& voce : fs::directory_iterator(cartella_)) {
            const auto nome = voce.path().filename().string();
            if (nome != "HKCU.reg" && nome != "HKCU.reg.lock" &&
                std::find(ammessi.begin(), ammessi.end(), nome) == ammessi.end())
                r.push_back(nome);
        }
        return r;
    }

    std::unique_ptr<Cartella> temporanea_;
    fs::path base_, cartella_;
    std::vector<HKEY> aperte_;
};

}  // namespace prova
