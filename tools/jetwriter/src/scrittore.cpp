// The page writer.
//
// File layout:
//   page 0        header: format version, code page, sort order, creation date and
//                 password, in the RC4-masked area Jet keeps there
//   page 1        the usage maps of every table (more map pages follow at the end of the
//                 file when they do not fit)
//   page 2        the table definition of the catalog MSysObjects
//   pages 3..     one table definition per table (continuation pages, when a definition
//                 does not fit one page, are placed at the end)
//   then          the catalog's data pages, then each table's data pages with its long
//                 values (memo) on pages of their own, marked "LVAL"
// Table definitions hold the final row count and autonumber state, and the maps the
// final page lists, so they are written last, over pages reserved at the start. Data
// pages are written as soon as they are full: memory stays bounded.
#include "interno.h"
#include "vq/ascii.h"

#include <vq/errore.h>
#include <vq/file.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace jetwriter {

using namespace interno;

namespace {

// ---- Format constants -----------------------------------------------------------------

constexpr Byte kTipoBool = 0x01, kTipoByte = 0x02, kTipoInt = 0x03, kTipoLong = 0x04,
               kTipoMoney = 0x05, kTipoFloat = 0x06, kTipoDouble = 0x07, kTipoData = 0x08,
               kTipoBinario = 0x09, kTipoTesto = 0x0A, kTipoOle = 0x0B, kTipoMemo = 0x0C;

constexpr Byte kFlagFissa = 0x01, kFlagAggiornabile = 0x02, kFlagContatore = 0x04,
               kFlagSempre = 0x10;

constexpr std::size_t kMaxRighePerPagina = 255;  // the row number is one byte of a pointer
constexpr std::size_t kMaxColonne = 255;
constexpr std::size_t kMaxNome = 64;
constexpr std::size_t kMemoInline = 64;  // longer memo text goes to LVAL pages
constexpr std::uint32_t kIdContenitoreTabelle = 0x0F000001;
constexpr std::size_t kPaginaMassima = 4096;
using BufferPagina = std::array<Byte, kPaginaMassima>;  // the first `pagina` bytes are used

struct Geometria {
    std::size_t pagina;            // page size
    std::size_t contaRighe;        // offset of the row count on a data page
    std::size_t ridx;              // size of a real-index entry in a table definition
    std::size_t inizioColonne;     // offset of the first entry after the header of a definition
    std::size_t voceColonna;       // size of a column entry
    std::size_t contaColonneRiga;  // bytes of the column count at the start of a row
    bool jet4;
};

Geometria GeometriaDi(Formato f) {
    if (f == Formato::Jet3) return {2048, 8, 8, 43, 18, 1, false};
    return {4096, 12, 12, 63, 25, 2, true};
}

void Put16(Byte* p, std::uint32_t v) {
    p[0] = static_cast<Byte>(v & 0xFF);
    p[1] = static_cast<Byte>((v >> 8) & 0xFF);
}
void Put32(Byte* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}
void Put64(Byte* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}
void PutDouble(Byte* p, double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    Put64(p, u);
}

void Rc4(const Byte* chiave, std::size_t lunghezzaChiave, Byte* dati, std::size_t n) {
    std::array<Byte, 256> s{};
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<Byte>(i);
    std::size_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = (j + s[i] + chiave[i % lunghezzaChiave]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::size_t a = 0;
    j = 0;
    for (std::size_t k = 0; k < n; ++k) {
        a = (a + 1) & 0xFF;
        j = (j + s[a]) & 0xFF;
        std::swap(s[a], s[j]);
        dati[k] ^= s[(s[a] + s[j]) & 0xFF];
    }
}

// ---- Errors with context ------------------------------------------------------------

std::string Contesto(const std::string& tabella, std::int64_t riga, const std::string& colonna) {
    std::string c = "Tabella \"" + tabella + "\"";
    if (riga > 0) c += ", riga " + std::to_string(riga);
    if (!colonna.empty()) c += ", colonna \"" + colonna + "\"";
    return c;
}

[[noreturn]] void ErroreSpecifica(const std::string& testo) { vq::Solleva(kErrSpecifica, testo); }

[[noreturn]] void ErroreValore(const std::string& tabella, std::int64_t riga,
                               const std::string& colonna, const std::string& perche) {
    vq::Solleva(kErrValore, Contesto(tabella, riga, colonna) + ": " + perche);
}

// ---- The output file ----------------------------------------------------------------

class FileUscita {
public:
    // The temporary file is created with the usual permissions (0666 less the process's
    // umask, applied by the system), under a name no other file has. The destination is
    // replaced as it is: a symbolic link there is replaced by the new file.
    explicit FileUscita(const std::filesystem::path& destinazione)
        : destinazione_(destinazione),
          temporaneo_(destinazione.string(), destinazione.string() + ".tmp-") {
        if (temporaneo_.esito() != 0)
            Fallisci(temporaneo_.esito(), "impossibile creare il file temporaneo accanto a");
    }

    void Scrivi(std::uint64_t posizione, const Byte* dati, std::size_t n) {
        while (n > 0) {
            const ssize_t r = ::pwrite(temporaneo_.fd(), dati, n, static_cast<off_t>(posizione));
            if (r < 0) {
                if (errno == EINTR) continue;
                Fallisci(errno, "errore di scrittura su");
            }
            dati += r;
            n -= static_cast<std::size_t>(r);
            posizione += static_cast<std::uint64_t>(r);
        }
    }

    // Flush and move over the destination.
    void Concludi() {
        if (const int e = temporaneo_.Conferma(); e != 0)
            Fallisci(e, temporaneo_.rinominaFallita() ? "impossibile sostituire"
                                                      : "errore di scrittura su");
    }

private:
    [[noreturn]] void Fallisci(int e, const std::string& cosa) {
        vq::Solleva(kErrFile, "Scrittura del database: " + cosa + " \"" + destinazione_.string() +
                                  "\": " + std::strerror(e));
    }

    std::filesystem::path destinazione_;
    vq::SostituzioneAtomica temporaneo_;
};

// ---- Pages of rows ------------------------------------------------------------------

// A data page (or LVAL page) being filled: rows from the end of the page downwards, the
// row offsets after the header.
class PaginaRighe {
public:
    PaginaRighe(const Geometria& g, std::uint32_t numero, std::uint32_t proprietario, bool lval)
        : g_(g), buf_(std::make_unique<BufferPagina>()), numero_(numero), fine_(g.pagina) {
        BufferPagina& b = *buf_;
        b.fill(0);
        b[0] = 0x01;
        b[1] = 0x01;
        if (lval) {
            std::memcpy(&b[4], "LVAL", 4);
        } else {
            Put32(&b[4], proprietario);
        }
    }
    std::uint32_t Numero() const { return numero_; }
    std::size_t Righe() const { return righe_; }
    // Room for a row of n bytes (plus its offset)?
    bool Entra(std::size_t n) const {
        const std::size_t testa = g_.contaRighe + 2 + 2 * (righe_ + 1);
        return righe_ < kMaxRighePerPagina && fine_ >= testa + n;
    }
    // Largest row an empty page takes.
    static std::size_t Capienza(const Geometria& g) { return g.pagina - g.contaRighe - 2 - 2; }
    // Adds the row; returns its pointer (page << 8 | row).
    std::uint32_t Aggiungi(const Byte* dati, std::size_t n) {
        BufferPagina& b = *buf_;
        fine_ -= n;
        std::memcpy(&b[fine_], dati, n);
        Put16(&b[g_.contaRighe + 2 + 2 * righe_], static_cast<std::uint32_t>(fine_));
        const auto r = static_cast<std::uint32_t>(righe_++);
        return (numero_ << 8) | r;
    }
    const BufferPagina& Chiudi() {
        BufferPagina& b = *buf_;
        Put16(&b[g_.contaRighe], static_cast<std::uint32_t>(righe_));
        const std::size_t testa = g_.contaRighe + 2 + 2 * righe_;
        Put16(&b[2], static_cast<std::uint32_t>(fine_ - testa));
        return b;
    }

private:
    const Geometria& g_;
    std::unique_ptr<BufferPagina> buf_;
    std::uint32_t numero_;
    std::size_t righe_ = 0;
    std::size_t fine_;
};

// ---- Columns as stored ----------------------------------------------------------------

struct ColonnaFile {
    std::string nome;
    Bytes nomeCodificato;
    Tipo tipo = Tipo::Long;  // for user columns
    Byte codice = 0;
    std::uint16_t lunghezza = 0;  // col_len of the definition (bytes)
    int dimensioneCaratteri = 0;  // text: the declared size in characters
    bool fissa = true;
    bool contatore = false;
    std::uint16_t numero = 0;
    std::uint16_t indiceVar = 0;
    std::uint16_t offsetFisso = 0;
};

struct TabellaFile {
    std::string nome;
    Bytes nomeCodificato;
    std::vector<ColonnaFile> colonne;
    std::size_t numVar = 0;
    std::uint32_t paginaDefinizione = 0;
    std::vector<std::uint32_t> pagineContinuazione;
    bool sistema = false;
    std::uint32_t righe = 0;
    std::int64_t ultimoContatore = 0;
    // Autonumbers given so far, as runs [first, last]: numbers taken in order make one run,
    // so this stays small however many rows there are.
    std::map<std::int64_t, std::int64_t> contatoriUsati;
    std::vector<std::uint32_t> pagineDati;
    std::uint32_t mappaUsate = 0, mappaLibere = 0;  // row pointers
};

Byte Codice(Tipo t) {
    switch (t) {
        case Tipo::Byte: return kTipoByte;
        case Tipo::Integer: return kTipoInt;
        case Tipo::Long: return kTipoLong;
        case Tipo::Single: return kTipoFloat;
        case Tipo::Double: return kTipoDouble;
        case Tipo::Currency: return kTipoMoney;
        case Tipo::DateTime: return kTipoData;
        case Tipo::Boolean: return kTipoBool;
        case Tipo::Text: return kTipoTesto;
        case Tipo::Memo: return kTipoMemo;
    }
    return kTipoLong;
}

std::uint16_t LunghezzaFissa(Byte codice) {
    switch (codice) {
        case kTipoBool: return 0;
        case kTipoByte: return 1;
        case kTipoInt: return 2;
        case kTipoLong:
        case kTipoFloat: return 4;
        case kTipoMoney:
        case kTipoDouble:
        case kTipoData: return 8;
        default: return 0;
    }
}

bool Fissa(Byte codice) {
    return codice != kTipoTesto && codice != kTipoMemo && codice != kTipoBinario &&
           codice != kTipoOle;
}

void Disponi(TabellaFile& t) {
    std::uint16_t offset = 0, var = 0, numero = 0;
    for (auto& c : t.colonne) {
        c.numero = numero++;
        c.fissa = Fissa(c.codice);
        if (c.fissa) {
            c.offsetFisso = offset;
            c.lunghezza = LunghezzaFissa(c.codice);
            offset = static_cast<std::uint16_t>(offset + c.lunghezza);
        } else {
            c.indiceVar = var++;
        }
    }
    t.numVar = var;
}

// Records an autonumber; false when it was already given.
bool RegistraContatore(std::map<std::int64_t, std::int64_t>& usati, std::int64_t v) {
    auto dopo = usati.upper_bound(v);
    if (dopo != usati.begin()) {
        auto prima = std::prev(dopo);
        if (prima->second >= v) return false;
        if (prima->second == v - 1) {
            prima->second = v;
            if (dopo != usati.end() && dopo->first == v + 1) {
                prima->second = dopo->second;
                usati.erase(dopo);
            }
            return true;
        }
    }
    if (dopo != usati.end() && dopo->first == v + 1) {
        const std::int64_t fine = dopo->second;
        usati.erase(dopo);
        usati.emplace(v, fine);
        return true;
    }
    usati.emplace(v, v);
    return true;
}

// ---- A field of a row being built -----------------------------------------------------

struct Campo {
    bool nullo = true;
    bool vero = false;       // booleans live in the null mask
    std::size_t inizio = 0;  // into the row's scratch buffer
    std::size_t lunghezza = 0;
};

// ---- The writer ---------------------------------------------------------------------

class Scrittore {
public:
    Scrittore(const Specifica& s, const std::filesystem::path& dest)
        : spec_(s), g_(GeometriaDi(s.formato)), cod_(s.formato, s.codePage), file_(dest) {}

    void Esegui();

private:
    void Prepara();
    void PreparaCatalogo();
    std::size_t DimensioneDefinizione(const TabellaFile& t) const;
    void ScriviCatalogo();
    void ScriviTabella(const Tabella& sorgente, TabellaFile& t);
    void ScriviRiga(TabellaFile& t, const std::vector<Campo>& campi, std::int64_t numeroRiga);
    void PreparaCampo(const TabellaFile& t, const ColonnaFile& c, const Valore& v, Campo& campo,
                      std::int64_t numeroRiga);
    void AggiungiMemo(const TabellaFile& t, const ColonnaFile& c, std::size_t inizio, std::size_t n,
                      Campo& campo, std::int64_t numeroRiga);
    std::uint32_t AggiungiLval(const Byte* dati, std::size_t n);
    void ChiudiPaginaDati(TabellaFile& t);
    void ChiudiLval();
    void ScriviMappe();
    void ScriviDefinizioni();
    void ScriviIntestazione();

    std::uint32_t NuovaPagina() {
        if (prossima_ >= 0xFFFFFFu)
            vq::Solleva(kErrSpecifica, "Database troppo grande per il formato Jet");
        return prossima_++;
    }
    void ScriviPagina(std::uint32_t numero, const BufferPagina& buf) {
        file_.Scrivi(static_cast<std::uint64_t>(numero) * g_.pagina, buf.data(), g_.pagina);
    }
    Bytes CodificaNome(const std::string& nome, const std::string& dove);

    const Specifica& spec_;
    Geometria g_;
    Codificatore cod_;
    FileUscita file_;
    double dataCreazione_ = 0;
    std::uint32_t prossima_ = 0;
    TabellaFile catalogo_;
    std::vector<TabellaFile> tabelle_;
    std::unique_ptr<PaginaRighe> dati_;
    std::unique_ptr<PaginaRighe> lval_;
    Bytes scratch_;  // field bytes of the row being built
    Bytes riga_;     // the row being assembled
    std::string problema_;
};

Bytes Scrittore::CodificaNome(const std::string& nome, const std::string& dove) {
    if (nome.empty()) ErroreSpecifica(dove + ": nome vuoto");
    const std::size_t n = ContaCaratteri(nome);
    if (n > kMaxNome)
        ErroreSpecifica(dove + ": nome di " + std::to_string(n) + " caratteri, al massimo " +
                        std::to_string(kMaxNome));
    Bytes b;
    if (!cod_.Codifica(nome, b, problema_)) vq::Solleva(kErrCodifica, dove + ": " + problema_);
    return b;
}

void Scrittore::Prepara() {
    if (spec_.formato == Formato::Jet3 && (spec_.codePage <= 0 || spec_.codePage > 65535))
        ErroreSpecifica("Code page " + std::to_string(spec_.codePage) + " non valido");
    dataCreazione_ = spec_.dataCreazione.value_or(
        25569.0 + static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count()) /
                      86400.0);
    if (!std::isfinite(dataCreazione_) || dataCreazione_ < 1.0 || dataCreazione_ > 2958465.0)
        ErroreSpecifica("Data di creazione non valida");
    const std::size_t caratteriPassword = ContaCaratteri(spec_.password);
    if (caratteriPassword > 20)
        ErroreSpecifica("Password di " + std::to_string(caratteriPassword) +
                        " caratteri: al massimo 20");
    if (spec_.tabelle.empty()) ErroreSpecifica("Il database non ha tabelle");

    std::vector<std::string> nomiTabelle;
    for (const Tabella& t : spec_.tabelle) {
        TabellaFile tf;
        tf.nome = t.nome;
        const std::string dove = "Tabella \"" + t.nome + "\"";
        tf.nomeCodificato = CodificaNome(t.nome, dove);
        const std::string chiave = vq::InMinuscoleAscii(t.nome);
        if (chiave.rfind("msys", 0) == 0)
            ErroreSpecifica(dove + ": i nomi che iniziano per MSys sono riservati");
        if (std::find(nomiTabelle.begin(), nomiTabelle.end(), chiave) != nomiTabelle.end())
            ErroreSpecifica(dove + ": nome duplicato");
        nomiTabelle.push_back(chiave);
        if (t.colonne.empty()) ErroreSpecifica(dove + ": nessuna colonna");
        if (t.colonne.size() > kMaxColonne)
            ErroreSpecifica(dove + ": " + std::to_string(t.colonne.size()) +
                            " colonne, al massimo " + std::to_string(kMaxColonne));
        std::vector<std::string> nomiColonne;
        for (const Colonna& c : t.colonne) {
            const std::string doveC = Contesto(t.nome, 0, c.nome);
            ColonnaFile cf;
            cf.nome = c.nome;
            cf.nomeCodificato = CodificaNome(c.nome, doveC);
            const std::string k = vq::InMinuscoleAscii(c.nome);
            if (std::find(nomiColonne.begin(), nomiColonne.end(), k) != nomiColonne.end())
                ErroreSpecifica(doveC + ": nome duplicato");
            nomiColonne.push_back(k);
            cf.tipo = c.tipo;
            cf.codice = Codice(c.tipo);
            cf.contatore = c.contatore;
            if (c.contatore && c.tipo != Tipo::Long)
                ErroreSpecifica(doveC + ": solo una colonna long può essere un contatore");
            if (c.tipo == Tipo::Text) {
                if (c.dimensione < 1 || c.dimensione > 255)
                    ErroreSpecifica(doveC + ": dimensione " + std::to_string(c.dimensione) +
                                    " fuori dall'intervallo 1-255");
                cf.dimensioneCaratteri = c.dimensione;
            }
            tf.colonne.push_back(std::move(cf));
        }
        if (std::count_if(t.colonne.begin(), t.colonne.end(),
                          [](const Colonna& c) { return c.contatore; }) > 1)
            ErroreSpecifica(dove + ": più di una colonna contatore");
        Disponi(tf);
        for (auto& c : tf.colonne) {
            if (c.codice == kTipoTesto)
                c.lunghezza = static_cast<std::uint16_t>(c.dimensioneCaratteri * (g_.jet4 ? 2 : 1));
        }
        tabelle_.push_back(std::move(tf));
    }
    PreparaCatalogo();

    // Page numbers: 0 header, 1 maps, 2 the catalog's definition, then one per table.
    prossima_ = 2;
    catalogo_.paginaDefinizione = NuovaPagina();
    for (auto& t : tabelle_) t.paginaDefinizione = NuovaPagina();
    // Continuation pages of definitions too long for one page.
    auto continua = [&](TabellaFile& t) {
        const std::size_t n = DimensioneDefinizione(t);
        if (n > g_.pagina) {
            const std::size_t resto = n - g_.pagina;
            const std::size_t pagine = (resto + (g_.pagina - 8) - 1) / (g_.pagina - 8);
            for (std::size_t i = 0; i < pagine; ++i) t.pagineContinuazione.push_back(NuovaPagina());
        }
    };
    continua(catalogo_);
    for (auto& t : tabelle_) continua(t);
}

void Scrittore::PreparaCatalogo() {
    catalogo_.nome = "MSysObjects";
    catalogo_.sistema = true;
    Bytes b;
    cod_.Codifica(catalogo_.nome, b, problema_);
    catalogo_.nomeCodificato = b;
    const std::pair<const char*, Byte> colonne[] = {
        {"Id", kTipoLong},           {"ParentId", kTipoLong},
        {"Name", kTipoTesto},        {"Type", kTipoInt},
        {"DateCreate", kTipoData},   {"DateUpdate", kTipoData},
        {"Owner", kTipoBinario},     {"Flags", kTipoLong},
        {"Database", kTipoMemo},     {"Connect", kTipoMemo},
        {"ForeignName", kTipoTesto}, {"RmtInfoShort", kTipoBinario},
        {"RmtInfoLong", kTipoOle},   {"Lv", kTipoOle},
        {"LvProp", kTipoOle},        {"LvModule", kTipoOle},
        {"LvExtra", kTipoOle}};
    for (const auto& [nome, codice] : colonne) {
        ColonnaFile c;
        c.nome = nome;
        cod_.Codifica(nome, c.nomeCodificato, problema_);
        c.codice = codice;
        catalogo_.colonne.push_back(std::move(c));
    }
    Disponi(catalogo_);
    for (auto& c : catalogo_.colonne) {
        if (c.codice == kTipoTesto) c.lunghezza = static_cast<std::uint16_t>(g_.jet4 ? 510 : 255);
        if (c.codice == kTipoBinario) c.lunghezza = 255;
        if (c.codice == kTipoTesto) c.dimensioneCaratteri = 255;
    }
}

std::size_t Scrittore::DimensioneDefinizione(const TabellaFile& t) const {
    std::size_t n = g_.inizioColonne + t.colonne.size() * g_.voceColonna;
    for (const auto& c : t.colonne) n += (g_.jet4 ? 2 : 1) + c.nomeCodificato.size();
    if (g_.jet4) n += 2;  // end of the (empty) list of per-column page maps
    return n;
}

// ---- Rows ---------------------------------------------------------------------------

void Scrittore::ChiudiPaginaDati(TabellaFile& t) {
    if (!dati_) return;
    ScriviPagina(dati_->Numero(), dati_->Chiudi());
    t.pagineDati.push_back(dati_->Numero());
    dati_.reset();
}

void Scrittore::ChiudiLval() {
    if (!lval_) return;
    ScriviPagina(lval_->Numero(), lval_->Chiudi());
    lval_.reset();
}

std::uint32_t Scrittore::AggiungiLval(const Byte* dati, std::size_t n) {
    if (!lval_ || !lval_->Entra(n)) {
        ChiudiLval();
        lval_ = std::make_unique<PaginaRighe>(g_, NuovaPagina(), 0, true);
    }
    return lval_->Aggiungi(dati, n);
}

void Scrittore::AggiungiMemo(const TabellaFile& t, const ColonnaFile& c, std::size_t inizio,
                             std::size_t n, Campo& campo, std::int64_t numeroRiga) {
    // The field is 12 bytes (length with the storage kind in its top byte, a pointer, 4
    // unused bytes), followed by the text itself when it is stored in the row.
    if (n > 0xFFFFFFu)
        vq::Solleva(kErrValore, Contesto(t.nome, numeroRiga, c.nome) + ": testo memo troppo lungo");
    Byte testa[12] = {};
    const auto len = static_cast<std::uint32_t>(n);
    const std::size_t capienza = PaginaRighe::Capienza(g_);
    Bytes testo(scratch_.begin() + static_cast<std::ptrdiff_t>(inizio),
                scratch_.begin() + static_cast<std::ptrdiff_t>(inizio + n));
    scratch_.resize(inizio);
    campo.inizio = scratch_.size();
    if (n <= kMemoInline) {
        Put32(testa, len | 0x80000000u);
        scratch_.insert(scratch_.end(), testa, testa + 12);
        scratch_.insert(scratch_.end(), testo.begin(), testo.end());
        campo.lunghezza = 12 + n;
        return;
    }
    if (n <= capienza) {
        Put32(testa, len | 0x40000000u);
        Put32(testa + 4, AggiungiLval(testo.data(), n));
    } else {
        // A chain of rows, each a pointer to the next (0 for the last) and a piece of the
        // text. Every piece but the last fills a page of its own; the pages are numbered in
        // a row, so each pointer is known when its piece is written.
        const std::size_t pezzo = capienza - 4;
        const std::size_t pezzi = (n + pezzo - 1) / pezzo;
        ChiudiLval();
        const std::uint32_t prima = prossima_;
        for (std::size_t i = 0; i < pezzi; ++i) NuovaPagina();
        Bytes rigaLval;
        for (std::size_t i = 0; i < pezzi; ++i) {
            const std::size_t da = i * pezzo;
            const std::size_t quanti = std::min(pezzo, n - da);
            rigaLval.assign(4, 0);
            if (i + 1 < pezzi)
                Put32(rigaLval.data(), (prima + static_cast<std::uint32_t>(i) + 1) << 8);
            rigaLval.insert(rigaLval.end(), testo.begin() + static_cast<std::ptrdiff_t>(da),
                            testo.begin() + static_cast<std::ptrdiff_t>(da + quanti));
            auto pagina =
                std::make_unique<PaginaRighe>(g_, prima + static_cast<std::uint32_t>(i), 0, true);
            pagina->Aggiungi(rigaLval.data(), rigaLval.size());
            if (i + 1 < pezzi) {
                ScriviPagina(pagina->Numero(), pagina->Chiudi());
            } else {
                lval_ = std::move(pagina);  // the last page takes further long values
            }
        }
        Put32(testa, len);
        Put32(testa + 4, prima << 8);
    }
    scratch_.insert(scratch_.end(), testa, testa + 12);
    campo.lunghezza = 12;
}

void Scrittore::PreparaCampo(const TabellaFile& t, const ColonnaFile& c, const Valore& v,
                             Campo& campo, std::int64_t numeroRiga) {
    campo = Campo{};
    auto nomeTipo = [&] { return std::string(NomeTipo(c.tipo)); };
    if (std::holds_alternative<std::monostate>(v)) {
        if (c.codice == kTipoBool)
            ErroreValore(t.nome, numeroRiga, c.nome,
                         "un campo sì/no (boolean) non può essere Null");
        if (c.contatore) {
            if (t.ultimoContatore >= std::numeric_limits<std::int32_t>::max())
                ErroreValore(t.nome, numeroRiga, c.nome, "contatore esaurito");
            // The number is taken in ScriviRiga, once the row is known to be valid.
        } else {
            return;
        }
    }
    campo.nullo = false;
    campo.inizio = scratch_.size();
    auto fisso = [&](const Byte* p, std::size_t n) {
        scratch_.insert(scratch_.end(), p, p + n);
        campo.lunghezza = n;
    };
    auto intero = [&](std::int64_t& out) -> bool {
        if (auto p = std::get_if<std::int64_t>(&v)) {
            out = *p;
            return true;
        }
        if (auto d = std::get_if<double>(&v)) {
            if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.2e18) {
                out = static_cast<std::int64_t>(*d);
                return true;
            }
            ErroreValore(t.nome, numeroRiga, c.nome, "numero non intero per il tipo " + nomeTipo());
        }
        ErroreValore(t.nome, numeroRiga, c.nome, "valore di tipo errato per il tipo " + nomeTipo());
    };
    auto reale = [&]() -> double {
        if (auto p = std::get_if<double>(&v)) {
            if (!std::isfinite(*p)) ErroreValore(t.nome, numeroRiga, c.nome, "numero non finito");
            return *p;
        }
        if (auto p = std::get_if<std::int64_t>(&v)) return static_cast<double>(*p);
        ErroreValore(t.nome, numeroRiga, c.nome, "valore di tipo errato per il tipo " + nomeTipo());
    };
    Byte b[8];
    switch (c.codice) {
        case kTipoBool: {
            auto p = std::get_if<bool>(&v);
            if (!p)
                ErroreValore(t.nome, numeroRiga, c.nome,
                             "valore di tipo errato per il tipo boolean (atteso true o false)");
            campo.vero = *p;
            campo.lunghezza = 0;
            return;
        }
        case kTipoByte:
        case kTipoInt:
        case kTipoLong: {
            std::int64_t x = 0;
            if (c.contatore && std::holds_alternative<std::monostate>(v)) {
                x = t.ultimoContatore + 1;
            } else {
                intero(x);
            }
            const std::int64_t minimo = c.codice == kTipoByte  ? 0
                                        : c.codice == kTipoInt ? -32768
                                                               : INT32_MIN;
            const std::int64_t massimo = c.codice == kTipoByte  ? 255
                                         : c.codice == kTipoInt ? 32767
                                                                : INT32_MAX;
            if (x < minimo || x > massimo)
                ErroreValore(t.nome, numeroRiga, c.nome,
                             std::to_string(x) + " fuori dall'intervallo del tipo " + nomeTipo() +
                                 " (" + std::to_string(minimo) + ".." + std::to_string(massimo) +
                                 ")");
            if (c.contatore && x < 1)
                ErroreValore(t.nome, numeroRiga, c.nome, "un contatore vale almeno 1");
            const auto u = static_cast<std::uint64_t>(x);
            Put64(b, u);
            fisso(b, LunghezzaFissa(c.codice));
            return;
        }
        case kTipoFloat: {
            const double x = reale();
            if (std::fabs(x) > static_cast<double>(std::numeric_limits<float>::max()))
                ErroreValore(t.nome, numeroRiga, c.nome,
                             "numero fuori dall'intervallo del tipo single");
            const auto f = static_cast<float>(x);
            std::uint32_t u;
            std::memcpy(&u, &f, 4);
            Put32(b, u);
            fisso(b, 4);
            return;
        }
        case kTipoDouble: {
            PutDouble(b, reale());
            fisso(b, 8);
            return;
        }
        case kTipoMoney: {
            std::int64_t x = 0;
            if (auto p = std::get_if<Valuta>(&v)) {
                x = p->decimillesimi;
            } else if (auto q = std::get_if<std::int64_t>(&v)) {
                if (*q > INT64_MAX / 10000 || *q < INT64_MIN / 10000)
                    ErroreValore(t.nome, numeroRiga, c.nome,
                                 "importo fuori dall'intervallo del tipo currency");
                x = *q * 10000;
            } else if (auto d = std::get_if<double>(&v)) {
                if (!ValutaDaDouble(*d, x, problema_))
                    ErroreValore(t.nome, numeroRiga, c.nome, problema_);
            } else if (auto s = std::get_if<std::string>(&v)) {
                if (!ValutaDaTesto(*s, x, problema_))
                    ErroreValore(t.nome, numeroRiga, c.nome, problema_ + " (\"" + *s + "\")");
            } else {
                ErroreValore(t.nome, numeroRiga, c.nome,
                             "valore di tipo errato per il tipo currency");
            }
            Put64(b, static_cast<std::uint64_t>(x));
            fisso(b, 8);
            return;
        }
        case kTipoData: {
            double d = 0;
            if (auto p = std::get_if<Data>(&v)) {
                d = p->giorni;
            } else if (auto q = std::get_if<double>(&v)) {
                d = *q;
            } else if (auto r = std::get_if<std::int64_t>(&v)) {
                d = static_cast<double>(*r);
            } else if (auto s = std::get_if<std::string>(&v)) {
                if (!DataDaTesto(*s, d, problema_))
                    ErroreValore(t.nome, numeroRiga, c.nome, problema_ + " (\"" + *s + "\")");
            } else {
                ErroreValore(t.nome, numeroRiga, c.nome,
                             "valore di tipo errato per il tipo datetime");
            }
            if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0)
                ErroreValore(t.nome, numeroRiga, c.nome,
                             "data fuori dall'intervallo dal 1 gennaio 100 al 31 dicembre 9999");
            PutDouble(b, d);
            fisso(b, 8);
            return;
        }
        case kTipoTesto:
        case kTipoMemo: {
            auto s = std::get_if<std::string>(&v);
            if (!s)
                ErroreValore(
                    t.nome, numeroRiga, c.nome,
                    "valore di tipo errato per il tipo " + nomeTipo() + " (atteso un testo)");
            const std::size_t prima = scratch_.size();
            if (!cod_.Codifica(*s, scratch_, problema_))
                vq::Solleva(kErrCodifica, Contesto(t.nome, numeroRiga, c.nome) + ": " + problema_);
            const std::size_t n = scratch_.size() - prima;
            if (c.codice == kTipoTesto) {
                const std::size_t unita = cod_.Unita(n);
                if (unita > static_cast<std::size_t>(c.dimensioneCaratteri))
                    ErroreValore(t.nome, numeroRiga, c.nome,
                                 "testo di " + std::to_string(unita) +
                                     " caratteri, la colonna ne ammette " +
                                     std::to_string(c.dimensioneCaratteri));
                campo.lunghezza = n;
                return;
            }
            AggiungiMemo(t, c, prima, n, campo, numeroRiga);
            return;
        }
        default: ErroreValore(t.nome, numeroRiga, c.nome, "tipo di colonna non scrivibile");
    }
}

void Scrittore::ScriviRiga(TabellaFile& t, const std::vector<Campo>& campi,
                           std::int64_t numeroRiga) {
    const std::size_t nc = t.colonne.size();
    const std::size_t maschera = (nc + 7) / 8;
    const std::size_t cc = g_.contaColonneRiga;
    riga_.assign(cc, 0);
    if (cc == 1) {
        riga_[0] = static_cast<Byte>(nc);
    } else {
        Put16(riga_.data(), static_cast<std::uint32_t>(nc));
    }
    for (std::size_t i = 0; i < nc; ++i) {
        const ColonnaFile& c = t.colonne[i];
        if (!c.fissa) continue;
        const Campo& f = campi[i];
        const std::size_t pos = cc + c.offsetFisso;
        if (riga_.size() < pos + c.lunghezza) riga_.resize(pos + c.lunghezza, 0);
        if (!f.nullo && f.lunghezza > 0) std::memcpy(&riga_[pos], &scratch_[f.inizio], f.lunghezza);
    }
    std::vector<std::size_t> offsets(t.numVar + 1, 0);
    if (t.numVar > 0) {
        for (std::size_t i = 0; i < nc; ++i) {
            const ColonnaFile& c = t.colonne[i];
            if (c.fissa) continue;
            offsets[c.indiceVar] = riga_.size();
            const Campo& f = campi[i];
            if (!f.nullo && f.lunghezza > 0)
                riga_.insert(
                    riga_.end(), scratch_.begin() + static_cast<std::ptrdiff_t>(f.inizio),
                    scratch_.begin() + static_cast<std::ptrdiff_t>(f.inizio + f.lunghezza));
        }
        const std::size_t fineDati = riga_.size();
        offsets[t.numVar] = fineDati;
        const std::size_t n = t.numVar;
        if (g_.jet4) {
            // End of data, the offsets from the last column to the first, their count.
            for (std::size_t k = 0; k <= n; ++k) {
                const std::size_t o = offsets[n - k];
                riga_.push_back(static_cast<Byte>(o & 0xFF));
                riga_.push_back(static_cast<Byte>(o >> 8));
            }
            riga_.push_back(static_cast<Byte>(n & 0xFF));
            riga_.push_back(static_cast<Byte>(n >> 8));
        } else {
            // Jet 3 keeps one byte per offset. A jump table tells, for each 256-byte
            // boundary, the first offset at or past it. Readers work out the number of jump
            // entries from the row length alone, (length - 1) / 256, and allow one entry
            // more than needed, which they skip; so the table gets exactly that many.
            const std::size_t necessari = fineDati / 256;
            std::size_t salti = necessari;
            for (int giro = 0; giro < 4; ++giro) {
                const std::size_t lunghezza = fineDati + 1 + n + salti + 1 + maschera;
                salti = (lunghezza - 1) / 256;
            }
            if (salti != necessari && salti != necessari + 1)
                vq::Solleva(kErrValore, Contesto(t.nome, numeroRiga, "") +
                                            ": riga non rappresentabile nel formato Jet 3");
            for (std::size_t k = 0; k <= n; ++k)
                riga_.push_back(static_cast<Byte>(offsets[n - k] & 0xFF));
            std::vector<Byte> tabella(salti, 0xFF);
            for (std::size_t j = 0; j < necessari; ++j) {
                std::size_t i = 0;
                while (offsets[i] < 256 * (j + 1)) ++i;
                tabella[j] = static_cast<Byte>(i);
            }
            for (std::size_t k = salti; k > 0; --k) riga_.push_back(tabella[k - 1]);
            riga_.push_back(static_cast<Byte>(n));
        }
    } else if (riga_.size() + maschera < 4) {
        riga_.resize(4 - maschera, 0);  // room for a forwarding pointer, as Jet expects
    }
    const std::size_t inizioMaschera = riga_.size();
    riga_.resize(inizioMaschera + maschera, 0);
    for (std::size_t i = 0; i < nc; ++i) {
        const ColonnaFile& c = t.colonne[i];
        const bool bit = c.codice == kTipoBool ? campi[i].vero : !campi[i].nullo;
        if (bit) riga_[inizioMaschera + c.numero / 8] |= static_cast<Byte>(1u << (c.numero % 8));
    }
    if (riga_.size() > PaginaRighe::Capienza(g_))
        vq::Solleva(kErrValore, Contesto(t.nome, numeroRiga, "") + ": riga di " +
                                    std::to_string(riga_.size()) +
                                    " byte, oltre lo spazio di una pagina (" +
                                    std::to_string(PaginaRighe::Capienza(g_)) + ")");
    if (t.righe == std::numeric_limits<std::uint32_t>::max())
        vq::Solleva(kErrValore, Contesto(t.nome, 0, "") + ": troppe righe");
    if (!dati_ || !dati_->Entra(riga_.size())) {
        ChiudiPaginaDati(t);
        dati_ = std::make_unique<PaginaRighe>(g_, NuovaPagina(), t.paginaDefinizione, false);
    }
    dati_->Aggiungi(riga_.data(), riga_.size());
    ++t.righe;
}

void Scrittore::ScriviTabella(const Tabella& sorgente, TabellaFile& t) {
    const std::size_t nc = t.colonne.size();
    std::vector<Campo> campi(nc);
    std::int64_t numero = 0;
    auto una = [&](const Riga& r) {
        ++numero;
        if (r.size() != nc)
            vq::Solleva(kErrValore, Contesto(t.nome, numero, "") + ": " + std::to_string(r.size()) +
                                        " valori, la tabella ha " + std::to_string(nc) +
                                        " colonne");
        scratch_.clear();
        std::int64_t contatore = 0;
        for (std::size_t i = 0; i < nc; ++i) {
            PreparaCampo(t, t.colonne[i], r[i], campi[i], numero);
            if (t.colonne[i].contatore) {
                const Byte* v = &scratch_[campi[i].inizio];  // the long as stored, little-endian
                contatore = static_cast<std::int32_t>(
                    std::uint32_t{v[0]} | std::uint32_t{v[1]} << 8 | std::uint32_t{v[2]} << 16 |
                    std::uint32_t{v[3]} << 24);
                if (!RegistraContatore(t.contatoriUsati, contatore))
                    ErroreValore(
                        t.nome, numero, t.colonne[i].nome,
                        "il contatore " + std::to_string(contatore) + " è già stato usato");
            }
        }
        ScriviRiga(t, campi, numero);
        if (contatore > t.ultimoContatore) t.ultimoContatore = contatore;
    };
    for (const Riga& r : sorgente.righe) una(r);
    if (sorgente.generatore) {
        Riga r;
        for (std::int64_t i = 0;; ++i) {
            r.clear();
            if (!sorgente.generatore(i, r)) break;
            una(r);
        }
    }
    ChiudiPaginaDati(t);
}

void Scrittore::ScriviCatalogo() {
    // Containers, the catalog itself and one entry per table, with the Id of a table
    // being the page of its definition.
    struct Voce {
        std::uint32_t id, padre;
        std::string nome;
        std::int16_t tipo;
        std::uint32_t flags;
    };
    std::vector<Voce> voci = {
        {0x0F000000u + 1, 0x0F000000u, "Tables", 3, 0x80000000u},
        {0x0F000000u + 2, 0x0F000000u, "Databases", 3, 0x80000000u},
        {0x0F000000u + 3, 0x0F000000u, "Relationships", 3, 0x80000000u},
        {catalogo_.paginaDefinizione, kIdContenitoreTabelle, "MSysObjects", 1, 0x80000002u},
    };
    for (const auto& t : tabelle_)
        voci.push_back({t.paginaDefinizione, kIdContenitoreTabelle, t.nome, 1, 0});
    std::vector<Campo> campi(catalogo_.colonne.size());
    std::int64_t numero = 0;
    for (const Voce& v : voci) {
        ++numero;
        scratch_.clear();
        for (auto& c : campi) c = Campo{};
        auto metti = [&](std::size_t i, const Byte* p, std::size_t n) {
            campi[i].nullo = false;
            campi[i].inizio = scratch_.size();
            campi[i].lunghezza = n;
            scratch_.insert(scratch_.end(), p, p + n);
        };
        Byte b[8];
        Put32(b, v.id);
        metti(0, b, 4);
        Put32(b, v.padre);
        metti(1, b, 4);
        Bytes nome;
        if (!cod_.Codifica(v.nome, nome, problema_)) vq::Solleva(kErrCodifica, problema_);
        metti(2, nome.data(), nome.size());
        Put16(b, static_cast<std::uint16_t>(v.tipo));
        metti(3, b, 2);
        PutDouble(b, dataCreazione_);
        metti(4, b, 8);
        metti(5, b, 8);
        Put32(b, v.flags);
        metti(7, b, 4);
        ScriviRiga(catalogo_, campi, numero);
    }
    ChiudiPaginaDati(catalogo_);
}

// ---- Maps, definitions, header ------------------------------------------------------

void Scrittore::ScriviMappe() {
    // Usage map of a table: kind 0 is a first page and a bitmap in the row itself; kind 1
    // lists pages (type 0x05) whose bitmaps each cover (page size - 4) * 8 pages from page
    // 0, for tables too spread for a row.
    const std::size_t bitPerPagina = (g_.pagina - 4) * 8;
    constexpr std::size_t kMaxBitmapInRiga = 128;
    std::vector<Bytes> righe;  // in order: for each table, used then free
    auto mappa = [&](const std::vector<std::uint32_t>& pagine) {
        Bytes r;
        if (pagine.empty()) {
            r.assign(5, 0);
            return r;
        }
        const std::uint32_t primo = *std::min_element(pagine.begin(), pagine.end());
        const std::uint32_t ultimo = *std::max_element(pagine.begin(), pagine.end());
        const std::size_t byteBitmap = (ultimo - primo) / 8 + 1;
        if (byteBitmap <= kMaxBitmapInRiga) {
            r.assign(5 + byteBitmap, 0);
            Put32(&r[1], primo);
            for (std::uint32_t p : pagine)
                r[5 + (p - primo) / 8] |= static_cast<Byte>(1u << ((p - primo) % 8));
            return r;
        }
        const std::size_t voci = ultimo / bitPerPagina + 1;
        r.assign(1 + 4 * voci, 0);
        r[0] = 0x01;
        std::vector<std::unique_ptr<BufferPagina>> bitmap(voci);
        for (std::uint32_t p : pagine) {
            auto& bm = bitmap[p / bitPerPagina];
            if (!bm) {
                bm = std::make_unique<BufferPagina>();
                bm->fill(0);
                (*bm)[0] = 0x05;
                (*bm)[1] = 0x01;
            }
            const std::size_t bit = p % bitPerPagina;
            (*bm)[4 + bit / 8] |= static_cast<Byte>(1u << (bit % 8));
        }
        for (std::size_t i = 0; i < voci; ++i) {
            if (!bitmap[i]) continue;
            const std::uint32_t numero = NuovaPagina();
            ScriviPagina(numero, *bitmap[i]);
            Put32(&r[1 + 4 * i], numero);
        }
        return r;
    };
    std::vector<TabellaFile*> tutte;
    tutte.push_back(&catalogo_);
    for (auto& t : tabelle_) tutte.push_back(&t);
    auto pagina = std::make_unique<PaginaRighe>(g_, 1, 1, false);
    auto aggiungi = [&](const Bytes& r) {
        // A map listing more bitmap pages than one page's row can hold (a Jet 3 file of
        // many gigabytes) has no place in the format.
        if (r.size() > PaginaRighe::Capienza(g_))
            ErroreSpecifica("Database troppo grande per il formato Jet");
        if (!pagina->Entra(r.size())) {
            ScriviPagina(pagina->Numero(), pagina->Chiudi());
            pagina = std::make_unique<PaginaRighe>(g_, NuovaPagina(), 1, false);
        }
        return pagina->Aggiungi(r.data(), r.size());
    };
    for (TabellaFile* t : tutte) {
        const Bytes usate = mappa(t->pagineDati);
        t->mappaUsate = aggiungi(usate);
        Bytes libere(5, 0);
        if (!t->pagineDati.empty()) Put32(&libere[1], t->pagineDati.front());
        t->mappaLibere = aggiungi(libere);
    }
    ScriviPagina(pagina->Numero(), pagina->Chiudi());
}

void Scrittore::ScriviDefinizioni() {
    std::vector<TabellaFile*> tutte;
    tutte.push_back(&catalogo_);
    for (auto& t : tabelle_) tutte.push_back(&t);
    for (TabellaFile* pt : tutte) {
        const TabellaFile& t = *pt;
        Bytes d(63, 0);  // the longer of the two headers, cut to size below
        d.resize(g_.inizioColonne);
        d[0] = 0x02;
        d[1] = 0x01;
        const auto nc = static_cast<std::uint32_t>(t.colonne.size());
        const auto nv = static_cast<std::uint32_t>(t.numVar);
        const auto ultimo = static_cast<std::uint32_t>(t.ultimoContatore);
        if (g_.jet4) {
            Put32(&d[16], t.righe);
            Put32(&d[20], ultimo);
            d[24] = 0x01;
            d[40] = t.sistema ? 0x53 : 0x4E;
            Put16(&d[41], nc);
            Put16(&d[43], nv);
            Put16(&d[45], nc);
            Put32(&d[55], t.mappaUsate);
            Put32(&d[59], t.mappaLibere);
        } else {
            d[2] = 'V';
            d[3] = 'C';
            Put32(&d[12], t.righe);
            Put32(&d[16], ultimo);
            d[20] = t.sistema ? 0x53 : 0x4E;
            Put16(&d[21], nc);
            Put16(&d[23], nv);
            Put16(&d[25], nc);
            Put32(&d[35], t.mappaUsate);
            Put32(&d[39], t.mappaLibere);
        }
        for (const ColonnaFile& c : t.colonne) {
            std::array<Byte, 25> e{};
            Byte flags = kFlagSempre | kFlagAggiornabile;
            if (c.fissa) flags |= kFlagFissa;
            if (c.contatore) flags |= kFlagContatore;
            const bool testo = c.codice == kTipoTesto || c.codice == kTipoMemo;
            e[0] = c.codice;
            if (g_.jet4) {
                Put16(&e[5], c.numero);
                Put16(&e[7], c.indiceVar);
                Put16(&e[9], c.numero);
                if (testo) Put16(&e[11], 0x0409);  // general sort order
                e[15] = flags;
                Put16(&e[21], c.offsetFisso);
                Put16(&e[23], c.lunghezza);
            } else {
                Put16(&e[1], c.numero);
                Put16(&e[3], c.indiceVar);
                Put16(&e[5], c.numero);
                Put16(&e[7], 1);
                Put16(&e[9], 0x0409);  // general sort order
                Put16(&e[11], static_cast<std::uint32_t>(spec_.codePage));
                e[13] = flags;
                Put16(&e[14], c.offsetFisso);
                Put16(&e[16], c.lunghezza);
            }
            d.insert(d.end(), e.begin(), e.begin() + static_cast<std::ptrdiff_t>(g_.voceColonna));
        }
        for (const ColonnaFile& c : t.colonne) {
            const std::size_t n = c.nomeCodificato.size();
            if (g_.jet4) {
                d.push_back(static_cast<Byte>(n & 0xFF));
                d.push_back(static_cast<Byte>(n >> 8));
            } else {
                d.push_back(static_cast<Byte>(n));
            }
            d.insert(d.end(), c.nomeCodificato.begin(), c.nomeCodificato.end());
        }
        if (g_.jet4) {
            d.push_back(0xFF);
            d.push_back(0xFF);
        }
        Put32(&d[8], static_cast<std::uint32_t>(d.size()));
        // Split over the first page and its continuations (8-byte header each).
        std::vector<std::uint32_t> pagine = {t.paginaDefinizione};
        pagine.insert(pagine.end(), t.pagineContinuazione.begin(), t.pagineContinuazione.end());
        std::size_t pos = 0;
        for (std::size_t i = 0; i < pagine.size(); ++i) {
            BufferPagina p{};
            std::size_t n;
            if (i == 0) {
                n = std::min(d.size(), g_.pagina);
                std::memcpy(p.data(), d.data(), n);
            } else {
                p[0] = 0x02;
                p[1] = 0x01;
                if (!g_.jet4) {
                    p[2] = 'V';
                    p[3] = 'C';
                }
                n = std::min(d.size() - pos, g_.pagina - 8);
                std::memcpy(p.data() + 8, d.data() + pos, n);
            }
            pos += n;
            Put32(&p[4], i + 1 < pagine.size() ? pagine[i + 1] : 0);
            if (g_.jet4) Put16(&p[2], static_cast<std::uint32_t>(g_.pagina - (i == 0 ? n : n + 8)));
            ScriviPagina(pagine[i], p);
        }
    }
}

void Scrittore::ScriviIntestazione() {
    BufferPagina p{};
    p[0] = 0x00;
    p[1] = 0x01;
    std::memcpy(&p[4], "Standard Jet DB", 15);
    p[0x14] = g_.jet4 ? 0x01 : 0x00;
    // Fixed values Jet keeps at the start of the masked area.
    const Byte fissi[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(&p[0x18], fissi, sizeof fissi);
    Put16(&p[0x3C], g_.jet4 ? 1252u : static_cast<std::uint32_t>(spec_.codePage));
    // Database key at 0x3E stays 0: the pages are not encrypted.
    Bytes password;
    if (!spec_.password.empty() && !cod_.Codifica(spec_.password, password, problema_))
        vq::Solleva(kErrCodifica, "Password: " + problema_);
    if (g_.jet4) {
        Put32(&p[0x6E], 0x0409);
        PutDouble(&p[0x72], dataCreazione_);
        // The password is mixed with the whole days of the creation date.
        Byte chiave[4];
        Put32(chiave,
              static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(dataCreazione_))));
        if (password.size() > 40)
            ErroreSpecifica("Password troppo lunga: al massimo 20 caratteri UTF-16");
        password.resize(40, 0);
        for (std::size_t i = 0; i < 40; ++i) password[i] ^= chiave[i % 4];
        std::memcpy(&p[0x42], password.data(), 40);
        const Byte versione[] = {0x34, 0x2E, 0x30};  // "4.0"
        std::memcpy(&p[0x9C], versione, sizeof versione);
    } else {
        Put16(&p[0x38], 1);
        Put16(&p[0x3A], 0x0409);
        if (password.size() > 20)
            ErroreSpecifica("Password di " + std::to_string(password.size()) +
                            " byte nel code page: al massimo 20");
        if (!password.empty()) std::memcpy(&p[0x42], password.data(), password.size());
    }
    const Byte chiaveRc4[4] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4(chiaveRc4, 4, &p[0x18], g_.jet4 ? 128 : 126);
    ScriviPagina(0, p);
}

void Scrittore::Esegui() {
    Prepara();
    ScriviCatalogo();
    for (std::size_t i = 0; i < tabelle_.size(); ++i) {
        ScriviTabella(spec_.tabelle[i], tabelle_[i]);
    }
    ChiudiLval();
    ScriviMappe();
    ScriviDefinizioni();
    ScriviIntestazione();
    file_.Concludi();
}

}  // namespace

void Scrivi(const Specifica& specifica, const std::filesystem::path& destinazione) {
    Scrittore s(specifica, destinazione);
    s.Esegui();
}

std::string_view NomeTipo(Tipo tipo) {
    switch (tipo) {
        case Tipo::Byte: return "byte";
        case Tipo::Integer: return "integer";
        case Tipo::Long: return "long";
        case Tipo::Single: return "single";
        case Tipo::Double: return "double";
        case Tipo::Currency: return "currency";
        case Tipo::DateTime: return "datetime";
        case Tipo::Boolean: return "boolean";
        case Tipo::Text: return "text";
        case Tipo::Memo: return "memo";
    }
    return "?";
}

std::optional<Tipo> TipoDaNome(std::string_view nome) {
    for (Tipo t : {Tipo::Byte, Tipo::Integer, Tipo::Long, Tipo::Single, Tipo::Double,
                   Tipo::Currency, Tipo::DateTime, Tipo::Boolean, Tipo::Text, Tipo::Memo})
        if (NomeTipo(t) == nome) return t;
    return std::nullopt;
}

}  // namespace jetwriter
