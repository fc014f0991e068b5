// Val reads any text to a finite number or raises error 6; the text of that number reads
// back to a number of the same text. The strict reader agrees with Val where it accepts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vq/conversioni.h"
#include "vq/errore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    const std::string_view testo(reinterpret_cast<const char*>(dati), n);
    // The strict reader accepts a subset of what Val reads, and reads it the same.
    try {
        const double stretto = vq::NumeroDaTesto(testo);
        if (!(stretto == vq::Val(testo))) std::abort();
    } catch (const vq::Errore& e) {
        if (e.numero() != vq::kErrTipo && e.numero() != vq::kErrOverflow) std::abort();
    }
    double v;
    try {
        v = vq::Val(testo);
    } catch (const vq::Errore& e) {
        if (e.numero() != vq::kErrOverflow) std::abort();
        return 0;
    }
    if (!std::isfinite(v)) std::abort();
    // Near the largest double the 15-digit text rounds up past it and reads back as an
    // overflow, as in the runtime.
    const std::string s = vq::TestoNumero(v);
    try {
        if (vq::TestoNumero(vq::Val(s)) != s) std::abort();
    } catch (const vq::Errore& e) {
        if (e.numero() != vq::kErrOverflow || std::fabs(v) < 1e308) std::abort();
    }
    (void)vq::StrNumero(v);
    try {
        (void)vq::CInt(v);
        (void)vq::ArrotondaPari(v, static_cast<int>(n % 16));
    } catch (const vq::Errore& e) {
        if (e.numero() != vq::kErrOverflow) std::abort();
    }
    return 0;
}
