// The pure parts of the system questions of vqUtilita, apart so that tests reach them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vq::utilita {

// "1000" written with the thousands `separatore` by the digit groups of `raggruppamento`
// (the bytes of LC_NUMERIC's grouping: each a group size, the last repeated, CHAR_MAX or
// an empty text meaning no further grouping).
std::string FormattaMille(std::string_view raggruppamento, std::string_view separatore);

// The code of the second byte of a formatted sample when it is "," or "."; 0 otherwise.
std::uint8_t SeparatoreDi(std::string_view formattato);

// The version text: the system's name (os-release NAME, else `sistema`), the kernel
// release's "major.minor.build" (missing parts 0), and the system's version
// (os-release VERSION, else `versione`), each parted by one blank.
std::string ComponiVersioneSO(std::string_view osRelease, std::string_view sistema,
                              std::string_view release, std::string_view versione);

// The value of `nome` in an os-release text (quotes and escapes removed), or the empty text.
std::string ValoreOsRelease(std::string_view testo, std::string_view nome);

// Whether a file system type (statfs magic, and the mount's type name for FUSE mounts)
// is a network file system.
bool FileSystemDiRete(std::int64_t magico, std::string_view tipoMontaggio);

// Whether an executable's path names the old development environment ("vb6.exe", ...).
bool EseguibileAmbienteSviluppo(std::string_view percorso);

}  // namespace vq::utilita
