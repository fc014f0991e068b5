// The test helpers on real Jet files written by other programs: libmdb, mdb-reader and
// the mdbtools commands must agree on them (table lists included: Northwind has one with
// a non-ASCII name), and the header password decoder must find the passwords the
// samples are known to have.
#include "confronto.h"

#include <gtest/gtest.h>

namespace prova {
namespace {

struct Campione {
    const char* file;
    const char* formato;
    const char* password;  // "" = none
    const char* tabella;   // a table with a known row count
    std::size_t righe;
};

const Campione kCampioni[] = {
    {"types-jet3.mdb", "jet3", "", "Table1", 2},
    {"types-jet4.mdb", "jet4", "", "Table1", 2},
    {"password-jet3.mdb", "jet3", "Segreto£97", "Table1", 2},
    {"password-jet4.mdb", "jet4", "password", "Table1", 3},
    {"dates-jet4.mdb", "jet4", "", "DateTest", 6},
    {"nwind-jet3.mdb", "jet3", "", "Order Details", 2155},
};

class CampioniReali : public ::testing::TestWithParam<Campione> {};

TEST_P(CampioniReali, ILettoriConcordanoELaPasswordSiDecodifica) {
    const auto cartella = prova::Campioni();
    if (cartella.empty()) GTEST_SKIP() << prova::kSenzaCampioni;
    const Campione& c = GetParam();
    const auto file = cartella / c.file;
    const DatabaseLetto mdb = LeggiConLibmdb(file);
    EXPECT_EQ(mdb.formato, c.formato);
    const TabellaLetta* t = mdb.Tabella(c.tabella);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->righe.size(), c.righe);
    EXPECT_EQ(t->righeDichiarate, static_cast<std::int64_t>(c.righe));
    EXPECT_EQ(PasswordDaIntestazione(file), c.password);
    ControllaComandi(file, mdb);

    std::string perche;
    const auto node = LeggiConMdbReader(file, perche);
    if (!node) GTEST_SKIP() << perche;
    ControllaLettoriConcordi(mdb, *node);
    EXPECT_EQ(node->password.value_or(""), c.password);
}

INSTANTIATE_TEST_SUITE_P(Jet, CampioniReali, ::testing::ValuesIn(kCampioni),
                         [](const auto& parametro) {
                             std::string n = parametro.param.file;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

}  // namespace
}  // namespace prova
