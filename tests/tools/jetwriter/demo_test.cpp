// The Mirtesa demo household: schema of the host database, believable and consistent
// content, repeatable output, the empty template.
#include "confronto.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

namespace prova {
namespace {

using namespace jetwriter;

std::vector<std::pair<std::string, std::string>> Colonne(const TabellaLetta& t) {
    std::vector<std::pair<std::string, std::string>> r;
    for (const auto& c : t.colonne) r.emplace_back(c.nome, c.tipo);
    return r;
}

class Demo : public ::testing::TestWithParam<Formato> {
protected:
    Cartella cartella_;
};

TEST_P(Demo, SchemaDelDatabaseMirtesaEContenutiCoerentiEVari) {
    OpzioniMirtesa o;
    o.formato = GetParam();
    o.seme = 7;
    const auto file = cartella_ / "mirtesa.mdb";
    ScriviDemoMirtesa(o, file);
    const DatabaseLetto db = LeggiConLibmdb(file);
    using V = std::vector<std::pair<std::string, std::string>>;
    const std::pair<const char*, V> schema[] = {
        {"Conti", {{"IDConto", "long"}, {"Descrizione", "text"}}},
        {"TabellaCassa", {{"IDCassa", "long"}, {"Cassa", "text"}, {"IDConto", "long"}}},
        {"Operazioni",
         {{"IDMovimento", "long"},
          {"IDCassa", "long"},
          {"Data", "datetime"},
          {"Causale", "text"},
          {"Euro", "currency"},
          {"Totale£", "double"},
          {"Bancomat", "boolean"},
          {"ContoCorrente", "boolean"},
          {"Carta", "boolean"},
          {"NoStatistiche", "boolean"}}},
        {"Versione", {{"versione", "long"}}},
    };
    for (const auto& [nome, colonne] : schema) {
        ASSERT_NE(db.Tabella(nome), nullptr) << nome;
        EXPECT_EQ(Colonne(*db.Tabella(nome)), colonne) << nome;
    }
    EXPECT_EQ(db.Tabella("Versione")->righe, (Righe{{"2"}}));
    EXPECT_EQ(PasswordDaIntestazione(file), "604kmr73");
    std::set<std::string> conti, casse;
    for (const auto& r : db.Tabella("Conti")->righe) conti.insert(r[0]);
    for (const auto& r : db.Tabella("TabellaCassa")->righe) {
        casse.insert(r[0]);
        EXPECT_TRUE(conti.count(r[2])) << "cassa " << r[0] << " con conto inesistente " << r[2];
    }
    const auto& op = db.Tabella("Operazioni")->righe;
    ASSERT_EQ(op.size(), 3000u);
    std::map<std::string, int> perData;
    int causaliNulle = 0, causaliVuote = 0, importiNulli = 0, accentate = 0, negativi = 0,
        positivi = 0;
    std::array<int, 4> flag{};
    double primo = 1e9, ultimo = -1e9, precedente = -1e9;
    for (std::size_t i = 0; i < op.size(); ++i) {
        const auto& r = op[i];
        EXPECT_EQ(r[0], std::to_string(i + 1));  // IDMovimento numbered in order
        EXPECT_TRUE(casse.count(r[1]))
            << "operazione " << r[0] << " con cassa inesistente " << r[1];
        const double data = std::stod(r[2]);
        EXPECT_GE(data, precedente) << "date non in ordine alla riga " << i + 1;
        precedente = data;
        primo = std::min(primo, data);
        ultimo = std::max(ultimo, data);
        ++perData[r[2]];
        if (r[3] == "NULL") ++causaliNulle;
        else if (r[3] == "'") ++causaliVuote;
        else if (r[3].find_first_of("\xC3\xC2") != std::string::npos) ++accentate;
        ASSERT_EQ(r[4] == "NULL", r[5] == "NULL") << "euro e lire Null insieme, riga " << i + 1;
        if (r[4] != "NULL") {
            const double euro = std::stod(r[4]);
            EXPECT_EQ(std::stod(r[5]), std::round(euro * 1936.27)) << "lire della riga " << i + 1;
            (euro < 0 ? negativi : positivi)++;
        } else {
            ++importiNulli;
        }
        for (int f = 0; f < 4; ++f)
            flag[static_cast<std::size_t>(f)] += r[6 + static_cast<std::size_t>(f)] == "true";
    }
    EXPECT_GT(causaliNulle, 0);
    EXPECT_GT(causaliVuote, 0);
    EXPECT_GT(importiNulli, 0);
    EXPECT_GT(accentate, 0);
    EXPECT_GT(negativi, 0);
    EXPECT_GT(positivi, 0);
    for (int f : flag) {
        EXPECT_GT(f, 0);
        EXPECT_LT(f, 3000);
    }
    EXPECT_GT(ultimo - primo, 5 * 365.0) << "più anni di operazioni";
    EXPECT_LT(perData.size(), op.size()) << "alcune operazioni condividono la data";
    // A Null account description, as the host allows.
    int descrizioniNulle = 0;
    for (const auto& r : db.Tabella("Conti")->righe) descrizioniNulle += r[1] == "NULL";
    EXPECT_EQ(descrizioniNulle, 1);

    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(db, *node);
    EXPECT_EQ(node->password.value_or(""), "604kmr73");
}

TEST_P(Demo, StessoSemeStessoFile) {
    OpzioniMirtesa o;
    o.formato = GetParam();
    o.operazioni = 500;
    ScriviDemoMirtesa(o, cartella_ / "a.mdb");
    ScriviDemoMirtesa(o, cartella_ / "b.mdb");
    o.seme = 2;
    ScriviDemoMirtesa(o, cartella_ / "c.mdb");
    EXPECT_EQ(prova::LeggiFile(cartella_ / "a.mdb"), prova::LeggiFile(cartella_ / "b.mdb"));
    EXPECT_NE(prova::LeggiFile(cartella_ / "a.mdb"), prova::LeggiFile(cartella_ / "c.mdb"));
}

TEST_P(Demo, ZeroOperazioniEIlModelloVuoto) {
    OpzioniMirtesa o;
    o.formato = GetParam();
    o.operazioni = 0;
    o.versione = 3;
    const auto file = cartella_ / "mirtesa.dat";
    ScriviDemoMirtesa(o, file);
    const DatabaseLetto db = LeggiConLibmdb(file);
    ASSERT_EQ(db.tabelle.size(), 4u);
    for (const char* t : {"Conti", "TabellaCassa", "Operazioni"}) {
        ASSERT_NE(db.Tabella(t), nullptr);
        EXPECT_TRUE(db.Tabella(t)->righe.empty()) << t;
        EXPECT_EQ(db.Tabella(t)->righeDichiarate, 0) << t;
    }
    EXPECT_EQ(db.Tabella("Versione")->righe, (Righe{{"3"}}));
    ControllaComandi(file, db);
    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(db, *node);
}

INSTANTIATE_TEST_SUITE_P(Formati, Demo, ::testing::Values(Formato::Jet3, Formato::Jet4),
                         [](const auto& parametro) {
                             return parametro.param == Formato::Jet3 ? "Jet3" : "Jet4";
                         });

}  // namespace
}  // namespace prova
