// Input: one byte choosing a data type, then the text.
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "export/DocumentoXml.h"
#include "export/TipiDato.h"
#include "vq/errore.h"

namespace {

constexpr const char* kTipi[] = {"string", "char",    "date",    "dateTime", "dateTime.tz",
                                 "time",   "time.tz", "boolean", "i1",       "i2",
                                 "i4",     "i8",      "ui1",     "ui2",      "ui4",
                                 "ui8",    "int",     "r4",      "r8",       "fixed.14.4"};

void Verifica(bool condizione) {
    if (!condizione) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t dimensione) {
    if (dimensione == 0) return 0;
    const char* tipo = kTipi[dati[0] % (sizeof kTipi / sizeof kTipi[0])];
    const std::string_view testo(reinterpret_cast<const char*>(dati + 1), dimensione - 1);

    // The repair gives a text XML can carry, and changes only what it must.
    const std::string sicuro = travasa::TestoXmlSicuro(testo);
    Verifica(travasa::TestoXmlValido(sicuro));
    Verifica(travasa::TestoXmlSicuro(sicuro) == sicuro);
    Verifica(travasa::TestoXmlValido(testo) == (sicuro == testo));

    // What the document writes, a real parser reads back unchanged.
    travasa::DocumentoXml documento;
    documento.appendChild(documento.createProcessingInstruction("xml", "version=\"1.0\""));
    travasa::NodoXml elemento = documento.createElement("e");
    elemento.dataType(tipo);
    bool accettato = true;
    try {
        elemento.Text(testo);
    } catch (const vq::Errore& e) {
        Verifica(e.numero() == travasa::kErrTipoDato);
        accettato = false;
    }
    Verifica(accettato == travasa::TestoValido(testo, *travasa::TipoDaNome(tipo)));
    elemento.dataType("");
    elemento.Text(testo);
    documento.appendChild(elemento);
    const std::string xml = documento.xml();
    pugi::xml_document letto;
    Verifica(static_cast<bool>(
        letto.load_buffer(xml.data(), xml.size(),
                          pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata,
                          pugi::encoding_utf8)));
    Verifica(letto.child("e").text().get() == sicuro);
    return 0;
}
