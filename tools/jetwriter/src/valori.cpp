#include "interno.h"

#include <vq/data.h>

#include <cmath>
#include <limits>

namespace jetwriter::interno {

bool ValutaDaTesto(std::string_view t, std::int64_t& decimillesimi, std::string& problema) {
    std::size_t i = 0;
    bool negativo = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negativo = t[i] == '-';
        ++i;
    }
    // Accumulate as a non-negative count of ten-thousandths; the negative range is one
    // larger, so the limit depends on the sign.
    const std::uint64_t limite = negativo ? 9223372036854775808ull : 9223372036854775807ull;
    std::uint64_t intero = 0;
    int cifreIntere = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++cifreIntere) {
        const auto d = static_cast<std::uint64_t>(t[i] - '0');
        if (intero > (limite / 10000 - d) / 10) {
            problema = "importo fuori dall'intervallo del tipo currency";
            return false;
        }
        intero = intero * 10 + d;
    }
    std::uint64_t frazione = 0;
    int cifreFrazione = 0;
    if (i < t.size() && t[i] == '.') {
        ++i;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++cifreFrazione) {
            if (cifreFrazione >= 4) {
                if (t[i] != '0') {
                    problema = "più di 4 cifre decimali: il tipo currency non le rappresenta";
                    return false;
                }
                continue;
            }
            frazione = frazione * 10 + static_cast<std::uint64_t>(t[i] - '0');
        }
    }
    if (i != t.size() || (cifreIntere == 0 && cifreFrazione == 0)) {
        problema = "testo non numerico";
        return false;
    }
    for (int k = std::min(cifreFrazione, 4); k < 4; ++k) frazione *= 10;
    const std::uint64_t totale = intero * 10000 + frazione;
    if (totale > limite) {
        problema = "importo fuori dall'intervallo del tipo currency";
        return false;
    }
    decimillesimi =
        negativo ? static_cast<std::int64_t>(0 - totale) : static_cast<std::int64_t>(totale);
    return true;
}

bool ValutaDaDouble(double x, std::int64_t& decimillesimi, std::string& problema) {
    if (!std::isfinite(x)) {
        problema = "numero non finito";
        return false;
    }
    const double scalato = std::round(x * 10000.0);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (scalato >= 9223372036854775808.0 || scalato < -9223372036854775808.0) {
        problema = "importo fuori dall'intervallo del tipo currency";
        return false;
    }
    decimillesimi = static_cast<std::int64_t>(scalato);
    return true;
}

bool DataDaTesto(const std::string& testo, double& giorni, std::string& problema) {
    const std::optional<vq::DATA> d = vq::DataDaIso(testo);
    if (!d) {
        problema = "data non valida (attesa \"AAAA-MM-GG\" o \"AAAA-MM-GGTHH:MM:SS\")";
        return false;
    }
    giorni = *d;
    return true;
}

}  // namespace jetwriter::interno
