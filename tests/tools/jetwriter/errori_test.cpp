// Bad descriptions: each is a numbered error naming what is wrong and where, and leaves
// no output (an existing file stays as it was, no temporary file is left behind).
#include "lettori.h"

#include <vq/errore.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace jwtest {
namespace {

using namespace jetwriter;

struct CasoErrato {
    const char* nome;
    const char* json;
    std::int32_t numero;
    std::vector<const char*> frammenti;  // must all appear in the description
};

std::string Tab(const std::string& colonne, const std::string& righe, const std::string& formato = "jet3") {
    return R"({"format": ")" + formato + R"(", "tables": [{"name": "Operazioni", "columns": [)" + colonne +
           R"(], "rows": [)" + righe + "]}]}";
}

const std::vector<CasoErrato>& Casi() {
    static const std::vector<CasoErrato> casi = {
        {"TipoSconosciuto", nullptr, kErrSpecifica, {"\"Operazioni\"", "\"X\"", "\"varchar\""}},
        {"JsonRotto", R"({"format": "jet3", "tables": [)", kErrJson, {"JSON non valido"}},
        {"FormatoSconosciuto", R"({"format": "jet5", "tables": []})", kErrSpecifica, {"jet5"}},
        {"NessunaTabella", R"({"format": "jet3", "tables": []})", kErrSpecifica, {"tabelle"}},
        {"NessunaColonna", R"({"tables": [{"name": "Vuota", "columns": []}]})", kErrSpecifica, {"\"Vuota\"", "colonna"}},
        {"TabelleDoppie",
         R"({"tables": [{"name": "Conti", "columns": [{"name": "A", "type": "long"}]},
                        {"name": "CONTI", "columns": [{"name": "A", "type": "long"}]}]})",
         kErrSpecifica, {"\"CONTI\"", "duplicato"}},
        {"ColonneDoppie", nullptr, kErrSpecifica, {"\"Operazioni\"", "\"euro\"", "duplicato"}},
        {"RigaCorta", nullptr, kErrValore, {"\"Operazioni\"", "riga 2", "1 valori", "2 colonne"}},
        {"ByteFuoriIntervallo", nullptr, kErrValore, {"riga 1", "\"B\"", "256"}},
        {"IntegerFuoriIntervallo", nullptr, kErrValore, {"riga 1", "\"I\"", "40000"}},
        {"LongNonIntero", nullptr, kErrValore, {"riga 1", "\"L\"", "non intero"}},
        {"TestoTroppoLungo", nullptr, kErrValore, {"riga 1", "\"T\"", "4 caratteri", "ne ammette 3"}},
        {"ValutaConCinqueDecimali", nullptr, kErrValore, {"riga 1", "\"Euro\"", "4 cifre decimali"}},
        {"ValutaNonNumerica", nullptr, kErrValore, {"riga 1", "\"Euro\"", "dodici"}},
        {"DataInesistente", nullptr, kErrValore, {"riga 1", "\"Data\"", "2004-02-30"}},
        {"BooleanNull", nullptr, kErrValore, {"riga 1", "\"Bancomat\"", "Null"}},
        {"CarattereFuoriCodePage", nullptr, kErrCodifica, {"riga 1", "\"T\"", "U+0141", "1252"}},
        {"NomeFuoriCodePage", nullptr, kErrCodifica, {"\"Łódź\""}},
        {"PasswordLunga", R"({"password": "123456789012345678901", "tables": [{"name": "A", "columns": [{"name": "A", "type": "long"}]}]})",
         kErrSpecifica, {"Password", "20"}},
        {"DimensioneTesto", nullptr, kErrSpecifica, {"\"T\"", "256"}},
        {"ContatoreNonLong", nullptr, kErrSpecifica, {"\"T\"", "contatore"}},
        {"ContatoreRipetuto", nullptr, kErrValore, {"riga 4", "\"ID\"", "5", "già"}},
        {"ChiaveSconosciuta", R"({"tabelle": []})", kErrSpecifica, {"tabelle"}},
        {"CodePageInesistente", R"({"code_page": 9999, "tables": [{"name": "A", "columns": [{"name": "A", "type": "long"}]}]})",
         kErrSpecifica, {"9999"}},
    };
    return casi;
}

std::string JsonDi(const CasoErrato& c) {
    if (c.json) return c.json;
    const std::string n = c.nome;
    if (n == "TipoSconosciuto") return Tab(R"({"name": "X", "type": "varchar"})", "");
    if (n == "ColonneDoppie") return Tab(R"({"name": "Euro", "type": "currency"}, {"name": "euro", "type": "long"})", "");
    if (n == "RigaCorta") return Tab(R"({"name": "A", "type": "long"}, {"name": "B", "type": "long"})", "[1, 2], [3]");
    if (n == "ByteFuoriIntervallo") return Tab(R"({"name": "B", "type": "byte"})", "[256]");
    if (n == "IntegerFuoriIntervallo") return Tab(R"({"name": "I", "type": "integer"})", "[40000]");
    if (n == "LongNonIntero") return Tab(R"({"name": "L", "type": "long"})", "[1.5]");
    if (n == "TestoTroppoLungo") return Tab(R"({"name": "T", "type": "text", "size": 3})", R"(["àèìò"])", "jet4");
    if (n == "ValutaConCinqueDecimali") return Tab(R"({"name": "Euro", "type": "currency"})", R"(["1.23456"])");
    if (n == "ValutaNonNumerica") return Tab(R"({"name": "Euro", "type": "currency"})", R"(["dodici"])");
    if (n == "DataInesistente") return Tab(R"({"name": "Data", "type": "datetime"})", R"(["2004-02-30"])");
    if (n == "BooleanNull") return Tab(R"({"name": "Bancomat", "type": "boolean"})", "[null]");
    if (n == "CarattereFuoriCodePage") return Tab(R"({"name": "T", "type": "text"})", R"(["Łódź"])");
    if (n == "NomeFuoriCodePage") return R"({"tables": [{"name": "Łódź", "columns": [{"name": "A", "type": "long"}]}]})";
    if (n == "ContatoreRipetuto")
        return Tab(R"({"name": "ID", "type": "long", "autonumber": true})", "[null], [5], [3], [5]");
    if (n == "DimensioneTesto") return Tab(R"({"name": "T", "type": "text", "size": 256})", "");
    if (n == "ContatoreNonLong") return Tab(R"({"name": "T", "type": "text", "autonumber": true})", "");
    return "";
}

class DescrizioniErrate : public ::testing::TestWithParam<CasoErrato> {};

TEST_P(DescrizioniErrate, ErroreNumeratoENessunFile) {
    const CasoErrato& c = GetParam();
    CartellaTemporanea cartella;
    const auto file = cartella / "uscita.mdb";
    std::ofstream(file) << "contenuto precedente";
    try {
        Scrivi(SpecificaDaJson(JsonDi(c)), file);
        FAIL() << "nessun errore per " << c.nome;
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), c.numero) << e.descrizione();
        for (const char* f : c.frammenti) EXPECT_NE(e.descrizione().find(f), std::string::npos) << f << " in: " << e.descrizione();
    }
    std::ifstream in(file);
    std::stringstream letto;
    letto << in.rdbuf();
    EXPECT_EQ(letto.str(), "contenuto precedente");
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(cartella.percorso())) ++n;
    EXPECT_EQ(n, 1u) << "file temporaneo rimasto";
}

INSTANTIATE_TEST_SUITE_P(Json, DescrizioniErrate, ::testing::ValuesIn(Casi()),
                         [](const auto& parametro) { return std::string(parametro.param.nome); });

// A failure in the middle of a large generated table also leaves nothing behind.
TEST(ErroriGenerati, UnErroreAMetaTabellaNonLasciaFile) {
    CartellaTemporanea cartella;
    Specifica s;
    Tabella t;
    t.nome = "Grande";
    t.colonne = {{"N", Tipo::Integer}};
    t.generatore = [](std::int64_t i, Riga& r) {
        r = {Valore{i}};
        return i < 50000;  // passes 32767 on the way
    };
    s.tabelle.push_back(t);
    const auto file = cartella / "grande.mdb";
    try {
        Scrivi(s, file);
        FAIL() << "nessun errore";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), kErrValore);
        EXPECT_NE(e.descrizione().find("riga 32769"), std::string::npos) << e.descrizione();
    }
    EXPECT_TRUE(std::filesystem::is_empty(cartella.percorso()));
}

TEST(ErroriGenerati, CartellaInesistenteEErroreDiFile) {
    Specifica s;
    s.tabelle.push_back({"A", {{"A", Tipo::Long}}, {}, {}});
    try {
        Scrivi(s, "/nonesiste/davvero/uscita.mdb");
        FAIL() << "nessun errore";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), kErrFile);
        EXPECT_NE(e.descrizione().find("/nonesiste/davvero/uscita.mdb"), std::string::npos) << e.descrizione();
    }
}

}  // namespace
}  // namespace jwtest

namespace jwtest {
namespace {

// Autonumbers given out of order are accepted as long as none repeats; Null continues
// after the highest.
TEST(Contatori, FuoriOrdineMaSenzaRipetizioni) {
    CartellaTemporanea cartella;
    const auto file = cartella / "contatori.mdb";
    jetwriter::Scrivi(jetwriter::SpecificaDaJson(
                          R"({"tables": [{"name": "T", "columns": [{"name": "ID", "type": "long", "autonumber": true}],
                              "rows": [[null], [5], [3], [2], [4], [null], [100], [null]]}]})"),
                      file);
    const DatabaseLetto db = LeggiConLibmdb(file);
    EXPECT_EQ(db.Tabella("T")->righe, (Righe{{"1"}, {"5"}, {"3"}, {"2"}, {"4"}, {"6"}, {"100"}, {"101"}}));
}

}  // namespace
}  // namespace jwtest
