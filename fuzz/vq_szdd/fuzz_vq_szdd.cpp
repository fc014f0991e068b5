// Fuzz the SZDD expander: any bytes. An expanded file is as long as its header says and
// never longer than the input can describe; anything else leaves no output.
#include "szdd.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view dati(reinterpret_cast<const char*>(data), size);
    std::string uscita;
    const auto esito = vq::utilita::EspandiSzdd(dati, uscita);
    if (esito != vq::utilita::EsitoEspansione::Espanso) {
        if (!uscita.empty()) std::abort();
        return 0;
    }
    // Each input bit describes at most one literal byte or 18 bytes of a match.
    if (uscita.size() > size * 8 * 18 / 9 + 18) std::abort();
    return 0;
}
