#include "export/frmMainLogica.h"

#include <cmath>
#include <utility>

#include "export/DateRicordate.h"
#include "util/vqUtilita.h"
#include "vq/conversioni.h"
#include "vq/errore.h"

namespace travasa {

namespace {

inline constexpr std::int32_t kErrCodiciCassa = 10001;
inline constexpr std::int32_t kErrConti = 10002;
inline constexpr unsigned kTutto = ParteConti | ParteCassa | ParteLista | ParteDate | ParteOpzioni |
                                   ParteEtichette | ParteProgresso;

LONG Conta(_Collection* c) {
    LONG n = 0;
    ole::Verifica(c->Count(&n));
    return n;
}

// Item i (one-based) of a collection of record objects, through the interface `iid`.
template <class T>
ole::ComPtr<T> Elemento(_Collection* c, LONG i, REFIID iid) {
    ole::Variante indice = ole::Variante::I4(i), voce;
    ole::Verifica(c->Item(indice.get(), voce.put()));
    if (voce.vt() != VT_DISPATCH || !voce->pdispVal) vq::Solleva(vq::kErrTipo);
    ole::ComPtr<IDispatch> d(voce->pdispVal);
    return d.as<T>(iid);
}

// A value as text, as a list shows it.
std::string Testo(const VARIANT& v) {
    ole::Variante t;
    ole::Verifica(VariantChangeType(t.put(), &v, 0, VT_BSTR));
    return ole::Utf8DaBstr(t->bstrVal);
}

// Ends the program after a failure of the load sequence or of the cash codes.
[[noreturn]] void Fatale(const char* contesto) {
    vq::ImpostaErroreDa(std::current_exception());
    vqUtilita::PrintErroreEx(contesto);
    TerminaProgramma(1);
}

}  // namespace

ole::ComPtr<_ClsDatiMirtesa> CreaDatiMirtesa() {
    return ole::Crea<_ClsDatiMirtesa>(CLSID_ClsDatiMirtesa, IID__ClsDatiMirtesa);
}

frmMainLogica::frmMainLogica(ServiziFinestra servizi, IdentitaProgramma identita,
                             FabbricaDati fabbrica)
    : servizi_(std::move(servizi)),
      identita_(std::move(identita)),
      fabbrica_(std::move(fabbrica)) {}

frmMainLogica::~frmMainLogica() = default;

_ClsDatiMirtesa* frmMainLogica::Dati() {
    if (!dati_) {
        dati_ = fabbrica_ ? fabbrica_() : CreaDatiMirtesa();
        if (!dati_) vq::Solleva(vq::kErrOggettoNonImpostato);
    }
    return dati_.get();
}

void frmMainLogica::Cambiato(unsigned parti) {
    if (notifica_) notifica_(parti);
}

void frmMainLogica::Carica() {
    try {
        ole::Verifica(Dati()->ApriDataBase());
        CaricaConti();
        stato_.DtDataIniziale = LeggiDataIniziale();
        stato_.DtDataFinale = LeggiDataFinale();
        stato_.lblVersione = "V." + std::to_string(servizi_.versioneMaggiore) + "." +
                             std::to_string(servizi_.versioneMinore);
        stato_.caption = std::string(kTitoloProgramma) + " - Modulo Aggiuntivo di Mirtesa";
    } catch (const ProgrammaTerminato&) {
        throw;
    } catch (...) {
        Fatale("Accesso al Database");
    }
    Cambiato(kTutto);
}

void frmMainLogica::CaricaConti() {
    stato_.cboConti.voci.assign({{kTuttiIConti, -1}});
    stato_.cboConti.scelta = -1;
    ole::ComPtr<_Collection> conti;
    try {
        ole::Verifica(Dati()->GetConti(conti.put()));
    } catch (...) {
        vq::Solleva(kErrConti,
                    "Impossibile accedere alla bancadati di Mirtesa per il prelievo dei conti.");
    }
    const LONG n = Conta(conti.get());
    for (LONG i = 1; i <= n; ++i) {
        auto conto = Elemento<_clsConti>(conti.get(), i, IID__clsConti);
        LONG id = 0;
        ole::Bstr nome;
        ole::Verifica(conto->get_IDConto(&id));
        ole::Verifica(conto->get_Conto(nome.put()));
        stato_.cboConti.voci.push_back({nome.utf8(), static_cast<std::int32_t>(id)});
    }
    Cambiato(ParteConti);
    ContoScelto(0);
}

void frmMainLogica::ContoScelto(int indice) {
    if (indice < 0 || indice >= static_cast<int>(stato_.cboConti.voci.size())) return;
    stato_.cboConti.scelta = indice;
    try {
        CaricaCodiciCassa();
        stato_.cboCassa.abilitato = !stato_.cboCassa.voci.empty();
    } catch (const ProgrammaTerminato&) {
        throw;
    } catch (...) {
        Fatale("Accesso ai dati");
    }
    Cambiato(ParteConti | ParteCassa);
}

void frmMainLogica::CaricaCodiciCassa() {
    auto& cassa = stato_.cboCassa;
    cassa.voci.clear();
    cassa.scelta = -1;
    const auto& conti = stato_.cboConti;
    if (conti.scelta < 0) return;
    SHORT id =
        vq::CInt(static_cast<std::int64_t>(conti.voci[static_cast<std::size_t>(conti.scelta)].id));
    if (id == -1) return;
    cassa.voci.push_back({kTuttiICodici, -1});
    ole::ComPtr<_Collection> codici;
    try {
        ole::Verifica(Dati()->GetCodiciCassa(&id, codici.put()));
    } catch (...) {
        vq::Solleva(
            kErrCodiciCassa,
            "Impossibile accedere alla bancadati di Mirtesa per il prelievo dei codici cassa.");
    }
    const LONG n = Conta(codici.get());
    for (LONG i = 1; i <= n; ++i) {
        auto codice = Elemento<_clsCassa>(codici.get(), i, IID__clsCassa);
        LONG idCassa = 0;
        ole::Variante nome;
        ole::Verifica(codice->get_IDCassa(&idCassa));
        ole::Verifica(codice->get_Cassa(nome.put()));
        cassa.voci.push_back({Testo(*nome.get()), static_cast<std::int32_t>(idCassa)});
    }
    cassa.scelta = 0;
}

void frmMainLogica::SceltaCassa(int indice) {
    if (indice >= -1 && indice < static_cast<int>(stato_.cboCassa.voci.size()))
        stato_.cboCassa.scelta = indice;
}

void frmMainLogica::SelezionaVoce(int indice) { stato_.lista.Seleziona(indice); }

void frmMainLogica::ClickIniziale(bool spuntato) {
    stato_.chkIniziale = spuntato;
    stato_.DtDataInizialeAbilitato = spuntato;
    stato_.cmdDefaultDIAbilitato = stato_.DtDataInizialeAbilitato;
    Cambiato(ParteDate);
}

void frmMainLogica::ClickFinale(bool spuntato) {
    stato_.chkFinale = spuntato;
    stato_.DtDataFinaleAbilitato = spuntato;
    stato_.cmdDefaultDFAbilitato = stato_.DtDataFinaleAbilitato;
    Cambiato(ParteDate);
}

void frmMainLogica::ImpostaDataIniziale(vq::DATA d) { stato_.DtDataIniziale = d; }
void frmMainLogica::ImpostaDataFinale(vq::DATA d) { stato_.DtDataFinale = d; }

void frmMainLogica::ReimpostaDataIniziale() {
    stato_.DtDataIniziale = DataInizialeDefault();
    Cambiato(ParteDate);
}

void frmMainLogica::ReimpostaDataFinale() {
    stato_.DtDataFinale = DataFinaleDefault();
    Cambiato(ParteDate);
}

void frmMainLogica::Aggiungi() {
    const auto& conti = stato_.cboConti;
    if (conti.scelta < 0) return;
    const VoceElenco& conto = conti.voci[static_cast<std::size_t>(conti.scelta)];
    // Account ids are kept whole: an id beyond 16 bits has already ended the program
    // when its cash codes were loaded.
    if (conto.id == -1) {
        stato_.lista.AggiungiVoce(conto.testo, -1);
    } else {
        const auto& cassa = stato_.cboCassa;
        if (cassa.scelta < 0) return;
        const VoceElenco& codice = cassa.voci[static_cast<std::size_t>(cassa.scelta)];
        stato_.lista.AggiungiVoce(TestoVoce(conto.testo, codice.testo),
                                  codice.id == -1 ? conto.id : codice.id);
    }
    Cambiato(ParteLista);
}

void frmMainLogica::Rimuovi() {
    stato_.lista.Rimuovi();
    Cambiato(ParteLista);
}

void frmMainLogica::Ripulisci() {
    stato_.lista.Ripulisci();
    Cambiato(ParteLista);
}

void frmMainLogica::ImpostaVerifica(bool v) { stato_.chkVerifica = v; }
void frmMainLogica::ImpostaCss(bool v) { stato_.chkCss = v; }

void frmMainLogica::ClickStrumento(const std::string& chiave) {
    if (chiave != "help") return;
    ApriDocumento& apri = servizi_.documenti ? *servizi_.documenti : ApriDocumentoSistema();
    apri.Apri(servizi_.hWnd, FileProgramma(identita_, ".htm"), false);
}

void frmMainLogica::SalvaFiltroDate() noexcept {
    SalvaDataIniziale(stato_.DtDataIniziale);
    SalvaDataFinale(stato_.DtDataFinale);
}

Esportazione& frmMainLogica::Run() {
    if (!esportazione_) {
        ServiziEsportazione s;
        s.dialogo = servizi_.dialogo;
        s.barra = this;
        s.pompaEventi = servizi_.pompaEventi;
        if (servizi_.ricordaDate) s.salvaFiltroDate = [this] { SalvaFiltroDate(); };
        s.pausa = servizi_.pausa;
        // The data object is created on first use; the load sequence has done it.
        esportazione_ = std::make_unique<Esportazione>(dati_.get(), std::move(s), identita_);
    }
    return *esportazione_;
}

ImpostazioniDialogo& frmMainLogica::Dialogo() { return Run().Dialogo(); }

RisultatoEsportazione frmMainLogica::Esporta() {
    SceltaEsportazione scelta;
    scelta.dataIniziale = stato_.chkIniziale;
    scelta.dataFinale = stato_.chkFinale;
    scelta.valoreIniziale = stato_.DtDataIniziale;
    scelta.valoreFinale = stato_.DtDataFinale;
    scelta.lista = &stato_.lista;
    scelta.css = stato_.chkCss;
    scelta.verifica = stato_.chkVerifica;
    auto r = Run().Esegui(scelta);
    Cambiato(ParteProgresso);
    return r;
}

void frmMainLogica::Scarica() noexcept {
    try {
        if (dati_) dati_->ChiudiDataBase();
    } catch (...) {}
    vq::CancellaErrore();
}

void frmMainLogica::Value(float valore) {
    const bool passo = std::floor(valore) != std::floor(stato_.prgValore);
    stato_.prgValore = valore;
    if (passo || valore == stato_.prgMin || valore == stato_.prgMax) Cambiato(ParteProgresso);
}

void frmMainLogica::Visibile(bool visibile) {
    stato_.prgVisibile = visibile;
    Cambiato(ParteProgresso);
}

}  // namespace travasa
