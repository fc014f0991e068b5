// Fuzz target of the PE version-resource reader: any bytes as an image, then the
// version block found (if any) walked as VerQueryValueA would.
#include <cstddef>
#include <cstdint>
#include <span>

#include "vq/lettore_pe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    vq::pe::SorgenteMemoria sorgente(std::span<const std::uint8_t>(dati, n));
    const auto blocco = vq::pe::LeggiRisorsaVersione(sorgente);
    if (!blocco) return 0;
    // The block is exactly its declared length: every walk must stay inside it.
    if (blocco->size() > 0xFFFF) __builtin_trap();
    const auto v = vq::pe::VersioneFile(*blocco);
    (void)v;
    for (const char* percorso : {"\\VarFileInfo\\Translation", "\\StringFileInfo\\041004b0\\FileVersion",
                                 "\\StringFileInfo", "\\\\x\\"}) {
        const auto valore = vq::pe::CercaValore(*blocco, percorso);
        if (valore && valore->posizione + valore->byte > blocco->size()) __builtin_trap();
    }
    return 0;
}
