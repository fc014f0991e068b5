// The XML writer over real row arrays: the document read back by a real parser.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "export/Globale.h"
#include "export/ModXML.h"
#include "errore_prova.h"
#include "file_prova.h"
#include "righe_prova.h"
#include "vq/data.h"
#include "vq/errore.h"

namespace travasa {
namespace {

namespace fs = std::filesystem;
using prova::ArrayDati;
using prova::CreaArray;
using prova::LeggiFile;
using prova::NumeroErrore;
using prova::NuovaRiga;
using prova::Registratore;
using prova::Riga;

DATE Giorno(int anno, int mese, int giorno, int ora = 0, int minuto = 0, int secondo = 0) {
    return *vq::ComponiData({anno, mese, giorno, ora, minuto, secondo});
}

class ModXML : public ::testing::Test {
protected:
    void SetUp() override {
        Info().ClearValori();
        Info().Periodo = "Dal 01-gen-2004 al 31-dic-2004";
        Info().Conto = "Casa\\ <Tutti i Codici>";
    }
    void TearDown() override { Info().ClearValori(); }

    std::string Percorso(const std::string& nome) const { return tmp_ / nome; }

    // Writes `righe` and parses the file back.
    pugi::xml_document Scrivi(const std::vector<Riga>& righe, const std::string& nome = "spese.xml",
                              bool foglioStile = true) {
        Registratore barra;
        CreaFileXML(CreaArray(righe).get(), Percorso(nome), barra, VARIANT_TRUE,
                    foglioStile ? VARIANT_TRUE : VARIANT_FALSE);
        pugi::xml_document doc;
        const auto esito =
            doc.load_file(Percorso(nome).c_str(), pugi::parse_default | pugi::parse_declaration |
                                                      pugi::parse_pi | pugi::parse_ws_pcdata);
        EXPECT_TRUE(esito) << esito.description();
        return doc;
    }
    static Riga Semplice() { return NuovaRiga("C", "K", Giorno(2004, 1, 1), "x", 1, 2); }

    prova::Cartella tmp_;
};

// The texts of the ten field elements of one transaction, checking their names and order.
std::vector<std::string> Campi(pugi::xml_node operazione) {
    static const char* const kNomi[] = {"conto",         "cassa",        "data",     "causale",
                                        "importo_euro",  "importo_lire", "bancomat", "carta",
                                        "contocorrente", "nostatistiche"};
    std::vector<std::string> testi;
    std::size_t i = 0;
    for (pugi::xml_node campo : operazione.children()) {
        EXPECT_LT(i, 10u);
        if (i >= 10) break;
        EXPECT_EQ(campo.type(), pugi::node_element);
        EXPECT_STREQ(campo.name(), kNomi[i]);
        EXPECT_FALSE(campo.first_attribute()) << "no attributes, no declared type";
        testi.emplace_back(campo.text().get());
        ++i;
    }
    EXPECT_EQ(i, 10u);
    return testi;
}

TEST_F(ModXML, FormaDelFileUnaRigaPerNodoSenzaBomNeSpazi) {
    Scrivi({NuovaRiga("Casa", "Spesa", Giorno(2004, 3, 15), "x", 1, 2)});
    const std::string testo = LeggiFile(Percorso("spese.xml"));
    EXPECT_EQ(
        testo.rfind(
            "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"spese.xsl\"?>\n"
            "<dataset_operazioni><filtro_periodo><periodo>",
            0),
        0u)
        << testo;
    EXPECT_NE(testo.find("<conto>Casa\\ &lt;Tutti i Codici&gt;</conto>"), std::string::npos);
    EXPECT_EQ(std::count(testo.begin(), testo.end(), '\n'), 3);
    EXPECT_EQ(testo.find(' ', testo.find("<dataset_operazioni>")),
              testo.find("Dal 01") + 3);  // the only blanks are inside texts
    EXPECT_EQ(testo.substr(testo.size() - 22), "</dataset_operazioni>\n");
    // Without the stylesheet: the declaration, then the root.
    Scrivi({Semplice()}, "spese.xml", false);
    EXPECT_EQ(
        LeggiFile(Percorso("spese.xml")).rfind("<?xml version=\"1.0\"?>\n<dataset_operazioni>", 0),
        0u);
}

TEST_F(ModXML, ContoVuotoTuttiIContiERigheVuote) {
    struct Caso {
        std::string conto;
        std::vector<std::string> linee;
    };
    const Caso casi[] = {
        {"", {""}},
        {"Tutti i conti\\codici", {"Tutti i conti\\codici"}},
        {"a\rb\rc", {"a", "b", "c"}},
        {"a\r\rb\r", {"a", "", "b", ""}},
        {"a\nb", {"a\nb"}},  // only a carriage return separates lines
    };
    for (const auto& c : casi) {
        Info().Conto = c.conto;
        const pugi::xml_document doc = Scrivi({Semplice()});
        std::vector<std::string> lette;
        for (pugi::xml_node filtro : doc.child("dataset_operazioni").children("filtro_conto")) {
            ASSERT_TRUE(filtro.child("conto"));
            lette.emplace_back(filtro.child("conto").text().get());
        }
        EXPECT_EQ(lette, c.linee) << c.conto;
    }
}

TEST_F(ModXML, PercentualePerRigaArrotondataAlPariEContenutaNellIndicatore) {
    struct Caso {
        int righe;
        float minimo, massimo;
        std::vector<float> valori;
    };
    const Caso casi[] = {
        {1, 0, 100, {0}},
        {2, 0, 100, {0, 100}},
        {3, 0, 100, {0, 50, 100}},
        {9,
         0,
         100,
         {0, 12, 25, 38, 50, 62, 75, 88, 100}},  // 12.5 -> 12, 37.5 -> 38: halves to even
        {3, 0, 60, {0, 50, 60}},                 // clamped to the maximum
        {3, 10, 100, {10, 50, 100}},             // raised to the minimum
        {3, 0, 49.5f, {0, 50, 50}},              // the maximum rounded as well: 49.5 -> 50
        {3, 70, 30, {70, 70, 70}},               // maximum first, then minimum
    };
    for (const auto& c : casi) {
        std::vector<Riga> righe;
        for (int i = 0; i < c.righe; ++i) righe.push_back(Semplice());
        Registratore barra(c.minimo, c.massimo);
        CreaFileXML(CreaArray(righe).get(), Percorso("p.xml"), barra, VARIANT_FALSE, VARIANT_FALSE);
        EXPECT_EQ(barra.valori, c.valori) << c.righe << " righe, " << c.minimo << ".." << c.massimo;
    }
}

TEST_F(ModXML, RiferimentoAlFoglioDiStile) {
    struct Caso {
        const char* nome;
        const char* href;
    };
    const Caso casi[] = {
        {"estratto.2004.xml", "estratto.2004.xsl"},  // only the last extension goes
        {"spese.xml", "spese.xsl"},
        {"spese", "spese.xsl"},  // no extension: the whole name
        {"spese.", "spese.xsl"},
        {"spese 2004.xml", "spese%202004.xsl"},
        {"a#b?c%d.xml", "a%23b%3Fc%25d.xsl"},
        {"a&b\"c<d>.xml", "a%26b%22c%3Cd%3E.xsl"},
        {"caffè.xml", "caff%C3%A8.xsl"},
    };
    for (const auto& c : casi) {
        EXPECT_EQ(RiferimentoFoglioStile("/una/cartella.x/" + std::string(c.nome)), c.href)
            << c.nome;
        const pugi::xml_document doc = Scrivi({Semplice()}, c.nome);
        pugi::xml_node pi = doc.first_child().next_sibling();
        EXPECT_EQ(std::string(pi.value()), std::string("type=\"text/xsl\" href=\"") + c.href + "\"")
            << c.nome;
    }
    EXPECT_EQ(NomeBaseFoglioStile("/x/estratto.2004.xml"), "estratto.2004");
}

// Puts back the C locale of the process and the C++ global locale.
struct RipristinaLocale {
    std::locale prima;
    ~RipristinaLocale() {
        std::locale::global(prima);
        std::setlocale(LC_ALL, "C");
    }
};

TEST_F(ModXML, NumeriSenzaSeparatoriLocaliAncheConLocaleItaliano) {
    // The C++ global locale with Italian separators...
    struct Italiano : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    std::optional<prova::Ambiente> locpath;  // restored after the locales
    const RipristinaLocale ripristina{
        std::locale::global(std::locale(std::locale::classic(), new Italiano))};
    // ...and the C locale of the process (printf & co.), from the system or built for the test.
    bool conLocaleC = std::setlocale(LC_ALL, "it_IT.UTF-8") != nullptr;
    if (!conLocaleC && std::system("command -v localedef >/dev/null 2>&1") == 0) {
        const std::string cartella = tmp_ / "locale";
        const std::string comando =
            "localedef -i it_IT -f UTF-8 '" + cartella + "/it_IT.UTF-8' >/dev/null 2>&1";
        if (fs::create_directories(cartella) && std::system(comando.c_str()) == 0) {
            locpath.emplace("LOCPATH", cartella);
            conLocaleC = std::setlocale(LC_ALL, "it_IT.UTF-8") != nullptr;
        }
    }
    if (conLocaleC) {
        char prova[16];
        std::snprintf(prova, sizeof prova, "%.1f", 1234.5);
        EXPECT_STREQ(prova, "1234,5") << "the Italian locale is in effect";
    }
    std::vector<Riga> righe{NuovaRiga("C", "K", Giorno(2004, 1, 1), "x", 1234.5, 1234567)};
    righe[0][4] = ole::Variante::Valuta(12345000);  // 1234.5 as currency
    const pugi::xml_document doc = Scrivi(righe);
    const auto operazione = doc.child("dataset_operazioni").child("tabella_operazioni");
    EXPECT_STREQ(operazione.child("importo_euro").text().get(), "1234.5");
    EXPECT_STREQ(operazione.child("importo_lire").text().get(), "1234567");
    EXPECT_EQ(FormattaValore(*ole::Variante::R8(-1234.5).get(), "r8"), "-1234.5");
    if (!conLocaleC)
        GTEST_SKIP() << "no Italian C locale available (locales package missing): only the C++ "
                        "locale was tested";
}

TEST_F(ModXML, VerificaRifiutaUnValoreNonValidoENonScriveNulla) {
    struct Caso {
        const char* cosa;
        int campo;
        ole::Variante valore;
    };
    const Caso casi[] = {
        {"euro non numerico", 4, ole::Variante::Testo("abc")},
        {"lire non numeriche", 5, ole::Variante::Testo("mille")},
        {"segno non booleano", 6, ole::Variante::Testo("forse")},
    };
    const std::string vecchio = "<?xml version=\"1.0\"?>\n<vecchio/>\n";
    for (const auto& c : casi) {
        std::vector<Riga> righe{Semplice(), NuovaRiga("C", "K", Giorno(2004, 1, 2), "y", 3, 4)};
        righe[1][static_cast<std::size_t>(c.campo)] = c.valore;
        const ArrayDati array = CreaArray(righe);
        Registratore barra;
        // No file before: none after; an old file: unchanged.
        EXPECT_EQ(NumeroErrore([&] {
                      CreaFileXML(array.get(), Percorso("nuovo.xml"), barra, VARIANT_TRUE,
                                  VARIANT_TRUE);
                  }),
                  kErrTipoDato)
            << c.cosa;
        EXPECT_FALSE(fs::exists(Percorso("nuovo.xml"))) << c.cosa;
        prova::ScriviFile(Percorso("vecchio.xml"), vecchio);
        EXPECT_THROW(
            CreaFileXML(array.get(), Percorso("vecchio.xml"), barra, VARIANT_TRUE, VARIANT_TRUE),
            vq::Errore);
        EXPECT_EQ(LeggiFile(Percorso("vecchio.xml")), vecchio) << c.cosa;
        // Without the check the same rows are written.
        CreaFileXML(array.get(), Percorso("senza.xml"), barra, VARIANT_FALSE, VARIANT_TRUE);
        EXPECT_TRUE(fs::remove(Percorso("senza.xml"))) << c.cosa;
    }
    EXPECT_EQ(tmp_.Contenuto(), std::vector<std::string>{"vecchio.xml"}) << "no leftovers";
}

// One transaction per row, in array order, every value as written; the check accepts all
// the writer produces, and the file is the same with or without it.
TEST_F(ModXML, RigheRiletteValorePerValoreEVerificaConcorde) {
    std::vector<Riga> righe{
        NuovaRiga("Casa", "Spesa", Giorno(2004, 3, 15, 23, 59, 59) + 0.999 / 86400, "x", 0.05,
                  87713, true),
        NuovaRiga("Auto", "Benzina & olio", Giorno(1850, 6, 1, 12), "Pieno <self>", -1234.5,
                  -2147483647 - 1, false, true, false, true),
        NuovaRiga("C", "K", Giorno(9999, 12, 31), "", 1e15, 2147483647, true, true, true, true),
        NuovaRiga("C", "K", Giorno(100, 1, 1), "", 123456789.123, 0, false, false, true),
    };
    Riga nulli = NuovaRiga("C", "K", 0, "", 0, 0);
    for (int campo = 0; campo < 10; ++campo)
        nulli[static_cast<std::size_t>(campo)] = ole::Variante::Null();
    righe.push_back(std::move(nulli));
    righe[0][4] = ole::Variante::Valuta(453000);  // 45.30 as currency
    righe[0][5] = ole::Variante::R8(87713);       // lire held as a double
    righe[3][6] = ole::Variante::I2(-1);          // a flag held as an integer
    // Lire are a Double column: fractional amounts and amounts beyond 32 bits exist.
    righe.push_back(NuovaRiga("C", "K", Giorno(2004, 1, 1), "", 1, 0));
    righe.back()[5] = ole::Variante::R8(1500.5);
    righe.push_back(
        NuovaRiga("C", "K", -1.99999999, "", 1, 0));  // 29 December 1899, just before midnight
    righe.back()[5] = ole::Variante::R8(3e9);
    righe.push_back(NuovaRiga("C", "K", Giorno(2004, 1, 1), "", -0.07,
                              0));  // amounts to the cent, small and large
    righe.back()[5] = ole::Variante::R8(-1234567890123.4);

    const ArrayDati array = CreaArray(righe);
    Registratore barra;
    CreaFileXML(array.get(), Percorso("estratto.xml"), barra, VARIANT_TRUE, VARIANT_TRUE);
    const std::string con = LeggiFile(Percorso("estratto.xml"));
    CreaFileXML(array.get(), Percorso("estratto.xml"), barra, VARIANT_FALSE, VARIANT_TRUE);
    EXPECT_EQ(con, LeggiFile(Percorso("estratto.xml")));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(con.c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
    std::vector<std::vector<std::string>> letti;
    for (pugi::xml_node op : doc.child("dataset_operazioni").children("tabella_operazioni"))
        letti.push_back(Campi(op));
    const std::vector<std::vector<std::string>> attesi = {
        {"Casa", "Spesa", "2004-03-15", "x", "45.3", "87713", "1", "0", "0", "0"},
        {"Auto", "Benzina & olio", "1850-06-01", "Pieno <self>", "-1234.5", "-2147483648", "0", "0",
         "1", "1"},
        {"C", "K", "9999-12-31", "", "1E+15", "2147483647", "1", "1", "1", "1"},
        {"C", "K", "0100-01-01", "", "123456789.123", "0", "1", "1", "0", "0"},
        {"", "", "", "", "0", "0", "0", "0", "0", "0"},
        {"C", "K", "2004-01-01", "", "1", "1500.5", "0", "0", "0", "0"},
        {"C", "K", "1899-12-29", "", "1", "3000000000", "0", "0", "0", "0"},
        {"C", "K", "2004-01-01", "", "-0.07", "-1234567890123.4", "0", "0", "0", "0"},
    };
    EXPECT_EQ(letti, attesi);
    // A null description: the element is there, without text.
    const pugi::xml_node causale =
        doc.child("dataset_operazioni")
            .find_child([](pugi::xml_node n) {
                return n.child("data").text().empty() && n.child("conto").text().empty() &&
                       std::string_view(n.name()) == "tabella_operazioni";
            })
            .child("causale");
    ASSERT_TRUE(causale);
    EXPECT_FALSE(causale.first_child());
}

TEST_F(ModXML, DocumentoNonCreabileErrore10220ENessunFile) {
    const ArrayDati array = CreaArray({Semplice()});
    const FabbricaDocumento fabbriche[] = {
        []() -> std::unique_ptr<DocumentoXml> { throw std::runtime_error("libreria assente"); },
        [] { return std::unique_ptr<DocumentoXml>(); },
        FabbricaDocumento(),
    };
    for (const auto& fabbrica : fabbriche) {
        Registratore barra;
        const auto e = prova::ErroreDi([&] {
            CreaFileXML(array.get(), Percorso("x.xml"), barra, VARIANT_TRUE, VARIANT_TRUE,
                        fabbrica);
        });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->numero(), 10220);
        EXPECT_EQ(e->descrizione(),
                  "Sul sistema non risulta presente il Microsoft XML Parser (MSXML) ver.30 o suc.. "
                  "Per poter "
                  "procedere all'esportazione è necessario che tale componente sia installato sul "
                  "computer. "
                  "E' possibile scaricare liberamente il componente dal sito della microsoft "
                  "(https://www.microsoft.com/it-it/download).");
        EXPECT_EQ(vq::Err().numero, 10220);
        EXPECT_TRUE(barra.valori.empty());
        EXPECT_FALSE(fs::exists(Percorso("x.xml")));
    }
}

TEST_F(ModXML, ArrayNonValidoErroreDelRuntimeENessunFile) {
    SAFEARRAYBOUND unaDimensione[1] = {{10, 0}};
    SAFEARRAYBOUND noveCampi[2] = {{9, 0}, {1, 0}};
    SAFEARRAYBOUND righeDaUno[2] = {{10, 0}, {1, 1}};
    SAFEARRAYBOUND nessunaRiga[2] = {{10, 0}, {0, 0}};
    SAFEARRAYBOUND buono[2] = {{10, 0}, {1, 0}};
    struct Caso {
        const char* cosa;
        SAFEARRAY* array;
        std::int32_t numero;
    };
    const Caso casi[] = {
        {"nessun array", nullptr, 9},
        {"una dimensione", SafeArrayCreate(VT_VARIANT, 1, unaDimensione), 9},
        {"nove campi", SafeArrayCreate(VT_VARIANT, 2, noveCampi), 9},
        {"righe da 1", SafeArrayCreate(VT_VARIANT, 2, righeDaUno), 9},
        {"nessuna riga", SafeArrayCreate(VT_VARIANT, 2, nessunaRiga), 9},
        {"non di VARIANT", SafeArrayCreate(VT_I4, 2, buono), 13},
    };
    for (const auto& c : casi) {
        const ArrayDati array(c.array);
        Registratore barra;
        EXPECT_EQ(NumeroErrore([&] {
                      CreaFileXML(array.get(), Percorso("x.xml"), barra, VARIANT_FALSE,
                                  VARIANT_FALSE);
                  }),
                  c.numero)
            << c.cosa;
        EXPECT_FALSE(fs::exists(Percorso("x.xml"))) << c.cosa;
    }
}

// FormattaValore by declared type and value.
struct CasoValore {
    const char* tipo;
    ole::Variante valore;
    const char* atteso;
};

TEST(FormattaValore, PerTipoDichiaratoEValore) {
    const DATE conOra = Giorno(2004, 3, 15, 13, 30);
    const CasoValore casi[] = {
        // texts
        {"string", ole::Variante::Testo("Casa"), "Casa"},
        {"string", ole::Variante::Null(), ""},
        {"string", ole::Variante(), ""},
        {"string", ole::Variante::I4(42), "42"},
        {"string", ole::Variante::R8(1234.5), "1234.5"},
        {"sconosciuto", ole::Variante::Testo("come testo"), "come testo"},
        {"sconosciuto", ole::Variante::Null(), ""},
        // dates: any time dropped, before 1900 included
        {"DateTime", ole::Variante::Data(conOra), "2004-03-15"},
        {"datetime.tz", ole::Variante::Data(Giorno(1850, 6, 1, 6)), "1850-06-01"},
        {"date", ole::Variante::Data(0), "1899-12-30"},
        {"DATETIME", ole::Variante::Null(), ""},
        {"DateTime", ole::Variante::R8(38061.75), "2004-03-15"},
        {"DateTime", ole::Variante::Data(Giorno(2004, 3, 15, 23, 59, 59) + 0.9999 / 86400),
         "2004-03-15"},
        {"DateTime", ole::Variante::Data(-0.99999999), "1899-12-30"},
        {"DateTime", ole::Variante::Data(1e10), ""},  // beyond the range of dates
        {"DateTime", ole::Variante::Testo("non è una data"), ""},
        // numbers: "." and no grouping
        {"r8", ole::Variante::R8(45.3), "45.3"},
        {"R8", ole::Variante::I2(-7), "-7"},
        {"r8", ole::Variante::Null(), "0"},
        {"i4", ole::Variante::I4(87713), "87713"},
        {"i4", ole::Variante::R8(1500.5), "1500.5"},  // written as it is
        {"i4", ole::Variante::R8(3e9), "3000000000"},
        {"r4", ole::Variante::Valuta(453000), "45.3"},
        {"float", ole::Variante::R8(1e15), "1E+15"},
        {"double", ole::Variante::Booleano(true), "-1"},
        {"i2", ole::Variante::Testo("abc"), ""},
        {"r8", ole::Variante::R8(std::nan("")), ""},
        {"r8", ole::Variante::R8(HUGE_VAL), ""},
        // booleans
        {"Boolean", ole::Variante::Booleano(true), "1"},
        {"boolean", ole::Variante::Booleano(false), "0"},
        {"bool", ole::Variante::I2(-1), "1"},
        {"Boolean", ole::Variante::I4(0), "0"},
        {"Boolean", ole::Variante::R8(0.5), "1"},
        {"Boolean", ole::Variante::Null(), "0"},
        {"Boolean", ole::Variante::Testo("boh"), ""},
    };
    for (const auto& c : casi)
        EXPECT_EQ(FormattaValore(*c.valore.get(), c.tipo), c.atteso)
            << c.tipo << " vt=" << c.valore.vt();
}

TEST(FormattaValore, UnValorePerRiferimentoVieneLettoAttraversoIlRiferimento) {
    double euro = 45.3;
    VARIANT perRiferimento;
    VariantInit(&perRiferimento);
    perRiferimento.vt = VT_R8 | VT_BYREF;
    perRiferimento.pdblVal = &euro;
    EXPECT_EQ(FormattaValore(perRiferimento, "r8"), "45.3");
}

TEST(Info, UnicaPerProcessoESvuotabile) {
    Info().Periodo = "Tutto";
    Info().Conto = "a";
    Info().ClearValori();
    EXPECT_EQ(Info().Periodo + Info().Conto, "");
}

}  // namespace
}  // namespace travasa
