// Helpers shared by the engine tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "jet/dao.h"
#include "vq/errore.h"

namespace aiuto {

// A private temporary folder, removed at the end of the test.
class Cartella {
public:
    Cartella() {
        std::string m = (std::filesystem::temp_directory_path() / "vqjet-test-XXXXXX").string();
        if (!mkdtemp(m.data())) throw std::runtime_error("mkdtemp");
        p_ = m;
    }
    ~Cartella() {
        std::error_code ec;
        std::filesystem::remove_all(p_, ec);
    }
    std::filesystem::path operator/(const std::string& nome) const { return p_ / nome; }
    const std::filesystem::path& percorso() const { return p_; }

private:
    std::filesystem::path p_;
};

// The number of the vq::Errore that `f` throws; 0 when it throws nothing.
inline int Numero(const std::function<void()>& f) {
    try {
        f();
    } catch (const vq::Errore& e) {
        EXPECT_FALSE(e.descrizione().empty());
        return e.numero();
    }
    return 0;
}

inline std::string Byte(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void ScriviByte(const std::filesystem::path& p, const std::string& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

// The folder of the real sample files, or empty when the shared folder is absent.
inline std::filesystem::path Campioni() {
    const char* d = std::getenv("VQ_SHARED_DIR");
    if (!d) return {};
    std::filesystem::path p = std::filesystem::path(d) / "jet-samples";
    return std::filesystem::exists(p / "README.md") ? p : std::filesystem::path();
}

inline jet::Workspace& Ws() { return jet::DBEngine::DelThread().Workspaces(0); }

// Test limits for the reading child: small enough that a runaway costs little.
inline void LimitiDiProva() {
    jet::Limiti l;
    l.memoriaMb = 1024;
    l.tempo = std::chrono::seconds(20);
    jet::DBEngine::DelThread().ImpostaLimiti(l);
}

// All rows of a query, each field as an engine value.
inline std::vector<std::vector<jet::Valore>> Righe(jet::Database& db, const std::string& sql) {
    auto rs = db.OpenRecordset(sql);
    std::vector<std::vector<jet::Valore>> out;
    while (!rs->Eof()) {
        std::vector<jet::Valore> r;
        for (int i = 0; i < rs->FieldsCount(); ++i) r.push_back(rs->Campo(i));
        out.push_back(std::move(r));
        rs->MoveNext();
    }
    return out;
}

inline std::int64_t Conta(jet::Database& db, const std::string& sql) {
    auto r = Righe(db, sql);
    EXPECT_EQ(r.size(), 1u);
    EXPECT_EQ(r.at(0).at(0).tipo, jet::Valore::Tipo::Lungo);
    return r.at(0).at(0).intero;
}

}  // namespace aiuto
