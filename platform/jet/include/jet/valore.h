// A field value as the engine hands it out, before it becomes an automation VARIANT:
// the Jet type decides the VARIANT type (see Recordset::Fields).
#pragma once

#include <cstdint>
#include <string>

namespace jet {

struct Valore {
    enum class Tipo {
        Null,      // VT_NULL
        Booleano,  // VT_BOOL, intero 0 or -1
        Byte,      // VT_UI1
        Intero,    // VT_I2
        Lungo,     // VT_I4 (also Count(*))
        Valuta,    // VT_CY, intero = amount scaled by 10,000
        Singolo,   // VT_R4
        Doppio,    // VT_R8
        Data,      // VT_DATE, reale = automation date
        Testo,     // VT_BSTR, testo UTF-8
        Binario,   // VT_ARRAY | VT_UI1, testo holds the bytes
    };
    Tipo tipo = Tipo::Null;
    std::int64_t intero = 0;
    double reale = 0;
    std::string testo;

    bool IsNull() const { return tipo == Tipo::Null; }
    // The value as a double (numbers, currency, dates, booleans); 0 for Null and text.
    double ComeDouble() const;
};

}  // namespace jet
