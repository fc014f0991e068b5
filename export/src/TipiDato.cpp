#include "export/TipiDato.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "vq/ascii.h"
#include "vq/data.h"

namespace travasa {
namespace {

bool Cifra(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `n` digits at `pos` as a number; false when any of them is not a digit.
bool LeggiCifre(std::string_view t, std::size_t pos, std::size_t n, int& valore) {
    if (pos + n > t.size()) return false;
    valore = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (!Cifra(t[i])) return false;
        valore = valore * 10 + (t[i] - '0');
    }
    return true;
}

// yyyy-MM-dd, a real calendar day (years 0001 to 9999).
bool DataValida(std::string_view t) {
    int anno = 0, mese = 0, giorno = 0;
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    if (!LeggiCifre(t, 0, 4, anno) || !LeggiCifre(t, 5, 2, mese) || !LeggiCifre(t, 8, 2, giorno))
        return false;
    if (anno < 1 || mese < 1 || mese > 12 || giorno < 1) return false;
    return giorno <= vq::GiorniNelMese(anno, mese);
}

// HH:mm:ss with an optional fraction of a second.
bool OraValida(std::string_view t) {
    int ora = 0, minuto = 0, secondo = 0;
    if (t.size() < 8 || t[2] != ':' || t[5] != ':') return false;
    if (!LeggiCifre(t, 0, 2, ora) || !LeggiCifre(t, 3, 2, minuto) || !LeggiCifre(t, 6, 2, secondo))
        return false;
    if (ora > 23 || minuto > 59 || secondo > 59) return false;
    if (t.size() == 8) return true;
    if (t[8] != '.' || t.size() == 9) return false;
    for (std::size_t i = 9; i < t.size(); ++i)
        if (!Cifra(t[i])) return false;
    return true;
}

// Splits an optional zone off the end: "Z", "+hh:mm" or "-hh:mm".
bool TogliZona(std::string_view& t) {
    if (!t.empty() && t.back() == 'Z') {
        t.remove_suffix(1);
        return true;
    }
    if (t.size() >= 6) {
        const std::string_view zona = t.substr(t.size() - 6);
        if ((zona[0] == '+' || zona[0] == '-') && zona[3] == ':') {
            int ore = 0, minuti = 0;
            if (!LeggiCifre(zona, 1, 2, ore) || !LeggiCifre(zona, 4, 2, minuti)) return false;
            if (ore > 14 || minuti > 59) return false;
            t.remove_suffix(6);
        }
    }
    return true;
}

bool DataOraValida(std::string_view t, bool conZona) {
    if (t.empty()) return true;
    if (conZona && !TogliZona(t)) return false;
    if (t.size() == 10) return DataValida(t);
    if (t.size() < 19 || t[10] != 'T') return false;
    return DataValida(t.substr(0, 10)) && OraValida(t.substr(11));
}

bool OraZonaValida(std::string_view t, bool conZona) {
    if (t.empty()) return true;
    if (conZona && !TogliZona(t)) return false;
    return OraValida(t);
}

// [+-]digits, within [minimo, massimo] when bounded.
bool InteroValido(std::string_view t, std::int64_t minimo, std::uint64_t massimo, bool illimitato) {
    bool negativo = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negativo = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) return false;
    for (char c : t)
        if (!Cifra(c)) return false;
    if (illimitato) return true;
    std::uint64_t modulo = 0;
    const auto [fine, errore] = std::from_chars(t.data(), t.data() + t.size(), modulo);
    if (errore != std::errc{} || fine != t.data() + t.size()) return false;
    if (!negativo) return modulo <= massimo;
    if (modulo == 0) return true;
    // -modulo >= minimo, computed without overflow: modulo <= -(minimo)
    const std::uint64_t limite = minimo >= 0 ? 0 : static_cast<std::uint64_t>(-(minimo + 1)) + 1;
    return modulo <= limite;
}

// [+-](digits[.digits*] | .digits)([eE][+-]digits); `intere`/`decimali` count the digits
// before and after the point, `esponente` (when given) whether an exponent follows.
bool FormaNumerica(std::string_view t, bool esponenteAmmesso, std::size_t& intere,
                   std::size_t& decimali, bool* esponente = nullptr) {
    std::size_t i = 0;
    intere = decimali = 0;
    if (esponente) *esponente = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    while (i < t.size() && Cifra(t[i])) ++i, ++intere;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && Cifra(t[i])) ++i, ++decimali;
    }
    if (intere + decimali == 0) return false;
    if (i < t.size() && esponenteAmmesso && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (esponente) *esponente = true;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t cifre = 0;
        while (i < t.size() && Cifra(t[i])) ++i, ++cifre;
        if (cifre == 0) return false;
    }
    return i == t.size();
}

bool RealeValido(std::string_view t) {
    std::size_t intere = 0, decimali = 0;
    bool esponente = false;
    if (!FormaNumerica(t, true, intere, decimali, &esponente)) return false;
    // Without an exponent and with at most 300 digits, the value lies between 1e-300 and
    // 1e300 (or is zero): a finite double, neither overflowing nor underflowing. Amounts
    // are such numbers, so only the rest is converted.
    if (intere + decimali <= 300 && !esponente) return true;
    // from_chars reads neither a leading "+" nor a point without digits before it.
    if (t[0] == '+') t.remove_prefix(1);
    double valore = 0;
    const auto [fine, errore] = std::from_chars(t.data(), t.data() + t.size(), valore);
    if (errore == std::errc::result_out_of_range) {
        // Underflow towards zero is a representable value; overflow is not.
        std::size_t posE = t.find_first_of("eE");
        return posE != std::string_view::npos && posE + 1 < t.size() && t[posE + 1] == '-';
    }
    if (errore != std::errc{} || fine != t.data() + t.size()) return false;
    return std::isfinite(valore);
}

bool FissoValido(std::string_view t) {
    std::size_t intere = 0, decimali = 0;
    return FormaNumerica(t, false, intere, decimali) && intere <= 14 && decimali <= 4;
}

// Exactly one well-formed UTF-8 character.
bool UnCarattere(std::string_view t) {
    if (t.empty()) return false;
    const auto c = static_cast<unsigned char>(t[0]);
    std::size_t lunghezza = c < 0x80           ? 1
                            : (c >> 5) == 0x6  ? 2
                            : (c >> 4) == 0xE  ? 3
                            : (c >> 3) == 0x1E ? 4
                                               : 0;
    if (lunghezza == 0 || t.size() != lunghezza) return false;
    for (std::size_t i = 1; i < lunghezza; ++i)
        if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) return false;
    return true;
}

struct NomeTipo {
    std::string_view nome;
    TipoDato tipo;
};

constexpr std::array<NomeTipo, 25> kNomi{{
    {"string", TipoDato::Stringa},
    {"text", TipoDato::Stringa},
    {"char", TipoDato::Carattere},
    {"date", TipoDato::Data},
    {"dateTime", TipoDato::DataOra},
    {"dateTime.tz", TipoDato::DataOraTz},
    {"time", TipoDato::Ora},
    {"time.tz", TipoDato::OraTz},
    {"boolean", TipoDato::Booleano},
    {"bool", TipoDato::Booleano},
    {"i1", TipoDato::I1},
    {"i2", TipoDato::I2},
    {"i4", TipoDato::I4},
    {"i8", TipoDato::I8},
    {"ui1", TipoDato::UI1},
    {"ui2", TipoDato::UI2},
    {"ui4", TipoDato::UI4},
    {"ui8", TipoDato::UI8},
    {"int", TipoDato::Intero},
    {"r4", TipoDato::R4},
    {"r8", TipoDato::R8},
    {"float", TipoDato::R8},
    {"number", TipoDato::R8},
    {"double", TipoDato::R8},
    {"fixed.14.4", TipoDato::Fisso14_4},
}};

}  // namespace

std::optional<TipoDato> TipoDaNome(std::string_view nome) {
    for (const auto& voce : kNomi)
        if (vq::UgualiSenzaMaiuscole(voce.nome, nome)) return voce.tipo;
    return std::nullopt;
}

bool TestoValido(std::string_view testo, TipoDato tipo) {
    constexpr auto kMaxI64 = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    switch (tipo) {
        case TipoDato::Stringa: return true;
        case TipoDato::Carattere: return UnCarattere(testo);
        case TipoDato::Data: return testo.empty() || DataValida(testo);
        case TipoDato::DataOra: return DataOraValida(testo, false);
        case TipoDato::DataOraTz: return DataOraValida(testo, true);
        case TipoDato::Ora: return OraZonaValida(testo, false);
        case TipoDato::OraTz: return OraZonaValida(testo, true);
        case TipoDato::Booleano: return testo == "0" || testo == "1";
        case TipoDato::I1: return InteroValido(testo, INT8_MIN, INT8_MAX, false);
        case TipoDato::I8: return InteroValido(testo, INT64_MIN, kMaxI64, false);
        case TipoDato::UI1: return InteroValido(testo, 0, UINT8_MAX, false);
        case TipoDato::UI2: return InteroValido(testo, 0, UINT16_MAX, false);
        case TipoDato::UI4: return InteroValido(testo, 0, UINT32_MAX, false);
        case TipoDato::UI8: return InteroValido(testo, 0, UINT64_MAX, false);
        // The names the writer formats as numbers share its rule: whatever number a
        // column holds (fractional lire, amounts beyond 32 bits) is written in the same
        // form, and the check accepts every text of that form.
        case TipoDato::I2:
        case TipoDato::I4:
        case TipoDato::Intero:
        case TipoDato::R4:
        case TipoDato::R8: return RealeValido(testo);
        case TipoDato::Fisso14_4: return FissoValido(testo);
    }
    return false;
}

}  // namespace travasa
