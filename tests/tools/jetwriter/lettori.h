// Independent readers used to check written Jet files: libmdb (mdbtools 1.0) read in
// process, the npm package mdb-reader run through node, and the mdbtools commands.
// Values are compared as canonical texts:
//   Null "NULL"; booleans "true"/"false"; whole numbers in decimal; currency with four
//   decimals ("-12.3456"); single and double as %.17g of the stored value; dates as %.17g
//   of the stored day count (libmdb) or, for mdb-reader, which converts dates to
//   milliseconds since 1970, "ms:" and that count; text with a leading apostrophe.
#pragma once

#include "jet_prova.h"
#include "jetwriter/jetwriter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace prova {

using Righe = std::vector<std::vector<std::string>>;

struct ColonnaLetta {
    std::string nome;
    std::string tipo;    // jet-writer's type names; "binary", "ole" and "altro" for the rest
    int dimensione = 0;  // bytes as stored in the definition
    bool contatore = false;
};

struct TabellaLetta {
    std::string nome;
    std::int64_t righeDichiarate = 0;  // the count in the table definition
    std::uint32_t pagina = 0;          // page of the table definition (libmdb only)
    std::vector<ColonnaLetta> colonne;
    Righe righe;
};

struct DatabaseLetto {
    std::string formato;                  // "jet3" / "jet4"
    std::optional<std::string> password;  // mdb-reader only
    std::vector<TabellaLetta> tabelle;
    const TabellaLetta* Tabella(const std::string& nome) const;
};

// libmdb in this process. Throws std::runtime_error when libmdb cannot read the file.
DatabaseLetto LeggiConLibmdb(const std::filesystem::path& file);

// node + mdb-reader (tools/node). std::nullopt with `perche` set when node or the package
// is not available here; throws when they are there but fail on the file.
std::optional<DatabaseLetto> LeggiConMdbReader(const std::filesystem::path& file,
                                               std::string& perche);

// The autonumber state kept in a table definition (the last number given).
std::uint32_t UltimoContatore(const std::filesystem::path& file, std::uint32_t paginaDefinizione);

// The database password as Jet stores it in the header, decoded here.
std::string PasswordDaIntestazione(const std::filesystem::path& file, int codePage = 1252);

// What libmdb should find for the rows of `t`, with the values of autonumber columns
// given as Null filled in as the writer numbers them.
Righe Attese(const jetwriter::Tabella& t);
std::string CanonicoData(double giorni, bool millisecondi);

}  // namespace prova
