// The program's process-wide objects.
#pragma once

#include <string>

#include "export/clsInfo.h"

namespace travasa {

// The export header shared by the export run (which fills it) and the XML writer (which
// reads it). Created on first use; it lives until the process ends. The program has one
// thread, so it is never used concurrently.
clsInfo& Info();

// Set once by the start-up checks (ControlliAvvio), then only read.
// The host's data folder and program folder, each ending with "/".
extern std::string PathDati;
extern std::string PathProgramma;
// PathDati + "mirtesa.mdb"; PathProgramma + "Mirtesa.exe".
extern std::string PathDataBase;
extern std::string PathEseguibile;

}  // namespace travasa
