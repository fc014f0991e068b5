// The data-type check: which texts each declared type accepts.
#include <gtest/gtest.h>

#include <string>

#include "export/TipiDato.h"

namespace travasa {
namespace {

struct Caso {
    const char* tipo;
    std::string testo;
    bool valido;
};

std::ostream& operator<<(std::ostream& os, const Caso& c) {
    return os << c.tipo << " \"" << c.testo << "\" -> " << (c.valido ? "valido" : "rifiutato");
}

class TestoPerTipo : public ::testing::TestWithParam<Caso> {};

TEST_P(TestoPerTipo, AccettaSoloIValoriDelTipo) {
    const Caso& c = GetParam();
    const auto tipo = TipoDaNome(c.tipo);
    ASSERT_TRUE(tipo.has_value()) << c.tipo;
    EXPECT_EQ(TestoValido(c.testo, *tipo), c.valido);
}

INSTANTIATE_TEST_SUITE_P(
    Campi, TestoPerTipo,
    ::testing::Values(
        // What the writer produces for each field of the export...
        Caso{"string", "", true}, Caso{"DateTime", "2004-03-15", true}, Caso{"DateTime", "", true},
        Caso{"DateTime", "0100-01-01", true}, Caso{"DateTime", "9999-12-31", true},
        Caso{"DateTime", "2004-02-29", true}, Caso{"DateTime", "2004-03-15T10:20:30", true},
        Caso{"DateTime", "2004-03-15T10:20:30.125", true}, Caso{"r8", "45.3", true},
        Caso{"r8", "-1234.5", true}, Caso{"r8", ".05", true}, Caso{"r8", "1E+15", true},
        Caso{"r8", "-1.5E-05", true}, Caso{"r8", "1.7976931348623157E+308", true},
        Caso{"r8", "1e-400", true},                            // underflows to zero: still a number
        Caso{"r8", std::string(300, '9'), true},               // the most digits taken unconverted
        Caso{"r8", "1" + std::string(309, '0'), false},        // 1e309, converted: too large
        Caso{"r8", "0." + std::string(299, '0') + "1", true},  // 1e-300, converted
        Caso{"i4", "-2147483648", true}, Caso{"i4", "2147483647", true}, Caso{"i4", "+5", true},
        Caso{"i4", "1500.5", true}, Caso{"i4", "3000000000", true}, Caso{"i4", "-2147483649", true},
        Caso{"i4", "1E+15", true}, Caso{"i4", "-1.5E-05", true}, Caso{"Boolean", "1", true},
        Caso{"Boolean", "0", true},
        // ...and what they refuse.
        Caso{"i4", "", false}, Caso{"i4", "1,5", false}, Caso{"i4", "abc", false},
        Caso{"i4", " 5", false}, Caso{"i4", "5 ", false}, Caso{"i4", "-", false},
        Caso{"r8", "abc", false}, Caso{"r8", "", false}, Caso{"r8", "1234,5", false},
        Caso{"r8", "1e400", false}, Caso{"r8", "NaN", false}, Caso{"r8", "inf", false},
        Caso{"r8", "0x10", false}, Caso{"r8", "1e", false}, Caso{"r8", ".", false},
        Caso{"r8", "1.2.3", false}, Caso{"r8", " 1", false}, Caso{"Boolean", "2", false},
        Caso{"Boolean", "true", false}, Caso{"Boolean", "", false},
        Caso{"DateTime", "2004-13-01", false}, Caso{"DateTime", "2004-02-30", false},
        Caso{"DateTime", "2003-02-29", false}, Caso{"DateTime", "1900-02-29", false},
        Caso{"DateTime", "0000-01-01", false}, Caso{"DateTime", "04-03-15", false},
        Caso{"DateTime", "2004-3-15", false}, Caso{"DateTime", "2004-03-15T24:00:00", false},
        Caso{"DateTime", "2004-03-15T10:20", false}, Caso{"DateTime", "2004-03-15 10:20:30", false},
        Caso{"DateTime", "2004-03-15Z", false}));

INSTANTIATE_TEST_SUITE_P(
    AltriTipi, TestoPerTipo,
    ::testing::Values(
        Caso{"i1", "-128", true}, Caso{"i1", "128", false}, Caso{"i2", "32767", true},
        Caso{"i2", "32768", true}, Caso{"i8", "-9223372036854775808", true},
        Caso{"i8", "9223372036854775808", false}, Caso{"ui1", "255", true},
        Caso{"ui1", "256", false}, Caso{"ui2", "-1", false}, Caso{"ui4", "-0", true},
        Caso{"ui8", "18446744073709551615", true}, Caso{"ui8", "18446744073709551616", false},
        Caso{"int", "123456789012345678901234567890", true}, Caso{"int", "1.0", true},
        Caso{"int", "uno", false}, Caso{"r4", "3.4e38", true}, Caso{"r4", "3.5e38", true},
        Caso{"r4", "1e400", false}, Caso{"fixed.14.4", "12345678901234.1234", true},
        Caso{"fixed.14.4", "123456789012345", false}, Caso{"fixed.14.4", "1.12345", false},
        Caso{"fixed.14.4", "1e5", false}, Caso{"date", "2004-03-15", true},
        Caso{"date", "2004-03-15T00:00:00", false},
        Caso{"dateTime.tz", "2004-03-15T10:20:30+01:00", true},
        Caso{"dateTime.tz", "2004-03-15T10:20:30Z", true},
        Caso{"dateTime.tz", "2004-03-15T10:20:30+25:00", false}, Caso{"time", "23:59:59", true},
        Caso{"time", "23:60:00", false}, Caso{"time.tz", "10:00:00-05:00", true},
        Caso{"char", "è", true}, Caso{"char", "ab", false}, Caso{"char", "", false},
        Caso{"bool", "1", true}, Caso{"text", "qualunque", true}, Caso{"double", "2.5", true}));

TEST(TipoDaNome, ConfrontaSenzaMaiuscoleERifiutaINomiIgnoti) {
    EXPECT_EQ(TipoDaNome("DateTime"), TipoDato::DataOra);
    EXPECT_EQ(TipoDaNome("datetime"), TipoDato::DataOra);
    EXPECT_EQ(TipoDaNome("BOOLEAN"), TipoDato::Booleano);
    EXPECT_EQ(TipoDaNome("R8"), TipoDato::R8);
    for (const char* ignoto : {"", "varchar", "i3", "r8 ", "dateTime.tzx"})
        EXPECT_FALSE(TipoDaNome(ignoto)) << ignoto;
}

}  // namespace
}  // namespace travasa
