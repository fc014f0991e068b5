#include "export/DocumentoXml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "export/ScritturaAtomica.h"
#include "export/TipiDato.h"
#include "vq/ascii.h"
#include "vq/errore.h"

namespace travasa {
namespace {

constexpr std::int32_t kErrArgomento = vq::kErrChiamataNonValida;

pugi::xml_node Nodo(pugi::xml_node_struct* p) { return pugi::xml_node(p); }

// A node as its handles see it. An element made under a name already checked starts as a
// record of its name and its text only; once appended it is built straight into its new
// parent, so the bulk of a document (one element, one text, one append) is never moved
// from one place of the tree to another. Every other node is a node of the tree from the
// start, and so is any element once it is needed there: appended, or given children.
//
// Until it is built, a record holds its text itself when the text is short, else the slot
// of the text among the document's; the node of the tree takes the same place once built.
struct Registro {
    enum Stato : std::uint8_t { kSenzaTesto, kTestoBreve, kTestoLungo, kCostruito };
    static constexpr std::size_t kBreve = 16;
    union {
        pugi::xml_node_struct* reale;  // kCostruito: the node of the tree
        char breve[kBreve];            // kTestoBreve: the text, `lunghezza` bytes
        std::uint32_t posto;           // kTestoLungo: the slot of the text
    };
    std::uint16_t nome = 0;  // until built: the index of its name among the checked ones
    // The declared data type: none (0), one of the resolved names (its index + 1, the type
    // in `tipo`), or one kept in the document's list of other declarations (kTipoInElenco).
    std::uint8_t dichiarato = 0;
    std::uint8_t tipo = 0;  // a TipoDato
    Stato stato = kSenzaTesto;
    std::uint8_t lunghezza = 0;
    bool elemento = false;  // built as an element (any other node is asked its type)

    Registro() : reale(nullptr) {}
    // The node of the tree, or null while there is none.
    pugi::xml_node_struct* costruito() const { return stato == kCostruito ? reale : nullptr; }
    void costruisci(pugi::xml_node_struct* nodo, bool comeElemento) {
        stato = kCostruito;
        reale = nodo;
        elemento = comeElemento;
    }
    TipoDato tipoDato() const { return static_cast<TipoDato>(tipo); }
};
static_assert(sizeof(Registro) <= 24, "a record per node: kept small");
constexpr std::uint8_t kTipoInElenco = 0xFF;

Registro& Reg(void* p) { return *static_cast<Registro*>(p); }

bool LetteraNome(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

// An XML name: a letter, "_" or ":" first, then also digits, "-" and "."; characters
// beyond ASCII are taken as name characters.
bool NomeXml(std::string_view nome) {
    if (nome.empty() || !LetteraNome(static_cast<unsigned char>(nome[0]))) return false;
    for (char c : nome) {
        const auto u = static_cast<unsigned char>(c);
        if (!LetteraNome(u) && !(u >= '0' && u <= '9') && u != '-' && u != '.') return false;
    }
    return TestoXmlValido(nome);
}

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

// A name with its key: compared in words when short, else byte by byte as well.
struct NomeConChiave {
    std::string testo;
    Chiave chiave;
    bool uguale(std::string_view altro, const Chiave& suaChiave) const {
        return chiave == suaChiave && (altro.size() <= kChiaveIntera || testo == altro);
    }
};

// Writing into a string, with the same two members as the file sink.
struct UscitaTesto {
    std::string& testo;
    void scrivi(std::string_view pezzo) { testo.append(pezzo); }
    void scrivi(char c) { testo.push_back(c); }
    void scriviTag(std::string_view apertura, std::string_view nome) {
        testo.append(apertura).append(nome).push_back('>');
    }
};

// The bytes a text cannot carry as they are, and the terminator: a text is written in one
// pass that finds its end as it goes, copying the runs between these bytes.
constexpr auto kFermaTesto = [] {
    std::array<bool, 256> t{};
    t[static_cast<unsigned char>('&')] = t[static_cast<unsigned char>('<')] = true;
    t[static_cast<unsigned char>('>')] = t[static_cast<unsigned char>('\r')] = true;
    t[0] = true;
    return t;
}();

template <class Uscita>
[[gnu::always_inline]] inline void ScriviTestoEscapato(const char* testo, Uscita& uscita) {
    for (;;) {
        const char* fine = testo;
        while (!kFermaTesto[static_cast<unsigned char>(*fine)]) ++fine;
        if (fine != testo)
            uscita.scrivi(std::string_view(testo, static_cast<std::size_t>(fine - testo)));
        switch (*fine) {
            case '\0': return;
            case '&': uscita.scrivi(std::string_view("&amp;")); break;
            case '<': uscita.scrivi(std::string_view("&lt;")); break;
            case '>': uscita.scrivi(std::string_view("&gt;")); break;
            default: uscita.scrivi(std::string_view("&#13;")); break;
        }
        testo = fine + 1;
    }
}

// A tag: "<" or "</", the name, ">".
template <class Uscita>
void ScriviTag(Uscita& uscita, std::string_view apertura, std::string_view nome) {
    uscita.scriviTag(apertura, nome);
}

// One node and everything below it, without recursion (any depth is safe).
template <class Uscita>
void ScriviNodo(pugi::xml_node radice, Uscita& uscita) {
    pugi::xml_node corrente = radice;
    std::size_t profondita = 0;  // of `corrente` below `radice`
    for (;;) {
        switch (corrente.type()) {
            case pugi::node_element: {
                const std::string_view nome = corrente.name();
                ScriviTag(uscita, "<", nome);
                // An element's own text comes before its children.
                if (const char* proprio = corrente.value(); *proprio)
                    ScriviTestoEscapato(proprio, uscita);
                if (pugi::xml_node primo = corrente.first_child()) {
                    // An element holding one text, the bulk of a document, is written
                    // whole; any other content is walked.
                    if (primo.type() != pugi::node_pcdata || primo.next_sibling()) {
                        corrente = primo;
                        ++profondita;
                        continue;
                    }
                    ScriviTestoEscapato(primo.value(), uscita);
                }
                ScriviTag(uscita, "</", nome);
                break;
            }
            case pugi::node_pcdata: ScriviTestoEscapato(corrente.value(), uscita); break;
            case pugi::node_pi:
                uscita.scrivi(std::string_view("<?"));
                uscita.scrivi(std::string_view(corrente.name()));
                if (*corrente.value()) {
                    uscita.scrivi(' ');
                    uscita.scrivi(std::string_view(corrente.value()));
                }
                uscita.scrivi(std::string_view("?>"));
                break;
            default: break;
        }
        for (;;) {
            if (profondita == 0) return;
            if (const pugi::xml_node seguente = corrente.next_sibling()) {
                corrente = seguente;
                break;
            }
            corrente = corrente.parent();
            --profondita;
            ScriviTag(uscita, "</", corrente.name());
        }
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
    pugi::xml_document documento;
    // Created nodes wait here until they are appended; it is never saved.
    pugi::xml_node attesa;
    // The data types declared on elements, with the names as they were given. The writer
    // declares a type, sets one text and clears the type again, so the list stays short.
    struct Dichiarazione {
        const Registro* nodo;
        TipoDato tipo;
        std::string nome;
    };
    std::vector<Dichiarazione> tipi;
    // Type names already resolved, and element names already checked: the writer uses
    // the same few over and over (both lists are bounded, so a stream of new names only
    // costs the check itself).
    std::vector<std::pair<NomeConChiave, TipoDato>> nomiRisolti;  // reserved: never moves
    std::size_t ultimoRisolto = 0;
    static constexpr std::size_t kMassimoRisolti = 16;
    // Each checked element name has a prototype element, kept among the waiting nodes
    // (never appended, so never saved): parsed from a small buffer, its name lives in that
    // buffer, and a copy of it shares the name instead of allocating its own. It is parsed
    // with its text held in the element itself rather than in a child node, so a copy has
    // room for its own text without a second node. (A name that cannot be given one, for
    // want of memory, is not remembered: it is checked each time.)
    //
    // The same names come back with the same few short texts (a flag, an account, a cash
    // code): a short text gets a prototype of its own too, parsed the same way, and a copy
    // of it shares the text as well as the name. Each name has kPostiTesti places for
    // them, a text's place chosen by its key; the first text to come to a place keeps it.
    struct TestoNoto {
        Chiave chiave;
        pugi::xml_node_struct* prototipo = nullptr;
        bool provato = false;  // the place is taken (by a prototype, or by a text that had none)
    };
    static constexpr std::size_t kPostiTesti = 64;
    static std::size_t Posto(const Chiave& k) {
        std::uint64_t h = k.primi ^ (k.ultimi * 0x9E3779B97F4A7C15ull) ^ (k.lunghezza << 56);
        h = (h ^ (h >> 31)) * 0xFF51AFD7ED558CCDull;
        h = (h ^ (h >> 29)) * 0xC4CEB9FE1A85EC53ull;
        return static_cast<std::size_t>(h >> 58);
    }
    struct NomeValido {
        NomeConChiave nome;
        pugi::xml_node prototipo;
        std::array<TestoNoto, kPostiTesti> conTesto{};
    };
    static constexpr std::size_t kTestoBreve = kChiaveIntera;
    std::vector<NomeValido> nomiValidi;

    // Rows repeat the same names in the same order, so the name checked after the last
    // one found is tried first.
    std::size_t ultimoTrovato = 0;

    const NomeValido* nomeGiaValido(std::string_view nome) {
        const Chiave chiave = ChiaveDi(nome);
        const std::size_t seguente = ultimoTrovato + 1;
        if (seguente < nomiValidi.size() && nomiValidi[seguente].nome.uguale(nome, chiave)) {
            ultimoTrovato = seguente;
            return &nomiValidi[seguente];
        }
        for (std::size_t i = 0; i < nomiValidi.size(); ++i)
            if (nomiValidi[i].nome.uguale(nome, chiave)) {
                ultimoTrovato = i;
                return &nomiValidi[i];
            }
        return nullptr;
    }

    // An element `nome` holding `testo` in itself, or an empty node when the text does not
    // come out of the parse exactly as it is (markup, white space only).
    pugi::xml_node prototipo(std::string_view nome, std::string_view testo = "x") {
        if (testo.find_first_of("<&") != std::string_view::npos) return {};
        std::string frammento;
        frammento.reserve(2 * nome.size() + testo.size() + 5);
        frammento.append("<")
            .append(nome)
            .append(">")
            .append(testo)
            .append("</")
            .append(nome)
            .append(">");
        if (!attesa.append_buffer(frammento.data(), frammento.size(),
                                  pugi::parse_minimal | pugi::parse_embed_pcdata,
                                  pugi::encoding_utf8))
            return {};
        pugi::xml_node nodo = attesa.last_child();
        if (nodo.type() == pugi::node_element && nome == nodo.name() && !nodo.first_child() &&
            std::string_view(nodo.value()) == testo)
            return nodo;
        return {};
    }

    // The prototype of a name that already holds `testo`, made for one of the first texts
    // the name is built with; an empty node otherwise.
    pugi::xml_node_struct* prototipoConTesto(NomeValido& nome, std::string_view testo) {
        if (testo.size() > kTestoBreve) return nullptr;
        const Chiave chiave = ChiaveDi(testo);
        TestoNoto& posto = nome.conTesto[Posto(chiave)];
        if (posto.provato) return posto.chiave == chiave ? posto.prototipo : nullptr;
        posto.provato = true;
        posto.chiave = chiave;
        posto.prototipo = prototipo(nome.nome.testo, testo).internal_object();
        return posto.prototipo;
    }

    [[gnu::noinline]] void togliDichiarazione(const Registro* nodo) {
        const auto trovato = trovaTipo(nodo);
        if (trovato != tipi.end()) {  // the order of the list does not matter
            if (trovato != tipi.end() - 1) *trovato = std::move(tipi.back());
            tipi.pop_back();
        }
    }

    // A type name not resolved yet: added to the resolved ones (true), or, past those,
    // declared on `r` through the list (false).
    [[gnu::noinline]] bool risolviTipo(Registro& r, std::string_view tipo,
                                       const Chiave& chiaveTipo) {
        const std::optional<TipoDato> noto = TipoDaNome(tipo);
        if (!noto)
            vq::Solleva(kErrTipoSconosciuto,
                        "Tipo di dato sconosciuto: \"" + std::string(tipo) + "\"");
        if (nomiRisolti.size() == kMassimoRisolti) {
            tipi.push_back({&r, *noto, std::string(tipo)});
            r.tipo = static_cast<std::uint8_t>(*noto);
            r.dichiarato = kTipoInElenco;
            return false;
        }
        nomiRisolti.emplace_back(NomeConChiave{std::string(tipo), chiaveTipo}, *noto);
        return true;
    }

    std::vector<Dichiarazione>::iterator trovaTipo(const Registro* nodo) {
        return std::find_if(tipi.begin(), tipi.end(),
                            [nodo](const Dichiarazione& d) { return d.nodo == nodo; });
    }

    // The records of every node handed out, in blocks; they live as long as the document.
    static constexpr std::size_t kRegistriPerBlocco = 4096;
    std::vector<std::unique_ptr<Registro[]>> blocchi;
    std::size_t usatiNelBlocco = kRegistriPerBlocco;

    Registro* bloccoCorrente = nullptr;

    Registro* nuovoRegistro(const Registro& r) {
        if (usatiNelBlocco == kRegistriPerBlocco) [[unlikely]]
            nuovoBlocco();
        Registro* nuovo = &bloccoCorrente[usatiNelBlocco++];
        *nuovo = r;
        return nuovo;
    }
    [[gnu::noinline]] void nuovoBlocco() {
        blocchi.push_back(std::make_unique<Registro[]>(kRegistriPerBlocco));
        bloccoCorrente = blocchi.back().get();
        usatiNelBlocco = 0;
    }
    // The texts of the elements not yet built, in slots reused once an element is built.
    std::vector<std::string> testi;
    std::vector<std::uint32_t> testiLiberi;

    Registro* registra(pugi::xml_node nodo) {
        if (!nodo) throw std::bad_alloc();
        Registro r;
        r.costruisci(nodo.internal_object(), false);
        return nuovoRegistro(r);
    }

    std::string_view testoInAttesa(const Registro& r) const {
        switch (r.stato) {
            case Registro::kTestoBreve: return std::string_view(r.breve, r.lunghezza);
            case Registro::kTestoLungo: return testi[r.posto];
            default: return {};
        }
    }

    void impostaTestoInAttesa(Registro& r, std::string_view testo) {
        if (testo.size() <= Registro::kBreve) {
            liberaTesto(r);
            if (testo.empty()) return;
            std::memcpy(r.breve, testo.data(), testo.size());
            r.lunghezza = static_cast<std::uint8_t>(testo.size());
            r.stato = Registro::kTestoBreve;
            return;
        }
        if (r.stato != Registro::kTestoLungo) {
            std::uint32_t posto;
            if (!testiLiberi.empty()) {
                posto = testiLiberi.back();
                testiLiberi.pop_back();
            } else {
                posto = static_cast<std::uint32_t>(testi.size());
                testi.emplace_back();
            }
            r.posto = posto;
            r.stato = Registro::kTestoLungo;
        }
        testi[r.posto].assign(testo);
    }

    // Forgets the text of a record not yet built.
    [[gnu::always_inline]] void liberaTesto(Registro& r) {
        if (r.stato == Registro::kTestoLungo) [[unlikely]]
            liberaTestoLungo(r);
        r.stato = Registro::kSenzaTesto;
        r.reale = nullptr;
    }
    [[gnu::noinline]] void liberaTestoLungo(const Registro& r) {
        std::string& t = testi[r.posto];
        if (t.capacity() > 4096) std::string().swap(t);  // a long text is not kept for the next one
        else t.clear();
        testiLiberi.push_back(r.posto);
    }

    // The text of a node, already checked.
    void impostaTesto(Registro& r, std::string_view testo) {
        if (!r.costruito()) impostaTestoInAttesa(r, testo);
        else impostaTestoNelNodo(r, testo);
    }
    [[gnu::noinline]] void impostaTestoNelNodo(Registro& r, std::string_view testo);

    // Builds the element of a record as the last child of `padre`, with its text.
    pugi::xml_node costruisci(Registro& r, pugi::xml_node padre) {
        const std::string_view testo = testoInAttesa(r);
        NomeValido& nome = nomiValidi[r.nome];
        if (pugi::xml_node_struct* conTesto = prototipoConTesto(nome, testo)) {
            const pugi::xml_node nodo = padre.append_copy(Nodo(conTesto));
            if (!nodo) throw std::bad_alloc();
            liberaTesto(r);
            r.costruisci(nodo.internal_object(), true);
            return nodo;
        }
        pugi::xml_node nodo = padre.append_copy(nome.prototipo);
        if (!nodo) throw std::bad_alloc();
        if (!nodo.text().set(testo.data(),
                             testo.size())) {  // the empty text clears the prototype's
            padre.remove_child(nodo);
            throw std::bad_alloc();
        }
        liberaTesto(r);
        r.costruisci(nodo.internal_object(), true);
        return nodo;
    }

    // The node of the tree behind a record, built among the waiting nodes when there is none yet.
    pugi::xml_node nodo(Registro& r) {
        return r.costruito() ? Nodo(r.reale) : costruisci(r, attesa);
    }

    template <class Uscita>
    void scrivi(Uscita& uscita) const {
        for (pugi::xml_node figlio = documento.first_child(); figlio;
             figlio = figlio.next_sibling()) {
            if (figlio == attesa) continue;
            ScriviNodo(figlio, uscita);
            uscita.scrivi('\n');
        }
    }

    NodoXml nuovo(DocumentoXml* proprietario, pugi::xml_node nodo) {
        return NodoXml(proprietario, registra(nodo));
    }
};

DocumentoXml::DocumentoXml() : impl_(std::make_unique<Impl>()) {
    impl_->nomiRisolti.reserve(Impl::kMassimoRisolti);
    impl_->attesa = impl_->documento.append_child(pugi::node_element);
    if (!impl_->attesa) throw std::bad_alloc();
}

DocumentoXml::~DocumentoXml() = default;

NodoXml DocumentoXml::createProcessingInstruction(std::string_view target, std::string_view data) {
    if (!NomeXml(target) || data.find("?>") != std::string_view::npos ||
        TestoXmlSicuro(data) != data)
        vq::Solleva(kErrArgomento,
                    "Istruzione di elaborazione non valida: \"" + std::string(target) + "\"");
    auto nodo = impl_->attesa.append_child(pugi::node_pi);
    NodoXml risultato = impl_->nuovo(this, nodo);
    const std::string nome(target);
    if (!nodo.set_name(nome.c_str()) || !nodo.set_value(data.data(), data.size()))
        throw std::bad_alloc();
    return risultato;
}

NodoXml DocumentoXml::createNode(int tipo, std::string_view nome, std::string_view spazioNomi) {
    if (tipo != NODE_ELEMENT || !spazioNomi.empty())
        vq::Solleva(kErrArgomento, "Tipo di nodo non supportato: " + std::to_string(tipo));
    return createElement(nome);
}

NodoXml DocumentoXml::createElement(std::string_view nome) {
    if (const Impl::NomeValido* noto = impl_->nomeGiaValido(nome)) [[likely]] {
        Registro r;
        r.nome = static_cast<std::uint16_t>(noto - impl_->nomiValidi.data());
        return NodoXml(this, impl_->nuovoRegistro(r));
    }
    return creaElementoNuovo(nome);
}

// An element under a name not checked yet, or one past those remembered.
NodoXml DocumentoXml::creaElementoNuovo(std::string_view nome) {
    const Impl::NomeValido* noto = nullptr;
    {
        if (!NomeXml(nome))
            vq::Solleva(kErrArgomento,
                        "Nome di elemento non valido: \"" + std::string(nome) + "\"");
        if (impl_->nomiValidi.size() < 32) {
            if (const pugi::xml_node prototipo = impl_->prototipo(nome)) {
                impl_->nomiValidi.push_back({{std::string(nome), ChiaveDi(nome)}, prototipo, {}});
                impl_->ultimoTrovato = impl_->nomiValidi.size() - 1;
                noto = &impl_->nomiValidi.back();
            }
        }
    }
    if (noto) {
        Registro r;
        r.nome = static_cast<std::uint16_t>(noto - impl_->nomiValidi.data());
        return NodoXml(this, impl_->nuovoRegistro(r));
    }
    auto nodo = impl_->attesa.append_child(pugi::node_element);
    NodoXml risultato = impl_->nuovo(this, nodo);
    // The library wants a terminated name: short ones are terminated on the stack.
    char breve[64];
    bool fatto;
    if (nome.size() < sizeof breve) {
        std::memcpy(breve, nome.data(), nome.size());
        breve[nome.size()] = '\0';
        fatto = nodo.set_name(breve);
    } else {
        fatto = nodo.set_name(std::string(nome).c_str());
    }
    if (!fatto) throw std::bad_alloc();
    return risultato;
}

NodoXml DocumentoXml::appendChild(const NodoXml& figlio) {
    if (figlio.documento_ != this || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    Registro& r = Reg(figlio.nodo_);
    pugi::xml_node& documento = impl_->documento;
    const pugi::xml_node nodo = Nodo(r.costruito());
    if (nodo && nodo.parent() == documento) return figlio;  // already at the document level
    bool haElemento = false, haNodi = false;
    for (pugi::xml_node n = documento.first_child(); n; n = n.next_sibling()) {
        if (n == impl_->attesa) continue;
        haNodi = true;
        haElemento = haElemento || n.type() == pugi::node_element;
    }
    if ((!nodo || nodo.type() == pugi::node_element) && haElemento)
        vq::Solleva(kErrArgomento, "Il documento ha già un elemento radice");
    // The XML declaration can only open the document.
    if (nodo && nodo.type() == pugi::node_pi && vq::UgualiSenzaMaiuscole(nodo.name(), "xml") &&
        haNodi)
        vq::Solleva(kErrArgomento, "La dichiarazione XML deve essere il primo nodo del documento");
    if (!nodo) {
        impl_->costruisci(r, documento);
        return figlio;
    }
    if (!documento.append_move(nodo)) throw std::bad_alloc();
    return figlio;
}

std::string DocumentoXml::xml() const {
    std::string testo;
    UscitaTesto uscita{testo};
    impl_->scrivi(uscita);
    return testo;
}

void DocumentoXml::save(const std::string& percorso) const {
    ScriviFileAtomico(percorso, [this](UscitaFile& uscita) { impl_->scrivi(uscita); });
}

std::string NodoXml::nodeName() const {
    if (!nodo_) return {};
    const Registro& r = Reg(nodo_);
    return r.costruito() ? Nodo(r.reale).name() : documento_->impl_->nomiValidi[r.nome].nome.testo;
}

std::string NodoXml::dataType() const {
    if (!nodo_) return {};
    auto& impl = *documento_->impl_;
    const Registro& r = Reg(nodo_);
    if (r.dichiarato == 0) return {};
    if (r.dichiarato != kTipoInElenco) return impl.nomiRisolti[r.dichiarato - 1u].first.testo;
    const auto trovato = impl.trovaTipo(&r);
    return trovato == impl.tipi.end() ? std::string() : trovato->nome;
}

void NodoXml::dataType(std::string_view tipo) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    auto& impl = *documento_->impl_;
    Registro* chiave = &Reg(nodo_);
    if (chiave->costruito() && !chiave->elemento &&
        Nodo(chiave->reale).type() != pugi::node_element)
        vq::Solleva(kErrArgomento, "Solo un elemento può avere un tipo di dato");
    // A declaration kept in the list goes from it whatever comes next.
    if (chiave->dichiarato == kTipoInElenco) [[unlikely]]
        impl.togliDichiarazione(chiave);
    chiave->dichiarato = 0;
    if (tipo.empty()) return;
    // The writer declares the same few names over and over, often the same one as the
    // last time: they are remembered once resolved, in a list that never moves.
    std::size_t i = impl.ultimoRisolto;
    const Chiave chiaveTipo = ChiaveDi(tipo);
    if (i >= impl.nomiRisolti.size() || !impl.nomiRisolti[i].first.uguale(tipo, chiaveTipo)) {
        i = 0;
        while (i < impl.nomiRisolti.size() && !impl.nomiRisolti[i].first.uguale(tipo, chiaveTipo))
            ++i;
    }
    if (i == impl.nomiRisolti.size()) [[unlikely]] {
        if (!impl.risolviTipo(*chiave, tipo, chiaveTipo)) return;
    }
    impl.ultimoRisolto = i;
    chiave->tipo = static_cast<std::uint8_t>(impl.nomiRisolti[i].second);
    chiave->dichiarato = static_cast<std::uint8_t>(i + 1);
}

std::string NodoXml::Text() const {
    if (!nodo_) return {};
    const Registro& r = Reg(nodo_);
    if (!r.costruito()) return std::string(documento_->impl_->testoInAttesa(r));
    std::string testo;
    const pugi::xml_node radice = Nodo(r.reale);
    if (radice.type() != pugi::node_element) return radice.value();
    // An element's own text, then its descendants' texts in order.
    testo = radice.value();
    for (pugi::xml_node n = radice.first_child(); n;) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_element) testo += n.value();
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != radice && !n.next_sibling()) n = n.parent();
        if (n == radice) break;
        n = n.next_sibling();
    }
    return testo;
}

void NodoXml::Text(std::string_view testo) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    Registro& r = Reg(nodo_);
    if (r.dichiarato != 0 && !TestoValido(testo, r.tipoDato())) [[unlikely]]
        RifiutaTesto(testo);
    auto& impl = *documento_->impl_;
    // Only a text that XML cannot carry is copied to be repaired.
    if (!TestoXmlValido(testo)) [[unlikely]]
        return impl.impostaTesto(r, TestoXmlSicuro(testo));
    impl.impostaTesto(r, testo);
}

void NodoXml::RifiutaTesto(std::string_view testo) const {
    vq::Solleva(kErrTipoDato, "Il testo \"" + TestoPerMessaggio(testo) +
                                  "\" non è un valore valido del tipo di dato \"" + dataType() +
                                  "\"");
}

void DocumentoXml::Impl::impostaTestoNelNodo(Registro& r, std::string_view testo) {
    pugi::xml_node nodo = Nodo(r.reale);
    if (nodo.type() != pugi::node_element) {
        if (!nodo.set_value(testo.data(), testo.size())) throw std::bad_alloc();
        return;
    }
    // The text replaces the element's content. The nodes it held live on outside the tree,
    // among the waiting nodes, since a handle to one of them may still be in use.
    while (pugi::xml_node figlio = nodo.first_child())
        if (!attesa.append_move(figlio)) throw std::bad_alloc();
    // Held in the element itself when it has room for it (see the prototypes), else in a
    // text node of its own; the empty text is no text at all.
    if (testo.empty() && !*nodo.value()) return;
    if (!nodo.text().set(testo.data(), testo.size())) throw std::bad_alloc();
}

NodoXml NodoXml::appendChild(const NodoXml& figlio) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    if (figlio.documento_ != documento_ || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    auto& impl = *documento_->impl_;
    Registro& rPadre = Reg(nodo_);
    pugi::xml_node padre = impl.nodo(rPadre);
    if (!rPadre.elemento && padre.type() != pugi::node_element)
        vq::Solleva(kErrArgomento, "Solo un elemento può contenere altri nodi");
    Registro& r = Reg(figlio.nodo_);
    if (!r.costruito()) {
        impl.costruisci(r, padre);
        return figlio;
    }
    if (!padre.append_move(Nodo(r.reale)))
        vq::Solleva(kErrArgomento, "Un nodo non può essere aggiunto dentro sé stesso");
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
