#include "export/Esportazione.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/udat.h>
#include <unicode/ustring.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "export/Globale.h"
#include "export/ModXML.h"
#include "export/ScritturaAtomica.h"
#include "ole/ole.hpp"
#include "shell/messagebox.h"
#include "util/vqUtilita.h"
#include "vq/errore.h"
#include "vq/file.h"

namespace travasa {

namespace {

inline constexpr const char* kFoglioStile = "template/html/css.xsl";
inline constexpr std::int32_t kFlagsDialogo = 2054;

// The locale of the system's dates: LC_ALL, LC_TIME, LANG, as the C library reads them
// ("it_IT.UTF-8@euro" gives "it_IT"); none, "C" or "POSIX" give English.
std::string LocaleDate() {
    for (const char* nome : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(nome);
        if (!v || !*v) continue;
        std::string s(v);
        s = s.substr(0, s.find_first_of(".@"));
        if (s == "C" || s == "POSIX" || s.empty()) break;
        return s;
    }
    return "en_US_POSIX";
}

std::string NomeMese(int mese) {
    static std::mutex mutex;
    static std::string locale;
    static std::string nomi[12];
    const std::lock_guard blocco(mutex);
    const std::string attuale = LocaleDate();
    if (attuale != locale || nomi[0].empty()) {
        UErrorCode stato = U_ZERO_ERROR;
        UDateFormat* f =
            udat_open(UDAT_DEFAULT, UDAT_DEFAULT, attuale.c_str(), nullptr, 0, nullptr, 0, &stato);
        static const char* const inglesi[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        for (int i = 0; i < 12; ++i) {
            nomi[i] = inglesi[i];
            if (U_FAILURE(stato) || !f) continue;
            UChar u[64];
            UErrorCode s = U_ZERO_ERROR;
            const int32_t n = udat_getSymbols(f, UDAT_SHORT_MONTHS, i, u, 64, &s);
            char utf8[256];
            int32_t lunghezza = 0;
            if (U_SUCCESS(s) && n > 0)
                u_strToUTF8(utf8, sizeof utf8, &lunghezza, u, std::min<int32_t>(n, 64), &s);
            if (U_SUCCESS(s) && lunghezza > 0)
                nomi[i].assign(utf8, static_cast<std::size_t>(lunghezza));
        }
        if (f) udat_close(f);
        locale = attuale;
    }
    return nomi[mese - 1];
}

bool FileNormale(const std::string& percorso) {
    struct stat st {};
    return ::stat(percorso.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string CartellaIniziale() {
    std::string c = vqUtilita::CartellaDocumenti();
    if (!c.empty()) return c;
    const char* casa = std::getenv("HOME");
    c = casa && *casa ? casa : "/";
    return vqUtilita::AggiungiSepDir(c);
}

inline constexpr std::int32_t kErrPercorso = 75;  // path/file access error

// The same path, or two names of one existing file.
bool StessoFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat x {
    }, y{};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

// The rows a fields-by-rows array holds.
std::int32_t RigheArray(SAFEARRAY* a) {
    LONG basso = 0, alto = -1;
    if (!a || SafeArrayGetDim(a) != 2 || FAILED(SafeArrayGetLBound(a, 2, &basso)) ||
        FAILED(SafeArrayGetUBound(a, 2, &alto)))
        return 0;
    return static_cast<std::int32_t>(alto - basso + 1);
}

}  // namespace

std::string SorgenteFoglioStile(const IdentitaProgramma& identita) {
    std::string cartella = identita.cartella;
    return vqUtilita::AggiungiSepDir(cartella) + kFoglioStile;
}

std::string DestinazioneFoglioStile(const std::string& percorsoXml) {
    return vqUtilita::EstraiPath(percorsoXml) + NomeBaseFoglioStile(percorsoXml) + ".xsl";
}

std::string DataPeriodo(vq::DATA d) {
    const vq::DataOra p = vq::ScomponiData(d);
    char giorno[8], anno[8];
    std::snprintf(giorno, sizeof giorno, "%02d", p.giorno);
    std::snprintf(anno, sizeof anno, "%04d", p.anno);
    return std::string(giorno) + "-" + NomeMese(p.mese) + "-" + anno;
}

std::string TestoPeriodo(bool dataIniziale, vq::DATA iniziale, bool dataFinale, vq::DATA finale) {
    if (dataIniziale && dataFinale)
        return "Dal " + DataPeriodo(iniziale) + " al " + DataPeriodo(finale);
    if (dataIniziale) return "Dal " + DataPeriodo(iniziale);
    if (dataFinale) return "Fino al " + DataPeriodo(finale);
    return "Tutto";
}

Esportazione::Esportazione(_ClsDatiMirtesa* dati, ServiziEsportazione servizi,
                           IdentitaProgramma identita)
    : dati_(dati), servizi_(std::move(servizi)), identita_(std::move(identita)) {}

RisultatoEsportazione Esportazione::Esegui(const SceltaEsportazione& scelta) {
    RisultatoEsportazione r;
    try {
        Corpo(scelta, r);
    } catch (...) {
        const auto& e = vq::ImpostaErroreDa(std::current_exception());
        shell::CursoreAttesa(false);
        if (e.numero == kErrDialogoAnnullato) {
            r.esito = EsitoEsportazione::Annullato;
            vq::CancellaErrore();
        } else {
            r.esito = EsitoEsportazione::Errore;
            r.errore = e.numero;
            vqUtilita::PrintErroreEx(kTitoloEsportazione);
        }
        try {
            if (servizi_.barra) servizi_.barra->Visibile(false);
        } catch (...) {}
    }
    return r;
}

void Esportazione::Corpo(const SceltaEsportazione& scelta, RisultatoEsportazione& r) {
    // The header afresh, then the checks of the user's choices.
    Info().ClearValori();
    if (scelta.dataFinale && scelta.dataIniziale && scelta.valoreFinale < scelta.valoreIniziale) {
        shell::Mostra(kMsgDateInvertite, kTitoloErrore, shell::MB_ICONSTOP);
        r.esito = EsitoEsportazione::DateInvertite;
        return;
    }
    if (!scelta.lista || scelta.lista->Voci().empty()) {
        shell::Mostra(kMsgListaVuota, kTitoloErrore, shell::MB_ICONSTOP);
        r.esito = EsitoEsportazione::ListaVuota;
        return;
    }
    // The remembered dates are stored once the choices are accepted.
    bool foglioStile = scelta.css;
    if (servizi_.salvaFiltroDate) servizi_.salvaFiltroDate();

    // The data object's filter: accounts and cash codes, then the ticked dates.
    if (!dati_) vq::Solleva(vq::kErrOggettoNonImpostato);
    ole::Verifica(dati_->ClearFiltri());
    const auto filtro = scelta.lista->PreparaFiltroConti();
    Info().Conto = filtro.conto;
    ole::Verifica(dati_->put_f_mult_conto(ole::Bstr(filtro.idConti).get()));
    ole::Verifica(dati_->put_f_mult_cassa(ole::Bstr(filtro.idCasse).get()));
    if (scelta.dataIniziale) {
        DATE d = vq::SoloData(scelta.valoreIniziale);
        ole::Verifica(dati_->put_FiltroDataIniziale(&d));
    }
    if (scelta.dataFinale) {
        DATE d = vq::SoloData(scelta.valoreFinale);
        ole::Verifica(dati_->put_FiltroDataFinale(&d));
    }
    Info().Periodo = TestoPeriodo(scelta.dataIniziale, scelta.valoreIniziale, scelta.dataFinale,
                                  scelta.valoreFinale);

    LONG totale = 0;
    ole::Verifica(dati_->GetTotRecord(&totale));
    if (totale == 0) {
        shell::Mostra(kMsgNessunMovimento, kTitoloEsportazione, shell::MB_ICONINFORMATION);
        r.esito = EsitoEsportazione::NessunMovimento;
        return;
    }

    // The output file.
    dialogo_.CancelError = true;
    dialogo_.DefaultExt = "xml";
    dialogo_.Filter = "File XML (*.xml)|*.xml";
    dialogo_.Flags = kFlagsDialogo;
    dialogo_.InitDir = CartellaIniziale();
    if (!servizi_.dialogo) vq::Solleva(vq::kErrOggettoNonImpostato);
    servizi_.dialogo->ShowSave(dialogo_);
    if (dialogo_.FileName.empty()) vq::Solleva(kErrDialogoAnnullato, "Annullato.");
    const std::string uscita = dialogo_.FileName;
    r.file = uscita;

    if (servizi_.pompaEventi) servizi_.pompaEventi();
    shell::CursoreAttesa(true);
    if (!servizi_.barra) vq::Solleva(vq::kErrOggettoNonImpostato);
    BarraProgresso& barra = *servizi_.barra;
    barra.Value(barra.Min());
    barra.Visibile(true);

    SAFEARRAY* righe = nullptr;
    LONG n = 0;
    ole::Verifica(dati_->GetArrayDati(&righe, &n));
    ole::Variante possesso = ole::Variante::Array(righe);  // released however the run ends

    // The document, then the stylesheet beside it.
    const std::string sorgente = SorgenteFoglioStile(identita_);
    if (!FileNormale(sorgente)) foglioStile = false;
    // A file named like its own stylesheet ("spese.xsl") would be replaced by the copy
    // right after being written: refused before anything is written.
    if (foglioStile && StessoFile(DestinazioneFoglioStile(uscita), uscita))
        vq::Solleva(kErrPercorso, vq::DescrizioneRuntime(kErrPercorso) + ": " + uscita +
                                      " (il foglio di stile avrebbe lo stesso nome del file)");
    CreaFileXML(righe, uscita, barra, scelta.verifica ? VARIANT_TRUE : VARIANT_FALSE,
                foglioStile ? VARIANT_TRUE : VARIANT_FALSE);
    r.righe = RigheArray(righe);
    if (foglioStile) {
        r.foglioStile = DestinazioneFoglioStile(uscita);
        CopiaFileAtomica(sorgente, r.foglioStile);
    }

    barra.Value(barra.Max());
    if (servizi_.pausa) servizi_.pausa(kPausaFinale);
    barra.Visibile(false);
    shell::CursoreAttesa(false);
    r.esito = EsitoEsportazione::Esportato;
    shell::Mostra(kMsgCompletata + std::to_string(r.righe), kTitoloEsportazione,
                  shell::MB_ICONINFORMATION);
}

}  // namespace travasa
