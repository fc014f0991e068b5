#include "jet/intestazione.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "jet/errori.h"
#include "ole/ole.hpp"

namespace jet {
namespace {

constexpr std::size_t kOffMagia = 4;
constexpr std::size_t kOffVersione = 0x14;
constexpr std::size_t kOffMascherato = 0x18;
constexpr std::size_t kLunMascheratoJet3 = 126;
constexpr std::size_t kLunMascheratoJet4 = 128;
constexpr std::size_t kOffCodePage = 0x3C;
constexpr std::size_t kOffChiave = 0x3E;
constexpr std::size_t kOffPassword = 0x42;
constexpr std::size_t kLunPasswordJet3 = 20;
constexpr std::size_t kLunPasswordJet4 = 40;
constexpr std::size_t kOffDataCreazione = 0x72;
constexpr std::array<std::uint8_t, 4> kChiaveMaschera{0xC7, 0xDA, 0x39, 0x6B};

// RC4 keystream XORed over `dati` (the header's mask; not a secret, a fixed key).
void Rc4(const std::uint8_t* chiave, std::size_t lunChiave, std::uint8_t* dati, std::size_t n) {
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    std::size_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = (j + s[i] + chiave[i % lunChiave]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::size_t a = 0;
    std::size_t b = 0;
    for (std::size_t k = 0; k < n; ++k) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        dati[k] ^= s[(s[a] + s[b]) & 0xFF];
    }
}

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double F64(const std::uint8_t* p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

// One converter per code page and thread: iconv descriptors are not thread-safe.
struct Convertitore {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    ~Convertitore() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

iconv_t ConvertitorePer(std::uint16_t codePage) {
    thread_local std::map<std::uint16_t, std::unique_ptr<Convertitore>> cache;
    auto& c = cache[codePage];
    if (!c) {
        c = std::make_unique<Convertitore>();
        std::string nome = "CP" + std::to_string(codePage == 0 ? 1252 : codePage);
        c->cd = iconv_open("UTF-8", nome.c_str());
        if (c->cd == reinterpret_cast<iconv_t>(-1)) c->cd = iconv_open("UTF-8", "CP1252");
    }
    return c->cd;
}

}  // namespace

std::string Utf16LeInUtf8(const std::uint8_t* dati, std::size_t lunghezza) {
    std::u16string unita(lunghezza / 2, u'\0');
    for (std::size_t i = 0; i < unita.size(); ++i)
        unita[i] = static_cast<char16_t>(U16(dati + 2 * i));
    return ole::Utf16InUtf8(unita);
}

std::string TestoJet4InUtf8(const std::uint8_t* dati, std::size_t lunghezza) {
    if (lunghezza < 2 || dati[0] != 0xFF || dati[1] != 0xFE) return Utf16LeInUtf8(dati, lunghezza);
    std::u16string unita;
    unita.reserve(lunghezza);
    bool compresso = true;
    std::size_t i = 2;
    while (i < lunghezza) {
        if (dati[i] == 0) {
            compresso = !compresso;
            ++i;
        } else if (compresso) {
            unita.push_back(dati[i]);
            ++i;
        } else if (i + 1 < lunghezza) {
            unita.push_back(static_cast<char16_t>(U16(dati + i)));
            i += 2;
        } else {
            break;  // an odd byte at the end of an uncompressed run: nothing left to read
        }
    }
    return ole::Utf16InUtf8(unita);
}

std::string CodePageInUtf8(const std::uint8_t* dati, std::size_t lunghezza,
                           std::uint16_t codePage) {
    bool ascii = true;
    for (std::size_t i = 0; i < lunghezza && ascii; ++i) ascii = dati[i] < 0x80;
    if (ascii) return std::string(reinterpret_cast<const char*>(dati), lunghezza);
    iconv_t cd = ConvertitorePer(codePage);
    // No converter at all: Latin-1 as the last resort.
    if (cd == reinterpret_cast<iconv_t>(-1))
        return ole::Utf16InUtf8(std::u16string(dati, dati + lunghezza));
    std::string out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string buffer(lunghezza * 4 + 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(dati));
    std::size_t restIn = lunghezza;
    while (restIn > 0) {
        char* outp = buffer.data();
        std::size_t restOut = buffer.size();
        std::size_t r = iconv(cd, &in, &restIn, &outp, &restOut);
        out.append(buffer.data(), buffer.size() - restOut);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out +=
                "\xEF\xBF\xBD";  // U+FFFD for a byte with no character (or a cut sequence): skip it
            ++in;
            --restIn;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

Intestazione LeggiIntestazione(const std::uint8_t* pagina, std::size_t lunghezza,
                               std::uint64_t dimensioneFile, std::string_view percorso) {
    if (dimensioneFile == 0) ErroreFormato(percorso, "il file è vuoto");
    if (lunghezza < kByteIntestazione || dimensioneFile < kByteIntestazione)
        ErroreFormato(percorso, "il file è troppo corto");
    static constexpr char kMagiaJet[] = "Standard Jet DB";
    static constexpr char kMagiaAce[] = "Standard ACE DB";
    if (pagina[0] != 0 || std::memcmp(pagina + kOffMagia, kMagiaJet, 15) != 0) {
        if (std::memcmp(pagina + kOffMagia, kMagiaAce, 15) == 0)
            ErroreFormato(percorso, "formato più recente di Jet 4");
        ErroreFormato(percorso);
    }
    Intestazione h;
    switch (pagina[kOffVersione]) {
        case 0:
            h.versione = VersioneJet::Jet3;
            h.dimensionePagina = 2048;
            break;
        case 1:
            h.versione = VersioneJet::Jet4;
            h.dimensionePagina = 4096;
            break;
        default: ErroreFormato(percorso, "formato più recente di Jet 4");
    }
    if (dimensioneFile % h.dimensionePagina != 0)
        ErroreDanneggiato(percorso, "la dimensione non è un numero intero di pagine");
    if (dimensioneFile < 2 * h.dimensionePagina) ErroreDanneggiato(percorso, "file troncato");

    std::array<std::uint8_t, kByteIntestazione> p{};
    std::memcpy(p.data(), pagina, kByteIntestazione);
    std::size_t lunMascherato =
        h.versione == VersioneJet::Jet3 ? kLunMascheratoJet3 : kLunMascheratoJet4;
    Rc4(kChiaveMaschera.data(), kChiaveMaschera.size(), p.data() + kOffMascherato, lunMascherato);

    h.codePage = U16(p.data() + kOffCodePage);
    h.chiaveDatabase = U32(p.data() + kOffChiave);
    if (h.chiaveDatabase != 0) ErroreFormato(percorso, "le pagine del database sono cifrate");

    if (h.versione == VersioneJet::Jet3) {
        std::size_t n = 0;
        while (n < kLunPasswordJet3 && p[kOffPassword + n] != 0) ++n;
        h.password = CodePageInUtf8(p.data() + kOffPassword, n, h.codePage);
    } else {
        h.dataCreazione = F64(p.data() + kOffDataCreazione);
        // The Jet 4 password is masked again with the four bytes of the creation date's
        // whole part (as a 32-bit integer); a date that has no such value gives no mask.
        std::int32_t intero = 0;
        if (h.dataCreazione > -2147483648.0 && h.dataCreazione < 2147483648.0)
            intero = static_cast<std::int32_t>(h.dataCreazione);
        std::uint32_t m = static_cast<std::uint32_t>(intero);
        // A field left all zero, without the mask, holds no password either.
        bool tuttoZero = true;
        for (std::size_t i = 0; i < kLunPasswordJet4; ++i)
            tuttoZero = tuttoZero && p[kOffPassword + i] == 0;
        if (tuttoZero) m = 0;
        std::array<std::uint8_t, kLunPasswordJet4> pw{};
        for (std::size_t i = 0; i < pw.size(); ++i)
            pw[i] = static_cast<std::uint8_t>(p[kOffPassword + i] ^ ((m >> (8 * (i % 4))) & 0xFF));
        std::size_t n = 0;
        while (n + 1 < pw.size() && (pw[n] != 0 || pw[n + 1] != 0)) n += 2;
        h.password = Utf16LeInUtf8(pw.data(), n);
    }
    return h;
}

std::string PasswordDaConnect(std::string_view connect) {
    std::size_t i = 0;
    while (i <= connect.size()) {
        std::size_t fine = connect.find(';', i);
        if (fine == std::string_view::npos) fine = connect.size();
        std::string_view parte = connect.substr(i, fine - i);
        std::size_t uguale = parte.find('=');
        if (uguale != std::string_view::npos) {
            std::string_view chiave = parte.substr(0, uguale);
            while (!chiave.empty() && chiave.front() == ' ') chiave.remove_prefix(1);
            while (!chiave.empty() && chiave.back() == ' ') chiave.remove_suffix(1);
            if (chiave.size() == 3 && (chiave[0] | 0x20) == 'p' && (chiave[1] | 0x20) == 'w' &&
                (chiave[2] | 0x20) == 'd')
                return std::string(parte.substr(uguale + 1));
        }
        i = fine + 1;
    }
    return {};
}

void VerificaPassword(const Intestazione& intestazione, std::string_view connect) {
    if (intestazione.password.empty()) return;
    if (PasswordDaConnect(connect) != intestazione.password) ErrorePassword();
}

}  // namespace jet
