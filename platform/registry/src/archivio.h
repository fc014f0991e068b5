// The hive files on disk: where they are, reading them, and changing them safely.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "alveare.h"

namespace vq::registro {

enum class Alveare { ClassesRoot = 0, CurrentUser = 1, LocalMachine = 2 };

struct InfoAlveare {
    const char* radice;         // "HKEY_CURRENT_USER"
    const char* abbreviazione;  // "HKCU"
    const char* file;           // "HKCU.reg"
};
const InfoAlveare& Info(Alveare a);

// The hive as it is on disk now (an absent file is an empty hive). ERROR_BADDB when the
// file cannot be parsed; the parsed tree is kept while the file stays the same.
LONG Leggi(Alveare a, std::shared_ptr<const Chiave>& albero);

// Read-modify-write under the hive's lock: `modifica` gets a copy of the current tree and
// returns ERROR_SUCCESS to have it written (when it set `cambiato`), any other code to
// leave the file as it is. The new file replaces the old one atomically.
LONG Modifica(Alveare a, const std::function<LONG(Chiave& albero, bool& cambiato)>& modifica);

}  // namespace vq::registro
