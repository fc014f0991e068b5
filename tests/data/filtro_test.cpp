// The filter and its Jet SQL: every blank of the text matters to the engine.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "errore_prova.h"
#include "filtro.h"
#include "vq/errore.h"

using namespace tessadati;

namespace {

const std::string kFrom =
    " FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON TabellaCassa.IDCassa = "
    "Operazioni.IDCassa)  ON Conti.IDConto = TabellaCassa.IDConto ";

// The condition part alone: a kind that is none of the three gives the from clause and
// the conditions, with no select list.
std::string Condizione(const Filtro& f) {
    EXPECT_EQ(CostruisciQuery(Filtro{}, -1), kFrom);
    std::string q = CostruisciQuery(f, 7);
    EXPECT_EQ(q.substr(0, kFrom.size()), kFrom);
    return q.substr(kFrom.size());
}

using prova::NumeroErrore;

}  // namespace

TEST(TessadatiCostruisciQuery, ConteggioConListeEPeriodo) {
    Filtro f;
    f.f_mult_conto = "3;5";
    f.f_mult_cassa = "12";
    f.f_data_iniziale = 37987;  // 1 January 2004
    f.f_data_finale = 38352;    // 31 December 2004
    EXPECT_EQ(CostruisciQuery(f, kQueryConteggio),
              " SELECT Count(*)  FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON "
              "TabellaCassa.IDCassa = Operazioni.IDCassa)  ON Conti.IDConto = "
              "TabellaCassa.IDConto  Where  (  Conti.IDConto=3  OR Conti.IDConto=5  OR  "
              "TabellaCassa.IDCassa=12  )  And  Operazioni.Data between  DateSerial(2004,1,1)  "
              "and  DateSerial(2004,12,31)  ");
}

TEST(TessadatiCostruisciQuery, TotaliSenzaFiltro) {
    EXPECT_EQ(CostruisciQuery(Filtro{}, kQueryTotali),
              " SELECT   Sum(Operazioni.Euro) as Euro,  Sum(Operazioni.[Totale\u00A3]) as Lire "
              " FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON "
              "TabellaCassa.IDCassa = Operazioni.IDCassa)  ON Conti.IDConto = "
              "TabellaCassa.IDConto ");
}

TEST(TessadatiCostruisciQuery, RigheSenzaFiltroEOrdinamento) {
    EXPECT_EQ(std::string(CostruisciQuery(Filtro{}, kQueryRighe)) + std::string(kOrdinamentoRighe),
              " SELECT Conti.Descrizione as Conto ,  TabellaCassa.Cassa as Cassa,   "
              "Operazioni.Data as Data,  Operazioni.Causale as Causale,  Operazioni.Euro as "
              "Euro,  Operazioni.[Totale\u00A3] as Lire,  Operazioni.Bancomat as Bancomat,  "
              "Operazioni.ContoCorrente as ContoCorrente,  Operazioni.Carta as Carta,  "
              "Operazioni.NoStatistiche as NoStatistiche " +
                  kFrom + " order by Operazioni.Data, Operazioni.IDMovimento ");
}

struct CasoCondizione {
    const char* nome;
    std::function<void(Filtro&)> imposta;
    std::string atteso;
};

class TessadatiCondizioni : public ::testing::TestWithParam<CasoCondizione> {};

TEST_P(TessadatiCondizioni, TestoEsatto) {
    Filtro f;
    GetParam().imposta(f);
    EXPECT_EQ(Condizione(f), GetParam().atteso);
}

INSTANTIATE_TEST_SUITE_P(
    TessadatiFiltro, TessadatiCondizioni,
    ::testing::Values(
        CasoCondizione{"Nessuno", [](Filtro&) {}, ""},
        CasoCondizione{"ContoBancomatDataIniziale",
                       [](Filtro& f) {
                           f.ImpostaConto(3);
                           f.f_bancomat = Filtro::Flag(true);
                           f.f_data_iniziale = 38047;  // 1 March 2004
                       },
                       " Where  Conti.IDConto=3  And  Operazioni.Bancomat= True  And  "
                       "Operazioni.Data >=  DateSerial(2004,3,1)  "},
        CasoCondizione{"ListeBiancheUsanoIdSingoli",
                       [](Filtro& f) {
                           f.f_mult_conto = "   ";
                           f.f_mult_cassa = " ";
                           f.ImpostaConto(3);
                           f.ImpostaCassa(7);
                       },
                       " Where  Conti.IDConto=3  And  TabellaCassa.IDCassa=7 "},
        CasoCondizione{"SoloCassaSingola", [](Filtro& f) { f.ImpostaCassa(-2); },
                       " Where  TabellaCassa.IDCassa=-2 "},
        CasoCondizione{"SoloListaCasse", [](Filtro& f) { f.f_mult_cassa = "12"; },
                       " Where  (  TabellaCassa.IDCassa=12  ) "},
        CasoCondizione{"ElementiVuotiInterni", [](Filtro& f) { f.f_mult_conto = "4;; ;7;"; },
                       " Where  (  Conti.IDConto=4  OR Conti.IDConto=7  ) "},
        CasoCondizione{"SpaziInterniConservati", [](Filtro& f) { f.f_mult_conto = " 4 ; 7"; },
                       " Where  (  Conti.IDConto=4   OR Conti.IDConto= 7  ) "},
        CasoCondizione{"ListaPrevaleSuIdSingoli",
                       [](Filtro& f) {
                           f.f_mult_conto = "5";
                           f.ImpostaConto(3);
                           f.ImpostaCassa(9);
                       },
                       " Where  (  Conti.IDConto=5  ) "},
        CasoCondizione{"ListaCassePrevaleSuIdSingoli",
                       [](Filtro& f) {
                           f.f_mult_cassa = "8";
                           f.ImpostaConto(3);
                       },
                       " Where  (  TabellaCassa.IDCassa=8  ) "},
        CasoCondizione{"DueListeInOr",
                       [](Filtro& f) {
                           f.f_mult_conto = "3";
                           f.f_mult_cassa = "12;13";
                       },
                       " Where  (  Conti.IDConto=3  OR  TabellaCassa.IDCassa=12  OR "
                       "TabellaCassa.IDCassa=13  ) "},
        CasoCondizione{"FlagInOrdineFisso",
                       [](Filtro& f) {
                           f.f_no_stat = Filtro::Flag(true);
                           f.f_carta = Filtro::Flag(true);
                           f.f_conto_corrente = Filtro::Flag(true);
                           f.f_bancomat = Filtro::Flag(true);
                           f.f_data_finale = 38352.5;
                       },
                       " Where  Operazioni.Bancomat= True  And  Operazioni.ContoCorrente = True "
                       " And  Operazioni.Carta= True  And  Operazioni.NoStatistiche= True  And  "
                       "Operazioni.Data <=  DateSerial(2004,12,31)  "},
        CasoCondizione{"PeriodoConOrario",
                       [](Filtro& f) {
                           f.f_data_iniziale = 38047.75;
                           f.f_data_finale = 38047.999999;  // 23:59:59.9
                       },
                       " Where  Operazioni.Data between  DateSerial(2004,3,1)  and  "
                       "DateSerial(2004,3,1)  "},
        CasoCondizione{"PulisciAzzeraTutto",
                       [](Filtro& f) {
                           f.f_mult_conto = "1";
                           f.f_mult_cassa = "2";
                           f.ImpostaConto(3);
                           f.ImpostaCassa(4);
                           f.f_bancomat = f.f_conto_corrente = f.f_carta = f.f_no_stat = 1;
                           f.f_data_iniziale = f.f_data_finale = 38000;
                           f.Pulisci();
                       },
                       ""}),
    [](const auto& caso) { return std::string(caso.param.nome); });

TEST(TessadatiDataSQL, GiornoSenzaOra) {
    const struct {
        double data;
        const char* atteso;
    } casi[] = {
        {37987, " DateSerial(2004,1,1) "},       {38352.999, " DateSerial(2004,12,31) "},
        {36585.5, " DateSerial(2000,2,29) "},    {60, " DateSerial(1900,2,28) "},
        {61, " DateSerial(1900,3,1) "},          {1, " DateSerial(1899,12,31) "},
        {-0.5, " DateSerial(1899,12,30) "},   // noon of day 0: still a date
        {-1.25, " DateSerial(1899,12,29) "},  // the fraction counts away from zero
        {-36522.25, " DateSerial(1800,1,1) "},   {-657434, " DateSerial(100,1,1) "},
        {2958465.5, " DateSerial(9999,12,31) "},
    };
    for (const auto& c : casi) EXPECT_EQ(DataSQL(c.data), c.atteso) << c.data;
}

TEST(TessadatiDataSQL, FuoriIntervalloErrore5) {
    Filtro f;
    f.f_data_iniziale = 1e9;
    EXPECT_EQ(NumeroErrore([&] { CostruisciQuery(f, kQueryConteggio); }),
              vq::kErrChiamataNonValida);
    EXPECT_EQ(NumeroErrore([] { DataSQL(-700000); }), vq::kErrChiamataNonValida);
}

TEST(TessadatiCondizioneMultipla, PrefissoEListaVuota) {
    EXPECT_EQ(CondizioneMultipla("", "C", ""), "");
    EXPECT_EQ(CondizioneMultipla(" X=1 ", "C", "   "), " X=1 ");
    EXPECT_EQ(CondizioneMultipla(" X=1 ", "C", "2"), " X=1  OR  C=2 ");
    EXPECT_EQ(CondizioneMultipla("", "C", "-3;4"), " C=-3  OR C=4 ");
}

TEST(TessadatiFiltro, ImpostaIdFuoriIntervalloOverflowSenzaModifiche) {
    const struct {
        std::int32_t valore;
        std::int32_t errore;
        std::int16_t campo;  // value of the field afterwards, starting from 11
    } casi[] = {
        {32767, 0, 32767},   {-32768, 0, -32768},      {-1, 0, -1}, {32768, 6, 11}, {-32769, 6, 11},
        {2147483647, 6, 11}, {-2147483647 - 1, 6, 11},
    };
    for (const auto& c : casi) {
        Filtro f;
        f.ImpostaConto(11);
        f.ImpostaCassa(11);
        EXPECT_EQ(NumeroErrore([&] { f.ImpostaConto(c.valore); }), c.errore) << c.valore;
        EXPECT_EQ(NumeroErrore([&] { f.ImpostaCassa(c.valore); }), c.errore) << c.valore;
        EXPECT_EQ(f.f_conto, c.campo) << c.valore;
        EXPECT_EQ(f.f_cassa, c.campo) << c.valore;
    }
}

TEST(TessadatiCondizioneMultipla, LimiteDi32767Elementi) {
    auto lista = [](std::size_t elementi, const char* elemento) {
        std::string s = "1";
        for (std::size_t i = 1; i < elementi; ++i) s += std::string(";") + elemento;
        return s;
    };
    EXPECT_EQ(NumeroErrore([&] { CondizioneMultipla("", "C", lista(32767, "2")); }), 0);
    EXPECT_EQ(NumeroErrore([&] { CondizioneMultipla("", "C", lista(32768, "2")); }),
              vq::kErrOverflow);
    // Empty elements are counted too.
    EXPECT_EQ(NumeroErrore([&] { CondizioneMultipla("", "C", lista(32768, "")); }),
              vq::kErrOverflow);
    EXPECT_EQ(CondizioneMultipla("", "C", lista(32767, "")), " C=1 ");

    Filtro f;
    f.f_mult_cassa = lista(40000, "5");
    EXPECT_EQ(NumeroErrore([&] { CostruisciQuery(f, kQueryRighe); }), vq::kErrOverflow);
}

TEST(TessadatiCondizioneMultipla, IdNonNumericiRifiutati) {
    const char* liste[] = {
        ";4",  // empty first element
        "3;x", "3 OR 1=1", "3;5) OR (1=1", "3;5 --", "-", "3;\t", "4;+5", "1e3", "0x10", "3;4'",
    };
    for (const char* l : liste) {
        try {
            CondizioneMultipla("", "Conti.IDConto", l);
            ADD_FAILURE() << "accettata: " << l;
        } catch (const vq::Errore& e) {
            EXPECT_EQ(e.numero(), kErrIdNonValido) << l;
            EXPECT_NE(e.descrizione().find("Conti.IDConto="), std::string::npos) << l;
        }
    }
    // A rejected list leaves nothing half-built: the filter itself is untouched.
    Filtro f;
    f.f_mult_conto = "3;abc";
    EXPECT_EQ(NumeroErrore([&] { CostruisciQuery(f, kQueryConteggio); }), kErrIdNonValido);
    EXPECT_EQ(f.f_mult_conto, "3;abc");
}
