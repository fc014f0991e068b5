#include "interno.h"

#include <vq/errore.h>

#include <cerrno>
#include <cstdio>
#include <iconv.h>

namespace jetwriter::interno {

namespace {

// Decode one UTF-8 sequence at `i`; returns the code point or -1 for malformed input.
std::int32_t LeggiUtf8(std::string_view s, std::size_t& i) {
    const auto c0 = static_cast<unsigned char>(s[i]);
    if (c0 < 0x80) {
        ++i;
        return c0;
    }
    int extra = 0;
    std::int32_t cp = 0;
    std::int32_t minimo = 0;
    if ((c0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = c0 & 0x1F;
        minimo = 0x80;
    } else if ((c0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = c0 & 0x0F;
        minimo = 0x800;
    } else if ((c0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = c0 & 0x07;
        minimo = 0x10000;
    } else {
        return -1;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return -1;
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimo || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

}  // namespace

std::size_t ContaCaratteri(std::string_view utf8) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        if (LeggiUtf8(utf8, i) < 0) ++i;
        ++n;
    }
    return n;
}

namespace {

std::string DescriviCarattere(std::int32_t cp) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

bool SoloAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

Codificatore::Codificatore(Formato formato, int codePage) : formato_(formato), codePage_(codePage) {
    if (formato_ == Formato::Jet3) {
        const std::string nome = "CP" + std::to_string(codePage);
        iconv_t cd = iconv_open(nome.c_str(), "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            vq::Solleva(kErrSpecifica, "Code page " + std::to_string(codePage) + " non supportato");
        }
        iconv_ = cd;
    }
}

Codificatore::~Codificatore() {
    if (iconv_ != nullptr) iconv_close(static_cast<iconv_t>(iconv_));
}

std::size_t Codificatore::Unita(std::size_t byteCodificati) const {
    return formato_ == Formato::Jet4 ? byteCodificati / 2 : byteCodificati;
}

bool Codificatore::Codifica(std::string_view utf8, Bytes& out, std::string& problema) {
    const std::size_t inizio = out.size();
    if (formato_ == Formato::Jet4) {
        out.reserve(inizio + utf8.size() * 2);
        for (std::size_t i = 0; i < utf8.size();) {
            const std::size_t pos = i;
            const std::int32_t cp = LeggiUtf8(utf8, i);
            if (cp < 0) {
                out.resize(inizio);
                problema = "testo UTF-8 non valido al byte " + std::to_string(pos + 1);
                return false;
            }
            auto unita = [&](std::uint32_t u) {
                out.push_back(static_cast<Byte>(u & 0xFF));
                out.push_back(static_cast<Byte>(u >> 8));
            };
            if (cp >= 0x10000) {
                const auto v = static_cast<std::uint32_t>(cp - 0x10000);
                unita(0xD800 + (v >> 10));
                unita(0xDC00 + (v & 0x3FF));
            } else {
                unita(static_cast<std::uint32_t>(cp));
            }
        }
        return true;
    }
    // Jet 3: the code page. ASCII passes unchanged in every code page Jet 3 uses.
    if (SoloAscii(utf8)) {
        out.insert(out.end(), utf8.begin(), utf8.end());
        return true;
    }
    // Validate first, so that a malformed sequence is told apart from an unencodable one.
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t pos = i;
        if (LeggiUtf8(utf8, i) < 0) {
            problema = "testo UTF-8 non valido al byte " + std::to_string(pos + 1);
            return false;
        }
    }
    auto cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(inizio + utf8.size() * 4 + 8);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dst = reinterpret_cast<char*>(out.data() + inizio);
    std::size_t outLeft = out.size() - inizio;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            const auto fatto = static_cast<std::size_t>(in - utf8.data());
            std::size_t j = fatto;
            const std::int32_t cp = (errno == EILSEQ && j < utf8.size()) ? LeggiUtf8(utf8, j) : -1;
            out.resize(inizio);
            if (cp >= 0) {
                problema = "il carattere " + DescriviCarattere(cp) + " (\"" +
                           std::string(utf8.substr(fatto, j - fatto)) +
                           "\") non esiste nel code page " + std::to_string(codePage_);
            } else {
                problema = "testo non convertibile nel code page " + std::to_string(codePage_);
            }
            return false;
        }
    }
    // Flush any shift state (none for the single-byte code pages, harmless otherwise).
    iconv(cd, nullptr, nullptr, &dst, &outLeft);
    out.resize(static_cast<std::size_t>(reinterpret_cast<Byte*>(dst) - out.data()));
    return true;
}

}  // namespace jetwriter::interno
