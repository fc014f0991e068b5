// vqUtilita: version resources and comparison.
//
// GetVersione reads the file version of an executable or library from its version
// resource; ConfrontaVersione compares two dotted version texts part by part. Neither
// has a failure handler: an overflow while reading a part reaches the caller as error 6.
#include "util/vqUtilita.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "vq/conversioni.h"
#include "win/version.h"

namespace {

constexpr const char* kSenzaVersione = "0.0.0.0";

}  // namespace

std::string vqUtilita::GetVersione(const std::string& file) {
    // A path with a NUL inside would silently name another file once handed to the
    // system: it has no version.
    if (file.find('\0') != std::string::npos) return kSenzaVersione;

    DWORD handle = 0;
    const DWORD dimensione = GetFileVersionInfoSizeA(file.c_str(), &handle);
    // A missing file and a file without a version resource both give 0.
    if (dimensione == 0) return kSenzaVersione;

    std::vector<unsigned char> buffer(dimensione);
    // The file may have changed since its size was read: without its resource there is
    // no version to report.
    if (!GetFileVersionInfoA(file.c_str(), 0, dimensione, buffer.data())) return kSenzaVersione;

    VS_FIXEDFILEINFO info;
    std::memset(&info, 0, sizeof info);
    LPVOID fisso = nullptr;
    UINT lunghezza = 0;
    if (VerQueryValueA(buffer.data(), "\\", &fisso, &lunghezza) && fisso != nullptr)
        std::memcpy(&info, fisso, std::min<std::size_t>(lunghezza, sizeof info));

    const auto ms = static_cast<std::int32_t>(info.dwFileVersionMS);
    const auto ls = static_cast<std::int32_t>(info.dwFileVersionLS);
    return std::to_string(ParteAlta(ms)) + "." + std::to_string(ParteBassa(ms)) + "." +
           std::to_string(ParteAlta(ls)) + "." + std::to_string(ParteBassa(ls));
}

std::int32_t vqUtilita::ConfrontaVersione(const std::string& VersioneA,
                                          const std::string& VersioneB) {
    // All eight parts are read before any comparison, so an overflowing part raises
    // error 6 even where an earlier pair would already decide.
    std::int16_t a[4], b[4];
    for (std::int16_t k = 1; k <= 4; ++k) a[k - 1] = ParteVersione(VersioneA, k);
    for (std::int16_t k = 1; k <= 4; ++k) b[k - 1] = ParteVersione(VersioneB, k);

    std::int32_t risultato = 0;
    for (int i = 0; i < 4 && risultato == 0; ++i) risultato = ConfrontaParti(a[i], b[i]);
    return risultato;
}

// A version part is an unsigned 16-bit word: a half of 0x8000 or more is reported as
// its unsigned value (65535, not -1).
std::int32_t vqUtilita::ParteAlta(std::int32_t dword) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(dword) >> 16) & 0xFFFFu);
}

std::int32_t vqUtilita::ParteBassa(std::int32_t dword) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(dword) & 0xFFFFu);
}

std::int16_t vqUtilita::ParteVersione(const std::string& versione, std::int16_t k) {
    // Each pass reads the part before the first "." and drops it together with the dot;
    // once no dot is left, every further pass reads the whole rest again, so "1.2" has the
    // parts 1, 2, 2, 2. A part is read leniently ("3a" is 3, letters alone are 0) and
    // stored as a 16-bit integer, rounding ties to even and overflowing with error 6.
    std::string_view s(versione);
    std::int16_t valore = 0;
    for (std::int16_t i = 1; i <= k; ++i) {
        const std::size_t punto = s.find('.');
        if (punto == std::string_view::npos) {
            valore = vq::CInt(vq::Val(s));
        } else {
            valore = vq::CInt(vq::Val(s.substr(0, punto)));
            s.remove_prefix(punto + 1);
        }
    }
    return valore;
}

std::int32_t vqUtilita::ConfrontaParti(std::int16_t a, std::int16_t b) {
    if (a > b) return 1;
    if (a < b) return -1;
    return 0;
}
