// The Win32-shaped version API over the PE reader.
#include "win/version.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "vq/lettore_pe.h"

namespace {

// Header (6 bytes) and key "VS_VERSION_INFO" of the root node, aligned: a buffer
// shorter than this cannot hold even the root's description.
constexpr DWORD kMinimoBlocco = 40;

std::uint16_t Lunghezza(const void* blocco) {
    const auto* b = static_cast<const std::uint8_t*>(blocco);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

}  // namespace

extern "C" {

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    if (!lptstrFilename) return 0;
    try {
        const auto blocco = vq::pe::LeggiRisorsaVersione(std::string(lptstrFilename));
        return blocco ? static_cast<DWORD>(blocco->size()) : 0;
    } catch (...) {  // out of memory: no version to offer
        return 0;
    }
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, LPVOID lpData) {
    if (!lptstrFilename || !lpData || dwLen < kMinimoBlocco) return FALSE;
    try {
        const auto blocco = vq::pe::LeggiRisorsaVersione(std::string(lptstrFilename));
        if (!blocco) return FALSE;
        const std::size_t n = std::min<std::size_t>(dwLen, blocco->size());
        std::memcpy(lpData, blocco->data(), n);
        if (n < blocco->size()) {
            // The copy is cut short: its root length must not promise more than the
            // buffer holds, or a later query would read past it.
            auto* b = static_cast<std::uint8_t*>(lpData);
            b[0] = static_cast<std::uint8_t>(n & 0xFF);
            b[1] = static_cast<std::uint8_t>(n >> 8);
        }
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen) return FALSE;
    const std::span<const std::uint8_t> blocco(static_cast<const std::uint8_t*>(pBlock), Lunghezza(pBlock));
    const std::string_view percorso(lpSubBlock);
    const bool radice = percorso.find_first_not_of('\\') == std::string_view::npos;
    if (radice && !vq::pe::VersioneFile(blocco)) return FALSE;
    const auto valore = vq::pe::CercaValore(blocco, percorso);
    if (!valore || (valore->testo && !radice)) return FALSE;
    // The API hands out a writable pointer into the caller's own block.
    *lplpBuffer = const_cast<std::uint8_t*>(blocco.data() + valore->posizione);
    *puLen = static_cast<UINT>(valore->byte);
    return TRUE;
}

}  // extern "C"
