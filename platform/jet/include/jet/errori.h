// The engine's own error numbers, in the numbering of the Jet engine's data-access objects,
// with their Italian descriptions. Every failure of the engine is a vq::Errore carrying one
// of these numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vq/errore.h"

namespace jet {

inline constexpr std::int32_t kErrNessunRecordCorrente = 3021;  // EOF reached, no current row
inline constexpr std::int32_t kErrFileNonTrovato = 3024;        // database file missing
inline constexpr std::int32_t kErrPassword = 3031;              // not a valid password
inline constexpr std::int32_t kErrArgomento = 3001;             // invalid argument
inline constexpr std::int32_t kErrDanneggiato = 3049;           // damaged or unreadable file
inline constexpr std::int32_t kErrPermesso = 3051;              // no permission to read the file
inline constexpr std::int32_t kErrParametri = 3061;             // unknown name taken as a parameter
inline constexpr std::int32_t kErrSintassi = 3075;              // syntax error in the query
inline constexpr std::int32_t kErrTabella = 3078;               // input table or query not found
inline constexpr std::int32_t kErrCampoAmbiguo = 3079;   // a field name that fits several tables
inline constexpr std::int32_t kErrFunzione = 3085;       // undefined function in expression
inline constexpr std::int32_t kErrIstruzione = 3129;     // not a SELECT statement
inline constexpr std::int32_t kErrCaratteriDopo = 3142;  // text after the end of the statement
inline constexpr std::int32_t kErrOperazione = 3219;     // invalid operation
inline constexpr std::int32_t kErrElemento = 3265;       // item not found in this collection
inline constexpr std::int32_t kErrFormato = 3343;        // unrecognised database format
inline constexpr std::int32_t kErrOggetto = 3420;        // object invalid or no longer set
inline constexpr std::int32_t kErrTipoCriterio = 3464;   // data type mismatch in criteria

// Builders of the engine's failures (each sets the thread's current error and throws).
[[noreturn]] void ErroreFileNonTrovato(std::string_view percorso);
[[noreturn]] void ErrorePassword();
[[noreturn]] void ErroreFormato(std::string_view percorso, std::string_view motivo = {});
[[noreturn]] void ErroreDanneggiato(std::string_view percorso, std::string_view motivo = {});
[[noreturn]] void ErrorePermesso(std::string_view percorso);
[[noreturn]] void ErroreTabella(std::string_view nome);
[[noreturn]] void ErroreParametri(std::string_view nome);
[[noreturn]] void ErroreSintassi(std::string_view dettaglio);
[[noreturn]] void ErroreFunzione(std::string_view nome);
[[noreturn]] void ErroreCaratteriDopo();
[[noreturn]] void ErroreIstruzione();
[[noreturn]] void ErroreCampoAmbiguo(std::string_view nome);
[[noreturn]] void ErroreOperazione(std::string_view motivo = {});
[[noreturn]] void ErroreElemento(std::string_view nome);
[[noreturn]] void ErroreNessunRecord();
[[noreturn]] void ErroreOggetto();
[[noreturn]] void ErroreArgomento(std::string_view motivo = {});

}  // namespace jet
