#include "export/clsInfo.h"

namespace travasa {

void clsInfo::ClearValori() {
    Periodo.clear();
    Conto.clear();
}

}  // namespace travasa
