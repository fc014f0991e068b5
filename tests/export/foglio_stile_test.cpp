// The stylesheet shipped beside the program, applied by xsltproc to a written export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "export/Globale.h"
#include "export/ModXML.h"
#include "file_prova.h"
#include "righe_prova.h"
#include "vq/data.h"

namespace travasa {
namespace {

namespace fs = std::filesystem;

// The text of the element with the given id.
std::string TestoConId(const std::string& html, const std::string& id) {
    const std::regex espressione("id=\"" + id + "\">([^<]*)<");
    std::smatch trovato;
    return std::regex_search(html, trovato, espressione) ? trovato[1].str() : "<assente>";
}

std::size_t Occorrenze(const std::string& testo, const std::string& cosa) {
    std::size_t n = 0;
    for (auto pos = testo.find(cosa); pos != std::string::npos;
         pos = testo.find(cosa, pos + cosa.size()))
        ++n;
    return n;
}

class FoglioStile : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v xsltproc >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xsltproc is not installed: the stylesheet cannot be applied";
        ASSERT_TRUE(fs::exists(VQ_FOGLIO_STILE_BUILD))
            << "the build did not copy the stylesheet to template/html/";
    }
    void TearDown() override { Info().ClearValori(); }

    // Writes the export, copies the stylesheet beside it as the export run does, and
    // applies it through the file's own stylesheet instruction.
    std::string Trasforma(const std::vector<prova::Riga>& righe) {
        const std::string xml = tmp_ / "estratto 2004.xml", html = tmp_ / "estratto.html";
        prova::Registratore barra;
        CreaFileXML(prova::CreaArray(righe).get(), xml, barra, VARIANT_TRUE, VARIANT_TRUE);
        fs::copy_file(VQ_FOGLIO_STILE_BUILD, tmp_ / "estratto 2004.xsl");
        const std::string comando = "xsltproc --nonet -o '" + html + "' '" + xml + "' 2>'" +
                                    (tmp_ / "errori.txt").native() + "'";
        EXPECT_EQ(std::system(comando.c_str()), 0) << prova::LeggiFile(tmp_ / "errori.txt");
        return prova::LeggiFile(html);
    }

    prova::Cartella tmp_;
};

DATE Giorno(int anno, int mese, int giorno) {
    return *vq::ComponiData({anno, mese, giorno, 0, 0, 0});
}

TEST_F(FoglioStile, MostraFiltriRigheConteggioETotaliInFormatoItaliano) {
    Info().Periodo = "Dal 01-gen-2004 al 31-dic-2004";
    Info().Conto = "Casa\\ <Tutti i Codici>\rAuto\\ Benzina";
    std::vector<prova::Riga> righe{
        prova::NuovaRiga("Casa", "Spesa", Giorno(2004, 3, 15), "Supermercato & co.", 45.3, 87713,
                         true),
        prova::NuovaRiga("Auto", "Benzina", Giorno(2004, 4, 1), "Pieno", -1234.56, -2390436, false,
                         true, true, true),
        prova::NuovaRiga("Casa", "Spesa", Giorno(2004, 12, 31), "Regali", 2000, 3872540),
    };
    prova::Riga nulla = prova::NuovaRiga("Casa", "Spesa", 0, "", 0, 0);
    nulla[2] = ole::Variante::Null();
    nulla[4] = ole::Variante::Null();
    nulla[5] = ole::Variante::Null();
    righe.push_back(std::move(nulla));

    const std::string html = Trasforma(righe);
    ASSERT_FALSE(html.empty());
    EXPECT_EQ(TestoConId(html, "numero-movimenti"), "4");
    EXPECT_EQ(Occorrenze(html, "<tr class=\"movimento\">"), 4u);
    // 45.30 - 1234.56 + 2000 + 0
    EXPECT_EQ(TestoConId(html, "totale-euro"), "810,74");
    EXPECT_EQ(TestoConId(html, "riepilogo-euro"), "810,74");
    // 87713 - 2390436 + 3872540 + 0
    EXPECT_EQ(TestoConId(html, "totale-lire"), "1.569.817");
    EXPECT_EQ(TestoConId(html, "periodo"), "Dal 01-gen-2004 al 31-dic-2004");
    EXPECT_NE(html.find("<li>Casa\\ &lt;Tutti i Codici&gt;</li>"), std::string::npos);
    EXPECT_NE(html.find("<li>Auto\\ Benzina</li>"), std::string::npos);
    EXPECT_NE(html.find(">15/03/2004<"), std::string::npos);
    EXPECT_NE(html.find(">31/12/2004<"), std::string::npos);
    EXPECT_NE(html.find(">-1.234,56<"), std::string::npos);
    EXPECT_NE(html.find(">45,30<"), std::string::npos);
    EXPECT_NE(html.find(">87.713<"), std::string::npos);
    EXPECT_NE(html.find("Supermercato &amp; co."), std::string::npos);
    EXPECT_EQ(Occorrenze(html, "\xE2\x9C\x93"), 4u);  // check marks: 1 + 3 flags
}

TEST_F(FoglioStile, MigliaiaDiRigheTotaliEsatti) {
    // Amounts of both signs, whose sum in binary floating point is not exact.
    std::vector<prova::Riga> righe;
    for (int i = 0; i < 2000; ++i) {
        const double euro = (i % 2 ? -1 : 1) * (i * 137 % 100000) / 100.0;
        righe.push_back(prova::NuovaRiga("C", "K", Giorno(2004, 1, 1) + i, "x", euro, i * 1000));
    }
    const std::string html = Trasforma(righe);
    EXPECT_EQ(TestoConId(html, "numero-movimenti"), "2000");
    EXPECT_EQ(Occorrenze(html, "<tr class=\"movimento\">"), 2000u);
    EXPECT_EQ(TestoConId(html, "totale-euro"), "-1.370,00");
    EXPECT_EQ(TestoConId(html, "totale-lire"), "1.999.000.000");
}

}  // namespace
}  // namespace travasa
