// Bad descriptions: each is a numbered error naming what is wrong and where, and leaves
// no output (an existing file stays as it was, no temporary file is left behind).
#include "lettori.h"

#include <vq/errore.h>

#include <gtest/gtest.h>

#include <fstream>

namespace prova {
namespace {

using namespace jetwriter;

struct CasoErrato {
    std::string nome;
    std::string json;
    std::int32_t numero;
    std::vector<const char*> frammenti;  // must all appear in the description
};

// One table "Operazioni" with the given columns and rows.
std::string Tab(const std::string& colonne, const std::string& righe = "",
                const std::string& formato = "jet3") {
    return R"({"format": ")" + formato + R"(", "tables": [{"name": "Operazioni", "columns": [)" +
           colonne + R"(], "rows": [)" + righe + "]}]}";
}

const std::vector<CasoErrato>& Casi() {
    const std::string euro = R"({"name": "Euro", "type": "currency"})";
    const std::string tabA =
        R"("tables": [{"name": "A", "columns": [{"name": "A", "type": "long"}]}]})";
    static const std::vector<CasoErrato> casi = {
        {"TipoSconosciuto",
         Tab(R"({"name": "X", "type": "varchar"})"),
         kErrSpecifica,
         {"\"Operazioni\"", "\"X\"", "\"varchar\""}},
        {"JsonRotto", R"({"format": "jet3", "tables": [)", kErrJson, {"JSON non valido"}},
        {"NumeroTroppoGrande", R"({"code_page": 1e999})", kErrJson, {"JSON non valido"}},
        {"FormatoSconosciuto", R"({"format": "jet5", "tables": []})", kErrSpecifica, {"jet5"}},
        {"NessunaTabella", R"({"format": "jet3", "tables": []})", kErrSpecifica, {"tabelle"}},
        {"NessunaColonna",
         R"({"tables": [{"name": "Vuota", "columns": []}]})",
         kErrSpecifica,
         {"\"Vuota\"", "colonna"}},
        {"TabelleDoppie",
         R"({"tables": [{"name": "Conti", "columns": [{"name": "A", "type": "long"}]},
                        {"name": "CONTI", "columns": [{"name": "A", "type": "long"}]}]})",
         kErrSpecifica,
         {"\"CONTI\"", "duplicato"}},
        {"ColonneDoppie",
         Tab(euro + R"(, {"name": "euro", "type": "long"})"),
         kErrSpecifica,
         {"\"Operazioni\"", "\"euro\"", "duplicato"}},
        {"RigaCorta",
         Tab(R"({"name": "A", "type": "long"}, {"name": "B", "type": "long"})", "[1, 2], [3]"),
         kErrValore,
         {"\"Operazioni\"", "riga 2", "1 valori", "2 colonne"}},
        {"ByteFuoriIntervallo",
         Tab(R"({"name": "B", "type": "byte"})", "[256]"),
         kErrValore,
         {"riga 1", "\"B\"", "256"}},
        {"IntegerFuoriIntervallo",
         Tab(R"({"name": "I", "type": "integer"})", "[40000]"),
         kErrValore,
         {"riga 1", "\"I\"", "40000"}},
        {"LongNonIntero",
         Tab(R"({"name": "L", "type": "long"})", "[1.5]"),
         kErrValore,
         {"riga 1", "\"L\"", "non intero"}},
        {"TestoTroppoLungo",
         Tab(R"({"name": "T", "type": "text", "size": 3})", R"(["àèìò"])", "jet4"),
         kErrValore,
         {"riga 1", "\"T\"", "4 caratteri", "ne ammette 3"}},
        {"ValutaConCinqueDecimali",
         Tab(euro, R"(["1.23456"])"),
         kErrValore,
         {"riga 1", "\"Euro\"", "4 cifre decimali"}},
        {"ValutaNonNumerica",
         Tab(euro, R"(["dodici"])"),
         kErrValore,
         {"riga 1", "\"Euro\"", "dodici"}},
        {"DataInesistente",
         Tab(R"({"name": "Data", "type": "datetime"})", R"(["2004-02-30"])"),
         kErrValore,
         {"riga 1", "\"Data\"", "2004-02-30"}},
        {"BooleanNull",
         Tab(R"({"name": "Bancomat", "type": "boolean"})", "[null]"),
         kErrValore,
         {"riga 1", "\"Bancomat\"", "Null"}},
        {"CarattereFuoriCodePage",
         Tab(R"({"name": "T", "type": "text"})", R"(["Łódź"])"),
         kErrCodifica,
         {"riga 1", "\"T\"", "U+0141", "1252"}},
        {"NomeFuoriCodePage",
         R"({"tables": [{"name": "Łódź", "columns": [{"name": "A", "type": "long"}]}]})",
         kErrCodifica,
         {"\"Łódź\""}},
        {"PasswordLunga",
         R"({"password": "123456789012345678901", )" + tabA,
         kErrSpecifica,
         {"Password", "20"}},
        {"DimensioneTesto",
         Tab(R"({"name": "T", "type": "text", "size": 256})"),
         kErrSpecifica,
         {"\"T\"", "256"}},
        {"ContatoreNonLong",
         Tab(R"({"name": "T", "type": "text", "autonumber": true})"),
         kErrSpecifica,
         {"\"T\"", "contatore"}},
        {"ContatoreRipetuto",
         Tab(R"({"name": "ID", "type": "long", "autonumber": true})", "[null], [5], [3], [5]"),
         kErrValore,
         {"riga 4", "\"ID\"", "5", "già"}},
        {"ChiaveSconosciuta", R"({"tabelle": []})", kErrSpecifica, {"tabelle"}},
        {"CodePageInesistente", R"({"code_page": 9999, )" + tabA, kErrSpecifica, {"9999"}},
    };
    return casi;
}

// Runs `scrivi`, which must fail with error `numero` whose description holds every
// fragment; then the folder must hold only what it held before.
void ControllaErrore(const std::function<void()>& scrivi, std::int32_t numero,
                     const std::vector<const char*>& frammenti) {
    try {
        scrivi();
        ADD_FAILURE() << "nessun errore";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), numero) << e.descrizione();
        for (const char* f : frammenti)
            EXPECT_NE(e.descrizione().find(f), std::string::npos)
                << f << " in: " << e.descrizione();
    }
}

class DescrizioniErrate : public ::testing::TestWithParam<CasoErrato> {};

TEST_P(DescrizioniErrate, ErroreNumeratoENessunFile) {
    const CasoErrato& c = GetParam();
    Cartella cartella;
    const auto file = cartella / "uscita.mdb";
    std::ofstream(file) << "contenuto precedente";
    ControllaErrore([&] { Scrivi(SpecificaDaJson(c.json), file); }, c.numero, c.frammenti);
    EXPECT_EQ(prova::LeggiFile(file), "contenuto precedente");
    EXPECT_EQ(cartella.Voci(), 1) << "file temporaneo rimasto";
}

INSTANTIATE_TEST_SUITE_P(Json, DescrizioniErrate, ::testing::ValuesIn(Casi()),
                         [](const auto& parametro) { return parametro.param.nome; });

// A failure in the middle of a large generated table also leaves nothing behind.
TEST(ErroriGenerati, UnErroreAMetaTabellaNonLasciaFile) {
    Cartella cartella;
    Specifica s;
    Tabella t;
    t.nome = "Grande";
    t.colonne = {{"N", Tipo::Integer}};
    t.generatore = [](std::int64_t i, Riga& r) {
        r = {Valore{i}};
        return i < 50000;  // passes 32767 on the way
    };
    s.tabelle.push_back(t);
    ControllaErrore([&] { Scrivi(s, cartella / "grande.mdb"); }, kErrValore, {"riga 32769"});
    EXPECT_EQ(cartella.Voci(), 0);
}

TEST(ErroriGenerati, CartellaInesistenteEErroreDiFile) {
    Specifica s;
    s.tabelle.push_back({"A", {{"A", Tipo::Long}}, {}, {}});
    ControllaErrore([&] { Scrivi(s, "/nonesiste/davvero/uscita.mdb"); }, kErrFile,
                    {"/nonesiste/davvero/uscita.mdb"});
}

// Autonumbers given out of order are accepted as long as none repeats; Null continues
// after the highest.
TEST(Contatori, FuoriOrdineMaSenzaRipetizioni) {
    Cartella cartella;
    const auto file = cartella / "contatori.mdb";
    Scrivi(SpecificaDaJson(Tab(R"({"name": "ID", "type": "long", "autonumber": true})",
                               "[null], [5], [3], [2], [4], [null], [100], [null]")),
           file);
    EXPECT_EQ(LeggiConLibmdb(file).Tabella("Operazioni")->righe,
              (Righe{{"1"}, {"5"}, {"3"}, {"2"}, {"4"}, {"6"}, {"100"}, {"101"}}));
}

}  // namespace
}  // namespace prova
