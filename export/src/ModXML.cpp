#include "export/ModXML.h"

#include <ole/ole.hpp>
#include <util/vqUtilita.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "export/Globale.h"
#include "vq/ascii.h"
#include "vq/conversioni.h"
#include "vq/data.h"
#include "vq/errore.h"

namespace travasa {
namespace {

// Where the document library's vendor offers it.
constexpr std::string_view kPaginaDownload = "https://www.microsoft.com/it-it/download";

constexpr std::array<CampoXml, 10> kTabellaCampi{{
    {"conto", "string", 0},
    {"cassa", "string", 1},
    {"data", "DateTime", 2},
    {"causale", "string", 3},
    {"importo_euro", "r8", 4},
    {"importo_lire", "i4", 5},
    {"bancomat", "Boolean", 6},
    {"carta", "Boolean", 8},
    {"contocorrente", "Boolean", 7},
    {"nostatistiche", "Boolean", 9},
}};

constexpr int kCampiArray = 10;

enum class Regola { Testo, Data, Numero, Booleano };

Regola RegolaDiTipo(std::string_view tipo) {
    const std::string t = vq::InMinuscoleAscii(tipo);
    if (t == "datetime" || t == "datetime.tz" || t == "date") return Regola::Data;
    if (t == "r8" || t == "i4" || t == "r4" || t == "int" || t == "i2" || t == "float" ||
        t == "double")
        return Regola::Numero;
    if (t == "boolean" || t == "bool") return Regola::Booleano;
    return Regola::Testo;
}

// The value converted to `vt` by the runtime's conversion; std::nullopt when it cannot.
std::optional<ole::Variante> Converti(const VARIANT& valore, VARTYPE vt) {
    ole::Variante risultato;
    if (FAILED(VariantChangeType(risultato.get(), &valore, 0, vt))) return std::nullopt;
    return risultato;
}

std::string ComeTesto(const VARIANT& valore) {
    if (valore.vt == VT_BSTR) return ole::Utf8DaBstr(valore.bstrVal);
    const auto testo = Converti(valore, VT_BSTR);
    return testo ? ole::Utf8DaBstr((*testo)->bstrVal) : std::string();
}

std::string ComeData(const VARIANT& valore) {
    DATE d = 0;
    if (valore.vt == VT_DATE) {
        d = valore.date;
    } else {
        const auto data = Converti(valore, VT_DATE);
        if (!data) return {};
        d = (*data)->date;
    }
    try {
        // The day alone, the time cut off before the date is split (which rounds to the
        // second): 23:59:59.999 stays on its day, as in the filter's SQL. Whole days count
        // from zero in both directions, so the day is the value truncated toward zero.
        return vq::DataInIso(std::trunc(d));
    } catch (const vq::Errore&) {
        return {};  // outside the range of dates
    }
}

// Whole numbers below 1e15 are written in full by the runtime's conversion too.
std::string Intero(std::int64_t x) {
    char cifre[24];
    const auto fine = std::to_chars(cifre, cifre + sizeof cifre, x).ptr;
    return std::string(cifre, fine);
}

std::string ComeNumero(const VARIANT& valore) {
    double x = 0;
    if (valore.vt == VT_I4) return Intero(valore.lVal);
    if (valore.vt == VT_I2) return Intero(valore.iVal);
    if (valore.vt == VT_R8) {
        x = valore.dblVal;
    } else {
        const auto numero = Converti(valore, VT_R8);
        if (!numero) return {};
        x = (*numero)->dblVal;
    }
    if (!std::isfinite(x)) return {};
    if (std::fabs(x) < 1e15 && std::trunc(x) == x) return Intero(static_cast<std::int64_t>(x));
    return vq::TestoNumero(x);
}

std::string ComeBooleano(const VARIANT& valore) {
    if (valore.vt == VT_BOOL) return valore.boolVal != 0 ? "1" : "0";
    const auto booleano = Converti(valore, VT_BOOL);
    if (!booleano) return {};
    return (*booleano)->boolVal != 0 ? "1" : "0";
}

bool CarattereUriSicuro(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '!' || c == '$' || c == '\'' || c == '(' ||
           c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == '@';
}

// Access to the elements of a [field][row] array of VARIANTs, locked while it lives.
class AccessoArray {
public:
    explicit AccessoArray(SAFEARRAY* dati) : dati_(dati) {
        if (!dati || SafeArrayGetDim(dati) != 2) vq::Solleva(vq::kErrIndice);
        VARTYPE vt = VT_EMPTY;
        if (FAILED(SafeArrayGetVartype(dati, &vt)) || vt != VT_VARIANT) vq::Solleva(vq::kErrTipo);
        LONG ubCampi = 0, ubRighe = 0;
        ole::Verifica(SafeArrayGetLBound(dati, 1, &lbCampi_));
        ole::Verifica(SafeArrayGetUBound(dati, 1, &ubCampi));
        ole::Verifica(SafeArrayGetLBound(dati, 2, &lbRighe_));
        ole::Verifica(SafeArrayGetUBound(dati, 2, &ubRighe));
        // Fields 0..9 and rows from 0 must exist.
        if (lbCampi_ > 0 || ubCampi < kCampiArray - 1 || lbRighe_ > 0 || ubRighe < 0)
            vq::Solleva(vq::kErrIndice);
        ultimaRiga_ = ubRighe;
        campi_ = static_cast<std::size_t>(static_cast<std::int64_t>(ubCampi) - lbCampi_ + 1);
        void* dato = nullptr;
        ole::Verifica(SafeArrayAccessData(dati, &dato));
        elementi_ = static_cast<const VARIANT*>(dato);
    }
    ~AccessoArray() { SafeArrayUnaccessData(dati_); }
    AccessoArray(const AccessoArray&) = delete;
    AccessoArray& operator=(const AccessoArray&) = delete;

    LONG ultimaRiga() const { return ultimaRiga_; }
    // The leftmost index varies fastest.
    const VARIANT& operator()(int campo, LONG riga) const {
        const auto c = static_cast<std::size_t>(static_cast<std::int64_t>(campo) - lbCampi_);
        const auto r = static_cast<std::size_t>(static_cast<std::int64_t>(riga) - lbRighe_);
        return elementi_[r * campi_ + c];
    }

private:
    SAFEARRAY* dati_;
    LONG lbCampi_ = 0, lbRighe_ = 0, ultimaRiga_ = 0;
    std::size_t campi_ = 0;
    const VARIANT* elementi_ = nullptr;
};

// The percentage shown after row r of 0..n: r / n * 100 rounded half to even, then kept
// within the indicator's range (its maximum first, then its minimum).
std::int16_t Percentuale(LONG r, LONG n, const IndicatoreProgresso& barra) {
    std::int16_t p = 0;
    if (n >= 1) p = vq::CInt(static_cast<double>(r) / static_cast<double>(n) * 100.0);
    if (static_cast<double>(barra.Max()) < p) p = vq::CInt(static_cast<double>(barra.Max()));
    if (static_cast<double>(barra.Min()) > p) p = vq::CInt(static_cast<double>(barra.Min()));
    return p;
}

// The lines of the account text: split at every carriage return, empty pieces kept; an
// empty text is one empty line.
std::vector<std::string_view> RigheConto(std::string_view conto) {
    std::vector<std::string_view> righe;
    for (;;) {
        const auto cr = conto.find('\r');
        righe.push_back(conto.substr(0, cr));
        if (cr == std::string_view::npos) break;
        conto.remove_prefix(cr + 1);
    }
    return righe;
}

}  // namespace

std::string MessaggioXmlAssente() {
    return "Sul sistema non risulta presente il Microsoft XML Parser (MSXML) ver.30 o suc.. Per "
           "poter procedere "
           "all'esportazione è necessario che tale componente sia installato sul computer. E' "
           "possibile scaricare "
           "liberamente il componente dal sito della microsoft (" +
           std::string(kPaginaDownload) + ").";
}

const std::array<CampoXml, 10>& TabellaCampi() { return kTabellaCampi; }

std::unique_ptr<DocumentoXml> CreaDocumentoXml() { return std::make_unique<DocumentoXml>(); }

namespace {

std::string FormattaSecondo(const VARIANT& valore, Regola regola) {
    // A value held by reference is read through it.
    if (valore.vt & VT_BYREF) {
        ole::Variante diretto;
        if (FAILED(VariantCopyInd(diretto.get(), &valore))) return {};
        return FormattaSecondo(*diretto.get(), regola);
    }
    if (valore.vt == VT_NULL)
        return regola == Regola::Numero || regola == Regola::Booleano ? "0" : "";
    try {
        switch (regola) {
            case Regola::Testo: return ComeTesto(valore);
            case Regola::Data: return ComeData(valore);
            case Regola::Numero: return ComeNumero(valore);
            case Regola::Booleano: return ComeBooleano(valore);
        }
    } catch (const vq::Errore&) {
        // a conversion that fails gives the empty text
    }
    return {};
}

// FormattaValore for the rows of one export, giving the text in a buffer of its own that
// is reused row after row (valid until the next call). The common cases are written
// straight into it, each exactly as FormattaSecondo writes it: a text all in ASCII, a
// whole number, a boolean; rows come in date order and many share a day, so the text of
// the last date is kept. Anything else goes through FormattaSecondo.
class Formattatore {
public:
    std::string_view operator()(const VARIANT& valore, Regola regola) {
        switch (regola) {
            case Regola::Testo:
                if (valore.vt == VT_BSTR && TestoAscii(valore.bstrVal)) return testo_;
                break;
            case Regola::Numero:
                if (valore.vt == VT_I4) return Cifre(valore.lVal);
                if (valore.vt == VT_I2) return Cifre(valore.iVal);
                if (valore.vt == VT_R8) {
                    if (const std::string_view importo = Importo(valore.dblVal); !importo.empty())
                        return importo;
                }
                break;
            case Regola::Booleano:
                if (valore.vt == VT_BOOL) return valore.boolVal != 0 ? "1" : "0";
                break;
            case Regola::Data:
                if (valore.vt == VT_DATE) {
                    if (!ultimaValida_ || valore.date != ultimaData_) {
                        ultimoTesto_ = FormattaSecondo(valore, regola);
                        ultimaData_ = valore.date;
                        ultimaValida_ = true;
                    }
                    return ultimoTesto_;
                }
                break;
        }
        testo_ = FormattaSecondo(valore, regola);
        return testo_;
    }

private:
    // Copies a text made only of ASCII characters into the buffer; false (the buffer then
    // undefined) when it holds anything else, which the full conversion handles.
    bool TestoAscii(BSTR b) {
        testo_.clear();
        if (!b) return true;
        const UINT n = SysStringLen(b);
        testo_.resize(n);
        for (UINT i = 0; i < n; ++i) {
            if (b[i] >= 0x80) return false;
            testo_[i] = static_cast<char>(b[i]);
        }
        return true;
    }

    std::string_view Cifre(std::int64_t x) {
        const auto fine = std::to_chars(cifre_, cifre_ + sizeof cifre_, x).ptr;
        return std::string_view(cifre_, static_cast<std::size_t>(fine - cifre_));
    }

    // A whole number, or an amount to the cent (the double nearest to c / 100 for a whole c
    // of at most 15 digits), as the runtime's conversion writes them: the digits of c with
    // the point before the last two, a final zero and a point with nothing after dropped.
    // The empty text for any other value.
    std::string_view Importo(double x) {
        if (!std::isfinite(x)) return {};
        if (std::fabs(x) < 1e15 && std::trunc(x) == x) return Cifre(static_cast<std::int64_t>(x));
        const double centesimi = x * 100.0;
        if (!(std::fabs(centesimi) < 1e15)) return {};
        const std::int64_t c = std::llround(centesimi);
        if (static_cast<double>(c) / 100.0 != x) return {};
        const std::uint64_t assoluto =
            c < 0 ? static_cast<std::uint64_t>(-c) : static_cast<std::uint64_t>(c);
        char* p = cifre_;
        if (c < 0) *p++ = '-';
        p = std::to_chars(p, cifre_ + sizeof cifre_, assoluto / 100).ptr;
        if (const auto resto = static_cast<unsigned>(assoluto % 100); resto != 0) {
            *p++ = '.';
            *p++ = static_cast<char>('0' + resto / 10);
            if (resto % 10 != 0) *p++ = static_cast<char>('0' + resto % 10);
        }
        return std::string_view(cifre_, static_cast<std::size_t>(p - cifre_));
    }

    bool ultimaValida_ = false;
    DATE ultimaData_ = 0;
    std::string ultimoTesto_;
    std::string testo_;
    char cifre_[24];
};

}  // namespace

std::string FormattaValore(const VARIANT& valore, std::string_view tipo) {
    return FormattaSecondo(valore, RegolaDiTipo(tipo));
}

std::string NomeBaseFoglioStile(const std::string& percorso) {
    const std::string nome = vqUtilita::DeterminaSoloFileName(percorso);
    const std::string estensione = vqUtilita::EstraiEstensione(nome);
    // Without an extension only a final dot goes (the name is otherwise whole).
    if (estensione.empty())
        return !nome.empty() && nome.back() == '.' ? nome.substr(0, nome.size() - 1) : nome;
    if (nome.size() < estensione.size() + 1) return {};
    return nome.substr(0, nome.size() - estensione.size() - 1);
}

std::string RiferimentoFoglioStile(const std::string& percorso) {
    static constexpr char kEsadecimali[] = "0123456789ABCDEF";
    const std::string base = NomeBaseFoglioStile(percorso) + ".xsl";
    std::string href;
    href.reserve(base.size());
    for (char c : base) {
        const auto u = static_cast<unsigned char>(c);
        if (CarattereUriSicuro(u)) {
            href.push_back(c);
        } else {
            href.push_back('%');
            href.push_back(kEsadecimali[u >> 4]);
            href.push_back(kEsadecimali[u & 0xF]);
        }
    }
    return href;
}

void CreaFileXML(SAFEARRAY* dati, const std::string& percorso, IndicatoreProgresso& barra,
                 VARIANT_BOOL verifica, VARIANT_BOOL foglioStile,
                 const FabbricaDocumento& fabbrica) {
    // 1. The document object; any failure to create it is the library missing.
    std::unique_ptr<DocumentoXml> documento;
    try {
        if (fabbrica) documento = fabbrica();
    } catch (...) {
        documento.reset();
    }
    if (!documento) vq::Solleva(kErrXmlAssente, MessaggioXmlAssente());
    DocumentoXml& xml = *documento;

    // The array is checked before anything is built.
    const AccessoArray array(dati);

    // 2. The field table, each declared type resolved once to its formatting rule.
    const auto& campi = TabellaCampi();
    std::array<Regola, kTabellaCampi.size()> regole{};
    for (std::size_t j = 0; j < campi.size(); ++j) regole[j] = RegolaDiTipo(campi[j].tipo);

    // 3. The declaration.
    xml.appendChild(xml.createProcessingInstruction("xml", "version=\"1.0\""));

    // 4. The stylesheet instruction, pointing at the stylesheet beside the file.
    if (foglioStile != VARIANT_FALSE) {
        const std::string data =
            "type=\"text/xsl\" href=\"" + RiferimentoFoglioStile(percorso) + "\"";
        xml.appendChild(xml.createProcessingInstruction("xml-stylesheet", data));
    }

    // 5. The root, appended to the document once it is complete (step 9).
    NodoXml radice = xml.createNode(NODE_ELEMENT, "dataset_operazioni", "");

    // 6. The period.
    NodoXml filtroPeriodo = xml.createNode(NODE_ELEMENT, "filtro_periodo", "");
    NodoXml periodo = xml.createElement("periodo");
    periodo.Text(Info().Periodo);
    filtroPeriodo.appendChild(periodo);
    radice.appendChild(filtroPeriodo);

    // 7. One "filtro_conto" per line of the account text.
    for (const std::string_view riga : RigheConto(Info().Conto)) {
        NodoXml filtroConto = xml.createNode(NODE_ELEMENT, "filtro_conto", "");
        NodoXml conto = xml.createElement("conto");
        conto.Text(riga);
        filtroConto.appendChild(conto);
        radice.appendChild(filtroConto);
    }

    // 8. One "tabella_operazioni" per row, the fields in the order of the table.
    const LONG n = array.ultimaRiga();
    const bool conVerifica = verifica != VARIANT_FALSE;
    Formattatore FormattaValore;
    for (LONG r = 0; r <= n; ++r) {
        NodoXml operazione = xml.createNode(NODE_ELEMENT, "tabella_operazioni", "");
        for (std::size_t j = 0; j < campi.size(); ++j) {
            const CampoXml& campo = campi[j];
            NodoXml elemento = xml.createElement(campo.elemento);
            if (conVerifica) elemento.dataType(campo.tipo);
            // FormattaValore(value, declared type), with the type already resolved.
            elemento.Text(FormattaValore(array(campo.campoArray, r), regole[j]));
            operazione.appendChild(elemento);
            // Saved without a declared type: the check only decides whether the file is written.
            if (conVerifica) elemento.dataType("");
        }
        radice.appendChild(operazione);
        barra.Value(static_cast<float>(Percentuale(r, n, barra)));
    }

    // 9. The root, after the processing instructions.
    xml.appendChild(radice);

    // 10. The single write.
    xml.save(percorso);
    // 11. The document and its nodes go with `documento`.
}

}  // namespace travasa
