#include "export/Globale.h"

namespace travasa {

std::string PathDati;
std::string PathProgramma;
std::string PathDataBase;
std::string PathEseguibile;

clsInfo& Info() {
    static clsInfo info;
    return info;
}

}  // namespace travasa
