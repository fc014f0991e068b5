// The registry reader shared by the methods of vqUtilita.
#pragma once

#include <win/registry.h>

#include <string>

namespace vq::utilita {

// The key under which programs register their executable (default value: its full path).
inline constexpr const char* kChiaveAppPaths =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// Read one value of the registry store: `nomeValore` of `subkey` below `radice` (an
// empty name reads the key's default value). A text value comes back as it is stored
// (without its terminating NUL), a 32-bit number as its decimal text; a value of any
// other type leaves `risultato` as the caller passed it and still counts as read.
// False, with `risultato` empty, when the key or the value cannot be read or the value
// is longer than 1024 bytes.
bool LeggiValoreRegistro(HKEY radice, const std::string& subkey, const std::string& nomeValore,
                         std::string& risultato);

}  // namespace vq::utilita
