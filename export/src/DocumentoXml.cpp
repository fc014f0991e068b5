#include "export/DocumentoXml.h"

#include <pugixml.hpp>

#include <unordered_map>

#include "export/ScritturaAtomica.h"
#include "export/TipiDato.h"
#include "vq/errore.h"

namespace travasa {
namespace {

constexpr std::int32_t kErrArgomento = vq::kErrChiamataNonValida;

pugi::xml_node Nodo(void* p) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(p)); }

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
    return TestoXmlSicuro(nome) == nome;
}

bool UgualeSenzaMaiuscole(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Writing into a string, with the same two members as the file sink.
struct UscitaTesto {
    std::string& testo;
    void scrivi(std::string_view pezzo) { testo.append(pezzo); }
    void scrivi(char c) { testo.push_back(c); }
};

template <class Uscita>
void ScriviTestoEscapato(std::string_view testo, Uscita& uscita) {
    std::size_t inizio = 0;
    for (std::size_t i = 0; i < testo.size(); ++i) {
        const char* sostituto = nullptr;
        switch (testo[i]) {
            case '&': sostituto = "&amp;"; break;
            case '<': sostituto = "&lt;"; break;
            case '>': sostituto = "&gt;"; break;
            case '\r': sostituto = "&#13;"; break;
            default: continue;
        }
        uscita.scrivi(testo.substr(inizio, i - inizio));
        uscita.scrivi(std::string_view(sostituto));
        inizio = i + 1;
    }
    uscita.scrivi(testo.substr(inizio));
}

// One node and everything below it, without recursion (any depth is safe).
template <class Uscita>
void ScriviNodo(pugi::xml_node radice, Uscita& uscita) {
    pugi::xml_node corrente = radice;
    for (;;) {
        switch (corrente.type()) {
            case pugi::node_element:
                uscita.scrivi('<');
                uscita.scrivi(std::string_view(corrente.name()));
                uscita.scrivi('>');
                if (corrente.first_child()) {
                    corrente = corrente.first_child();
                    continue;
                }
                uscita.scrivi(std::string_view("</"));
                uscita.scrivi(std::string_view(corrente.name()));
                uscita.scrivi('>');
                break;
            case pugi::node_pcdata:
                ScriviTestoEscapato(corrente.value(), uscita);
                break;
            case pugi::node_pi:
                uscita.scrivi(std::string_view("<?"));
                uscita.scrivi(std::string_view(corrente.name()));
                if (*corrente.value()) {
                    uscita.scrivi(' ');
                    uscita.scrivi(std::string_view(corrente.value()));
                }
                uscita.scrivi(std::string_view("?>"));
                break;
            default:
                break;
        }
        while (corrente != radice && !corrente.next_sibling()) {
            corrente = corrente.parent();
            uscita.scrivi(std::string_view("</"));
            uscita.scrivi(std::string_view(corrente.name()));
            uscita.scrivi('>');
        }
        if (corrente == radice) return;
        corrente = corrente.next_sibling();
    }
}

// Forget the data types declared below `nodo` (its children are about to be removed).
template <class Mappa>
void DimenticaTipiSotto(Mappa& tipi, pugi::xml_node nodo) {
    if (tipi.empty()) return;
    for (auto it = tipi.begin(); it != tipi.end();) {
        const pugi::xml_node tipizzato(it->first);
        bool sotto = false;
        for (pugi::xml_node p = tipizzato.parent(); p && !sotto; p = p.parent()) sotto = p == nodo;
        it = sotto ? tipi.erase(it) : std::next(it);
    }
}

}  // namespace

struct DocumentoXml::Impl {
    pugi::xml_document documento;
    // Created nodes wait here until they are appended; it is never saved.
    pugi::xml_node attesa;
    // The data type declared on an element, by node, with the name as it was given.
    struct Dichiarazione {
        TipoDato tipo;
        std::string nome;
    };
    std::unordered_map<pugi::xml_node_struct*, Dichiarazione> tipi;

    template <class Uscita>
    void scrivi(Uscita& uscita) const {
        for (pugi::xml_node figlio = documento.first_child(); figlio; figlio = figlio.next_sibling()) {
            if (figlio == attesa) continue;
            ScriviNodo(figlio, uscita);
            uscita.scrivi('\n');
        }
    }

    NodoXml nuovo(DocumentoXml* proprietario, pugi::xml_node nodo) {
        if (!nodo) throw std::bad_alloc();
        return NodoXml(proprietario, nodo.internal_object());
    }
};

DocumentoXml::DocumentoXml() : impl_(std::make_unique<Impl>()) {
    impl_->attesa = impl_->documento.append_child(pugi::node_element);
    if (!impl_->attesa) throw std::bad_alloc();
}

DocumentoXml::~DocumentoXml() = default;

NodoXml DocumentoXml::createProcessingInstruction(std::string_view target, std::string_view data) {
    if (!NomeXml(target) || data.find("?>") != std::string_view::npos || TestoXmlSicuro(data) != data)
        vq::Solleva(kErrArgomento, "Istruzione di elaborazione non valida: \"" + std::string(target) + "\"");
    auto nodo = impl_->attesa.append_child(pugi::node_pi);
    NodoXml risultato = impl_->nuovo(this, nodo);
    const std::string nome(target);
    if (!nodo.set_name(nome.c_str()) || !nodo.set_value(data.data(), data.size())) throw std::bad_alloc();
    return risultato;
}

NodoXml DocumentoXml::createNode(int tipo, std::string_view nome, std::string_view spazioNomi) {
    if (tipo != NODE_ELEMENT || !spazioNomi.empty())
        vq::Solleva(kErrArgomento, "Tipo di nodo non supportato: " + std::to_string(tipo));
    return createElement(nome);
}

NodoXml DocumentoXml::createElement(std::string_view nome) {
    if (!NomeXml(nome)) vq::Solleva(kErrArgomento, "Nome di elemento non valido: \"" + std::string(nome) + "\"");
    auto nodo = impl_->attesa.append_child(pugi::node_element);
    NodoXml risultato = impl_->nuovo(this, nodo);
    const std::string testo(nome);
    if (!nodo.set_name(testo.c_str())) throw std::bad_alloc();
    return risultato;
}

NodoXml DocumentoXml::appendChild(const NodoXml& figlio) {
    if (figlio.documento_ != this || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    pugi::xml_node nodo = Nodo(figlio.nodo_);
    pugi::xml_node& documento = impl_->documento;
    if (nodo.parent() == documento) return figlio;  // already at the document level
    bool haElemento = false, haNodi = false;
    for (pugi::xml_node n = documento.first_child(); n; n = n.next_sibling()) {
        if (n == impl_->attesa) continue;
        haNodi = true;
        haElemento = haElemento || n.type() == pugi::node_element;
    }
    if (nodo.type() == pugi::node_element && haElemento)
        vq::Solleva(kErrArgomento, "Il documento ha già un elemento radice");
    // The XML declaration can only open the document.
    if (nodo.type() == pugi::node_pi && UgualeSenzaMaiuscole(nodo.name(), "xml") && haNodi)
        vq::Solleva(kErrArgomento, "La dichiarazione XML deve essere il primo nodo del documento");
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

std::string NodoXml::nodeName() const { return nodo_ ? Nodo(nodo_).name() : std::string(); }

std::string NodoXml::dataType() const {
    if (!nodo_) return {};
    const auto& tipi = documento_->impl_->tipi;
    const auto trovato = tipi.find(static_cast<pugi::xml_node_struct*>(nodo_));
    return trovato == tipi.end() ? std::string() : trovato->second.nome;
}

void NodoXml::dataType(std::string_view tipo) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    auto& tipi = documento_->impl_->tipi;
    auto* chiave = static_cast<pugi::xml_node_struct*>(nodo_);
    if (Nodo(nodo_).type() != pugi::node_element)
        vq::Solleva(kErrArgomento, "Solo un elemento può avere un tipo di dato");
    if (tipo.empty()) {
        tipi.erase(chiave);
        return;
    }
    const auto noto = TipoDaNome(tipo);
    if (!noto) vq::Solleva(kErrTipoSconosciuto, "Tipo di dato sconosciuto: \"" + std::string(tipo) + "\"");
    tipi.insert_or_assign(chiave, DocumentoXml::Impl::Dichiarazione{*noto, std::string(tipo)});
}

std::string NodoXml::Text() const {
    if (!nodo_) return {};
    std::string testo;
    const pugi::xml_node radice = Nodo(nodo_);
    if (radice.type() != pugi::node_element) return radice.value();
    for (pugi::xml_node n = radice.first_child(); n;) {
        if (n.type() == pugi::node_pcdata) testo += n.value();
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
    const auto& tipi = documento_->impl_->tipi;
    if (const auto trovato = tipi.find(static_cast<pugi::xml_node_struct*>(nodo_)); trovato != tipi.end()) {
        if (!TestoValido(testo, trovato->second.tipo))
            vq::Solleva(kErrTipoDato, "Il testo \"" + std::string(testo) + "\" non è un valore valido del tipo di dato \"" +
                                          trovato->second.nome + "\"");
    }
    pugi::xml_node nodo = Nodo(nodo_);
    const std::string sicuro = TestoXmlSicuro(testo);
    if (nodo.type() != pugi::node_element) {
        if (!nodo.set_value(sicuro.data(), sicuro.size())) throw std::bad_alloc();
        return;
    }
    DimenticaTipiSotto(documento_->impl_->tipi, nodo);
    nodo.remove_children();
    if (sicuro.empty()) return;
    pugi::xml_node testoNodo = nodo.append_child(pugi::node_pcdata);
    if (!testoNodo || !testoNodo.set_value(sicuro.data(), sicuro.size())) throw std::bad_alloc();
}

NodoXml NodoXml::appendChild(const NodoXml& figlio) {
    if (!nodo_) vq::Solleva(vq::kErrOggettoNonImpostato);
    if (figlio.documento_ != documento_ || !figlio.nodo_)
        vq::Solleva(kErrArgomento, "Il nodo non appartiene a questo documento");
    pugi::xml_node padre = Nodo(nodo_);
    if (padre.type() != pugi::node_element)
        vq::Solleva(kErrArgomento, "Solo un elemento può contenere altri nodi");
    if (!padre.append_move(Nodo(figlio.nodo_)))
        vq::Solleva(kErrArgomento, "Un nodo non può essere aggiunto dentro sé stesso");
    return figlio;
}

std::string TestoXmlSicuro(std::string_view testo) {
    static constexpr std::string_view kSostituto = "\xEF\xBF\xBD";  // U+FFFD
    std::string risultato;
    bool copia = false;  // becomes true at the first character that has to change
    std::size_t i = 0;
    while (i < testo.size()) {
        const auto c = static_cast<unsigned char>(testo[i]);
        std::size_t lunghezza = 1;
        bool valido;
        if (c < 0x80) {
            valido = c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
        } else {
            std::uint32_t punto = 0;
            std::uint32_t minimo = 0;
            if ((c & 0xE0) == 0xC0) lunghezza = 2, punto = c & 0x1Fu, minimo = 0x80;
            else if ((c & 0xF0) == 0xE0) lunghezza = 3, punto = c & 0x0Fu, minimo = 0x800;
            else if ((c & 0xF8) == 0xF0) lunghezza = 4, punto = c & 0x07u, minimo = 0x10000;
            else lunghezza = 0;
            valido = lunghezza != 0 && i + lunghezza <= testo.size();
            for (std::size_t k = 1; valido && k < lunghezza; ++k) {
                const auto seguito = static_cast<unsigned char>(testo[i + k]);
                if ((seguito & 0xC0) != 0x80) {
                    valido = false;
                    lunghezza = k;  // resynchronise on the byte that broke the sequence
                    break;
                }
                punto = (punto << 6) | (seguito & 0x3Fu);
            }
            if (valido)
                valido = punto >= minimo && punto <= 0x10FFFF && !(punto >= 0xD800 && punto <= 0xDFFF) &&
                         punto != 0xFFFE && punto != 0xFFFF;
            if (lunghezza == 0) lunghezza = 1;
        }
        if (!valido && !copia) {
            risultato.assign(testo.substr(0, i));
            copia = true;
        }
        if (copia) {
            if (valido) risultato.append(testo.substr(i, lunghezza));
            else risultato.append(kSostituto);
        }
        i += lunghezza;
    }
    if (!copia) risultato.assign(testo);
    return risultato;
}

}  // namespace travasa
