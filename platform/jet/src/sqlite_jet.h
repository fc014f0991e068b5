// The SQLite connection that runs Jet SQL over the loaded tables: Jet's text order,
// DateSerial, Year, Month, Day, Nz, IIf, an exact Sum, and an authorizer that lets only
// reading through.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace jet {

// Opens an empty in-memory database with the Jet functions and collation registered.
sqlite3* ApriConnessioneJet();
// Registers the collation JET and the Jet functions on a connection.
void RegistraJet(sqlite3* db);

// The name of a VFS that opens "/proc/self/fd/N" as the file behind descriptor N (a
// memory file): the default one opens without following links, and that path is one.
// Registered at the first call; SQLite's open is replaced for the whole process by one
// that differs only for such paths. Error 3219 when SQLite will not allow it.
const char* VfsDescrittori();
// The path of descriptor `fd` for that VFS.
std::string PercorsoDescrittore(int fd);

// Turns the authorizer on or off (on only while user SQL is being prepared).
void ImpostaSoloLettura(sqlite3* db, bool attivo);

// Jet's text comparison: case-insensitive, accents distinct and sorted beside their
// plain letter (ICU, Italian, secondary strength). Returns <0, 0, >0.
int ConfrontaTestoJet(std::string_view a, std::string_view b);

// A name as an SQL identifier: in double quotes, inner quotes doubled.
std::string Virgolette(std::string_view nome);

// Errors raised inside SQL functions travel through SQLite as text with this prefix
// followed by "numero:descrizione".
inline constexpr std::string_view kPrefissoErrore = "vq:";

}  // namespace jet
