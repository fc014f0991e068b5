// How Jet column types live in the SQLite image: the declared type names the Jet type
// (so a recordset can hand the value back as the data-access objects do) and its
// SQLite affinity keeps the stored value exact: booleans 1/0, currency and dates as
// REAL (currency in units, exact to the 4 decimals once scaled back), text in the
// engine's collation.
#pragma once

#include <cstring>
#include <string>

namespace jet {

enum class TipoJet {
    Nessuno,  // no declared type: an expression
    Booleano,
    Byte,
    Intero,
    Lungo,
    Valuta,
    Singolo,
    Doppio,
    Data,
    Testo,
    Binario,
    Guid,
    Decimale,
};

// Jet column type codes as libmdb reports them.
inline const char* DichiarazioneColonna(int tipoMdb) {
    switch (tipoMdb) {
        case 1: return "JETBOOL";
        case 2: return "JETBYTE INT";
        case 3: return "JETINTEGER INT";
        case 4: return "JETLONG INT";
        case 5: return "JETCURRENCY REAL";
        case 6: return "JETSINGLE REAL";
        case 7: return "JETDOUBLE REAL";
        case 8: return "JETDATETIME REAL";
        case 10: return "JETTEXT TEXT COLLATE JET";
        case 12: return "JETMEMO TEXT COLLATE JET";
        case 9:
        case 11: return "JETBINARY BLOB";
        case 15: return "JETGUID TEXT";
        case 16: return "JETDECIMAL REAL";
        default: return "JETBINARY BLOB";
    }
}

inline TipoJet TipoDaDichiarazione(const char* d) {
    if (!d) return TipoJet::Nessuno;
    struct Voce {
        const char* prefisso;
        TipoJet tipo;
    };
    static constexpr Voce kVoci[] = {
        {"JETBOOL", TipoJet::Booleano},     {"JETBYTE ", TipoJet::Byte},
        {"JETINTEGER ", TipoJet::Intero},   {"JETLONG ", TipoJet::Lungo},
        {"JETCURRENCY ", TipoJet::Valuta},  {"JETSINGLE ", TipoJet::Singolo},
        {"JETDOUBLE ", TipoJet::Doppio},    {"JETDATETIME ", TipoJet::Data},
        {"JETTEXT ", TipoJet::Testo},       {"JETMEMO ", TipoJet::Testo},
        {"JETBINARY ", TipoJet::Binario},   {"JETGUID ", TipoJet::Guid},
        {"JETDECIMAL ", TipoJet::Decimale},
    };
    for (const auto& v : kVoci)
        if (std::strncmp(d, v.prefisso, std::strlen(v.prefisso)) == 0) return v.tipo;
    return TipoJet::Nessuno;
}

}  // namespace jet
