// The main window's logic, without the window: the state of every control that matters
// and one method per event. The Qt window (frmMain) only shows this state and forwards
// the user's actions; tests drive it headless.
//
// How the window binds to it:
//   - main(): install the Qt shell::MessageBox, ControlliAvvio().Esegui() before anything
//     is shown; then build frmMain with a frmMainLogica given ServiziFinestra (the Qt
//     save dialog, processEvents once, the window handle, the version numbers), call
//     Carica(), show the window. The progress bar is part of the state (prg*): the
//     logic updates it and notifies ParteProgresso; during an export the event loop does
//     not run, so the window repaints the bar at once (QProgressBar::setValue does).
//   - Notifica(fn): fn(parts) is called after every change; `parts` is a bitmask of
//     Parte telling what to refresh (combos, list, dates, labels, progress). The window
//     re-reads Stato() and updates its controls without emitting its own signals back.
//   - cboConti currentIndexChanged (user)   -> ContoScelto(index)
//     cboCassa currentIndexChanged          -> SceltaCassa(index)
//     ListaSelezione currentRowChanged      -> SelezionaVoce(row)
//     chkIniziale / chkFinale clicked       -> ClickIniziale(ticked) / ClickFinale(ticked)
//     DtDataIniziale / DtDataFinale changed -> ImpostaDataIniziale(d) / ImpostaDataFinale(d)
//     cmdDefaultDI / cmdDefaultDF clicked   -> ReimpostaDataIniziale() / ReimpostaDataFinale()
//     cmdAggiungi / cmdRemove / cmdClear    -> Aggiungi() / Rimuovi() / Ripulisci()
//     chkVerifica / chkCss toggled          -> ImpostaVerifica(b) / ImpostaCss(b)
//     toolMain button "help" triggered      -> ClickStrumento("help")
//     cmdEsporta clicked                    -> Esporta()
//     closeEvent                            -> Scarica()
//   - Dates are automation dates (vq::DATA): QDate -> vq::DateSerial(y, m, d), and back
//     with vq::ScomponiData.
//   - Message boxes, beep and busy cursor go through shell::Servizio(): install the Qt
//     implementation before ControlliAvvio runs. "End the program at once" goes through
//     TerminaProgramma (Servizi.h).
#pragma once

#include <tessadati/tessadati.h>

#include <ole/ole.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/Avvio.h"
#include "export/Esportazione.h"
#include "export/ListaSelezione.h"
#include "export/Servizi.h"
#include "vq/data.h"

namespace travasa {

struct VoceElenco {
    std::string testo;
    std::int32_t id = 0;
    friend bool operator==(const VoceElenco&, const VoceElenco&) = default;
};

// A drop-down list: entries, the chosen one (-1: none), enabled.
struct StatoElenco {
    std::vector<VoceElenco> voci;
    int scelta = -1;
    bool abilitato = true;
};

struct StatoFinestra {
    StatoElenco cboConti;
    StatoElenco cboCassa;
    ListaSelezione lista;  // ListaSelezione
    bool chkIniziale = false;
    bool chkFinale = false;
    vq::DATA DtDataIniziale = 0;
    vq::DATA DtDataFinale = 0;
    bool DtDataInizialeAbilitato = false;  // pickers follow their check boxes
    bool DtDataFinaleAbilitato = false;
    bool cmdDefaultDIAbilitato = false;
    bool cmdDefaultDFAbilitato = false;
    bool chkVerifica = false;
    bool chkCss = true;
    std::string lblVersione = "v.x.x";
    std::string caption;  // the window's caption
    bool prgVisibile = false;
    float prgMin = 0;
    float prgMax = 100;
    float prgValore = 0;
};

// What changed, for the window's refresh.
enum Parte : unsigned {
    ParteConti = 1u << 0,
    ParteCassa = 1u << 1,
    ParteLista = 1u << 2,
    ParteDate = 1u << 3,
    ParteOpzioni = 1u << 4,
    ParteEtichette = 1u << 5,  // lblVersione, caption
    ParteProgresso = 1u << 6,
};

// The services the window gives the logic.
struct ServiziFinestra {
    DialogoSalva* dialogo = nullptr;     // required for Esporta()
    ApriDocumento* documenti = nullptr;  // help page; nullptr = ApriDocumentoSistema()
    std::function<void()> pompaEventi;   // process pending events once
    std::function<void(std::int32_t)> pausa = PausaSistema;
    std::intptr_t hWnd = 0;   // the window's handle, for the shell
    bool ricordaDate = true;  // an export stores the two dates (SalvaFiltroDate)
    // The program's version numbers (major, minor) for lblVersione.
    int versioneMaggiore = 0;
    int versioneMinore = 0;
};

// Creates the data object (ClsDatiMirtesa by its class id); tests may give another.
using FabbricaDati = std::function<ole::ComPtr<_ClsDatiMirtesa>()>;
ole::ComPtr<_ClsDatiMirtesa> CreaDatiMirtesa();

class frmMainLogica : private BarraProgresso {
public:
    frmMainLogica(ServiziFinestra servizi, IdentitaProgramma identita = IdentitaCorrente(),
                  FabbricaDati fabbrica = CreaDatiMirtesa);
    ~frmMainLogica() override;
    frmMainLogica(const frmMainLogica&) = delete;
    frmMainLogica& operator=(const frmMainLogica&) = delete;

    const StatoFinestra& Stato() const noexcept { return stato_; }
    void Notifica(std::function<void(unsigned parti)> fn) { notifica_ = std::move(fn); }

    // ---- Events ----
    // Load sequence: database opened, accounts and cash codes listed, dates restored,
    // caption and version label. Any failure: PrintErroreEx("Accesso al Database") and
    // TerminaProgramma(1).
    void Carica();
    // An account chosen in cboConti (by the user or by the program): its cash codes.
    // Failure: PrintErroreEx("Accesso ai dati") and TerminaProgramma(1).
    void ContoScelto(int indice);
    void SceltaCassa(int indice);
    void SelezionaVoce(int indice);
    void ClickIniziale(bool spuntato);
    void ClickFinale(bool spuntato);
    void ImpostaDataIniziale(vq::DATA d);
    void ImpostaDataFinale(vq::DATA d);
    void ReimpostaDataIniziale();
    void ReimpostaDataFinale();
    void Aggiungi();
    void Rimuovi();
    void Ripulisci();
    void ImpostaVerifica(bool v);
    void ImpostaCss(bool v);
    // A tool-bar button: only the key "help" opens the help page (travasa.htm).
    void ClickStrumento(const std::string& chiave);
    // The export run; the window stays usable afterwards.
    RisultatoEsportazione Esporta();
    // Unload: the database closed, every failure ignored.
    void Scarica() noexcept;

    // ---- Routines ----
    void CaricaConti();        // error 10002
    void CaricaCodiciCassa();  // error 10001; 6 for an account id outside 16 bits
    void SalvaFiltroDate() noexcept;
    // The save dialog's settings, kept between runs.
    ImpostazioniDialogo& Dialogo();
    // The data object, created on first use.
    _ClsDatiMirtesa* Dati();

private:
    // BarraProgresso over prgStato.
    float Min() const override { return stato_.prgMin; }
    float Max() const override { return stato_.prgMax; }
    void Value(float valore) override;
    void Visibile(bool visibile) override;

    void Cambiato(unsigned parti);
    Esportazione& Run();

    ServiziFinestra servizi_;
    IdentitaProgramma identita_;
    FabbricaDati fabbrica_;
    ole::ComPtr<_ClsDatiMirtesa> dati_;
    std::unique_ptr<Esportazione> esportazione_;
    StatoFinestra stato_;
    std::function<void(unsigned)> notifica_;
};

}  // namespace travasa
