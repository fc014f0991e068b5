#include "json_righe.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ole/ole.hpp"
#include "vq/data.h"
#include "vq/errore.h"

namespace jetsql {
namespace {

std::string Numero(double d) {
    if (!std::isfinite(d)) return "null";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string Valuta(std::int64_t scalato) {
    bool negativo = scalato < 0;
    // |INT64_MIN| does not fit: work on the unsigned magnitude.
    std::uint64_t m =
        negativo ? 0 - static_cast<std::uint64_t>(scalato) : static_cast<std::uint64_t>(scalato);
    std::string s = std::to_string(m / 10000);
    std::uint64_t frazione = m % 10000;
    if (frazione) {
        char f[8];
        std::snprintf(f, sizeof f, "%04llu", static_cast<unsigned long long>(frazione));
        std::string fs = f;
        while (fs.back() == '0') fs.pop_back();
        s += "." + fs;
    }
    return (negativo ? "-" : "") + s;
}

}  // namespace

std::string StringaJson(std::string_view s) {
    // Through UTF-16 and back: every malformed sequence (overlong forms and encoded
    // surrogates included) becomes U+FFFD, so the text is valid UTF-8.
    const std::string testo = ole::Utf16InUtf8(ole::Utf8InUtf16(s));
    std::string out = "\"";
    for (char ch : testo) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string ValoreJson(const jet::Valore& v) {
    using T = jet::Valore::Tipo;
    switch (v.tipo) {
        case T::Null: return "null";
        case T::Booleano: return v.intero != 0 ? "true" : "false";
        case T::Byte:
        case T::Intero:
        case T::Lungo: return std::to_string(v.intero);
        case T::Valuta: return StringaJson(Valuta(v.intero));
        case T::Singolo:
        case T::Doppio: return Numero(v.reale);
        case T::Data: try { return StringaJson(vq::DataInIso(v.reale, true));
            } catch (const vq::Errore&) {
                vq::CancellaErrore();
                return "null";
            }
        case T::Testo: return StringaJson(v.testo);
        case T::Binario: {
            static constexpr char kHex[] = "0123456789abcdef";
            std::string h;
            for (char ch : v.testo) {
                const auto c = static_cast<unsigned char>(ch);
                h += kHex[c >> 4];
                h += kHex[c & 15];
            }
            return StringaJson(h);
        }
    }
    return "null";
}

std::string RigaJson(const std::vector<std::pair<std::string, jet::Valore>>& riga) {
    std::string s = "{";
    for (std::size_t i = 0; i < riga.size(); ++i) {
        if (i) s += ',';
        s += StringaJson(riga[i].first);
        s += ':';
        s += ValoreJson(riga[i].second);
    }
    return s + "}";
}

}  // namespace jetsql
