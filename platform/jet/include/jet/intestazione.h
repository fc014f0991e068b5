// The database definition page (page 0) of a Jet file: format checks and the database
// password. Works on bytes only, so a damaged or hostile file costs at most an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace jet {

enum class VersioneJet { Jet3, Jet4 };

struct Intestazione {
    VersioneJet versione = VersioneJet::Jet3;
    std::size_t dimensionePagina = 2048;  // 2048 (Jet 3) or 4096 (Jet 4)
    std::uint16_t codePage = 0;           // code page of Jet 3 text, as the header states it
    std::uint32_t chiaveDatabase = 0;     // non-zero: the data pages are encrypted
    double dataCreazione = 0;             // Jet 4 only
    std::string password;                 // UTF-8, empty when the file has none
};

// Bytes of page 0 needed by LeggiIntestazione.
inline constexpr std::size_t kByteIntestazione = 0x18 + 128;

// Check page 0 (at least kByteIntestazione bytes of it in `pagina`) against the file's
// total size and decode it. Fails with 3343 for anything that is not a Jet 3 or Jet 4
// file (wrong magic, later formats, empty or too short files, encrypted pages) and with
// 3049 when the size is not a whole number of pages. `percorso` names the file in the
// description only.
Intestazione LeggiIntestazione(const std::uint8_t* pagina, std::size_t lunghezza,
                               std::uint64_t dimensioneFile, std::string_view percorso);

// The password given in a connect string (";Pwd=..."; the key in any case); empty when
// the string has none.
std::string PasswordDaConnect(std::string_view connect);

// Jet's rule: a file with a password opens only with exactly that password (case counts),
// a file without one opens with any. Fails with 3031.
void VerificaPassword(const Intestazione& intestazione, std::string_view connect);

// Text helpers shared with the loader.
// UTF-16LE bytes (an odd last byte ignored; unpaired surrogates become U+FFFD) to UTF-8.
std::string Utf16LeInUtf8(const std::uint8_t* dati, std::size_t lunghezza);
// A Jet 4 text value: UTF-16LE, or the compressed form (FF FE, then runs of one-byte
// characters and UTF-16 pairs toggled by 00 bytes).
std::string TestoJet4InUtf8(const std::uint8_t* dati, std::size_t lunghezza);
// Single-byte text in a Windows code page to UTF-8 (unknown code pages read as 1252;
// bytes with no character become U+FFFD).
std::string CodePageInUtf8(const std::uint8_t* dati, std::size_t lunghezza, std::uint16_t codePage);

}  // namespace jet
