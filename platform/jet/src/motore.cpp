#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <mutex>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "figlio.h"
#include "jet/analisi_sql.h"
#include "jet/dao.h"
#include "jet/errori.h"
#include "jet/intestazione.h"
#include "sqlite_jet.h"
#include "tipi_colonna.h"
#include "vq/file.h"

namespace jet {
namespace {

// What identifies the file's content for the cache: a write by the host changes at
// least the modification time (or, for a replaced file, the inode).
struct Identita {
    dev_t dispositivo = 0;
    ino_t inode = 0;
    off_t dimensione = 0;
    std::int64_t modificaNs = 0;
    friend bool operator==(const Identita&, const Identita&) = default;
};

[[noreturn]] void ErroreApertura(int err, const std::string& nome) {
    if (err == EACCES || err == EPERM) ErrorePermesso(nome);
    ErroreFileNonTrovato(nome);
}

Identita IdentitaDaStat(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Reads and checks page 0 and the file's identity in one go.
std::pair<Intestazione, Identita> LeggiFile(const std::string& nome) {
    const vq::Descrittore aperto(open(nome.c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = aperto.get();
    if (fd < 0) ErroreApertura(errno, nome);
    struct stat st {};
    if (fstat(fd, &st) != 0) ErroreApertura(errno, nome);
    if (!S_ISREG(st.st_mode)) ErroreFileNonTrovato(nome);
    std::uint8_t pagina[kByteIntestazione];
    std::size_t letti = 0;
    while (letti < sizeof pagina) {
        ssize_t r = pread(fd, pagina + letti, sizeof pagina - letti, static_cast<off_t>(letti));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) ErroreApertura(errno, nome);
        if (r == 0) break;
        letti += static_cast<std::size_t>(r);
    }
    Intestazione h = LeggiIntestazione(pagina, letti, static_cast<std::uint64_t>(st.st_size), nome);
    return {h, IdentitaDaStat(st)};
}

Identita IdentitaDi(const std::string& nome) {
    struct stat st {};
    if (stat(nome.c_str(), &st) != 0) ErroreApertura(errno, nome);
    return IdentitaDaStat(st);
}

// An empty memory file for one SQLite image: it lives in memory only and goes with the
// last descriptor, so the tables of a protected database never reach a disk and never
// outlive this process (and the loader, which dies with it).
int NuovaImmagine() {
    int fd = memfd_create("vqjet-immagine", MFD_CLOEXEC);
    if (fd < 0)
        vq::Solleva(vq::kErrMemoria,
                    std::string("Impossibile creare l'immagine dei dati: ") + std::strerror(errno));
    return fd;
}

bool StessoNome(std::string_view a, std::string_view b) { return ConfrontaTestoJet(a, b) == 0; }

// A failure the engine handles itself must not replace the thread's current error (a
// caller may be unwinding from its own failure): this keeps it as it was.
class ConservaErrore {
public:
    ConservaErrore() : e_(vq::Err()) {}
    ~ConservaErrore() {
        if (e_.numero != 0) vq::ImpostaErrore(e_.numero, e_.descrizione);
        else vq::CancellaErrore();
    }
    ConservaErrore(const ConservaErrore&) = delete;
    ConservaErrore& operator=(const ConservaErrore&) = delete;

private:
    vq::ErroreCorrente e_;
};

// A currency amount in ten-thousandths, as the 64 bits of a currency value hold it. An
// amount beyond them (a query can compute one) is an overflow, never a wrapped number.
std::int64_t ValutaScalata(bool intero, std::int64_t n, double d) {
    constexpr std::int64_t kMassimo = INT64_MAX / 10000;
    if (intero && n >= -kMassimo && n <= kMassimo) return n * 10000;
    const double scalato = std::round((intero ? static_cast<double>(n) : d) * 10000.0);
    // 2^63 exactly: the first double outside the range of std::int64_t.
    if (!(scalato >= -9223372036854775808.0 && scalato < 9223372036854775808.0))
        vq::Solleva(vq::kErrOverflow);
    return static_cast<std::int64_t>(scalato);
}

std::string UriFile(const std::string& percorso) {
    std::string s = "file:";
    for (char ch : percorso) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
            s += static_cast<char>(c);
        } else {
            char b[4];
            std::snprintf(b, sizeof b, "%%%02X", c);
            s += b;
        }
    }
    return s + "?mode=ro&immutable=1&vfs=" + VfsDescrittori();
}

}  // namespace

// A result kept whole: the same SQL on the same state of the file gives it again. Its
// values are packed: each a kind and 8 bytes (the number, or where its text starts in one
// shared buffer).
class Risultato {
public:
    explicit Risultato(std::vector<std::string> n) : nomi(std::move(n)) {}

    std::size_t Righe() const { return nomi.empty() ? 0 : celle_.size() / nomi.size(); }
    std::size_t Byte() const { return celle_.size() * sizeof(Cella) + testi_.size(); }

    void Aggiungi(const Valore& v) {
        Cella c;
        c.tipo = v.tipo;
        switch (v.tipo) {
            case Valore::Tipo::Testo:
            case Valore::Tipo::Binario:
                c.dato = testi_.size();
                c.lunghezza = static_cast<std::uint32_t>(v.testo.size());
                testi_ += v.testo;
                break;
            case Valore::Tipo::Singolo:
            case Valore::Tipo::Doppio:
            case Valore::Tipo::Data: std::memcpy(&c.dato, &v.reale, sizeof v.reale); break;
            default: std::memcpy(&c.dato, &v.intero, sizeof v.intero); break;
        }
        celle_.push_back(c);
    }
    Valore Leggi(std::size_t riga, std::size_t campo) const {
        const Cella& c = celle_[riga * nomi.size() + campo];
        Valore v;
        v.tipo = c.tipo;
        switch (c.tipo) {
            case Valore::Tipo::Testo:
            case Valore::Tipo::Binario: v.testo.assign(testi_, c.dato, c.lunghezza); break;
            case Valore::Tipo::Singolo:
            case Valore::Tipo::Doppio:
            case Valore::Tipo::Data: std::memcpy(&v.reale, &c.dato, sizeof v.reale); break;
            default: std::memcpy(&v.intero, &c.dato, sizeof v.intero); break;
        }
        return v;
    }
    // Ready to be kept: no spare capacity.
    void Chiudi() {
        celle_.shrink_to_fit();
        testi_.shrink_to_fit();
    }

    const std::vector<std::string> nomi;

private:
    struct Cella {
        std::uint64_t dato = 0;
        std::uint32_t lunghezza = 0;
        Valore::Tipo tipo = Valore::Tipo::Null;
    };
    std::vector<Cella> celle_;
    std::string testi_;
};
// A result is kept while it stays under kByteRisultato (a row array of the export's
// 32,767 rows takes about 9 MB); a recordset closed before its end is read on to keep it
// only while it has no more than kRigheCompletate rows. Each state of the file keeps at
// most kRisultatiMemorizzati results and kByteMemorizzati bytes of them.
inline constexpr std::size_t kByteRisultato = std::size_t{24} << 20;
inline constexpr std::size_t kRigheCompletate = 256;
inline constexpr std::size_t kRisultatiMemorizzati = 128;
inline constexpr std::size_t kByteMemorizzati = std::size_t{48} << 20;

// One state of the file: the tables loaded from it while it keeps one identity. A new
// state starts when the file changes; recordsets keep the state they were opened on.
struct Generazione {
    Identita identita;
    sqlite3* db = nullptr;
    std::vector<int> immagini;  // memory files, each attached as img<index>
    std::vector<std::string> catalogo;
    bool catalogoNoto = false;
    // The loaded tables, under their names in the file, each with the image that holds it.
    std::vector<std::pair<std::string, std::size_t>> immagineDi;
    // Small results already computed on this state of the file, by SQL text.
    std::map<std::string, std::shared_ptr<const Risultato>> risultati;
    std::size_t byteRisultati = 0;
    void Conserva(const std::string& sql, std::shared_ptr<const Risultato> r) {
        if (risultati.size() >= kRisultatiMemorizzati ||
            byteRisultati + r->Byte() > kByteMemorizzati) {
            risultati.clear();
            byteRisultati = 0;
        }
        byteRisultati += r->Byte();
        risultati[sql] = std::move(r);
    }
    std::set<std::string> ordinamentiProvati;

    explicit Generazione(const Identita& id) : identita(id), db(ApriConnessioneJet()) {}
    ~Generazione() {
        sqlite3_close_v2(db);
        for (int fd : immagini) close(fd);
    }
    Generazione(const Generazione&) = delete;
    Generazione& operator=(const Generazione&) = delete;

    bool Caricata(const std::string& t) const {
        for (const auto& c : immagineDi)
            if (StessoNome(c.first, t)) return true;
        return false;
    }
    bool InCatalogo(const std::string& t) const {
        for (const auto& c : catalogo)
            if (StessoNome(c, t)) return true;
        return false;
    }
    // Attaches image `indice` (a memory file in immagini) as schema img<indice>; false when SQLite
    // refuses it.
    bool Attacca(std::size_t indice) {
        const std::string schema = "img" + std::to_string(indice);
        sqlite3_stmt* st = nullptr;
        int rc =
            sqlite3_prepare_v2(db, ("ATTACH DATABASE ? AS " + schema).c_str(), -1, &st, nullptr);
        const std::string uri = UriFile(PercorsoDescrittore(immagini[indice]));
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(st, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) return false;
        // The image is read through the page cache of the system rather than copied into
        // SQLite's own: scans of a large table go faster.
        sqlite3_exec(db, ("PRAGMA " + schema + ".mmap_size = 1073741824").c_str(), nullptr, nullptr,
                     nullptr);
        return true;
    }
    // Takes the memory file `fd` and attaches it.
    void Collega(int fd) {
        immagini.push_back(fd);
        if (!Attacca(immagini.size() - 1)) {
            immagini.pop_back();
            close(fd);
            vq::Solleva(vq::kErrMemoria, std::string("Impossibile aprire l'immagine dei dati: ") +
                                             sqlite3_errmsg(db));
        }
    }
};

struct Recordset::Stato {
    std::shared_ptr<Generazione> generazione;
    sqlite3_stmt* st = nullptr;
    std::vector<std::string> nomi;
    std::vector<TipoJet> tipi;
    bool eof = true;
    bool chiuso = false;
    // Served from a kept result instead of SQLite.
    std::shared_ptr<const Risultato> memoria;
    std::size_t posizione = 0;
    // Rows gathered while the result is small enough to be kept.
    std::string sql;
    bool raccogli = false;
    std::unique_ptr<Risultato> raccolte;

    void Chiudi() {
        if (st) sqlite3_finalize(st);
        st = nullptr;
        generazione.reset();
        memoria.reset();
        raccolte.reset();
        chiuso = true;
        eof = true;
    }
    ~Stato() { Chiudi(); }

    // Closing a small result before its end (a count read and closed): read the rest,
    // up to the limit, so that the whole result can be kept for the next time.
    void Completa() noexcept {
        if (chiuso || !raccogli || !st || memoria) return;
        ConservaErrore conserva;
        try {
            while (!eof && raccogli && (!raccolte || raccolte->Righe() <= kRigheCompletate))
                Avanza();
        } catch (...) {
            raccogli = false;  // the result stays unknown: nothing is kept
        }
    }

    void Avanza() {
        if (memoria) {
            ++posizione;
            eof = posizione >= memoria->Righe();
            return;
        }
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            eof = false;
            if (raccogli) {
                if (!raccolte) raccolte = std::make_unique<Risultato>(nomi);
                if (raccolte->Byte() < kByteRisultato) {
                    for (std::size_t i = 0; i < tipi.size(); ++i)
                        raccolte->Aggiungi(LeggiVivo(static_cast<int>(i)));
                } else {
                    raccogli = false;
                    raccolte.reset();
                }
            }
            return;
        }
        eof = true;
        if (rc == SQLITE_DONE) {
            if (raccogli) {
                if (!raccolte) raccolte = std::make_unique<Risultato>(nomi);
                raccolte->Chiudi();
                generazione->Conserva(sql, std::move(raccolte));
                raccogli = false;
            }
            return;
        }
        std::string msg = sqlite3_errmsg(generazione->db);
        Chiudi();
        if (msg.rfind(kPrefissoErrore, 0) == 0) {
            std::size_t due = msg.find(':', kPrefissoErrore.size());
            vq::Solleva(static_cast<std::int32_t>(
                            std::strtol(msg.c_str() + kPrefissoErrore.size(), nullptr, 10)),
                        due == std::string::npos ? std::string() : msg.substr(due + 1));
        }
        if (rc == SQLITE_NOMEM) vq::Solleva(vq::kErrMemoria);
        ErroreOperazione(msg);
    }

    int Indice(std::string_view nome) const {
        for (std::size_t i = 0; i < nomi.size(); ++i)
            if (StessoNome(nomi[i], nome)) return static_cast<int>(i);
        ErroreElemento(nome);
    }

    Valore Leggi(int i) const {
        if (chiuso) ErroreOggetto();
        if (i < 0 || static_cast<std::size_t>(i) >= nomi.size()) ErroreElemento(std::to_string(i));
        if (eof) ErroreNessunRecord();
        if (memoria) return memoria->Leggi(posizione, static_cast<std::size_t>(i));
        return LeggiVivo(i);
    }

    Valore LeggiVivo(int i) const {
        Valore v;
        const int classe = sqlite3_column_type(st, i);
        if (classe == SQLITE_NULL) return v;
        const double d = sqlite3_column_double(st, i);
        const sqlite3_int64 n = sqlite3_column_int64(st, i);
        auto testo = [&] {
            const auto* p = sqlite3_column_text(st, i);
            v.testo.assign(p ? reinterpret_cast<const char*>(p) : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
        };
        auto binario = [&] {
            v.tipo = Valore::Tipo::Binario;
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
            v.testo.assign(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
        };
        // A column keeps its Jet type only for values that fit it: a compound query can put
        // text, or numbers past the type's range, under a column declared otherwise; those
        // are handed back by their own kind below, never cut or read as 0.
        const bool numero = classe == SQLITE_INTEGER || classe == SQLITE_FLOAT;
        auto intero = [&](std::int64_t minimo, std::int64_t massimo) {
            return classe == SQLITE_INTEGER && n >= minimo && n <= massimo;
        };
        switch (numero ? tipi[static_cast<std::size_t>(i)] : TipoJet::Nessuno) {
            case TipoJet::Booleano:
                v.tipo = Valore::Tipo::Booleano;
                v.intero = (classe == SQLITE_FLOAT ? d != 0 : n != 0) ? -1 : 0;
                return v;
            case TipoJet::Byte:
                if (!intero(0, 255)) break;
                v.tipo = Valore::Tipo::Byte;
                v.intero = n;
                return v;
            case TipoJet::Intero:
                if (!intero(INT16_MIN, INT16_MAX)) break;
                v.tipo = Valore::Tipo::Intero;
                v.intero = n;
                return v;
            case TipoJet::Lungo:
                if (!intero(INT32_MIN, INT32_MAX)) break;
                v.tipo = Valore::Tipo::Lungo;
                v.intero = n;
                return v;
            case TipoJet::Valuta:
                v.tipo = Valore::Tipo::Valuta;
                v.intero = ValutaScalata(classe == SQLITE_INTEGER, n, d);
                return v;
            case TipoJet::Singolo:
                v.tipo = Valore::Tipo::Singolo;
                v.reale = static_cast<double>(static_cast<float>(d));
                return v;
            case TipoJet::Doppio:
            case TipoJet::Decimale:
                v.tipo = Valore::Tipo::Doppio;
                v.reale = d;
                return v;
            case TipoJet::Data:
                v.tipo = Valore::Tipo::Data;
                v.reale = d;
                return v;
            case TipoJet::Testo:
            case TipoJet::Guid:
                v.tipo = Valore::Tipo::Testo;
                testo();
                return v;
            case TipoJet::Binario: binario(); return v;
            case TipoJet::Nessuno: break;
        }
        switch (classe) {
            case SQLITE_INTEGER:
                if (intero(INT32_MIN, INT32_MAX)) {
                    v.tipo = Valore::Tipo::Lungo;
                    v.intero = n;
                } else {
                    v.tipo = Valore::Tipo::Doppio;
                    v.reale = d;
                }
                return v;
            case SQLITE_FLOAT:
                v.tipo = Valore::Tipo::Doppio;
                v.reale = d;
                return v;
            case SQLITE_BLOB: binario(); return v;
            default:
                v.tipo = Valore::Tipo::Testo;
                testo();
                return v;
        }
    }
};

struct Database::Stato {
    std::string nome;
    std::string connect;
    Limiti limiti;
    std::shared_ptr<Generazione> generazione;
    std::vector<std::weak_ptr<Recordset::Stato>> recordset;
    int caricamenti = 0;
    bool aperto = true;

    void Chiudi() {
        for (auto& w : recordset)
            if (auto r = w.lock()) r->Chiudi();
        recordset.clear();
        generazione.reset();
        aperto = false;
    }

    // The state of the file now: the current one while the file is unchanged, else (and
    // at the first query) a new one; the header and the password are checked again, as
    // the file may have been replaced by another since it was opened.
    std::shared_ptr<Generazione> Attuale() {
        Identita id = IdentitaDi(nome);
        if (generazione && generazione->identita == id) return generazione;
        auto [h, id2] = LeggiFile(nome);
        VerificaPassword(h, connect);
        generazione = std::make_shared<Generazione>(id2);
        return generazione;
    }

    // Makes sure every table in `tabelle` is loaded in the current state; returns it.
    std::shared_ptr<Generazione> Prepara(const std::vector<std::string>& tabelle) {
        for (int tentativo = 0;; ++tentativo) {
            std::shared_ptr<Generazione> g = Attuale();
            std::vector<std::string> mancanti;
            for (const auto& t : tabelle)
                if (!g->Caricata(t)) mancanti.push_back(t);
            if (g->catalogoNoto)
                for (const auto& t : mancanti)
                    if (!g->InCatalogo(t)) ErroreTabella(t);
            if (mancanti.empty() && (g->catalogoNoto || tabelle.empty())) return g;
            if (g->immagini.size() >= 8) {  // SQLite attaches at most 10: start over in one image
                generazione = std::make_shared<Generazione>(g->identita);
                g = generazione;
                mancanti = tabelle;
            }
            int immagine = NuovaImmagine();
            ++caricamenti;
            EsitoCaricamento e;
            try {
                e = EseguiCaricatore(nome, immagine, mancanti, limiti);
            } catch (...) {
                close(immagine);
                // A file that changed while it was read may look damaged: read it again.
                if (tentativo < 2 && !(IdentitaDi(nome) == g->identita)) continue;
                throw;
            }
            if (!(IdentitaDi(nome) == g->identita) && tentativo < 2) {
                close(immagine);
                continue;
            }
            g->catalogo = std::move(e.catalogo);
            g->catalogoNoto = true;
            if (!mancanti.empty()) {
                g->Collega(immagine);
                for (auto& t : e.tabelle)
                    g->immagineDi.emplace_back(std::move(t), g->immagini.size() - 1);
            } else {
                close(immagine);
            }
            return g;
        }
    }
};

namespace {

std::string_view SenzaSpazi(std::string_view s) {
    for (;;) {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
            s.remove_prefix(1);
        if (s.substr(0, 2) == "--") {
            auto f = s.find('\n');
            s = f == std::string_view::npos ? std::string_view() : s.substr(f);
        } else if (s.substr(0, 2) == "/*") {
            auto f = s.find("*/", 2);
            s = f == std::string_view::npos ? std::string_view() : s.substr(f + 2);
        } else {
            return s;
        }
    }
}

[[noreturn]] void ErroreDaPrepare(const std::string& msg) {
    auto dopo = [&](std::string_view prefisso) -> std::optional<std::string> {
        if (msg.rfind(prefisso, 0) == 0) return msg.substr(prefisso.size());
        return std::nullopt;
    };
    if (auto t = dopo("no such table: ")) {
        std::string n = *t;
        auto punto = n.find('.');
        ErroreTabella(punto == std::string::npos ? n : n.substr(punto + 1));
    }
    if (auto c = dopo("no such column: ")) ErroreParametri(*c);
    if (auto f = dopo("no such function: ")) ErroreFunzione(*f);
    if (auto c = dopo("ambiguous column name: ")) ErroreCampoAmbiguo(*c);
    if (msg.find("not authorized") != std::string::npos)
        ErroreOperazione("istruzione non consentita");
    ErroreSintassi(msg);
}

// Prepares user SQL with only reading allowed.
sqlite3_stmt* PreparaSoloLettura(sqlite3* db, std::string_view sql, const char** coda) {
    ImpostaSoloLettura(db, true);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &st, coda);
    ImpostaSoloLettura(db, false);
    if (rc != SQLITE_OK) {
        std::string msg = sqlite3_errmsg(db);
        sqlite3_finalize(st);
        ErroreDaPrepare(msg);
    }
    return st;
}

// The Jet type an aggregate gives for its argument's type.
TipoJet TipoAggregato(const std::string& aggregato, TipoJet base) {
    if (aggregato == "sum") {
        switch (base) {
            case TipoJet::Valuta: return TipoJet::Valuta;
            case TipoJet::Byte:
            case TipoJet::Intero:
            case TipoJet::Lungo:
            case TipoJet::Booleano: return TipoJet::Lungo;
            case TipoJet::Nessuno: return TipoJet::Nessuno;
            default: return TipoJet::Doppio;
        }
    }
    if (aggregato == "avg") return base == TipoJet::Valuta ? TipoJet::Valuta : TipoJet::Doppio;
    return base;  // min, max, first, last keep the column's type
}

// The terms of the outermost ORDER BY when they are all plain columns of one table
// ("T.a, T.b DESC"): the table and the columns; empty otherwise.
std::pair<std::string, std::vector<std::string>> OrdinamentoSemplice(const std::vector<Token>& t) {
    auto parola = [&](std::size_t i, const char* k) {
        return i < t.size() && t[i].tipo == Token::Tipo::Parola &&
               sqlite3_stricmp(t[i].testo.c_str(), k) == 0;
    };
    auto nome = [&](std::size_t i) {
        return i < t.size() && (t[i].tipo == Token::Tipo::Parola || t[i].tipo == Token::Tipo::Nome);
    };
    auto simbolo = [&](std::size_t i, const char* x) {
        return i < t.size() && t[i].tipo == Token::Tipo::Simbolo && t[i].testo == x;
    };
    std::size_t inizio = t.size();
    int profondita = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (simbolo(i, "(")) ++profondita;
        if (simbolo(i, ")")) --profondita;
        if (profondita == 0 && parola(i, "order") && parola(i + 1, "by")) inizio = i + 2;
    }
    std::pair<std::string, std::vector<std::string>> r;
    if (inizio >= t.size()) return {};
    for (std::size_t i = inizio;;) {
        if (!nome(i) || !simbolo(i + 1, ".") || !nome(i + 2)) return {};
        if (r.first.empty()) r.first = t[i].testo;
        else if (sqlite3_stricmp(r.first.c_str(), t[i].testo.c_str()) != 0) return {};
        r.second.push_back(t[i + 2].testo);
        i += 3;
        if (parola(i, "asc") || parola(i, "desc")) ++i;
        if (i >= t.size() || simbolo(i, ";")) return r;
        if (!simbolo(i, ",")) return {};
        ++i;
    }
}

// A query that sorts a large table on plain columns gets an index for that order in the
// table's image (our private copy, never the Jet file): the first rows then come without
// sorting the whole table, as Jet does with its own indexes. Done once per order and
// state of the file, and only while no other statement uses the images.
void IndicizzaOrdinamento(Generazione& g, const std::string& sql, const std::vector<Token>& token) {
    auto [tabella, colonne] = OrdinamentoSemplice(token);
    if (tabella.empty()) return;
    std::string chiave = tabella;
    for (const auto& c : colonne) chiave += "\x1F" + c;
    if (!g.ordinamentiProvati.insert(chiave).second) return;
    std::size_t img = g.immagini.size();
    for (const auto& [t, i] : g.immagineDi)
        if (StessoNome(t, tabella)) img = i;
    if (img >= g.immagini.size() || sqlite3_next_stmt(g.db, nullptr) != nullptr) return;

    // Is there a sort at all, and is the table large enough for it to matter?
    bool ordina = false;
    {
        sqlite3_stmt* piano = nullptr;
        ImpostaSoloLettura(g.db, true);
        std::string spiega = "EXPLAIN QUERY PLAN " + sql;
        int rc = sqlite3_prepare_v2(g.db, spiega.c_str(), -1, &piano, nullptr);
        ImpostaSoloLettura(g.db, false);
        while (rc == SQLITE_OK && sqlite3_step(piano) == SQLITE_ROW) {
            const auto* d = reinterpret_cast<const char*>(sqlite3_column_text(piano, 3));
            if (d && std::strstr(d, "TEMP B-TREE FOR ORDER BY")) ordina = true;
        }
        sqlite3_finalize(piano);
    }
    if (!ordina) return;
    const std::string schema = "img" + std::to_string(img);
    std::int64_t righe = 0;
    {
        sqlite3_stmt* st = nullptr;
        std::string q = "SELECT stat FROM " + schema +
                        ".sqlite_stat1 WHERE tbl = ? COLLATE NOCASE AND idx IS NULL";
        if (sqlite3_prepare_v2(g.db, q.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(st, 1, tabella.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW)
                righe = std::atoll(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
    }
    if (righe < 20000) return;

    std::string crea = "CREATE INDEX IF NOT EXISTS " +
                       Virgolette("vqord" + std::to_string(g.ordinamentiProvati.size())) + " ON " +
                       Virgolette(tabella) + " (";
    for (std::size_t i = 0; i < colonne.size(); ++i)
        crea += (i ? ", " : "") + Virgolette(colonne[i]);
    crea += ")";
    const std::string stacca = "DETACH DATABASE " + schema;
    if (sqlite3_exec(g.db, stacca.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return;
    sqlite3* w = nullptr;
    if (sqlite3_open_v2(PercorsoDescrittore(g.immagini[img]).c_str(), &w,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        VfsDescrittori()) == SQLITE_OK) {
        ConservaErrore conserva;
        try {
            RegistraJet(w);
            sqlite3_exec(w, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr,
                         nullptr);
            sqlite3_exec(w, crea.c_str(), nullptr, nullptr,
                         nullptr);  // a failure only leaves the sort
        } catch (const vq::Errore&) {
            // no index: the query sorts
        }
    }
    sqlite3_close_v2(w);
    if (!g.Attacca(img)) {
        // The image's tables are no longer reachable: the next query loads them again.
        std::erase_if(g.immagineDi, [img](const auto& t) { return t.second == img; });
        vq::Solleva(vq::kErrMemoria, "Impossibile riaprire l'immagine dei dati.");
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------

DBEngine::DBEngine() : ws0_(std::make_unique<Workspace>(*this)) {}
DBEngine::~DBEngine() = default;

DBEngine& DBEngine::DelThread() {
    thread_local DBEngine motore;
    return motore;
}

Workspace& DBEngine::Workspaces(int indice) {
    if (indice != 0) ErroreElemento(std::to_string(indice));
    return *ws0_;
}

std::unique_ptr<Database> Workspace::OpenDatabase(const std::string& nome, bool, bool,
                                                  const std::string& connect) {
    VerificaPassword(LeggiFile(nome).first, connect);
    auto s = std::make_shared<Database::Stato>();
    s->nome = nome;
    s->connect = connect;
    s->limiti = motore_.limiti();
    // The temporary folder and the SQLite connection wait for the first query: a database
    // opened only to check the file (or let go unused) costs no more than that check.
    return std::unique_ptr<Database>(new Database(std::move(s)));
}

Database::Database(std::shared_ptr<Stato> s) : stato_(std::move(s)) {}
Database::~Database() { Close(); }
void Database::Close() {
    if (stato_) stato_->Chiudi();
}
const std::string& Database::Name() const { return stato_->nome; }
bool Database::Aperto() const { return stato_ && stato_->aperto; }
int Database::Caricamenti() const { return stato_->caricamenti; }

std::unique_ptr<Recordset> Database::OpenRecordset(const std::string& testoJet, int tipo) {
    if (!stato_->aperto) ErroreOggetto();
    if (tipo != dbOpenForwardOnly && tipo != dbOpenSnapshot && tipo != dbOpenDynaset)
        ErroreArgomento("tipo di recordset non supportato: " + std::to_string(tipo));
    // Jet's date literals, & and LIKE wildcards in SQLite's spelling; the rest unchanged.
    const std::string sql = TraduciJet(testoJet);
    // Only one SELECT: the first word decides, the authorizer and the tail check below
    // make sure that nothing else runs.
    std::vector<Token> token = Tokenizza(sql);
    std::size_t primo = 0;
    while (primo < token.size() && token[primo].tipo == Token::Tipo::Simbolo &&
           token[primo].testo == "(")
        ++primo;
    if (primo >= token.size() || token[primo].tipo != Token::Tipo::Parola ||
        sqlite3_stricmp(token[primo].testo.c_str(), "select") != 0)
        ErroreIstruzione();

    std::shared_ptr<Generazione> g = stato_->Prepara(TabelleUsate(token));
    auto r = std::make_shared<Recordset::Stato>();
    r->generazione = g;
    if (auto m = g->risultati.find(sql); m != g->risultati.end()) {
        r->memoria = m->second;
        r->nomi = m->second->nomi;
        r->eof = m->second->Righe() == 0;
        stato_->recordset.push_back(r);
        return std::unique_ptr<Recordset>(new Recordset(std::move(r)));
    }
    IndicizzaOrdinamento(*g, sql, token);

    const char* coda = nullptr;
    sqlite3_stmt* st = PreparaSoloLettura(g->db, sql, &coda);
    r->st = st;
    r->sql = sql;
    r->raccogli = true;
    if (!st) {
        r->Chiudi();
        ErroreIstruzione();
    }
    // Everything after the statement, to the end of the text (a NUL byte included).
    const std::size_t fineIstruzione =
        coda ? static_cast<std::size_t>(coda - sql.data()) : sql.size();
    std::string_view resto =
        SenzaSpazi(std::string_view(sql).substr(std::min(fineIstruzione, sql.size())));
    if (!resto.empty() && resto.front() == ';') resto = SenzaSpazi(resto.substr(1));
    if (!resto.empty()) {
        r->Chiudi();
        ErroreCaratteriDopo();
    }
    if (!sqlite3_stmt_readonly(st)) {
        r->Chiudi();
        ErroreOperazione("istruzione non consentita");
    }
    const int n = sqlite3_column_count(st);
    const Selezione sel = AnalizzaSelezione(sql, token);
    const bool selLetta = sel.colonne.size() == static_cast<std::size_t>(n);
    for (int i = 0; i < n; ++i) {
        const char* nome = sqlite3_column_name(st, i);
        // An expression without a name is called as Jet calls it: Expr1000, Expr1001, ...
        // after its position in the select list.
        if (sqlite3_column_origin_name(st, i) == nullptr &&
            !(selLetta && sel.colonne[static_cast<std::size_t>(i)].alias)) {
            char b[16];
            std::snprintf(b, sizeof b, "Expr1%03d", i % 1000);
            r->nomi.emplace_back(b);
        } else {
            r->nomi.emplace_back(nome ? nome : "");
        }
        TipoJet t = TipoDaDichiarazione(sqlite3_column_decltype(st, i));
        if (t == TipoJet::Nessuno) {
            // An aggregate of a column keeps the column's Jet type (Sum of currency is
            // currency): ask SQLite for the argument's declared type in the same FROM.
            if (selLetta && sel.colonne[static_cast<std::size_t>(i)].aggregato == "dateserial") {
                t = TipoJet::Data;  // Jet's DateSerial gives a date
            } else if (selLetta && sel.inizioFrom != std::string::npos &&
                       !sel.colonne[static_cast<std::size_t>(i)].aggregato.empty()) {
                const auto& c = sel.colonne[static_cast<std::size_t>(i)];
                std::string prova = "SELECT " + c.argomento + " " + sql.substr(sel.inizioFrom);
                ConservaErrore conserva;
                try {
                    sqlite3_stmt* p = PreparaSoloLettura(g->db, prova, nullptr);
                    if (p) {
                        t = TipoAggregato(c.aggregato,
                                          TipoDaDichiarazione(sqlite3_column_decltype(p, 0)));
                        sqlite3_finalize(p);
                    }
                } catch (const vq::Errore&) {
                    // not a plain column: the value decides the type
                }
            }
        }
        r->tipi.push_back(t);
    }
    r->Avanza();
    stato_->recordset.push_back(r);
    std::erase_if(stato_->recordset, [](const auto& w) { return w.expired(); });
    return std::unique_ptr<Recordset>(new Recordset(std::move(r)));
}

Recordset::Recordset(std::shared_ptr<Stato> s) : stato_(std::move(s)) {}
Recordset::~Recordset() { Close(); }
void Recordset::Close() {
    if (!stato_) return;
    stato_->Completa();
    stato_->Chiudi();
}
bool Recordset::Eof() const {
    if (stato_->chiuso) ErroreOggetto();
    return stato_->eof;
}
int Recordset::FieldsCount() const {
    if (stato_->chiuso) ErroreOggetto();
    return static_cast<int>(stato_->nomi.size());
}
std::string Recordset::FieldName(int indice) const {
    if (stato_->chiuso) ErroreOggetto();
    if (indice < 0 || static_cast<std::size_t>(indice) >= stato_->nomi.size())
        ErroreElemento(std::to_string(indice));
    return stato_->nomi[static_cast<std::size_t>(indice)];
}
Valore Recordset::Campo(int indice) const { return stato_->Leggi(indice); }
Valore Recordset::Campo(std::string_view nome) const {
    if (stato_->chiuso) ErroreOggetto();
    return stato_->Leggi(stato_->Indice(nome));
}
VARIANT Recordset::Fields(int indice) const { return VariantDaValore(Campo(indice)); }
VARIANT Recordset::Fields(std::string_view nome) const { return VariantDaValore(Campo(nome)); }

void Recordset::MoveNext() {
    if (stato_->chiuso) ErroreOggetto();
    if (stato_->eof) ErroreNessunRecord();
    stato_->Avanza();
}

VARIANT Recordset::GetRows(std::int32_t righe) {
    if (stato_->chiuso) ErroreOggetto();
    if (righe < 0) ErroreArgomento("numero di righe negativo");
    VARIANT r;
    VariantInit(&r);
    if (stato_->eof || righe == 0) return r;
    const std::size_t campi = stato_->nomi.size();
    // Values row by row: the array keeps the leftmost index (the field) varying fastest.
    std::vector<VARIANT> valori;
    struct Pulisci {
        std::vector<VARIANT>& v;
        ~Pulisci() {
            for (auto& x : v) VariantClear(&x);
        }
    } pulisci{valori};
    std::int32_t lette = 0;
    while (lette < righe && !stato_->eof) {
        for (std::size_t c = 0; c < campi; ++c)
            valori.push_back(VariantDaValore(stato_->Leggi(static_cast<int>(c))));
        ++lette;
        stato_->Avanza();
    }
    SAFEARRAYBOUND limiti[2];
    limiti[0].cElements = static_cast<ULONG>(campi);
    limiti[0].lLbound = 0;
    limiti[1].cElements = static_cast<ULONG>(lette);
    limiti[1].lLbound = 0;
    SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 2, limiti);
    if (!a) throw std::bad_alloc();
    void* dati = nullptr;
    if (SafeArrayAccessData(a, &dati) != S_OK) {
        SafeArrayDestroy(a);
        throw std::bad_alloc();
    }
    // Ownership of every BSTR and array moves into the SAFEARRAY.
    std::memcpy(dati, valori.data(), valori.size() * sizeof(VARIANT));
    for (auto& x : valori) x.vt = VT_EMPTY;
    SafeArrayUnaccessData(a);
    r.vt = static_cast<VARTYPE>(VT_ARRAY | VT_VARIANT);
    r.parray = a;
    return r;
}

double Valore::ComeDouble() const {
    switch (tipo) {
        case Tipo::Booleano:
        case Tipo::Byte:
        case Tipo::Intero:
        case Tipo::Lungo: return static_cast<double>(intero);
        case Tipo::Valuta: return static_cast<double>(intero) / 10000.0;
        case Tipo::Singolo:
        case Tipo::Doppio:
        case Tipo::Data: return reale;
        default: return 0;
    }
}

}  // namespace jet
