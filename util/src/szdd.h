// Expanding SZDD compressed files (the format of compressed setup files) in memory,
// through libmspack. Kept apart from the file handling so that the fuzz target reaches it.
#pragma once

#include <string>
#include <string_view>

namespace vq::utilita {

enum class EsitoEspansione {
    Espanso,       // an SZDD file, expanded into `uscita`
    NonCompresso,  // not an SZDD file: `uscita` is left empty
    Danneggiato,   // an SZDD file that cannot be expanded whole: `uscita` is left empty
};

// Expand `dati`. The expanded length must be the one the header announces; more or less
// data means a damaged file.
EsitoEspansione EspandiSzdd(std::string_view dati, std::string& uscita);

}  // namespace vq::utilita
