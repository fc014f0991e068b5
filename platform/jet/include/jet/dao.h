// The Jet engine stand-in, in the shape of the data-access objects (DAO 3.5): a per-thread
// engine object, workspace 0, OpenDatabase, and forward-only snapshot recordsets with
// end-of-file test, fields by index or name, MoveNext, GetRows and Close.
//
// Underneath, the Jet file is read by libmdb in a child process under memory and time
// limits, which hands back a SQLite image of just the tables a query uses; SQLite then
// runs the Jet SQL text. The file is only ever read. Tables stay loaded while the file
// is unchanged (same device, inode, size and modification time) and are loaded again
// when it changes, so each query sees the file as it is when the query runs.
//
// Every failure is a vq::Errore with the engine's number (see jet/errori.h) and an
// Italian description; a failed operation leaves nothing open.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/valore.h"
#include "ole/automation.h"

namespace jet {

// Recordset types.
inline constexpr int dbOpenTable = 1;
inline constexpr int dbOpenDynaset = 2;
inline constexpr int dbOpenSnapshot = 4;
inline constexpr int dbOpenForwardOnly = 8;

// Limits of the child process that reads a file.
struct Limiti {
    std::uint64_t memoriaMb = 1024;  // address space (or RSS under sanitizers)
    std::chrono::milliseconds tempo{std::chrono::minutes(2)};  // wall clock; CPU time likewise
};

class Recordset;
class Database;
class Workspace;

class DBEngine {
public:
    // The engine of the calling thread, created on first use, kept for the thread's life.
    static DBEngine& DelThread();

    Workspace& Workspaces(int indice);  // only 0 exists; others fail with 3265

    const Limiti& limiti() const { return limiti_; }
    void ImpostaLimiti(const Limiti& l) { limiti_ = l; }

    DBEngine();
    ~DBEngine();
    DBEngine(const DBEngine&) = delete;
    DBEngine& operator=(const DBEngine&) = delete;

private:
    Limiti limiti_;
    std::unique_ptr<Workspace> ws0_;
};

class Workspace {
public:
    explicit Workspace(DBEngine& motore) : motore_(motore) {}
    // Opens the file shared and read-only whatever `readOnly` says (the file is never
    // written). `connect` is a Jet connect string; its ";Pwd=" is checked against the
    // file's database password. Fails with 3024, 3051, 3343, 3049 or 3031.
    std::unique_ptr<Database> OpenDatabase(const std::string& nome, bool exclusive = false,
                                           bool readOnly = false, const std::string& connect = {});

private:
    DBEngine& motore_;
};

class Database {
public:
    ~Database();  // closes
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one SELECT statement of Jet SQL and returns it as a forward-only snapshot.
    // `tipo` may be dbOpenForwardOnly, dbOpenSnapshot or dbOpenDynaset (all read-only
    // here). Besides SQLite's syntax: [names], = True, DateSerial, Year, Month, Day, Nz,
    // IIf, #date# literals, & and LIKE with * ? [c].
    std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, int tipo = dbOpenForwardOnly);
    // Closes the database and every recordset still open on it; a second call does nothing.
    void Close();
    const std::string& Name() const;
    bool Aperto() const;

    // Statistics for tests and benchmarks: how many times the file was read by a child.
    int Caricamenti() const;

    struct Stato;

private:
    friend class Workspace;
    explicit Database(std::shared_ptr<Stato> s);
    std::shared_ptr<Stato> stato_;
};

class Recordset {
public:
    ~Recordset();  // closes
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool Eof() const;  // DAO's EOF (the name is a macro in C)
    int FieldsCount() const;
    std::string FieldName(int indice) const;

    // The current row's field as DAO gives it: VT_NULL, VT_BOOL, VT_UI1, VT_I2, VT_I4,
    // VT_CY, VT_R4, VT_R8, VT_DATE, VT_BSTR or VT_ARRAY|VT_UI1. The caller owns the
    // VARIANT (VariantClear). Fails with 3021 at the end, 3265 for an unknown field.
    VARIANT Fields(int indice) const;
    VARIANT Fields(std::string_view nome) const;
    // The same value without automation types.
    Valore Campo(int indice) const;
    Valore Campo(std::string_view nome) const;

    void MoveNext();  // 3021 when already at the end

    // Up to `righe` rows from the current one on, as a VARIANT holding a two-dimensional
    // array of VARIANTs [field][row], both from 0; VT_EMPTY when no row is left.
    // The recordset moves past the rows fetched.
    VARIANT GetRows(std::int32_t righe);

    void Close();  // a second call does nothing

    struct Stato;

private:
    friend class Database;
    explicit Recordset(std::shared_ptr<Stato> s);
    std::shared_ptr<Stato> stato_;
};

// The automation VARIANT for an engine value (the caller owns it).
VARIANT VariantDaValore(const Valore& v);

}  // namespace jet
