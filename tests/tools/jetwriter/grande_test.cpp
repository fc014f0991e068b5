// A table of 100,000 rows, generated row by row, round-trips through both readers.
#include "confronto.h"

#include <gtest/gtest.h>

namespace prova {
namespace {

using namespace jetwriter;

Specifica Grande(Formato f) {
    Specifica s;
    s.formato = f;
    s.dataCreazione = 40000;
    Tabella t;
    t.nome = "Movimenti";
    t.colonne = {{"ID", Tipo::Long, 255, true}, {"Data", Tipo::DateTime},
                 {"Causale", Tipo::Text, 100},  {"Euro", Tipo::Currency},
                 {"Lire", Tipo::Double},        {"Flag", Tipo::Boolean},
                 {"Note", Tipo::Memo}};
    t.generatore = [](std::int64_t i, Riga& r) {
        if (i >= 100000) return false;
        r.clear();
        r.emplace_back(std::monostate{});
        r.emplace_back(
            Data{36892.0 + static_cast<double>(i / 40) + static_cast<double>(i % 4) * 0.25});
        if (i % 13 == 0) r.emplace_back(std::monostate{});
        else r.emplace_back("Operazione n° " + std::to_string(i) + (i % 3 ? " è" : ""));
        r.emplace_back(Valuta{(i % 2 ? -1 : 1) * i * 37});
        r.emplace_back(static_cast<double>(i) * 1936.27);
        r.emplace_back(i % 7 == 0);
        if (i % 1000 == 0)
            r.emplace_back(std::string(static_cast<std::size_t>(i % 5000 + 100), 'n'));
        else r.emplace_back(std::monostate{});
        return true;
    };
    s.tabelle.push_back(std::move(t));
    return s;
}

class Grande100k : public ::testing::TestWithParam<Formato> {};

TEST_P(Grande100k, CentomilaRigheTornanoIndietro) {
    Cartella cartella;
    const Specifica s = Grande(GetParam());
    const auto file = cartella / "grande.mdb";
    Scrivi(s, file);
    const DatabaseLetto db = LeggiConLibmdb(file);
    const TabellaLetta* t = db.Tabella("Movimenti");
    ASSERT_NE(t, nullptr);
    const Righe attese = Attese(s.tabelle[0]);
    ASSERT_EQ(attese.size(), 100000u);
    EXPECT_EQ(t->righeDichiarate, 100000);
    ASSERT_EQ(t->righe.size(), attese.size());
    for (std::size_t r = 0; r < attese.size(); ++r)
        ASSERT_EQ(t->righe[r], attese[r]) << "riga " << r + 1;
    EXPECT_EQ(UltimoContatore(file, t->pagina), 100000u);
    int stato = 0;
    EXPECT_EQ(Esegui("mdb-count " + Quota(file.string()) + " Movimenti 2>/dev/null", stato),
              "100000\n");

    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(db, *node);
}

INSTANTIATE_TEST_SUITE_P(Formati, Grande100k, ::testing::Values(Formato::Jet3, Formato::Jet4),
                         [](const auto& parametro) {
                             return parametro.param == Formato::Jet3 ? "Jet3" : "Jet4";
                         });

}  // namespace
}  // namespace prova
