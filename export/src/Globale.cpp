#include "export/Globale.h"

namespace travasa {

clsInfo& Info() {
    static clsInfo info;
    return info;
}

}  // namespace travasa
