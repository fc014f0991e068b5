// Files written for both formats, with every type and the awkward values (Null, empty and
// accented text, "£" in a name, negative and fractional currency, dates with a time and
// before 1900, memo text longer than a page, rows long enough for Jet 3's jump table),
// read back by libmdb, by mdb-reader and by the mdbtools commands.
#include "confronto.h"

#include <gtest/gtest.h>

#include <fstream>

namespace prova {
namespace {

using namespace jetwriter;

std::string Ripeti(const std::string& s, std::size_t volte) {
    std::string r;
    for (std::size_t i = 0; i < volte; ++i) r += s;
    return r;
}

Tabella TabellaTipi() {
    Tabella t;
    t.nome = "Tipi àèìòù";
    t.colonne = {{"IDMovimento", Tipo::Long, 255, true},
                 {"Piccolo", Tipo::Byte},
                 {"Intero", Tipo::Integer},
                 {"Lungo", Tipo::Long},
                 {"Singolo", Tipo::Single},
                 {"Doppio", Tipo::Double},
                 {"Euro", Tipo::Currency},
                 {"Data", Tipo::DateTime},
                 {"Sì", Tipo::Boolean},
                 {"Causale", Tipo::Text, 255},
                 {"Breve", Tipo::Text, 10},
                 {"Note", Tipo::Memo},
                 {"Totale£", Tipo::Double}};
    const Valore N = std::monostate{};
    const std::string accenti = "Caffè è più già però — «città» £ € ©";
    const std::string memoLungo =
        Ripeti("Lùnga nota di prova, riga " + accenti + ". ", 200);  // ~9 KB
    t.righe = {
        {N, std::int64_t{7}, std::int64_t{-12}, std::int64_t{123456}, 3.25, 0.1,
         std::string("45.30"), std::string("2004-03-15"), true, std::string("Supermercato"),
         std::string("abc"), N, 87713.0},
        {N, N, N, N, N, N, N, N, false, N, N, N, N},
        {N, std::int64_t{0}, std::int64_t{-32768}, std::int64_t{INT32_MIN}, -3.4e38,
         -1.7976931348623157e308, std::string("-922337203685477.5808"), std::string("0100-01-01"),
         true, std::string(""), std::string(""), std::string(""), -2.5e-10},
        {N, std::int64_t{255}, std::int64_t{32767}, std::int64_t{INT32_MAX}, 1e-30, 4.9e-324,
         std::string("922337203685477.5807"), std::string("9999-12-31T23:59:59"), false,
         std::string(Ripeti("x", 255)), std::string("àèìòù€£«»é"), std::string("breve"), 1e15},
        {N, std::int64_t{1}, std::int64_t{1}, std::int64_t{1}, 2.0, 2.5, std::string("-0.0001"),
         std::string("1850-06-15T06:30:00"), true, accenti, N, memoLungo, -1936.27},
        {N, std::int64_t{2}, std::int64_t{2}, std::int64_t{2}, 0.0, -12.75, Valuta{-123456},
         Data{-1.25}, false, std::string("Prima del 1900"), N, Ripeti("m", 300), 0.5},
        {std::int64_t{100}, std::int64_t{3}, std::int64_t{3}, std::int64_t{3}, 1.5, 1e-5,
         std::int64_t{-7}, 38000.75, true, std::string("Contatore dato"), N, Ripeti("è", 1500),
         3.0},
        {N, std::int64_t{4}, std::int64_t{4}, std::int64_t{4}, -1.5, 123.456, -12.3456,
         std::string("1899-12-30T12:00:00"), true, std::string("Dopo il 100"), std::string("ok"), N,
         4.0},
    };
    return t;
}

// Rows between 0 and about 1 KB, in small steps, so that the variable-length offsets of
// Jet 3 cross the 256-byte boundaries at every position, dummy jump entry included.
Tabella TabellaSalti() {
    Tabella t;
    t.nome = "Salti";
    t.colonne = {{"N", Tipo::Long},      {"A", Tipo::Text, 255}, {"B", Tipo::Text, 255},
                 {"C", Tipo::Text, 255}, {"D", Tipo::Text, 255}, {"M", Tipo::Memo}};
    for (std::int64_t l = 0; l <= 1000; l += 3) {
        const auto a = static_cast<std::size_t>(std::min<std::int64_t>(l, 255));
        const auto b = static_cast<std::size_t>(std::clamp<std::int64_t>(l - 255, 0, 255));
        const auto c = static_cast<std::size_t>((l * 7) % 256);
        Valore d = l % 5 == 0 ? Valore{} : Valore{Ripeti("d", static_cast<std::size_t>(l % 200))};
        t.righe.push_back(
            {l, Ripeti("a", a), Ripeti("b", b), Ripeti("c", c), d,
             l % 2 ? Valore{Ripeti("memo ", static_cast<std::size_t>(l % 20))} : Valore{}});
    }
    return t;
}

// A table with only fixed-length columns (no offset table in its rows).
Tabella TabellaFissa() {
    Tabella t;
    t.nome = "Fissa";
    t.colonne = {{"Flag", Tipo::Boolean}};
    for (int i = 0; i < 600; ++i) t.righe.push_back({i % 3 == 0});
    return t;
}

Specifica Fixture(Formato f) {
    Specifica s;
    s.formato = f;
    s.password = "604kmr73";
    s.dataCreazione = 38061.5;
    s.tabelle = {TabellaTipi(), TabellaSalti(), TabellaFissa()};
    return s;
}

class Scrittura : public ::testing::TestWithParam<Formato> {
protected:
    Cartella cartella_;
};

// The whole fixture, written over an existing file: libmdb reads back every column and
// value, the autonumber state and the password; mdb-reader agrees with it; the mdbtools
// commands read schema and data.
TEST_P(Scrittura, ILettoriRileggonoOgniValore) {
    const Specifica s = Fixture(GetParam());
    const auto file = cartella_ / "prova.mdb";
    std::ofstream(file) << "vecchio contenuto";
    Scrivi(s, file);
    EXPECT_EQ(cartella_.Voci(), 1) << "file temporaneo rimasto";
    EXPECT_EQ(std::filesystem::file_size(file) % (GetParam() == Formato::Jet3 ? 2048u : 4096u),
              0u);  // whole pages
    const DatabaseLetto db = LeggiConLibmdb(file);
    EXPECT_EQ(db.formato, GetParam() == Formato::Jet3 ? "jet3" : "jet4");
    ASSERT_EQ(db.tabelle.size(), s.tabelle.size());
    for (const Tabella& t : s.tabelle) {
        const TabellaLetta* letta = db.Tabella(t.nome);
        ASSERT_NE(letta, nullptr) << t.nome;
        ASSERT_EQ(letta->colonne.size(), t.colonne.size());
        for (std::size_t c = 0; c < t.colonne.size(); ++c) {
            EXPECT_EQ(letta->colonne[c].nome, t.colonne[c].nome);
            EXPECT_EQ(letta->colonne[c].tipo, NomeTipo(t.colonne[c].tipo));
            EXPECT_EQ(letta->colonne[c].contatore, t.colonne[c].contatore);
            if (t.colonne[c].tipo == Tipo::Text) {
                EXPECT_EQ(letta->colonne[c].dimensione,
                          t.colonne[c].dimensione * (GetParam() == Formato::Jet4 ? 2 : 1));
            }
        }
        const Righe attese = Attese(t);
        EXPECT_EQ(letta->righeDichiarate, static_cast<std::int64_t>(attese.size()));
        ASSERT_EQ(letta->righe.size(), attese.size()) << t.nome;
        for (std::size_t r = 0; r < attese.size(); ++r)
            ASSERT_EQ(letta->righe[r], attese[r]) << t.nome << " riga " << r + 1;
    }
    // The autonumber state: the last number given (an explicit 100 followed by one more).
    EXPECT_EQ(UltimoContatore(file, db.Tabella("Tipi àèìòù")->pagina), 101u);
    EXPECT_EQ(PasswordDaIntestazione(file), "604kmr73");

    ControllaComandi(file, db);
    int stato = 0;
    const std::string schema = Esegui("mdb-schema " + Quota(file.string()) + " 2>/dev/null", stato);
    for (const char* atteso : {"CREATE TABLE [Tipi àèìòù]", "[Totale£]\t\t\tDouble",
                               "[Breve]\t\t\tText (10)", "[Euro]\t\t\tCurrency"})
        EXPECT_NE(schema.find(atteso), std::string::npos) << atteso << "\n" << schema;
    const std::string csv = Esegui(
        "mdb-export " + Quota(file.string()) + " " + Quota("Tipi àèìòù") + " 2>/dev/null", stato);
    for (const char* atteso : {"\"Supermercato\"", "45.3000", "-0.0001", "-922337203685477.5808",
                               "\"Caffè è più già però — «città» £ € ©\"", "-32768,"}) {
        EXPECT_NE(csv.find(atteso), std::string::npos) << atteso << "\n" << csv;
    }

    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(db, *node);
    EXPECT_EQ(node->password.value_or(""), "604kmr73");
}

// No password, and the longest one, accented.
TEST_P(Scrittura, PasswordVuotaEDiVentiCaratteri) {
    for (const std::string password : {"", "àèìòù£€©«»0123456789"}) {
        Specifica s = Fixture(GetParam());
        s.password = password;
        s.tabelle.resize(1);
        const auto file = cartella_ / "password.mdb";
        Scrivi(s, file);
        EXPECT_EQ(PasswordDaIntestazione(file), password);
        std::string perche;
        const auto db = LeggiConMdbReader(file, perche);
        if (!db) GTEST_SKIP() << perche;
        EXPECT_EQ(db->password.value_or(""), password);
    }
}

// A definition too long for one page (many columns with long names) continues on further
// pages; both readers follow it.
TEST_P(Scrittura, DefinizioneSuPiuPagine) {
    Specifica s;
    s.formato = GetParam();
    Tabella t;
    t.nome = "Molte colonne";
    for (int i = 0; i < 120; ++i) {
        const std::string nome = "Colonna con un nome lungo n° " + std::to_string(i);
        t.colonne.push_back({nome, i % 2 ? Tipo::Text : Tipo::Long, 20});
    }
    for (std::int64_t r = 0; r < 40; ++r) {
        Riga riga;
        for (std::int64_t i = 0; i < 120; ++i) {
            if ((r + i) % 7 == 0) riga.emplace_back(std::monostate{});
            else if (i % 2)
                riga.emplace_back("r" + std::to_string(r) + "c" + std::to_string(i) + " è");
            else riga.emplace_back(r * 1000 + i);
        }
        t.righe.push_back(std::move(riga));
    }
    s.tabelle.push_back(t);
    const auto file = cartella_ / "larga.mdb";
    Scrivi(s, file);
    const DatabaseLetto db = LeggiConLibmdb(file);
    ASSERT_EQ(db.tabelle.size(), 1u);
    ASSERT_EQ(db.tabelle[0].colonne.size(), 120u);
    EXPECT_EQ(db.tabelle[0].colonne[119].nome, t.colonne[119].nome);
    EXPECT_EQ(db.tabelle[0].righe, Attese(t));
    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(db, *node);
}

INSTANTIATE_TEST_SUITE_P(Formati, Scrittura, ::testing::Values(Formato::Jet3, Formato::Jet4),
                         [](const auto& parametro) {
                             return parametro.param == Formato::Jet3 ? "Jet3" : "Jet4";
                         });

}  // namespace
}  // namespace prova
