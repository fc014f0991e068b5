#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "errore_prova.h"
#include "vq/data.h"
#include "vq/errore.h"

namespace {

using prova::NumeroErrore;
using vq::DataOra;

double Giorno(int a, int m, int g) { return *vq::ComponiData(DataOra{a, m, g, 0, 0, 0}); }

TEST(Data, PuntiFissiDelCalendario) {
    struct Caso {
        int a, m, g;
        double seriale;
    };
    const Caso casi[] = {
        {1899, 12, 30, 0},    {1899, 12, 31, 1},       {1900, 1, 1, 2},      {1899, 12, 29, -1},
        {1900, 2, 28, 60},    {1900, 3, 1, 61},        {2000, 1, 1, 36526},  {2005, 1, 1, 38353},
        {100, 1, 1, -657434}, {9999, 12, 31, 2958465}, {1800, 1, 1, -36522},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(testing::Message() << c.a << "-" << c.m << "-" << c.g);
        EXPECT_EQ(vq::DateSerial(c.a, c.m, c.g), c.seriale);
        EXPECT_EQ(Giorno(c.a, c.m, c.g), c.seriale);
        EXPECT_EQ(vq::ScomponiData(c.seriale), (DataOra{c.a, c.m, c.g, 0, 0, 0}));
    }
}

TEST(Data, DateSerialRiporta) {
    struct Caso {
        int a, m, g;     // arguments
        int ea, em, eg;  // the calendar day they mean
    };
    const Caso casi[] = {
        {2004, 13, 1, 2005, 1, 1},   {2004, 0, 1, 2003, 12, 1},    {2004, 1, 0, 2003, 12, 31},
        {2004, 1, 32, 2004, 2, 1},   {2004, 2, 30, 2004, 3, 1},    {2003, 2, 29, 2003, 3, 1},
        {2004, 2, 29, 2004, 2, 29},  {2004, 3, 0, 2004, 2, 29},    {1900, 2, 29, 1900, 3, 1},
        {2000, 2, 29, 2000, 2, 29},  {2004, -1, 1, 2003, 11, 1},   {2004, -12, 1, 2002, 12, 1},
        {2004, -11, 1, 2003, 1, 1},  {2004, 25, 1, 2006, 1, 1},    {2004, 24, 1, 2005, 12, 1},
        {2004, 1, -30, 2003, 12, 1}, {2004, 1, 366, 2004, 12, 31}, {2004, 12, 32, 2005, 1, 1},
        {2004, 13, 0, 2004, 12, 31}, {4, 1, 1, 2004, 1, 1},        {29, 12, 31, 2029, 12, 31},
        {30, 1, 1, 1930, 1, 1},      {99, 13, 1, 2000, 1, 1},      {0, 0, 0, 1999, 11, 30},
        {100, 1, 1, 100, 1, 1},      {1899, 12, 29, 1899, 12, 29},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(testing::Message() << c.a << "," << c.m << "," << c.g);
        EXPECT_EQ(vq::DateSerial(c.a, c.m, c.g), Giorno(c.ea, c.em, c.eg));
    }
    for (auto [a, m, g] : {std::tuple{10000, 1, 1},
                           {9999, 12, 32},
                           {100, 1, 0},
                           {-1, 1, 1},
                           {2004, 2147483647, 1},
                           {2004, 1, -2147483647 - 1}}) {
        SCOPED_TRACE(testing::Message() << a << "," << m << "," << g);
        EXPECT_EQ(NumeroErrore([&] { vq::DateSerial(a, m, g); }), 5);
    }
}

TEST(Data, PrimaDel1900LaFrazioneSiAllontanaDaZero) {
    struct Caso {
        double d;
        DataOra atteso;
    };
    const Caso casi[] = {
        {-1.25, {1899, 12, 29, 6, 0, 0}},
        {-0.25, {1899, 12, 30, 6, 0, 0}},
        {0.25, {1899, 12, 30, 6, 0, 0}},
        {-1.75, {1899, 12, 29, 18, 0, 0}},
        {-2.5, {1899, 12, 28, 12, 0, 0}},
        {2.75, {1900, 1, 1, 18, 0, 0}},
        {-36522.5, {1800, 1, 1, 12, 0, 0}},
        {-657434.5, {100, 1, 1, 12, 0, 0}},
        {2958465.99998843, {9999, 12, 31, 23, 59, 59}},
        // rounding to the nearest second, with carry into the next day
        {0.99999999, {1899, 12, 31, 0, 0, 0}},
        {-1.99999999, {1899, 12, 30, 0, 0, 0}},
        {0.4 / 86400, {1899, 12, 30, 0, 0, 0}},
        {0.6 / 86400, {1899, 12, 30, 0, 0, 1}},
        {38411.99999, {2005, 2, 28, 23, 59, 59}},
        {38411.999999, {2005, 3, 1, 0, 0, 0}},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.d);
        EXPECT_EQ(vq::ScomponiData(c.d), c.atteso);
    }
    for (double fuori :
         {-657435.0, 2958466.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(fuori);
        EXPECT_EQ(NumeroErrore([&] { vq::ScomponiData(fuori); }), 5);
    }
}

TEST(Data, AndataERitornoSullIntervalloValido) {
    // Every 997th day of the valid range, at a time that needs all three fields:
    // splitting and composing again gives the same value, and the next day is the
    // calendar's next day.
    for (double giorno = vq::kDataMinima; giorno <= 2958465.0; giorno += 997.0) {
        const DataOra p = vq::ScomponiData(giorno);
        ASSERT_EQ(vq::ComponiData(p), giorno) << vq::DataInIso(giorno);
        const DataOra dopo = vq::ScomponiData(giorno == -1.0 ? 0.0 : giorno + 1.0);
        DataOra atteso = p;
        if (++atteso.giorno > vq::GiorniNelMese(p.anno, p.mese)) {
            atteso.giorno = 1;
            if (++atteso.mese > 12) {
                atteso.mese = 1;
                ++atteso.anno;
            }
        }
        ASSERT_EQ(dopo, atteso) << vq::DataInIso(giorno);
        DataOra conOra = p;
        conOra.ora = 13;
        conOra.minuto = 47;
        conOra.secondo = 59;
        const auto v = vq::ComponiData(conOra);
        ASSERT_TRUE(v.has_value());
        ASSERT_EQ(vq::ScomponiData(*v), conOra) << vq::DataInIso(giorno);
        ASSERT_EQ(vq::SoloData(*v), giorno);
    }
}

TEST(Data, VentinoveFebbraioEMesiNonValidi) {
    struct Caso {
        int anno;
        bool bisestile;
    };
    for (const auto& c : {Caso{1900, false}, Caso{2000, true}, Caso{2004, true}, Caso{2003, false},
                          Caso{2100, false}, Caso{2400, true}, Caso{100, false}, Caso{104, true}}) {
        SCOPED_TRACE(c.anno);
        EXPECT_EQ(vq::Bisestile(c.anno), c.bisestile);
        EXPECT_EQ(vq::GiorniNelMese(c.anno, 2), c.bisestile ? 29 : 28);
        EXPECT_EQ(vq::ComponiData({c.anno, 2, 29, 0, 0, 0}).has_value(), c.bisestile);
    }
    EXPECT_EQ(vq::GiorniNelMese(2004, 0), 0);
    EXPECT_EQ(vq::GiorniNelMese(2004, 13), 0);
    const DataOra nonValide[] = {
        {2004, 4, 31, 0, 0, 0}, {2004, 13, 1, 0, 0, 0}, {2004, 0, 1, 0, 0, 0},
        {2004, 1, 0, 0, 0, 0},  {99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0},
        {2004, 1, 1, 24, 0, 0}, {2004, 1, 1, 0, 60, 0}, {2004, 1, 1, 0, 0, 60},
        {2004, 1, 1, -1, 0, 0},
    };
    for (const auto& d : nonValide)
        EXPECT_FALSE(vq::ComponiData(d).has_value()) << d.anno << "-" << d.mese;
}

TEST(Data, TimeSerialERiporti) {
    EXPECT_EQ(vq::TimeSerial(6, 0, 0), 0.25);
    EXPECT_EQ(vq::TimeSerial(0, 90, 0), 1.5 / 24);
    struct Caso {
        int h, m, s;
        DataOra atteso;
    };
    for (const auto& c :
         {Caso{25, 0, 0, {1899, 12, 31, 1, 0, 0}}, Caso{-1, 0, 0, {1899, 12, 29, 23, 0, 0}},
          Caso{0, 0, -1, {1899, 12, 29, 23, 59, 59}}, Caso{12, -30, 90, {1899, 12, 30, 11, 31, 30}},
          Caso{-48, 0, 0, {1899, 12, 28, 0, 0, 0}}})
        EXPECT_EQ(vq::ScomponiData(vq::TimeSerial(c.h, c.m, c.s)), c.atteso)
            << c.h << ":" << c.m << ":" << c.s;
}

TEST(Data, SoloData) {
    const double casi[][2] = {{-1.25, -1},        {2.75, 2},  {-0.5, 0},       {0.0, 0},
                              {2.99999999999, 3}, {-2.5, -2}, {38353.9, 38353}};
    for (const auto& c : casi) {
        EXPECT_EQ(vq::SoloData(c[0]), c[1]) << c[0];
        if (c[1] == 0) {
            EXPECT_FALSE(std::signbit(vq::SoloData(c[0]))) << c[0];
        }
    }
}

TEST(Data, TestoIso) {
    struct Caso {
        const char* testo;
        std::optional<double> valore;
    };
    const Caso casi[] = {
        {"1899-12-29T06:00:00", -1.25},
        {"1899-12-30", 0.0},
        {"2005-01-01", 38353.0},
        {"0100-01-01", -657434.0},
        {"2004-02-29", Giorno(2004, 2, 29)},
        {"2003-02-29", std::nullopt},
        {"2004-2-29", std::nullopt},
        {"2004-02-29 ", std::nullopt},
        {"2004-02-29T24:00:00", std::nullopt},
        {"2004/02/29", std::nullopt},
        {"", std::nullopt},
        {"0099-12-31", std::nullopt},
        {"+004-01-01", std::nullopt},
        {"2004-01-01t00:00:00", std::nullopt},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        EXPECT_EQ(vq::DataDaIso(c.testo), c.valore);
        if (c.valore) {
            const std::string testo = c.testo;
            EXPECT_EQ(vq::DataInIso(*c.valore, testo.size() > 10), testo);
        }
    }
    EXPECT_EQ(vq::DataInIso(2958465.99998843, true), "9999-12-31T23:59:59");
}

}  // namespace
