#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <optional>

#include "vq/conversioni.h"
#include "vq/errore.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Runs f and returns the number of the vq::Errore it raised, or nullopt.
template <typename F>
std::optional<int> ErroreDi(F&& f) {
    try {
        f();
    } catch (const vq::Errore& e) {
        return e.numero();
    }
    return std::nullopt;
}

TEST(Conversioni, CIntArrotondaAlPariEControllaIlCampo) {
    struct Caso {
        double x;
        std::optional<int> atteso;  // nullopt: error 6
    };
    const Caso casi[] = {
        {0.5, 0},         {1.5, 2},          {2.5, 2},          {3.5, 4},
        {-0.5, 0},        {-1.5, -2},        {-2.5, -2},        {0.49999999999999994, 0},
        {2.5000000001, 3}, {-2.4999999, -2}, {32767.0, 32767},  {32767.4999, 32767},
        {32766.5, 32766}, {32767.5, std::nullopt},              {32768.0, std::nullopt},
        {-32768.0, -32768}, {-32768.5, -32768}, {-32768.5001, std::nullopt},
        {-32769.0, std::nullopt}, {1e300, std::nullopt}, {kNaN, std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.x);
        if (c.atteso) {
            EXPECT_EQ(vq::CInt(c.x), *c.atteso);
        } else {
            EXPECT_EQ(ErroreDi([&] { vq::CInt(c.x); }), 6);
            EXPECT_EQ(vq::Err().descrizione, "Overflow");
        }
    }
}

TEST(Conversioni, CLngArrotondaAlPariEControllaIlCampo) {
    struct Caso {
        double x;
        std::optional<std::int64_t> atteso;
    };
    const Caso casi[] = {
        {2147483647.0, 2147483647},  {2147483646.5, 2147483646}, {2147483647.5, std::nullopt},
        {-2147483648.0, -2147483648LL}, {-2147483648.5, -2147483648LL},
        {-2147483649.0, std::nullopt}, {40000.5, 40000}, {40001.5, 40002}, {kNaN, std::nullopt},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.x);
        if (c.atteso) {
            EXPECT_EQ(vq::CLng(c.x), *c.atteso);
        } else {
            EXPECT_EQ(ErroreDi([&] { vq::CLng(c.x); }), 6);
        }
    }
}

TEST(Conversioni, NarrowingDiInteri) {
    EXPECT_EQ(vq::CInt(std::int64_t{-32768}), -32768);
    EXPECT_EQ(vq::CInt(std::int64_t{32767}), 32767);
    EXPECT_EQ(ErroreDi([] { vq::CInt(std::int64_t{32768}); }), 6);
    EXPECT_EQ(ErroreDi([] { vq::CInt(std::int64_t{-32769}); }), 6);
    EXPECT_EQ(vq::CLng(std::int64_t{-2147483648LL}), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ErroreDi([] { vq::CLng(std::int64_t{2147483648LL}); }), 6);
}

TEST(Conversioni, ArrotondaPariAiDecimaliComeScritti) {
    struct Caso {
        double x;
        int decimali;
        double atteso;
    };
    const Caso casi[] = {
        {0.125, 2, 0.12},    {0.375, 2, 0.38},   {2.5, 0, 2.0},       {3.5, 0, 4.0},
        {1500.5, 0, 1500.0}, {1501.5, 0, 1502.0}, {2.675, 2, 2.68},   {1.005, 2, 1.0},
        {0.005, 2, 0.0},     {0.015, 2, 0.02},   {9.995, 2, 10.0},    {-0.125, 2, -0.12},
        {-0.375, 2, -0.38},  {12345.6789, 3, 12345.679}, {0.0049, 2, 0.0}, {0.05, 1, 0.0},
        {0.5, 0, 0.0},       {1.25, 5, 1.25},    {123456789.125, 2, 123456789.12},
        {0.1 + 0.2, 15, 0.3},        {1.0 / 3.0, 15, 0.333333333333333},
        {123456789012345678.0, 2, 123456789012345678.0}, {1e15 + 0.5, 1, 1e15 + 0.5},
        {-2.5, 0, -2.0},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(testing::Message() << c.x << " / " << c.decimali);
        EXPECT_EQ(vq::ArrotondaPari(c.x, c.decimali), c.atteso);
    }
    EXPECT_EQ(ErroreDi([] { vq::ArrotondaPari(1.0, -1); }), 5);
    EXPECT_FALSE(std::signbit(vq::ArrotondaPari(-0.4)));
}

TEST(Conversioni, TestoNumeroComeIlRuntime) {
    struct Caso {
        double x;
        const char* testo;
        const char* str;
    };
    const Caso casi[] = {
        {0.0, "0", " 0"},
        {-0.0, "0", " 0"},
        {1.0, "1", " 1"},
        {-1.0, "-1", "-1"},
        {53.0, "53", " 53"},
        {-2147217900.0, "-2147217900", "-2147217900"},
        {0.5, "0.5", " 0.5"},
        {-0.25, "-0.25", "-0.25"},
        {1234.5, "1234.5", " 1234.5"},
        {0.1 + 0.2, "0.3", " 0.3"},
        {1.0 / 3.0, "0.333333333333333", " 0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667", " 0.666666666666667"},
        {100.0, "100", " 100"},
        {1e14, "100000000000000", " 100000000000000"},
        {999999999999999.0, "999999999999999", " 999999999999999"},
        {123456789012345.6, "123456789012346", " 123456789012346"},
        {999999999999999.5, "1E+15", " 1E+15"},
        {1e15, "1E+15", " 1E+15"},
        {1.5e20, "1.5E+20", " 1.5E+20"},
        {1e100, "1E+100", " 1E+100"},
        {0.0001, "0.0001", " 0.0001"},
        {0.00012345, "0.00012345", " 0.00012345"},
        {0.00001, "1E-05", " 1E-05"},
        {-2.5e-7, "-2.5E-07", "-2.5E-07"},
        {1e-300, "1E-300", " 1E-300"},
        {38353.25, "38353.25", " 38353.25"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(vq::TestoNumero(c.x), c.testo);
        EXPECT_EQ(vq::StrNumero(c.x), c.str);
    }
}

TEST(Conversioni, TestoNumeroIgnoraIlLocaleDelProcesso) {
    // A process locale with a decimal comma must not change the text.
    const char* nomi[] = {"it_IT.UTF-8", "de_DE.UTF-8", "C.UTF-8"};
    for (const char* nome : nomi) {
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
        {"", 0},           {"   ", 0},         {"12", 12},          {"  12", 12},
        {"\t\n42", 42},    {"3a", 3},          {"abc", 0},          {"x.y", 0},
        {"1 2 3", 123},    {" -4.5e2x", -450}, {"1.2.3", 1.2},      {".5", 0.5},
        {"5.", 5},         {"-.5", -0.5},      {"1e", 1},           {"1e+", 1},
        {"1d2", 100},      {"2E-1", 0.2},      {"1 e 2", 100},      {"+7", 7},
        {"--7", 0},        {"- 7", -7},        {"1,5", 1},          {"-", 0},
        {".", 0},          {"0", 0},           {"-0", 0},           {"40000", 40000},
        {"3.3", 3.3},      {"007", 7},         {"1e-400", 0},       {"0e999999", 0},
        {"&HFFFF", -1},    {"&hff", 255},      {"&H7FFF", 32767},   {"&H8000", -32768},
        {"&H0000FFFF", -1}, {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&H7FFFFFFF", 2147483647},
        {"&H", 0},         {"&HG", 0},         {"&H1F zz", 31},     {"&O17", 15},
        {"&o177777", -1},  {"&O200000", 65536}, {"&O8", 0},         {"&X1", 0},
        {"&", 0},          {" &H 1 0", 16},    {"4.94065645841247E-324", 4.94065645841247E-324},
        {"1.79769313486231E+308", 1.79769313486231E+308},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        EXPECT_EQ(vq::Val(c.testo), c.atteso);
        EXPECT_FALSE(std::signbit(vq::Val(c.testo)) && c.atteso == 0);
    }
    for (const char* troppo : {"1e400", "-1e309", "&H100000000", "&O40000000000", "1.79769313486232E+308",
                               "123456789012345678901234567890e300"}) {
        SCOPED_TRACE(troppo);
        EXPECT_EQ(ErroreDi([&] { vq::Val(troppo); }), 6);
    }
}

TEST(Conversioni, NumeroDaTestoStretto) {
    struct Caso {
        const char* testo;
        std::optional<double> atteso;  // nullopt: error 13
    };
    const Caso casi[] = {
        {"12", 12},         {" 12 ", 12},       {"\t-3\t", -3},  {"+4", 4},
        {"2004", 2004},     {"01", 1},          {"00", 0},          {"1.5", 1.5},
        {".5", 0.5},        {"5.", 5},          {"1e3", 1000},      {"1D-1", 0.1},
        {"&H10", 16},       {"&hFFFF", -1},     {"&O17", 15},       {"", std::nullopt},
        {"  ", std::nullopt}, {"12a", std::nullopt}, {"a1", std::nullopt}, {"1 2", std::nullopt},
        {"-", std::nullopt}, {".", std::nullopt}, {"1e", std::nullopt}, {"1e+", std::nullopt},
        {"--1", std::nullopt}, {"1,5", std::nullopt}, {"&H", std::nullopt}, {"&HG", std::nullopt},
        {"&O8", std::nullopt}, {"&X1", std::nullopt}, {"1\n", std::nullopt},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        if (c.atteso) {
            EXPECT_EQ(vq::NumeroDaTesto(c.testo), *c.atteso);
        } else {
            EXPECT_EQ(ErroreDi([&] { vq::NumeroDaTesto(c.testo); }), 13);
            EXPECT_EQ(vq::Err().descrizione, "Tipo non corrispondente");
        }
    }
    EXPECT_EQ(ErroreDi([] { vq::NumeroDaTesto("1e400"); }), 6);
    // A stored date part read as CInt does: "2004" fits, "40000" overflows.
    EXPECT_EQ(vq::CInt(vq::NumeroDaTesto("2004")), 2004);
    EXPECT_EQ(ErroreDi([] { vq::CInt(vq::NumeroDaTesto("40000")); }), 6);
}

}  // namespace
