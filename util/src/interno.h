// Helpers shared by the source files of vqUtilita; not part of its public face.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vq::utilita {

// Raise error 6 ("Overflow") when the text is too long for a signed 16-bit counter (its
// length counted in UTF-16 units, as the counters have always measured texts).
void VerificaLunghezza16(std::string_view testo);

// Length of a UTF-8 text in UTF-16 code units, the unit in which the class's 16-bit
// counters have always measured texts (a character beyond U+FFFF counts twice).
std::size_t LunghezzaUtf16(std::string_view testo) noexcept;

// The text folded for comparisons without regard to case (full Unicode folding: "\u00c8"
// and "\u00e8" compare equal); ill-formed UTF-8 is kept as it is.
std::string PiegaCaso(std::string_view testo);

// The whole content of a file; 0 on success, else the errno of the failure (ENOENT for a
// missing file).
int LeggiFileIntero(const std::string& percorso, std::string& testo);

// Remove blanks (character 32 only) at both ends.
std::string TogliSpazi(std::string_view testo);

// The folder of the running program with its final "/", and the program's file name
// without folder and extension ("Travasa" for /opt/vq/Travasa or /opt/vq/Travasa.exe).
// Raise error 53 when the running executable cannot be found.
std::string CartellaProgramma();
std::string NomeProgramma();

// The value of XDG_<nome>_DIR in the text of a user-dirs.dirs file, "$HOME" expanded to
// `home`, without a final "/"; nullopt when no valid line sets it.
std::optional<std::string> ValoreUserDirs(std::string_view contenuto, std::string_view nome,
                                          const std::string& home);

}  // namespace vq::utilita
