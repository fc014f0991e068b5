// Any text either parses or is refused; what parses writes back to a text that parses
// to the same tree and writes identically again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "alveare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    const std::string_view testo(reinterpret_cast<const char*>(dati), n);
    vq::registro::Chiave albero;
    if (!vq::registro::Analizza(testo, "HKEY_CURRENT_USER", "HKCU", albero).ok) return 0;
    const std::string scritto = vq::registro::Scrivi(albero, "HKEY_CURRENT_USER");
    vq::registro::Chiave riletto;
    if (!vq::registro::Analizza(scritto, "HKEY_CURRENT_USER", "HKCU", riletto).ok) std::abort();
    if (vq::registro::Scrivi(riletto, "HKEY_CURRENT_USER") != scritto) std::abort();
    return 0;
}
