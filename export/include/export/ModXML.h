// The XML writer of the export: turns the transactions fetched for one export (the row
// array) and the export header (Info) into one XML file.
//
// The document:
//   <?xml version="1.0"?>
//   <?xml-stylesheet type="text/xsl" href="BASE.xsl"?>      only when asked
//   <dataset_operazioni>
//     <filtro_periodo><periodo>Info().Periodo</periodo></filtro_periodo>
//     <filtro_conto><conto>one line of Info().Conto</conto></filtro_conto>   per line
//     <tabella_operazioni>conto cassa data causale importo_euro importo_lire
//                         bancomat carta contocorrente nostatistiche</tabella_operazioni>
//     ...one per row
//   </dataset_operazioni>
#pragma once

#include <ole/automation.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "export/DocumentoXml.h"

namespace travasa {

// Error number raised when the XML document object cannot be created.
inline constexpr std::int32_t kErrXmlAssente = 10220;
// Its description.
std::string MessaggioXmlAssente();

// The progress indicator that CreaFileXML advances once per row (the main window passes
// its progress bar).
class IndicatoreProgresso {
public:
    virtual ~IndicatoreProgresso() = default;
    virtual float Min() const = 0;
    virtual float Max() const = 0;
    virtual void Value(float valore) = 0;
};

// One row of the field table: the element written for a field, its declared type and the
// field of the row array that feeds it.
struct CampoXml {
    std::string_view elemento;
    std::string_view tipo;
    int campoArray;
};
// The field table, in the order of the elements inside each "tabella_operazioni".
const std::array<CampoXml, 10>& TabellaCampi();

// Creates the document object; the export asks it once per file.
using FabbricaDocumento = std::function<std::unique_ptr<DocumentoXml>()>;
std::unique_ptr<DocumentoXml> CreaDocumentoXml();

// Writes the file `percorso` from the row array `dati` (VARIANTs indexed [field 0..9]
// [row 0..n], at least one row) and from Info(). `verifica` checks every field text
// against its declared type (error kErrTipoDato, no file written); `foglioStile` adds
// the stylesheet instruction pointing at NomeBaseFoglioStile(percorso) + ".xsl".
// Errors: 10220 when `fabbrica` fails (throws or gives nothing); 9 for an array that is
// missing, not two-dimensional or without the ten fields and a row; 13 for an array of
// anything but VARIANTs; the save's errors (see DocumentoXml::save). On any error no
// file is written and an existing file of that name stays as it was.
void CreaFileXML(SAFEARRAY* dati, const std::string& percorso, IndicatoreProgresso& barra,
                 VARIANT_BOOL verifica, VARIANT_BOOL foglioStile,
                 const FabbricaDocumento& fabbrica = CreaDocumentoXml);

// The text written for one field value according to its declared type (any case):
//   string, text, other names   the value as text; Null gives ""
//   datetime, datetime.tz, date "yyyy-MM-dd", the time cut off without rounding (23:59:59.999
//                                stays on its day); Null gives ""
//   r8 i4 r4 int i2 float double the number with "." as decimal point, no grouping,
//                                whatever the process locale; Null gives "0"
//   boolean, bool               "1" for a non-zero value, "0" otherwise; Null gives "0"
// A value the rule cannot convert gives "". Never fails.
std::string FormattaValore(const VARIANT& valore, std::string_view tipo);

// The base name the stylesheet instruction refers to: the file name of `percorso`
// without its last extension and the dot before it ("estratto.2004.xml" gives
// "estratto.2004"); a name without an extension is kept whole.
std::string NomeBaseFoglioStile(const std::string& percorso);

// The href of the stylesheet instruction for `percorso`: the base name and ".xsl", with
// the characters that a relative URI cannot carry as they are percent-encoded
// ("spese 2004.xml" gives "spese%202004.xsl").
std::string RiferimentoFoglioStile(const std::string& percorso);

}  // namespace travasa
