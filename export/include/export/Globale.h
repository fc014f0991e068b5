// The program's process-wide objects.
#pragma once

#include "export/clsInfo.h"

namespace travasa {

// The export header shared by the export run (which fills it) and the XML writer (which
// reads it). Created on first use; it lives until the process ends. The program has one
// thread, so it is never used concurrently.
clsInfo& Info();

}  // namespace travasa
