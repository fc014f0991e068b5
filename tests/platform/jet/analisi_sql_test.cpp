#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/analisi_sql.h"

namespace {

using V = std::vector<std::string>;

const char* const kFrom =
    " FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON TabellaCassa.IDCassa = "
    "Operazioni.IDCassa)  ON Conti.IDConto = TabellaCassa.IDConto ";

TEST(AnalisiSql, TabelleUsate) {
    struct Caso {
        std::string sql;
        V tabelle;
    };
    const Caso casi[] = {
        {std::string(" SELECT Count(*) ") + kFrom +
             " Where  (  Conti.IDConto=3  OR Conti.IDConto=5  OR  TabellaCassa.IDCassa=12  )  And  "
             "Operazioni.Data "
             "between  DateSerial(2004,1,1)  and  DateSerial(2004,12,31)  ",
         {"Conti", "TabellaCassa", "Operazioni"}},
        {"Select IdCassa, Cassa, TabellaCassa.IdConto, Descrizione from TabellaCassa, Conti where "
         "TabellaCassa.IdConto=Conti.IdConto and TabellaCassa.IdConto=-1 order by cassa ",
         {"TabellaCassa", "Conti"}},
        {"Select versione from Versione", {"Versione"}},
        {"SELECT * FROM [Order Details] AS od, Orders o WHERE od.OrderID = o.OrderID",
         {"Order Details", "Orders"}},
        {"SELECT a FROM T1 WHERE x IN (SELECT y FROM [Umsätze]) ORDER BY a", {"T1", "Umsätze"}},
        {"SELECT a FROM (SELECT b FROM Interna) AS q", {"Interna"}},
        {"SELECT a FROM conti, CONTI", {"conti"}},
        {"SELECT a FROM T LEFT JOIN U ON (T.k = U.k AND DateSerial(1,2,3) = U.d), W",
         {"T", "U", "W"}},
        {"SELECT 'FROM x' FROM -- FROM commento\n T", {"T"}},
        {"SELECT DateSerial(2004,13,1)", {}},
        {"SELECT 1 FROM main.T", {}},
    };
    for (const auto& c : casi) EXPECT_EQ(jet::TabelleUsate(c.sql), c.tabelle) << c.sql;
}

TEST(AnalisiSql, AggregatiDellaSelezione) {
    const std::string totali =
        std::string(" SELECT   Sum(Operazioni.Euro) as Euro,  Sum(Operazioni.[Totale£]) as Lire ") +
        kFrom;
    auto s = jet::AnalizzaSelezione(totali);
    ASSERT_EQ(s.colonne.size(), 2u);
    EXPECT_EQ(s.colonne[0].aggregato, "sum");
    EXPECT_EQ(s.colonne[0].argomento, "Operazioni.Euro");
    EXPECT_EQ(s.colonne[1].argomento, "Operazioni.[Totale£]");
    EXPECT_EQ(totali.substr(s.inizioFrom, 5), "FROM ");

    struct Caso {
        const char* sql;
        std::vector<std::string> aggregati;
    };
    const Caso casi[] = {
        {"SELECT Count(*) FROM T", {""}},
        {"SELECT MAX(a), b, min((c)) AS m, Sum(a) + 1 FROM T", {"max", "", "min", ""}},
        {"SELECT DISTINCT Avg(x) FROM T", {"avg"}},
        {"SELECT DateSerial(2004,13,1), DateSerial(1,2,3) + 1", {"dateserial", ""}},
        {"SELECT *, Sum(a) FROM T", {}},
        {"SELECT T.* FROM T", {}},
        {"DELETE FROM T", {}},
    };
    for (const auto& c : casi) {
        auto r = jet::AnalizzaSelezione(c.sql);
        std::vector<std::string> a;
        for (const auto& col : r.colonne) a.push_back(col.aggregato);
        EXPECT_EQ(a, c.aggregati) << c.sql;
    }
}

TEST(AnalisiSql, TokenNonEsconoDalTesto) {
    // Unterminated names, strings and comments end at the end of the text.
    for (const char* sql :
         {"SELECT [abc", "SELECT 'abc", "SELECT /* abc", "SELECT \"a\"\"", "[", "'"}) {
        for (const auto& t : jet::Tokenizza(sql)) {
            EXPECT_LE(t.inizio, t.fine);
            EXPECT_LE(t.fine, std::string(sql).size());
        }
    }
    auto t = jet::Tokenizza("a<>b [x y]'it''s'");
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[1].testo, "<>");
    EXPECT_EQ(t[3].testo, "x y");
    EXPECT_EQ(t[3].tipo, jet::Token::Tipo::Nome);
    EXPECT_EQ(t[4].testo, "it's");
}

TEST(AnalisiSql, SintassiJetTradotta) {
    struct Caso {
        const char* jet;
        const char* sqlite;
    };
    const Caso casi[] = {
        {"SELECT * FROM T WHERE d = #1/31/2004#", "SELECT * FROM T WHERE d = 38017"},
        {"d BETWEEN #2004-01-31 18:00# AND #12/30/1899#", "d BETWEEN 38017.75 AND 0"},
        {"#1/1/04#, #1/1/99#, #6:00 PM#, #12:00 AM#", "37987, 36161, 0.75, 0"},
        {"d = #2/30/2004#", "d = #2/30/2004#"},  // not a date: left for the parser to refuse
        {"d = #1/1/2004", "d = #1/1/2004"},
        {"SELECT a & ' ' & b FROM T", "SELECT a || ' ' || b FROM T"},
        {"x LIKE 'B*n?[*]%_'", "x LIKE 'B%n_*\\%\\_' ESCAPE '\\'"},
        {"x like 'it''s*'", "x like 'it''s%' ESCAPE '\\'"},
        {"x LIKE 'a*' ESCAPE '!'", "x LIKE 'a*' ESCAPE '!'"},
        {"SELECT '#1/1/2004# & *' FROM [T&U]", "SELECT '#1/1/2004# & *' FROM [T&U]"},
        {" SELECT Count(*)  FROM Conti  Where  Conti.IDConto=3  ",
         " SELECT Count(*)  FROM Conti  Where  Conti.IDConto=3  "},
    };
    for (const auto& c : casi) EXPECT_EQ(jet::TraduciJet(c.jet), c.sqlite) << c.jet;
}

}  // namespace
