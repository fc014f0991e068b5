#include "export/DocumentoXml.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/ScritturaAtomica.h"
#include "export/TipiDato.h"
#include "vq/ascii.h"
#include "vq/errore.h"

namespace travasa {
namespace {

constexpr std::int32_t kErrArgomento = vq::kErrChiamataNonValida;

// A node of the tree, known by its number. Number 0 is the document itself, the parent of
// the top-level nodes; in a link to a child or a sibling it means "none". A node created
// and not appended anywhere has kSenzaPadre for a parent.
//
// A node's text (an element's own text, an instruction's data) lives in the document's
// store of texts, its length first; but a node without children holds a text of up to
// kTestoBreve bytes itself, in the room of its links to children and of its text's place
// (the bulk of an export: a flag, a date, an amount). An element holding its text so and
// given a child first moves the text to the store.
constexpr std::uint32_t kSenzaPadre = std::numeric_limits<std::uint32_t>::max();
struct Nodo {
    enum Genere : std::uint8_t { kDocumento, kElemento, kIstruzione };
    std::uint32_t padre, precedente, seguente;
    std::uint32_t nome;  // the element's name or the instruction's target
    // Unless the text is held in the node (`breve`):
    std::uint32_t primo, ultimo;  // the first and last children
    std::uint32_t testo;          // where its text is in the store; 0 for the empty text
    std::uint16_t dichiarato;     // the declared data type: 0 none, else its spelling + 1
    Genere genere;
    std::uint8_t breve;  // a text held in the node: its length + 1; else 0

    std::uint32_t primoFiglio() const { return breve ? 0 : primo; }
};
static_assert(sizeof(Nodo) == 32, "a node is kept small: an export holds hundreds of thousands");
constexpr std::size_t kInizioBreve = offsetof(Nodo, primo);
constexpr std::size_t kTestoBreve = offsetof(Nodo, testo) + sizeof(std::uint32_t) - kInizioBreve;
static_assert(kTestoBreve == 12 && offsetof(Nodo, ultimo) == kInizioBreve + 4);

// Memory for the nodes or the texts of a document, in sheets of 2 MB from the system,
// which it may back with huge pages: filling an export's hundreds of thousands of nodes
// costs a few page faults instead of thousands. The first sheet starts small and doubles
// (moving) until it has the full size, so a small document takes little. A place in the
// sheets is a number, the sheet's index in the high bits; nothing goes before the document.
class Fogli {
public:
    static constexpr unsigned kBitFoglio = 21;
    static constexpr std::size_t kFoglio = std::size_t{1} << kBitFoglio;
    static constexpr std::uint32_t kMassimoFogli = 1u << (32 - kBitFoglio);

    Fogli() = default;
    Fogli(const Fogli&) = delete;
    Fogli& operator=(const Fogli&) = delete;
    ~Fogli() {
        for (const Foglio& f : fogli_) Rilascia(f);
    }
    void scambia(Fogli& altri) noexcept {
        fogli_.swap(altri.fogli_);
        std::swap(usati_, altri.usati_);
    }

    // `n` contiguous bytes; more than a sheet take a sheet of their own.
    std::uint32_t prendi(std::size_t n) {
        if (!fogli_.empty() && n <= fogli_.back().dimensione - usati_) [[likely]]
            return occupa(n);
        if (n > kFoglio) {
            nuovoFoglio(n);
            const std::uint32_t posto = occupa(n);
            usati_ = fogli_.back().dimensione;  // nothing else goes in it
            return posto;
        }
        if (!fogli_.empty() && fogli_.size() == 1 && fogli_[0].dimensione < kFoglio &&
            usati_ + n <= kFoglio) {
            cresci(usati_ + n);
            return occupa(n);
        }
        nuovoFoglio(std::max(n, fogli_.empty() ? kPrimo : kFoglio));
        return occupa(n);
    }
    char* indirizzo(std::uint32_t posto) const {
        return fogli_[posto >> kBitFoglio].inizio + (posto & (kFoglio - 1));
    }
    std::size_t occupati() const {  // bytes given out or left unused at the end of a sheet
        return fogli_.empty() ? 0 : (fogli_.size() - 1) * kFoglio + usati_;
    }

private:
    static constexpr std::size_t kPrimo = 4096;
    struct Foglio {
        char* inizio;
        std::size_t dimensione;
        bool mappato;  // taken from the system directly (else from the heap)
    };

    std::uint32_t occupa(std::size_t n) {
        const auto posto = static_cast<std::uint32_t>((fogli_.size() - 1) << kBitFoglio | usati_);
        usati_ += n;
        return posto;
    }

    // The first sheet, grown to hold `n` bytes: doubled on the heap while it is small,
    // then moved to a full sheet.
    void cresci(std::size_t n) {
        Foglio& f = fogli_[0];
        std::size_t nuova = f.dimensione;
        while (nuova < n) nuova *= 2;
        if (nuova < kFoglio) {
            char* p = static_cast<char*>(std::realloc(f.inizio, nuova));
            if (!p) throw std::bad_alloc();
            f.inizio = p;
            f.dimensione = nuova;
            return;
        }
        const Foglio pieno = Mappa(kFoglio);
        std::memcpy(pieno.inizio, f.inizio, usati_);
        Rilascia(f);
        f = pieno;
    }

    void nuovoFoglio(std::size_t n) {
        // A sheet of its own for what does not fit in one; the place numbers run out past
        // kMassimoFogli sheets (4 GB).
        if (fogli_.size() >= kMassimoFogli) throw std::bad_alloc();
        fogli_.reserve(fogli_.size() + 1);
        if (n < kFoglio) {
            char* p = static_cast<char*>(std::malloc(n));
            if (!p) throw std::bad_alloc();
            fogli_.push_back({p, n, false});
        } else {
            fogli_.push_back(Mappa(n));
        }
        usati_ = 0;
    }

    // `n` bytes (a multiple of 2 MB after rounding) aligned to 2 MB, so that the kernel may
    // back them with huge pages; a kernel that does not ignores the advice.
    static Foglio Mappa(std::size_t n) {
        const std::size_t dimensione = (n + kFoglio - 1) & ~(kFoglio - 1);
        void* p = ::mmap(nullptr, dimensione + kFoglio, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        const auto indirizzo = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t allineato = (indirizzo + kFoglio - 1) & ~(std::uintptr_t{kFoglio} - 1);
        if (allineato > indirizzo) ::munmap(p, allineato - indirizzo);
        if (const std::uintptr_t fine = allineato + dimensione;
            fine < indirizzo + dimensione + kFoglio)
            ::munmap(reinterpret_cast<void*>(fine), indirizzo + dimensione + kFoglio - fine);
        auto* inizio = reinterpret_cast<char*>(allineato);
        static_cast<void>(::madvise(inizio, dimensione, MADV_HUGEPAGE));
        return {inizio, dimensione, true};
    }
    static void Rilascia(const Foglio& f) {
        if (f.mappato) ::munmap(f.inizio, f.dimensione);
        else std::free(f.inizio);
    }

    std::vector<Foglio> fogli_;
    std::size_t usati_ = 0;  // bytes of the last sheet given out
};

// The key of a text: its length, its first and its last eight bytes, in three words. A
// text of at most kChiaveIntera bytes is held whole in its key (the two windows cover it).
constexpr std::size_t kChiaveIntera = 16;
struct Chiave {
    std::uint64_t lunghezza = 0, primi = 0, ultimi = 0;
    bool operator==(const Chiave&) const = default;
};
[[gnu::always_inline]] inline Chiave ChiaveDi(std::string_view testo) {
    Chiave k;
    const char* d = testo.data();
    const std::size_t n = testo.size();
    k.lunghezza = n;
    if (n >= 8) {
        std::memcpy(&k.primi, d, 8);
        std::memcpy(&k.ultimi, d + n - 8, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, d, 4);
        std::memcpy(&b, d + n - 4, 4);
        k.primi = a, k.ultimi = b;
    } else if (n > 0) {
        k.primi = static_cast<unsigned char>(d[0]) |
                  static_cast<unsigned>(static_cast<unsigned char>(d[n / 2])) << 8 |
                  static_cast<unsigned>(static_cast<unsigned char>(d[n - 1])) << 16;
    }
    return k;
}

struct HashTesto {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Names met before, each numbered once. The same few come back over and over, mostly in
// the same order, so the name that followed the last one found is tried first, compared
// in words; any other is looked up.
class Elenco {
public:
    static constexpr std::uint32_t kAssente = std::numeric_limits<std::uint32_t>::max();
    // The number of `testo`, or kAssente.
    std::uint32_t trova(std::string_view testo) {
        const Chiave chiave = ChiaveDi(testo);
        if (!voci_.empty()) {
            const std::uint32_t atteso = voci_[ultimo_].seguito;
            const Voce& v = voci_[atteso];
            if (Uguale(v, testo, chiave)) [[likely]] {
                ultimo_ = atteso;
                return atteso;
            }
        }
        const auto trovato = indice_.find(testo);
        if (trovato == indice_.end()) return kAssente;
        segui(trovato->second);
        return trovato->second;
    }
    std::uint32_t aggiungi(std::string_view testo) {
        const auto numero = static_cast<std::uint32_t>(voci_.size());
        voci_.push_back({std::string(testo), ChiaveDi(testo), numero});
        try {
            indice_.emplace(voci_.back().testo, numero);
        } catch (...) {
            voci_.pop_back();
            throw;
        }
        segui(numero);
        return numero;
    }
    const std::string& operator[](std::uint32_t i) const { return voci_[i].testo; }
    bool uguale(std::uint32_t i, std::string_view testo) const {
        return Uguale(voci_[i], testo, ChiaveDi(testo));
    }

private:
    void segui(std::uint32_t numero) {
        voci_[ultimo_].seguito = numero;
        ultimo_ = numero;
    }
    struct Voce {
        std::string testo;
        Chiave chiave;
        std::uint32_t seguito;  // the name that came after this one the last time
    };
    static bool Uguale(const Voce& v, std::string_view testo, const Chiave& chiave) {
        return v.chiave == chiave && (testo.size() <= kChiaveIntera || v.testo == testo);
    }

    std::vector<Voce> voci_;
    std::unordered_map<std::string, std::uint32_t, HashTesto, std::equal_to<>> indice_;
    std::uint32_t ultimo_ = 0;
};

// An XML name: a letter, "_" or ":" first, then also digits, "-" and "."; characters
// beyond ASCII are taken as name characters.
bool LetteraNome(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool NomeXml(std::string_view nome) {
    if (nome.empty() || !LetteraNome(static_cast<unsigned char>(nome[0]))) return false;
    for (char c : nome) {
        const auto u = static_cast<unsigned char>(c);
        if (!LetteraNome(u) && !(u >= '0' && u <= '9') && u != '-' && u != '.') return false;
    }
    return TestoXmlValido(nome);
}

// Writing into a string, with the same members as the file sink.
class UscitaTesto {
public:
    void scrivi(std::string_view pezzo) {
        char* p = riserva(pezzo.size());
        if (!pezzo.empty()) std::memcpy(p, pezzo.data(), pezzo.size());
        avanza(p + pezzo.size());
    }
    void scrivi(char c) { scrivi(std::string_view(&c, 1)); }
    char* riserva(std::size_t n) {
        if (testo_.size() - usati_ < n) testo_.resize(std::max(2 * testo_.size(), usati_ + n));
        return testo_.data() + usati_;
    }
    void avanza(const char* fine) { usati_ = static_cast<std::size_t>(fine - testo_.data()); }
    std::string testo() && {
        testo_.resize(usati_);
        return std::move(testo_);
    }

private:
    std::string testo_;
    std::size_t usati_ = 0;
};

// The most a text grows when written: "\r" becomes "&#13;".
constexpr std::size_t kCrescitaEscape = 5;
// Texts are escaped straight into the sink's buffer in pieces of at most this many bytes
// (the room they need fits in any sink's buffer).
constexpr std::size_t kPezzoTesto = 4096;

[[gnu::always_inline]] inline char* EscapaCarattere(char* p, char c) {
    switch (c) {
        case '&': std::memcpy(p, "&amp;", 5); return p + 5;
        case '<': std::memcpy(p, "&lt;", 4); return p + 4;
        case '>': std::memcpy(p, "&gt;", 4); return p + 4;
        case '\r': std::memcpy(p, "&#13;", 5); return p + 5;
        default: *p = c; return p + 1;
    }
}

// Writes `testo` at `p`, escaped, with room for kCrescitaEscape bytes for each of its
// bytes; returns the end. Eight bytes at a time while none of them needs escaping.
[[gnu::always_inline]] inline char* ScriviEscapato(char* p, std::string_view testo) {
    constexpr std::uint64_t kUni = 0x0101010101010101ull, kAlti = 0x8080808080808080ull;
    const auto haZero = [](std::uint64_t v) { return (v - kUni) & ~v & kAlti; };
    const char* s = testo.data();
    const char* const fine = s + testo.size();
    while (fine - s >= 8) {
        std::uint64_t otto;
        std::memcpy(&otto, s, 8);
        if ((haZero(otto ^ (kUni * '&')) | haZero(otto ^ (kUni * '<')) |
             haZero(otto ^ (kUni * '>')) | haZero(otto ^ (kUni * '\r'))) == 0) {
            std::memcpy(p, &otto, 8);
            p += 8;
            s += 8;
            continue;
        }
        for (const char* fineOtto = s + 8; s != fineOtto; ++s) p = EscapaCarattere(p, *s);
    }
    for (; s != fine; ++s) p = EscapaCarattere(p, *s);
    return p;
}

// A text of any length, escaped, a piece at a time.
template <class Uscita>
void ScriviTestoEscapato(std::string_view testo, Uscita& uscita) {
    while (!testo.empty()) {
        const std::string_view pezzo = testo.substr(0, kPezzoTesto);
        char* p = uscita.riserva(kCrescitaEscape * pezzo.size());
        uscita.avanza(ScriviEscapato(p, pezzo));
        testo.remove_prefix(pezzo.size());
    }
}

// A text quoted in an error message: at most 200 bytes, cut on a character boundary, and
// repaired like any text (the message may be shown or written anywhere).
std::string TestoPerMessaggio(std::string_view testo) {
    constexpr std::size_t kMassimo = 200;
    if (testo.size() <= kMassimo) return TestoXmlSicuro(testo);
    std::size_t taglio = kMassimo;
    while (taglio > 0 && (static_cast<unsigned char>(testo[taglio]) & 0xC0) == 0x80) --taglio;
    return TestoXmlSicuro(testo.substr(0, taglio)) + "\xE2\x80\xA6";  // "…"
}

}  // namespace

struct DocumentoXml::Impl {
    // The nodes, node i at place 32 i; node 0 is the document.
    Fogli nodi;
    std::uint32_t quantiNodi = 0;

    // The texts of all nodes, side by side. A text replaced by a longer one leaves its
    // bytes unused; once those are more than half of the store it is compacted.
    Fogli testi;
    std::size_t sprecati = 0;
    static constexpr std::size_t kSprecoTollerato = std::size_t{1} << 20;

    // Element names and instruction targets, each with its tags as they are written: in
    // kTagBreve bytes when they fit, copied whole and then cut.
    Elenco nomi;
    static constexpr std::size_t kTagBreve = 32;
    struct Tag {
        std::string apertura, chiusura;  // "<name>", "</name>"
        std::array<char, kTagBreve> aperturaBreve{}, chiusuraBreve{};
        bool breve() const { return chiusura.size() <= kTagBreve; }
    };
    std::vector<Tag> tag;
    // The data types declared, in the spellings given, each resolved once; for each name,
    // the type last declared on an element of that name (its number + 1, 0 for none).
    Elenco tipi;
    std::vector<TipoDato> tipoDi;
    std::vector<std::uint32_t> tipoPerNome;

    Impl() {
        nuovoNodo(Nodo::kDocumento, 0);
        testi.prendi(sizeof(std::uint32_t));  // place 0, never used: the empty text
    }

    static constexpr unsigned kBitNodo = 5;
    Nodo& N(std::uint32_t i) { return *reinterpret_cast<Nodo*>(nodi.indirizzo(i << kBitNodo)); }
    const Nodo& N(std::uint32_t i) const {
        return *reinterpret_cast<const Nodo*>(nodi.indirizzo(i << kBitNodo));
    }

    std::uint32_t nuovoNodo(Nodo::Genere genere, std::uint32_t nome) {
        if (quantiNodi == std::numeric_limits<std::uint32_t>::max() >> kBitNodo) [[unlikely]]
            throw std::bad_alloc();
        const std::uint32_t posto = nodi.prendi(sizeof(Nodo));
        char* indirizzo = nodi.indirizzo(posto);
        new (indirizzo) Nodo{kSenzaPadre, 0, 0, nome, 0, 0, 0, 0, genere, 0};
        return quantiNodi++;
    }

    // The number of an element name or instruction target, checked the first time it comes.
    std::uint32_t numeroNome(std::string_view nome) {
        if (const std::uint32_t noto = nomi.trova(nome); noto != Elenco::kAssente) [[likely]]
            return noto;
        if (!NomeXml(nome))
            vq::Solleva(kErrArgomento,
                        "Nome di elemento non valido: \"" + std::string(nome) + "\"");
        const std::string n(nome);
        Tag nuovo{"<" + n + ">", "</" + n + ">"};
        if (nuovo.breve()) {
            std::memcpy(nuovo.aperturaBreve.data(), nuovo.apertura.data(), nuovo.apertura.size());
            std::memcpy(nuovo.chiusuraBreve.data(), nuovo.chiusura.data(), nuovo.chiusura.size());
        }
        // The lists grow together, or none does.
        tag.reserve(tag.size() + 1);
        tipoPerNome.reserve(tipoPerNome.size() + 1);
        const std::uint32_t numero = nomi.aggiungi(nome);
        tag.push_back(std::move(nuovo));
        tipoPerNome.push_back(0);
        return numero;
    }

    std::string_view testoDi(const Nodo& n) const {
        if (n.breve)
            return std::string_view(reinterpret_cast<const char*>(&n) + kInizioBreve, n.breve - 1u);
        if (n.testo == 0) return {};
        const char* p = testi.indirizzo(n.testo);
        std::uint32_t lunghezza;
        std::memcpy(&lunghezza, p, sizeof lunghezza);
        return std::string_view(p + sizeof lunghezza, lunghezza);
    }

    // Takes a node out of its parent; it lives on, by itself.
    void stacca(std::uint32_t i) {
        Nodo& n = N(i);
        if (n.padre == kSenzaPadre) return;
        Nodo& p = N(n.padre);
        if (n.precedente) N(n.precedente).seguente = n.seguente;
        else p.primo = n.seguente;
        if (n.seguente) N(n.seguente).precedente = n.precedente;
        else p.ultimo = n.precedente;
        n.padre = kSenzaPadre;
        n.precedente = n.seguente = 0;
    }

    // Moves a node, from wherever it is, to the end of `padre`'s children.
    void accoda(std::uint32_t i, std::uint32_t padre) {
        Nodo& p = N(padre);
        if (p.breve) [[unlikely]]
            testoNelDeposito(p);
        stacca(i);
        Nodo& n = N(i);
        n.padre = padre;
        n.precedente = p.ultimo;
        if (p.ultimo) N(p.ultimo).seguente = i;
        else p.primo = i;
        p.ultimo = i;
    }

    // The text of a node, already checked; an element's children go (they live on, by
    // themselves, since a handle to one of them may still be in use). A failure (memory)
    // changes nothing.
    void impostaTesto(std::uint32_t i, std::string_view testo) {
        Nodo& n = N(i);
        if (n.genere == Nodo::kIstruzione && testo.find("?>") != std::string_view::npos)
            vq::Solleva(kErrArgomento,
                        "Istruzione di elaborazione non valida: \"" + nomi[n.nome] + "\"");
        const std::size_t vecchia = n.breve || n.testo == 0 ? 0 : testoDi(n).size();
        std::uint32_t posto = 0;  // in the store, for a text too long for the node
        if (testo.size() > kTestoBreve) {
            if (testo.size() > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
            if (testo.size() <= vecchia) {  // in the old one's place
                posto = n.testo;
            } else {
                if (sprecati > kSprecoTollerato && sprecati > testi.occupati() / 2) compatta();
                posto = testi.prendi(sizeof(std::uint32_t) + testo.size());
            }
            scriviTesto(posto, testo);
        }
        while (n.primoFiglio()) stacca(n.primo);
        if (vecchia != 0 && posto != n.testo) sprecati += sizeof(std::uint32_t) + vecchia;
        else if (vecchia != 0) sprecati += vecchia - testo.size();
        if (posto != 0) {
            n.breve = 0;
            n.primo = n.ultimo = 0;
            n.testo = posto;
            return;
        }
        if (!testo.empty())
            std::memcpy(reinterpret_cast<char*>(&n) + kInizioBreve, testo.data(), testo.size());
        n.breve = static_cast<std::uint8_t>(testo.size() + 1);
    }

    // Moves a text held in the node to the store, to make room for children.
    [[gnu::noinline]] void testoNelDeposito(Nodo& n) {
        const std::string_view testo = testoDi(n);
        std::uint32_t posto = 0;
        if (!testo.empty()) {
            posto = testi.prendi(sizeof(std::uint32_t) + testo.size());
            scriviTesto(posto, testo);
        }
        n.breve = 0;
        n.primo = n.ultimo = 0;
        n.testo = posto;
    }

    void scriviTesto(std::uint32_t posto, std::string_view testo) {
        char* p = testi.indirizzo(posto);
        const auto lunghezza = static_cast<std::uint32_t>(testo.size());
        std::memcpy(p, &lunghezza, sizeof lunghezza);
        std::memcpy(p + sizeof lunghezza, testo.data(), testo.size());
    }

    // The texts in use, copied side by side to a new store; a failure leaves the old one.
    [[gnu::noinline]] void compatta() {
        Fogli nuovi;
        nuovi.prendi(sizeof(std::uint32_t));  // place 0, never used: the empty text
        std::vector<std::uint32_t> posti(quantiNodi, 0);
        for (std::uint32_t i = 0; i < quantiNodi; ++i) {
            const Nodo& n = N(i);
            if (n.breve || n.testo == 0) continue;
            const std::size_t dimensione = sizeof(std::uint32_t) + testoDi(n).size();
            posti[i] = nuovi.prendi(dimensione);
            std::memcpy(nuovi.indirizzo(posti[i]), testi.indirizzo(n.testo), dimensione);
        }
        for (std::uint32_t i = 0; i < quantiNodi; ++i)
            if (posti[i] != 0) N(i).testo = posti[i];
        testi.scambia(nuovi);
        sprecati = 0;
    }

    // The tree below the document, each top-level node on a line of its own. A node and
    // what is below it is written without recursion, so any depth is safe.
    template <class Uscita>
    void scrivi(Uscita& uscita) const {
        for (std::uint32_t c = N(0).primo; c; c = N(c).seguente) {
            scriviNodo(c, uscita);
            uscita.scrivi('\n');
        }
    }

    template <class Uscita>
    void scriviNodo(std::uint32_t radice, Uscita& uscita) const {
        std::uint32_t corrente = radice;
        for (;;) {
            const Nodo& n = N(corrente);
            if (n.genere == Nodo::kElemento) {
                // An element's own text comes before its children.
                scriviElemento(n, uscita);
                if (const std::uint32_t primo = n.primoFiglio()) {
                    corrente = primo;
                    continue;
                }
            } else {
                uscita.scrivi(std::string_view("<?"));
                uscita.scrivi(std::string_view(nomi[n.nome]));
                if (!testoDi(n).empty()) {
                    uscita.scrivi(' ');
                    uscita.scrivi(testoDi(n));
                }
                uscita.scrivi(std::string_view("?>"));
            }
            for (;;) {
                if (corrente == radice) return;
                const Nodo& m = N(corrente);
                if (m.seguente) {
                    corrente = m.seguente;
                    break;
                }
                corrente = m.padre;
                scriviChiusura(tag[N(corrente).nome], uscita);
            }
        }
    }

    // "<name>", the text, and "</name>" unless children follow. The bulk of a document is
    // elements of short names and short texts, written straight into the sink's buffer.
    template <class Uscita>
    [[gnu::always_inline]] void scriviElemento(const Nodo& n, Uscita& uscita) const {
        const Tag& t = tag[n.nome];
        const std::string_view testo = testoDi(n);
        char* p = nullptr;
        if (t.breve() && testo.size() <= kPezzoTesto)
            p = uscita.riserva(2 * kTagBreve + kCrescitaEscape * testo.size());
        if (!p) [[unlikely]] {
            uscita.scrivi(t.apertura);
            ScriviTestoEscapato(testo, uscita);
            if (!n.primoFiglio()) uscita.scrivi(t.chiusura);
            return;
        }
        std::memcpy(p, t.aperturaBreve.data(), kTagBreve);
        p = ScriviEscapato(p + t.apertura.size(), testo);
        if (!n.primoFiglio()) {
            std::memcpy(p, t.chiusuraBreve.data(), kTagBreve);
            p += t.chiusura.size();
        }
        uscita.avanza(p);
    }

    template <class Uscita>
    void scriviChiusura(const Tag& t, Uscita& uscita) const {
        char* p = t.breve() ? uscita.riserva(kTagBreve) : nullptr;
        if (!p) return uscita.scrivi(t.chiusura);
        std::memcpy(p, t.chiusuraBreve.data(), kTagBreve);
        uscita.avanza(p + t.chiusura.size());
    }
};

DocumentoXml::DocumentoXml() : impl_(std::make_unique<Impl>()) {}

DocumentoXml::~DocumentoXml() = default;

NodoXml DocumentoXml::createProcessingInstruction(std::string_view target, std::string_view data) {
    if (!NomeXml(target) || data.find("?>") != std::string_view::npos ||
        TestoXmlSicuro(data) != data)
        vq::Solleva(kErrArgomento,
                    "Istruzione di elaborazione non valida: \"" + std::string(target) + "\"");
    auto& impl = *impl_;
    const std::uint32_t nodo = impl.nuovoNodo(Nodo::kIstruzione, impl.numeroNome(target));
    impl.impostaTesto(nodo, data);
    return NodoXml(this, nodo);
}

NodoXml DocumentoXml::createNode(int tipo, std::string_view nome, std::string_view spazioNomi) {
    if (tipo != NODE_ELEMENT || !spazioNomi.empty())
        vq::Solleva(kErrArgomento, "Tipo di nodo non supportato: " + std::to_string(tipo));
    return createElement(nome);
}

NodoXml DocumentoXml::createElement(std::string_view nome) {
    auto& impl = *impl_;
    return NodoXml(this, impl.nuovoNodo(Nodo::kElemento, impl.numeroNome(nome)));
}

NodoXml DocumentoXml::appendChild(const NodoXml& figlio) {
    if (figlio.documento_ != this || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    auto& impl = *impl_;
    const Nodo& nodo = impl.N(figlio.nodo_);
    if (nodo.padre == 0) return figlio;  // already at the document level
    bool haElemento = false, haNodi = false;
    for (std::uint32_t c = impl.N(0).primo; c; c = impl.N(c).seguente) {
        haNodi = true;
        haElemento = haElemento || impl.N(c).genere == Nodo::kElemento;
    }
    if (nodo.genere == Nodo::kElemento && haElemento)
        vq::Solleva(kErrArgomento, "Il documento ha già un elemento radice");
    // The XML declaration can only open the document.
    if (nodo.genere == Nodo::kIstruzione && vq::UgualiSenzaMaiuscole(impl.nomi[nodo.nome], "xml") &&
        haNodi)
        vq::Solleva(kErrArgomento, "La dichiarazione XML deve essere il primo nodo del documento");
    impl.accoda(figlio.nodo_, 0);
    return figlio;
}

std::string DocumentoXml::xml() const {
    UscitaTesto uscita;
    impl_->scrivi(uscita);
    return std::move(uscita).testo();
}

void DocumentoXml::save(const std::string& percorso) const {
    ScriviFileAtomico(percorso, [this](UscitaFile& uscita) { impl_->scrivi(uscita); });
}

std::string NodoXml::nodeName() const {
    if (!nodo_) return {};
    const auto& impl = *documento_->impl_;
    return impl.nomi[impl.N(nodo_).nome];
}

std::string NodoXml::dataType() const {
    if (!nodo_) return {};
    const auto& impl = *documento_->impl_;
    const Nodo& n = impl.N(nodo_);
    return n.dichiarato == 0 ? std::string() : impl.tipi[n.dichiarato - 1];
}

void NodoXml::dataType(std::string_view tipo) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    auto& impl = *documento_->impl_;
    Nodo& n = impl.N(nodo_);
    if (n.genere != Nodo::kElemento)
        vq::Solleva(kErrArgomento, "Solo un elemento può avere un tipo di dato");
    if (tipo.empty()) {
        n.dichiarato = 0;
        return;
    }
    // Elements of one name mostly declare one type: the one declared last on the name is
    // tried first.
    std::uint32_t& ultimo = impl.tipoPerNome[n.nome];
    if (ultimo != 0 && impl.tipi.uguale(ultimo - 1, tipo)) [[likely]] {
        n.dichiarato = static_cast<std::uint16_t>(ultimo);
        return;
    }
    std::uint32_t numero = impl.tipi.trova(tipo);
    if (numero == Elenco::kAssente) [[unlikely]] {
        const std::optional<TipoDato> noto = TipoDaNome(tipo);
        if (!noto)
            vq::Solleva(kErrTipoSconosciuto,
                        "Tipo di dato sconosciuto: \"" + std::string(tipo) + "\"");
        // The known names in every mix of cases are a few thousand spellings at most.
        if (impl.tipoDi.size() >= std::numeric_limits<std::uint16_t>::max()) throw std::bad_alloc();
        impl.tipoDi.reserve(impl.tipoDi.size() + 1);
        numero = impl.tipi.aggiungi(tipo);
        impl.tipoDi.push_back(*noto);
    }
    n.dichiarato = static_cast<std::uint16_t>(numero + 1);
    ultimo = numero + 1;
}

std::string NodoXml::Text() const {
    if (!nodo_) return {};
    const auto& impl = *documento_->impl_;
    const Nodo& radice = impl.N(nodo_);
    std::string testo(impl.testoDi(radice));
    if (radice.genere != Nodo::kElemento) return testo;
    // An element's own text, then its descendants' texts in order.
    for (std::uint32_t c = radice.primoFiglio(); c;) {
        const Nodo& n = impl.N(c);
        if (n.genere == Nodo::kElemento) testo += impl.testoDi(n);
        if (n.primoFiglio()) {
            c = n.primo;
            continue;
        }
        while (c != nodo_ && !impl.N(c).seguente) c = impl.N(c).padre;
        if (c == nodo_) break;
        c = impl.N(c).seguente;
    }
    return testo;
}

void NodoXml::Text(std::string_view testo) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    auto& impl = *documento_->impl_;
    const Nodo& n = impl.N(nodo_);
    if (n.dichiarato != 0 && !TestoValido(testo, impl.tipoDi[n.dichiarato - 1])) [[unlikely]]
        RifiutaTesto(testo);
    // Only a text that XML cannot carry is copied to be repaired.
    if (!TestoXmlValido(testo)) [[unlikely]]
        return impl.impostaTesto(nodo_, TestoXmlSicuro(testo));
    impl.impostaTesto(nodo_, testo);
}

void NodoXml::RifiutaTesto(std::string_view testo) const {
    vq::Solleva(kErrTipoDato, "Il testo \"" + TestoPerMessaggio(testo) +
                                  "\" non è un valore valido del tipo di dato \"" + dataType() +
                                  "\"");
}

NodoXml NodoXml::appendChild(const NodoXml& figlio) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    if (figlio.documento_ != documento_ || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    auto& impl = *documento_->impl_;
    if (impl.N(nodo_).genere != Nodo::kElemento)
        vq::Solleva(kErrArgomento, "Solo un elemento può contenere altri nodi");
    for (std::uint32_t a = nodo_; a != 0 && a != kSenzaPadre; a = impl.N(a).padre)
        if (a == figlio.nodo_)
            vq::Solleva(kErrArgomento, "Un nodo non può essere aggiunto dentro sé stesso");
    impl.accoda(figlio.nodo_, nodo_);
    return figlio;
}

namespace {

// The length of the character at `i` when it is one XML can carry, else 0 (and in
// `salto` how many bytes to skip: an invalid sequence is replaced as one unit up to the
// byte that broke it).
std::size_t CarattereXml(std::string_view testo, std::size_t i, std::size_t& salto) {
    const auto c = static_cast<unsigned char>(testo[i]);
    salto = 1;
    if (c < 0x80) return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' ? 1 : 0;
    std::size_t lunghezza;
    std::uint32_t punto, minimo;
    if ((c & 0xE0) == 0xC0) lunghezza = 2, punto = c & 0x1Fu, minimo = 0x80;
    else if ((c & 0xF0) == 0xE0) lunghezza = 3, punto = c & 0x0Fu, minimo = 0x800;
    else if ((c & 0xF8) == 0xF0) lunghezza = 4, punto = c & 0x07u, minimo = 0x10000;
    else return 0;
    for (std::size_t k = 1; k < lunghezza; ++k) {
        if (i + k >= testo.size()) {
            salto = k;
            return 0;
        }
        const auto seguito = static_cast<unsigned char>(testo[i + k]);
        if ((seguito & 0xC0) != 0x80) {
            salto = k;  // resynchronise on the byte that broke the sequence
            return 0;
        }
        punto = (punto << 6) | (seguito & 0x3Fu);
    }
    salto = lunghezza;
    const bool valido = punto >= minimo && punto <= 0x10FFFF &&
                        !(punto >= 0xD800 && punto <= 0xDFFF) && punto != 0xFFFE && punto != 0xFFFF;
    return valido ? lunghezza : 0;
}

}  // namespace

bool TestoXmlValido(std::string_view testo) {
    // Printable ASCII, the bulk of any text, is checked eight bytes at a time: no byte
    // below 0x20 and none at 0x80 or above.
    // A short text, or the end of a long one, is read in words that overlap.
    constexpr std::uint64_t kUni = 0x0101010101010101ull, kAlti = 0x8080808080808080ull;
    const auto stampabili = [](std::uint64_t otto) {
        return ((otto | (otto - kUni * 0x20)) & kAlti) == 0;
    };
    const char* d = testo.data();
    const std::size_t n = testo.size();
    std::size_t i = 0;
    if (n >= 8) {
        std::uint64_t otto;
        for (; i + 8 <= n; i += 8) {
            std::memcpy(&otto, d + i, 8);
            if (!stampabili(otto)) break;
        }
        if (i == n) return true;
        std::memcpy(&otto, d + n - 8, 8);
        if (i + 8 > n && stampabili(otto)) return true;
    } else if (n >= 4) {
        std::uint32_t primi, ultimi;
        std::memcpy(&primi, d, 4);
        std::memcpy(&ultimi, d + n - 4, 4);
        if (stampabili(primi | std::uint64_t{ultimi} << 32)) return true;
    }
    for (; i < n;) {
        const auto c = static_cast<unsigned char>(testo[i]);
        if (c >= 0x20 && c < 0x80) {
            ++i;
            continue;
        }
        std::size_t salto = 1;
        if (CarattereXml(testo, i, salto) == 0) return false;
        i += salto;
    }
    return true;
}

std::string TestoXmlSicuro(std::string_view testo) {
    static constexpr std::string_view kSostituto = "\xEF\xBF\xBD";  // U+FFFD
    std::string risultato;
    risultato.reserve(testo.size());
    for (std::size_t i = 0; i < testo.size();) {
        std::size_t salto = 1;
        if (CarattereXml(testo, i, salto) != 0) risultato.append(testo.substr(i, salto));
        else risultato.append(kSostituto);
        i += salto;
    }
    return risultato;
}

}  // namespace travasa
