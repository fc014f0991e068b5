// The data types that an element of the export document can declare, and the check of a
// text against one of them.
//
// While an element carries a declared type, only a text that is a valid value of that type
// may be assigned to it. The names and the lexical forms are those of the XML data types
// used by typed documents ("string", "DateTime", "r8", "i4", "Boolean", ...); names are
// compared without regard to case.
#pragma once

#include <optional>
#include <string_view>

namespace travasa {

enum class TipoDato {
    Stringa,    // string (also "text"): any text
    Carattere,  // char: exactly one character
    Data,       // date: yyyy-MM-dd
    DataOra,    // dateTime: yyyy-MM-dd or yyyy-MM-ddTHH:mm:ss[.fff...]
    DataOraTz,  // dateTime.tz: as dateTime, with an optional zone Z or +hh:mm / -hh:mm
    Ora,        // time: HH:mm:ss[.fff...]
    OraTz,      // time.tz: as time, with an optional zone
    Booleano,   // boolean (also "bool"): "0" or "1"
    I1,
    I8,
    UI1,
    UI2,
    UI4,
    UI8,  // integers of the named width
    // The names that the writer formats as numbers (i2, i4, int, r4, r8, float, double)
    // accept what it writes for any value of a numeric column: a finite number,
    // [-]digits[.digits][E[+-]digits], whatever its width or fraction.
    I2,
    I4,
    Intero,
    R4,
    R8,         // r8, float, number (also "double")
    Fisso14_4,  // fixed.14.4: at most 14 digits before the point and 4 after
};

// The type of a declared name, or std::nullopt for a name that is not a data type.
std::optional<TipoDato> TipoDaNome(std::string_view nome);

// Whether `testo` is a valid value of `tipo`. Texts are checked exactly: no blanks
// around the value, "." as the only decimal separator, no digit grouping.
// The empty text is valid for the text, date and time types (an absent value);
// a number or a boolean needs digits.
bool TestoValido(std::string_view testo, TipoDato tipo);

}  // namespace travasa
