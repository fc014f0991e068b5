// What ClsDatiMirtesa needs of the database engine, and nothing more: opening the host's
// Jet file shared and read-only with its password, running SQL text as a forward-only
// snapshot, reading fields (Null included) row by row, fetching rows into a
// fields-by-rows array, and closing. The engine and the host-integration component sit
// behind Motore, so the class does not depend on how either is reached.
//
// Every operation reports a failure by raising vq::Errore with the engine's own number
// and description.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ole/automation.h"

namespace tessadati {

// An open forward-only snapshot. Closed by Chiudi or, at the latest, by its destruction.
class Recordset {
public:
    virtual ~Recordset() = default;
    // True once past the last row (at once when the query found none).
    virtual bool Fine() const = 0;
    // The value of a field of the current row (Null as VT_NULL). `valore` is cleared
    // first and then owns the value.
    virtual void Campo(int indice, VARIANT& valore) = 0;
    virtual void Campo(std::string_view nome, VARIANT& valore) = 0;
    virtual void Successivo() = 0;
    // Up to `righe` rows from the current one, as a [field][row] array of variants
    // (the caller owns it), the position moving past them.
    virtual SAFEARRAY* GetRows(LONG righe) = 0;
    virtual void Chiudi() = 0;
};

// An open database.
class Database {
public:
    virtual ~Database() = default;
    virtual std::unique_ptr<Recordset> ApriRecordset(const std::string& sql) = 0;
    virtual void Chiudi() = 0;
};

// The engine and the host, as the data class reaches them.
class Motore {
public:
    virtual ~Motore() = default;
    // The host's data folder, as the host-integration component gives it (it normally
    // ends with a path separator).
    virtual std::string CartellaDati() = 0;
    // Opens `percorso` shared and read-only with the connect string `connessione`.
    virtual std::unique_ptr<Database> Apri(const std::string& percorso,
                                           const std::string& connessione) = 0;
};

// The engine of this build (one per process; the object keeps a reference): the
// host-integration component for the folder, the Jet engine of the calling thread for the
// file.
Motore& MotorePredefinito();

// The host's programs spell the database's name in more than one way: the file as
// vq::CercaSenzaMaiuscole finds it, several case variants and no exact name being error 3024.
std::string CercaFileHost(const std::string& percorso);

}  // namespace tessadati
