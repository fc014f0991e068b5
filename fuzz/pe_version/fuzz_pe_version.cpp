// Fuzz target of the PE version-resource reader: any bytes as an image; the version
// block found (if any) is walked as VerQueryValueA walks it and its texts converted as
// GetFileVersionInfoA converts them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vq/lettore_pe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    vq::pe::SorgenteMemoria sorgente(std::span<const std::uint8_t>(dati, n));
    const auto blocco = vq::pe::LeggiRisorsaVersione(sorgente);
    if (!blocco) return 0;
    // A version block's length is a 16-bit word: nothing larger may come back.
    if (blocco->size() > 0xFFFF) __builtin_trap();
    const auto versione = vq::pe::VersioneFile(*blocco);
    (void)versione;
    std::vector<std::uint8_t> testi(vq::pe::DimensioneTesti(blocco->size()));
    vq::pe::ConvertiTesti(*blocco, testi);
    for (const char* percorso :
         {"\\VarFileInfo\\Translation", "\\StringFileInfo\\041004b0\\FileVersion",
          "\\StringFileInfo\\040904b0\\CompanyName", "\\StringFileInfo", "\\\\x\\"}) {
        const auto valore = vq::pe::CercaValore(*blocco, percorso);
        if (!valore) continue;
        if (valore->posizione + valore->byte > blocco->size()) __builtin_trap();
        const auto testo = vq::pe::TestoConvertito(testi, *valore);
        if (testo && (testo->data() < reinterpret_cast<const char*>(testi.data()) ||
                      testo->data() + testo->size() >=
                          reinterpret_cast<const char*>(testi.data() + testi.size())))
            __builtin_trap();
    }
    return 0;
}
