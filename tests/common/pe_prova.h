// Test helpers for the PE files built from rc/*.rc: where they are, reading and writing
// whole files, and a map of the structures of a sound PE file (found
// here independently of the reader under test) so that tests can damage them one by one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_prova.h"

namespace prova::pe {

using Byte = std::vector<std::uint8_t>;

// The folder of the built PE files, or "" when the LLVM tools were not found.
inline std::string Cartella() { return VQ_PE_DIR; }

#define VQ_RICHIEDI_CAMPIONI_PE()                                                             \
    do {                                                                                      \
        if (prova::pe::Cartella().empty())                                                    \
            GTEST_SKIP() << "llvm-rc, lld-link or llvm-mc were not found at configure time: " \
                            "no PE files were built";                                         \
    } while (0)

inline std::string Percorso(const std::string& nome) { return Cartella() + "/" + nome; }

inline Byte LeggiFile(const std::string& percorso) {
    std::ifstream in(percorso, std::ios::binary);
    return Byte(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes a new file in place of any old one: truncating an old file instead would make
// the file system flush it at every rewrite, which the damage tests do thousands of times.
inline void ScriviFile(const std::string& percorso, const Byte& dati) {
    std::error_code ec;
    std::filesystem::remove(percorso, ec);
    std::ofstream out(percorso, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(dati.data()),
              static_cast<std::streamsize>(dati.size()));
}

inline std::uint16_t Le16(const Byte& b, std::size_t p) {
    return static_cast<std::uint16_t>(b.at(p) | (b.at(p + 1) << 8));
}
inline std::uint32_t Le32(const Byte& b, std::size_t p) {
    return static_cast<std::uint32_t>(Le16(b, p)) |
           (static_cast<std::uint32_t>(Le16(b, p + 2)) << 16);
}
inline void Scrivi16(Byte& b, std::size_t p, std::uint32_t v) {
    b.at(p) = static_cast<std::uint8_t>(v);
    b.at(p + 1) = static_cast<std::uint8_t>(v >> 8);
}
inline void Scrivi32(Byte& b, std::size_t p, std::uint32_t v) {
    Scrivi16(b, p, v & 0xFFFF);
    Scrivi16(b, p + 2, v >> 16);
}

// File offsets of the structures of a sound PE file with a version resource.
struct Mappa {
    std::size_t pe = 0;                // "PE\0\0"
    std::size_t coff = 0;              // COFF header
    std::size_t opzionale = 0;         // optional header (its magic)
    std::size_t conteggioDir = 0;      // NumberOfRvaAndSizes
    std::size_t dirRisorse = 0;        // data directory 2: RVA, size
    std::size_t sezioni = 0;           // section table
    std::size_t sezioneRisorse = 0;    // the section table row holding the resources
    std::size_t radice = 0;            // resource root directory
    std::size_t voceTipo = 0;          // the root's entry of type 16
    std::size_t dirNome = 0;           // level 2 directory
    std::size_t dirLingua = 0;         // level 3 directory
    std::size_t voceDati = 0;          // data entry (RVA, size)
    std::size_t blocco = 0;            // VS_VERSIONINFO
    std::size_t fisso = 0;             // VS_FIXEDFILEINFO
    std::size_t fineIntestazioni = 0;  // end of the section table
};

// Find the structures; the file is trusted (it is one of ours, sound).
inline Mappa Trova(const Byte& b) {
    Mappa m;
    m.pe = Le32(b, 0x3C);
    m.coff = m.pe + 4;
    m.opzionale = m.coff + 20;
    const bool piu = Le16(b, m.opzionale) == 0x20B;
    m.conteggioDir = m.opzionale + (piu ? 108 : 92);
    m.dirRisorse = m.opzionale + (piu ? 112 : 96) + 16;
    m.sezioni = m.opzionale + Le16(b, m.coff + 16);
    const std::uint16_t n = Le16(b, m.coff + 2);
    m.fineIntestazioni = m.sezioni + std::size_t{n} * 40;
    auto mappaRva = [&](std::uint32_t rva, std::size_t* riga) -> std::size_t {
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t r = m.sezioni + i * 40;
            const std::uint32_t va = Le32(b, r + 12), dim = Le32(b, r + 16), pos = Le32(b, r + 20);
            if (rva >= va && rva < va + dim) {
                if (riga) *riga = r;
                return pos + (rva - va);
            }
        }
        throw std::runtime_error("RVA outside the sections");
    };
    const std::uint32_t rvaRisorse = Le32(b, m.dirRisorse);
    m.radice = mappaRva(rvaRisorse, &m.sezioneRisorse);
    const std::size_t voci = std::size_t{Le16(b, m.radice + 12)} + Le16(b, m.radice + 14);
    for (std::size_t i = 0; i < voci; ++i)
        if (Le32(b, m.radice + 16 + i * 8) == 16) m.voceTipo = m.radice + 16 + i * 8;
    if (m.voceTipo == 0) throw std::runtime_error("no version resource");
    m.dirNome = m.radice + (Le32(b, m.voceTipo + 4) & 0x7FFFFFFF);
    m.dirLingua = m.radice + (Le32(b, m.dirNome + 20) & 0x7FFFFFFF);
    m.voceDati = m.radice + Le32(b, m.dirLingua + 20);
    m.blocco = mappaRva(Le32(b, m.voceDati), nullptr);
    m.fisso = m.blocco + 40;
    return m;
}

}  // namespace prova::pe
