#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "jet/errori.h"
#include "jet/intestazione.h"
#include "jet_prova.h"
#include "vq/errore.h"

namespace {

struct Pagina0 {
    int versione = 0;  // byte at 0x14
    const char* magia = "Standard Jet DB";
    std::uint16_t codePage = 1252;
    std::uint32_t chiave = 0;
    std::vector<std::uint8_t> password{};  // bytes as stored before the Jet 4 date mask
    double data = 0;
    bool mascheraData = true;  // Jet 4: the password field is masked with the date
};

// Page 0 as a Jet writer lays it out.
std::vector<std::uint8_t> Costruisci(const Pagina0& d) {
    std::vector<std::uint8_t> p(4096, 0);
    std::memcpy(p.data() + 4, d.magia, 15);
    p[0x14] = static_cast<std::uint8_t>(d.versione);
    std::memcpy(p.data() + 0x3C, &d.codePage, 2);
    std::memcpy(p.data() + 0x3E, &d.chiave, 4);
    std::memcpy(p.data() + 0x72, &d.data, 8);
    std::vector<std::uint8_t> pw = d.password;
    if (d.versione == 1 && d.mascheraData) {
        pw.resize(40, 0);  // the whole field is masked, padding included
        const auto m = static_cast<std::uint32_t>(static_cast<std::int32_t>(d.data));
        for (std::size_t i = 0; i < pw.size(); ++i)
            pw[i] ^= static_cast<std::uint8_t>(m >> (8 * (i % 4)));
    }
    std::copy(pw.begin(), pw.end(), p.begin() + 0x42);
    prova::MascheraIntestazione(p.data(), d.versione == 0 ? 126 : 128);
    return p;
}

std::vector<std::uint8_t> Utf16(std::u16string_view s) {
    std::vector<std::uint8_t> b;
    for (char16_t c : s)
        b.insert(b.end(), {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>(c >> 8)});
    return b;
}

TEST(Intestazione, RifiutaCioCheNonEJet3OJet4) {
    struct Caso {
        const char* nome;
        Pagina0 pagina;
        std::uint64_t dimensione;
        int atteso;
        std::size_t lunghezza = 4096;  // bytes of page 0 handed over
    };
    const Caso casi[] = {
        {"file vuoto", {}, 0, jet::kErrFormato},
        {"formato ACE", {.versione = 2, .magia = "Standard ACE DB"}, 8192, jet::kErrFormato},
        {"versione successiva", {.versione = 3}, 8192, jet::kErrFormato},
        {"magia diversa", {.magia = "Standard Xet DB"}, 8192, jet::kErrFormato},
        {"pagine cifrate", {.chiave = 0x12345678}, 8192, jet::kErrFormato},
        {"non un numero intero di pagine", {}, 8192 + 100, jet::kErrDanneggiato},
        {"una sola pagina", {}, 2048, jet::kErrDanneggiato},
        {"jet 3 sano", {}, 8192, 0},
        // Exactly n bytes are copied: the sanitizers catch any read past them.
        {"nessun byte", {}, 8192, jet::kErrFormato, 0},
        {"20 byte", {}, 8192, jet::kErrFormato, 20},
        {"un byte di meno", {}, 8192, jet::kErrFormato, jet::kByteIntestazione - 1},
    };
    for (const auto& c : casi) {
        const auto p = Costruisci(c.pagina);
        const std::vector<std::uint8_t> esatta(
            p.begin(), p.begin() + static_cast<std::ptrdiff_t>(c.lunghezza));
        int numero = 0;
        try {
            jet::LeggiIntestazione(esatta.data(), esatta.size(), c.dimensione, "x.mdb");
        } catch (const vq::Errore& e) {
            EXPECT_FALSE(e.descrizione().empty());
            numero = e.numero();
        }
        EXPECT_EQ(numero, c.atteso) << c.nome;
    }
}

TEST(Intestazione, VersioneEPassword) {
    std::vector<std::uint8_t> segreto = {'S', 'e', 'g', 'r', 'e', 't', 'o', 0xA3, '9', '7'};
    struct Caso {
        const char* nome;
        Pagina0 pagina;
        const char* password;
    };
    const Caso casi[] = {
        {"jet 3 nel code page", {.password = segreto}, "Segreto\u00A397"},
        // Twenty characters fill the field with no terminating zero.
        {"jet 3 di venti caratteri",
         {.password = std::vector<std::uint8_t>(20, 'x')},
         "xxxxxxxxxxxxxxxxxxxx"},
        // The whole part of the date, 38353, masks the password.
        {"jet 4 mascherata con la data",
         {.versione = 1, .password = Utf16(u"pàss€"), .data = 38353.75},
         "p\u00E0ss\u20AC"},
        {"jet 4 senza", {.versione = 1, .data = 38353.75}, ""},
        // A field left all zero (not masked) by a writer also means no password.
        {"jet 4 campo a zero", {.versione = 1, .data = 38353.75, .mascheraData = false}, ""},
    };
    for (const auto& c : casi) {
        auto h = jet::LeggiIntestazione(Costruisci(c.pagina).data(), 4096, 8192, "x");
        const bool jet4 = c.pagina.versione == 1;
        EXPECT_EQ(h.versione, jet4 ? jet::VersioneJet::Jet4 : jet::VersioneJet::Jet3) << c.nome;
        EXPECT_EQ(h.dimensionePagina, jet4 ? 4096u : 2048u) << c.nome;
        EXPECT_EQ(h.password, c.password) << c.nome;
        if (jet4) {
            EXPECT_DOUBLE_EQ(h.dataCreazione, 38353.75) << c.nome;
        } else {
            EXPECT_EQ(h.codePage, 1252) << c.nome;
        }
    }
}

// Whether a password opens a file is checked through the engine, on real files.
TEST(Intestazione, PasswordDelConnect) {
    struct Caso {
        const char* connect;
        const char* password;
    };
    const Caso casi[] = {
        {";Pwd=604kmr73", "604kmr73"},
        {";PWD=a=b;", "a=b"},
        {"MS Access; pwd =x", "x"},
        {"", ""},
        {";Uid=admin", ""},
        {";Pwd=", ""},
    };
    for (const auto& c : casi)
        EXPECT_EQ(jet::PasswordDaConnect(c.connect), c.password) << c.connect;
}

TEST(Intestazione, TestoJet4ECodePage) {
    struct Caso {
        std::vector<std::uint8_t> byte;
        const char* atteso;
    };
    const Caso casi[] = {
        {{'C', 0, 'i', 0, 'a', 0, 'o', 0}, "Ciao"},
        {{0xFF, 0xFE, 'a', 'b', 'c'}, "abc"},
        // compressed run, then a 00 switches to UTF-16 pairs (€ = AC 20)
        {{0xFF, 0xFE, 'E', 0x00, 0xAC, 0x20, 0x00, 'x'}, "E\u20ACx"},
        {{0xFF, 0xFE, 0xE8}, "\u00E8"},
        {{0xFF, 0xFE, 0x00, 'a'}, ""},             // odd byte at the end of a UTF-16 run
        {{0x3D, 0xD8, 0x00, 0xDE}, "\U0001F600"},  // surrogate pair
        {{0x3D, 0xD8, 'a', 0}, "\uFFFDa"},         // unpaired surrogate
        {{'a', 0, 'b'}, "a"},                      // odd length
    };
    for (const auto& c : casi)
        EXPECT_EQ(jet::TestoJet4InUtf8(c.byte.data(), c.byte.size()), c.atteso);
    const std::uint8_t cp[] = {'C', 'a', 'f', 0xE8, ' ', 0x80};
    EXPECT_EQ(jet::CodePageInUtf8(cp, sizeof cp, 1252), "Caf\u00E8 \u20AC");
    const std::uint8_t cp1251[] = {0xC0};
    EXPECT_EQ(jet::CodePageInUtf8(cp1251, 1, 1251), "\u0410");
    EXPECT_EQ(jet::CodePageInUtf8(cp1251, 1, 0), "\u00C0");  // no code page: 1252
}

}  // namespace
