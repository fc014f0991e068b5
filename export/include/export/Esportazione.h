// The export run: what the "Esporta" button does, and what travasa-cli does once its
// options are read.
//
//  1 Info().ClearValori()
//  2 date order (both boxes ticked, final before initial): error box, end
//  3 empty selection list: error box, end
//  4 stylesheet flag from the option
//  5 the remembered dates stored (the caller's SalvaFiltroDate)
//  6-8 the data object's filter: ClearFiltri, f_mult_conto, f_mult_cassa, the ticked dates
//  9 Info().Periodo
// 10 GetTotRecord; 0 gives the "Nessun movimento" box, end
// 11 save dialog (cancel: error 32755, ends the run silently)
// 12 pending events processed once
// 13 busy cursor, progress bar at its minimum and shown
// 14 GetArrayDati
// 15 no stylesheet below the program's folder: flag off
// 16 CreaFileXML
// 17 stylesheet copied beside the file, under the name the file's instruction gives
// 18-21 bar full, 300 ms pause, bar hidden, cursor back, "Esportazione completata..." box
// with the number of rows written.
// Any failure: cursor back, PrintErroreEx("Esportazione") unless 32755, bar hidden.
#pragma once

#include <tessadati/tessadati.h>

#include <cstdint>
#include <functional>
#include <string>

#include "export/Avvio.h"
#include "export/ListaSelezione.h"
#include "export/Servizi.h"
#include "vq/data.h"

namespace travasa {

// Texts of the run.
inline constexpr const char* kTitoloErrore = "Errore";
inline constexpr const char* kTitoloEsportazione = "Esportazione";
inline constexpr const char* kMsgDateInvertite =
    "La DATA FINALE non può essere minore della DATA INIZIALE.";
inline constexpr const char* kMsgListaVuota =
    "E' necessario aggiungere almeno una voce nella lista dei conti/codici cassa.";
inline constexpr const char* kMsgNessunMovimento =
    "Nessun movimento rientra nei filtri impostati. Esportazione non effettuata";
inline constexpr const char* kMsgCompletata =
    "Esportazione completata correttamente. Totale record esportati: ";
inline constexpr std::int32_t kPausaFinale = 300;  // milliseconds with the full bar shown

// What the window holds when the button is pressed.
struct SceltaEsportazione {
    bool dataIniziale = false;    // chkIniziale ticked
    bool dataFinale = false;      // chkFinale ticked
    vq::DATA valoreIniziale = 0;  // DtDataIniziale
    vq::DATA valoreFinale = 0;    // DtDataFinale
    const ListaSelezione* lista = nullptr;
    bool css = true;        // chkCss
    bool verifica = false;  // chkVerifica
};

enum class EsitoEsportazione {
    Esportato,        // file written (and stylesheet copied when asked)
    DateInvertite,    // final date before the initial one: nothing done
    ListaVuota,       // empty selection list: nothing done
    NessunMovimento,  // no transaction matches: the dialog never opens
    Annullato,        // dialog cancelled, nothing reported
    Errore,           // reported by the handler
};

struct RisultatoEsportazione {
    EsitoEsportazione esito = EsitoEsportazione::Errore;
    std::int32_t righe = 0;   // rows written
    std::string file;         // the XML file chosen
    std::string foglioStile;  // the stylesheet copied beside it ("" when none)
    std::int32_t errore = 0;  // the number reported, for Errore
};

// The services of a run. `dialogo` and `barra` are required; the others may be empty.
struct ServiziEsportazione {
    DialogoSalva* dialogo = nullptr;
    BarraProgresso* barra = nullptr;
    std::function<void()> pompaEventi;      // once after the dialog (the window: processEvents)
    std::function<void()> salvaFiltroDate;  // the window's; the command line stores none
    std::function<void(std::int32_t)> pausa = PausaSistema;  // with the bar full, before hiding it
};

class Esportazione {
public:
    // `dati` is the caller's data object with its database open; it must outlive the run.
    Esportazione(_ClsDatiMirtesa* dati, ServiziEsportazione servizi,
                 IdentitaProgramma identita = IdentitaCorrente());

    // One whole run, its failures reported by its own handler; never throws.
    RisultatoEsportazione Esegui(const SceltaEsportazione& scelta);

    // The dialog's settings, kept between runs (its file name is not reset).
    ImpostazioniDialogo& Dialogo() noexcept { return dialogo_; }

private:
    void Corpo(const SceltaEsportazione& scelta, RisultatoEsportazione& r);

    _ClsDatiMirtesa* dati_;
    ServiziEsportazione servizi_;
    IdentitaProgramma identita_;
    ImpostazioniDialogo dialogo_;
};

// The stylesheet below the program's folder: <folder>/template/html/css.xsl.
std::string SorgenteFoglioStile(const IdentitaProgramma& identita);
// The stylesheet beside an export: its folder + the name its instruction refers to +
// ".xsl" (spese.xml gives spese.xsl; a name without an extension keeps it whole).
std::string DestinazioneFoglioStile(const std::string& percorsoXml);
// "dd-MMM-yyyy", the month abbreviated in the system's language (01-gen-2004 in Italian).
std::string DataPeriodo(vq::DATA d);
// "Dal A al B", "Dal A", "Fino al B" or "Tutto" after the ticked boxes.
std::string TestoPeriodo(bool dataIniziale, vq::DATA iniziale, bool dataFinale, vq::DATA finale);

}  // namespace travasa
