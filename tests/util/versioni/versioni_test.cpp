// vqUtilita's version methods: GetVersione on PE files built from .rc sources and on
// damaged copies of them, ConfrontaVersione and its part reader.
#include <gtest/gtest.h>

#include "errore_prova.h"
#include "pe_prova.h"
#include "util/vqUtilita.h"
#include "vq/errore.h"

using prova::pe::Byte;

// Reaches the private routines (the class names this one as its friend).
class vqUtilitaProve {
public:
    static std::int16_t ParteVersione(const std::string& s, std::int16_t k) {
        return vqUtilita::ParteVersione(s, k);
    }
};

namespace {

// ---- GetVersione ------------------------------------------------------------------------

TEST(GetVersione, FileCostruiti) {
    VQ_RICHIEDI_CAMPIONI_PE();
    // The file version, not the product's; both widths of image (the reader itself is
    // tested on every sample in its own suite).
    const std::pair<const char*, const char*> casi[] = {
        {"base_32.dll", "3.3.0.0"},    {"base_64.exe", "3.3.0.0"},  // product version 9.8.7.6
        {"v3100_32.dll", "3.10.0.0"},  {"alti_64.dll", "65535.32768.1.0"},  // unsigned halves
        {"nessuna_32.dll", "0.0.0.0"}, {"vuoto_64.exe", "0.0.0.0"},
    };
    for (const auto& [nome, attesa] : casi) {
        SCOPED_TRACE(nome);
        EXPECT_EQ(vqUtilita::GetVersione(prova::pe::Percorso(nome)), attesa);
    }
}

TEST(GetVersione, FileSenzaVersione) {
    prova::Cartella dir;
    const std::string testo = (dir / "leggimi.txt");
    prova::pe::ScriviFile(testo, Byte{'3', '.', '3', '.', '0', '.', '0', '\n'});
    const std::string casi[] = {
        testo, dir.str(), "",
        std::string("/etc\0/passwd", 12),  // a NUL inside the path names no file
    };
    for (const std::string& p : casi) {
        SCOPED_TRACE(p);
        EXPECT_EQ(vqUtilita::GetVersione(p), "0.0.0.0");
    }
}

// ---- Damaged files ----------------------------------------------------------------------

// Every prefix of a sound file is a truncated file: no version. Prefixes at a stride of
// 3 bytes (not a divisor of any field's size), and the one a single byte short.
TEST(Danni, OgniTroncamento) {
    VQ_RICHIEDI_CAMPIONI_PE();
    prova::Cartella dir;
    const std::string p = (dir / "tronco.exe");
    for (const char* nome : {"base_32.exe", "base_64.dll", "nome_32.dll"}) {
        SCOPED_TRACE(nome);
        const Byte sano = prova::pe::LeggiFile(prova::pe::Percorso(nome));
        ASSERT_GT(sano.size(), 512u);
        std::vector<std::size_t> lunghezze;
        for (std::size_t n = 0; n + 1 < sano.size(); n += 3) lunghezze.push_back(n);
        lunghezze.push_back(sano.size() - 1);
        for (const std::size_t n : lunghezze) {
            prova::pe::ScriviFile(
                p, Byte(sano.begin(), sano.begin() + static_cast<std::ptrdiff_t>(n)));
            ASSERT_EQ(vqUtilita::GetVersione(p), "0.0.0.0") << "prefix of " << n << " bytes";
        }
        prova::pe::ScriviFile(p, sano);
        EXPECT_NE(vqUtilita::GetVersione(p), "0.0.0.0");
    }
}

// ---- ConfrontaVersione ------------------------------------------------------------------

struct Confronto {
    const char* a;
    const char* b;
    std::int32_t atteso;
};

TEST(ConfrontaVersione, Esempi) {
    const Confronto casi[] = {
        {"3.3.0.0", "3.3.0.0", 0},
        {"3.2.9.9", "3.3.0.0", -1},
        {"3.3.0.0", "3.2.9.9", 1},
        {"3.10.0.0", "3.9.0.0", 1},  // numeric, not text order
        {"3.9.0.0", "3.10.0.0", -1},
        {"3.3", "3.3.0.0", 1},  // the short text reads 3, 3, 3, 3
        {"3.3.0.0", "3.3", -1},
        {"3.3.0.0.7", "3.3.0.0", 0},  // the fifth part is never read
        {"", "0.0.0.0", 0},
        {"x.y", "0.0", 0},               // letters only read 0
        {"1..3", "1.0.3.3", 0},          // an empty part reads 0
        {"3a.3b.0c.0d", "3.3.0.0", 0},   // the numeric prefix of each part
        {" 3. 3.0.0", "3.3.0.0", 0},     // leading blanks skipped
        {"&H3.&HA.0.0", "3.10.0.0", 0},  // hexadecimal parts
        {"-1.0.0.0", "0.0.0.0", -1},
        {"32767.0.0.0", "-32768.0.0.0", 1},
        {"25E-1.35E-1.0.0", "2.4.0.0", 0},  // 2.5 and 3.5 round to the even neighbour
        {"3.3.0.1", "3.3.0.0", 1},          // the last pair decides
        {"4.0.0.0", "3.99.99.99", 1},       // the first differing pair decides
    };
    for (const Confronto& c : casi) {
        SCOPED_TRACE(std::string("\"") + c.a + "\" : \"" + c.b + "\"");
        EXPECT_EQ(vqUtilita::ConfrontaVersione(c.a, c.b), c.atteso);
    }
}

TEST(ConfrontaVersione, ParteFuoriIntervalloErrore6) {
    // All eight parts are read first: an overflowing part anywhere raises error 6, even
    // where the first pair would already decide.
    const std::pair<const char*, const char*> casi[] = {
        {"40000.0.0.0", "3.3.0.0"}, {"3.3.0.0", "40000.0.0.0"}, {"40000.0.0.0", ""},
        {"1.0.0.40000", "2.0.0.0"}, {"2.0.0.0", "1.0.0.32768"}, {"-32769", "0"},
        {"1E5.0.0.0", "0"},
    };
    for (const auto& [a, b] : casi) {
        SCOPED_TRACE(std::string(a) + " : " + b);
        vq::CancellaErrore();
        const auto e = prova::ErroreDi([&] { vqUtilita::ConfrontaVersione(a, b); });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->numero(), 6);
        EXPECT_EQ(e->descrizione(), "Overflow");
        EXPECT_EQ(vq::Err().numero, 6);
    }
    vq::CancellaErrore();
}

// ---- The private routines ---------------------------------------------------------------

TEST(Parti, ParteVersione) {
    const struct {
        const char* testo;
        std::int16_t k, atteso;
    } casi[] = {
        // What the comparison cannot reach: other parts than 1 to 4, the range's ends, a
        // negative tie (the text forms are tested through ConfrontaVersione).
        {"1.2.3.4", 4, 4}, {"1.2.3.4", 5, 4},   {"7", 3, 7},  // past the dots: the rest again
        {"1.2.3.4", 0, 0}, {"1.2.3.4", -3, 0},                // no pass at all
        {"-25E-1", 1, -2}, {"32767", 1, 32767}, {"-32768", 1, -32768},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(std::string(c.testo) + " k=" + std::to_string(c.k));
        EXPECT_EQ(vqUtilitaProve::ParteVersione(c.testo, c.k), c.atteso);
    }
}

}  // namespace
