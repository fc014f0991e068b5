// Damaged files: truncated, byte-flipped, empty. Each query gives either the true answer
// or a numbered error, within bounded time and memory, and never takes the test down.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

#include "aiuto.h"
#include "jet/errori.h"
#include "jetwriter/jetwriter.h"

namespace {

const std::set<int> kAmmessi = {jet::kErrFormato, jet::kErrDanneggiato, jet::kErrTabella, jet::kErrPassword,
                                jet::kErrParametri};

class Danneggiati : public ::testing::TestWithParam<jetwriter::Formato> {
protected:
    void SetUp() override {
        jet::Limiti l;
        l.memoriaMb = 512;
        l.tempo = std::chrono::seconds(5);
        jet::DBEngine::DelThread().ImpostaLimiti(l);
        jetwriter::OpzioniMirtesa o;
        o.operazioni = 600;
        o.formato = GetParam();
        o.password = "";
        jetwriter::ScriviDemoMirtesa(o, dir_ / "sano.mdb");
        sano_ = aiuto::Byte(dir_ / "sano.mdb");
        auto db = aiuto::Ws().OpenDatabase((dir_ / "sano.mdb").string());
        conteggio_ = aiuto::Conta(*db, kQuery);
    }

    // Runs the query on `byte`; returns 0 on the true answer, else the error number.
    int Prova(const std::string& byte, const std::string& caso) {
        auto p = dir_ / "rotto.mdb";
        aiuto::ScriviByte(p, byte);
        auto inizio = std::chrono::steady_clock::now();
        int n = aiuto::Numero([&] {
            auto db = aiuto::Ws().OpenDatabase(p.string());
            EXPECT_EQ(aiuto::Conta(*db, kQuery), conteggio_) << caso;
        });
        auto durata = std::chrono::steady_clock::now() - inizio;
        EXPECT_LT(durata, std::chrono::seconds(12)) << caso;
        if (n != 0) {
            EXPECT_TRUE(kAmmessi.count(n)) << caso << ": errore " << n;
        }
        EXPECT_EQ(aiuto::Byte(p), byte) << caso;  // never written
        return n;
    }

    // The row count: values may change under a flipped byte, the number of rows may not
    // (a lost or extra row must be reported).
    static constexpr const char* kQuery = "SELECT Count(*) FROM Operazioni";
    aiuto::Cartella dir_;
    std::string sano_;
    std::int64_t conteggio_ = 0;
};

TEST_P(Danneggiati, Troncati) {
    const std::size_t pagina = GetParam() == jetwriter::Formato::Jet3 ? 2048 : 4096;
    EXPECT_EQ(Prova("", "vuoto"), jet::kErrFormato);
    EXPECT_EQ(Prova(sano_.substr(0, 100), "100 byte"), jet::kErrFormato);
    EXPECT_EQ(Prova(sano_.substr(0, sano_.size() - 1), "un byte in meno"), jet::kErrDanneggiato);
    int errori = 0;
    for (std::size_t pagine = 1; pagine * pagina < sano_.size(); pagine += std::max<std::size_t>(1, sano_.size() / pagina / 12))
        errori += Prova(sano_.substr(0, pagine * pagina), std::to_string(pagine) + " pagine") != 0;
    EXPECT_GT(errori, 0);  // losing pages must show
}

TEST_P(Danneggiati, ByteAlterati) {
    std::mt19937_64 caso(GetParam() == jetwriter::Formato::Jet3 ? 3 : 4);
    int errori = 0;
    for (int i = 0; i < 30; ++i) {
        std::string b = sano_;
        int quanti = 1 + static_cast<int>(caso() % 16);
        for (int k = 0; k < quanti; ++k) {
            // Page 0 and the catalog pages are hit more often: they hold what libmdb trusts most.
            std::size_t limite = (k % 2 == 0) ? std::min<std::size_t>(b.size(), 16384) : b.size();
            b[caso() % limite] = static_cast<char>(caso() & 0xFF);
        }
        errori += Prova(b, "variante " + std::to_string(i)) != 0;
    }
    RecordProperty("errori", errori);
}

INSTANTIATE_TEST_SUITE_P(Formati, Danneggiati, ::testing::Values(jetwriter::Formato::Jet3, jetwriter::Formato::Jet4),
                         [](const auto& i) { return i.param == jetwriter::Formato::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
