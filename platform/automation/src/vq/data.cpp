// Automation dates: days from 30 December 1899 with the time of day as the fraction.
//
// Before that day the runtime stores the fraction away from zero (-1.25 is 29 December
// 1899 at 06:00), so every computation here first turns a date into a "linear" day count
// (whole days plus a fraction that always moves forward in time), works on that, and turns
// the result back.
#include "vq/data.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "vq/errore.h"

namespace vq {

namespace {

// Days from 30 December 1899 of a proleptic Gregorian date (any month/day carry
// already applied).
std::int64_t GiorniDaCivile(std::int64_t a, std::int64_t m, std::int64_t g) {
    a -= m <= 2 ? 1 : 0;
    const std::int64_t era = (a >= 0 ? a : a - 399) / 400;
    const std::int64_t aa = a - era * 400;                                   // [0, 399]
    const std::int64_t ga = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + g - 1;  // [0, 365]
    const std::int64_t ge = aa * 365 + aa / 4 - aa / 100 + ga;               // [0, 146096]
    return era * 146097 + ge - 719468 + 25569;  // 1970-01-01 is day 25569
}

void CivileDaGiorni(std::int64_t z, int& anno, int& mese, int& giorno) {
    z += 719468 - 25569;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t ge = z - era * 146097;
    const std::int64_t aa = (ge - ge / 1460 + ge / 36524 - ge / 146096) / 365;
    const std::int64_t ga = ge - (365 * aa + aa / 4 - aa / 100);
    const std::int64_t mp = (5 * ga + 2) / 153;
    giorno = static_cast<int>(ga - (153 * mp + 2) / 5 + 1);
    mese = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    anno = static_cast<int>(aa + era * 400 + (mese <= 2 ? 1 : 0));
}

// Automation value -> linear day count.
double Lineare(double d) {
    if (d >= 0) return d;
    const double intero = std::trunc(d);
    return intero + (intero - d);  // -1.25 -> -0.75
}

constexpr std::int64_t kGiornoMinimo = -657434;   // 1 January 100
constexpr std::int64_t kGiornoMassimo = 2958465;  // 31 December 9999

// A whole day and a time in seconds -> automation value.
double DaGiornoSecondi(std::int64_t giorno, std::int64_t secondi) {
    const double frazione = static_cast<double>(secondi) / 86400.0;
    const auto g = static_cast<double>(giorno);
    return giorno < 0 ? g - frazione : g + frazione;
}

}  // namespace

bool Bisestile(int anno) { return (anno % 4 == 0 && anno % 100 != 0) || anno % 400 == 0; }

int GiorniNelMese(int anno, int mese) {
    static constexpr int kGiorni[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mese < 1 || mese > 12) return 0;
    if (mese == 2 && Bisestile(anno)) return 29;
    return kGiorni[mese - 1];
}

DATA DateSerial(int anno, int mese, int giorno) {
    std::int64_t a = anno;
    if (a >= 0 && a <= 29) {
        a += 2000;
    } else if (a >= 30 && a <= 99) {
        a += 1900;
    }
    // Months outside 1..12 carry into the years, days outside the month into the months.
    std::int64_t m0 = static_cast<std::int64_t>(mese) - 1;
    std::int64_t riporto = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
    a += riporto;
    m0 -= riporto * 12;
    const std::int64_t giorni =
        GiorniDaCivile(a, m0 + 1, 1) + (static_cast<std::int64_t>(giorno) - 1);
    if (giorni < kGiornoMinimo || giorni > kGiornoMassimo) Solleva(kErrChiamataNonValida);
    return static_cast<double>(giorni);
}

DATA TimeSerial(int ora, int minuto, int secondo) {
    const std::int64_t totale =
        static_cast<std::int64_t>(ora) * 3600 + static_cast<std::int64_t>(minuto) * 60 + secondo;
    // Floor division: a negative time lies on a day before 30 December 1899.
    std::int64_t giorno = totale >= 0 ? totale / 86400 : -((-totale + 86399) / 86400);
    const std::int64_t resto = totale - giorno * 86400;
    if (giorno < kGiornoMinimo || giorno > kGiornoMassimo) Solleva(kErrChiamataNonValida);
    return DaGiornoSecondi(giorno, resto);
}

std::optional<DATA> ComponiData(const DataOra& d) {
    if (d.anno < 100 || d.anno > 9999 || d.mese < 1 || d.mese > 12) return std::nullopt;
    if (d.giorno < 1 || d.giorno > GiorniNelMese(d.anno, d.mese)) return std::nullopt;
    if (d.ora < 0 || d.ora > 23 || d.minuto < 0 || d.minuto > 59 || d.secondo < 0 || d.secondo > 59)
        return std::nullopt;
    const std::int64_t giorno = GiorniDaCivile(d.anno, d.mese, d.giorno);
    return DaGiornoSecondi(giorno, d.ora * 3600 + d.minuto * 60 + d.secondo);
}

DataOra ScomponiData(DATA d) {
    if (std::isnan(d) || d <= -657435.0 || d >= 2958466.0) Solleva(kErrChiamataNonValida);
    const double l = Lineare(d);
    auto giorno = static_cast<std::int64_t>(std::floor(l));
    auto secondi = static_cast<std::int64_t>(std::round((l - std::floor(l)) * 86400.0));
    if (secondi >= 86400) {
        ++giorno;
        secondi -= 86400;
    }
    if (giorno < kGiornoMinimo || giorno > kGiornoMassimo) Solleva(kErrChiamataNonValida);
    DataOra r;
    CivileDaGiorni(giorno, r.anno, r.mese, r.giorno);
    r.ora = static_cast<int>(secondi / 3600);
    r.minuto = static_cast<int>(secondi / 60 % 60);
    r.secondo = static_cast<int>(secondi % 60);
    return r;
}

DATA SoloData(DATA d) {
    const DataOra p = ScomponiData(d);
    return static_cast<double>(GiorniDaCivile(p.anno, p.mese, p.giorno));
}

std::optional<DATA> DataDaIso(const std::string& testo) {
    auto numero = [&](std::size_t da, std::size_t cifre, int& out) {
        out = 0;
        for (std::size_t i = da; i < da + cifre; ++i) {
            const char c = testo[i];
            if (c < '0' || c > '9') return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    DataOra d;
    if (testo.size() != 10 && testo.size() != 19) return std::nullopt;
    if (testo[4] != '-' || testo[7] != '-') return std::nullopt;
    if (!numero(0, 4, d.anno) || !numero(5, 2, d.mese) || !numero(8, 2, d.giorno))
        return std::nullopt;
    if (testo.size() == 19) {
        if (testo[10] != 'T' || testo[13] != ':' || testo[16] != ':') return std::nullopt;
        if (!numero(11, 2, d.ora) || !numero(14, 2, d.minuto) || !numero(17, 2, d.secondo))
            return std::nullopt;
    }
    return ComponiData(d);
}

std::string DataInIso(DATA d, bool conOra) {
    const DataOra p = ScomponiData(d);
    char buf[32];
    if (conOra) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.anno, p.mese, p.giorno,
                      p.ora, p.minuto, p.secondo);
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.anno, p.mese, p.giorno);
    }
    return buf;
}

}  // namespace vq
