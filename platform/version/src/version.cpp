// The Win32-shaped version API over the PE reader.
#include "win/version.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "vq/lettore_pe.h"

namespace {

// The caller's buffer holds the version block, then (at the next 32-bit boundary) a
// trailer of 8 bytes, the mark "VQA8" and the length of the stretch that follows it,
// then that stretch with the UTF-8 copies of the block's text values.
constexpr std::uint8_t kMarca[4] = {'V', 'Q', 'A', '8'};
constexpr std::size_t kCoda = 8;
// The root's header and key "VS_VERSION_INFO" with the trailer: a smaller buffer cannot
// hold even the root's description.
constexpr DWORD kMinimoBuffer = 40 + kCoda;

constexpr std::size_t Alinea4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

std::uint16_t Lunghezza(const void* blocco) {
    const auto* b = static_cast<const std::uint8_t*>(blocco);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::size_t DimensioneTotale(std::size_t blocco) {
    return Alinea4(blocco) + kCoda + vq::pe::DimensioneTesti(blocco);
}

}  // namespace

extern "C" {

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    if (!lptstrFilename) return 0;
    try {
        const auto blocco = vq::pe::LeggiRisorsaVersione(std::string(lptstrFilename));
        return blocco ? static_cast<DWORD>(DimensioneTotale(blocco->size())) : 0;
    } catch (...) {  // out of memory: no version to offer
        return 0;
    }
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, LPVOID lpData) {
    if (!lptstrFilename || !lpData || dwLen < kMinimoBuffer) return FALSE;
    try {
        const auto blocco = vq::pe::LeggiRisorsaVersione(std::string(lptstrFilename));
        if (!blocco) return FALSE;
        auto* b = static_cast<std::uint8_t*>(lpData);
        // A buffer too small for everything keeps the block's beginning and the trailer;
        // the copy's root length then tells what was kept, so that no later query reads
        // past it.
        const std::size_t n =
            std::min<std::size_t>(blocco->size(), (dwLen - kCoda) & ~std::size_t{3});
        std::memcpy(b, blocco->data(), n);
        if (n < blocco->size()) {
            b[0] = static_cast<std::uint8_t>(n & 0xFF);
            b[1] = static_cast<std::uint8_t>(n >> 8);
        }
        std::memset(b + n, 0, Alinea4(n) - n);
        const std::size_t coda = Alinea4(n);
        const std::size_t testi = std::min(vq::pe::DimensioneTesti(n), dwLen - coda - kCoda);
        std::memcpy(b + coda, kMarca, sizeof kMarca);
        for (std::size_t i = 0; i < 4; ++i)
            b[coda + 4 + i] = static_cast<std::uint8_t>(testi >> (8 * i));
        vq::pe::ConvertiTesti(std::span<const std::uint8_t>(b, n),
                              std::span<std::uint8_t>(b + coda + kCoda, testi));
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen) return FALSE;
    const auto* b = static_cast<const std::uint8_t*>(pBlock);
    const std::span<const std::uint8_t> blocco(b, Lunghezza(pBlock));
    const std::string_view percorso(lpSubBlock);
    const bool radice = percorso.find_first_not_of('\\') == std::string_view::npos;
    if (radice) {
        if (!vq::pe::VersioneFile(blocco)) return FALSE;
    }
    const auto valore = vq::pe::CercaValore(blocco, percorso);
    if (!valore) return FALSE;
    if (valore->testo && !radice) {
        // The UTF-8 copy made by GetFileVersionInfoA, beside the block.
        const std::size_t coda = Alinea4(blocco.size());
        if (std::memcmp(b + coda, kMarca, sizeof kMarca) != 0) return FALSE;
        std::size_t dimTesti = 0;
        for (std::size_t i = 0; i < 4; ++i) dimTesti |= std::size_t{b[coda + 4 + i]} << (8 * i);
        const std::span<const std::uint8_t> testi(b + coda + kCoda, dimTesti);
        const auto testo = vq::pe::TestoConvertito(testi, *valore);
        if (!testo) return FALSE;
        *lplpBuffer = const_cast<char*>(testo->data());
        // Counted with its terminator, as the stored length counts it; an empty value has
        // no length.
        *puLen = valore->lunghezzaDichiarata == 0 ? 0u : static_cast<UINT>(testo->size() + 1);
        return TRUE;
    }
    // The API hands out a writable pointer into the caller's own block.
    *lplpBuffer = const_cast<std::uint8_t*>(blocco.data() + valore->posizione);
    *puLen = static_cast<UINT>(valore->byte);
    return TRUE;
}

}  // extern "C"
