#include <gtest/gtest.h>

#include <string>

#include "jet_prova.h"
#include "jetwriter/jetwriter.h"
#include "json_righe.h"

namespace {

using jet::Valore;

Valore V(Valore::Tipo t, std::int64_t i = 0, double d = 0, std::string s = {}) {
    Valore v;
    v.tipo = t;
    v.intero = i;
    v.reale = d;
    v.testo = std::move(s);
    return v;
}

TEST(JetsqlJson, Valori) {
    using T = Valore::Tipo;
    struct Caso {
        Valore v;
        const char* json;
    };
    const Caso casi[] = {
        {V(T::Null), "null"},
        {V(T::Booleano, -1), "true"},
        {V(T::Booleano, 0), "false"},
        {V(T::Lungo, -2147483648), "-2147483648"},
        {V(T::Valuta, 1250), "\"0.125\""},
        {V(T::Valuta, -1), "\"-0.0001\""},
        {V(T::Valuta, 30000), "\"3\""},
        {V(T::Valuta, INT64_MIN), "\"-922337203685477.5808\""},
        {V(T::Doppio, 0, 0.1 + 0.2), "0.30000000000000004"},
        {V(T::Data, 0, 38353.75), "\"2005-01-01T18:00:00\""},
        {V(T::Data, 0, -1.25), "\"1899-12-29T06:00:00\""},
        {V(T::Data, 0, 1e10), "null"},
        {V(T::Testo, 0, 0, "a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\""},
        {V(T::Testo, 0, 0, "\xC3\xA8 \xFF"), "\"\xC3\xA8 \xEF\xBF\xBD\""},
        // overlong and surrogate forms are not valid UTF-8 either
        {V(T::Testo, 0, 0, "\xC0\xAF\xED\xA0\x80"),
         "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {V(T::Binario, 0, 0, std::string("\x00\xAB", 2)), "\"00ab\""},
    };
    for (const auto& c : casi) EXPECT_EQ(jetsql::ValoreJson(c.v), c.json) << c.json;
    EXPECT_EQ(
        jetsql::RigaJson({{"Conto", V(T::Testo, 0, 0, "Casa")}, {"Euro", V(T::Valuta, 453000)}}),
        "{\"Conto\":\"Casa\",\"Euro\":\"45.3\"}");
}

struct Esito {
    int stato;
    std::string out, err;
};

// Runs the command with these arguments (shell syntax).
Esito Esegui(const std::string& argomenti) {
    prova::Cartella dir;
    int stato = 0;
    std::string out = prova::Esegui(
        std::string(JETSQL_EXE) + " " + argomenti + " 2>" + (dir / "err").string(), stato);
    return {stato, std::move(out), prova::LeggiFile(dir / "err")};
}

TEST(Jetsql, RigheEdErrori) {
    prova::Cartella dir;
    auto file = dir / "conti.mdb";
    jetwriter::Specifica s;
    s.password = "segreto";
    jetwriter::Tabella t;
    t.nome = "Conti";
    t.colonne = {{"IDConto", jetwriter::Tipo::Long, 255, false},
                 {"Descrizione", jetwriter::Tipo::Text, 50, false},
                 {"Saldo", jetwriter::Tipo::Currency, 255, false},
                 {"Aperto", jetwriter::Tipo::DateTime, 255, false},
                 {"Attivo", jetwriter::Tipo::Boolean, 255, false}};
    t.righe = {{std::int64_t{1}, std::string("Casa"), jetwriter::Valuta{-12345},
                jetwriter::Data{38353.5}, true},
               {std::int64_t{2}, {}, {}, {}, false}};
    s.tabelle.push_back(t);
    jetwriter::Scrivi(s, file);
    const std::string f = file.string();
    Esito ok = Esegui("--password segreto " + f + " \"SELECT * FROM Conti ORDER BY IDConto\"");
    EXPECT_EQ(ok.stato, 0) << ok.err;
    EXPECT_EQ(
        ok.out,
        "{\"IDConto\":1,\"Descrizione\":\"Casa\",\"Saldo\":\"-1.2345\",\"Aperto\":\"2005-01-01T12:"
        "00:00\","
        "\"Attivo\":true}\n"
        "{\"IDConto\":2,\"Descrizione\":null,\"Saldo\":null,\"Aperto\":null,\"Attivo\":false}\n");
    EXPECT_EQ(ok.err, "");
    // Several queries run in turn; the first failure ends the run after the rows before it.
    Esito due = Esegui("--password segreto " + f +
                       " \"SELECT Count(*) AS n FROM Conti\" \"SELECT IDConto FROM Conti "
                       "WHERE Attivo\" \"SELECT * FROM Manca\" \"SELECT 1\"");
    EXPECT_EQ(due.stato, 1);
    EXPECT_EQ(due.out, "{\"n\":2}\n{\"IDConto\":1}\n");
    EXPECT_EQ(due.err.rfind("errore 3078: ", 0), 0u) << due.err;
    struct Caso {
        std::string argomenti;
        const char* inizio;
    };
    const Caso casi[] = {
        {f + " \"SELECT * FROM Conti\"", "errore 3031: "},
        {"--password segreto " + f + " \"SELECT * FROM Manca\"", "errore 3078: "},
        {"--password segreto " + f + " \"DELETE FROM Conti\"", "errore 3129: "},
        {"/nessun/file.mdb \"SELECT 1\"", "errore 3024: "},
    };
    for (const auto& c : casi) {
        Esito e = Esegui(c.argomenti);
        EXPECT_EQ(e.stato, 1) << c.argomenti;
        EXPECT_EQ(e.err.rfind(c.inizio, 0), 0u) << e.err;
        EXPECT_EQ(e.out, "");
    }
    EXPECT_EQ(Esegui("solo-un-argomento").stato, 2);
}

}  // namespace
