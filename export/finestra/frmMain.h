// frmMain, Travasa's one window: the controls, their layout in twips, and the wiring of
// their signals to the window's logic (frmMainLogica), whose state the window shows.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "export/frmMainLogica.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;

namespace travasa::finestra {

class DialogoSalvaQt;

// Width and height of the window's inner area, in twips.
inline constexpr int kLarghezzaInterna = 7965;
inline constexpr int kAltezzaInterna = 6825;

// Twips (1/1440 inch) to pixels at a logical resolution of `dpi` dots per inch.
int DaTwip(int twip, double dpi);

// What the window normally finds by itself; tests give their own.
struct OpzioniFinestra {
    DialogoSalva* dialogo = nullptr;     // nullptr: the window's QFileDialog
    ApriDocumento* documenti = nullptr;  // nullptr: the desktop's handler
    std::function<void(std::int32_t)> pausa = PausaSistema;
    IdentitaProgramma identita = IdentitaCorrente();
    FabbricaDati fabbrica = CreaDatiMirtesa;
};

class frmMain final : public QWidget {
public:
    frmMain();
    explicit frmMain(OpzioniFinestra opzioni);
    ~frmMain() override;

    // The load sequence, then the controls shown as it left them.
    void Carica();

    frmMainLogica& Logica() noexcept { return *logica_; }

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void CreaControlli();
    void Disponi();
    void OrdineTabulazione();
    void Collega();
    void Aggiorna(unsigned parti);

    // Pixels of a twip value along x and y at the screen's logical resolution.
    int X(int twip) const;
    int Y(int twip) const;

    std::unique_ptr<DialogoSalvaQt> dialogoQt_;
    std::unique_ptr<frmMainLogica> logica_;
    bool aggiornando_ = false;

    QToolBar* toolMain_ = nullptr;
    QAction* aiuto_ = nullptr;
    QGroupBox* Frame2_ = nullptr;
    QCheckBox* chkIniziale_ = nullptr;
    QPushButton* cmdDefaultDI_ = nullptr;
    QDateEdit* DtDataIniziale_ = nullptr;
    QCheckBox* chkFinale_ = nullptr;
    QPushButton* cmdDefaultDF_ = nullptr;
    QDateEdit* DtDataFinale_ = nullptr;
    QGroupBox* Frame1_ = nullptr;
    QLabel* Label1_ = nullptr;
    QComboBox* cboConti_ = nullptr;
    QLabel* Label2_ = nullptr;
    QComboBox* cboCassa_ = nullptr;
    QPushButton* cmdAggiungi_ = nullptr;
    QLabel* Label3_ = nullptr;
    QListWidget* ListaSelezione_ = nullptr;
    QPushButton* cmdRemove_ = nullptr;
    QPushButton* cmdClear_ = nullptr;
    QCheckBox* chkVerifica_ = nullptr;
    QCheckBox* chkCss_ = nullptr;
    QToolButton* cmdEsporta_ = nullptr;
    QLabel* lblVersione_ = nullptr;
    QProgressBar* prgStato_ = nullptr;
};

}  // namespace travasa::finestra
