#include "sqlite_jet.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <fcntl.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "jet/errori.h"
#include "vq/conversioni.h"
#include "vq/data.h"

namespace jet {
namespace {

UCollator* NuovoCollatore() {
    UErrorCode e = U_ZERO_ERROR;
    UCollator* c = ucol_open("it", &e);
    if (U_FAILURE(e) || !c) return nullptr;
    ucol_setStrength(c, UCOL_SECONDARY);
    return c;
}

int Collazione(void* ctx, int na, const void* a, int nb, const void* b) {
    auto* c = static_cast<UCollator*>(ctx);
    UErrorCode e = U_ZERO_ERROR;
    UCollationResult r =
        ucol_strcollUTF8(c, static_cast<const char*>(a), na, static_cast<const char*>(b), nb, &e);
    if (U_FAILURE(e)) {  // invalid UTF-8 cannot come from the loader; order bytes then
        int m = std::memcmp(a, b, static_cast<std::size_t>(std::min(na, nb)));
        return m != 0 ? m : na - nb;
    }
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

void DistruggiCollatore(void* ctx) { ucol_close(static_cast<UCollator*>(ctx)); }

void ErroreSql(sqlite3_context* ctx, std::int32_t numero, const std::string& descrizione) {
    std::string m = std::string(kPrefissoErrore) + std::to_string(numero) + ":" + descrizione;
    sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

// An argument as a whole number the way the runtime passes a number to an Integer
// parameter: rounded half to even; text that is not a number is a type mismatch.
bool Intero(sqlite3_context* ctx, sqlite3_value* v, int& out) {
    int t = sqlite3_value_numeric_type(v);
    double d;
    if (t == SQLITE_INTEGER) {
        sqlite3_int64 i = sqlite3_value_int64(v);
        d = static_cast<double>(i);
    } else if (t == SQLITE_FLOAT) {
        d = sqlite3_value_double(v);
    } else {
        ErroreSql(ctx, vq::kErrTipo, vq::DescrizioneRuntime(vq::kErrTipo));
        return false;
    }
    d = vq::ArrotondaPari(d);
    if (!(d >= -32768.0 && d <= 32767.0)) {
        ErroreSql(ctx, vq::kErrOverflow, vq::DescrizioneRuntime(vq::kErrOverflow));
        return false;
    }
    out = static_cast<int>(d);
    return true;
}

void DateSerialSql(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    int a, m, g;
    if (!Intero(ctx, argv[0], a) || !Intero(ctx, argv[1], m) || !Intero(ctx, argv[2], g)) return;
    try {
        sqlite3_result_double(ctx, vq::DateSerial(a, m, g));
    } catch (const vq::Errore& e) {
        ErroreSql(ctx, e.numero(), e.descrizione());
    }
}

// Year, Month, Day of an automation date (Null gives Null).
template <int Parte>
void ParteDataSql(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int t = sqlite3_value_numeric_type(argv[0]);
    if (t == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) {
        ErroreSql(ctx, vq::kErrTipo, vq::DescrizioneRuntime(vq::kErrTipo));
        return;
    }
    try {
        vq::DataOra d = vq::ScomponiData(sqlite3_value_double(argv[0]));
        sqlite3_result_int(ctx, Parte == 0 ? d.anno : Parte == 1 ? d.mese : d.giorno);
    } catch (const vq::Errore& e) {
        ErroreSql(ctx, e.numero(), e.descrizione());
    }
}

// Nz(value, replacement): the replacement when the value is Null.
void NzSql(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL ? argv[1] : argv[0]);
}

// IIf(condition, if true, if false): Null and 0 are false.
void IIfSql(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int t = sqlite3_value_numeric_type(argv[0]);
    bool vero = (t == SQLITE_INTEGER || t == SQLITE_FLOAT) && sqlite3_value_double(argv[0]) != 0.0;
    sqlite3_result_value(ctx, vero ? argv[1] : argv[2]);
}

// Sum with the partial sums of whole numbers kept exact and the others compensated
// (Neumaier), so that a long column of currency amounts adds up to the cent.
struct Somma {
    bool qualcosa;
    bool inDouble;  // false while every value so far was a whole number and the sum fits
    sqlite3_int64 intera;
    double s;
    double c;
};

void PassaADouble(Somma* p) {
    if (p->inDouble) return;
    p->inDouble = true;
    p->s = static_cast<double>(p->intera);
    p->c = 0;
}

void SommaPasso(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* p = static_cast<Somma*>(sqlite3_aggregate_context(ctx, sizeof(Somma)));
    if (!p) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    int t = sqlite3_value_numeric_type(argv[0]);
    if (t == SQLITE_NULL) return;
    p->qualcosa = true;
    double x;
    if (t == SQLITE_INTEGER && !p->inDouble) {
        sqlite3_int64 i = sqlite3_value_int64(argv[0]);
        sqlite3_int64 r;
        if (!__builtin_add_overflow(p->intera, i, &r)) {
            p->intera = r;
            return;
        }
        PassaADouble(p);
        x = static_cast<double>(i);
    } else {
        PassaADouble(p);
        x = t == SQLITE_INTEGER || t == SQLITE_FLOAT ? sqlite3_value_double(argv[0]) : 0.0;
    }
    double somma = p->s + x;
    if (std::fabs(p->s) >= std::fabs(x)) p->c += (p->s - somma) + x;
    else p->c += (x - somma) + p->s;
    p->s = somma;
}

void SommaFine(sqlite3_context* ctx) {
    auto* p = static_cast<Somma*>(sqlite3_aggregate_context(ctx, 0));
    if (!p || !p->qualcosa) {
        sqlite3_result_null(ctx);
    } else if (!p->inDouble) {
        sqlite3_result_int64(ctx, p->intera);
    } else {
        sqlite3_result_double(ctx, p->s + p->c);
    }
}

int Autorizza(void*, int azione, const char* a, const char*, const char*, const char*) {
    switch (azione) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_RECURSIVE: return SQLITE_OK;
        case SQLITE_FUNCTION:
            if (a && (sqlite3_stricmp(a, "load_extension") == 0 ||
                      sqlite3_stricmp(a, "fts3_tokenizer") == 0 ||
                      sqlite3_strnicmp(a, "sqlite_", 7) == 0))
                return SQLITE_DENY;
            return SQLITE_OK;
        default: return SQLITE_DENY;
    }
}

}  // namespace

void RegistraJet(sqlite3* db) {
    UCollator* c = NuovoCollatore();
    if (!c || sqlite3_create_collation_v2(db, "JET", SQLITE_UTF8, c, Collazione,
                                          DistruggiCollatore) != SQLITE_OK) {
        if (c) ucol_close(c);
        vq::Solleva(vq::kErrMemoria, "Impossibile preparare l'ordinamento del testo.");
    }
    const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "DateSerial", 3, det, nullptr, DateSerialSql, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "sum", 1, det, nullptr, nullptr, SommaPasso, SommaFine, nullptr);
    sqlite3_create_function_v2(db, "Year", 1, det, nullptr, ParteDataSql<0>, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "Month", 1, det, nullptr, ParteDataSql<1>, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "Day", 1, det, nullptr, ParteDataSql<2>, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "Nz", 2, det, nullptr, NzSql, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "IIf", 3, det, nullptr, IIfSql, nullptr, nullptr, nullptr);
}

sqlite3* ApriConnessioneJet() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::bad_alloc();
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 10);
    // No value of a Jet file comes near this; a query cannot build larger ones either.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 28);
    try {
        RegistraJet(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    return db;
}

namespace {

int NomeCompleto(sqlite3_vfs*, const char* nome, int n, char* out) {
    const std::size_t l = std::strlen(nome);
    if (n <= 0 || l >= static_cast<std::size_t>(n)) return SQLITE_CANTOPEN;
    std::memcpy(out, nome, l + 1);
    return SQLITE_OK;
}

constexpr std::string_view kCartellaDescrittori = "/proc/self/fd/";

// SQLite opens every file without following links; a descriptor's path is one.
int ApriFile(const char* nome, int flag, int modo) {
    if (std::string_view(nome).substr(0, kCartellaDescrittori.size()) == kCartellaDescrittori)
        flag &= ~O_NOFOLLOW;
    return open(nome, flag, modo);
}

}  // namespace

const char* VfsDescrittori() {
    static constexpr const char* kNome = "vqjet-fd";
    static const bool registrato = [] {
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        if (!base) return false;
        if (base->iVersion < 3 || !base->xSetSystemCall ||
            base->xSetSystemCall(base, "open", reinterpret_cast<sqlite3_syscall_ptr>(ApriFile)) !=
                SQLITE_OK)
            return false;
        static sqlite3_vfs vfs = *base;
        vfs.zName = kNome;
        vfs.xFullPathname = NomeCompleto;
        vfs.pNext = nullptr;
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    }();
    if (!registrato) ErroreOperazione("SQLite non accetta l'apertura per descrittore");
    return kNome;
}

std::string PercorsoDescrittore(int fd) {
    return std::string(kCartellaDescrittori) + std::to_string(fd);
}

void ImpostaSoloLettura(sqlite3* db, bool attivo) {
    sqlite3_set_authorizer(db, attivo ? Autorizza : nullptr, nullptr);
}

std::string Virgolette(std::string_view nome) {
    std::string s = "\"";
    for (char c : nome) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + "\"";
}

int ConfrontaTestoJet(std::string_view a, std::string_view b) {
    thread_local std::unique_ptr<UCollator, void (*)(UCollator*)> c(NuovoCollatore(), ucol_close);
    if (!c) return a.compare(b);
    return Collazione(c.get(), static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()),
                      b.data());
}

}  // namespace jet
