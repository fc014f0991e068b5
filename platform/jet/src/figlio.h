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

// Reads `tabelle` of `file` into a new SQLite database `uscita` through the loader
// program beside this library. The child's standard error is captured, never printed.
// Fails with the child's own error, or with 3049 when it is killed by a limit, crashes
// or answers nonsense.
EsitoCaricamento EseguiCaricatore(const std::string& file, const std::string& uscita,
                                  const std::vector<std::string>& tabelle, const Limiti& limiti);

}  // namespace jet
