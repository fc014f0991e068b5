// The document object: the tree it builds, the text it writes, its data-type check.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <functional>
#include <string>
#include <vector>

#include "errore_prova.h"
#include "export/DocumentoXml.h"
#include "vq/errore.h"

namespace travasa {
namespace {

// The error a call raises; a call that raises none fails the test.
template <class F>
vq::Errore ErroreDi(F&& f) {
    auto e = prova::ErroreDi(f);
    if (!e) ADD_FAILURE() << "nessun errore sollevato";
    return e.value_or(vq::Errore(0, ""));
}

TEST(DocumentoXml, ScriveLeIstruzioniLaRadiceELeRigheSenzaAltriSpazi) {
    DocumentoXml doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
    doc.appendChild(
        doc.createProcessingInstruction("xml-stylesheet", "type=\"text/xsl\" href=\"a.xsl\""));
    NodoXml radice = doc.createNode(NODE_ELEMENT, "radice", "");
    NodoXml a = doc.createElement("a");
    a.Text("uno");
    radice.appendChild(a);
    NodoXml vuoto = doc.createElement("vuoto");
    vuoto.Text("");
    radice.appendChild(vuoto);
    doc.createElement("mai_aggiunto").Text("non salvato");
    doc.appendChild(radice);
    EXPECT_EQ(doc.xml(),
              "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?>\n"
              "<radice><a>uno</a><vuoto></vuoto></radice>\n");
}

TEST(DocumentoXml, IlTestoSostituisceIlContenutoERiletto) {
    DocumentoXml doc;
    NodoXml e = doc.createElement("e");
    NodoXml figlio = doc.createElement("figlio");
    e.appendChild(figlio);
    e.Text("primo");
    e.Text("secondo");
    EXPECT_EQ(e.Text(), "secondo");
    // The child taken out of the tree is still a usable node.
    figlio.Text("altrove");
    EXPECT_EQ(figlio.Text(), "altrove");
    NodoXml radice = doc.createElement("radice");
    radice.appendChild(e);
    radice.appendChild(figlio);
    doc.appendChild(radice);
    EXPECT_EQ(doc.xml(), "<radice><e>secondo</e><figlio>altrove</figlio></radice>\n");
}

// What a real parser reads back from a text, after the document wrote it.
std::string Riletto(const std::string& testo) {
    DocumentoXml doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
    NodoXml e = doc.createElement("e");
    e.Text(testo);
    doc.appendChild(e);
    pugi::xml_document letto;
    const std::string xml = doc.xml();
    const auto esito = letto.load_buffer(
        xml.data(), xml.size(),
        pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    EXPECT_TRUE(esito) << esito.description() << " in " << xml;
    return letto.child("e").text().get();
}

TEST(DocumentoXml, TestoEscapatoERilettoDaUnParserVero) {
    struct Caso {
        std::string dato, atteso;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Caso casi[] = {
        {"Casa\\ <Tutti i Codici>", "Casa\\ <Tutti i Codici>"},
        {"a & b ]]> c \"d\" 'e'", "a & b ]]> c \"d\" 'e'"},
        {"riga1\r\nriga2\rfine\tx",
         "riga1\r\nriga2\rfine\tx"},  // CR survives the reader's line-end rule
        {"caffè €", "caffè €"},
        {"\U0001F600", "\U0001F600"},
        {std::string("a\0b", 3), "a" + fffd + "b"},
        {"a\x01\x1F"
         "b",
         "a" + fffd + fffd + "b"},
        {"\xFF", fffd},
        {"\xC3", fffd},              // truncated sequence
        {"\xC3(", fffd + "("},       // broken sequence: the next byte is kept
        {"\xC0\xAF", fffd},          // overlong form
        {"\xED\xA0\x80", fffd},      // surrogate
        {"\xEF\xBF\xBE", fffd},      // U+FFFE
        {"\xF4\x90\x80\x80", fffd},  // beyond U+10FFFF
        {std::string(3000000, 'x') + "&<", std::string(3000000, 'x') + "&<"},  // in pieces
    };
    for (const auto& c : casi) EXPECT_EQ(Riletto(c.dato), c.atteso) << c.dato;
}

// Many distinct type names: past the few the document remembers, each declaration still
// keeps its own name and rule, and replacing or clearing one leaves the others alone.
TEST(DocumentoXml, OgniElementoTieneIlProprioTipoAncheConMoltiNomi) {
    const char* const kNomi[] = {"string",      "text",  "char",    "date",    "dateTime",
                                 "dateTime.tz", "time",  "time.tz", "boolean", "bool",
                                 "i1",          "i2",    "i4",      "i8",      "ui1",
                                 "ui2",         "ui4",   "ui8",     "int",     "r4",
                                 "r8",          "float", "number",  "double",  "fixed.14.4"};
    auto Numero = [](auto f) {
        const auto e = prova::ErroreDi(f);
        return e ? e->numero() : 0;
    };
    DocumentoXml doc;
    std::vector<NodoXml> elementi;
    for (const char* nome : kNomi) {
        elementi.push_back(doc.createElement("campo"));
        elementi.back().dataType(nome);
    }
    for (std::size_t i = 0; i < elementi.size(); ++i) {
        EXPECT_EQ(elementi[i].dataType(), kNomi[i]);
        // "x" is a value only of the text types; "1" of every type but the dates and times.
        const std::string_view nome = kNomi[i];
        EXPECT_EQ(Numero([&] { elementi[i].Text("x"); }),
                  nome == "string" || nome == "text" || nome == "char" ? 0 : kErrTipoDato)
            << nome;
    }
    elementi[20].dataType("Boolean");  // beyond the remembered names: replaced in place
    elementi[3].dataType("");
    EXPECT_EQ(elementi[20].dataType(), "Boolean");
    EXPECT_EQ(elementi[3].dataType(), "");
    EXPECT_EQ(elementi[24].dataType(), "fixed.14.4");
    EXPECT_EQ(Numero([&] { elementi[20].Text("2"); }), kErrTipoDato);
    EXPECT_EQ(Numero([&] { elementi[3].Text("qualunque"); }), 0);
    EXPECT_EQ(Numero([&] { elementi[24].Text("1.12345"); }), kErrTipoDato);
}

TEST(DocumentoXml, IlTipoDiDatoRifiutaUnTestoNonValidoELasciaIlValorePrecedente) {
    DocumentoXml doc;
    NodoXml e = doc.createElement("importo_lire");
    e.Text("prima");
    e.dataType("i4");
    EXPECT_EQ(e.dataType(), "i4");
    // An unknown type name is refused and the declared one stays.
    EXPECT_EQ(ErroreDi([&] { e.dataType("varchar"); }).numero(), kErrTipoSconosciuto);
    EXPECT_EQ(e.dataType(), "i4");
    const vq::Errore errore = ErroreDi([&] { e.Text("1500,5"); });
    EXPECT_EQ(errore.numero(), kErrTipoDato);
    EXPECT_NE(errore.descrizione().find("\"1500,5\""), std::string::npos) << errore.descrizione();
    EXPECT_NE(errore.descrizione().find("\"i4\""), std::string::npos) << errore.descrizione();
    EXPECT_EQ(e.Text(), "prima");
    EXPECT_EQ(vq::Err().numero, kErrTipoDato);

    // A long text is quoted in part, cut between characters.
    const std::string lungo = std::string(199, 'x') + "èèè" + std::string(1000, 'y');
    const vq::Errore troncato = ErroreDi([&] { e.Text(lungo); });
    EXPECT_EQ(troncato.numero(), kErrTipoDato);
    EXPECT_NE(troncato.descrizione().find("\"" + std::string(199, 'x') + "\xE2\x80\xA6\""),
              std::string::npos)
        << troncato.descrizione();

    e.Text("87713");
    EXPECT_EQ(e.Text(), "87713");
    e.dataType("");
    EXPECT_EQ(e.dataType(), "");
    e.Text("1500.5");  // no type: any text
    EXPECT_EQ(e.Text(), "1500.5");
}

TEST(DocumentoXml, ErroriDiCostruzioneNumerati) {
    DocumentoXml doc, altro;
    NodoXml e = doc.createElement("e");
    struct Caso {
        const char* cosa;
        std::function<void()> azione;
        std::int32_t numero;
    };
    const Caso casi[] = {
        {"tipo ignoto", [&] { e.dataType("varchar"); }, kErrTipoSconosciuto},
        {"nome vuoto", [&] { doc.createElement(""); }, 5},
        {"nome con spazio", [&] { doc.createElement("a b"); }, 5},
        {"nome con cifra iniziale", [&] { doc.createElement("1a"); }, 5},
        {"nodo non elemento", [&] { doc.createNode(3, "t", ""); }, 5},
        {"spazio dei nomi", [&] { doc.createNode(NODE_ELEMENT, "a", "urn:x"); }, 5},
        {"istruzione con ?>", [&] { doc.createProcessingInstruction("pi", "a ?> b"); }, 5},
        {"nodo di un altro documento", [&] { e.appendChild(altro.createElement("x")); }, 5},
        {"dentro sé stesso", [&] { e.appendChild(e); }, 5},
        {"tipo su un'istruzione", [&] { doc.createProcessingInstruction("pi", "").dataType("i4"); },
         5},
        {"testo con ?> in un'istruzione",
         [&] { doc.createProcessingInstruction("pi", "").Text("a ?> b"); }, 5},
    };
    for (const auto& c : casi) EXPECT_EQ(ErroreDi(c.azione).numero(), c.numero) << c.cosa;

    NodoXml figlio = doc.createElement("figlio");
    e.appendChild(figlio);
    EXPECT_EQ(ErroreDi([&] { figlio.appendChild(e); }).numero(), 5)
        << "un antenato dentro un discendente";
}

TEST(DocumentoXml, UnaSolaRadiceELaDichiarazioneSoloInTesta) {
    DocumentoXml doc;
    doc.appendChild(doc.createElement("radice"));
    EXPECT_EQ(ErroreDi([&] { doc.appendChild(doc.createElement("seconda")); }).numero(), 5);
    EXPECT_EQ(ErroreDi([&] {
                  doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
              }).numero(),
              5);
    doc.appendChild(doc.createProcessingInstruction("dopo", "ok"));
    EXPECT_EQ(doc.xml(), "<radice></radice>\n<?dopo ok?>\n");
}

TEST(DocumentoXml, SpostareUnNodoLoTogliedalPadrePrecedente) {
    DocumentoXml doc;
    NodoXml a = doc.createElement("a"), b = doc.createElement("b"), x = doc.createElement("x");
    NodoXml radice = doc.createElement("r");
    a.appendChild(x);
    b.appendChild(x);
    radice.appendChild(a);
    radice.appendChild(b);
    doc.appendChild(radice);
    EXPECT_EQ(doc.xml(), "<r><a></a><b><x></x></b></r>\n");
}

// Text and children in every order, built once with names the document has seen (an
// element is then kept aside until appended and built in place) and once after other names
// have used up the ones it remembers (every element is a tree node from the start): the
// same document either way.
TEST(DocumentoXml, TestoEFigliInOgniOrdineComunqueSiaCostruitoLElemento) {
    struct Caso {
        const char* cosa;
        std::function<NodoXml(DocumentoXml&)> costruisci;  // returns the root, not yet appended
        const char* xml;
        const char* testoRadice;
    };
    const Caso casi[] = {
        {"testo poi figlio",
         [](DocumentoXml& d) {
             NodoXml e = d.createElement("e"), c = d.createElement("c");
             e.Text("a");
             c.Text("b");
             e.appendChild(c);
             return e;
         },
         "<e>a<c>b</c></e>", "ab"},
        {"figlio poi testo: il testo sostituisce il figlio",
         [](DocumentoXml& d) {
             NodoXml e = d.createElement("e"), c = d.createElement("c");
             e.appendChild(c);
             e.Text("x");
             return e;
         },
         "<e>x</e>", "x"},
        {"testo cambiato dopo l'aggiunta",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), e = d.createElement("e");
             e.Text("prima");
             r.appendChild(e);
             e.Text("dopo & <fine>");
             return r;
         },
         "<r><e>dopo &amp; &lt;fine&gt;</e></r>", "dopo & <fine>"},
        {"testo svuotato prima e dopo l'aggiunta",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), e = d.createElement("e"), f = d.createElement("f");
             e.Text("via");
             e.Text("");
             f.Text("via");
             r.appendChild(e);
             r.appendChild(f);
             f.Text("");
             return r;
         },
         "<r><e></e><f></f></r>", ""},
        {"testo vuoto poi testo dopo l'aggiunta",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), e = d.createElement("e");
             r.appendChild(e);
             e.Text("\r");
             return r;
         },
         "<r><e>&#13;</e></r>", "\r"},
        {"nodo spostato con il suo testo",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), a = d.createElement("a"), b = d.createElement("b"),
                     x = d.createElement("x");
             x.Text("t");
             a.appendChild(x);
             b.appendChild(x);
             r.appendChild(a);
             r.appendChild(b);
             return r;
         },
         "<r><a></a><b><x>t</x></b></r>", "t"},
        {"lo stesso testo breve in più elementi, poi cambiato in uno",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r");
             std::vector<NodoXml> e;
             for (const char* t : {"uguale", "uguale", " ", " ", "16 byte giusti!!",
                                   "16 byte giusti!?", "17 byte, uno in +", "a&b", "a&b"}) {
                 e.push_back(d.createElement("e"));
                 e.back().Text(t);
                 r.appendChild(e.back());
             }
             e[1].Text("altro");
             e[3].Text("");
             return r;
         },
         "<r><e>uguale</e><e>altro</e><e> </e><e></e><e>16 byte giusti!!</e><e>16 byte giusti!?</e>"
         "<e>17 byte, uno in +</e><e>a&amp;b</e><e>a&amp;b</e></r>",
         "ugualealtro 16 byte giusti!!16 byte giusti!?17 byte, uno in +a&ba&b"},
        {"testi lunghi e brevi alternati prima dell'aggiunta",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), e = d.createElement("e"), f = d.createElement("f");
             e.Text("un testo lungo più di sedici byte");
             e.Text("breve");
             f.Text("un altro testo lungo, per f");
             e.Text("di nuovo un testo lungo per e");
             f.Text("");
             r.appendChild(e);
             r.appendChild(f);
             return r;
         },
         "<r><e>di nuovo un testo lungo per e</e><f></f></r>", "di nuovo un testo lungo per e"},
        {"nomi lunghi uguali in testa e in coda",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r");
             for (const char* nome :
                  {"elemento_A_finale", "elemento_B_finale", "elemento_A_finale"}) {
                 NodoXml e = d.createElement(nome);
                 e.Text(nome + 9);
                 r.appendChild(e);
             }
             return r;
         },
         "<r><elemento_A_finale>A_finale</elemento_A_finale><elemento_B_finale>B_finale</"
         "elemento_B_finale>"
         "<elemento_A_finale>A_finale</elemento_A_finale></r>",
         "A_finaleB_finaleA_finale"},
        {"testi lunghi sostituiti molte volte (lo spazio lasciato viene recuperato)",
         [](DocumentoXml& d) {
             NodoXml r = d.createElement("r"), b = d.createElement("b");
             const std::string lungo(20000, 'x');
             b.Text(lungo);
             NodoXml a = d.createElement("a");
             a.Text("diciassette byte!");  // moved by every compaction of the store
             for (int i = 1; i <= 200; ++i) b.Text(std::string(lungo.size() + i, 'x'));
             r.appendChild(a);
             r.appendChild(b);
             b.Text("fine del testo lungo");
             return r;
         },
         "<r><a>diciassette byte!</a><b>fine del testo lungo</b></r>",
         "diciassette byte!fine del testo lungo"},
    };
    for (const bool nomiEsauriti : {false, true}) {
        for (const auto& c : casi) {
            SCOPED_TRACE(std::string(c.cosa) + (nomiEsauriti ? ", nomi esauriti" : ""));
            DocumentoXml doc;
            if (nomiEsauriti)
                for (int i = 0; i < 40; ++i) doc.createElement("altro" + std::to_string(i));
            NodoXml radice = c.costruisci(doc);
            EXPECT_EQ(radice.Text(), c.testoRadice);
            doc.appendChild(radice);
            EXPECT_EQ(doc.xml(), std::string(c.xml) + "\n");
            EXPECT_EQ(radice.Text(), c.testoRadice);
        }
    }
}

TEST(DocumentoXml, AlberoProfondoScrittoSenzaRicorsione) {
    // Built from the bottom up, so each append stays cheap.
    DocumentoXml doc;
    constexpr int kLivelli = 200000;
    NodoXml corrente = doc.createElement("n");
    corrente.Text("fondo");
    for (int i = 1; i < kLivelli; ++i) {
        NodoXml padre = doc.createElement("n");
        padre.appendChild(corrente);
        corrente = padre;
    }
    doc.appendChild(corrente);
    const std::string xml = doc.xml();
    EXPECT_EQ(xml.size(), kLivelli * 7 + 5 + 1u);
    EXPECT_EQ(xml.substr(std::size_t{kLivelli} * 3 - 3, 12), "<n>fondo</n>");
    EXPECT_EQ(corrente.Text(), "fondo");
}

}  // namespace
}  // namespace travasa
