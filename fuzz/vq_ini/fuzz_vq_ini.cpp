// Fuzz the INI reader and writer: any file text, the names taken from the input's first
// line. A value written is read back as written (without its outer blanks), and every
// line of the original text survives the write.
#include "ini.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::size_t Righe(std::string_view s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view tutto(reinterpret_cast<const char*>(data), size);
    const auto aCapo = tutto.find('\n');
    const std::string_view nomi =
        aCapo == std::string_view::npos ? std::string_view{} : tutto.substr(0, aCapo);
    const std::string_view testo =
        aCapo == std::string_view::npos ? tutto : tutto.substr(aCapo + 1);
    const auto bar = nomi.find('|');
    const std::string sezione(nomi.substr(0, bar));
    const std::string chiave =
        bar == std::string_view::npos ? std::string("chiave") : std::string(nomi.substr(bar + 1));

    (void)vq::utilita::ini::Leggi(testo, sezione, chiave);
    const std::string valore = "valore 42";
    if (!vq::utilita::ini::Scrivibile(sezione, chiave, valore)) return 0;
    const std::string nuovo = vq::utilita::ini::Scrivi(testo, sezione, chiave, valore);
    const auto letto = vq::utilita::ini::Leggi(nuovo, sezione, chiave);
    if (!letto || *letto != valore) std::abort();
    // At most the section, the key and a blank line were added; a line was never lost.
    if (Righe(nuovo) + 1 < Righe(testo)) std::abort();
    if (Righe(nuovo) > Righe(testo) + 4) std::abort();
    return 0;
}
