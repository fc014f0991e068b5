#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <limits>
#include <optional>

#include "errore_prova.h"
#include "vq/conversioni.h"
#include "vq/errore.h"

namespace {

using prova::NumeroErrore;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Conversioni, CIntCLngArrotondanoAlPariEControllanoIlCampo) {
    struct Caso {
        bool lungo;  // CLng, else CInt
        double x;
        std::optional<std::int64_t> atteso;  // nullopt: error 6
    };
    const Caso casi[] = {
        {false, 0.5, 0},
        {false, 1.5, 2},
        {false, 2.5, 2},
        {false, -2.5, -2},
        {false, 0.49999999999999994, 0},
        {false, 2.5000000001, 3},
        {false, -2.4999999, -2},
        {false, 32767.4999, 32767},
        {false, 32766.5, 32766},
        {false, 32767.5, std::nullopt},
        {false, -32768.5, -32768},
        {false, -32768.5001, std::nullopt},
        {false, -32769.0, std::nullopt},
        {false, 1e300, std::nullopt},
        {false, kNaN, std::nullopt},
        {false, kInf, std::nullopt},
        {true, 2147483646.5, 2147483646},
        {true, 2147483647.5, std::nullopt},
        {true, -2147483648.5, -2147483648LL},
        {true, -2147483649.0, std::nullopt},
        {true, 40001.5, 40002},
        {true, kNaN, std::nullopt},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(testing::Message() << (c.lungo ? "CLng " : "CInt ") << c.x);
        auto converti = [&] {
            return c.lungo ? std::int64_t{vq::CLng(c.x)} : std::int64_t{vq::CInt(c.x)};
        };
        if (c.atteso) {
            EXPECT_EQ(converti(), *c.atteso);
        } else {
            EXPECT_EQ(NumeroErrore(converti), 6);
            EXPECT_EQ(vq::Err().descrizione, "Overflow");
        }
    }
    // The integer overloads keep the same bounds.
    EXPECT_EQ(vq::CInt(std::int64_t{-32768}), -32768);
    EXPECT_EQ(vq::CInt(std::int64_t{32767}), 32767);
    EXPECT_EQ(NumeroErrore([] { vq::CInt(std::int64_t{32768}); }), 6);
    EXPECT_EQ(NumeroErrore([] { vq::CInt(std::int64_t{-32769}); }), 6);
    EXPECT_EQ(vq::CLng(std::int64_t{-2147483648LL}), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(NumeroErrore([] { vq::CLng(std::int64_t{2147483648LL}); }), 6);
}

TEST(Conversioni, ArrotondaPariAiDecimaliComeScritti) {
    struct Caso {
        double x;
        int decimali;
        double atteso;
    };
    const Caso casi[] = {
        {0.125, 2, 0.12},
        {0.375, 2, 0.38},
        {2.5, 0, 2.0},
        {3.5, 0, 4.0},
        {-2.5, 0, -2.0},
        {1500.5, 0, 1500.0},
        {2.675, 2, 2.68},
        {1.005, 2, 1.0},
        {0.015, 2, 0.02},
        {9.995, 2, 10.0},
        {-0.125, 2, -0.12},
        {0.05, 1, 0.0},
        {1.25, 5, 1.25},
        {12345.6789, 3, 12345.679},
        {123456789.125, 2, 123456789.12},
        {0.1 + 0.2, 15, 0.3},
        {1.0 / 3.0, 15, 0.333333333333333},
        {123456789012345678.0, 2, 123456789012345678.0},
        {1e15 + 0.5, 1, 1e15 + 0.5},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(testing::Message() << c.x << " / " << c.decimali);
        EXPECT_EQ(vq::ArrotondaPari(c.x, c.decimali), c.atteso);
    }
    EXPECT_EQ(NumeroErrore([] { vq::ArrotondaPari(1.0, -1); }), 5);
    EXPECT_FALSE(std::signbit(vq::ArrotondaPari(-0.4)));
}

TEST(Conversioni, TestoNumeroComeIlRuntime) {
    struct Caso {
        double x;
        const char* testo;  // CStr; Str() is the same with a blank in place of a missing sign
    };
    const Caso casi[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {-1.0, "-1"},
        {53.0, "53"},
        {-2147217900.0, "-2147217900"},
        {0.5, "0.5"},
        {1234.5, "1234.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {1e14, "100000000000000"},
        {999999999999999.0, "999999999999999"},
        {123456789012345.6, "123456789012346"},
        {999999999999999.5, "1E+15"},
        {1e15, "1E+15"},
        {1.5e20, "1.5E+20"},
        {1e100, "1E+100"},
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {0.00001, "1E-05"},
        {-2.5e-7, "-2.5E-07"},
        {1e-300, "1E-300"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(vq::TestoNumero(c.x), c.testo);
        EXPECT_EQ(vq::StrNumero(c.x), (c.testo[0] == '-' ? "" : " ") + std::string(c.testo));
    }
}

// The text carries the number rounded to 15 significant digits, whatever route its digits
// took: checked against the C library's own rounding on amounts, ratios and arbitrary bits.
TEST(Conversioni, TestoNumeroHaLeQuindiciCifreDelLaLibreriaC) {
    std::mt19937_64 caso(20261207);
    std::vector<double> valori;
    for (int i = 0; i < 20000; ++i) {
        valori.push_back(
            static_cast<double>(static_cast<std::int64_t>(caso() % 2000000000) - 1000000000) /
            100.0);
        valori.push_back(static_cast<double>(caso() % 1000000007) /
                         static_cast<double>(caso() % 9973 + 1));
        const std::uint64_t bit = caso();
        double x = 0;
        std::memcpy(&x, &bit, sizeof x);
        if (std::isfinite(x) && x != 0) valori.push_back(x);
    }
    for (double x : valori) {
        char atteso[64];
        std::snprintf(atteso, sizeof atteso, "%.14e", x);
        const std::string testo = vq::TestoNumero(x);
        ASSERT_EQ(std::strtod(testo.c_str(), nullptr), std::strtod(atteso, nullptr))
            << testo << " vs " << atteso;
    }
}

TEST(Conversioni, TestoNumeroIgnoraIlLocaleDelProcesso) {
    // A process locale with a decimal comma must not change the text.
    for (const char* nome : {"it_IT.UTF-8", "de_DE.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, nome) == nullptr) continue;
        EXPECT_EQ(vq::TestoNumero(1234.5), "1234.5");
        EXPECT_EQ(vq::Val("1234.5"), 1234.5);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(Conversioni, ValLettoreIndulgente) {
    struct Caso {
        const char* testo;
        double atteso;
    };
    const Caso casi[] = {
        {"", 0},
        {"   ", 0},
        {"  12", 12},
        {"\t\n42", 42},
        {"3a", 3},
        {"abc", 0},
        {"1 2 3", 123},
        {" -4.5e2x", -450},
        {"1.2.3", 1.2},
        {".5", 0.5},
        {"5.", 5},
        {"-.5", -0.5},
        {"1e", 1},
        {"1e+", 1},
        {"1d2", 100},
        {"2E-1", 0.2},
        {"1 e 2", 100},
        {"+7", 7},
        {"--7", 0},
        {"- 7", -7},
        {"1,5", 1},
        {"-", 0},
        {".", 0},
        {"-0", 0},
        {"007", 7},
        {"1e-400", 0},
        {"0e999999", 0},
        {"&HFFFF", -1},
        {"&hff", 255},
        {"&H7FFF", 32767},
        {"&H8000", -32768},
        {"&H0000FFFF", -1},
        {"&H10000", 65536},
        {"&HFFFFFFFF", -1},
        {"&H7FFFFFFF", 2147483647},
        {"&H", 0},
        {"&HG", 0},
        {"&H1F zz", 31},
        {"&O17", 15},
        {"&o177777", -1},
        {"&O200000", 65536},
        {"&O8", 0},
        {"&X1", 0},
        {"&", 0},
        {" &H 1 0", 16},
        {"4.94065645841247E-324", 4.94065645841247E-324},
        {"1.79769313486231E+308", 1.79769313486231E+308},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        EXPECT_EQ(vq::Val(c.testo), c.atteso);
        EXPECT_FALSE(std::signbit(vq::Val(c.testo)) && c.atteso == 0);
    }
    for (const char* troppo : {"1e400", "-1e309", "&H100000000", "&O40000000000",
                               "1.79769313486232E+308", "123456789012345678901234567890e300"}) {
        SCOPED_TRACE(troppo);
        EXPECT_EQ(NumeroErrore([&] { vq::Val(troppo); }), 6);
    }
}

TEST(Conversioni, NumeroDaTestoStretto) {
    const std::pair<const char*, double> buoni[] = {
        {" 12 ", 12}, {"\t-3\t", -3}, {"+4", 4},    {"01", 1},     {"00", 0},
        {"1.5", 1.5}, {".5", 0.5},    {"5.", 5},    {"1e3", 1000}, {"1D-1", 0.1},
        {"&H10", 16}, {"&hFFFF", -1}, {"&O17", 15},
    };
    for (const auto& [testo, atteso] : buoni) EXPECT_EQ(vq::NumeroDaTesto(testo), atteso) << testo;
    for (const char* cattivo : {"", "  ", "12a", "a1", "1 2", "-", ".", "1e", "1e+", "--1", "1,5",
                                "&H", "&HG", "&O8", "&X1", "1\n"}) {
        SCOPED_TRACE(cattivo);
        EXPECT_EQ(NumeroErrore([&] { vq::NumeroDaTesto(cattivo); }), 13);
        EXPECT_EQ(vq::Err().descrizione, "Tipo non corrispondente");
    }
    EXPECT_EQ(NumeroErrore([] { vq::NumeroDaTesto("1e400"); }), 6);
    // A stored date part read as CInt does: "2004" fits, "40000" overflows.
    EXPECT_EQ(vq::CInt(vq::NumeroDaTesto("2004")), 2004);
    EXPECT_EQ(NumeroErrore([] { vq::CInt(vq::NumeroDaTesto("40000")); }), 6);
}

}  // namespace
