// Numeric conversions with the automation runtime's semantics: banker's rounding,
// narrowing with overflow, number-to-text and the lenient numeric reader.
#include "vq/conversioni.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

#include "vq/errore.h"

namespace vq {

namespace {

// The decimal form of x with 15 significant digits: the digits (no trailing zeros, at
// least one) and the decimal exponent of the first one. x must be finite and non-zero.
struct Decimale {
    std::string cifre;
    int esponente = 0;
};

Decimale Scomponi15(double x) {
    char buf[64];
    // The shortest digits that read back as x, when there are at most 15 of them, are
    // the 15-digit rounding itself (the double lies closer to them than half a step of
    // the 15th digit), and they come much cheaper; otherwise round to 15 digits.
    auto [fine, ec] =
        std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    (void)ec;                                  // 64 bytes always hold "d.dddddddddddddddde+ddd"
    if (std::find(buf, fine, 'e') - buf > 16)  // "d." and more than 14 further digits
        fine = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14)
                   .ptr;
    Decimale d;
    const char* p = buf;
    for (; p < fine && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') d.cifre.push_back(*p);
    }
    if (p < fine) {
        ++p;  // 'e'
        int segno = 1;
        if (p < fine && (*p == '+' || *p == '-')) {
            if (*p == '-') segno = -1;
            ++p;
        }
        int e = 0;
        for (; p < fine; ++p) e = e * 10 + (*p - '0');
        d.esponente = segno * e;
    }
    while (d.cifre.size() > 1 && d.cifre.back() == '0') d.cifre.pop_back();
    return d;
}

double DaTesto(const std::string& testo) {
    double v = 0;
    std::from_chars(testo.data(), testo.data() + testo.size(), v);
    return v;
}

bool Spazio(char c) { return c == ' ' || c == '\t' || c == '\n'; }

}  // namespace

double ArrotondaPari(double x) {
    if (!std::isfinite(x)) return x;
    const double giu = std::floor(x);
    const double resto = x - giu;
    double r;
    if (resto > 0.5) {
        r = giu + 1.0;
    } else if (resto < 0.5) {
        r = giu;
    } else {
        r = std::fmod(giu, 2.0) == 0.0 ? giu : giu + 1.0;
    }
    return r == 0.0 ? 0.0 : r;  // no negative zero
}

double ArrotondaPari(double x, int decimali) {
    if (decimali < 0) Solleva(kErrChiamataNonValida);
    if (decimali == 0) return ArrotondaPari(x);
    if (!std::isfinite(x) || x == 0.0) return x;
    if (decimali > 15) decimali = 15;

    // Work on the decimal digits the number prints with, so that a value written 0.125
    // is a tie even though its binary neighbour may lie a hair off it.
    const Decimale d = Scomponi15(x);
    if (d.esponente >= 15) return x;  // no decimals to round at this size
    const long tenute = static_cast<long>(d.esponente) + 1 + decimali;  // digits kept
    if (tenute >= static_cast<long>(d.cifre.size())) {
        // Nothing to drop among the digits the number prints with: the result is the
        // number as written (0.1 + 0.2 to 15 places is 0.3).
        return DaTesto((x < 0 ? "-0." : "0.") + d.cifre + "e" + std::to_string(d.esponente + 1));
    }
    if (tenute < 0) return 0.0;

    const auto n = static_cast<std::size_t>(tenute);
    const char prima = d.cifre[n];
    bool su;
    if (prima > '5') {
        su = true;
    } else if (prima < '5') {
        su = false;
    } else if (d.cifre.find_first_not_of('0', n + 1) != std::string::npos) {
        su = true;
    } else {
        const int ultima = n == 0 ? 0 : d.cifre[n - 1] - '0';
        su = (ultima % 2) != 0;
    }

    std::string cifre = d.cifre.substr(0, n);
    int esponente = d.esponente;
    if (cifre.empty()) {
        if (!su) return 0.0;
        cifre = "1";
        esponente = d.esponente + 1;
    } else if (su) {
        std::size_t i = cifre.size();
        while (i > 0) {
            --i;
            if (cifre[i] == '9') {
                cifre[i] = '0';
                if (i == 0) {
                    cifre.insert(cifre.begin(), '1');
                    ++esponente;
                }
            } else {
                ++cifre[i];
                break;
            }
        }
    }
    std::string testo = (x < 0 ? "-0." : "0.") + cifre + "e" + std::to_string(esponente + 1);
    return DaTesto(testo);
}

std::int16_t CInt(double x) {
    if (std::isnan(x)) Solleva(kErrOverflow);
    const double r = ArrotondaPari(x);
    if (r < -32768.0 || r > 32767.0) Solleva(kErrOverflow);
    return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double x) {
    if (std::isnan(x)) Solleva(kErrOverflow);
    const double r = ArrotondaPari(x);
    if (r < -2147483648.0 || r > 2147483647.0) Solleva(kErrOverflow);
    return static_cast<std::int32_t>(r);
}

std::int16_t CInt(std::int64_t x) {
    if (x < std::numeric_limits<std::int16_t>::min() ||
        x > std::numeric_limits<std::int16_t>::max())
        Solleva(kErrOverflow);
    return static_cast<std::int16_t>(x);
}

std::int32_t CLng(std::int64_t x) {
    if (x < std::numeric_limits<std::int32_t>::min() ||
        x > std::numeric_limits<std::int32_t>::max())
        Solleva(kErrOverflow);
    return static_cast<std::int32_t>(x);
}

std::string TestoNumero(double x) {
    if (std::isnan(x)) return "1.#QNAN";
    if (std::isinf(x)) return x < 0 ? "-1.#INF" : "1.#INF";
    if (x == 0.0) return "0";

    // Amounts to the cent, the bulk of what is written: when x is the double nearest to
    // c / 100 for a whole c of at most 15 digits, those digits are its 15-digit rounding.
    if (const double centesimi = x * 100.0; std::fabs(centesimi) < 1e15) {
        const std::int64_t c = std::llround(centesimi);
        if (static_cast<double>(c) / 100.0 == x) {
            const std::uint64_t assoluto =
                c < 0 ? static_cast<std::uint64_t>(-c) : static_cast<std::uint64_t>(c);
            std::string s = c < 0 ? "-" : "";
            s += std::to_string(assoluto / 100);
            if (const auto resto = static_cast<char>(assoluto % 100); resto != 0) {
                s += '.';
                s += static_cast<char>('0' + resto / 10);
                if (resto % 10 != 0) s += static_cast<char>('0' + resto % 10);
            }
            return s;
        }
    }

    const Decimale d = Scomponi15(x);
    std::string s = x < 0 ? "-" : "";
    const int e = d.esponente;
    const auto nc = static_cast<int>(d.cifre.size());
    // Plain notation from 1e-4 up to 15 integer digits; an exponent outside that.
    if (e >= -4 && e < 15) {
        if (e >= 0) {
            if (nc <= e + 1) {
                s += d.cifre;
                s.append(static_cast<std::size_t>(e + 1 - nc), '0');
            } else {
                s += d.cifre.substr(0, static_cast<std::size_t>(e + 1));
                s += '.';
                s += d.cifre.substr(static_cast<std::size_t>(e + 1));
            }
        } else {
            s += "0.";
            s.append(static_cast<std::size_t>(-e - 1), '0');
            s += d.cifre;
        }
        return s;
    }
    s += d.cifre[0];
    if (nc > 1) {
        s += '.';
        s += d.cifre.substr(1);
    }
    s += e < 0 ? "E-" : "E+";
    const int ae = e < 0 ? -e : e;
    if (ae < 10) s += '0';
    s += std::to_string(ae);
    return s;
}

std::string StrNumero(double x) {
    std::string s = TestoNumero(x);
    if (s[0] != '-') s.insert(s.begin(), ' ');
    return s;
}

double Val(std::string_view testo) {
    std::size_t i = 0;
    const std::size_t n = testo.size();
    auto salta = [&] {
        while (i < n && Spazio(testo[i])) ++i;
    };
    salta();
    if (i >= n) return 0.0;

    // "&H" hexadecimal and "&O" octal: 16 bits when they fit in four hex digits
    // (six octal digits up to 177777), else 32 bits, two's complement in both cases.
    if (testo[i] == '&' && i + 1 < n) {
        const char tipo = testo[i + 1];
        const bool esa = tipo == 'H' || tipo == 'h';
        const bool ott = tipo == 'O' || tipo == 'o';
        if (!esa && !ott) return 0.0;
        i += 2;
        std::uint64_t v = 0;
        int significative = 0;
        for (;; ++i) {
            salta();
            if (i >= n) break;
            const char c = testo[i];
            int cifra;
            if (c >= '0' && c <= '9') {
                cifra = c - '0';
            } else if (esa && c >= 'a' && c <= 'f') {
                cifra = c - 'a' + 10;
            } else if (esa && c >= 'A' && c <= 'F') {
                cifra = c - 'A' + 10;
            } else {
                break;
            }
            if (ott && cifra > 7) break;
            if (v == 0 && cifra == 0) continue;  // leading zeros
            ++significative;
            v = v * (esa ? 16u : 8u) + static_cast<unsigned>(cifra);
            if (v > 0xFFFFFFFFull) Solleva(kErrOverflow);
        }
        const bool corto = esa ? significative <= 4 : v <= 0xFFFFu;
        if (corto)
            return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
        return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    }

    std::string numero;
    if (testo[i] == '+' || testo[i] == '-') {
        if (testo[i] == '-') numero += '-';
        ++i;
    }
    std::string intera, frazione;
    for (; i < n; ++i) {
        salta();
        if (i >= n || testo[i] < '0' || testo[i] > '9') break;
        intera += testo[i];
    }
    if (i < n && testo[i] == '.') {
        ++i;
        for (; i < n; ++i) {
            salta();
            if (i >= n || testo[i] < '0' || testo[i] > '9') break;
            frazione += testo[i];
        }
    }
    if (intera.empty() && frazione.empty()) return 0.0;

    long esponente = 0;
    if (i < n && (testo[i] == 'E' || testo[i] == 'e' || testo[i] == 'D' || testo[i] == 'd')) {
        std::size_t j = i + 1;
        int segno = 1;
        while (j < n && Spazio(testo[j])) ++j;
        if (j < n && (testo[j] == '+' || testo[j] == '-')) {
            if (testo[j] == '-') segno = -1;
            ++j;
        }
        long e = 0;
        bool cifre = false;
        for (; j < n; ++j) {
            while (j < n && Spazio(testo[j])) ++j;
            if (j >= n || testo[j] < '0' || testo[j] > '9') break;
            cifre = true;
            if (e < 100000) e = e * 10 + (testo[j] - '0');
        }
        if (cifre) esponente = segno * e;
    }

    numero += intera.empty() ? "0" : intera;
    if (!frazione.empty()) numero += "." + frazione;
    numero += "e" + std::to_string(esponente);

    double v = 0;
    auto [p, ec] = std::from_chars(numero.data(), numero.data() + numero.size(), v);
    (void)p;
    if (ec == std::errc::result_out_of_range) {
        // Too large is an overflow; too small reads as zero.
        const std::string tutte = intera + frazione;
        const std::size_t primo = tutte.find_first_not_of('0');
        if (primo == std::string::npos) return 0.0;
        const long posto = static_cast<long>(intera.size()) - 1 - static_cast<long>(primo);
        if (posto + esponente > 0) Solleva(kErrOverflow);
        return 0.0;
    }
    return v == 0.0 ? 0.0 : v;
}

double NumeroDaTesto(std::string_view testo) {
    auto bianco = [](char c) { return c == ' ' || c == '\t'; };
    while (!testo.empty() && bianco(testo.front())) testo.remove_prefix(1);
    while (!testo.empty() && bianco(testo.back())) testo.remove_suffix(1);
    if (testo.empty()) Solleva(kErrTipo);

    bool valido;
    if (testo.size() >= 2 && testo[0] == '&') {
        const char tipo = testo[1];
        const bool esa = tipo == 'H' || tipo == 'h';
        const bool ott = tipo == 'O' || tipo == 'o';
        valido = (esa || ott) && testo.size() > 2;
        for (std::size_t i = 2; valido && i < testo.size(); ++i) {
            const char c = testo[i];
            valido =
                ott ? (c >= '0' && c <= '7') : std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }
    } else {
        std::size_t i = 0;
        if (testo[i] == '+' || testo[i] == '-') ++i;
        std::size_t cifre = 0;
        while (i < testo.size() && testo[i] >= '0' && testo[i] <= '9') ++i, ++cifre;
        if (i < testo.size() && testo[i] == '.') {
            ++i;
            while (i < testo.size() && testo[i] >= '0' && testo[i] <= '9') ++i, ++cifre;
        }
        valido = cifre > 0;
        if (valido && i < testo.size() &&
            (testo[i] == 'E' || testo[i] == 'e' || testo[i] == 'D' || testo[i] == 'd')) {
            ++i;
            if (i < testo.size() && (testo[i] == '+' || testo[i] == '-')) ++i;
            std::size_t esponente = 0;
            while (i < testo.size() && testo[i] >= '0' && testo[i] <= '9') ++i, ++esponente;
            valido = esponente > 0;
        }
        valido = valido && i == testo.size();
    }
    if (!valido) Solleva(kErrTipo);
    // The text is now exactly what Val reads, whole.
    return Val(testo);
}

}  // namespace vq
