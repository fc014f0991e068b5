// The two commands, as other tests and the benchmark call them.
#include "lettori.h"

#include <gtest/gtest.h>

#include <fstream>

namespace prova {
namespace {

const std::string kJetWriter = JET_WRITER_EXE;
const std::string kMirtesaDemo = MIRTESA_DEMO_EXE;

TEST(JetWriter, ScriveIlFileDescrittoInJson) {
    Cartella c;
    std::ofstream(c / "spec.json") << R"({"format": "jet4", "password": "604kmr73", "tables": [
        {"name": "Operazioni", "columns": [{"name": "IDMovimento", "type": "long", "autonumber": true},
                                          {"name": "Totale£", "type": "double"},
                                          {"name": "Causale", "type": "text", "size": 20}],
         "rows": [[null, 87713, "Supermercato"], [null, null, "Caffè"]]}]})";
    int stato = 0;
    Esegui(Quota(kJetWriter) + " " + Quota((c / "spec.json").string()) + " " +
               Quota((c / "out.mdb").string()),
           stato);
    ASSERT_EQ(stato, 0);
    const DatabaseLetto db = LeggiConLibmdb(c / "out.mdb");
    ASSERT_NE(db.Tabella("Operazioni"), nullptr);
    EXPECT_EQ(db.Tabella("Operazioni")->righe,
              (Righe{{"1", "87713", "'Supermercato"}, {"2", "NULL", "'Caffè"}}));
    EXPECT_EQ(PasswordDaIntestazione(c / "out.mdb"), "604kmr73");
}

TEST(JetWriter, ErroreSuStandardErrorENessunFile) {
    Cartella c;
    std::ofstream(c / "spec.json")
        << R"({"tables": [{"name": "T", "columns": [{"name": "B", "type": "byte"}], "rows": [[300]]}]})";
    int stato = 0;
    const std::string err = Esegui(Quota(kJetWriter) + " " + Quota((c / "spec.json").string()) +
                                       " " + Quota((c / "out.mdb").string()) + " 2>&1",
                                   stato);
    EXPECT_EQ(stato, 1);
    EXPECT_NE(err.find("errore 20002"), std::string::npos) << err;
    EXPECT_NE(err.find("riga 1"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(c / "out.mdb"));
    Esegui(Quota(kJetWriter) + " 2>/dev/null", stato);
    EXPECT_EQ(stato, 2);
}

TEST(MirtesaDemo, OpzioniDellaRigaDiComando) {
    Cartella c;
    int stato = 0;
    Esegui(Quota(kMirtesaDemo) +
               " --operazioni 25 --seme 3 --versione 4 --formato jet4 --password '' " +
               Quota((c / "m.mdb").string()),
           stato);
    ASSERT_EQ(stato, 0);
    const DatabaseLetto db = LeggiConLibmdb(c / "m.mdb");
    EXPECT_EQ(db.formato, "jet4");
    EXPECT_EQ(db.Tabella("Operazioni")->righe.size(), 25u);
    EXPECT_EQ(db.Tabella("Versione")->righe, (Righe{{"4"}}));
    EXPECT_EQ(PasswordDaIntestazione(c / "m.mdb"), "");
    for (const char* sbagliata :
         {"--operazioni -1", "--formato jet5", "--sconosciuta", "--operazioni"}) {
        Esegui(Quota(kMirtesaDemo) + " " + sbagliata + " " + Quota((c / "x.mdb").string()) +
                   " 2>/dev/null",
               stato);
        EXPECT_EQ(stato, 2) << sbagliata;
    }
    EXPECT_FALSE(std::filesystem::exists(c / "x.mdb"));
}

}  // namespace
}  // namespace prova
