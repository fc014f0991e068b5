// The error model shared by every part of the system.
//
// A failure is a number and an Italian description, exactly as the automation runtime
// reports it. Inside a process a failure travels as a vq::Errore exception; every
// thread also keeps its "current error" (the last failure raised on it), which the
// handlers read and the error reporter clears. Across a component boundary the same
// failure travels as an HRESULT plus the thread's error info (see ole/ole.hpp).
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace vq {

class Errore : public std::exception {
public:
    Errore(std::int32_t numero, std::string descrizione);
    std::int32_t numero() const noexcept { return numero_; }
    const std::string& descrizione() const noexcept { return descrizione_; }
    const char* what() const noexcept override { return descrizione_.c_str(); }

private:
    std::int32_t numero_;
    std::string descrizione_;  // UTF-8
};

// The per-thread current error: number 0 and empty description when clear.
struct ErroreCorrente {
    std::int32_t numero = 0;
    std::string descrizione;
};

// Read the current error of the calling thread.
const ErroreCorrente& Err() noexcept;

// Set the current error without throwing (a handler that records a failure).
void ImpostaErrore(std::int32_t numero, std::string descrizione);

// Clear the current error (number 0, empty description).
void CancellaErrore() noexcept;

// Raise: set the current error and throw it as vq::Errore. With an empty description
// the runtime's own Italian text for that number is used (6 gives "Overflow").
[[noreturn]] void Solleva(std::int32_t numero, std::string descrizione = {});

// Make the current error reflect an exception caught in a handler: a vq::Errore keeps
// its number and text; std::bad_alloc becomes 7 "Memoria esaurita"; any other
// exception becomes 5 with its what() text. Returns the resulting current error.
const ErroreCorrente& ImpostaErroreDa(const std::exception_ptr& e);

// The runtime's Italian description of its own error numbers (6 "Overflow",
// 13 "Tipo non corrispondente", 53 "Impossibile trovare il file", ...); for a number
// it does not know: "Errore definito dall'applicazione o dall'oggetto".
std::string DescrizioneRuntime(std::int32_t numero);

// Frequently raised runtime numbers.
inline constexpr std::int32_t kErrChiamataNonValida = 5;  // invalid procedure call or argument
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrMemoria = 7;
inline constexpr std::int32_t kErrIndice = 9;  // subscript out of range
inline constexpr std::int32_t kErrTipo = 13;   // type mismatch
inline constexpr std::int32_t kErrFileNonTrovato = 53;
inline constexpr std::int32_t kErrOggettoNonImpostato = 91;

}  // namespace vq
