// vqUtilita: the registry reader and the folders of registered programs.
#include <util/vqUtilita.h>

#include "registro.h"

#include <vq/errore.h>

#include <array>
#include <cstdint>
#include <string>

namespace vq::utilita {

bool LeggiValoreRegistro(HKEY radice, const std::string& subkey, const std::string& nomeValore,
                         std::string& risultato) {
    vq::ChiaveAperta chiave;  // closed on every way out
    if (::RegOpenKeyExA(radice, subkey.c_str(), 0, KEY_READ, chiave.put()) != ERROR_SUCCESS) {
        risultato.clear();
        return false;
    }
    std::array<BYTE, 1024> buffer{};
    DWORD tipo = REG_NONE;
    DWORD n = buffer.size();
    if (::RegQueryValueExA(chiave.get(), nomeValore.c_str(), nullptr, &tipo, buffer.data(), &n) !=
            ERROR_SUCCESS ||
        n > buffer.size()) {
        risultato.clear();
        return false;
    }
    if (tipo == REG_SZ) {
        std::size_t lunghezza = n;
        if (lunghezza > 0 && buffer[lunghezza - 1] == 0) --lunghezza;  // the terminator
        risultato.assign(reinterpret_cast<const char*>(buffer.data()), lunghezza);
    } else if (tipo == REG_DWORD) {
        // Read as a signed 32-bit number (0xFFFFFFFF is -1), little-endian; a shorter
        // value reads as if zero-filled.
        std::uint32_t u = 0;
        for (std::size_t i = 0; i < 4 && i < n; ++i)
            u |= static_cast<std::uint32_t>(buffer[i]) << (8 * i);
        risultato = std::to_string(static_cast<std::int32_t>(u));
    }
    return true;
}

}  // namespace vq::utilita

std::string vqUtilita::CartellaApplicazione(const std::string& applicazione) {
    try {
        std::string valore;
        if (!vq::utilita::LeggiValoreRegistro(
                HKEY_LOCAL_MACHINE, vq::utilita::kChiaveAppPaths + applicazione, "", valore))
            return {};
        return EstraiPath(valore);
    } catch (...) {
        vq::CancellaErrore();
        return {};
    }
}
