// Page 0 of a Jet file (format checks, RC4-masked area, password decoding), the text
// decoders and the reading of SQL text, on arbitrary bytes: each either answers or fails
// with a numbered error of its own kind, and never reads outside its input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "jet/analisi_sql.h"
#include "jet/errori.h"
#include "jet/intestazione.h"
#include "vq/errore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    // An exact-size copy so that a read past the end is caught.
    std::vector<std::uint8_t> copia(dati, dati + n);
    const std::uint8_t* p = copia.empty() ? nullptr : copia.data();
    try {
        // The file is as long as the input, or a whole number of pages more.
        std::uint64_t dimensione = n < 8 ? n : n + (dati[n - 1] % 4) * 2048;
        jet::Intestazione h = jet::LeggiIntestazione(p, n, dimensione, "fuzz.mdb");
        if (h.dimensionePagina != 2048 && h.dimensionePagina != 4096) std::abort();
        if (h.password.size() > 80) std::abort();        // 20 characters at most, 4 bytes each
        jet::VerificaPassword(h, ";Pwd=" + h.password);  // its own password always opens
    } catch (const vq::Errore& e) {
        if (e.numero() != jet::kErrFormato && e.numero() != jet::kErrDanneggiato) std::abort();
    }
    jet::TestoJet4InUtf8(p, n);
    jet::CodePageInUtf8(p, n, n > 0 ? static_cast<std::uint16_t>(1250 + dati[0] % 9) : 1252);
    std::string_view sql(reinterpret_cast<const char*>(p), n);
    for (const auto& t : jet::Tokenizza(sql))
        if (t.inizio > t.fine || t.fine > n) std::abort();
    jet::TabelleUsate(sql);
    jet::TraduciJet(sql);
    auto s = jet::AnalizzaSelezione(sql);
    if (s.inizioFrom != std::string_view::npos && s.inizioFrom >= n) std::abort();
    return 0;
}
