// vqjetload: reads tables of a Jet file with libmdb and writes them into a new SQLite
// database. It runs as a child of the engine, under memory and time limits, so that a
// damaged file that makes libmdb loop, allocate without end or crash costs only this
// process. Its standard output carries a line protocol for the engine:
//   CATALOGO<TAB>name   one line per user table of the file
//   TABELLA<TAB>name    a requested table, under its name in the file
//   OK                  everything requested was written
//   ERRORE<TAB>n<TAB>description
// OUTPUT is a path, or /proc/self/fd/N for an empty memory file the engine handed over as
// descriptor N: the image then never touches a disk and is gone with both processes.
// The loader dies with its parent (and ends at once when VQJET_GENITORE names a parent
// that is already gone).
// Usage: vqjetload MEMORIA_MB CPU_S FILE OUTPUT [TABLE...]
#include <glib.h>
// glib first: mdbtools.h uses its types.
#include <mdbtools.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jet/errori.h"
#include "jet/intestazione.h"
#include "sqlite_jet.h"
#include "tipi_colonna.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kConSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kConSanitizer = true;
#else
constexpr bool kConSanitizer = false;
#endif
#else
constexpr bool kConSanitizer = false;
#endif

std::string PulisciRiga(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

[[noreturn]] void Esci(std::int32_t numero, const std::string& descrizione) {
    std::printf("ERRORE\t%d\t%s\n", numero, PulisciRiga(descrizione).c_str());
    std::fflush(stdout);
    std::_Exit(2);
}

bool Descrittore(const std::string& uscita, int& fd) {
    const std::string prefisso =
        jet::PercorsoDescrittore(0).substr(0, jet::PercorsoDescrittore(0).size() - 1);
    if (uscita.rfind(prefisso, 0) != 0) return false;
    char* fine = nullptr;
    long n = std::strtol(uscita.c_str() + prefisso.size(), &fine, 10);
    if (!fine || *fine || n < 3 || n > 1000) return false;
    fd = static_cast<int>(n);
    return true;
}

void MuoriColGenitore() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died between the start and the request above.
    if (const char* g = std::getenv("VQJET_GENITORE");
        g && std::strtol(g, nullptr, 10) != getppid())
        std::_Exit(3);
}

void Limita(unsigned long memoriaMb, unsigned long cpuS, const char* file, int tieni) {
    // Nothing the engine left open is ours, except the image.
    if (tieni >= 3) {
        if (tieni > 3) close_range(3, static_cast<unsigned>(tieni) - 1, 0);
        close_range(static_cast<unsigned>(tieni) + 1, ~0u, 0);
    } else {
        close_range(3, ~0u, 0);
    }
    struct rlimit r {};
    // The image holds the file's values, expanded at most a few times (text to UTF-8).
    struct stat st {};
    rlim_t massimo = 256ull << 20;
    if (stat(file, &st) == 0)
        massimo = std::max<rlim_t>(massimo, static_cast<rlim_t>(st.st_size) * 8);
    r.rlim_cur = r.rlim_max = massimo;
    setrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = cpuS;
    r.rlim_max = cpuS + 1;
    setrlimit(RLIMIT_CPU, &r);
    // Address-space limits break the sanitizers' shadow memory; their builds get the
    // equivalent through ASAN_OPTIONS from the engine.
    if (!kConSanitizer && memoriaMb > 0) {
        r.rlim_cur = r.rlim_max = static_cast<rlim_t>(memoriaMb) * 1024 * 1024;
        setrlimit(RLIMIT_AS, &r);
    }
    r.rlim_cur = r.rlim_max = 0;
    setrlimit(RLIMIT_CORE, &r);
}

std::string Ripiega(const char* s) {
    gchar* f = g_utf8_casefold(s, -1);
    std::string r = f ? f : s;
    g_free(f);
    return r;
}

struct Sqlite {
    sqlite3* db = nullptr;
    ~Sqlite() {
        if (db) sqlite3_close_v2(db);
    }
    void Esegui(const std::string& sql, const std::string& file) {
        char* msg = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : "";
            sqlite3_free(msg);
            Esci(jet::kErrDanneggiato,
                 "Impossibile scrivere l'immagine dei dati di '" + file + "': " + m);
        }
    }
};

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint64_t kRigheTabellaPiccola = 10000;

// One value of a row, decoded and waiting to be bound.
struct ValoreRiga {
    enum class Tipo : unsigned char { Nullo, Intero, Reale, Testo, Blob } tipo = Tipo::Nullo;
    std::int64_t intero = 0;
    double reale = 0;
    std::string byte;
    void Nullo() { tipo = Tipo::Nullo; }
    void Intero(std::int64_t x) { tipo = Tipo::Intero, intero = x; }
    void Reale(double x) {
        if (std::isnan(x)) tipo = Tipo::Nullo;  // SQLite has no NaN
        else tipo = Tipo::Reale, reale = x;
    }
    void Testo(std::string s) { tipo = Tipo::Testo, byte = std::move(s); }
    void Blob(const unsigned char* p, std::size_t n) {
        tipo = Tipo::Blob, byte.assign(reinterpret_cast<const char*>(p), n);
    }
};

// Rows decoded together, handed to the writing thread at once.
struct Lotto {
    std::vector<ValoreRiga> valori;  // righe x colonne
    std::size_t righe = 0;
};

// Inserts the rows of one table on a thread of its own, while the reading thread decodes
// the next ones with libmdb: the two halves of the work overlap. Lotti go round between
// the two threads, so memory stays bounded. A failure ends the process (as every error
// of the loader does).
class Scrittore {
public:
    template <class Errore>
    Scrittore(sqlite3* db, sqlite3_stmt* st, unsigned colonne, Errore errore)
        : db_(db), st_(st), colonne_(colonne) {
        for (int i = 0; i < kLotti; ++i) {
            lotti_.push_back(std::make_unique<Lotto>());
            lotti_.back()->valori.resize(static_cast<std::size_t>(kRigheLotto) * colonne);
            liberi_.push_back(lotti_.back().get());
        }
        filo_ = std::thread([this, errore] {
            if (!Esegui()) errore(sqlite3_errmsg(db_));
        });
    }
    ~Scrittore() { Fine(); }
    Scrittore(const Scrittore&) = delete;
    Scrittore& operator=(const Scrittore&) = delete;

    static constexpr std::size_t kRigheLotto = 512;

    Lotto* Libero() {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [&] { return !liberi_.empty(); });
        Lotto* x = liberi_.front();
        liberi_.pop_front();
        x->righe = 0;
        return x;
    }
    void Invia(Lotto* x) {
        {
            std::lock_guard<std::mutex> l(m_);
            pieni_.push_back(x);
        }
        cv_.notify_all();
    }
    // Waits until every row sent is inserted.
    void Fine() {
        if (!filo_.joinable()) return;
        {
            std::lock_guard<std::mutex> l(m_);
            fine_ = true;
        }
        cv_.notify_all();
        filo_.join();
    }

private:
    static constexpr int kLotti = 4;

    bool Esegui() {
        for (;;) {
            Lotto* x = nullptr;
            {
                std::unique_lock<std::mutex> l(m_);
                cv_.wait(l, [&] { return !pieni_.empty() || fine_; });
                if (pieni_.empty()) return true;
                x = pieni_.front();
                pieni_.pop_front();
            }
            for (std::size_t r = 0; r < x->righe; ++r) {
                sqlite3_reset(st_);
                for (unsigned c = 0; c < colonne_; ++c) {
                    const ValoreRiga& v = x->valori[r * colonne_ + c];
                    const int p = static_cast<int>(c) + 1;
                    switch (v.tipo) {
                        case ValoreRiga::Tipo::Nullo: sqlite3_bind_null(st_, p); break;
                        case ValoreRiga::Tipo::Intero: sqlite3_bind_int64(st_, p, v.intero); break;
                        case ValoreRiga::Tipo::Reale: sqlite3_bind_double(st_, p, v.reale); break;
                        case ValoreRiga::Tipo::Testo:
                            sqlite3_bind_text64(st_, p, v.byte.data(), v.byte.size(), SQLITE_STATIC,
                                                SQLITE_UTF8);
                            break;
                        case ValoreRiga::Tipo::Blob:
                            sqlite3_bind_blob64(st_, p, v.byte.data(), v.byte.size(),
                                                SQLITE_STATIC);
                            break;
                    }
                }
                if (sqlite3_step(st_) != SQLITE_DONE) return false;
            }
            {
                std::lock_guard<std::mutex> l(m_);
                liberi_.push_back(x);
            }
            cv_.notify_all();
        }
    }

    sqlite3* db_;
    sqlite3_stmt* st_;
    unsigned colonne_;
    std::vector<std::unique_ptr<Lotto>> lotti_;
    std::deque<Lotto*> liberi_, pieni_;
    bool fine_ = false;
    std::mutex m_;
    std::condition_variable cv_;
    std::thread filo_;
};

class Lettore {
public:
    Lettore(MdbHandle* mdb, const jet::Intestazione& h, std::string file,
            std::uint64_t dimensioneFile)
        : mdb_(mdb), h_(h), file_(std::move(file)), dimensioneFile_(dimensioneFile) {}

    [[noreturn]] void Danneggiato(const std::string& motivo) const {
        Esci(jet::kErrDanneggiato, "Impossibile aprire il database '" + file_ +
                                       "'. Il file potrebbe non essere un database riconosciuto "
                                       "oppure essere danneggiato. (" +
                                       motivo + ")");
    }

    std::string Testo(const unsigned char* p, std::size_t n) const {
        return h_.versione == jet::VersioneJet::Jet4 ? jet::TestoJet4InUtf8(p, n)
                                                     : jet::CodePageInUtf8(p, n, h_.codePage);
    }

    // A long value (memo or OLE object): inline in the row, on one LVAL page, or in a
    // chain of LVAL rows. Never cut; a chain that loops or ends early is damage.
    std::vector<unsigned char> ValoreLungo(const unsigned char* campo, std::size_t siz) const {
        if (siz < MDB_MEMO_OVERHEAD) Danneggiato("campo memo troppo corto");
        std::uint32_t intestazione = Le32(campo);
        std::size_t lunghezza = intestazione & 0x3FFFFFFFu;
        std::vector<unsigned char> out;
        if (intestazione & 0x80000000u) {
            std::size_t n = siz - MDB_MEMO_OVERHEAD;
            if (n < lunghezza) Danneggiato("campo memo troncato");
            out.assign(campo + MDB_MEMO_OVERHEAD, campo + MDB_MEMO_OVERHEAD + lunghezza);
            return out;
        }
        std::uint32_t pgRow = Le32(campo + 4);
        const bool unaPagina = (intestazione & 0x40000000u) != 0;
        if (!unaPagina && (intestazione & 0xC0000000u) != 0) Danneggiato("campo memo non valido");
        const std::uint64_t pagine = dimensioneFile_ / h_.dimensionePagina;
        if (lunghezza > dimensioneFile_) Danneggiato("campo memo più lungo del file");
        out.reserve(lunghezza);
        std::size_t passi = 0;
        while (out.size() < lunghezza) {
            if (pgRow == 0 || ++passi > pagine * 256)
                Danneggiato("catena di un campo memo interrotta");
            void* buf = nullptr;
            int off = 0;
            std::size_t len = 0;
            if (mdb_find_pg_row(mdb_, static_cast<int>(pgRow), &buf, &off, &len) != 0)
                Danneggiato("pagina di un campo memo illeggibile");
            if (off < 0 || static_cast<std::size_t>(off) + len > h_.dimensionePagina)
                Danneggiato("riga di un campo memo fuori pagina");
            const auto* riga = static_cast<const unsigned char*>(buf) + off;
            if (unaPagina) {
                if (len < lunghezza) Danneggiato("campo memo troncato");
                out.insert(out.end(), riga, riga + lunghezza);
                break;
            }
            if (len < 4) Danneggiato("riga di un campo memo troppo corta");
            pgRow = Le32(riga);
            std::size_t n = std::min(len - 4, lunghezza - out.size());
            out.insert(out.end(), riga + 4, riga + 4 + n);
        }
        return out;
    }

    void Copia(MdbCatalogEntry* voce, sqlite3* db) {
        MdbTableDef* t = mdb_read_table(voce);
        if (!t)
            Danneggiato("definizione della tabella '" + std::string(voce->object_name) +
                        "' illeggibile");
        struct Libera {
            MdbTableDef* t;
            ~Libera() { mdb_free_tabledef(t); }
        } libera{t};
        if (!mdb_read_columns(t)) Danneggiato("colonne della tabella illeggibili");
        if (t->num_cols == 0 || t->columns->len != t->num_cols)
            Danneggiato("tabella senza colonne");
        const std::string nome = voce->object_name;

        std::string crea = "CREATE TABLE " + jet::Virgolette(nome) + " (";
        std::string ins = "INSERT INTO " + jet::Virgolette(nome) + " VALUES (";
        std::vector<MdbColumn*> colonne;
        for (unsigned i = 0; i < t->num_cols; ++i) {
            auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
            colonne.push_back(c);
            if (i) {
                crea += ", ";
                ins += ", ";
            }
            crea += jet::Virgolette(c->name) + " " + jet::DichiarazioneColonna(c->col_type);
            ins += "?";
        }
        crea += ")";
        ins += ")";
        char* msg = nullptr;
        if (sqlite3_exec(db, crea.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : "";
            sqlite3_free(msg);
            Danneggiato("definizione della tabella non valida: " + m);
        }
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, ins.c_str(), -1, &st, nullptr) != SQLITE_OK)
            Danneggiato(sqlite3_errmsg(db));
        struct Finalizza {
            sqlite3_stmt* s;
            ~Finalizza() { sqlite3_finalize(s); }
        } fin{st};

        std::vector<MdbField> campi(t->num_cols);
        mdb_rewind_table(t);
        std::uint64_t righe = 0;
        const std::size_t pagina = h_.dimensionePagina;
        Scrittore scrittore(db, st, t->num_cols, [this](const std::string& m) { Danneggiato(m); });
        Lotto* lotto = scrittore.Libero();
        while (mdb_fetch_row(t)) {
            int inizio = 0;
            std::size_t lunghezza = 0;
            if (t->cur_row == 0 ||
                mdb_find_row(mdb_, static_cast<int>(t->cur_row - 1), &inizio, &lunghezza) != 0)
                Danneggiato("riga non trovata");
            inizio &= 0x1FFF;
            if (static_cast<std::size_t>(inizio) + lunghezza > pagina || lunghezza == 0)
                Danneggiato("riga fuori pagina");
            if (mdb_crack_row(t, inizio, lunghezza, campi.data()) < 0)
                Danneggiato("riga illeggibile");
            ValoreRiga* riga = lotto->valori.data() + lotto->righe * t->num_cols;
            for (unsigned i = 0; i < t->num_cols; ++i) {
                const MdbField& f = campi[i];
                if (f.colnum < 0 || static_cast<unsigned>(f.colnum) >= t->num_cols)
                    Danneggiato("colonna non valida");
                MdbColumn* c = colonne[static_cast<std::size_t>(f.colnum)];
                ValoreRiga& p = riga[f.colnum];
                if (c->col_type == MDB_BOOL) {  // the value is the null-mask bit itself
                    p.Intero(f.is_null ? 0 : 1);
                    continue;
                }
                if (f.is_null) {
                    p.Nullo();
                    continue;
                }
                if (f.siz < 0 || f.start < 0 ||
                    static_cast<std::size_t>(f.start) + static_cast<std::size_t>(f.siz) > pagina)
                    Danneggiato("valore fuori pagina");
                const unsigned char* v = mdb_->pg_buf + f.start;
                const std::size_t n = static_cast<std::size_t>(f.siz);
                Decodifica(p, c, v, n);
            }
            ++righe;
            if (++lotto->righe == Scrittore::kRigheLotto) {
                scrittore.Invia(lotto);
                lotto = scrittore.Libero();
            }
        }
        scrittore.Invia(lotto);
        scrittore.Fine();
        if (righe != t->num_rows)
            Danneggiato("la tabella '" + nome + "' dichiara " + std::to_string(t->num_rows) +
                        " righe, lette " + std::to_string(righe));
        // Small tables (accounts, codes: the ones joined to a large table by id) get an
        // index on each short column, so that a join reads the large table once and looks
        // the small ones up, as Jet does with its own keys.
        if (righe <= kRigheTabellaPiccola) {
            for (unsigned i = 0; i < t->num_cols; ++i) {
                MdbColumn* c = colonne[i];
                if (c->col_type == MDB_MEMO || c->col_type == MDB_OLE || c->col_type == MDB_BINARY)
                    continue;
                std::string indice =
                    "CREATE INDEX " + jet::Virgolette("vqidx_" + nome + "_" + std::to_string(i)) +
                    " ON " + jet::Virgolette(nome) + " (" + jet::Virgolette(c->name) + ")";
                if (sqlite3_exec(db, indice.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
                    Danneggiato(sqlite3_errmsg(db));
            }
        }
    }

private:
    void Fisso(std::size_t n, std::size_t atteso) const {
        if (n != atteso) Danneggiato("valore di lunghezza errata");
    }

    void Decodifica(ValoreRiga& p, MdbColumn* c, const unsigned char* v, std::size_t n) const {
        switch (c->col_type) {
            case MDB_BYTE:
                Fisso(n, 1);
                p.Intero(v[0]);
                break;
            case MDB_INT: {
                Fisso(n, 2);
                std::int16_t x;
                std::memcpy(&x, v, 2);
                p.Intero(x);
                break;
            }
            case MDB_LONGINT: {
                Fisso(n, 4);
                std::int32_t x;
                std::memcpy(&x, v, 4);
                p.Intero(x);
                break;
            }
            case MDB_MONEY: {
                Fisso(n, 8);
                std::int64_t x;
                std::memcpy(&x, v, 8);
                p.Reale(static_cast<double>(x) / 10000.0);
                break;
            }
            case MDB_FLOAT: {
                Fisso(n, 4);
                float x;
                std::memcpy(&x, v, 4);
                p.Reale(static_cast<double>(x));
                break;
            }
            case MDB_DOUBLE:
            case MDB_DATETIME: {
                Fisso(n, 8);
                double x;
                std::memcpy(&x, v, 8);
                p.Reale(x);
                break;
            }
            case MDB_TEXT: {
                p.Testo(Testo(v, n));
                break;
            }
            case MDB_MEMO: {
                std::vector<unsigned char> b = ValoreLungo(v, n);
                p.Testo(Testo(b.data(), b.size()));
                break;
            }
            case MDB_OLE: {
                std::vector<unsigned char> b = ValoreLungo(v, n);
                p.Blob(b.data(), b.size());
                break;
            }
            case MDB_REPID: {
                Fisso(n, 16);
                char g[40];
                std::snprintf(g, sizeof g, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                              Le32(v), static_cast<unsigned>(v[4] | (v[5] << 8)),
                              static_cast<unsigned>(v[6] | (v[7] << 8)), v[8], v[9], v[10], v[11],
                              v[12], v[13], v[14], v[15]);
                p.Testo(g);
                break;
            }
            case MDB_NUMERIC: {
                // Sign byte, then a 128-bit magnitude as four 32-bit words, most significant first.
                Fisso(n, 17);
                long double m = 0;
                for (int w = 0; w < 4; ++w)
                    m = m * 4294967296.0L + static_cast<long double>(Le32(v + 1 + 4 * w));
                long double x = m / std::pow(10.0L, static_cast<long double>(c->col_scale));
                if (v[0] & 0x80) x = -x;
                p.Reale(static_cast<double>(x));
                break;
            }
            default: p.Blob(v, n); break;
        }
    }

    MdbHandle* mdb_;
    const jet::Intestazione& h_;
    std::string file_;
    std::uint64_t dimensioneFile_;  // bounds a long value and the length of its chain
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "uso: vqjetload MEMORIA_MB CPU_S FILE OUTPUT [TABELLA...]\n");
        return 64;
    }
    MuoriColGenitore();
    // One thread, and no allocation statistics: SQLite then takes no lock per call.
    sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    const std::string file = argv[3];
    const std::string uscita = argv[4];
    int fdUscita = -1;
    const bool inMemoria = Descrittore(uscita, fdUscita);
    Limita(std::strtoul(argv[1], nullptr, 10), std::strtoul(argv[2], nullptr, 10), argv[3],
           fdUscita);
    try {
        // The header first: libmdb accepts files that are not Jet files at all.
        jet::Intestazione h;
        std::uint64_t dimensione = 0;
        {
            FILE* f = std::fopen(file.c_str(), "rb");
            if (!f) jet::ErroreFileNonTrovato(file);
            std::vector<std::uint8_t> p(jet::kByteIntestazione);
            std::size_t letti = std::fread(p.data(), 1, p.size(), f);
            struct stat st {};
            if (fstat(fileno(f), &st) == 0) dimensione = static_cast<std::uint64_t>(st.st_size);
            std::fclose(f);
            h = jet::LeggiIntestazione(p.data(), letti, dimensione, file);
        }
        MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
        if (!mdb) jet::ErroreDanneggiato(file, "libmdb non riesce ad aprirlo");
        if (!mdb_read_catalog(mdb, MDB_TABLE)) jet::ErroreDanneggiato(file, "catalogo illeggibile");

        std::vector<MdbCatalogEntry*> utente;
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e && e->object_type == MDB_TABLE && !mdb_is_system_table(e)) {
                utente.push_back(e);
                std::printf("CATALOGO\t%s\n", PulisciRiga(e->object_name).c_str());
            }
        }
        std::vector<MdbCatalogEntry*> scelte;
        for (int a = 5; a < argc; ++a) {
            std::string cercato = Ripiega(argv[a]);
            MdbCatalogEntry* trovata = nullptr;
            for (auto* e : utente)
                if (Ripiega(e->object_name) == cercato) trovata = e;
            if (!trovata) jet::ErroreTabella(argv[a]);
            bool gia = false;
            for (auto* e : scelte) gia = gia || e == trovata;
            if (!gia) scelte.push_back(trovata);
        }
        std::fflush(stdout);

        Sqlite out;
        if (!inMemoria) unlink(uscita.c_str());
        if (sqlite3_open_v2(uscita.c_str(), &out.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            inMemoria ? jet::VfsDescrittori() : nullptr) != SQLITE_OK)
            jet::ErroreDanneggiato(file, "impossibile creare l'immagine dei dati");
        // The text columns and their indexes use the engine's collation.
        jet::RegistraJet(out.db);
        out.Esegui(
            "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
            "PRAGMA cache_size=-16384; BEGIN",
            file);
        // Memo values are read whole; libmdb's bound reading would cut them.
        mdb_set_bind_size(mdb, 1u << 20);
        Lettore lettore(mdb, h, file, dimensione);
        for (auto* e : scelte) {
            lettore.Copia(e, out.db);
            std::printf("TABELLA\t%s\n", PulisciRiga(e->object_name).c_str());
        }
        out.Esegui("COMMIT", file);
        // Row counts for SQLite's planner: joins then start from the large table and look
        // the small ones up, instead of indexing the large one at every query.
        // Sampled: the planner needs sizes, not exact counts, and a full analysis reads
        // every row once more.
        out.Esegui("PRAGMA analysis_limit=2000; ANALYZE", file);
        if (sqlite3_close(out.db) != SQLITE_OK)
            jet::ErroreDanneggiato(file, "immagine dei dati incompleta");
        out.db = nullptr;
        mdb_close(mdb);
        std::printf("OK\n");
        std::fflush(stdout);
        return 0;
    } catch (const vq::Errore& e) {
        Esci(e.numero(), e.descrizione());
    } catch (const std::bad_alloc&) {
        Esci(jet::kErrDanneggiato, "Memoria esaurita durante la lettura di '" + file + "'.");
    }
}
