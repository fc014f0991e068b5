// Jet files for the tests of the engine, the writer and the tools on top of them: the
// folder of real Jet samples, the hashes that prove a host database untouched, and the
// fixed mask of a Jet header.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "file_prova.h"

namespace prova {

// The folder of the real Jet samples (VQ_SHARED_DIR/jet-samples), empty when absent.
inline std::filesystem::path Campioni() {
    const char* d = std::getenv("VQ_SHARED_DIR");
    if (!d || !*d) return {};
    std::filesystem::path p = std::filesystem::path(d) / "jet-samples";
    return std::filesystem::is_directory(p) ? p : std::filesystem::path();
}
inline constexpr const char* kSenzaCampioni =
    "cartella dei campioni Jet assente (VQ_SHARED_DIR/jet-samples)";

// The hash (FNV-1a, 64 bits) of every Jet file (*.mdb) under a folder, taken when the
// files are written and compared after the operations on them: a host database is
// never written, not even touched up.
class Impronte {
public:
    // Records the files under `radice` as they are now (a removed one is forgotten).
    void Registra(const std::filesystem::path& radice) {
        std::erase_if(impronte_, [](const auto& e) { return !std::filesystem::exists(e.first); });
        for (const auto& e : std::filesystem::recursive_directory_iterator(radice))
            if (e.is_regular_file() && e.path().extension() == ".mdb")
                impronte_[e.path()] = Di(e.path());
    }
    // The files whose bytes changed since they were recorded (or that are gone).
    std::string Cambiati() const {
        std::string r;
        for (const auto& [p, h] : impronte_)
            if (!std::filesystem::exists(p) || Di(p) != h) r += p.string() + " ";
        return r;
    }

private:
    static std::uint64_t Di(const std::filesystem::path& p) {
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : LeggiFile(p)) h = (h ^ c) * 1099511628211ull;
        return h;
    }
    std::map<std::filesystem::path, std::uint64_t> impronte_;
};

// The header area of a Jet file from offset 0x18 is XORed with an RC4 stream under the
// fixed key C7 DA 39 6B; applying it again undoes it. Written from the algorithm's
// definition, independently of the engine and of the writer.
inline void MascheraIntestazione(std::uint8_t* pagina, std::size_t n) {
    const std::uint8_t chiave[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + chiave[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, a = 0, b = 0; k < n; ++k) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        pagina[0x18 + k] ^= s[(s[a] + s[b]) & 0xFF];
    }
}

}  // namespace prova
