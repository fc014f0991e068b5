#include "frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>

#include <cmath>
#include <initializer_list>

#include "ServiziQt.h"
#include "vq/data.h"

// The window's pictures live in the library's resources, which a static library must
// register itself.
static void RegistraRisorse() { Q_INIT_RESOURCE(finestra); }

namespace travasa::finestra {

namespace {

constexpr unsigned kTutto = ParteConti | ParteCassa | ParteLista | ParteDate | ParteOpzioni |
                            ParteEtichette | ParteProgresso;

// A picture of the resources, drawn at each of the sizes given (NAME-SIZE.png): pictures
// need no image plugin, so the window comes up without loading the SVG renderer.
QIcon Icona(const char* nome, std::initializer_list<int> lati) {
    QIcon icona;
    for (const int lato : lati)
        icona.addFile(QStringLiteral(":/travasa/%1-%2.png").arg(QLatin1String(nome)).arg(lato),
                      QSize(lato, lato));
    return icona;
}

QDate InQDate(vq::DATA d) {
    const vq::DataOra p = vq::ScomponiData(d);
    return QDate(p.anno, p.mese, p.giorno);
}

vq::DATA DaQDate(const QDate& d) { return vq::DateSerial(d.year(), d.month(), d.day()); }

void RiempiElenco(QComboBox* cbo, const StatoElenco& stato) {
    const QSignalBlocker blocco(cbo);
    cbo->clear();
    for (const VoceElenco& v : stato.voci) cbo->addItem(QString::fromStdString(v.testo), v.id);
    cbo->setCurrentIndex(stato.scelta);
    cbo->setEnabled(stato.abilitato);
}

void ImpostaData(QDateEdit* picker, vq::DATA d, bool abilitato) {
    const QSignalBlocker blocco(picker);
    // A date being typed is left alone when it is already the logic's.
    if (d != 0 && picker->date() != InQDate(d)) picker->setDate(InQDate(d));
    picker->setEnabled(abilitato);
}

}  // namespace

int DaTwip(int twip, double dpi) { return static_cast<int>(std::lround(twip * dpi / 1440.0)); }

frmMain::frmMain() : frmMain(OpzioniFinestra()) {}

frmMain::frmMain(OpzioniFinestra opzioni) {
    RegistraRisorse();
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(Icona("travasa", {16, 32, 48, 64}));

    // The platform's sans face at 8.25 points, bold for the group captions.
    QFont carattere = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    carattere.setPointSizeF(8.25);
    setFont(carattere);

    CreaControlli();
    Disponi();
    OrdineTabulazione();

    ServiziFinestra servizi;
    if (!opzioni.dialogo) dialogoQt_ = std::make_unique<DialogoSalvaQt>(this);
    servizi.dialogo = opzioni.dialogo ? opzioni.dialogo : dialogoQt_.get();
    servizi.documenti = opzioni.documenti;
    servizi.pompaEventi = [] { QCoreApplication::processEvents(); };
    servizi.pausa = std::move(opzioni.pausa);
    servizi.hWnd = static_cast<std::intptr_t>(winId());
    servizi.versioneMaggiore = VQ_VERSIONE_MAGGIORE;
    servizi.versioneMinore = VQ_VERSIONE_MINORE;
    logica_ = std::make_unique<frmMainLogica>(std::move(servizi), std::move(opzioni.identita),
                                              std::move(opzioni.fabbrica));
    logica_->Notifica([this](unsigned parti) { Aggiorna(parti); });
    Collega();
    Aggiorna(kTutto);
    chkIniziale_->setFocus();
}

frmMain::~frmMain() = default;

int frmMain::X(int twip) const { return DaTwip(twip, screen()->logicalDotsPerInchX()); }
int frmMain::Y(int twip) const { return DaTwip(twip, screen()->logicalDotsPerInchY()); }

void frmMain::CreaControlli() {
    // Set explicitly, so that the controls inside a group do not take its bold face.
    QFont normale = font();
    normale.setBold(false);
    QFont grassetto = normale;
    grassetto.setBold(true);

    auto nome = [](QObject* o, const char* n) { o->setObjectName(QString::fromLatin1(n)); };

    toolMain_ = new QToolBar(this);
    nome(toolMain_, "toolMain");
    toolMain_->setMovable(false);
    toolMain_->setFloatable(false);
    toolMain_->setIconSize(QSize(16, 16));
    toolMain_->addSeparator();
    aiuto_ = toolMain_->addAction(Icona("aiuto", {16, 32}), QString());
    nome(aiuto_, "help");
    aiuto_->setData(QStringLiteral("help"));
    aiuto_->setToolTip(QStringLiteral("Help"));

    auto gruppo = [&](const char* n, const char* titolo) {
        auto* g = new QGroupBox(QString::fromUtf8(titolo), this);
        nome(g, n);
        g->setFont(grassetto);
        return g;
    };
    auto casella = [&](QWidget* genitore, const char* n, const char* testo,
                       const char* suggerimento) {
        auto* c = new QCheckBox(QString::fromUtf8(testo), genitore);
        nome(c, n);
        c->setFont(normale);
        if (*suggerimento) c->setToolTip(QString::fromUtf8(suggerimento));
        return c;
    };
    auto pulsante = [&](QWidget* genitore, const char* n, const char* testo,
                        const char* suggerimento) {
        auto* p = new QPushButton(QString::fromUtf8(testo), genitore);
        nome(p, n);
        p->setFont(normale);
        p->setToolTip(QString::fromUtf8(suggerimento));
        p->setAutoDefault(false);
        return p;
    };
    auto etichetta = [&](QWidget* genitore, const char* n, const char* testo) {
        auto* l = new QLabel(QString::fromUtf8(testo), genitore);
        nome(l, n);
        l->setFont(normale);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    auto selettore = [&](QWidget* genitore, const char* n) {
        auto* d = new QDateEdit(genitore);
        nome(d, n);
        d->setFont(normale);
        d->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        d->setCalendarPopup(true);
        d->setMinimumDate(QDate(100, 1, 1));
        d->setMaximumDate(QDate(9999, 12, 31));
        return d;
    };
    auto elenco = [&](QWidget* genitore, const char* n) {
        auto* c = new QComboBox(genitore);
        nome(c, n);
        c->setFont(normale);
        c->setEditable(false);
        return c;
    };

    Frame2_ = gruppo("Frame2", "Filtro Data ");
    chkIniziale_ = casella(Frame2_, "chkIniziale", "Data Iniziale", "Usa il filtro data iniziale");
    DtDataIniziale_ = selettore(Frame2_, "DtDataIniziale");
    cmdDefaultDI_ = pulsante(Frame2_, "cmdDefaultDI", "D",
                             "Reimposta il valore di default della data iniziale");
    chkFinale_ = casella(Frame2_, "chkFinale", "Data Finale", "Usa il filtro data finale");
    DtDataFinale_ = selettore(Frame2_, "DtDataFinale");
    cmdDefaultDF_ =
        pulsante(Frame2_, "cmdDefaultDF", "D", "Reimposta il valore di default della data finale");

    Frame1_ = gruppo("Frame1", "Filtro Conto ");
    Label1_ = etichetta(Frame1_, "Label1", "Conto:");
    cboConti_ = elenco(Frame1_, "cboConti");
    Label2_ = etichetta(Frame1_, "Label2", "Codice Cassa:");
    cboCassa_ = elenco(Frame1_, "cboCassa");
    cmdAggiungi_ = pulsante(Frame1_, "cmdAggiungi", "Aggiungi",
                            "Aggiunge il conto\\cassa selezionato nella lista dei selezionati");
    Label3_ = etichetta(Frame1_, "Label3", "Lista Conti/Codici Cassa selezionati:");
    ListaSelezione_ = new QListWidget(Frame1_);
    nome(ListaSelezione_, "ListaSelezione");
    ListaSelezione_->setFont(normale);
    ListaSelezione_->setSelectionMode(QAbstractItemView::SingleSelection);
    ListaSelezione_->setSortingEnabled(false);
    cmdRemove_ =
        pulsante(Frame1_, "cmdRemove", "Rimuovi", "Rimuove la voce selezionata dalla lista");
    cmdClear_ = pulsante(Frame1_, "cmdClear", "Ripulisci", "Ripulisce il contenuto della lista");

    chkVerifica_ = casella(this, "chkVerifica", "Verifica il formato dei dati", "");
    chkCss_ = casella(this, "chkCss", "Includi foglio di stile (xsl)", "");

    cmdEsporta_ = new QToolButton(this);
    nome(cmdEsporta_, "cmdEsporta");
    cmdEsporta_->setText(QStringLiteral("Esporta"));
    cmdEsporta_->setToolTip(QStringLiteral("Inizia la procedura di esportazione"));
    cmdEsporta_->setIcon(Icona("esporta", {16, 32}));
    cmdEsporta_->setIconSize(QSize(16, 16));
    cmdEsporta_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    cmdEsporta_->setFocusPolicy(Qt::StrongFocus);

    lblVersione_ = etichetta(this, "lblVersione", "v.x.x");

    prgStato_ = new QProgressBar(this);
    nome(prgStato_, "prgStato");
    prgStato_->setTextVisible(false);
    prgStato_->setRange(0, 100);
    prgStato_->hide();
}

void frmMain::Disponi() {
    auto metti = [this](QWidget* w, int sinistra, int alto, int largo, int altezza) {
        w->setGeometry(X(sinistra), Y(alto), X(largo), Y(altezza));
    };
    // A drop-down list keeps the height its font gives it.
    auto elenco = [this](QComboBox* c, int sinistra, int alto, int largo) {
        c->setGeometry(X(sinistra), Y(alto), X(largo), c->sizeHint().height());
    };

    setFixedSize(X(kLarghezzaInterna), Y(kAltezzaInterna));
    metti(toolMain_, 0, 0, 7965, 360);

    metti(Frame2_, 120, 600, 7695, 1215);
    metti(chkIniziale_, 240, 540, 1695, 255);
    metti(cmdDefaultDI_, 1560, 480, 375, 375);
    metti(DtDataIniziale_, 1920, 480, 1695, 375);
    metti(chkFinale_, 3960, 540, 1575, 255);
    metti(cmdDefaultDF_, 5430, 480, 375, 375);
    metti(DtDataFinale_, 5805, 480, 1695, 375);
    // The reset buttons lie over the right end of their check boxes.
    cmdDefaultDI_->raise();
    cmdDefaultDF_->raise();

    metti(Frame1_, 120, 1920, 7695, 3615);
    metti(Label1_, 240, 360, 1815, 375);
    elenco(cboConti_, 240, 600, 3015);
    metti(Label2_, 3360, 360, 1815, 375);
    elenco(cboCassa_, 3360, 600, 3015);
    metti(cmdAggiungi_, 6500, 570, 1000, 375);
    metti(Label3_, 240, 1080, 3135, 375);
    metti(ListaSelezione_, 240, 1320, 6135, 2010);
    metti(cmdRemove_, 6500, 1320, 1000, 375);
    metti(cmdClear_, 6500, 1800, 1000, 375);

    metti(chkVerifica_, 120, 5640, 2535, 375);
    metti(chkCss_, 120, 6000, 2535, 375);
    metti(cmdEsporta_, 0, 5640, 1095, 735);
    metti(lblVersione_, 6840, 6120, 855, 255);
    metti(prgStato_, 0, 6450, 7965, 375);
    prgStato_->raise();
}

void frmMain::OrdineTabulazione() {
    // The controls that take the focus, in their tab order.
    QWidget* ordine[] = {chkIniziale_, DtDataIniziale_, chkFinale_,      DtDataFinale_, cboConti_,
                         cboCassa_,    cmdAggiungi_,    ListaSelezione_, cmdRemove_,    cmdClear_,
                         chkVerifica_, cmdEsporta_,     cmdDefaultDI_,   cmdDefaultDF_, chkCss_};
    for (std::size_t i = 1; i < std::size(ordine); ++i)
        QWidget::setTabOrder(ordine[i - 1], ordine[i]);
}

void frmMain::Collega() {
    // What the window changes itself while it shows the logic's state is not an event.
    connect(cboConti_, &QComboBox::activated, this, [this](int i) {
        if (!aggiornando_) logica_->ContoScelto(i);
    });
    connect(cboCassa_, &QComboBox::activated, this, [this](int i) {
        if (!aggiornando_) logica_->SceltaCassa(i);
    });
    connect(ListaSelezione_, &QListWidget::currentRowChanged, this, [this](int r) {
        if (!aggiornando_) logica_->SelezionaVoce(r);
    });
    // A click below the last entry takes the highlight off the list but leaves the entry
    // chosen, as "Rimuovi" still acts on it: it keeps its highlight.
    connect(ListaSelezione_, &QListWidget::itemSelectionChanged, this, [this] {
        const int scelta = logica_->Stato().lista.Selezionata();
        if (aggiornando_ || scelta < 0 || !ListaSelezione_->selectedItems().isEmpty()) return;
        if (QListWidgetItem* voce = ListaSelezione_->item(scelta)) {
            const QSignalBlocker blocco(ListaSelezione_);
            voce->setSelected(true);
        }
    });
    connect(chkIniziale_, &QCheckBox::clicked, this, [this](bool b) {
        if (!aggiornando_) logica_->ClickIniziale(b);
    });
    connect(chkFinale_, &QCheckBox::clicked, this, [this](bool b) {
        if (!aggiornando_) logica_->ClickFinale(b);
    });
    connect(DtDataIniziale_, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (!aggiornando_) logica_->ImpostaDataIniziale(DaQDate(d));
    });
    connect(DtDataFinale_, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (!aggiornando_) logica_->ImpostaDataFinale(DaQDate(d));
    });
    connect(cmdDefaultDI_, &QPushButton::clicked, this, [this] {
        if (!aggiornando_) logica_->ReimpostaDataIniziale();
    });
    connect(cmdDefaultDF_, &QPushButton::clicked, this, [this] {
        if (!aggiornando_) logica_->ReimpostaDataFinale();
    });
    connect(cmdAggiungi_, &QPushButton::clicked, this, [this] {
        if (!aggiornando_) logica_->Aggiungi();
    });
    connect(cmdRemove_, &QPushButton::clicked, this, [this] {
        if (!aggiornando_) logica_->Rimuovi();
    });
    connect(cmdClear_, &QPushButton::clicked, this, [this] {
        if (!aggiornando_) logica_->Ripulisci();
    });
    connect(chkVerifica_, &QCheckBox::toggled, this, [this](bool b) {
        if (!aggiornando_) logica_->ImpostaVerifica(b);
    });
    connect(chkCss_, &QCheckBox::toggled, this, [this](bool b) {
        if (!aggiornando_) logica_->ImpostaCss(b);
    });
    connect(toolMain_, &QToolBar::actionTriggered, this, [this](QAction* a) {
        if (!aggiornando_) logica_->ClickStrumento(a->data().toString().toStdString());
    });
    connect(cmdEsporta_, &QToolButton::clicked, this, [this] {
        if (!aggiornando_) logica_->Esporta();
    });
}

void frmMain::Carica() {
    logica_->Carica();
    // The export button sits in the middle of the window.
    cmdEsporta_->move((width() - cmdEsporta_->width()) / 2, cmdEsporta_->y());
    Aggiorna(kTutto);
}

void frmMain::Aggiorna(unsigned parti) {
    const bool prima = aggiornando_;
    aggiornando_ = true;
    const StatoFinestra& s = logica_->Stato();
    if (parti & ParteConti) RiempiElenco(cboConti_, s.cboConti);
    if (parti & ParteCassa) RiempiElenco(cboCassa_, s.cboCassa);
    if (parti & ParteLista) {
        const QSignalBlocker blocco(ListaSelezione_);
        ListaSelezione_->clear();
        for (const VoceSelezione& v : s.lista.Voci()) {
            auto* voce = new QListWidgetItem(QString::fromStdString(v.testo), ListaSelezione_);
            voce->setData(Qt::UserRole, v.id);
        }
        ListaSelezione_->setCurrentRow(s.lista.Selezionata());
    }
    if (parti & ParteDate) {
        {
            const QSignalBlocker a(chkIniziale_), b(chkFinale_);
            chkIniziale_->setChecked(s.chkIniziale);
            chkFinale_->setChecked(s.chkFinale);
        }
        ImpostaData(DtDataIniziale_, s.DtDataIniziale, s.DtDataInizialeAbilitato);
        ImpostaData(DtDataFinale_, s.DtDataFinale, s.DtDataFinaleAbilitato);
        cmdDefaultDI_->setEnabled(s.cmdDefaultDIAbilitato);
        cmdDefaultDF_->setEnabled(s.cmdDefaultDFAbilitato);
    }
    if (parti & ParteOpzioni) {
        const QSignalBlocker a(chkVerifica_), b(chkCss_);
        chkVerifica_->setChecked(s.chkVerifica);
        chkCss_->setChecked(s.chkCss);
    }
    if (parti & ParteEtichette) {
        lblVersione_->setText(QString::fromStdString(s.lblVersione));
        if (!s.caption.empty()) setWindowTitle(QString::fromStdString(s.caption));
    }
    if (parti & ParteProgresso) {
        prgStato_->setRange(static_cast<int>(s.prgMin), static_cast<int>(s.prgMax));
        prgStato_->setValue(static_cast<int>(std::lround(s.prgValore)));
        prgStato_->setVisible(s.prgVisibile);
        // During an export the event loop does not run: the bar is painted now.
        if (s.prgVisibile) prgStato_->repaint();
    }
    aggiornando_ = prima;
}

void frmMain::closeEvent(QCloseEvent* evento) {
    logica_->Scarica();
    evento->accept();
}

}  // namespace travasa::finestra
