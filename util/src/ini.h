// Settings files in the INI format: reading and changing one value in the file's text.
// Kept apart from the file handling so that the fuzz target reaches it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vq::utilita::ini {

// The value of `chiave` in the first section named `sezione` (names compared without
// regard to case, blanks and tabs around them dropped), with the blanks around it and
// one pair of enclosing quotes (" or ') dropped; nullopt when the section or the key is
// missing. Lines ending in LF or CR LF; lines starting with ";" and lines without "="
// are not keys.
std::optional<std::string> Leggi(std::string_view testo, std::string_view sezione,
                                 std::string_view chiave);

// Whether `sezione`, `chiave` and `valore` can be written without breaking the file's
// lines: no line ends anywhere, no "]" in the section name, a key that is not empty and
// has no "=" and does not start with "[" or ";".
bool Scrivibile(std::string_view sezione, std::string_view chiave, std::string_view valore);

// The text with `chiave` = `valore` set in the first section named `sezione`: an existing
// key's line is rewritten (keeping the key's spelling and the line's end), a missing key
// goes after the last key of the section, a missing section is added at the end. Every
// other line stays as it was. New lines end like the text's first line (CR LF for an
// empty text). The names must be Scrivibile.
std::string Scrivi(std::string_view testo, std::string_view sezione, std::string_view chiave,
                   std::string_view valore);

}  // namespace vq::utilita::ini
