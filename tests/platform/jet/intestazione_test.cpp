#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "jet/errori.h"
#include "jet/intestazione.h"
#include "vq/errore.h"

namespace {

// Masks the header area the way a Jet writer does (RC4 with the fixed key C7 DA 39 6B),
// written here from the algorithm's definition, independently of the engine's code.
void Maschera(std::vector<std::uint8_t>& p, std::size_t n) {
    const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) % 256;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) % 256;
        j = (j + s[i]) % 256;
        std::swap(s[i], s[j]);
        p[0x18 + k] ^= s[(s[i] + s[j]) % 256];
    }
}

struct Pagina0 {
    int versione = 0;  // byte at 0x14
    const char* magia = "Standard Jet DB";
    std::uint16_t codePage = 1252;
    std::uint32_t chiave = 0;
    std::vector<std::uint8_t> password;  // bytes as stored before the Jet 4 date mask
    double data = 0;
};

std::vector<std::uint8_t> Costruisci(const Pagina0& d) {
    std::vector<std::uint8_t> p(4096, 0);
    std::memcpy(p.data() + 4, d.magia, 15);
    p[0x14] = static_cast<std::uint8_t>(d.versione);
    p[0x3C] = static_cast<std::uint8_t>(d.codePage & 0xFF);
    p[0x3D] = static_cast<std::uint8_t>(d.codePage >> 8);
    for (int i = 0; i < 4; ++i) p[0x3E + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(d.chiave >> (8 * i));
    std::memcpy(p.data() + 0x72, &d.data, 8);
    std::vector<std::uint8_t> pw = d.password;
    if (d.versione == 1) {
        pw.resize(40, 0);  // the whole field is masked, padding included
        std::int32_t m = static_cast<std::int32_t>(d.data);
        for (std::size_t i = 0; i < pw.size(); ++i) pw[i] ^= static_cast<std::uint8_t>(static_cast<std::uint32_t>(m) >> (8 * (i % 4)));
    }
    std::copy(pw.begin(), pw.end(), p.begin() + 0x42);
    Maschera(p, d.versione == 0 ? 126 : 128);
    return p;
}

int NumeroErrore(const std::vector<std::uint8_t>& p, std::uint64_t dimensione) {
    try {
        jet::LeggiIntestazione(p.data(), p.size(), dimensione, "x.mdb");
    } catch (const vq::Errore& e) {
        EXPECT_FALSE(e.descrizione().empty());
        return e.numero();
    }
    return 0;
}

TEST(Intestazione, RifiutaCioCheNonEJet3OJet4) {
    struct Caso {
        const char* nome;
        Pagina0 pagina;
        std::uint64_t dimensione;
        int atteso;
    };
    Pagina0 ace;
    ace.magia = "Standard ACE DB";
    ace.versione = 2;
    Pagina0 nuova;
    nuova.versione = 3;
    Pagina0 altro;
    altro.magia = "Standard Xet DB";
    Pagina0 cifrato;
    cifrato.chiave = 0x12345678;
    const Caso casi[] = {
        {"file vuoto", Pagina0{}, 0, jet::kErrFormato},
        {"formato ACE", ace, 8192, jet::kErrFormato},
        {"versione successiva", nuova, 8192, jet::kErrFormato},
        {"magia diversa", altro, 8192, jet::kErrFormato},
        {"pagine cifrate", cifrato, 8192, jet::kErrFormato},
        {"non un numero intero di pagine", Pagina0{}, 8192 + 100, jet::kErrDanneggiato},
        {"una sola pagina", Pagina0{}, 2048, jet::kErrDanneggiato},
        {"jet 3 sano", Pagina0{}, 8192, 0},
    };
    for (const auto& c : casi) EXPECT_EQ(NumeroErrore(Costruisci(c.pagina), c.dimensione), c.atteso) << c.nome;
}

TEST(Intestazione, PaginaTroncataNonLeggeOltre) {
    auto p = Costruisci(Pagina0{});
    for (std::size_t n : {std::size_t{0}, std::size_t{4}, std::size_t{20}, jet::kByteIntestazione - 1}) {
        std::vector<std::uint8_t> corta(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n));
        // A copy of exactly n bytes: the sanitizers catch any read past it.
        try {
            jet::LeggiIntestazione(corta.data(), corta.size(), 8192, "x.mdb");
            ADD_FAILURE() << n;
        } catch (const vq::Errore& e) {
            EXPECT_EQ(e.numero(), jet::kErrFormato) << n;
        }
    }
}

TEST(Intestazione, PasswordJet3NelCodePage) {
    Pagina0 d;
    d.password = {'S', 'e', 'g', 'r', 'e', 't', 'o', 0xA3, '9', '7'};
    auto h = jet::LeggiIntestazione(Costruisci(d).data(), 4096, 8192, "x");
    EXPECT_EQ(h.versione, jet::VersioneJet::Jet3);
    EXPECT_EQ(h.dimensionePagina, 2048u);
    EXPECT_EQ(h.codePage, 1252);
    EXPECT_EQ(h.password, "Segreto\u00A397");
    // Twenty characters fill the field with no terminating zero.
    d.password.assign(20, 'x');
    EXPECT_EQ(jet::LeggiIntestazione(Costruisci(d).data(), 4096, 8192, "x").password, std::string(20, 'x'));
}

TEST(Intestazione, PasswordJet4MascherataConLaData) {
    Pagina0 d;
    d.versione = 1;
    d.data = 38353.75;  // the whole part, 38353, masks the password
    const std::u16string pw = u"pàss€";
    for (char16_t c : pw) {
        d.password.push_back(static_cast<std::uint8_t>(c & 0xFF));
        d.password.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    auto h = jet::LeggiIntestazione(Costruisci(d).data(), 4096, 8192, "x");
    EXPECT_EQ(h.versione, jet::VersioneJet::Jet4);
    EXPECT_EQ(h.dimensionePagina, 4096u);
    EXPECT_EQ(h.password, "p\u00E0ss\u20AC");
    EXPECT_DOUBLE_EQ(h.dataCreazione, 38353.75);
    d.password.clear();
    EXPECT_EQ(jet::LeggiIntestazione(Costruisci(d).data(), 4096, 8192, "x").password, "");
    // A field left all zero (not masked) by a writer also means no password.
    auto p = Costruisci(d);
    Pagina0 zero;
    zero.versione = 1;
    zero.data = 0;
    auto senzaMaschera = Costruisci(zero);
    std::memcpy(senzaMaschera.data() + 0x72, p.data() + 0x72, 8);  // a real date, zero password bytes
    EXPECT_EQ(jet::LeggiIntestazione(senzaMaschera.data(), 4096, 8192, "x").password, "");
}

TEST(Intestazione, ConnectEPassword) {
    struct Caso {
        const char* connect;
        const char* password;
    };
    const Caso casi[] = {
        {";Pwd=604kmr73", "604kmr73"}, {";PWD=a=b;", "a=b"}, {"MS Access; pwd =x", "x"},
        {"", ""},                      {";Uid=admin", ""},   {";Pwd=", ""},
    };
    for (const auto& c : casi) EXPECT_EQ(jet::PasswordDaConnect(c.connect), c.password) << c.connect;

    jet::Intestazione con;
    con.password = "Segreto";
    EXPECT_NO_THROW(jet::VerificaPassword(con, ";Pwd=Segreto"));
    for (const char* sbagliata : {";Pwd=segreto", ";Pwd=", "", ";Pwd=Segreto "}) {
        try {
            jet::VerificaPassword(con, sbagliata);
            ADD_FAILURE() << sbagliata;
        } catch (const vq::Errore& e) {
            EXPECT_EQ(e.numero(), jet::kErrPassword);
        }
    }
    jet::Intestazione senza;
    EXPECT_NO_THROW(jet::VerificaPassword(senza, ";Pwd=qualsiasi"));
    EXPECT_NO_THROW(jet::VerificaPassword(senza, ""));
}

TEST(Intestazione, TestoJet4) {
    struct Caso {
        std::vector<std::uint8_t> byte;
        const char* atteso;
    };
    const Caso casi[] = {
        {{'C', 0, 'i', 0, 'a', 0, 'o', 0}, "Ciao"},
        {{0xFF, 0xFE, 'a', 'b', 'c'}, "abc"},
        // compressed run, then a 00 switches to UTF-16 pairs (é = E9 00, € = AC 20)
        {{0xFF, 0xFE, 'E', 0x00, 0xAC, 0x20, 0x00, 'x'}, "E\u20ACx"},
        {{0xFF, 0xFE, 0xE8}, "\u00E8"},
        {{0xFF, 0xFE, 0x00, 'a'}, ""},                    // odd byte at the end of a UTF-16 run
        {{0x3D, 0xD8, 0x00, 0xDE}, "\U0001F600"},         // surrogate pair
        {{0x3D, 0xD8, 'a', 0}, "\uFFFDa"},               // unpaired surrogate
        {{'a', 0, 'b'}, "a"},                             // odd length
    };
    for (const auto& c : casi) EXPECT_EQ(jet::TestoJet4InUtf8(c.byte.data(), c.byte.size()), c.atteso);
    const std::uint8_t cp[] = {'C', 'a', 'f', 0xE8, ' ', 0x80};
    EXPECT_EQ(jet::CodePageInUtf8(cp, sizeof cp, 1252), "Caf\u00E8 \u20AC");
    const std::uint8_t cp1251[] = {0xC0};
    EXPECT_EQ(jet::CodePageInUtf8(cp1251, 1, 1251), "\u0410");
    EXPECT_EQ(jet::CodePageInUtf8(cp1251, 1, 0), "\u00C0");  // no code page: 1252
}

// The real samples: format, code page and password as their README states them.
TEST(Intestazione, CampioniReali) {
    const char* dir = std::getenv("VQ_SHARED_DIR");
    if (!dir || !std::filesystem::exists(std::filesystem::path(dir) / "jet-samples"))
        GTEST_SKIP() << "cartella dei campioni assente (VQ_SHARED_DIR)";
    struct Caso {
        const char* file;
        jet::VersioneJet versione;
        const char* password;
    };
    const Caso casi[] = {
        {"types-jet3.mdb", jet::VersioneJet::Jet3, ""},
        {"password-jet3.mdb", jet::VersioneJet::Jet3, "Segreto\u00A397"},
        {"types-jet4.mdb", jet::VersioneJet::Jet4, ""},
        {"password-jet4.mdb", jet::VersioneJet::Jet4, "password"},
        {"nwind-jet3.mdb", jet::VersioneJet::Jet3, ""},
    };
    for (const auto& c : casi) {
        auto percorso = std::filesystem::path(dir) / "jet-samples" / c.file;
        std::ifstream f(percorso, std::ios::binary);
        std::vector<std::uint8_t> p(jet::kByteIntestazione);
        f.read(reinterpret_cast<char*>(p.data()), static_cast<std::streamsize>(p.size()));
        auto h = jet::LeggiIntestazione(p.data(), p.size(), std::filesystem::file_size(percorso), c.file);
        EXPECT_EQ(h.versione, c.versione) << c.file;
        EXPECT_EQ(h.password, c.password) << c.file;
        EXPECT_EQ(h.codePage, 1252) << c.file;
    }
}

}  // namespace
