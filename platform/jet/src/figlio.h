// Running the loader program (vqjetload) as a child process under limits.
#pragma once

#include <string>
#include <vector>

#include "jet/dao.h"

namespace jet {

struct EsitoCaricamento {
    std::vector<std::string> catalogo;  // user tables of the file
    std::vector<std::string> tabelle;   // requested tables, under their names in the file
};

// The loader's descriptor for the image it writes.
inline constexpr int kFdImmagine = 3;

// Reads `tabelle` of `file` into a new SQLite database in the empty memory file
// `immagine` (a descriptor) through the loader program beside this library, which dies
// with this process. A file is given a time in proportion to its size, within `limiti`. The child's standard error is captured, never printed.
// Fails with the child's own error, or with 3049 when it is killed by a limit, crashes
// or answers nonsense.
EsitoCaricamento EseguiCaricatore(const std::string& file, int immagine,
                                  const std::vector<std::string>& tabelle, const Limiti& limiti);

}  // namespace jet
