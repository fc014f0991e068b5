// A small SZDD compressor for the tests: LZSS over the 4096-byte ring that starts filled
// with blanks, writing at 4080, matches of 3 to 18 bytes found by a plain search of the
// last 1024 positions (overlapping matches included), so the expander meets literals,
// matches into the initial blanks and matches that copy what they are writing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace prova {

inline std::string ComprimiSzdd(std::string_view dati) {
    constexpr std::size_t kAnello = 4096;
    std::string anello(kAnello, ' ');
    std::size_t pos = kAnello - 16;
    std::string r = std::string("SZDD\x88\xf0\x27\x33", 8) + 'A' + '\0';
    const auto n = static_cast<std::uint32_t>(dati.size());
    for (int k = 0; k < 4; ++k) r += static_cast<char>((n >> (8 * k)) & 0xFFu);

    std::size_t i = 0;
    while (i < dati.size()) {
        const std::size_t controllo = r.size();
        r += '\0';
        unsigned bits = 0;
        for (int b = 0; b < 8 && i < dati.size(); ++b) {
            std::size_t miglioreLung = 0;
            std::size_t miglioreOrigine = 0;
            for (std::size_t distanza = 1; distanza <= 1024; ++distanza) {
                const std::size_t origine = (pos + kAnello - distanza) % kAnello;
                std::size_t l = 0;
                while (l < 18 && i + l < dati.size()) {
                    const char c =
                        distanza <= l ? dati[i + l - distanza] : anello[(origine + l) % kAnello];
                    if (c != dati[i + l]) break;
                    ++l;
                }
                if (l > miglioreLung) {
                    miglioreLung = l;
                    miglioreOrigine = origine;
                }
            }
            if (miglioreLung >= 3) {
                r += static_cast<char>(miglioreOrigine & 0xFFu);
                r += static_cast<char>(((miglioreOrigine >> 4) & 0xF0u) | (miglioreLung - 3));
            } else {
                bits |= 1u << b;
                miglioreLung = 1;
                r += dati[i];
            }
            for (std::size_t k = 0; k < miglioreLung; ++k) {
                anello[pos] = dati[i++];
                pos = (pos + 1) % kAnello;
            }
        }
        r[controllo] = static_cast<char>(bits);
    }
    return r;
}

}  // namespace prova
