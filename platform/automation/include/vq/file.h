#pragma once
// File-system failures in the runtime's own terms: a failed system call's errno becomes
// the runtime error number a caller of the file statements expects (76 path not found,
// 70 permission denied, 61 disk full, ...), with its Italian description.

#include <cstdint>
#include <string>

#include "vq/errore.h"

namespace vq {

// The runtime number for a failed file operation:
//   ENOENT, ENOTDIR                  -> 76 "Impossibile trovare il percorso "
//   EACCES, EPERM, EROFS, ETXTBSY    -> 70 "Autorizzazione negata"
//   ENOSPC, EDQUOT, EFBIG            -> 61 "Disco pieno"
//   EMFILE, ENFILE                   -> 67 "Troppi file"
//   EIO                              -> 57 "Errore di I/O periferica"
//   anything else                    -> 75 "Errore di accesso al percorso/file"
std::int32_t NumeroDaErrno(int codice) noexcept;

// The error for a failed system call: its number from NumeroDaErrno, its description the
// runtime's text for that number, followed by ": " and `contesto` when one is given.
Errore ErroreDaErrno(int codice, const std::string& contesto = {});

// Raise ErroreDaErrno(codice, contesto): it becomes the current error and is thrown.
[[noreturn]] void SollevaErrno(int codice, const std::string& contesto = {});

}  // namespace vq
